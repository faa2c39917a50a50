// Tests of "保存" (the shown page saved in the format its extension names) and of the run-through's
// page list in its three modes.
#include "MainWindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

class SaveAndRun : public testsupport::MainWindowTest {
protected:
    void save(const QString& name) {
        dialog.answers.enqueue(name);
        window->SaveDoc();
    }
};

TEST_F(SaveAndRun, TheExtensionChoosesTheFormat) {
    makeWindow();
    activate(db);
    util::processState().workFolder = tmp.filePath(QStringLiteral("Wrk/"));
    QDir().mkpath(tmp.filePath(QStringLiteral("Wrk")));
    QDir().mkpath(tmp.filePath(QStringLiteral("my.docs")));
    save(tmp.filePath(QStringLiteral("my.docs/report"))); // no dot in the name: Word 97-2003
    ASSERT_EQ(dialog.calls.size(), 1);
    EXPECT_EQ(dialog.calls[0].title, QStringLiteral("文書の保存"));
    EXPECT_TRUE(dialog.calls[0].save);
    EXPECT_EQ(dialog.calls[0].filter,
              QStringLiteral("ﾜｰﾄﾞ文書 97-2003(*.doc)|*.doc|ﾜｰﾄﾞ文書 (*.docx)|*.docx|ﾘｯﾁﾃｷｽﾄ (*.rtf)|*.rtf|HTML "
                             "(*.htm;*.html)|*.htm;*.html|ｱｸﾛﾊﾞｯﾄPDF(*.pdf)|*.pdf|ﾃｽｷﾄﾌｧｲﾙ (*.txt)|*.txt|"));
    EXPECT_TRUE(
        testsupport::readBytes(tmp.filePath(QStringLiteral("my.docs/report.doc"))).startsWith("\xD0\xCF\x11\xE0"))
        << box.texts.join(' ').toStdString();
    save(tmp.filePath(QStringLiteral("notes.TXT"))); // compared in lower case: plain text
    EXPECT_TRUE(platform::TextCodec::fromAnsi(testsupport::readBytes(tmp.filePath(QStringLiteral("notes.TXT"))))
                    .contains(QStringLiteral("五のページ")));
    EXPECT_EQ(window->statusNote()->text(), QStringLiteral("保存しました: ") + tmp.filePath(QStringLiteral("notes.TXT")));
    save(tmp.filePath(QStringLiteral("data.xyz"))); // another extension: refused, and said
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("data.xyz"))));
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts[0].startsWith(QStringLiteral("data.xyz は保存できません")));
    EXPECT_TRUE(window->statusNote()->text().endsWith(QStringLiteral("notes.TXT"))); // no save: no new notice
    box.texts.clear();
    // A bare name takes the type chosen in the dialog.
    dialog.filterChosen = 4; // ｱｸﾛﾊﾞｯﾄPDF
    save(tmp.filePath(QStringLiteral("chosen")));
    EXPECT_TRUE(testsupport::readBytes(tmp.filePath(QStringLiteral("chosen.pdf"))).startsWith("%PDF"));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("chosen.doc"))));
    dialog.filterChosen = 3; // HTML: its first pattern
    save(tmp.filePath(QStringLiteral("chosen")));
    EXPECT_TRUE(testsupport::readBytes(tmp.filePath(QStringLiteral("chosen.htm"))).contains("五のページ"));
    dialog.filterChosen = 0;
    testsupport::writeBytes(tmp.filePath(QStringLiteral("old.htm")), "old contents");
    save(tmp.filePath(QStringLiteral("old.htm"))); // replaced without a question
    EXPECT_TRUE(testsupport::readBytes(tmp.filePath(QStringLiteral("old.htm"))).contains("五のページ"));
    window->SaveDoc(); // cancelled: nothing
    EXPECT_TRUE(box.texts.isEmpty());
    save(tmp.filePath(QStringLiteral("no such folder/a.pdf"))); // a save that fails says why
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts[0].startsWith(tmp.filePath(QStringLiteral("no such folder/a.pdf")) +
                                        QStringLiteral(" を保存できませんでした\r")));
}

TEST_F(SaveAndRun, DialogsStartInTheDatabasesFolderThenTheLastOneAndProposeTheTitle) {
    makeWindow();
    activate(db);
    window->tree()->SetLeaf(QStringLiteral("5"));
    const QString title = window->tree()->trView()->currentItem()->text(0);
    window->SaveDoc(); // cancelled
    ASSERT_EQ(dialog.calls.size(), 1);
    EXPECT_EQ(dialog.calls[0].start, QFileInfo(db).absolutePath() + QLatin1Char('/') + title + QStringLiteral(".doc"));
    // A title that no file name can hold is made one.
    EXPECT_EQ(mainwin::fmDoc::safeFileName(QStringLiteral("a/b:c*\"?<>|")), QStringLiteral("a_b_c______"));
    QDir().mkpath(tmp.filePath(QStringLiteral("out")));
    save(tmp.filePath(QStringLiteral("out/p.txt")));
    window->SaveDoc();
    EXPECT_EQ(dialog.calls.last().start, tmp.filePath(QStringLiteral("out")) + QLatin1Char('/') + title + QStringLiteral(".doc"));
    window->mnFile(0)->trigger(); // 開く: the last folder too
    EXPECT_FALSE(dialog.calls.last().save);
    EXPECT_EQ(dialog.calls.last().start, tmp.filePath(QStringLiteral("out")));
}

TEST_F(SaveAndRun, CtrlSSavesTheSamplePageAsPdfAndDocx) {
    makeWindow();
    activate(testsupport::sampleDb());
    util::processState().workFolder = tmp.filePath(QStringLiteral("Wrk/"));
    QDir().mkpath(tmp.filePath(QStringLiteral("Wrk")));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (const char* name : {"page.pdf", "page.docx"}) {
        dialog.answers.enqueue(tmp.filePath(QString::fromLatin1(name)));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    }
    EXPECT_TRUE(testsupport::runProgram(QStringLiteral("pdftotext"),
                                        {tmp.filePath(QStringLiteral("page.pdf")), QStringLiteral("-")})
                    .contains(QStringLiteral("DB Text へようこそ")));
    // Word keeps the text in runs: the tags between them go before the comparison.
    QString xml = testsupport::runProgram(
        QStringLiteral("unzip"),
        {QStringLiteral("-p"), tmp.filePath(QStringLiteral("page.docx")), QStringLiteral("word/document.xml")});
    xml.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("DB Text へようこそ"))) << xml.left(300).toStdString();
    EXPECT_TRUE(box.texts.isEmpty()) << box.texts.join(' ').toStdString();
}

TEST_F(SaveAndRun, TheFileMenuExportsTheChosenPagesBranch) {
    makeWindow();
    activate(db);
    window->tree()->SetLeaf(QStringLiteral("5"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    dialog.filterChosen = 1; // HTML, for a name without an extension
    dialog.answers.enqueue(tmp.filePath(QStringLiteral("branch")));
    box.answers.enqueue(platform::MsgAnswer::No); // the hidden page stays out
    QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
    QMenu* file = window->menu(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 2000));
    QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(window->mnExport()).center());
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("通し表示から外したﾍﾟｰｼﾞも書き出しますか?")});
    ASSERT_EQ(dialog.calls.size(), 1);
    EXPECT_TRUE(dialog.calls[0].start.endsWith(QStringLiteral("/五.pdf"))) << dialog.calls[0].start.toStdString();
    const QString html = QString::fromUtf8(testsupport::readBytes(tmp.filePath(QStringLiteral("branch.html"))));
    for (const char* id : {"p5", "p9", "p12"})
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"dbtext-%1\"").arg(QLatin1String(id)))) << id;
    EXPECT_FALSE(html.contains(QStringLiteral("id=\"dbtext-p30\""))); // hidden from the run-through
    EXPECT_EQ(window->statusNote()->text(), QStringLiteral("書き出しました: ") + tmp.filePath(QStringLiteral("branch.html")));
}

TEST_F(SaveAndRun, PageListsFollowTheTreeDepthFirstWithoutHiddenPages) {
    makeWindow();
    activate(db); // 5 (9, 12 (hidden 30)), 8 (21, 20, link 9), 40
    QString list;
    window->setRunMode(0);
    window->PageList(list);
    EXPECT_EQ(list, QStringLiteral("0-0,0-5,5-9,5-12,0-8,8-21,8-20,8-9,0-40"));
    window->tree()->SetLeaf(QStringLiteral("5"));
    window->setRunMode(1);
    window->PageList(list);
    EXPECT_EQ(list, QStringLiteral("0-5,5-9,5-12")); // children only
    window->setRunMode(2);
    window->tree()->SetLeaf(QStringLiteral("12"));
    window->PageList(list);
    EXPECT_EQ(list, QStringLiteral("5-12")); // its only child is hidden: its own entry only
    EXPECT_TRUE(box.texts.isEmpty());
    window->tree()->ClearItem();
    window->PageList(list);
    EXPECT_EQ(list, QString());
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("ｱｲﾃﾑがありません")});
    // From the menu, the message never shows under the busy pointer.
    bool busyAtMessage = true;
    box.onShow = [&](const QString&) {
        busyAtMessage = screen.busy();
    };
    window->mnDmp(1)->trigger();
    EXPECT_EQ(box.texts.size(), 2);
    EXPECT_FALSE(busyAtMessage);
}

TEST_F(SaveAndRun, TheLimitOf100OnlyStopsDescending) {
    samples::DocDbContent content;
    for (int i = 1; i <= 120; ++i) {
        for (int no : {i, 1000 + i}) {
            samples::PageRow p;
            p.no = no;
            p.title = QString::number(no);
            content.pages << p;
        }
        samples::TreeRow top;
        top.parent = 0, top.child = i, top.order = i, top.title = QString::number(i);
        samples::TreeRow below = top;
        below.parent = i, below.child = 1000 + i, below.order = 1;
        content.edges << top << below;
    }
    db = testsupport::writeDb(tmp.path(), QStringLiteral("wide.txdb"), content);
    makeWindow();
    activate(db);
    QString list;
    window->setRunMode(0);
    window->PageList(list);
    const QStringList entries = list.split(QLatin1Char(','));
    EXPECT_EQ(entries.size(), 1 + 120 + 50); // every top page; children until 99 entries were listed
    EXPECT_TRUE(entries.contains(QStringLiteral("50-1050")));
    EXPECT_FALSE(entries.contains(QStringLiteral("51-1051")));
    EXPECT_EQ(entries.last(), QStringLiteral("0-120"));
}

} // namespace
