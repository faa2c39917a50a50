// Back and forward through the pages read (keys and the mouse's buttons), and the zoom by keys and wheel.
#include "MainWindowFixture.h"
#include "support/PgCluster.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

class HistoryAndZoom : public testsupport::MainWindowTest {
protected:
    void press(int key, Qt::KeyboardModifiers mods) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key(key), mods);
    }
    QString shown() const { return window->windowTitle().section(QStringLiteral("文書No:"), 1); }
};

TEST_F(HistoryAndZoom, BackAndForwardComeBackAtThePlaceLeft) {
    db = testsupport::writeDb(tmp.path(), QStringLiteral("long.txdb"),
                              testsupport::treeWithPage5(testsupport::paragraphs(400, QStringLiteral("段落の本文"))));
    makeWindow();
    activate(db);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->tree()->SetLeaf(QStringLiteral("12"));
    ASSERT_EQ(shown(), QStringLiteral("12"));
    window->tree()->SetLeaf(QStringLiteral("5"));
    ASSERT_EQ(shown(), QStringLiteral("5"));
    QScrollBar* bar = window->view()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int place = window->view()->topPosition();
    ASSERT_GT(place, 0);
    window->tree()->SetLeaf(QStringLiteral("9"));
    ASSERT_EQ(shown(), QStringLiteral("9"));
    const int recent = window->tree()->lsRsnt()->count();

    window->view()->setFocus();
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shown(), QStringLiteral("5"));
    EXPECT_EQ(window->view()->topPosition(), place); // where it was left
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shown(), QStringLiteral("12"));
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(shown(), QStringLiteral("5"));
    // The mouse's forward and back buttons, over the page.
    QTest::mouseClick(window->view()->viewport(), Qt::ForwardButton);
    EXPECT_EQ(shown(), QStringLiteral("9"));
    press(Qt::Key_Right, Qt::AltModifier); // nothing after the last: stays
    EXPECT_EQ(shown(), QStringLiteral("9"));
    QTest::mouseClick(window->view()->viewport(), Qt::BackButton);
    EXPECT_EQ(shown(), QStringLiteral("5"));
    EXPECT_EQ(window->tree()->lsRsnt()->count(), recent); // moving through it adds no recent entry

    // Reopening the same database keeps the history; another database clears it.
    window->mnFile(0)->setEnabled(true);
    QString again = db;
    window->OpenDb(again);
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shown(), QStringLiteral("5")); // the page read last before the reopening
    QString other = testsupport::writeDb(tmp.path(), QStringLiteral("other.txdb"), testsupport::smallTree());
    window->OpenDb(other);
    const QString start = shown();
    press(Qt::Key_Right, Qt::AltModifier);
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shown(), start);
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(HistoryAndZoom, KeysAndTheWheelStepThroughTheZoomMenu) {
    makeWindow();
    activate(db);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->view()->setFocus();
    ASSERT_EQ(window->zoomStep(), 1);
    press(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(window->zoomStep(), 2);
    EXPECT_TRUE(window->mnZoom(2)->isChecked());
    EXPECT_EQ(window->view()->zoom(), 110);
    press(Qt::Key_Minus, Qt::ControlModifier);
    press(Qt::Key_Minus, Qt::ControlModifier);
    press(Qt::Key_Minus, Qt::ControlModifier); // no step below 90 %
    EXPECT_EQ(window->zoomStep(), 0);
    press(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(window->zoomStep(), 1);
    // Ctrl and the wheel over the page.
    QWidget* vp = window->view()->viewport();
    const QPoint at = vp->rect().center();
    QWheelEvent up(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &up);
    EXPECT_EQ(window->zoomStep(), 2);
    QWheelEvent plain(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &plain); // without Ctrl the wheel scrolls, as before
    EXPECT_EQ(window->zoomStep(), 2);
}

} // namespace

namespace {

TEST_F(HistoryAndZoom, RecentDatabasesAreListedKeptAtTheEndAndOpenedFromTheMenu) {
    const QString a = testsupport::writeDb(tmp.path(), QStringLiteral("a.txdb"), testsupport::smallTree());
    const QString b = testsupport::writeDb(tmp.path(), QStringLiteral("b.txdb"), testsupport::smallTree());
    const QString odd = tmp.filePath(QStringLiteral("a<b>.txdb")); // no value the settings text can hold
    ASSERT_TRUE(QFile::copy(a, odd));
    makeWindow();
    activate(a);
    for (QString p : {b, odd})
        window->OpenDb(p);
    EXPECT_EQ(window->recentDbs(), (QStringList{odd, b, a}));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_X, Qt::ControlModifier); // 終了 keeps them
    ASSERT_EQ(quits, 1);
    EXPECT_TRUE(testsupport::readBytes(settingsFile).contains("b.txdb"));

    // The next start lists them; a file gone since is greyed; choosing one opens it.
    window.reset();
    app::resetExiting();
    QFile::remove(a);
    makeWindow();
    activate(QString());
    EXPECT_EQ(window->recentDbs(), (QStringList{b, a}));
    // Alt+F opens the ﾌｧｲﾙ menu; a click opens the list, another chooses from it.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_F, Qt::AltModifier);
    QMenu* file = window->menu(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 2000));
    QMenu* menu = window->recentDbMenu();
    QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->toolTip(), b);
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(items[0]).center());
    EXPECT_EQ(window->dbPath(), b);
    EXPECT_TRUE(box.texts.isEmpty());
}

} // namespace

namespace {

TEST_F(HistoryAndZoom, TheStatusLineShowsThePageAndWhatTheFindFound) {
    makeWindow();
    activate(db);
    window->tree()->SetLeaf(QStringLiteral("12"));
    EXPECT_TRUE(window->statusPage()->text().startsWith(QStringLiteral("文書No:12  ")));
    EXPECT_TRUE(window->statusPage()->text().endsWith(window->tree()->trView()->currentItem()->text(0)));
    // The find index of a database file, built in the background, tells of its end here.
    find::FindEngine& engine = window->tree()->findEngine();
    if (!testsupport::onServer()) {
        engine.setDatabase(db);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.indexing(); }, 20000));
        QTest::qWait(50);
        EXPECT_EQ(window->statusNote()->text(), QStringLiteral("検索用の索引を作成しました"));
    }
    window->tree()->SetFrame(2);
    window->tree()->cmbFind()->setEditText(QString());
    window->tree()->FndDoc();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.finding(); }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(window->statusNote()->text(), QStringLiteral("８ 件候補がありました"));
}

} // namespace

namespace {

TEST_F(HistoryAndZoom, TheReadingPlaceOfADatabaseIsOfferedWhenItIsOpenedAgain) {
    samples::DocDbContent content = testsupport::smallTree();
    ASSERT_EQ(content.pages[3].no, 12);
    QString lines; // a long page 12 of plain text, shown in parts
    for (int i = 0; lines.size() < 900000; ++i)
        lines += QStringLiteral("十二の本文 %1 行目\n").arg(i);
    content.pages[3].obDoc = lines.toUtf8();
    db = testsupport::writeDb(tmp.path(), QStringLiteral("long.txdb"), content);
    makeWindow();
    activate(db);
    const QString start = shown();
    ASSERT_EQ(start, QStringLiteral("5"));
    EXPECT_TRUE(window->resumeOffer()->isHidden()); // nothing read in it yet
    window->tree()->SetLeaf(QStringLiteral("12"));
    ASSERT_GE(window->view()->partCount(), 2);
    window->view()->setPart(1);
    QScrollBar* bar = window->view()->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int place = window->view()->topPosition();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_X, Qt::ControlModifier); // 終了 keeps the place with the rest
    ASSERT_EQ(quits, 1);

    // The next start opens as it always does, and offers the page read last.
    window.reset();
    app::resetExiting();
    makeWindow();
    activate(db);
    EXPECT_EQ(shown(), start);
    QAbstractButton* offer = window->resumeOffer();
    ASSERT_TRUE(offer->isVisible());
    EXPECT_EQ(offer->text(), QStringLiteral("前回の続き: 十二"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(shown(), QStringLiteral("12"));
    EXPECT_EQ(window->view()->currentPart(), 1); // the part it was read in, at its place
    EXPECT_EQ(window->view()->topPosition(), place);
    ASSERT_TRUE(window->tree()->trView()->currentItem());
    EXPECT_EQ(window->tree()->trView()->currentItem()->text(0), QStringLiteral("十二")); // selected in the tree
    EXPECT_TRUE(offer->isHidden());
    press(Qt::Key_Left, Qt::AltModifier); // a step of its own: back to where the database opened
    EXPECT_EQ(shown(), start);
    press(Qt::Key_Right, Qt::AltModifier); // and forward again, into its part
    EXPECT_EQ(window->view()->currentPart(), 1);
    EXPECT_EQ(window->view()->topPosition(), place);

    // Opened again in this session, by a relative path: offered again, by a click this time. Opened
    // at that page: nothing.
    window->tree()->SetLeaf(QStringLiteral("12"));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(QFileInfo(db).absolutePath());
    const auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });
    QString again = QFileInfo(db).fileName();
    window->OpenDb(again);
    EXPECT_EQ(window->recentDbs().value(0), db);
    ASSERT_TRUE(offer->isVisible());
    QTest::mouseClick(offer, Qt::LeftButton);
    EXPECT_EQ(shown(), QStringLiteral("12"));
    window.reset();
    app::resetExiting();
    makeWindow();
    activate(db, QStringLiteral("12"));
    EXPECT_TRUE(window->resumeOffer()->isHidden());
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(HistoryAndZoom, AtMostFiftyReadingPlacesAreKept) {
    // Fifty places from earlier sessions, newest first, and one line no hand should have written.
    QString group;
    for (int i = 1; i <= 50; ++i)
        group += QStringLiteral("      <続き%1>%2|0|0|/old/db%1.txdb</続き%1>\r\n").arg(i).arg(i == 7 ? QStringLiteral("x") : QStringLiteral("3"));
    testsupport::writeBytes(settingsFile, platform::TextCodec::toAnsi(
                                              QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                                             "   <最近開いたDB>\r\n") +
                                              group + QStringLiteral("   </最近開いたDB>\r\n</運用>")));
    makeWindow();
    activate(db);
    window->tree()->SetLeaf(QStringLiteral("12"));
    window->ExitApp();
    const QString text = platform::TextCodec::fromAnsi(testsupport::readBytes(settingsFile));
    EXPECT_TRUE(text.contains(QStringLiteral("<続き1>12|0|0|") + db + QStringLiteral("</続き1>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<続き2>3|0|0|/old/db1.txdb</続き2>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<続き50>3|0|0|/old/db50.txdb</続き50>"))); // the bad line made room
    EXPECT_FALSE(text.contains(QStringLiteral("/old/db7.txdb")));
    EXPECT_FALSE(text.contains(QStringLiteral("<続き51>")));
}

} // namespace
