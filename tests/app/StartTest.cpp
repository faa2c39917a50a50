// Tests of start-up and the end: program name, command line, the environment made, the activation.
#include "app/Usr.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/ProcessState.h"
#include "util/zClt.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

class FakeMainWindow final : public mainwin::IMainWindow {
public:
    void Act(const QString& sDb, const QString& sNo) override { acts << QStringList{sDb, sNo}; }
    quintptr ownerHandle() const override { return 4711; }
    void unload() override { ++unloads; }
    QList<QStringList> acts;
    int unloads = 0;
};

} // namespace

TEST(QtTexts, ButtonsReadInJapanese) {
    QTranslator translator;
    ASSERT_TRUE(app::installQtJapanese(translator)) << "qt6-translations-l10n is installed by scripts/setup.sh";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    EXPECT_TRUE(QCoreApplication::translate("QPlatformTheme", "&Yes").startsWith(QStringLiteral("はい")));
    EXPECT_TRUE(QCoreApplication::translate("QPlatformTheme", "&No").startsWith(QStringLiteral("いいえ")));
    QCoreApplication::removeTranslator(&translator);
}

TEST(ProgramName, DropsATrailingDvInAnyCase) {
    EXPECT_EQ(app::programNameOf(QStringLiteral("C:\\tools\\abc_dv.exe")), QStringLiteral("abc"));
    EXPECT_EQ(app::programNameOf(QStringLiteral("/opt/x/ABC_DV")), QStringLiteral("ABC"));
    EXPECT_EQ(app::programNameOf(QStringLiteral("/opt/x/abc_Dv.exe")), QStringLiteral("abc"));
    EXPECT_EQ(app::programNameOf(QStringLiteral("/opt/x/abc_dvx")), QStringLiteral("abc_dvx"));
    EXPECT_EQ(app::programNameOf(QStringLiteral("/usr/bin/dbtext")), QStringLiteral("dbtext"));
    EXPECT_EQ(app::programNameOf(QStringLiteral("/opt/dbtext-1.2")), QStringLiteral("dbtext-1.2")); // not an extension
    EXPECT_EQ(app::programNameOf(QStringLiteral("C:\\x\\DBTEXT.EXE")), QStringLiteral("DBTEXT"));
}

TEST(CommandLine, ParsesAsTheTableShows) {
    struct Case {
        QString line, path, page;
    };
    const Case cases[] = {
        {QStringLiteral("C:\\db\\a.txdb"), QStringLiteral("C:\\db\\a.txdb"), QString()},
        {QStringLiteral("C:\\db\\a.txdb 42"), QStringLiteral("C:\\db\\a.txdb"), QStringLiteral("42")},
        {QStringLiteral("\"C:\\My docs\\a.txdb\""), QStringLiteral("C:\\My docs\\a.txdb"), QString()},
        {QStringLiteral("\"C:\\My docs\\a.txdb\" 25"), QStringLiteral("C:\\My docs\\a.txdb"), QStringLiteral("25")},
        {QStringLiteral("C:\\My docs\\a.txdb"), QStringLiteral("C:\\My"), QStringLiteral("docs\\a.txdb")},
        {QStringLiteral("  \"/x y/a.txdb\"   7  "), QStringLiteral("/x y/a.txdb"), QStringLiteral("7")},
        {QString(), QString(), QString()},
    };
    for (const Case& c : cases) {
        QString path = QStringLiteral("stale"), page = QStringLiteral("stale");
        app::parseCommandLine(c.line, path, page);
        EXPECT_EQ(path, c.path) << c.line.toStdString();
        EXPECT_EQ(page, c.page) << c.line.toStdString();
    }
}

TEST(CommandLine, ArgumentsWithBlanksAreQuotedAgain) {
    EXPECT_EQ(app::commandLineOf({QStringLiteral("/My docs/a.txdb"), QStringLiteral("25")}),
              QStringLiteral("\"/My docs/a.txdb\" 25"));
    EXPECT_EQ(app::commandLineOf({QStringLiteral("/My"), QStringLiteral("docs/a.txdb")}),
              QStringLiteral("/My docs/a.txdb"));
    EXPECT_EQ(app::commandLineOf({}), QString());
}

class Start : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        util::resetProcessState();
        app::resetExiting();
        folders.folders[26] = tmp.filePath(QStringLiteral("appdata"));
        QDir().mkpath(tmp.filePath(QStringLiteral("My docs")));
        db = testsupport::writeDb(tmp.filePath(QStringLiteral("My docs")), QStringLiteral("a.txdb"),
                                  testsupport::smallTree());
        exe = tmp.filePath(QStringLiteral("bin/dbtext_DV"));
        QDir().mkpath(tmp.filePath(QStringLiteral("bin")));
    }
    void start(const QStringList& args) {
        app::StartServices s{screen, ini, clt, window};
        app::A_Start(s, exe, args);
    }

    QTemporaryDir tmp;
    QString db;
    QString exe;
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    testsupport::FakeScreen screen;
    settings::yIni ini{messages, folders, appSettings, shell};
    util::zClt clt;
    FakeMainWindow window;
};

TEST_F(Start, PreparesTheEnvironmentAndActivatesWithPathAndPage) {
    start({db, QStringLiteral("25")}); // a quoted path with blanks arrives as one argument
    ASSERT_EQ(window.acts.size(), 1);
    EXPECT_EQ(window.acts[0], (QStringList{db, QStringLiteral("25")}));
    const util::ProcessState& ps = util::processState();
    EXPECT_TRUE(ps.runFlag);
    EXPECT_EQ(ps.programName, QStringLiteral("dbtext"));
    const QString udf = tmp.filePath(QStringLiteral("appdata/Vantre/dbtext/"));
    EXPECT_EQ(ps.userDataFolder, udf);
    EXPECT_EQ(ps.workFolder, udf + QStringLiteral("Wrk/"));
    EXPECT_TRUE(QDir(ps.workFolder).exists());
    EXPECT_TRUE(QFile::exists(udf + QStringLiteral("User.xml")));
    EXPECT_EQ(ini.settingsPath(), udf + QStringLiteral("User.xml"));
    EXPECT_EQ(screen.calls, (QList<bool>{true, false}));
    EXPECT_EQ(appSettings.values.value(QStringLiteral("VantreTools/Path/dbtext")),
              tmp.filePath(QStringLiteral("bin/dbtext"))); // registered without "_dv"
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Start, UnquotedPathWithBlanksIsCutAndDropped) {
    const QString dir = tmp.filePath(QStringLiteral("My"));
    start({dir, QStringLiteral("docs/a.txdb")}); // as typed without quotes
    ASSERT_EQ(window.acts.size(), 1);
    EXPECT_EQ(window.acts[0], (QStringList{QString(), QStringLiteral("docs/a.txdb")}));
}

TEST_F(Start, MissingFileOrNoArgumentsStartWithoutADatabase) {
    start({tmp.filePath(QStringLiteral("missing.txdb")), QStringLiteral("3")});
    start({});
    ASSERT_EQ(window.acts.size(), 2);
    EXPECT_EQ(window.acts[0][0], QString());
    EXPECT_EQ(window.acts[1], (QStringList{QString(), QString()}));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Start, ExitUnloadsOnceAndEndsOnce) {
    int quits = 0;
    auto quit = [&] {
        ++quits;
    };
    // The main window's close request during the end calls A_Exit again.
    app::A_Exit({[&] {
                    window.unload();
                    app::A_Exit({[&] {
                                    window.unload();
                                }},
                                quit);
                }},
                quit);
    EXPECT_EQ(window.unloads, 1);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(app::exiting());
    EXPECT_FALSE(util::processState().fso);
}
