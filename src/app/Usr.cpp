// Usr: start-up and end procedures of the reader.
#include "app/Usr.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "platform/Environment.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcApp, "dbtext.app", QtWarningMsg)

namespace app {

namespace {
bool g_exiting = false;
}

QString programNameOf(const QString& executablePath) {
    QString name = util::fileNamePart(executablePath);
    // Only the executable's own extension goes: "dbtext-1.2" is a name with a dot, not an extension.
    if (name.size() > 4 && name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    if (name.right(3).compare(QLatin1String("_dv"), Qt::CaseInsensitive) == 0)
        name.chop(3);
    return name;
}

QString commandLineOf(const QStringList& arguments) {
    QStringList parts;
    for (const QString& a : arguments)
        parts << (a.contains(QLatin1Char(' ')) && !a.contains(QLatin1Char('"'))
                      ? QLatin1Char('"') + a + QLatin1Char('"')
                      : a);
    return parts.join(QLatin1Char(' '));
}

void parseCommandLine(const QString& text, QString& path, QString& page) {
    const qsizetype q = text.lastIndexOf(QLatin1Char('"'));
    if (q < 0) {
        const qsizetype b = text.indexOf(QLatin1Char(' '));
        if (b < 0) {
            path = text;
            page.clear();
        } else {
            page = util::Trim(text.mid(b + 1));
            path = text.left(b);
        }
        return;
    }
    page = q < text.size() - 1 ? util::Trim(text.mid(q + 1)) : QString();
    QString before = text.left(q);
    before.remove(QLatin1Char('"'));
    path = util::Trim(before);
}

void A_Start(StartServices& s, const QString& executablePath, const QStringList& arguments) {
    s.screen.setBusy(true);
    util::ProcessState& ps = util::processState();
    ps.runFlag = true;
    ps.programName = programNameOf(executablePath);
    ps.programFolder = QFileInfo(executablePath).absolutePath();
    if (platform::pathSeparator() != QLatin1Char('/'))
        ps.programFolder.replace(QLatin1Char('/'), platform::pathSeparator());

    s.ini.W_UserData(s.mainWindow.ownerHandle());

    // The work folder for the ".dxml" files; a folder that cannot be made is reported when used.
    const QString sep(platform::pathSeparator());
    try {
        s.ini.F_ChkSb(ps.userDataFolder, {QStringLiteral("Wrk")});
    } catch (const util::VbError& e) {
        qCWarning(lcApp) << "work folder:" << e.what();
    }
    ps.workFolder = ps.userDataFolder + QStringLiteral("Wrk") + sep;

    bool ok = false;
    s.ini.GetTxt(ps.userDataFolder + QStringLiteral("User.xml"), ok);

    QString path;
    QString page;
    if (!arguments.isEmpty() && s.clt.FbExFile(arguments.first())) {
        // The desktop and the shell hand over the path as one argument, whatever it holds (blanks,
        // quotes): it is taken whole, and what follows is the page.
        path = arguments.first();
        page = util::Trim(arguments.mid(1).join(QLatin1Char(' ')));
    } else {
        parseCommandLine(commandLineOf(arguments), path, page);
    }
    if (!s.clt.FbExFile(path))
        path.clear();

    s.mainWindow.Act(path, page);
    s.screen.setBusy(false);
}

void A_Exit(const QList<std::function<void()>>& unloadWindows, const std::function<void()>& quit) {
    if (g_exiting)
        return; // a window closed by the first call asks again: the first call finishes the end
    g_exiting = true;
    for (const auto& unload : unloadWindows)
        if (unload)
            unload();
    util::processState().fso.reset();
    if (quit)
        quit();
    else
        QCoreApplication::exit(0);
}

bool installQtJapanese(QTranslator& translator) {
    if (!translator.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

QString dateLiteral(bool jet, const QDateTime& t) {
    if (jet)
        return QLatin1Char('#') + t.toString(QStringLiteral("MM/dd/yyyy HH:mm:ss")) + QLatin1Char('#');
    return QStringLiteral("convert(datetime,'") + t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) +
           QStringLiteral("')");
}

QString stampStatement(const docdb::zSvr& svr, const QString& sNoP, const QString& sNoC, bool bPub,
                       const QDateTime& now) {
    QString sql = docdb::sql::kStamp;
    docdb::zSvr::T_CnvSq(
        sql, {bPub ? QStringLiteral("dyPub") : QStringLiteral("dyUdt"), dateLiteral(svr.bJet(), now), sNoP, sNoC});
    return sql;
}

void StmpTrDt(docdb::zSvr& svr, const QString& sNoP, const QString& sNoC, bool& bOk, bool bPub, const QDateTime& now) {
    qint32 n = 0;
    svr.D_ExeSq(stampStatement(svr, sNoP, sNoC, bPub, now), bOk, n);
}

bool exiting() {
    return g_exiting;
}
void resetExiting() {
    g_exiting = false;
}

} // namespace app
