// Tests of the node model: keys, images, lazy loading, index lists, clearing.
#include "NavigatorFixture.h"
#include "docdb/Schema.h"
#include "find/PageFind.h"
#include "navigator/NodeImages.h"
#include "util/Vb.h"

using testsupport::NavigatorTest;

TEST_F(NavigatorTest, TopLevelKeysRunInOrderAndChildrenTakeTheNextNumbers) {
    makeControl();
    nav->ClearItem();
    QString key = QStringLiteral("0");
    nav->SetNodes(key);
    EXPECT_EQ(key, QStringLiteral("N2-40")); // the key of the last node added
    ASSERT_EQ(nav->trView()->topLevelItemCount(), 3);
    EXPECT_EQ(navigator::uTrX::keyOf(nav->trView()->topLevelItem(0)), QStringLiteral("N0-5"));
    EXPECT_EQ(navigator::uTrX::keyOf(nav->trView()->topLevelItem(1)), QStringLiteral("N1-8"));
    EXPECT_EQ(nav->trView()->topLevelItem(1)->text(0), QStringLiteral("八"));
    QString child = QStringLiteral("N0-5");
    nav->SetNodes(child);
    EXPECT_EQ(child, QStringLiteral("N4-12"));
    ASSERT_EQ(item(QStringLiteral("N0-5"))->childCount(), 2);
    EXPECT_EQ(navigator::uTrX::keyOf(item(QStringLiteral("N0-5"))->child(0)), QStringLiteral("N3-9"));
    EXPECT_FALSE(item(QStringLiteral("N0-5"))->isExpanded()); // loading does not expand

    // "0" again on a filled tree: there is no node "0", nothing changes.
    QString again = QStringLiteral("0");
    nav->SetNodes(again);
    EXPECT_EQ(nav->nodeCount(), 5);
    EXPECT_EQ(again, QStringLiteral("0"));
    // A key whose number part is not a number loads nothing; neither does an unknown key.
    QString bad = QStringLiteral("N9-abc");
    nav->SetNodes(bad);
    QString unknown = QStringLiteral("N77-12");
    nav->SetNodes(unknown);
    EXPECT_EQ(nav->nodeCount(), 5);
}

TEST_F(NavigatorTest, StoredNumbersThatAreNoNumbersNameNoPage) {
    // A file whose msDoc.noDoc is a plain column: numbers stored as text reach the reader.
    bool ok = false;
    qint32 n = 0;
    for (const char* sql :
         {"Drop Table msDoc",
          "Create Table msDoc (noDoc Integer, szDoc Text, obDoc Blob, txDoc Text, dyUdt DateTime, "
          "boCod Integer)",
          "Insert Into msDoc (noDoc, szDoc, boCod) Values (5, '五', 0), (9, '九', 0), (12, '十二', 0), "
          "('1 Or 1=1', '悪い', 0), ('12abc', '悪い2', 0)",
          "Insert Into tbTree (noLfP, noLfC, inSrt, szDoc) Values (5, '1 Or 1=1', 3, '悪い'), "
          "(5, '12abc', 4, '悪い2')"}) {
        svr.D_ExeSq(QString::fromLatin1(sql), ok, n);
        ASSERT_TRUE(ok) << sql << svr.lastError().toStdString();
    }
    makeControl();
    loadTop();
    QString five = QStringLiteral("N0-5");
    nav->SetNodes(five);
    QStringList children;
    for (int i = 0; i < item(QStringLiteral("N0-5"))->childCount(); ++i)
        children << navigator::uTrX::KyToNo(navigator::uTrX::keyOf(item(QStringLiteral("N0-5"))->child(i)));
    EXPECT_EQ(children, (QStringList{QStringLiteral("9"), QStringLiteral("12")})); // the two rows are no pages
    for (const find::FoundPage& p : find::findPages(svr, QString()))               // the find lists no such page
        EXPECT_TRUE(p.no == 5 || p.no == 9 || p.no == 12) << p.no;
    EXPECT_EQ(find::findPages(svr, QString()).size(), 3);
    EXPECT_EQ(util::pageNumber(QStringLiteral(" 42 ")), 42);
    EXPECT_EQ(util::pageNumber(QVariant(qlonglong(1) << 40)), std::nullopt);
    EXPECT_EQ(util::pageNumber(QVariant(2.5)), std::nullopt);
    EXPECT_EQ(util::pageNumber(QStringLiteral("1 Or 1=1")), std::nullopt);
}

TEST_F(NavigatorTest, KeyNumbers) {
    EXPECT_EQ(navigator::uTrX::KyToNo(QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(navigator::uTrX::KyToNo(QStringLiteral("N12-305")), QStringLiteral("305"));
    EXPECT_EQ(navigator::uTrX::KyToNo(QStringLiteral("X3-1-2")), QStringLiteral("1-2"));
    EXPECT_EQ(navigator::uTrX::KyToNo(QStringLiteral("K88")), QStringLiteral("K88"));
}

TEST_F(NavigatorTest, ImagesFollowKindChildrenAndCodeFlag) {
    makeControl();
    loadTop();
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("N0-5"))), QStringLiteral("ndcls"));  // has children
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("N1-8"))), QStringLiteral("ndcod"));  // code page
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("N2-40"))), QStringLiteral("ndlef")); // no rows below
    QString code = QStringLiteral("N1-8");
    nav->SetNodes(code); // the code page's rows loaded explicitly: 21, 20 and the link to 9
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("N3-21"))), QStringLiteral("ndlef"));
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("L5-9"))), QStringLiteral("lklef")); // Null boCod as 0
    QString five = QStringLiteral("N0-5");
    nav->SetNodes(five);
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("N7-12"))), QStringLiteral("ndcls")); // a hidden row counts
    EXPECT_EQ(nav->GetNdImg(QStringLiteral("L"), QStringLiteral("5"), QVariant()), QStringLiteral("lkcls"));
    EXPECT_EQ(nav->GetNdImg(QStringLiteral("L"), QStringLiteral("5"), QVariant(1)), QStringLiteral("lkcod"));
    EXPECT_EQ(nav->GetNdImg(QStringLiteral("N"), QStringLiteral("40"), QVariant(1)), QStringLiteral("ndcod"));
}

// Every node's children and their marks, loaded the way a node is loaded, against a statement per
// child (the count of the child's own rows): the same rows, order, titles and images, in at most
// two statements a node whatever the number of children.
TEST_F(NavigatorTest, ChildrenAndMarksInTwoStatementsAreThoseOfACountPerChild) {
    samples::DocDbContent c = testsupport::smallTree();
    // Ties in the order, a title that is Null, an edge to no page, a cycle through a
    // link, a child holding many children.
    samples::PageRow fifty;
    fifty.no = 50;
    fifty.title = QStringLiteral("五十");
    fifty.updated = QDateTime(QDate(2026, 11, 3), QTime(9, 0));
    c.pages << fifty; // no document, a Null code flag
    c.edges << testsupport::edge(5, 50, 2, QStringLiteral("同順")) << testsupport::edge(5, 40, 2, QStringLiteral("同順2"))
            << testsupport::edge(5, 77, 0, QStringLiteral("ページなし")) << testsupport::edge(50, 5, 1, QStringLiteral("上へ"), 1)
            << testsupport::edge(40, 5, 9, QStringLiteral("null")) << testsupport::edge(77, 12, 1, QStringLiteral("x"));
    for (int i = 0; i < 300; ++i) {
        samples::PageRow p = fifty;
        p.no = 100 + i;
        p.boCod = i % 11 == 0 ? std::optional<int>(1) : i % 2 ? std::optional<int>(0) : std::nullopt;
        c.pages << p;
        c.edges << testsupport::edge(50, p.no, i / 3, QStringLiteral("多 %1").arg(i), i % 5 == 0);
        if (i % 7 == 0)
            c.edges << testsupport::edge(p.no, 9, 1, QStringLiteral("九"));
        else if (i % 7 == 1) // only a link below: a closed folder too
            c.edges << testsupport::edge(p.no, 9, 1, QStringLiteral("九へ"), 1);
        else if (i % 7 == 2) // only a row to no page below: counted as well
            c.edges << testsupport::edge(p.no, 777, 1, QStringLiteral("なし"));
    }
    open(c, "marks.txdb");
    bool ok = false;
    qint32 n = 0;
    svr.D_ExeSq(QStringLiteral("Update tbTree Set szDoc = Null Where noLfP = 40"), ok, n);
    ASSERT_TRUE(ok) << svr.lastError().toStdString();
    makeControl();
    loadTop();
    int compared = 0;
    for (int i = 0; i < nav->nodeCount() && i < 600; ++i) { // nodes are numbered as they are made
        QTreeWidgetItem* node = nav->nodeAt(i + 1);
        if (navigator::uTrX::keyOf(node).startsWith(QLatin1Char('L')))
            continue; // a link's children are its page's: loaded under the page already
        const QString no = navigator::uTrX::KyToNo(navigator::uTrX::keyOf(node));
        docdb::RowArray rows;
        qint32 count = 0;
        QString sql = docdb::sql::kChildren;
        svr.R_Ary(sql.replace(QLatin1Char('?'), no), rows, count);
        QStringList expected;
        for (int r = 0; r < count; ++r) {
            const bool link = rows(2, r).toInt() == 1, code = rows(3, r).toInt() == 1;
            QVariant below(0);
            svr.R_GtVaL(docdb::sql::kChildCount + rows(0, r).toString(), below, QVariant(0));
            const QString image = code ? (link ? "lkcod" : "ndcod")
                                       : QString(link ? "lk" : "nd") + (below.toInt() < 1 ? "lef" : "cls");
            expected << rows(0, r).toString() + QLatin1Char('|') + util::CStr(rows(1, r)) + QLatin1Char('|') + image;
        }
        const qint64 before = svr.statementCount();
        QString key = navigator::uTrX::keyOf(node);
        nav->SetNodes(key);
        EXPECT_LE(svr.statementCount() - before, 2) << no.toStdString();
        QStringList loaded;
        for (int k = 0; k < node->childCount(); ++k)
            loaded << navigator::uTrX::KyToNo(navigator::uTrX::keyOf(node->child(k))) + QLatin1Char('|') +
                          node->child(k)->text(0) + QLatin1Char('|') + navigator::uTrX::imageOf(node->child(k));
        EXPECT_EQ(loaded, expected) << no.toStdString();
        compared += count;
    }
    EXPECT_GT(compared, 300);
}

TEST_F(NavigatorTest, ExpandAndCollapseChangeImagesOnly) {
    makeControl();
    loadTop();
    QTreeWidgetItem* five = item(QStringLiteral("N0-5"));
    QString key = QStringLiteral("N0-5");
    nav->SetNodes(key);
    five->setExpanded(true);
    EXPECT_EQ(navigator::uTrX::imageOf(five), QStringLiteral("ndopn"));
    five->setExpanded(false);
    EXPECT_EQ(navigator::uTrX::imageOf(five), QStringLiteral("ndcls"));
    // A code node, once expanded, is an ordinary node.
    QTreeWidgetItem* eight = item(QStringLiteral("N1-8"));
    QString code = QStringLiteral("N1-8");
    nav->SetNodes(code);
    eight->setExpanded(true);
    EXPECT_EQ(navigator::uTrX::imageOf(eight), QStringLiteral("ndopn"));
    eight->setExpanded(false);
    EXPECT_EQ(navigator::uTrX::imageOf(eight), QStringLiteral("ndcls"));
    EXPECT_EQ(navigator::NodeImages::keys().size(), 15);
    EXPECT_EQ(navigator::NodeImages::keys().at(13), QStringLiteral("ndcod"));
    for (const QString& k : navigator::NodeImages::keys())
        EXPECT_FALSE(navigator::NodeImages::icon(k).pixmap(16, 16).isNull()) << k.toStdString();
}

TEST_F(NavigatorTest, ExpanderOfAnUnloadedNodeLoadsItsChildren) {
    makeControl();
    loadTop();
    QTreeWidgetItem* five = item(QStringLiteral("N0-5"));
    EXPECT_EQ(five->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    five->setExpanded(true);
    EXPECT_EQ(five->childCount(), 2);
    EXPECT_EQ(navigator::uTrX::imageOf(five), QStringLiteral("ndopn"));
    EXPECT_TRUE(docs.empty()); // expanding shows no page
}

TEST_F(NavigatorTest, SiblingAndChildIndexLists) {
    makeControl();
    EXPECT_EQ(nav->GetSblIdx(nullptr), QString());
    loadTop();
    EXPECT_EQ(nav->GetSblIdx(item(QStringLiteral("N1-8"))), QStringLiteral("1,2,3"));
    EXPECT_EQ(nav->GetChldIdx(1), QString()); // no children yet
    QString key = QStringLiteral("N0-5");
    nav->SetNodes(key);
    EXPECT_EQ(nav->GetChldIdx(1), QString()); // children, but not expanded
    item(QStringLiteral("N0-5"))->setExpanded(true);
    EXPECT_EQ(nav->GetChldIdx(1), QStringLiteral("4,5"));
    EXPECT_EQ(nav->GetSblIdx(item(QStringLiteral("N4-12"))), QStringLiteral("4,5"));
}

TEST_F(NavigatorTest, ClearItemEmptiesTreeAndListsAndWritesNothing) {
    const QByteArray before = testsupport::readBytes(tmp.filePath(QStringLiteral("nav.txdb")));
    makeControl();
    loadTop();
    nav->SetRcnt(QStringLiteral("5"), QStringLiteral("五"));
    nav->lsFind()->addItem(QStringLiteral("x"));
    nav->cmbFind()->addItem(QStringLiteral("履歴"));
    nav->ClearItem(true);
    EXPECT_EQ(nav->trView()->topLevelItemCount(), 0);
    EXPECT_EQ(nav->nodeCount(), 0);
    EXPECT_EQ(nav->lsRsnt()->count(), 0);
    EXPECT_EQ(nav->lsFind()->count(), 0);
    EXPECT_EQ(nav->cmbFind()->count(), 1); // the combo keeps its entries
    EXPECT_EQ(nav->sFndHst(), QStringLiteral("."));
    // The counter restarts with the next load into the emptied tree.
    QString key = QStringLiteral("0");
    nav->SetNodes(key);
    EXPECT_TRUE(item(QStringLiteral("N0-5")));
    svr.D_Close();
    EXPECT_EQ(testsupport::readBytes(tmp.filePath(QStringLiteral("nav.txdb"))), before);
}

TEST_F(NavigatorTest, MoreThan32767NodesStillLoad) {
    samples::DocDbContent content;
    samples::PageRow root;
    root.no = 1;
    root.title = QStringLiteral("親");
    content.pages << root;
    samples::TreeRow top;
    top.child = 1;
    top.title = root.title;
    content.edges << top;
    for (int i = 0; i < 33000; ++i) {
        samples::PageRow p;
        p.no = 100 + i;
        p.title = QString::number(i);
        p.boCod = 1; // code pages need no count query
        content.pages << p;
        samples::TreeRow e;
        e.parent = 1;
        e.child = p.no;
        e.order = i;
        e.title = p.title;
        content.edges << e;
    }
    open(content, "big.txdb");
    makeControl();
    loadTop();
    QString key = QStringLiteral("N0-1");
    nav->SetNodes(key);
    EXPECT_EQ(key, QStringLiteral("N33000-33099")); // every child has its key at once
    EXPECT_EQ(nav->iKyCnt(), 33001);
    // The first children are there at once, the others come while the window goes on.
    EXPECT_GE(item(QStringLiteral("N0-1"))->childCount(), 1000);
    EXPECT_LT(item(QStringLiteral("N0-1"))->childCount(), 33000);
    QTRY_COMPARE_WITH_TIMEOUT(item(QStringLiteral("N0-1"))->childCount(), 33000, 20000);
    EXPECT_EQ(item(QStringLiteral("N0-1"))->child(32999)->text(0), QStringLiteral("32999"));
}
