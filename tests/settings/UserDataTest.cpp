// Tests of the user data folder: the choice file's cases, the registered program path, folders and shell.
#include "platform/TextCodec.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/ProcessState.h"
#include "util/Vb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using settings::yIni;

class UserData : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        util::resetProcessState();
        programDir = tmp.filePath(QStringLiteral("prog"));
        QDir().mkpath(programDir);
        folders.folders[26] = tmp.filePath(QStringLiteral("appdata"));
        folders.folders[5] = tmp.filePath(QStringLiteral("docs"));
        folders.folders[9] = tmp.filePath(QStringLiteral("sendto"));
        util::processState().programFolder = programDir;
        util::processState().programName = QStringLiteral("dbtext");
    }
    QString choiceFile() const { return programDir + QStringLiteral("/UserData.ini"); }
    void writeChoice(const QString& text) { testsupport::writeBytes(choiceFile(), platform::TextCodec::toAnsi(text)); }
    QString appData() const { return tmp.filePath(QStringLiteral("appdata/Vantre/dbtext/")); }
    QString docs() const { return tmp.filePath(QStringLiteral("docs/Vantre/dbtext/")); }

    QTemporaryDir tmp;
    QString programDir;
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    yIni ini{messages, folders, appSettings, shell};
};

TEST_F(UserData, NoChoiceFileWritesTheDefaultAndCreatesEveryLevel) {
    ini.W_UserData(0);
    EXPECT_EQ(testsupport::readBytes(choiceFile()), QByteArray("%applicaion data%"));
    EXPECT_EQ(ini.userDataFolder(), appData());
    EXPECT_EQ(util::processState().userDataFolder, appData());
    EXPECT_TRUE(QDir(appData()).exists());
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(UserData, AProgramInASystemFolderKeepsTheChoiceInTheUsersConfiguration) {
    EXPECT_TRUE(yIni::isSystemFolder(QStringLiteral("/usr/bin")));
    EXPECT_TRUE(yIni::isSystemFolder(QStringLiteral("/usr/local/bin")));
    EXPECT_TRUE(yIni::isSystemFolder(QStringLiteral("/opt/dbtext/bin")));
    EXPECT_FALSE(yIni::isSystemFolder(programDir));
    QDir().mkpath(tmp.filePath(QStringLiteral("usr")));
    EXPECT_FALSE(yIni::isSystemFolder(tmp.filePath(QStringLiteral("usr")))); // a name, not the prefix
    util::processState().programFolder = QStringLiteral("/usr/bin");
    const bool there = QFile::exists(QStringLiteral("/usr/bin/UserData.ini"));
    ini.W_UserData(0);
    EXPECT_EQ(QFile::exists(QStringLiteral("/usr/bin/UserData.ini")), there); // nothing written beside the program
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Vantre/dbtext/UserData.ini");
    EXPECT_EQ(testsupport::readBytes(config), QByteArray("%applicaion data%"));
    EXPECT_EQ(ini.userDataFolder(), appData());
}

TEST_F(UserData, KeywordsChooseTheFolder) {
    struct Case {
        QString choice;
        QString folder;
    };
    const Case cases[] = {
        {QStringLiteral("%APP%"), programDir + QStringLiteral("/usData/")},
        {QStringLiteral("%App%"), programDir + QStringLiteral("/usData/")},
        {QStringLiteral("%usr%"), appData()},
        {QStringLiteral("%Applicaion Data%"), appData()},
        {QStringLiteral("%doc"), docs()},
        {QStringLiteral("%My Document%"), docs()},
        {QStringLiteral("%doc%"), appData()},                                   // not the keyword, but begins with "%"
        {QStringLiteral("%app%\r\n"), programDir + QStringLiteral("/usData/")}, // the line, as editors end it
        {QStringLiteral("%app%\n"), programDir + QStringLiteral("/usData/")},
        {QStringLiteral("\r\n\n%doc\r\nmore"), docs()}, // the first line that holds anything
        {QStringLiteral("%anything"), appData()},
    };
    for (const Case& c : cases) {
        writeChoice(c.choice);
        messages.texts.clear();
        ini.W_UserData(0);
        EXPECT_EQ(ini.userDataFolder(), c.folder) << c.choice.toStdString();
        EXPECT_TRUE(QDir(c.folder).exists()) << c.choice.toStdString();
        EXPECT_TRUE(messages.texts.isEmpty()) << c.choice.toStdString();
        EXPECT_EQ(testsupport::readBytes(choiceFile()), platform::TextCodec::toAnsi(c.choice)); // left as it is
    }
}

TEST_F(UserData, OnlyAnEmptyChoiceFileIsWrittenAndALongLineIsNotReadWhole) {
    writeChoice(QString());
    ini.W_UserData(0);
    EXPECT_EQ(testsupport::readBytes(choiceFile()), QByteArray("%applicaion data%"));
    writeChoice(QStringLiteral("\r\n\r\n"));
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
    EXPECT_EQ(testsupport::readBytes(choiceFile()), QByteArray("\r\n\r\n")); // never written over
    // A line of ten megabytes: read no further than a path could go, and the message stays short.
    const QByteArray huge(10 << 20, 'x');
    testsupport::writeBytes(choiceFile(), huge);
    messages.texts.clear();
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_LT(messages.texts[0].size(), 400);
    EXPECT_EQ(testsupport::readBytes(choiceFile()), huge);
}

TEST_F(UserData, AChoiceFileThatIsNoFileIsLeftAlone) {
    // A pipe of that name would hold the start for ever, were it opened.
    ASSERT_EQ(::mkfifo(QFile::encodeName(choiceFile()).constData(), 0600), 0);
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
    EXPECT_TRUE(QFileInfo(choiceFile()).isFile() == false && QFileInfo::exists(choiceFile()));
}

TEST_F(UserData, ExistingFolderGetsItsSeparator) {
    const QString own = tmp.filePath(QStringLiteral("own data"));
    QDir().mkpath(own);
    writeChoice(own);
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), own + QLatin1Char('/'));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(UserData, MissingFolderShowsTheMessageAndUsesApplicationData) {
    const QString missing = tmp.filePath(QStringLiteral("nowhere/at/all"));
    writeChoice(missing);
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], QStringLiteral("ﾌｫﾙﾀﾞ ") + missing + QStringLiteral(" が見つかりません\r") +
                                     QStringLiteral("ﾕｰｻﾞｰﾃﾞｰﾀｰﾌｫﾙﾀﾞは　") + appData() +
                                     QStringLiteral(" を使用します"));
    EXPECT_EQ(testsupport::readBytes(choiceFile()), platform::TextCodec::toAnsi(missing)); // unchanged
    EXPECT_FALSE(QDir(missing).exists());
}

TEST_F(UserData, FolderThatCannotBeMadeFallsBackAndGoesOn) {
    // A file named "usData" stands where the folder should be made.
    testsupport::writeBytes(programDir + QStringLiteral("/usData"), "x");
    writeChoice(QStringLiteral("%app%"));
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
    EXPECT_TRUE(QDir(appData()).exists());
}

TEST_F(UserData, ChoiceFileThatIsNoAnsiTextIsLeftAlone) {
    for (const QByteArray& bytes : {QByteArray("\x82"), QByteArray("%app%\x81"), QByteArray("\x82\r\n")}) {
        testsupport::writeBytes(choiceFile(), bytes); // a lone lead byte of Shift-JIS
        ini.W_UserData(0);
        EXPECT_EQ(ini.userDataFolder(), appData());
        EXPECT_EQ(testsupport::readBytes(choiceFile()), bytes);
    }
}

TEST_F(UserData, UnwritableChoiceFileDoesNotStopTheProgram) {
    QDir().mkpath(choiceFile()); // the choice file's name is taken by a folder
    ini.W_UserData(0);
    EXPECT_EQ(ini.userDataFolder(), appData());
}

TEST_F(UserData, ProgramPathIsRegisteredOnlyWhenItDiffers) {
    ini.W_UserData(0);
    const QString key = QStringLiteral("VantreTools/Path/dbtext");
    EXPECT_EQ(appSettings.values.value(key), programDir + QStringLiteral("/dbtext"));
    EXPECT_EQ(appSettings.writes, 1);
    ini.W_UserData(0);
    EXPECT_EQ(appSettings.writes, 1);
    util::processState().programFolder = tmp.filePath(QStringLiteral("moved"));
    ini.W_UserData(0);
    EXPECT_EQ(appSettings.writes, 2);
}

TEST_F(UserData, CreateFolderMakesEveryLevelAndIgnoresFailures) {
    const QString deep = tmp.filePath(QStringLiteral("a/b/c"));
    ini.F_CreateFld(deep);
    EXPECT_TRUE(QDir(deep).exists());
    testsupport::writeBytes(tmp.filePath(QStringLiteral("file")), "x");
    ini.F_CreateFld(tmp.filePath(QStringLiteral("file/sub/x"))); // cannot be made: no report
    EXPECT_FALSE(QDir(tmp.filePath(QStringLiteral("file/sub"))).exists());
}

TEST_F(UserData, SubfoldersAreMadeOneLevelOrReported) {
    const QString base = tmp.path() + QLatin1Char('/');
    ini.F_ChkSb(base, {QStringLiteral("Wrk"), QStringLiteral("Other")});
    EXPECT_TRUE(QDir(base + QStringLiteral("Wrk")).exists());
    EXPECT_TRUE(QDir(base + QStringLiteral("Other")).exists());
    ini.F_ChkSb(base, {QStringLiteral("Wrk")}); // existing: nothing happens
    EXPECT_THROW(ini.F_ChkSb(base + QStringLiteral("no/such/"), {QStringLiteral("Wrk")}), util::VbError);
}

TEST_F(UserData, SpecialFoldersAndShellRequests) {
    EXPECT_EQ(ini.FsGtSpFld(26), tmp.filePath(QStringLiteral("appdata")));
    EXPECT_EQ(ini.FsGtSpFld(77), QString());
    ini.W_ExpFd(QString(), true);
    ini.W_ExpFd(QStringLiteral("https://www.debian.org/"), true);
    ini.W_ExpFd(tmp.path(), false);
    ini.W_ExpFd(tmp.filePath(QStringLiteral("missing")), false);
    EXPECT_EQ(shell.opened, QStringList{QStringLiteral("https://www.debian.org/")});
    EXPECT_EQ(shell.explored, QStringList{tmp.path()});
}
