// Tests of selection and the host events: mouse and keys on the tree, SetLeaf, code nodes, refusals.
#include "NavigatorFixture.h"

#include <QListWidget>

using testsupport::NavigatorTest;
using testsupport::SetDoc;

TEST_F(NavigatorTest, ClickingATopLevelNodeRaisesSetDoc) {
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N1-8")));
    docs.clear();
    messages.clear();
    clickNode(item(QStringLiteral("N0-5")));
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0], (SetDoc{QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("五"), 0, false}));
    EXPECT_EQ(chkMoves, 2);
    // Its children were loaded (a query and a count per child) but it stays collapsed.
    EXPECT_EQ(item(QStringLiteral("N0-5"))->childCount(), 2);
    EXPECT_FALSE(item(QStringLiteral("N0-5"))->isExpanded());
}

TEST_F(NavigatorTest, ReleasingAnywhereOverTheTreeActivatesTheSelectionAgain) {
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N2-40")));
    ASSERT_EQ(docs.size(), 1u);
    // Release over empty space below the nodes.
    QTest::mouseClick(nav->trView()->viewport(), Qt::LeftButton, {},
                      QPoint(20, nav->trView()->viewport()->height() - 5));
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1].sNo, QStringLiteral("40"));
    // The right button raises eRightClick(True) and does nothing else: the selection stays on the
    // page shown, so a later release or F2 acts on that page and not on the one under the pointer.
    clickNode(item(QStringLiteral("N0-5")), Qt::RightButton);
    EXPECT_EQ(rightClicks, QList<bool>{true});
    EXPECT_EQ(docs.size(), 2u);
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N2-40"));
    QTest::mouseClick(nav->trView()->viewport(), Qt::LeftButton, {},
                      QPoint(20, nav->trView()->viewport()->height() - 5));
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[2].sNo, QStringLiteral("40"));
}

TEST_F(NavigatorTest, EnterActivatesTheSelectedNode) {
    makeControl();
    loadTop();
    nav->trView()->setCurrentItem(item(QStringLiteral("N2-40")));
    nav->trView()->setFocus();
    QTest::keyClick(nav->trView(), Qt::Key_Return);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].sNo, QStringLiteral("40"));
    QTest::keyClick(nav->trView(), Qt::Key_Return, Qt::ShiftModifier); // with Shift: nothing
    QTest::keyClick(nav->trView(), Qt::Key_Up);                        // moving only selects
    EXPECT_EQ(docs.size(), 1u);
    QTest::keyClick(nav->trView(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1].sNo, QStringLiteral("8"));
}

TEST_F(NavigatorTest, CodeNodeSwitchesToTheCodeListBeforeSetDoc) {
    makeControl(300, 600);
    loadTop();
    bool listShownAtEvent = false;
    onSetDoc = [&] {
        listShownAtEvent = nav->lsCod()->isVisible();
    };
    clickNode(item(QStringLiteral("N1-8")));
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_TRUE(listShownAtEvent);
    EXPECT_TRUE(nav->bCdMd());
    EXPECT_EQ(item(QStringLiteral("N1-8"))->childCount(), 0); // children go to the list, not the tree
    ASSERT_EQ(nav->lsCod()->topLevelItemCount(), 3);
    EXPECT_EQ(nav->lsCod()->topLevelItem(0)->text(0), QStringLiteral("二十一")); // newest first
    EXPECT_EQ(nav->lsCod()->topLevelItem(0)->text(1), QStringLiteral("26/11/04 15:00:00"));
    EXPECT_EQ(nav->lsCod()->topLevelItem(0)->data(0, Qt::UserRole).toString(), QStringLiteral("K21"));
    EXPECT_EQ(nav->lsCod()->topLevelItem(2)->text(0), QStringLiteral("九へのリンク"));
    EXPECT_TRUE(messages.contains(QStringLiteral("左のﾂﾘｰでﾍﾟｰｼﾞを指定して下さい")));
    // An ordinary node switches back and empties the list.
    clickNode(item(QStringLiteral("N0-5")));
    EXPECT_FALSE(nav->bCdMd());
    EXPECT_FALSE(nav->lsCod()->isVisible());
    EXPECT_EQ(nav->lsCod()->topLevelItemCount(), 0);
    // Right button over the code list.
    clickNode(item(QStringLiteral("N1-8")));
    QTest::mouseClick(nav->lsCod()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(rightClicks, QList<bool>{false});
}

TEST_F(NavigatorTest, RefusedMovesKeepTheShownPage) {
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N0-5")));
    nav->SetTmpKy();
    EXPECT_EQ(nav->sTmpKy(), QStringLiteral("N0-5"));
    refuse = true;
    docs.clear();
    clickNode(item(QStringLiteral("N2-40")));
    EXPECT_TRUE(docs.empty());
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N0-5")); // selected again
    // With the code list active a refusal asks for the page to be edited.
    refuse = false;
    clickNode(item(QStringLiteral("N1-8")));
    refuse = true;
    messages.clear();
    clickNode(item(QStringLiteral("N2-40")));
    EXPECT_EQ(messages, QStringList{QStringLiteral("新規ﾍﾟｰｼﾞを編集して下さい")});
}

TEST_F(NavigatorTest, SetLeafFindsAPageThroughItsAncestry) {
    makeControl();
    loadTop();
    nav->SetLeaf(QStringLiteral("30")); // 0 → 5 → 12 → 30 (30's row is hidden; the tree shows it)
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0], (SetDoc{QStringLiteral("12"), QStringLiteral("30"), QStringLiteral("三十"), 0, false}));
    EXPECT_TRUE(item(QStringLiteral("N0-5"))->isExpanded());
    EXPECT_TRUE(item(QStringLiteral("N4-12"))->isExpanded());
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N5-30"));
    const int nodes = nav->nodeCount();
    nav->SetLeaf(QStringLiteral("30")); // the way is loaded already
    EXPECT_EQ(nav->nodeCount(), nodes);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1], docs[0]);
    // A link node matches when the path goes through it: 9 under 8, without asking the database.
    nav->SetLeaf(QStringLiteral("9,8,0"));
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[2].sNoP, QStringLiteral("8"));
    EXPECT_EQ(docs[2].sNo, QStringLiteral("9"));
    EXPECT_EQ(docs[2].sSz, QStringLiteral("九へのリンク"));
}

TEST_F(NavigatorTest, SetLeafShowsNothingForLinksOnlyCyclesAndNonsense) {
    auto content = testsupport::smallTree();
    samples::PageRow p;
    p.title = QStringLiteral("輪");
    for (int no : {50, 60, 61}) {
        p.no = no;
        content.pages << p;
    }
    samples::TreeRow e;
    e.parent = 5, e.child = 50, e.order = 9, e.boLnk = 1, e.title = QStringLiteral("リンクだけ");
    content.edges << e;
    e.parent = 61, e.child = 60, e.boLnk = 0, e.title = QStringLiteral("六十");
    content.edges << e;
    e.parent = 60, e.child = 61, e.title = QStringLiteral("六十一");
    content.edges << e;
    open(content, "cycle.txdb");
    makeControl();
    loadTop();
    // "999,5,0": 5 has no child 999; "5,77,0": no top-level 77. No unrelated page is shown instead.
    for (const char* no : {"50", "60", "0", "", "abc", "999", "999,5,0", "5,77,0"})
        nav->SetLeaf(QString::fromLatin1(no));
    EXPECT_TRUE(docs.empty());
    nav->ClearItem();
    nav->SetLeaf(QStringLiteral("30")); // empty tree
    EXPECT_TRUE(docs.empty());
}

TEST_F(NavigatorTest, HostMethodsOnEmptyAndMissingNodes) {
    makeControl();
    bool rec = true;
    nav->RootSelect(&rec);
    EXPECT_FALSE(rec);
    EXPECT_TRUE(docs.empty());
    EXPECT_EQ(nav->SlctdKy(), QString());
    nav->SetTmpKy();
    EXPECT_EQ(nav->sTmpKy(), QString());
    loadTop();
    nav->SetTmpKy(); // nothing selected: the first node
    EXPECT_EQ(nav->sTmpKy(), QStringLiteral("N0-5"));
    QString p = QStringLiteral("x"), c = QStringLiteral("y");
    bool lnk = true;
    nav->GetPrCdNo(p, c, lnk, QStringLiteral("N99-1"));
    EXPECT_EQ(p, QStringLiteral("0"));
    EXPECT_EQ(c, QStringLiteral("0"));
    nav->RootSelect(&rec);
    EXPECT_TRUE(rec);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].sNo, QStringLiteral("5"));
    QString code = QStringLiteral("N1-8");
    nav->SetNodes(code);
    nav->GetPrCdNo(p, c, lnk, QStringLiteral("L7-9")); // 5's children took N3 and N4
    EXPECT_EQ(p, QStringLiteral("8"));
    EXPECT_EQ(c, QStringLiteral("9"));
    EXPECT_TRUE(lnk);
    nav->GetPrCdNo(p, c, lnk); // the selected node
    EXPECT_EQ(p, QStringLiteral("0"));
    EXPECT_EQ(c, QStringLiteral("5"));
    EXPECT_FALSE(lnk);
}
