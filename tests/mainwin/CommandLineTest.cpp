// Tests of the command line for scripts, through the built program: `dbtext --find` lists what the
// find pane lists, needs no display and writes nothing; exit codes of --help, --version and errors.
#include "MainWindowFixture.h"
#include "find/FindIndex.h"
#include "support/PgCluster.h"

#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QPushButton>

namespace {

struct ProgramRun {
    int code = -1;
    QString out, err;
};

class CommandLine : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_FALSE(testsupport::sampleDb().isEmpty());
        sample = tmp.filePath(QStringLiteral("見本 の'db'.txdb"));
        ASSERT_TRUE(QFile::copy(testsupport::sampleDb(), sample));
        ASSERT_TRUE(QDir().mkpath(home()));
    }
    QString home() const { return tmp.filePath(QStringLiteral("home")); }
    /// Runs the program as a script would: no display, and a home folder of its own.
    ProgramRun run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            env.insert(QString::fromLatin1(name), home() + QStringLiteral("/.") + QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DBTEXT_BINARY), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    /// What the find pane lists for a text, as "number<TAB>title" lines.
    QString paneLines(const QString& words) {
        window->tree()->SetFrame(2);
        window->tree()->cmbFind()->setEditText(words);
        QTest::mouseClick(window->tree()->cmFind(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->tree()->findEngine().finding(); }, 20000));
        QString lines;
        QListWidget* list = window->tree()->lsFind();
        for (int i = 0; i < list->count(); ++i)
            lines += QString::number(list->item(i)->data(Qt::UserRole).toInt()) + QLatin1Char('\t') +
                     list->item(i)->text() + QLatin1Char('\n');
        return lines;
    }
    QString sample;
};

TEST_F(CommandLine, FindListsWhatThePaneListsAndWritesNothing) {
    QFile f(sample);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    makeWindow();
    activate(sample);
    // Quotes, wildcards, "?" (text, not a placeholder), Japanese, several words, and no words at all.
    const QStringList words = {QStringLiteral("'"),
                               QStringLiteral("%"),
                               QStringLiteral("_"),
                               QStringLiteral("?"),
                               QStringLiteral("ﾌｧｲﾙ"),
                               QStringLiteral("検索 タブ"),
                               QStringLiteral("  ページ   表示 "),
                               QStringLiteral("版_記録"),
                               QString(),
                               QStringLiteral("見つからない語")};
    int nonEmpty = 0;
    for (const QString& w : words) {
        const ProgramRun r = run({QStringLiteral("--find"), w, sample});
        EXPECT_EQ(r.code, 0) << w.toStdString() << r.err.toStdString();
        EXPECT_EQ(r.err, QString());
        EXPECT_EQ(r.out, paneLines(w)) << w.toStdString();
        nonEmpty += r.out.isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(nonEmpty, words.size() - 1); // every word but the last finds pages
    EXPECT_EQ(run({QStringLiteral("--find"), QStringLiteral("?"), sample}).out.count(QLatin1Char('\n')), 1);
    window.reset();
    svr.D_Close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    // Nothing but the find index in the cache folder.
    QDirIterator written(home(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList others;
    while (written.hasNext()) {
        const QString path = written.next();
        const bool index = path.contains(QStringLiteral("/dbtext/find/")) ||
                           path.endsWith(QStringLiteral("/dbtext/find")) || path.endsWith(QStringLiteral("/dbtext")) ||
                           QDir(path + QStringLiteral("/dbtext")).exists(); // the cache folder holding it
        if (!index)
            others << path;
    }
    EXPECT_TRUE(others.isEmpty()) << others.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(find::findindex::isCurrent(sample)); // the first find built it
}

TEST_F(CommandLine, HelpVersionAndErrorsExitAsDocumented) {
    ProgramRun r = run({QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("--find")) && r.out.contains(QStringLiteral("ページ番号")));
    r = run({QStringLiteral("--version")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("dbtext 0.1.0\n"));
    // A file that is not a document database, a missing file, wrong arguments.
    const QString text = tmp.filePath(QStringLiteral("notes.txdb"));
    testsupport::writeBytes(text, "just text");
    r = run({QStringLiteral("--find"), QStringLiteral("a"), text});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err, QStringLiteral("dbtext: DataBase Open Error !!\n"));
    r = run({QStringLiteral("--find"), QStringLiteral("a"), tmp.filePath(QStringLiteral("none.txdb"))});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("none.txdb")));
    // A title with a tab and line breaks stays on its one line, and one with the terminal's control
    // characters (an escape sequence that would retitle it, the bell, NUL, DEL, a C1 control) is
    // written as text.
    auto content = testsupport::smallTree();
    content.pages[0].title = QStringLiteral("五\tの\r\n題名");
    const char16_t hostile[] = u"九\x1b]0;pwned\x07\x1b[2J\x00\x7f\x9b"
                               u"1m";
    QString hostileTitle = QString::fromUtf16(hostile, std::size(hostile) - 1);
    if (testsupport::onServer())
        hostileTitle.replace(QChar(0), QLatin1Char(' ')); // a server stores no NUL
    for (auto& page : content.pages)
        if (page.no == 9)
            page.title = hostileTitle;
    r = run({QStringLiteral("--find"), QStringLiteral("日本語"),
             testsupport::writeDb(tmp.path(), QStringLiteral("titles.txdb"), content)});
    EXPECT_EQ(r.out, QStringLiteral("5\t五 の  題名\n"));
    r = run({QStringLiteral("--find"), QStringLiteral("alpha"), tmp.filePath(QStringLiteral("titles.txdb"))});
    EXPECT_EQ(r.out, QStringLiteral("9\t九 ]0;pwned  [2J   1m\n5\t五 の  題名\n"));
    for (const QStringList& args : {QStringList{QStringLiteral("--find"), QStringLiteral("a")},
                                    QStringList{QStringLiteral("--version"), QStringLiteral("x")}}) {
        r = run(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("使い方")));
    }
}

} // namespace
