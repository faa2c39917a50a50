// Tests of the panes: SetFrame, the code-list split, the recent pane, resizing; a screenshot.
#include "NavigatorFixture.h"

#include <QLabel>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QTabBar>
#include <QWheelEvent>

using testsupport::NavigatorTest;
using testsupport::SetDoc;

namespace {
class TenTwipsScreen final : public platform::IScreen {
public:
    double twipsPerPixelX() const override { return 10; }
    double twipsPerPixelY() const override { return 10; }
    void setBusy(bool) override {}
};
} // namespace

TEST_F(NavigatorTest, FirstSetFrameShowsTheTreePane) {
    nav = std::make_unique<navigator::uTrX>(svr, screen, box);
    EXPECT_EQ(nav->iCurTb(), 0);
    QString msg;
    QObject::connect(nav.get(), &navigator::uTrX::eFmMsg, [&](QString& m) { msg = m; });
    nav->resize(300, 500);
    nav->show();
    qint16 tb = 0;
    nav->SetFrame(tb);
    EXPECT_EQ(tb, 1);
    EXPECT_EQ(nav->iCurTb(), 1);
    EXPECT_TRUE(nav->frame(1)->isVisible());
    EXPECT_FALSE(nav->frame(2)->isVisible());
    EXPECT_EQ(msg, QStringLiteral("左のﾂﾘｰでﾍﾟｰｼﾞを指定して下さい"));
    EXPECT_EQ(nav->stTab()->count(), 3);
    EXPECT_EQ(nav->stTab()->tabText(1), QStringLiteral("検索"));
    EXPECT_EQ(nav->stTab()->tabToolTip(2), QStringLiteral("最近表示した文書"));
    EXPECT_EQ(nav->stTab()->tabData(0).toString(), QStringLiteral("tree"));
}

TEST_F(NavigatorTest, CodeListSplitsThePaneInHalves) {
    TenTwipsScreen ten;
    nav = std::make_unique<navigator::uTrX>(svr, ten, box);
    nav->show();
    nav->resize(400, 600);
    nav->StSize();
    const int bar = nav->stTab()->sizeHint().height();
    nav->resize(400, 406 + bar + 4); // client height 406 px = 4060 twips
    nav->StSize();
    QString key = QStringLiteral("0");
    nav->SetNodes(key);
    QTest::mouseClick(nav->trView()->viewport(), Qt::LeftButton, {},
                      nav->trView()->visualItemRect(nav->node(QStringLiteral("N1-8"))).center());
    ASSERT_TRUE(nav->bCdMd());
    EXPECT_EQ(nav->frame(1)->height(), 406);
    EXPECT_EQ(nav->trView()->geometry(), QRect(3, 5, 400 - 4 - 6, 200));
    EXPECT_EQ(nav->lsCod()->geometry(), QRect(3, 206, 400 - 4 - 6, 200));
    // 2400 and 1800 twips do not fit in 390 px: the columns share the list's width as 24 : 18.
    const int inner = nav->lsCod()->viewport()->width();
    ASSERT_LT(inner, 420);
    EXPECT_EQ(nav->lsCod()->columnWidth(0), inner * 24 / 42);
    EXPECT_EQ(nav->lsCod()->columnWidth(0) + nav->lsCod()->columnWidth(1), inner);
    nav->resize(600, 406 + bar + 4); // room enough: the designed widths
    QApplication::processEvents();
    EXPECT_EQ(nav->lsCod()->columnWidth(0), 240);
    EXPECT_EQ(nav->lsCod()->columnWidth(1), 180);
    // However narrow the list, a date is never cut; the titles give way and show whole as tool tips.
    const int date = nav->lsCod()->fontMetrics().horizontalAdvance(nav->lsCod()->topLevelItem(0)->text(1));
    for (const int width : {260, 200, 160}) {
        nav->resize(width, 406 + bar + 4);
        QApplication::processEvents();
        EXPECT_GE(nav->lsCod()->columnWidth(1), date + 8) << width;
    }
    QTreeWidgetItem* first = nav->lsCod()->topLevelItem(0);
    EXPECT_EQ(first->toolTip(0), first->text(0));
    EXPECT_EQ(nav->node(QStringLiteral("N1-8"))->toolTip(0), nav->node(QStringLiteral("N1-8"))->text(0));
}

TEST_F(NavigatorTest, PaneGeometryFollowsTheTwipsTable) {
    makeControl(300, 600);
    const QRect frame = nav->frame(1)->geometry();
    const int W = frame.width(), H = frame.height(); // pixels at 15 twips each
    EXPECT_EQ(nav->trView()->geometry(), QRect(2, 3, W - 4, H - 3));
    nav->SetFrame(2);
    EXPECT_EQ(nav->cmbFind()->geometry().topLeft(), QPoint(4, 3));
    EXPECT_EQ(nav->cmbFind()->width(), qRound((W * 15 - 590) / 15.0));
    EXPECT_EQ(nav->cmFind()->geometry().left(), qRound((W * 15 - 550) / 15.0));
    // The list's place in the table, its bottom taken by the pane's status strip.
    const QRect list = nav->lsFind()->geometry();
    EXPECT_EQ(QRect(list.topLeft(), nav->findStatus()->geometry().bottomRight()),
              QRect(2, qRound(350 / 15.0), W - 4, qRound((H * 15 - 380) / 15.0)));
    EXPECT_GT(list.height(), 0);
    nav->SetFrame(3);
    EXPECT_EQ(nav->cmClrRsnt()->geometry(), QRect(4, H - 18, W - 8, 18));
    EXPECT_EQ(nav->lsRsnt()->geometry(), QRect(2, 3, W - 4, H - 18));
}

TEST_F(NavigatorTest, RecentListKeepsEachPageOnceNewestLast) {
    makeControl();
    nav->SetRcnt(QStringLiteral("5"), QStringLiteral("五"));
    nav->SetRcnt(QStringLiteral("7"), QStringLiteral("七"));
    nav->SetRcnt(QStringLiteral("5"), QStringLiteral("五"));
    ASSERT_EQ(nav->lsRsnt()->count(), 2);
    EXPECT_EQ(nav->lsRsnt()->item(0)->text(), QStringLiteral("七"));
    EXPECT_EQ(nav->lsRsnt()->item(1)->text(), QStringLiteral("五"));
    nav->SetRcnt(QStringLiteral("abc"), QStringLiteral("文字"));
    EXPECT_EQ(nav->lsRsnt()->item(2)->data(Qt::UserRole).toInt(), 0);
    QTest::mouseClick(nav->cmClrRsnt(), Qt::LeftButton);
    EXPECT_EQ(nav->lsRsnt()->count(), 0);
    nav->SetRcnt(QStringLiteral("9"), QStringLiteral("九"));
    EXPECT_EQ(nav->lsRsnt()->count(), 1);
}

TEST_F(NavigatorTest, RecentPaneSelectsTheNewestWithoutAnEvent) {
    makeControl();
    for (int i = 1; i <= 5; ++i)
        nav->SetRcnt(QString::number(i * 10), QStringLiteral("頁%1").arg(i));
    messages.clear();
    QTest::mouseClick(nav->stTab(), Qt::LeftButton, {}, nav->stTab()->tabRect(2).center());
    EXPECT_EQ(nav->iCurTb(), 3);
    EXPECT_EQ(nav->lsRsnt()->currentRow(), 4);
    EXPECT_TRUE(docs.empty());
    EXPECT_EQ(messages, QStringList{QStringLiteral("最近表示したﾍﾟｰｼﾞをﾘｽﾄしました")});
    EXPECT_TRUE(nav->lsRsnt()->hasFocus());
    // Clicking the selected entry shows that page, from the recent list (iJb 2).
    QListWidgetItem* last = nav->lsRsnt()->item(4);
    QTest::mouseClick(nav->lsRsnt()->viewport(), Qt::LeftButton, {}, nav->lsRsnt()->visualItemRect(last).center());
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0], (SetDoc{QString(), QStringLiteral("50"), QStringLiteral("頁5"), 2, false}));
    // Moving the selection with the keyboard chooses too.
    QTest::keyClick(nav->lsRsnt(), Qt::Key_Up);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1].sNo, QStringLiteral("40"));
}

TEST_F(NavigatorTest, WheelAndArrowKeysOnTheTabStripShowThePane) {
    makeControl();
    QTabBar* bar = nav->stTab();
    messages.clear();
    // The wheel turned down over the strip moves to the next tab: its pane shows as after a click.
    const QPointF at = bar->tabRect(0).center();
    QWheelEvent down(at, bar->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &down);
    EXPECT_EQ(bar->currentIndex(), 1);
    EXPECT_EQ(nav->iCurTb(), 2);
    EXPECT_TRUE(nav->frame(2)->isVisible());
    EXPECT_FALSE(nav->frame(1)->isVisible());
    EXPECT_EQ(messages, QStringList{QStringLiteral("文書全体に検索文字を含む文書を探します")});
    // A right or middle click on a tab chooses nothing.
    QTest::mouseClick(bar, Qt::RightButton, {}, bar->tabRect(0).center());
    QTest::mouseClick(bar, Qt::MiddleButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(nav->iCurTb(), 2);
    EXPECT_EQ(messages.size(), 1);
    // The arrow keys on the focused strip.
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(nav->iCurTb(), 3);
    EXPECT_TRUE(nav->frame(3)->isVisible());
    EXPECT_TRUE(nav->lsRsnt()->hasFocus());
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(nav->iCurTb(), 2);
    EXPECT_TRUE(nav->frame(2)->isVisible());
    EXPECT_TRUE(nav->cmbFind()->hasFocus());
    EXPECT_EQ(messages.size(), 3);
}

TEST_F(NavigatorTest, NarrowStripKeepsEveryTabWhole) {
    makeControl(2600 / 15, 500); // the narrow tree: 2600 twips
    QTabBar* bar = nav->stTab();
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(bar->tabRect(i).right(), bar->width() - 1) << i;
        EXPECT_TRUE(bar->tabIcon(i).isNull()) << "pictures give way to the captions";
    }
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(nav->iCurTb(), 3);
    nav->resize(3600 / 15, 500); // the standard tree has room for the pictures
    EXPECT_FALSE(bar->tabIcon(0).isNull());
    EXPECT_LE(bar->tabRect(2).right(), bar->width() - 1);
}

TEST_F(NavigatorTest, ResizeMovesTheCurrentPaneOnly) {
    makeControl(300, 600);
    nav->SetFrame(2);
    nav->cmbFind()->setFocus();
    const QRect before = nav->lsFind()->geometry();
    nav->resize(360, 700);
    EXPECT_GT(nav->lsFind()->geometry().width(), before.width());
    EXPECT_TRUE(nav->frame(2)->isVisible());
    EXPECT_FALSE(nav->frame(1)->isVisible());
    EXPECT_EQ(nav->iCurTb(), 2);
    // While a database is being opened the control ignores resizes.
    util::processState().busy = true;
    const QRect during = nav->lsFind()->geometry();
    nav->resize(300, 500);
    EXPECT_EQ(nav->lsFind()->geometry(), during);
}

TEST_F(NavigatorTest, Screenshot) {
    const QString dir = qEnvironmentVariable("DBTEXT_SHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set DBTEXT_SHOTS to a folder to write the screenshot";
    bool ok = false;
    svr.D_StDcDb(testsupport::sampleDb(), ok);
    ASSERT_TRUE(ok);
    makeControl(260, 520);
    loadTop();
    nav->SetLeaf(QStringLiteral("13")); // 画面の見方 › メニュー › ﾌｧｲﾙ(F) メニュー
    for (int no : {1, 7, 12, 13})
        nav->SetRcnt(QString::number(no), QString::number(no));
    QApplication::processEvents();
    EXPECT_TRUE(nav->grab().save(dir + QStringLiteral("/navigator.png")));
}
