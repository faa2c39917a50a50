// dbtext: start-up of the reader. Until the main window arrives, the activated "window" opens the
// database named on the command line and reports what it holds on standard output.
#include "app/Usr.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "mainwin/MainWindowApi.h"
#include "platform/MessageBox.h"
#include "platform/QtEnvironment.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

/// Messages of the console stage: printed on standard error with the program's title.
class ConsoleMessageBox final : public platform::IMessageBox {
public:
    platform::MsgAnswer show(const QString& text, platform::MsgButtons) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_title), qPrintable(text));
        return platform::MsgAnswer::Ok;
    }
    QString title() const override { return m_title; }
    void setTitle(const QString& t) override { m_title = t; }

private:
    QString m_title = QStringLiteral("DB Text");
};

/// The console stage of the main window: opens the database and prints the provider, the page count,
/// the top-level titles and the start page's title.
class ConsoleMainWindow final : public mainwin::IMainWindow {
public:
    explicit ConsoleMainWindow(docdb::zSvr& svr) : m_svr(svr) {}
    void Act(const QString& sDb, const QString& sNo) override {
        if (sDb.isEmpty()) {
            std::printf("no database given (usage: dbtext DATABASE [PAGE])\n");
            return;
        }
        bool ok = false;
        m_svr.D_StDcDb(sDb, ok);
        if (!ok)
            return;
        QVariant pages;
        m_svr.R_GtVaL(QStringLiteral("Select Count(*) From msDoc"), pages, QVariant(0));
        std::printf("database: %s\nprovider: %s\npages: %d\ntop level:\n", qPrintable(sDb),
                    qPrintable(m_svr.providerName()), pages.toInt());
        QString sql = docdb::sql::kChildren;
        sql.replace(QLatin1Char('?'), QLatin1String("0"));
        docdb::RowArray rows;
        qint32 n = 0;
        m_svr.R_Ary(sql, rows, n);
        for (int r = 0; r < n; ++r)
            std::printf("  %s\t%s\n", qPrintable(util::CStr(rows(0, r))), qPrintable(util::CStr(rows(1, r))));
        if (util::Val(sNo) > 0) {
            QString title;
            m_svr.R_GtVaL(QStringLiteral("Select szDoc From msDoc Where noDoc = ") + QString::number(util::Val(sNo)),
                          title, QString());
            std::printf("start page: %s %s\n", qPrintable(sNo), qPrintable(title));
        }
        std::printf("user data folder: %s\n", qPrintable(util::processState().userDataFolder));
    }
    quintptr ownerHandle() const override { return 0; }
    void unload() override { m_svr.D_Close(); }

private:
    docdb::zSvr& m_svr;
};

} // namespace

int main(int argc, char** argv) {
    // Without a display the reader runs on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);

    ConsoleMessageBox messages;
    platform::QtSpecialFolders folders;
    platform::QtAppSettings appSettings;
    platform::QtShell shell;
    platform::QtScreen screen;
    util::zClt clt;
    settings::yIni ini(messages, folders, appSettings, shell);
    docdb::zSvr svr(messages, clt);
    ConsoleMainWindow window(svr);

    app::StartServices services{screen, ini, clt, window};
    QStringList args = qapp.arguments();
    const QString exe = args.isEmpty() ? QString() : args.takeFirst();
    app::A_Start(services,
                 QCoreApplication::applicationFilePath().isEmpty() ? exe : QCoreApplication::applicationFilePath(),
                 args);
    app::A_Exit({[&] {
                    window.unload();
                }},
                [] {});
    return 0;
}
