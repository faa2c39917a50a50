// Tests of the desktop registration: the registry entries in their order (through a recording
// registry), and the freedesktop files in private XDG folders, checked with the desktop's own tools.
#include "platform/DesktopRegistration.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QImage>
#include <QScopeGuard>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using platform::FreedesktopAssociation;

namespace {

class RecordingRegistry final : public platform::IRegistry {
public:
    bool writeKey(const QString& key, const std::optional<QString>& value) override {
        writes << (key + QStringLiteral(" = ") + value.value_or(QStringLiteral("(no value)")));
        return !refuse.contains(key);
    }
    void notifyAssociationsChanged() override { writes << QStringLiteral("(association changed)"); }
    QStringList writes;
    QStringList refuse;
};

QString run(const QString& program, const QStringList& args, int* code = nullptr) {
    return testsupport::runProgram(program, args, code).trimmed();
}

/// Opens a file with xdg-open on the desktop named (none: a plain window manager or a script) and
/// expects the stand-in program to have got it as its one argument.
void expectOpened(const QString& desktop, const QString& file, const QString& exe) {
    QProcess open;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DESKTOP_SESSION"));
    if (desktop.isEmpty())
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    else
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":99")); // xdg-open only looks whether one is named
    open.setProcessEnvironment(env);
    open.start(QStringLiteral("xdg-open"), {file});
    open.waitForFinished(30000);
    EXPECT_EQ(open.exitCode(), 0) << open.readAllStandardError().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(exe + QStringLiteral(".args")); }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(QString::fromUtf8(testsupport::readBytes(exe + QStringLiteral(".args"))), file + QLatin1Char('\n'));
}

} // namespace

TEST(RegistryAssociation, WritesTheSixEntriesInOrderWithQuotedPaths) {
    RecordingRegistry registry;
    platform::RegistryAssociation assoc(registry);
    const QString exe = QStringLiteral("C:\\Program Files\\DB Text\\dbtext.exe");
    EXPECT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    const QStringList expected = {
        QStringLiteral(".txdb = txdbfile"),
        QStringLiteral("txdbfile = (no value)"),
        QStringLiteral("txdbfile\\DefaultIcon = \"C:\\Program Files\\DB Text\\dbtext.exe\",0"),
        QStringLiteral("txdbfile\\Shell = Open"),
        QStringLiteral("txdbfile\\Shell\\Open = Open"),
        QStringLiteral("txdbfile\\Shell\\Open\\Command = \"C:\\Program Files\\DB Text\\dbtext.exe\" \"%1\""),
        QStringLiteral("(association changed)")};
    EXPECT_EQ(registry.writes, expected);
    // Twice: the same entries again. Only the command's key decides the outcome.
    registry.writes.clear();
    registry.refuse = {QStringLiteral(".txdb")};
    EXPECT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    EXPECT_EQ(registry.writes, expected);
    registry.refuse = {QStringLiteral("txdbfile\\Shell\\Open\\Command")};
    EXPECT_FALSE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    EXPECT_EQ(assoc.sendToFile(QStringLiteral("C:\\SendTo"), QStringLiteral("dbtext")),
              QStringLiteral("C:\\SendTo\\dbtext.lnk"));
}

TEST(FreedesktopAssociation, MakesTheReaderTheDefaultForTxdbInTheUsersFolders) {
    QTemporaryDir tmp;
    qputenv("XDG_DATA_HOME", tmp.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", tmp.filePath(QStringLiteral("config")).toUtf8());
    // The user's other choices stay.
    QDir().mkpath(tmp.filePath(QStringLiteral("config")));
    testsupport::writeBytes(tmp.filePath(QStringLiteral("config/mimeapps.list")),
                            "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\n"
                            "text/plain=gedit.desktop\napplication/x-txdb=old.desktop\n");
    FreedesktopAssociation assoc;
    // The program is a stand-in that writes the arguments it receives, one a line.
    const QString exe = tmp.filePath(QStringLiteral("my apps/100% \"db\" $x\\y/dbtext"));
    QDir().mkpath(QFileInfo(exe).absolutePath());
    testsupport::writeBytes(exe, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb"))); // twice
    const QString desktop = tmp.filePath(QStringLiteral("data/applications/dbtext.desktop"));
    int code = -1;
    const QString complaints = run(QStringLiteral("desktop-file-validate"), {desktop}, &code);
    EXPECT_EQ(code, 0) << complaints.toStdString();
    EXPECT_EQ(complaints, QString());
    // A path that needs quoting is started through a launcher of a plain path, which hands the
    // arguments on unchanged.
    const QString launcher = tmp.filePath(QStringLiteral("data/dbtext/dbtext"));
    EXPECT_TRUE(testsupport::readBytes(desktop).contains("\nExec=" + launcher.toUtf8() + " %f\n"))
        << testsupport::readBytes(desktop).toStdString();
    EXPECT_EQ(platform::FreedesktopAssociation::execArgument(exe),
              QStringLiteral("env \"") +
                  tmp.filePath(QStringLiteral("my apps/100%% \\\\\"db\\\\\" \\\\$x\\\\\\\\y/dbtext")) +
                  QLatin1Char('"'));
    EXPECT_EQ(run(QStringLiteral("xdg-mime"),
                  {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/x-txdb")}),
              QStringLiteral("dbtext.desktop"));
    const QByteArray list = testsupport::readBytes(tmp.filePath(QStringLiteral("config/mimeapps.list")));
    EXPECT_TRUE(list.contains("[Added Associations]\ntext/plain=gedit.desktop;"));
    EXPECT_TRUE(list.contains("text/plain=gedit.desktop\n"));
    EXPECT_EQ(list.count("application/x-txdb="), 1);
    // The MIME database knows the extension.
    EXPECT_TRUE(testsupport::readBytes(tmp.filePath(QStringLiteral("data/mime/globs2"))).contains("*.txdb"));
    // Opening a database from the desktop (xdg-open through gio, as on GNOME and most desktops)
    // starts the program with the file as one argument, blanks and all.
    const QString db = tmp.filePath(QStringLiteral("文書 の db.txdb"));
    testsupport::writeBytes(db, "SQLite format 3");
    expectOpened(QStringLiteral("GNOME"), db, exe);
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(FreedesktopAssociation, APlainPathOpensOutsideAKnownDesktopAndAPackagedEntryStaysInSight) {
    QTemporaryDir tmp;
    qputenv("XDG_DATA_HOME", tmp.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", tmp.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_DIRS", tmp.filePath(QStringLiteral("sys")).toUtf8()); // the packages' folder
    const auto restore = qScopeGuard([] {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_DIRS");
    });
    const QString exe = tmp.filePath(QStringLiteral("bin/dbtext"));
    QDir().mkpath(QFileInfo(exe).absolutePath());
    testsupport::writeBytes(exe, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    FreedesktopAssociation assoc;
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    const QString entry = tmp.filePath(QStringLiteral("data/applications/dbtext.desktop"));
    EXPECT_TRUE(testsupport::readBytes(entry).contains("\nExec=" + exe.toUtf8() + " %f\n")); // no quotes
    // The icon it names is there.
    EXPECT_FALSE(QImage(tmp.filePath(QStringLiteral("data/icons/hicolor/48x48/apps/dbtext.png"))).isNull());
    // xdg-open with no desktop named (a plain window manager, a script) starts it with the file.
    const QString db = tmp.filePath(QStringLiteral("文書 の db.txdb"));
    testsupport::writeBytes(db, "SQLite format 3");
    expectOpened(QString(), db, exe);
    // So does a path that needs quoting, through its launcher.
    const QString spaced = tmp.filePath(QStringLiteral("my bin/dbtext"));
    QDir().mkpath(QFileInfo(spaced).absolutePath());
    QFile::copy(exe, spaced);
    QFile::setPermissions(spaced, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), spaced, QStringLiteral("txdb")));
    expectOpened(QString(), db, spaced);

    // A package's entry that starts this program: ours under its name goes, the package's is the default.
    QDir().mkpath(tmp.filePath(QStringLiteral("sys/applications")));
    testsupport::writeBytes(tmp.filePath(QStringLiteral("sys/applications/dbtext.desktop")),
                            "[Desktop Entry]\nType=Application\nName=DB Text\nExec=" + exe.toUtf8() + " %f\n");
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(run(QStringLiteral("xdg-mime"),
                  {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/x-txdb")}),
              QStringLiteral("dbtext.desktop"));
    // One that starts another program: ours gets a name of its own and hides nothing.
    testsupport::writeBytes(tmp.filePath(QStringLiteral("sys/applications/dbtext.desktop")),
                            "[Desktop Entry]\nType=Application\nName=DB Text\nExec=/usr/bin/dbtext %f\n");
    ASSERT_TRUE(assoc.registerExtension(QStringLiteral("txdbfile"), exe, QStringLiteral("txdb")));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(QFile::exists(tmp.filePath(QStringLiteral("data/applications/dbtext-user.desktop"))));
    EXPECT_EQ(run(QStringLiteral("xdg-mime"),
                  {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/x-txdb")}),
              QStringLiteral("dbtext-user.desktop"));
}

TEST(FreedesktopAssociation, SendToLauncherStartsTheProgramOnTheFileSent) {
    QTemporaryDir tmp;
    // A stand-in program that writes the arguments it receives, one a line.
    const QString program = tmp.filePath(QStringLiteral("it's here/dbtext"));
    QDir().mkpath(QFileInfo(program).absolutePath());
    testsupport::writeBytes(program, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    FreedesktopAssociation assoc;
    const QString folder = tmp.filePath(QStringLiteral("scripts"));
    ASSERT_TRUE(assoc.createSendTo(folder, QStringLiteral("dbtext"), program));
    ASSERT_TRUE(assoc.createSendTo(folder, QStringLiteral("dbtext"), program)); // replaced
    const QString launcher = assoc.sendToFile(folder, QStringLiteral("dbtext"));
    EXPECT_TRUE(QFileInfo(launcher).isExecutable());
    int code = -1;
    run(launcher, {QStringLiteral("/data/文書 の $HOME 'db'.txdb")}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(QString::fromUtf8(testsupport::readBytes(program + QStringLiteral(".args"))),
              QStringLiteral("/data/文書 の $HOME 'db'.txdb\n"));
    // Run as the file manager does, in the file's folder with its bare name: the program gets the
    // whole path, so that a name starting with "-" is no option.
    QProcess fromFolder;
    fromFolder.setWorkingDirectory(tmp.path());
    fromFolder.start(launcher, {QStringLiteral("-style=x.txdb")});
    fromFolder.waitForFinished(30000);
    EXPECT_EQ(QString::fromUtf8(testsupport::readBytes(program + QStringLiteral(".args"))),
              QDir(tmp.path()).canonicalPath() + QStringLiteral("/-style=x.txdb\n"));
    EXPECT_FALSE(assoc.createSendTo(QString(), QStringLiteral("dbtext"), program));
}
