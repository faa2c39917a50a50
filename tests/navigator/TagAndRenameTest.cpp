// Tests of tag nodes, choosing code-list entries, and renaming pages with their date stamps.
#include "NavigatorFixture.h"
#include "app/Usr.h"

#include <QLineEdit>

using testsupport::NavigatorTest;
using testsupport::SetDoc;

namespace {
samples::DocDbContent withChild125() {
    auto content = testsupport::smallTree();
    samples::PageRow p;
    p.no = 125;
    p.title = QStringLiteral("百二十五");
    content.pages << p;
    p.no = 25;
    p.title = QStringLiteral("二十五");
    content.pages << p;
    samples::TreeRow e;
    e.parent = 40, e.child = 125, e.order = 1, e.title = QStringLiteral("同じ題");
    content.edges << e;
    for (auto& page : content.pages)
        if (page.no == 40)
            page.obDoc = QByteArray("<p>四十</p>");
    return content;
}
} // namespace

TEST_F(NavigatorTest, TagTreeSelectsAMatchingChildOrAddsOneTag) {
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N0-5"))); // loads 9 and 12 under 5
    messages.clear();
    // Title and number of an existing child: it is selected, nothing is added.
    nav->TagTree(QStringLiteral("九"), QStringLiteral("9"));
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N3-9"));
    EXPECT_EQ(nav->nodeCount(), 5);
    EXPECT_TRUE(messages.isEmpty());
    // The first child with the title decides: another number adds a tag.
    nav->trView()->setCurrentItem(item(QStringLiteral("N0-5")));
    nav->TagTree(QStringLiteral("九"), QStringLiteral("12"));
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("X5-12"));
    EXPECT_EQ(navigator::uTrX::imageOf(item(QStringLiteral("X5-12"))), QStringLiteral("tgcls"));
    EXPECT_EQ(item(QStringLiteral("X5-12"))->parent(), item(QStringLiteral("N0-5")));
    EXPECT_EQ(messages, QStringList{QStringLiteral("ﾀｸﾞ(文書ﾃﾞｰﾀｰﾍﾞｰｽ内のﾘﾝｸ)を挿入しました")});
    EXPECT_EQ(docs.size(), 1u); // TagTree raises no eSetDoc
    // A link followed twice adds its tag once: the second time the tag is the first child with the title.
    nav->trView()->setCurrentItem(item(QStringLiteral("N0-5")));
    nav->TagTree(QStringLiteral("三十へ"), QStringLiteral("30"));
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("X6-30"));
    nav->trView()->setCurrentItem(item(QStringLiteral("N0-5")));
    nav->TagTree(QStringLiteral("三十へ"), QStringLiteral("30"));
    EXPECT_EQ(nav->nodeCount(), 7);
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("X6-30"));
    // Choosing the tag shows page 12 as a tag choice, and loads 12's children under it.
    clickNode(item(QStringLiteral("X5-12")));
    EXPECT_EQ(docs.back(), (SetDoc{QStringLiteral("5"), QStringLiteral("12"), QStringLiteral("九"), 1, false}));
    EXPECT_EQ(item(QStringLiteral("X5-12"))->childCount(), 1);
    EXPECT_FALSE(item(QStringLiteral("X5-12"))->flags() & Qt::ItemIsEditable); // tags are not renamed
}

TEST_F(NavigatorTest, TagTreeMatchesByTheKeysLastDigits) {
    open(withChild125(), "tags.txdb");
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N2-40")));
    ASSERT_EQ(item(QStringLiteral("N2-40"))->childCount(), 1);
    nav->TagTree(QStringLiteral("同じ題"), QStringLiteral("25"));
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N3-125")); // "125" ends with "25"
    EXPECT_EQ(nav->nodeCount(), 4);
    nav->trView()->setCurrentItem(nullptr);
    nav->TagTree(QStringLiteral("x"), QStringLiteral("1")); // nothing selected: nothing happens
    EXPECT_EQ(nav->nodeCount(), 4);
}

TEST_F(NavigatorTest, CodeListEntriesShowTheirPages) {
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N1-8")));
    QTreeWidget* list = nav->lsCod();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
    EXPECT_EQ(docs.back(), (SetDoc{QString(), QStringLiteral("20"), QStringLiteral("二十"), 0, false}));
    EXPECT_EQ(nav->sCdKy(), QStringLiteral("K20"));
    EXPECT_EQ(nav->SlctdKy(), QStringLiteral("N1-8")); // the tree stays on the code node
    // A refused change selects the last chosen entry again.
    refuse = true;
    const size_t before = docs.size();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(docs.size(), before);
    EXPECT_EQ(list->currentItem()->data(0, Qt::UserRole).toString(), QStringLiteral("K20"));
}

TEST_F(NavigatorTest, CodePageWithoutChildrenShowsAnEmptyList) {
    auto content = testsupport::smallTree();
    for (auto& p : content.pages)
        if (p.no == 40)
            p.boCod = 1;
    open(content, "emptycode.txdb");
    makeControl();
    loadTop();
    clickNode(item(QStringLiteral("N2-40")));
    EXPECT_TRUE(nav->bCdMd());
    EXPECT_TRUE(nav->lsCod()->isVisible());
    EXPECT_EQ(nav->lsCod()->topLevelItemCount(), 0);
}

// ---------------------------------------------------------------------------------------------

class Rename : public NavigatorTest {
protected:
    void SetUp() override {
        NavigatorTest::SetUp();
        makeControl();
        nav->setRenameEnabled(true);
        nav->setStamp([this](const QString& p, const QString& c, bool& ok, bool pub) {
            app::StmpTrDt(svr, p, c, ok, pub, stampTime);
            stamps << (p + QLatin1Char('-') + c);
        });
        loadTop();
    }
    /// Edits the label of a node as a user does: select, F2, type, Enter.
    void edit(const QString& key, const QString& text) {
        QTreeWidgetItem* it = item(key);
        nav->trView()->setCurrentItem(it);
        nav->trView()->setFocus();
        QTest::keyClick(nav->trView(), Qt::Key_F2);
        QApplication::processEvents(); // the editor settles before the user types
        auto* editor = nav->trView()->findChild<QLineEdit*>();
        ASSERT_TRUE(editor) << "no label editor opened";
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents(); // the delegate commits through the event loop
    }
    QString dump() {
        docdb::RowArray rows;
        qint32 n = 0;
        QStringList out;
        svr.R_Ary(
            QStringLiteral("Select noLfP, noLfC, inSrt, szDoc, boLnk, boHide, dyUdt From tbTree Order By noLfP, noLfC"),
            rows, n);
        for (int r = 0; r < n; ++r) {
            QStringList cells;
            for (int c = 0; c < rows.columnCount(); ++c)
                cells << rows(c, r).toString();
            out << cells.join(QLatin1Char('|'));
        }
        svr.R_Ary(QStringLiteral("Select noDoc, szDoc, txDoc, dyUdt, boCod From msDoc Order By noDoc"), rows, n);
        for (int r = 0; r < n; ++r)
            out << rows(0, r).toString() + rows(1, r).toString() + rows(2, r).toString() + rows(3, r).toString();
        return out.join(QLatin1Char('\n'));
    }
    QString title(int parent, int child) {
        QString t;
        svr.R_GtVaL(QStringLiteral("Select szDoc From tbTree Where noLfP=%1 And noLfC=%2").arg(parent).arg(child), t,
                    QString());
        return t;
    }
    QDateTime stamped(int parent, int child) {
        QVariant v;
        svr.R_GtVaL(QStringLiteral("Select dyUdt From tbTree Where noLfP=%1 And noLfC=%2").arg(parent).arg(child), v,
                    QVariant());
        return v.toDateTime();
    }
    QDateTime stampTime{QDate(2026, 12, 6), QTime(14, 5, 9)};
    QStringList stamps;
};

TEST_F(Rename, TrimmedTitleIsStoredAndStampedWhileTheTreeShowsTheSpaces) {
    const QString before = dump();
    edit(QStringLiteral("N0-5"), QStringLiteral("  新しい題名  "));
    EXPECT_EQ(item(QStringLiteral("N0-5"))->text(0), QStringLiteral("  新しい題名  "));
    EXPECT_EQ(title(0, 5), QStringLiteral("新しい題名"));
    EXPECT_EQ(stamps, QStringList{QStringLiteral("0-5")}); // the top-level row, parent "0"
    EXPECT_TRUE(docs.empty());                             // the Enter that ends the edit chooses nothing
    EXPECT_EQ(stamped(0, 5), stampTime);
    // Nothing else changed.
    QString expected = before;
    expected.replace(QStringLiteral("0|5|1|五|0|0|2026-11-02T10:00:00.000"),
                     QStringLiteral("0|5|1|新しい題名|0|0|2026-12-06T14:05:09.000"));
    EXPECT_EQ(dump(), expected);
}

TEST_F(Rename, SpacesOnlyChangeNothing) {
    const QString before = dump();
    edit(QStringLiteral("N1-8"), QStringLiteral("    "));
    EXPECT_EQ(item(QStringLiteral("N1-8"))->text(0), QStringLiteral("    "));
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(stamps.isEmpty());
}

TEST_F(Rename, LeavingATitleUnchangedWritesNothing) {
    const QString before = dump();
    edit(QStringLiteral("N0-5"), QStringLiteral("五"));    // F2 and Enter with the title as it was
    edit(QStringLiteral("N0-5"), QStringLiteral(" 五  ")); // blanks only: the stored title is the same
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(stamps.isEmpty());
    // Renamed once, the new title is what "unchanged" compares with.
    edit(QStringLiteral("N0-5"), QStringLiteral("新"));
    edit(QStringLiteral("N0-5"), QStringLiteral("新"));
    EXPECT_EQ(title(0, 5), QStringLiteral("新"));
    EXPECT_EQ(stamps, QStringList{QStringLiteral("0-5")});
}

TEST_F(Rename, TitlesWithQuotesAreStoredExactly) {
    QString key = QStringLiteral("N0-5");
    nav->SetNodes(key);
    edit(QStringLiteral("N4-12"), QStringLiteral("O'Brien's ''本'' why? now?"));
    EXPECT_EQ(title(5, 12), QStringLiteral("O'Brien's ''本'' why? now?")); // a "?" is kept, not filled
    EXPECT_EQ(stamps, QStringList{QStringLiteral("5-12")});
    EXPECT_EQ(title(0, 5), QStringLiteral("五"));
}

TEST_F(Rename, EditingNeedsAWritableDatabase) {
    nav->setRenameEnabled(false);
    nav->trView()->setCurrentItem(item(QStringLiteral("N0-5")));
    QTest::keyClick(nav->trView(), Qt::Key_F2);
    EXPECT_FALSE(nav->trView()->findChild<QLineEdit*>());
}
