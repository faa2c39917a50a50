// Tests of the batch page display: the document list, navigation with prefetch, keys, the view and
// zoom lists, timed advance, deferred page turns, saved settings, and the run-through end to end.
#include "batchview/sbDmp.h"
#include "mainwin/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

using batchview::sbDmp;

namespace {

class BatchDisplay : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        bool ok = false;
        ini.GetTxt(settingsFile, ok);
        svr.D_StDcDb(db, ok);
        ASSERT_TRUE(ok);
    }
    /// Runs ActP with the steps done while the window is open (inside its modal loop).
    qint32 run(sbDmp& dmp, const QString& list, std::function<void()> steps) {
        QTimer::singleShot(0, &dmp, [&] {
            steps();
            if (dmp.isVisible())
                dmp.cmExit(1)->click();
        });
        qint32 no = -1;
        dmp.ActP(list, no);
        return no;
    }
    std::vector<bool> buttons(sbDmp& dmp) {
        return {dmp.cmRet(0)->isEnabled(), dmp.cmRet(1)->isEnabled(), dmp.cmRet(2)->isEnabled(),
                dmp.cmRet(3)->isEnabled()};
    }
    batchview::Services services() { return {box, screen, ini, svr}; }
};

TEST(DocumentList, DropsRepeatsZeroAndElementsWithoutDash) {
    EXPECT_EQ(sbDmp::documentList(QStringLiteral("1-5,2-5,3-7")),
              (QStringList{QStringLiteral("5"), QStringLiteral("7")}));
    EXPECT_EQ(sbDmp::documentList(QStringLiteral("0-0,x,0-5,5-9,12,0-8,9--3")),
              (QStringList{QStringLiteral("5"), QStringLiteral("9"), QStringLiteral("8")}));
    EXPECT_TRUE(sbDmp::documentList(QString()).isEmpty());
}

TEST(ScreenCorrection, PullsTheWindowOntoTheScreen) {
    qint32 l = 15000, t = -20, w = 9000, h = 4000;
    sbDmp::correctToScreen(l, t, w, h, 19200, 10800);
    EXPECT_EQ(QList<qint32>({l, t, w, h}), QList<qint32>({0, 0, 9000, 4000}));
    l = 100, t = 9000, w = 25000, h = 12000;
    sbDmp::correctToScreen(l, t, w, h, 19200, 10800);
    EXPECT_EQ(QList<qint32>({l, t, w, h}), QList<qint32>({0, 0, 19200, 10800}));
}

TEST_F(BatchDisplay, ButtonsKeysAndPrefetchWalkTheList) {
    sbDmp dmp(services());
    const qint32 chosen = run(dmp, QStringLiteral("0-0,0-5,5-9,5-12,0-8"), [&] {
        EXPECT_EQ(dmp.documents(),
                  (QStringList{QStringLiteral("5"), QStringLiteral("9"), QStringLiteral("12"), QStringLiteral("8")}));
        EXPECT_EQ(dmp.windowTitle(), QStringLiteral("五"));
        EXPECT_EQ(buttons(dmp), (std::vector<bool>{false, false, true, true}));
        QTest::keyClick(dmp.tTxt(), Qt::Key_Right); // window-level key, consumed
        EXPECT_EQ(dmp.position(), 1);
        EXPECT_EQ(dmp.windowTitle(), QStringLiteral("九"));
        QTest::keyClick(dmp.tTxt(), Qt::Key_End);
        EXPECT_EQ(dmp.position(), 3);
        EXPECT_EQ(buttons(dmp), (std::vector<bool>{true, true, false, false}));
        QTest::keyClick(dmp.tTxt(), Qt::Key_Right); // at the last: nothing
        EXPECT_EQ(dmp.position(), 3);
        QTest::keyClick(dmp.tTxt(), Qt::Key_Home);
        EXPECT_EQ(dmp.position(), 0);
        dmp.cmRet(2)->click();
        dmp.cmRet(2)->click();
        EXPECT_EQ(dmp.windowTitle(), QStringLiteral("十二"));
        dmp.cmExit(0)->click(); // 頁選択 on the third document
    });
    EXPECT_EQ(chosen, 12);
    // A single document disables all four; closing hands back 0.
    EXPECT_EQ(run(dmp, QStringLiteral("0-40"),
                  [&] {
                      EXPECT_EQ(buttons(dmp), (std::vector<bool>{false, false, false, false}));
                  }),
              0);
    // A list that names no page opens no window.
    qint32 no = -1;
    dmp.ActP(QStringLiteral("0-0,x"), no);
    EXPECT_EQ(no, 0);
}

TEST_F(BatchDisplay, ViewAndZoomListsAndSavedSettings) {
    sbDmp dmp(services());
    run(dmp, QStringLiteral("0-5,5-9"), [&] {
        dmp.cbZoom()->setCurrentIndex(5);
        EXPECT_EQ(dmp.tTxt()->zoom(), 150);
        dmp.cbPage()->setCurrentIndex(3); // floating: no zoom list
        EXPECT_FALSE(dmp.cbZoom()->isEnabled());
        EXPECT_EQ(dmp.tTxt()->viewMode(), 3);
        dmp.cbPage()->setCurrentIndex(1);
        dmp.cbZoom()->setCurrentIndex(5);
        dmp.cbTime()->setCurrentIndex(2);
        dmp.resize(700, 450);
    });
    ini.GetGtx(sbDmp::groupName());
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Zoom"), QVariant(qint16(0))).toInt(), 5);
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Page"), QVariant(qint16(0))).toInt(), 1);
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Timmer"), QVariant(qint16(0))).toInt(), 2);
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Width"), QVariant(qint32(0))).toInt(), 700 * 15);
    EXPECT_TRUE(testsupport::readBytes(settingsFile).contains("DMP2_"));
    // Opening again applies them; "ﾉｰﾏﾙ " resets the zoom to 100 %.
    run(dmp, QStringLiteral("0-5"), [&] {
        EXPECT_EQ(dmp.tTxt()->viewMode(), 1);
        EXPECT_EQ(dmp.tTxt()->zoom(), 150);
        EXPECT_EQ(dmp.cbTime()->currentIndex(), 2);
        EXPECT_EQ(dmp.width(), 700);
        dmp.cbPage()->setCurrentIndex(0);
        EXPECT_EQ(dmp.cbZoom()->currentIndex(), 0);
        EXPECT_EQ(dmp.tTxt()->zoom(), 100);
    });
}

TEST_F(BatchDisplay, ANarrowSavedPlaceKeepsTheDesignedLayoutAndLinksAreText) {
    // The controls stay at their designed places, although the restored window is too narrow to lay
    // out: the page at the top left, the lists and buttons in a row below it.
    ini.GetGtx(sbDmp::groupName());
    ini.SetVal(QStringLiteral("Width"), 5000);
    ini.SetVal(QStringLiteral("Height"), 6000);
    ini.SetGtx();
    bool ok = false;
    svr.D_StDcDb(testsupport::sampleDb(), ok);
    ASSERT_TRUE(ok);
    sbDmp dmp(services());
    run(dmp, QStringLiteral("0-1"), [&] {
        EXPECT_LT(dmp.width() * 15, 7000);
        EXPECT_EQ(dmp.tTxt()->pos(), QPoint(4, 4));
        for (QWidget* w : std::initializer_list<QWidget*>{dmp.cbPage(), dmp.cbZoom(), dmp.cbTime(), dmp.cmExit(0),
                                                          dmp.cmRet(0)})
            EXPECT_GT(w->y(), dmp.tTxt()->geometry().bottom()) << qPrintable(w->objectName());
        // The page's links do nothing here: no hand pointer, no Tab stops.
        richtext::RichTextView* view = dmp.tTxt();
        ASSERT_GT(view->fieldCount(), 0);
        int link = 0;
        for (int y = 0; y < view->viewport()->height() && !link; y += 3)
            for (int x = 0; x < view->viewport()->width() && !link; x += 3)
                if (view->fieldAt(QPoint(x, y)))
                    link = y * 10000 + x;
        ASSERT_GT(link, 0);
        QTest::mouseMove(view->viewport(), QPoint(link % 10000, link / 10000));
        EXPECT_EQ(view->viewport()->cursor().shape(), Qt::IBeamCursor);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Tab);
        EXPECT_EQ(view->focusedField(), 0);
        EXPECT_NE(QApplication::focusWidget(), view);
    });
}

TEST_F(BatchDisplay, TimedAdvanceKeepsItsPaceAndAsksOnceAtTheEnd) {
    sbDmp dmp(services());
    const qint32 no = run(dmp, QStringLiteral("0-5,5-9,5-12"), [&] {
        dmp.cbTime()->setCurrentIndex(2); // ３秒
        dmp.chPage()->click();
        EXPECT_TRUE(dmp.timer1()->isActive());
        EXPECT_EQ(dmp.timer1()->interval(), 3000);
        dmp.cbTime()->setCurrentIndex(0); // no change of pace until the box is clicked again
        dmp.timedAdvance();
        EXPECT_EQ(dmp.position(), 1);
        EXPECT_EQ(dmp.timer1()->interval(), 3000);
        dmp.timedAdvance();
        EXPECT_EQ(dmp.position(), 2);
        box.answers.enqueue(platform::MsgAnswer::No);
        dmp.timedAdvance(); // at the last: the question; no stops the advance
        EXPECT_EQ(box.texts, QStringList{QStringLiteral("最後頁です\u3000この画面を閉じて良いですか")});
        EXPECT_FALSE(dmp.chPage()->isChecked());
        EXPECT_FALSE(dmp.timer1()->isActive());
        dmp.chPage()->click();
        EXPECT_EQ(dmp.timer1()->interval(), 1000);
        box.answers.enqueue(platform::MsgAnswer::Yes);
        dmp.timedAdvance(); // yes closes the window
        EXPECT_FALSE(dmp.isVisible());
    });
    EXPECT_EQ(no, 0);
}

TEST_F(BatchDisplay, TheTimerTurnsThePageByItself) {
    sbDmp dmp(services());
    run(dmp, QStringLiteral("0-5,5-9"), [&] {
        dmp.chPage()->click(); // １秒
        EXPECT_TRUE(QTest::qWaitFor([&] { return dmp.position() == 1; }, 3000));
    });
}

TEST_F(BatchDisplay, PageDownScrollsFirstAndThenTurnsThePage) {
    const auto content = testsupport::treeWithPage5(testsupport::paragraphs(200, QStringLiteral("長い頁の段落")));
    bool ok = false;
    svr.D_StDcDb(testsupport::writeDb(tmp.path(), QStringLiteral("long.txdb"), content), ok);
    sbDmp dmp(services());
    run(dmp, QStringLiteral("0-5,5-9"), [&] {
        QScrollBar* bar = dmp.tTxt()->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        QTest::keyClick(dmp.tTxt(), Qt::Key_PageDown); // inside the page: only scrolls
        QTest::qWait(30);
        EXPECT_EQ(dmp.position(), 0);
        EXPECT_GT(bar->value(), 0);
        bar->setValue(bar->maximum());
        QTest::keyClick(dmp.tTxt(), Qt::Key_PageDown); // at its end: the next document
        QTest::qWait(30);
        EXPECT_EQ(dmp.position(), 1);
        QTest::keyClick(dmp.tTxt(), Qt::Key_PageUp); // the short page cannot scroll: back
        QTest::qWait(30);
        EXPECT_EQ(dmp.position(), 0);
    });
}

TEST_F(BatchDisplay, AllPagesFromTheMainWindowAndTheChosenPageSelected) {
    makeWindow();
    activate(testsupport::sampleDb());
    QTimer::singleShot(0, window.get(), [&] {
        sbDmp* dmp = window->batchDisplay();
        ASSERT_TRUE(dmp);
        EXPECT_EQ(dmp->documents().value(0), QStringLiteral("1")); // the first visible page
        QTest::keyClick(dmp->tTxt(), Qt::Key_Right);
        EXPECT_EQ(dmp->documents().value(1), QStringLiteral("2")); // depth first: 1's first child
        EXPECT_EQ(dmp->windowTitle(), QStringLiteral("DB Text とは"));
        const QString shots = qEnvironmentVariable("DBTEXT_SHOTS");
        if (!shots.isEmpty()) {
            dmp->resize(648, 373); // the designed 9720 × 5595 twips
            QApplication::processEvents();
            dmp->grab().save(shots + QStringLiteral("/batch-designed.png"));
            dmp->resize(1000, 600);
            QApplication::processEvents();
            dmp->grab().save(shots + QStringLiteral("/batch-wide.png"));
        }
        dmp->cmExit(0)->click();
    });
    window->mnDmp(0)->trigger();
    EXPECT_EQ(window->tree()->SlctdKy().section(QLatin1Char('-'), 1), QStringLiteral("2"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("sample.txdb 文書No:2"));
}

} // namespace
