// MainWindowFixture: the main window with fake platform services and a real settings file and database.
#pragma once

#include "app/Usr.h"
#include "docdb/zSvr.h"
#include "mainwin/fmDoc.h"
#include "navigator/uTrX.h"
#include "platform/DesktopRegistration.h"
#include "platform/TextCodec.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeFileDialog.h"
#include "support/FakeMessageBox.h"
#include "support/FakePrinter.h"
#include "support/Fixtures.h"
#include "util/ProcessState.h"
#include "util/zClt.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace testsupport {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        util::resetProcessState();
        app::resetExiting();
        util::processState().workFolder = tmp.filePath(QStringLiteral("Wrk/"));
        db = writeDb(tmp.path(), QStringLiteral("main.txdb"), smallTree());
        settingsFile = tmp.filePath(QStringLiteral("User.xml"));
    }
    void TearDown() override {
        window.reset();
        util::resetProcessState();
    }
    /// Loads the settings file (optionally with a "位置" group first) and makes the window.
    void makeWindow(const QString& positionGroup = QString()) {
        if (!positionGroup.isEmpty())
            writeBytes(settingsFile,
                       platform::TextCodec::toAnsi(QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n"
                                                                  "<運用>\r\n   <位置>\r\n") +
                                                   positionGroup + QStringLiteral("   </位置>\r\n</運用>")));
        bool ok = false;
        ini.GetTxt(settingsFile, ok);
        window = std::make_unique<mainwin::fmDoc>(
            mainwin::Services{box, dialog, screen, shell, appSettings, registration, printer, ini, svr, clt, [this] {
                                  app::A_Exit({[this] {
                                                  window->unload();
                                              }},
                                              [this] { ++quits; });
                              }});
    }
    void activate(const QString& sDb, const QString& sNo = QString()) {
        window->Act(sDb, sNo);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QTreeWidgetItem* node(const QString& key) { return window->tree()->node(key); }
    void clickNode(const QString& key) {
        QTreeWidget* tv = window->tree()->trView();
        QTest::mouseClick(tv->viewport(), Qt::LeftButton, {}, tv->visualItemRect(node(key)).center());
    }
    /// A rectangle given in twips as the widget edge converts it (15 twips a pixel here).
    static QRect px(double l, double t, double w, double h) {
        return {qRound(l / 15), qRound(t / 15), qRound(w / 15), qRound(h / 15)};
    }
    QRect twips(QWidget* w) const {
        const QRect g = w->geometry();
        return {g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15};
    }

    QTemporaryDir tmp;
    QString db;
    QString settingsFile;
    FakeMessageBox box;
    FakeFileDialog dialog;
    FakeScreen screen;
    FakeShell shell;
    FakeAppSettings appSettings;
    platform::FreedesktopAssociation registration; // the Linux desktop's own, under the test's home
    FakePrinter printer;
    FakeSpecialFolders folders;
    settings::yIni ini{box, folders, appSettings, shell};
    util::zClt clt;
    docdb::zSvr svr{box, clt};
    std::unique_ptr<mainwin::fmDoc> window;
    int quits = 0;
};

} // namespace testsupport
