// Tests of tag nodes, choosing code-list entries, and renaming pages with their date stamps.
#include "NavigatorFixture.h"
#include "app/Usr.h"
#include "find/FindIndex.h"
#include "support/PgCluster.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>

#include <sqlite3.h>
#include <unistd.h>

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
        nav->setStamp([this](const QString& p, const QString& c, bool pub) {
            stamps << (p + QLatin1Char('-') + c);
            return app::stampStatement(svr, p, c, pub, stampTime);
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
        QApplication::processEvents(); // the delegate commits through the event loop,
        QApplication::processEvents(); // and the title is written once the editor has closed
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

TEST_F(Rename, AVeryLongTitleIsShownCutKeptWholeAndAnUnchangedEditWritesNothing) {
    const QString longTitle = QString(1000000, QChar(u'長')) + QStringLiteral("終");
    auto content = testsupport::smallTree();
    for (auto& e : content.edges)
        if (e.child == 5)
            e.title = longTitle;
    open(content, "long.txdb");
    loadTop();
    QTreeWidgetItem* node = item(QStringLiteral("N0-5"));
    ASSERT_TRUE(node);
    EXPECT_LE(node->text(0).size(), 513);
    EXPECT_TRUE(node->text(0).endsWith(QChar(0x2026)));
    clickNode(node);
    ASSERT_FALSE(docs.empty());
    EXPECT_EQ(docs.back().sSz, longTitle); // the host gets the whole title
    const QString before = dump();
    edit(QStringLiteral("N0-5"), node->text(0)); // F2 and Enter, the title as shown
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(stamps.isEmpty());
}

TEST_F(Rename, EditingNeedsAWritableDatabase) {
    nav->setRenameEnabled(false);
    nav->trView()->setCurrentItem(item(QStringLiteral("N0-5")));
    QTest::keyClick(nav->trView(), Qt::Key_F2);
    EXPECT_FALSE(nav->trView()->findChild<QLineEdit*>());
}

// ---------------------------------------------------------------------------------------------
// Renames that cannot be written, and a file's own triggers

namespace {

const std::atomic_bool kNever{false};

/// Another program's connection to the fixture file.
struct OtherProgram {
    explicit OtherProgram(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~OtherProgram() { sqlite3_close(db); }
    bool exec(const QString& sql) {
        const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok)
            ADD_FAILURE() << sqlite3_errmsg(db);
        return ok;
    }
    sqlite3* db = nullptr;
};

} // namespace

class FailedRename : public Rename {
protected:
    void SetUp() override {
        if (testsupport::onServer())
            GTEST_SKIP() << "about database files";
        Rename::SetUp();
        path = tmp.filePath(QStringLiteral("nav.txdb"));
        QTRY_VERIFY(!nav->findEngine().indexing()); // the find index is built from the file first
    }
    /// Renames page 5 and expects nothing written, the old title back in the tree and the reason told.
    void expectRefused(const QString& reason) {
        const QString before = dump();
        box.texts.clear();
        screen.calls.clear();
        edit(QStringLiteral("N0-5"), QStringLiteral("新しい長い題名です"));
        QApplication::processEvents(); // the report follows once the editor has closed
        EXPECT_EQ(item(QStringLiteral("N0-5"))->text(0), QStringLiteral("五"));
        ASSERT_EQ(box.texts.size(), 1);
        EXPECT_TRUE(box.texts.front().startsWith(QStringLiteral("題名を保存できませんでした: ") + reason))
            << box.texts.front().toStdString();
        EXPECT_EQ(screen.calls, (QList<bool>{true, false})); // busy while it was tried, then the message
        EXPECT_EQ(dump(), before) << "neither the title nor its date may be written";
    }
    QString path;
};

class RenameAndIndex : public FailedRename {};

TEST_F(RenameAndIndex, OurRenameKeepsTheFindIndexCurrentAndAnotherWriteMakesItStale) {
    ASSERT_TRUE(find::findindex::isCurrent(path));
    edit(QStringLiteral("N0-5"), QStringLiteral("新しい題名"));
    ASSERT_EQ(title(0, 5), QStringLiteral("新しい題名"));
    EXPECT_TRUE(find::findindex::isCurrent(path)); // the tree alone changed: the index stands
    EXPECT_FALSE(nav->findEngine().indexing());    // and is not built again
    const auto indexed = find::findindex::find(path, QStringLiteral("検索語"), kNever);
    ASSERT_TRUE(indexed);
    EXPECT_EQ(*indexed, find::findindex::scan(path, QStringLiteral("検索語"), kNever));
    // A write of ours that reaches the pages' texts is not kept past.
    bool ok = false;
    dbengine::WriteOutcome out;
    svr.D_ExeTx({QStringLiteral("Update msDoc Set txDoc='検索語' Where noDoc=8")}, ok, out);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(find::findindex::isCurrent(path));
    QString error;
    ASSERT_TRUE(find::findindex::build(path, kNever, {}, error));
    // Another program's write makes it stale, and a rename of ours after it leaves it so.
    OtherProgram other(path);
    ASSERT_TRUE(other.exec(QStringLiteral("UPDATE tbTree SET szDoc='他' WHERE noLfC=12")));
    EXPECT_FALSE(find::findindex::isCurrent(path));
    nav->findEngine().stopBuild();
    edit(QStringLiteral("N2-40"), QStringLiteral("四十の新しい題名"));
    ASSERT_EQ(title(0, 40), QStringLiteral("四十の新しい題名"));
    EXPECT_FALSE(find::findindex::isCurrent(path));
}

TEST_F(FailedRename, AFileTriggerNeverRunsWithTheRename) {
    OtherProgram other(path);
    ASSERT_TRUE(other.exec(QStringLiteral("CREATE TRIGGER wipe AFTER UPDATE ON tbTree BEGIN DELETE FROM msDoc; "
                                          "DELETE FROM tbTree WHERE noLfC <> NEW.noLfC; END")));
    const QString before = dump();
    edit(QStringLiteral("N0-5"), QStringLiteral("新しい題名"));
    QString expected = before;
    expected.replace(QStringLiteral("0|5|1|五|0|0|2026-11-02T10:00:00.000"),
                     QStringLiteral("0|5|1|新しい題名|0|0|2026-12-06T14:05:09.000"));
    EXPECT_EQ(dump(), expected);
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(FailedRename, ALockARefusalAFolderWithoutRoomForTheJournalAndAFullDiskKeepTheOldTitle) {
    {
        // Another program writes: the rename waits a moment, then gives up.
        OtherProgram other(path);
        ASSERT_TRUE(other.exec(QStringLiteral("BEGIN IMMEDIATE")));
        expectRefused(QStringLiteral("ほかのプログラムがデータベースに書き込み中です"));
    }
    {
        // The title would pass, its date not: neither is written.
        OtherProgram other(path);
        QString table;
        svr.R_GtVaL(QStringLiteral("Select sql From sqlite_master Where name = 'tbTree'"), table, QString());
        table.insert(table.lastIndexOf(QLatin1Char(')')), QStringLiteral(", CHECK (dyUdt < '2026-12-01')"));
        ASSERT_TRUE(other.exec(QStringLiteral("PRAGMA writable_schema = ON")));
        ASSERT_TRUE(other.exec(QStringLiteral("UPDATE sqlite_master SET sql = '%1' WHERE name = 'tbTree'")
                                   .arg(table.replace(QLatin1Char('\''), QLatin1String("''")))));
    }
    bool ok = false;
    svr.D_StDcDb(path, ok); // the new schema
    ASSERT_TRUE(ok);
    expectRefused(QStringLiteral("データベースが変更を受け付けませんでした"));
    {
        // A folder that takes no new file (no journal beside the database). The administrator
        // writes anywhere: for the tests' root the folder is made immutable instead.
        const QString folder = tmp.path();
        const bool root = ::geteuid() == 0;
        const bool locked = root ? QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0
                                 : QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        auto unlock = qScopeGuard([&] {
            if (root)
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder});
            else
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (!locked)
            GTEST_SKIP() << "the file system here keeps no folder from being written";
        expectRefused(QStringLiteral("データベース (またはそのフォルダー) に書き込めません"));
    }
}

TEST_F(FailedRename, AFilesOwnReplaceOnConflictNeverDeletesAnotherRow) {
    {
        OtherProgram other(path);
        QString table;
        svr.R_GtVaL(QStringLiteral("Select sql From sqlite_master Where name = 'tbTree'"), table, QString());
        table.insert(table.lastIndexOf(QLatin1Char(')')), QStringLiteral(", UNIQUE (szDoc) ON CONFLICT REPLACE"));
        table.replace(QStringLiteral("CREATE TABLE tbTree"), QStringLiteral("CREATE TABLE t2"));
        ASSERT_TRUE(other.exec(table + QStringLiteral("; INSERT INTO t2 SELECT * FROM tbTree; DROP TABLE tbTree; "
                                                      "ALTER TABLE t2 RENAME TO tbTree")));
    }
    bool ok = false;
    svr.D_StDcDb(path, ok);
    ASSERT_TRUE(ok);
    const QString before = dump();
    box.texts.clear();
    edit(QStringLiteral("N0-5"), QStringLiteral("八")); // the title of the row 0-8
    QApplication::processEvents();
    EXPECT_EQ(dump(), before) << "the row 0-8 must stay";
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts.front().startsWith(
        QStringLiteral("題名を保存できませんでした: データベースが変更を受け付けませんでした")))
        << box.texts.front().toStdString();
}

TEST_F(FailedRename, AFullDiskKeepsTheOldTitle) {
    // A small file system of its own, filled up; only where the machine lets the tests mount one.
    const QString mount = tmp.filePath(QStringLiteral("small"));
    QDir().mkpath(mount);
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=512k"), QStringLiteral("tmpfs"), mount}) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    auto unmount = qScopeGuard([&] {
        svr.D_Close();
        QProcess::execute(QStringLiteral("umount"), {mount});
    });
    const QString small = mount + QStringLiteral("/nav.txdb");
    ASSERT_TRUE(QFile::copy(path, small));
    bool ok = false;
    svr.D_StDcDb(small, ok);
    ASSERT_TRUE(ok);
    QFile filler(mount + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    expectRefused(QStringLiteral("ディスクに空きがありません"));
}
