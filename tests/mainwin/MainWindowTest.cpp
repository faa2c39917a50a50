// Tests of the main window: menus, the saved place, layout, page display, opening and its failures.
#include "MainWindowFixture.h"

#include <QScrollBar>
#include <QSignalSpy>

using testsupport::MainWindowTest;

namespace {
QString line(const char* key, int value) {
    return QStringLiteral("      <%1>%2</%1>\r\n").arg(QString::fromLatin1(key)).arg(value);
}
} // namespace

TEST_F(MainWindowTest, MenusCarryTheirTextsKeysAndStates) {
    makeWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DB Text"));
    activate(QString());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DB Text"));
    EXPECT_EQ(window->menu(0)->title(), QStringLiteral("ﾌｧｲﾙ(&F)"));
    EXPECT_EQ(window->menu(1)->title(), QStringLiteral("設定(&U)"));
    EXPECT_EQ(window->menu(2)->title(), QStringLiteral("運用(&A)"));
    EXPECT_EQ(window->mnFile(0)->text(), QStringLiteral("開く"));
    EXPECT_EQ(window->mnFile(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(window->mnFile(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(window->mnFile(2)->text(), QStringLiteral("保存"));
    EXPECT_TRUE(window->mnFile(3)->isSeparator());
    EXPECT_EQ(window->mnFile(4)->text(), QStringLiteral("ﾍﾟｰｼﾞ全体に目を通す"));
    EXPECT_EQ(window->mnDmp(2)->text(), QStringLiteral("現在の文節以降全て"));
    EXPECT_EQ(window->mnFile(6)->text(), QStringLiteral("終了"));
    EXPECT_EQ(window->mnFile(6)->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    EXPECT_EQ(window->mnTree(2)->text(), QStringLiteral("非表示"));
    EXPECT_EQ(window->mnZoom(1)->text(), QStringLiteral("等倍(100%)"));
    EXPECT_EQ(window->mnApSys(1)->text(), QStringLiteral("「送る」にｼｮｰﾄｶｯﾄ作成"));
    EXPECT_TRUE(window->mnZoom(1)->isChecked());
    EXPECT_TRUE(window->mnTree(0)->isChecked());
    // Without a database: print, save and the run-through are off; open and exit are on.
    EXPECT_FALSE(window->mnFile(1)->isEnabled());
    EXPECT_FALSE(window->mnFile(2)->isEnabled());
    EXPECT_FALSE(window->mnFile(4)->isEnabled());
    EXPECT_TRUE(window->mnFile(0)->isEnabled());
    EXPECT_TRUE(window->mnFile(6)->isEnabled());
    EXPECT_TRUE(window->label(0)->text().contains(QStringLiteral("ﾌｧｲﾙ(")));
    EXPECT_FALSE(window->hintPanel()->isVisible());
    // A label opens its menu under the mouse.
    QTest::mouseClick(window->label(1), Qt::LeftButton);
    EXPECT_TRUE(window->menu(1)->isVisible());
    window->menu(1)->close();
}

TEST_F(MainWindowTest, MissingOrZeroSizeKeepsTheDesignedPlace) {
    makeWindow(line("Left", 1500) + line("Top", 1500) + line("Width", 0) + line("Height", 9000));
    const QRect designed = window->geometry();
    activate(QString());
    EXPECT_EQ(window->size(), designed.size());
    EXPECT_EQ(window->size(), QSize(800, 560));
}

TEST_F(MainWindowTest, StoredPlaceZoomAndTreeModeAreApplied) {
    makeWindow(line("Left", 750) + line("Top", 900) + line("Width", 10500) + line("Height", 7500) + line("Zoom", 4) +
               line("Trvw", 1));
    activate(db);
    EXPECT_EQ(window->size(), QSize(700, 500));
    EXPECT_EQ(window->pos(), QPoint(50, 60));
    EXPECT_EQ(window->view()->zoom(), 150);
    EXPECT_TRUE(window->mnZoom(4)->isChecked());
    EXPECT_EQ(window->treeMode(), 1);
    EXPECT_TRUE(window->mnTree(1)->isChecked());
    EXPECT_EQ(window->tree()->width(), qRound(2600 / 15.0));
}

TEST_F(MainWindowTest, OutOfRangeStepsFallBackToTheDefaults) {
    makeWindow(line("Zoom", 9) + line("Trvw", -1));
    activate(db);
    EXPECT_EQ(window->zoomStep(), 1);
    EXPECT_EQ(window->view()->zoom(), 100);
    EXPECT_TRUE(window->mnZoom(1)->isChecked());
    EXPECT_EQ(window->treeMode(), 0);
    EXPECT_TRUE(window->mnTree(0)->isChecked());
}

TEST_F(MainWindowTest, LayoutFollowsTheTreeModeAndKeepsItWhenTooSmall) {
    makeWindow();
    activate(db);
    // Above the status line (300 twips along the bottom) the layout is the designed one.
    const int W = window->scaleWidth(), H = window->scaleHeight() - 300;
    const int T = twips(window->tree()).y();
    EXPECT_EQ(window->tree()->geometry(), px(0, T, 3600, H - T - 20));
    EXPECT_EQ(window->view()->geometry(), px(3610, 0, W - 3620, H));
    EXPECT_EQ(window->statusPage()->parentWidget()->geometry(), px(0, H, W, 300));
    // Narrower than 7000 twips: the previous layout stays.
    const QRect before = window->view()->geometry();
    window->resize(400, 560);
    EXPECT_EQ(window->view()->geometry(), before);
    window->resize(800, 560);
    // "非表示": the tree is hidden and the view takes the full width from the tree's top.
    window->mnTree(2)->trigger();
    EXPECT_FALSE(window->tree()->isVisible());
    EXPECT_EQ(window->view()->geometry(), px(0, T, window->scaleWidth(), window->scaleHeight() - 300 - T));
    window->mnTree(0)->trigger();
    EXPECT_TRUE(window->tree()->isVisible());
    EXPECT_EQ(window->tree()->width(), 240);
}

TEST_F(MainWindowTest, ZoomCommandChecksAndZooms) {
    makeWindow();
    activate(db);
    window->mnZoom(5)->trigger();
    EXPECT_EQ(window->view()->zoom(), 200);
    EXPECT_TRUE(window->mnZoom(5)->isChecked());
    EXPECT_FALSE(window->mnZoom(1)->isChecked());
    window->mnZoom(0)->trigger();
    EXPECT_EQ(window->view()->zoom(), 90);
}

TEST_F(MainWindowTest, OpeningShowsTheFirstPageAndEnablesTheCommands) {
    makeWindow();
    QSignalSpy titles(window.get(), &QWidget::windowTitleChanged);
    activate(db);
    ASSERT_GE(titles.count(), 2);
    EXPECT_EQ(titles.at(0).at(0).toString(), db); // the full path first
    EXPECT_EQ(window->windowTitle(), QStringLiteral("main.txdb 文書No:5"));
    EXPECT_TRUE(window->view()->text().contains(QStringLiteral("五のページ")));
    EXPECT_TRUE(window->mnFile(1)->isEnabled());
    EXPECT_TRUE(window->mnFile(4)->isEnabled());
    EXPECT_EQ(window->tree()->SlctdKy(), QStringLiteral("N0-5"));
    EXPECT_TRUE(window->tree()->renameEnabled());    // a writable database: titles can be edited
    ASSERT_EQ(window->tree()->lsRsnt()->count(), 1); // the shown page went into the recent list
    EXPECT_TRUE(box.texts.isEmpty());

    // A second database: its path, then its name and page.
    const QString other = testsupport::writeDb(tmp.path(), QStringLiteral("other.txdb"), testsupport::smallTree());
    titles.clear();
    QString path = other;
    window->OpenDb(path);
    ASSERT_GE(titles.count(), 2);
    EXPECT_EQ(titles.at(0).at(0).toString(), other);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("other.txdb 文書No:5"));
}

TEST_F(MainWindowTest, PagesShowOnClicksAndNullDocumentsAreEmpty) {
    makeWindow();
    activate(db);
    clickNode(QStringLiteral("N2-40"));
    EXPECT_EQ(window->view()->text(), QString());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("main.txdb 文書No:40"));
    EXPECT_EQ(window->tree()->sTmpKy(), QStringLiteral("N2-40"));
    EXPECT_EQ(window->tree()->lsRsnt()->count(), 2);
    // A page chosen from the recent list is shown but not moved in the list.
    window->tree()->SetFrame(3);
    QListWidget* recent = window->tree()->lsRsnt();
    QTest::mouseClick(recent->viewport(), Qt::LeftButton, {}, recent->visualItemRect(recent->item(0)).center());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("main.txdb 文書No:5"));
    EXPECT_EQ(recent->item(0)->text(), QStringLiteral("五"));
}

TEST_F(MainWindowTest, ClickingThePageShownAgainKeepsTheReadingPlace) {
    db = testsupport::writeDb(tmp.path(), QStringLiteral("long.txdb"),
                              testsupport::treeWithPage5(testsupport::paragraphs(400, QStringLiteral("本文の行"))));
    makeWindow();
    activate(db);
    ASSERT_TRUE(window->windowTitle().endsWith(QStringLiteral(" 文書No:5"))); // a file, or its server copy's link
    QScrollBar* bar = window->view()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum() / 2);
    const int place = bar->value();
    clickNode(QStringLiteral("N0-5")); // the node of the page shown: nothing is read again
    EXPECT_EQ(bar->value(), place);
    EXPECT_EQ(window->tree()->sTmpKy(), QStringLiteral("N0-5"));
    clickNode(QStringLiteral("N2-40")); // another page, then back: it starts at its top
    clickNode(QStringLiteral("N0-5"));
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(MainWindowTest, FindWordIsShortenedWrittenBackAndSelected) {
    makeWindow();
    activate(db);
    QString word = QStringLiteral("検索語 その他");
    Q_EMIT window->tree()->eFndWd(word);
    EXPECT_EQ(word, QStringLiteral("検索語"));
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("検索語"));
}

TEST_F(MainWindowTest, FailuresShowTheirMessagesAndLeaveASoundState) {
    makeWindow();
    activate(db);
    // 1. The chosen file does not exist: nothing is shown; the open database stays.
    QString missing = tmp.filePath(QStringLiteral("missing.txdb"));
    window->OpenDb(missing);
    EXPECT_TRUE(missing.isEmpty());
    EXPECT_TRUE(box.texts.isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("main.txdb 文書No:5"));
    EXPECT_GT(window->tree()->nodeCount(), 0);

    // 5. A page row that is missing: "Read Err", the view keeps its page.
    const QString shown = window->view()->text();
    window->ShowDoc(QStringLiteral("999"), QStringLiteral("x"), 0);
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("Read Err  文書No:999")});
    EXPECT_EQ(window->view()->text(), shown);

    // 2. A file the provider cannot open.
    box.texts.clear();
    QString text = tmp.filePath(QStringLiteral("text.txdb"));
    testsupport::writeBytes(text, "not a database");
    window->OpenDb(text);
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("DataBase Open Error !!")});
    EXPECT_EQ(window->tree()->nodeCount(), 0); // the closed database's tree is gone
    EXPECT_FALSE(window->tree()->renameEnabled());
    EXPECT_FALSE(window->mnFile(1)->isEnabled());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DB Text"));

    // 3. Not a document database.
    box.texts.clear();
    auto content = testsupport::smallTree();
    content.markerTable = false;
    QString plain = testsupport::writeDb(tmp.path(), QStringLiteral("plain.txdb"), content);
    const QString plainPath = plain;
    window->OpenDb(plain);
    EXPECT_EQ(box.texts, QStringList{plainPath + QStringLiteral(" は文書DBではありません")});
    EXPECT_EQ(window->tree()->nodeCount(), 0);

    // 4. The marker query fails after opening.
    QString good = db;
    window->OpenDb(good);
    ASSERT_GT(window->tree()->nodeCount(), 0);
    box.texts.clear();
    svr.D_Close();
    bool ok = true;
    window->ChkDb(ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("ロメナの文書DBではありません")});
    EXPECT_EQ(window->tree()->nodeCount(), 0);
    EXPECT_EQ(window->view()->text(), QString());
    EXPECT_FALSE(window->mnFile(2)->isEnabled());
}

TEST_F(MainWindowTest, OpenCommandAsksWithTheDatabaseFilter) {
    makeWindow();
    activate(QString());
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(dialog.calls.size(), 1);
    EXPECT_EQ(dialog.calls[0].title, QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽを開く"));
    EXPECT_EQ(dialog.calls[0].filter,
              QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽ(*.txdb)|*.txdb|ｱｸｾｽﾃﾞｰﾀｰﾍﾞｰｽ (*.mdb)|*.mdb|ﾃﾞ-ﾀﾘﾝｸ (*.udl)|*.udl|"));
    EXPECT_FALSE(dialog.calls[0].save);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DB Text")); // cancelled
    dialog.answers.enqueue(db);
    window->mnFile(0)->trigger();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("main.txdb 文書No:5"));
    // Ctrl+P and Ctrl+S do nothing without their windows' work; they are enabled with a database.
    EXPECT_TRUE(window->mnFile(1)->isEnabled());
}

TEST_F(MainWindowTest, FilterTextBecomesQtsForm) {
    EXPECT_EQ(platform::qtFilter(QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽ(*.txdb)|*.txdb|HTML (*.htm;*.html)|*.htm;*.html|")),
              QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽ(*.txdb);;HTML (*.htm *.html)"));
    EXPECT_EQ(platform::qtFilter(QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)|Oblen.exe|")),
              QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)"));
}

TEST_F(MainWindowTest, Screenshots) {
    const QString dir = qEnvironmentVariable("DBTEXT_SHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set DBTEXT_SHOTS to a folder to write the screenshots";
    makeWindow();
    activate(testsupport::sampleDb(), QStringLiteral("22"));
    for (int mode = 0; mode < 3; ++mode) {
        window->mnTree(mode)->trigger();
        QApplication::processEvents();
        EXPECT_TRUE(window->grab().save(QStringLiteral("%1/main-tree%2.png").arg(dir).arg(mode)));
    }
    window->mnTree(1)->trigger(); // the narrow tree with a code page's list below it
    window->tree()->SetLeaf(QStringLiteral("29"));
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(dir + QStringLiteral("/main-narrow-code.png")));
    window->mnTree(0)->trigger();
    window->tree()->SetLeaf(QStringLiteral("22")); // a hint shown under its link
    QApplication::processEvents();
    for (int f = 1; f <= window->view()->fieldCount(); ++f) {
        if (!window->view()->fieldData(f).startsWith(QStringLiteral("TP_")))
            continue;
        const QPoint at = (window->view()->fieldPosition(f) - window->view()->scrollPosition()) / 15;
        QTest::mouseMove(window->view()->viewport(), QPoint(1, 1));
        QTest::mouseMove(window->view()->viewport(), at + QPoint(4, 6));
    }
    EXPECT_TRUE(window->hintPanel()->isVisible());
    EXPECT_TRUE(window->grab().save(dir + QStringLiteral("/main-hint.png")));
    window->mnZoom(5)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(dir + QStringLiteral("/main-zoom200.png")));
}

TEST_F(MainWindowTest, StartSettingsRegisterTheFileTypeAndTheSendToLauncher) {
    util::processState().programFolder = tmp.filePath(QStringLiteral("my programs"));
    util::processState().programName = QStringLiteral("dbtext");
    folders.folders[9] = tmp.filePath(QStringLiteral("scripts"));
    makeWindow();
    const QString exe = tmp.filePath(QStringLiteral("my programs/dbtext"));
    for (int twice = 0; twice < 2; ++twice) {
        box.texts.clear();
        window->mnApSys(0)->trigger();
        window->mnApSys(1)->trigger();
        EXPECT_EQ(box.texts,
                  (QStringList{QStringLiteral("拡張子(*.txdb)を ") + exe + QStringLiteral(" と関連付けしました"),
                               exe + QStringLiteral(" のｼｮｰﾄｶｯﾄを ") + tmp.filePath(QStringLiteral("scripts")) +
                                   QStringLiteral(" に作成しました")}));
    }
    // The user's own entries, under the test's home: a path with a blank is started through a
    // launcher of a plain path, which hands the file on to the program.
    const QString launcher = QDir::homePath() + QStringLiteral("/.local/share/dbtext/dbtext");
    EXPECT_TRUE(testsupport::readBytes(QDir::homePath() + QStringLiteral("/.local/share/applications/dbtext.desktop"))
                    .contains("Exec=" + launcher.toUtf8() + " %f"));
    EXPECT_TRUE(testsupport::readBytes(launcher).contains("exec '" + exe.toUtf8() + "' \"$@\""));
    EXPECT_TRUE(QFileInfo(tmp.filePath(QStringLiteral("scripts/dbtext"))).isExecutable());
    // A Send To folder that cannot be made: no launcher, no message.
    folders.folders[9] = tmp.filePath(QStringLiteral("scripts/dbtext/below a file"));
    box.texts.clear();
    window->mnApSys(1)->trigger();
    EXPECT_TRUE(box.texts.isEmpty());
}
