// Back and forward through the pages read (keys and the mouse's buttons), and the zoom by keys and wheel.
#include "MainWindowFixture.h"

#include <QComboBox>
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
    QMenu* menu = window->recentDbMenu();
    Q_EMIT menu->aboutToShow();
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->toolTip(), b);
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    items[0]->trigger();
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
    window->tree()->SetFrame(2);
    window->tree()->cmbFind()->setEditText(QString());
    window->tree()->FndDoc();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->tree()->findEngine().finding(); }, 20000));
    QTest::qWait(50);
    EXPECT_EQ(window->statusNote()->text(), QStringLiteral("８ 件候補がありました"));
}

} // namespace
