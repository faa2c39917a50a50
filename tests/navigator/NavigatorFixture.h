// NavigatorFixture: a navigator on a fixture database, with its events recorded.
#pragma once

#include "docdb/zSvr.h"
#include "navigator/uTrX.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/ProcessState.h"
#include "util/zClt.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace testsupport {

/// One raised eSetDoc, with its arguments.
struct SetDoc {
    QString sNoP, sNo, sSz;
    qint16 iJb = -1;
    bool bHg = false;
    bool operator==(const SetDoc&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const SetDoc& d) {
    return os << "eSetDoc(" << d.sNoP.toStdString() << ", " << d.sNo.toStdString() << ", " << d.sSz.toStdString()
              << ", " << d.iJb << ", " << d.bHg << ")";
}

class NavigatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        util::resetProcessState();
        util::processState().runFlag = true;
        open(smallTree());
    }
    void TearDown() override { util::resetProcessState(); }

    void open(const samples::DocDbContent& content, const char* name = "nav.txdb") {
        const QString path = writeDb(tmp.path(), QString::fromLatin1(name), content);
        bool ok = false;
        svr.D_StDcDb(path, ok);
        ASSERT_TRUE(ok);
    }
    /// Creates the control (after the database is open), shown and laid out as the host does.
    void makeControl(int width = 300, int height = 600) {
        nav = std::make_unique<navigator::uTrX>(svr, screen, box);
        nav->resize(width, height);
        QObject::connect(nav.get(), &navigator::uTrX::eSetDoc,
                         [this](QString& p, QString& n, QString& s, qint16& j, bool& h) {
                             docs.push_back({p, n, s, j, h});
                             if (onSetDoc)
                                 onSetDoc();
                         });
        QObject::connect(nav.get(), &navigator::uTrX::eFmMsg, [this](QString& m) { messages << m; });
        QObject::connect(nav.get(), &navigator::uTrX::eChkMove, [this](bool& c) {
            ++chkMoves;
            c = refuse;
        });
        QObject::connect(nav.get(), &navigator::uTrX::eRightClick, [this](bool& t) { rightClicks << t; });
        nav->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(nav.get()));
        nav->StSize();
        nav->SetFrame(0);
    }
    void loadTop() {
        nav->ClearItem();
        QString key = QStringLiteral("0");
        nav->SetNodes(key);
    }
    QTreeWidgetItem* item(const QString& key) { return nav->node(key); }
    QPoint centerOf(QTreeWidgetItem* it) { return nav->trView()->visualItemRect(it).center(); }
    void clickNode(QTreeWidgetItem* it, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseClick(nav->trView()->viewport(), b, {}, centerOf(it));
    }

    QTemporaryDir tmp;
    FakeMessageBox box;
    FakeScreen screen;
    util::zClt clt;
    docdb::zSvr svr{box, clt};
    std::unique_ptr<navigator::uTrX> nav;
    std::vector<SetDoc> docs;
    QStringList messages;
    QList<bool> rightClicks;
    int chkMoves = 0;
    bool refuse = false;
    std::function<void()> onSetDoc;
};

} // namespace testsupport
