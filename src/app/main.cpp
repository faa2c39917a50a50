// dbtext: the reader's entry point. Sets up the platform services, the shared objects and the main
// window, and runs start-up. Without a display it runs offscreen, saves a picture of the window and ends.
#include "app/Options.h"
#include "app/Usr.h"
#include "docdb/zSvr.h"
#include "mainwin/fmDoc.h"
#include "navigator/uTrX.h"
#include "platform/DesktopRegistration.h"
#include "platform/FileDialog.h"
#include "platform/Printer.h"
#include "platform/QtEnvironment.h"
#include "platform/QtMessageBox.h"
#include "platform/ServerWait.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"
#include "util/zClt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Options for scripts (--find, --export, --help, --version) run without a window and need no
    // display; an export lays pages out, which needs fonts: a GUI application, offscreen.
    if (argc > 1 && argv[1][0] == '-') {
        const bool layout = qstrcmp(argv[1], "--export") == 0;
        if (layout) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            // The export writes its file and nothing else: Qt's own notes (no runtime folder) stay out.
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "%s\n", qPrintable(text));
            });
        }
        const std::unique_ptr<QCoreApplication> core(layout ? new QGuiApplication(argc, argv)
                                                            : new QCoreApplication(argc, argv));
        QStringList args = QCoreApplication::arguments();
        args.removeFirst();
        const app::OptionRequest request = app::parseOptions(args);
        if (request.kind != app::OptionRequest::Kind::None)
            return app::runOptions(request, QStringLiteral("dbtext"), stdout, stderr);
    }
    const bool noDisplay = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
                           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (noDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DB Text"));

    // Qt's own buttons and dialogs in Japanese (はい, いいえ, キャンセル).
    QTranslator qtJapanese;
    app::installQtJapanese(qtJapanese);

    platform::QtMessageBox messages(QStringLiteral("DB Text"));
    platform::QtFileDialog fileDialog;
    platform::QtSpecialFolders folders;
    platform::QtAppSettings appSettings;
    platform::QtShell shell;
    platform::QtScreen screen;
    const auto registration = platform::desktopRegistration();
    const auto printer = platform::systemPrinter();
    auto clt = std::make_unique<util::zClt>();
    auto ini = std::make_unique<settings::yIni>(messages, folders, appSettings, shell);
    platform::QtServerWait serverWait(messages);
    auto svr = std::make_unique<docdb::zSvr>(messages, *clt);
    svr->setServerWait(&serverWait); // a server that is slow to answer never holds the window

    std::unique_ptr<mainwin::fmDoc> window;
    auto exitApp = [&] {
        app::A_Exit({[&] {
            if (window)
                window->unload();
        }});
    };
    window = std::make_unique<mainwin::fmDoc>(mainwin::Services{messages, fileDialog, screen, shell, appSettings,
                                                                *registration, *printer, *ini, *svr, *clt, exitApp});

    // Renaming a page stamps its row through the start-up module's shared procedure.
    window->tree()->setStamp(
        [&](const QString& p, const QString& c, bool pub) { return app::stampStatement(*svr, p, c, pub); });

    QStringList args = qapp.arguments();
    if (!args.isEmpty())
        args.removeFirst();
    app::StartServices start{screen, *ini, *clt, *window};
    app::A_Start(start, QCoreApplication::applicationFilePath(), args);

    if (QGuiApplication::platformName() == QLatin1String("offscreen") &&
        qEnvironmentVariableIsEmpty("DBTEXT_KEEP_RUNNING")) {
        // No display: show the result as a picture instead of a window no one can see.
        QTimer::singleShot(300, [&] {
            const QString png = QDir::temp().filePath(QStringLiteral("dbtext-window.png"));
            if (window->grab().save(png))
                std::printf("No display: the window was drawn offscreen and saved as %s\n", qPrintable(png));
            else
                std::fprintf(stderr, "dbtext: cannot write %s\n", qPrintable(png));
            window->unload();
            svr->D_Close();
            QCoreApplication::exit(0);
        });
    }
    const int rc = QApplication::exec();
    window.reset();
    svr.reset();
    ini.reset();
    clt.reset();
    return rc;
}
