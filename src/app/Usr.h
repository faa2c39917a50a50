// Usr: the start-up module: start-up and end procedures, the program name and the command line.
#pragma once

#include "mainwin/MainWindowApi.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class QTranslator;

namespace docdb {
class zSvr;
}
namespace platform {
class IScreen;
}
namespace settings {
class yIni;
}
namespace util {
class zClt;
}

namespace app {

/// The program name of an executable path: its file name without an ".exe" extension (any case),
/// with a trailing "_dv" (any case) removed.
QString programNameOf(const QString& executablePath);

/// The command line's argument text rebuilt from the arguments the system passed: arguments that
/// contain blanks are put back in double quotes, so that the text parses as it was typed.
QString commandLineOf(const QStringList& arguments);

/// Splits the argument text into a database path and a start page text:
/// with no double quote, the path runs to the first blank and the page text is the rest, trimmed;
/// otherwise the page text is what follows the last double quote, trimmed, and the path is what
/// precedes it with every double quote removed, trimmed.
void parseCommandLine(const QString& text, QString& path, QString& page);

/// The services start-up uses.
struct StartServices {
    platform::IScreen& screen;
    settings::yIni& ini;
    const util::zClt& clt;
    mainwin::IMainWindow& mainWindow;
};

/// Start-up: busy pointer, run flag, program name, user data folder, work folder "Wrk",
/// "User.xml", the command line, and the main window's activation with the path and page text.
/// executablePath and arguments are those of the process (arguments without the program).
void A_Start(StartServices& s, const QString& executablePath, const QStringList& arguments);

/// End: unloads the windows (each once, even when called again from a window's close), releases
/// the shared objects and ends the event loop. quit is called once; it defaults to
/// QCoreApplication::exit(0).
void A_Exit(const QList<std::function<void()>>& unloadWindows, const std::function<void()>& quit = {});

/// Loads Qt's own Japanese texts into translator and installs it, so that Qt's buttons and dialogs
/// read はい, いいえ, キャンセル. False when the translation is not installed.
bool installQtJapanese(QTranslator& translator);

/// The date literal of a time in the open provider's form: Jet "#MM/dd/yyyy hh:mm:ss#" (four-digit
/// years, so that stamps from 2030 on are not read as 1930 on), any other
/// provider "convert(datetime,'yyyy/MM/dd hh:mm:ss')"; hours run 00 to 23.
QString dateLiteral(bool jet, const QDateTime& t);

/// The statement that stamps one tbTree row (parent sNoP, child sNoC) with the time now: column dyUdt
/// (dyPub when bPub), in the date form of the open database's provider.
QString stampStatement(const docdb::zSvr& svr, const QString& sNoP, const QString& sNoC, bool bPub,
                       const QDateTime& now = QDateTime::currentDateTime());
/// Stamps one tbTree row with stampStatement. bOk receives the outcome.
void StmpTrDt(docdb::zSvr& svr, const QString& sNoP, const QString& sNoC, bool& bOk, bool bPub,
              const QDateTime& now = QDateTime::currentDateTime());

/// Whether A_Exit has run (a window's close request during the end does nothing more).
bool exiting();
void resetExiting();

} // namespace app
