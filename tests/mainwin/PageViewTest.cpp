// Tests of the page view: placement over the main window, the fitted page and its zoom, the zoom
// steps and back, page moves with clamping, and the main window's view left in the normal mode.
#include "MainWindowFixture.h"
#include "pageview/sbTvw.h"

#include <QAction>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <functional>

namespace {

class PageView : public testsupport::MainWindowTest {};

TEST_F(PageView, FitsZoomsMovesAndRestores) {
    db = testsupport::writeDb(
        tmp.path(), QStringLiteral("pages.txdb"),
        testsupport::treeWithPage5(testsupport::paragraphs(300, QStringLiteral("印刷される段落"))));
    makeWindow();
    activate(db);
    const QString text = window->view()->text();
    EXPECT_EQ(window->view()->viewMode(), 3);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        pageview::sbTvw* tvw = window->pageView();
        ASSERT_TRUE(tvw);
        ran = true;
        EXPECT_TRUE(tvw->viewModeChanged());
        EXPECT_EQ(window->view()->viewMode(), 2);
        // Centred over the main window at 13/15 of its size (15 twips a pixel).
        EXPECT_NEAR(tvw->width(), window->width() * 13.0 / 15, 1);
        EXPECT_NEAR(tvw->x(), window->x() + window->width() / 15.0, 1);
        // The fitted page: 90 % of the room, centred; the fit zoom follows from it.
        const QRect fit = tvw->fittedTwips();
        const double PW = window->view()->pageWidth(), PH = window->view()->pageHeight();
        EXPECT_EQ(tvw->fitZoom(),
                  int(std::min(std::nearbyint(fit.height() * 100 / PH), std::nearbyint(fit.width() * 100 / PW))));
        EXPECT_EQ(window->view()->printZoom(), tvw->fitZoom());
        EXPECT_NEAR(tvw->surfaceTwips().width(), fit.width(), 15);
        const QSize desk = tvw->surface()->parentWidget()->size();
        EXPECT_NEAR(fit.x() * 2 + fit.width(), desk.width() * 15, 30);
        const QString shots = qEnvironmentVariable("DBTEXT_SHOTS");
        if (!shots.isEmpty())
            tvw->grab().save(shots + QStringLiteral("/pageview-fit.png"));
        // 300 %: larger than the window, anchored at the top-left and cut.
        tvw->mnZoom(5)->trigger();
        EXPECT_EQ(window->view()->printZoom(), 300);
        EXPECT_NEAR(tvw->surfaceTwips().width(), 300.0 / tvw->fitZoom() * fit.width(), 15);
        EXPECT_EQ(tvw->surfaceTwips().topLeft(), QPoint(0, 0));
        if (!shots.isEmpty())
            tvw->grab().save(shots + QStringLiteral("/pageview-300.png"));
        tvw->mnZoom(3)->trigger();
        if (!shots.isEmpty())
            tvw->grab().save(shots + QStringLiteral("/pageview-150.png"));
        tvw->mnZoom(7)->trigger(); // the whole page: exactly the geometry of the opening
        EXPECT_EQ(window->view()->printZoom(), tvw->fitZoom());
        EXPECT_NEAR(tvw->surfaceTwips().x(), fit.x(), 15);
        EXPECT_NEAR(tvw->surfaceTwips().width(), fit.width(), 15);
        // Pages: moves clamp, and the menus follow.
        ASSERT_GT(tvw->pageCount(), 2);
        EXPECT_FALSE(tvw->mnPage(1)->isEnabled());
        tvw->mnPage(1)->trigger(); // 前 on the first page: stays
        EXPECT_EQ(tvw->currentPage(), 1);
        tvw->mnPage(2)->trigger();
        EXPECT_EQ(tvw->currentPage(), 2);
        tvw->mnPage(3)->trigger();
        EXPECT_EQ(tvw->currentPage(), tvw->pageCount());
        EXPECT_FALSE(tvw->mnPage(2)->isEnabled());
        tvw->movePage(2); // past the last: stays
        EXPECT_EQ(tvw->currentPage(), tvw->pageCount());
        tvw->mnPage(0)->trigger();
        EXPECT_EQ(tvw->currentPage(), 1);
        // The page is drawn: the surface is not blank.
        const QImage page = tvw->surface()->grab().toImage();
        int ink = 0;
        for (int y = 0; y < page.height(); y += 2)
            for (int x = 0; x < page.width(); x += 2)
                ink += qGray(page.pixel(x, y)) < 128 ? 1 : 0;
        EXPECT_GT(ink, 20);
        tvw->mnFile(2)->trigger();
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier); // 印刷 opens the page view
    EXPECT_TRUE(ran);
    // Afterwards the main window's view is in the normal mode, with the same page.
    EXPECT_EQ(window->view()->viewMode(), 0);
    EXPECT_EQ(window->view()->text(), text);
}

} // namespace

namespace {

TEST_F(PageView, AViewAlreadyInPageModeIsLeftAsItWas) {
    makeWindow();
    activate(db);
    window->view()->setViewMode(2);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        ran = true;
        EXPECT_FALSE(window->pageView()->viewModeChanged());
        window->pageView()->mnFile(2)->trigger();
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(ran);
    EXPECT_EQ(window->view()->viewMode(), 2); // nothing to restore
}

} // namespace

namespace {

/// Opens the page view with Ctrl+P, runs the steps inside it and closes it.
void inPageView(testsupport::MainWindowTest* t, mainwin::fmDoc* window, const std::function<void(pageview::sbTvw*)>& steps) {
    // The offscreen platform leaves the closed preview the active window: the main window is made
    // active again, as the window manager does.
    QApplication::setActiveWindow(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    bool ran = false;
    QTimer::singleShot(0, window, [&] {
        ran = true;
        steps(window->pageView());
        window->pageView()->mnFile(2)->trigger();
    });
    window->view()->setFocus(); // the reader is on the page
    QTest::keyClick(window->view(), Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(ran);
    (void)t;
}

TEST_F(PageView, FitsTheWindowAtEachOpeningScrollsAZoomedSheetAndTurnsWithPageKeys) {
    db = testsupport::writeDb(
        tmp.path(), QStringLiteral("pages.txdb"),
        testsupport::treeWithPage5(testsupport::paragraphs(300, QStringLiteral("印刷される段落"))));
    makeWindow();
    activate(db);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QRect first;
    inPageView(this, window.get(), [&](pageview::sbTvw* tvw) { first = tvw->fittedTwips(); });
    // The main window is made smaller: the next opening fits the page to the smaller preview.
    window->resize(560, 400);
    inPageView(this, window.get(), [&](pageview::sbTvw* tvw) {
        const QRect fit = tvw->fittedTwips();
        EXPECT_LT(fit.height(), first.height());
        const QSize desk = tvw->desk()->viewport()->size();
        EXPECT_NEAR(fit.x() * 2 + fit.width(), desk.width() * 15, 30); // centred in the window as it is
        EXPECT_NEAR(fit.y() * 2 + fit.height(), desk.height() * 15, 30);
        // The preview made larger: the whole page follows it, and so does ﾍﾟｰｼﾞ全体.
        tvw->resize(tvw->width() + 200, tvw->height() + 150);
        EXPECT_GT(tvw->fittedTwips().height(), fit.height());
        tvw->mnZoom(5)->trigger(); // 300 %: larger than the window, and scrolled
        QApplication::processEvents();
        EXPECT_TRUE(tvw->desk()->verticalScrollBar()->isVisible());
        EXPECT_GT(tvw->desk()->verticalScrollBar()->maximum(), 0);
        EXPECT_GT(tvw->desk()->horizontalScrollBar()->maximum(), 0);
        tvw->desk()->verticalScrollBar()->setValue(tvw->desk()->verticalScrollBar()->maximum());
        EXPECT_TRUE(tvw->surface()->visibleRegion().boundingRect().bottom() >= tvw->surface()->height() - 1);
        const QString shots = qEnvironmentVariable("DBTEXT_SHOTS");
        if (!shots.isEmpty())
            tvw->grab().save(shots + QStringLiteral("/pageview-300-scrolled.png"));
        tvw->mnZoom(7)->trigger();
        EXPECT_EQ(tvw->desk()->verticalScrollBar()->maximum(), 0);
        // PageDown and PageUp turn sheets.
        ASSERT_GT(tvw->pageCount(), 2);
        QApplication::setActiveWindow(tvw);
        tvw->desk()->setFocus(); // the desk, which scrolls with the other keys
        QTest::keyClick(tvw->desk(), Qt::Key_PageDown);
        QTest::keyClick(tvw->desk(), Qt::Key_PageDown);
        EXPECT_EQ(tvw->currentPage(), 3);
        QTest::keyClick(tvw->desk(), Qt::Key_PageUp);
        EXPECT_EQ(tvw->currentPage(), 2);
        if (!shots.isEmpty())
            tvw->grab().save(shots + QStringLiteral("/pageview-after-resize.png"));
    });
}

TEST_F(PageView, ALongPageStaysOnThePartAndPlaceBeingRead) {
    db = testsupport::writeDb(tmp.path(), QStringLiteral("parts.txdb"),
                              testsupport::treeWithPage5(testsupport::paragraphs(700, QString(1000, QLatin1Char('x')))));
    makeWindow();
    activate(db);
    richtext::RichTextView* view = window->view();
    ASSERT_GT(view->partCount(), 1);
    view->setPart(1);
    QApplication::processEvents();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    const int place = view->topPosition();
    ASSERT_GT(place, 0);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    inPageView(this, window.get(), [&](pageview::sbTvw*) {});
    EXPECT_EQ(view->currentPart(), 1);
    // The view is laid out anew (the normal mode: lines as wide as the paper): the line that holds
    // the text read before is at the top.
    EXPECT_LE(view->topPosition(), place);
    EXPECT_GT(view->topPosition(), place - 300);
}

} // namespace
