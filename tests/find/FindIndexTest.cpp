// Tests of the find index: random words and word pairs from a generated corpus give the rows of the
// find statement in its order; a database changed behind the reader's back is never answered from
// the old index; damage is found in the block a find reads; an msDoc that never ends times out.
#include "find/FindIndex.h"
#include "find/IndexChecksum.h"
#include "dbengine/DbProvider.h"
#include "docdb/zSvr.h"
#include "samples/builder/DocDbWriter.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/zClt.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <fcntl.h>
#include <future>
#include <sqlite3.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace find {
void PrintTo(const FoundPage& p, std::ostream* os) {
    *os << p.no << ":" << p.title.toStdString();
}
} // namespace find

namespace {

const std::atomic_bool kGoOn{false};

bool exec(const QString& db, const char* sql) {
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &h);
    const bool ok = sqlite3_exec(h, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(h);
    return ok;
}

/// Pages of mixed Japanese and ASCII text in varied case, with "%", "_", quotes and repeated titles.
samples::DocDbContent corpus(QRandomGenerator& rng, int pages) {
    const QStringList vocabulary = {
        QStringLiteral("文書"),  QStringLiteral("検索"),     QStringLiteral("ツリー"),  QStringLiteral("Alpha"),
        QStringLiteral("ALPHA"), QStringLiteral("alphabet"), QStringLiteral("beta"),    QStringLiteral("Beta_2"),
        QStringLiteral("100%"),  QStringLiteral("it's"),     QStringLiteral("ｶﾀｶﾅ"),    QStringLiteral("漢字変換"),
        QStringLiteral("x"),     QStringLiteral("Straße"),   QStringLiteral("ÄÖ"),      QStringLiteral("𠮷野家"),
        QStringLiteral("表示"),  QStringLiteral("印刷"),     QStringLiteral("setting"), QStringLiteral("SETUP"),
        QStringLiteral("a1b2"),  QStringLiteral("aäb"),      QStringLiteral("q𠮷z"),    QStringLiteral("7ｶ8x")};
    samples::DocDbContent c;
    for (int no = 1; no <= pages; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = QStringLiteral("頁 %1").arg(rng.bounded(pages / 3 + 1)); // many titles repeat
        QStringList words;
        for (int i = rng.bounded(1, 120); i > 0; --i) // many pages run past the part kept in front
            words << vocabulary[rng.bounded(vocabulary.size())];
        p.txDoc = words.join(rng.bounded(3) ? QStringLiteral(" ") : QStringLiteral("\n"));
        c.pages << p;
        samples::TreeRow e;
        e.child = e.order = no;
        e.title = p.title;
        c.edges << e;
    }
    return c;
}

/// A word a user might type: a piece of a page's text, sometimes in other case or with wildcards.
QString randomWord(QRandomGenerator& rng, const samples::DocDbContent& c) {
    const QString text = c.pages[rng.bounded(c.pages.size())].txDoc;
    const int len = rng.bounded(1, 7);
    const int at = rng.bounded(std::max(1, int(text.size()) - len));
    QString w = text.mid(at, len).simplified().remove(QLatin1Char(' '));
    switch (rng.bounded(5)) {
    case 0:
        w = w.toUpper();
        break;
    case 1:
        if (w.size() > 1)
            w[rng.bounded(w.size())] = QLatin1Char('_');
        break;
    case 2:
        if (w.size() > 1)
            w.insert(rng.bounded(1, int(w.size())), QLatin1Char('%'));
        break;
    default:
        break;
    }
    return w.isEmpty() ? QStringLiteral("x") : w;
}

class FindIndex : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    void open(const QString& path) {
        bool ok = false;
        svr.D_StDcDb(path, ok);
        ASSERT_TRUE(ok);
    }
    QTemporaryDir tmp;
    testsupport::FakeMessageBox box;
    util::zClt clt;
    docdb::zSvr svr{box, clt};
};

TEST_F(FindIndex, RandomWordsAndPairsGiveTheStatementsRowsInItsOrder) {
    QRandomGenerator rng(20261208);
    const samples::DocDbContent c = corpus(rng, 600);
    const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("corpus.txdb"), c);
    // A page without text, one whose text stops at a NUL for LIKE, one with a quote.
    ASSERT_TRUE(exec(db, "UPDATE msDoc SET txDoc = NULL WHERE noDoc = 3;"
                         "UPDATE msDoc SET txDoc = CAST(X'416C70686100626574612064656C7461' AS TEXT) WHERE noDoc = 4;"
                         "UPDATE msDoc SET txDoc = 'don''t stop' WHERE noDoc = 5;"
                         // Bytes that are no UTF-8: a stray continuation byte is a character of its
                         // own for LIKE, a lead byte takes every continuation byte after it.
                         "UPDATE msDoc SET txDoc = CAST(X'7A3180326220C3808080387A' AS TEXT) WHERE noDoc = 6;"
                         // LIKE compares the characters it reads: a continuation byte after "é" makes
                         // it another character, an overlong form reads as what it stands for, a
                         // shortened one as a value of its own, a Latin-1 byte as U+0080..U+00BF.
                         "UPDATE msDoc SET txDoc = CAST(X'436166C3A98073' AS TEXT) WHERE noDoc = 7;"
                         "UPDATE msDoc SET txDoc = CAST(X'636166E083A973' AS TEXT) WHERE noDoc = 8;"
                         "UPDATE msDoc SET txDoc = CAST(X'78E38979' AS TEXT) WHERE noDoc = 9;"
                         "UPDATE msDoc SET txDoc = CAST(X'3235B043' AS TEXT) WHERE noDoc = 10;"
                         "UPDATE msDoc SET txDoc = CAST(X'6162C08063642078F888808080808079' AS TEXT) WHERE noDoc = 11;"
                         // A BLOB, which an SQLite built to that end never matches with LIKE.
                         "UPDATE msDoc SET txDoc = X'616C7068612062657461' WHERE noDoc = 12;"));
    open(db);
    QString error;
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error)) << error.toStdString();
    ASSERT_TRUE(find::findindex::isCurrent(db));

    QStringList texts = {QString(),
                         QStringLiteral("alpha"),
                         QStringLiteral("delta"),
                         QStringLiteral("'"),
                         QStringLiteral("don't"),
                         QStringLiteral("_"),
                         QStringLiteral("%"),
                         QStringLiteral("a%%b"),
                         QStringLiteral("𠮷"),
                         QStringLiteral("_野"),
                         QStringLiteral("ß"),
                         QStringLiteral("SS"),
                         QStringLiteral("ä"),
                         QStringLiteral("100%"),
                         QStringLiteral("  beta   ALPHA "),
                         QStringLiteral("!"),
                         QStringLiteral("x_x x%_"),
                         QStringLiteral("ｶﾀ ﾅ"),
                         QStringLiteral("a_b"),
                         QStringLiteral("q_z"),
                         QStringLiteral("7_8"),
                         QStringLiteral("z1_2b"),
                         QStringLiteral("b _8z"),
                         QStringLiteral("1b_"),
                         QStringLiteral("a1%2"),
                         QStringLiteral("café"),
                         QStringLiteral("é_"),
                         QStringLiteral("xÉy"),
                         QStringLiteral("25°c"),
                         QStringLiteral("b\uFFFDc"),
                         QStringLiteral("x_y"),
                         QStringLiteral("\uFFFF")};
    for (int i = 0; i < 150; ++i)
        texts << (i % 3 == 0 ? randomWord(rng, c) + QLatin1Char(' ') + randomWord(rng, c) : randomWord(rng, c));
    int nonEmpty = 0;
    for (const QString& t : texts) {
        const QVector<find::FoundPage> statement = find::findPages(svr, t);
        const auto indexed = find::findindex::find(db, t, kGoOn);
        ASSERT_TRUE(indexed) << t.toStdString();
        EXPECT_EQ(*indexed, statement) << "find " << t.toStdString();
        EXPECT_EQ(find::findindex::scan(db, t, kGoOn), statement) << "scan " << t.toStdString();
        nonEmpty += !statement.isEmpty() && statement.size() < c.pages.size();
    }
    EXPECT_GT(nonEmpty, 100); // the words tell pages apart
}

TEST_F(FindIndex, ADatabaseChangedBehindTheReadersBackIsNotAnsweredFromTheOldIndex) {
    QRandomGenerator rng(7);
    const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("changing.txdb"), corpus(rng, 50));
    QString error;
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    ASSERT_TRUE(find::findindex::find(db, QStringLiteral("zebra"), kGoOn)->isEmpty());
    // Another program adds a page, in rollback and then in write-ahead mode.
    ASSERT_TRUE(exec(db, "UPDATE msDoc SET txDoc = 'a zebra' WHERE noDoc = 7"));
    EXPECT_FALSE(find::findindex::isCurrent(db));
    EXPECT_FALSE(find::findindex::find(db, QStringLiteral("zebra"), kGoOn));
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    ASSERT_EQ(find::findindex::find(db, QStringLiteral("zebra"), kGoOn)->size(), 1);
    ASSERT_TRUE(exec(db, "PRAGMA journal_mode=WAL"));
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error)) << error.toStdString();
    sqlite3* writer = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &writer);
    sqlite3_exec(writer, "PRAGMA wal_autocheckpoint=0; UPDATE msDoc SET txDoc = 'zebra too' WHERE noDoc = 8", nullptr,
                 nullptr, nullptr);
    EXPECT_FALSE(find::findindex::find(db, QStringLiteral("zebra"), kGoOn)); // the log changed
    sqlite3_close(writer);
    EXPECT_EQ(find::findindex::scan(db, QStringLiteral("zebra"), kGoOn)->size(), 2);
    // The empty log SQLite makes whenever a reader opens the database holds no change.
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    sqlite3* reader = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &reader);
    sqlite3_exec(reader, "SELECT Count(*) FROM msDoc", nullptr, nullptr, nullptr);
    ASSERT_TRUE(QFileInfo::exists(db + QStringLiteral("-wal")));
    EXPECT_TRUE(find::findindex::isCurrent(db));
    EXPECT_EQ(find::findindex::find(db, QStringLiteral("zebra"), kGoOn)->size(), 2);
    // A change checkpointed into the file at once, its size the same, the log emptied and the
    // change counter untouched: the file's time tells, even within the same millisecond.
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &before), 0);
    sqlite3_exec(reader, "UPDATE msDoc SET txDoc = 'zebra three' WHERE noDoc = 9; PRAGMA wal_checkpoint(TRUNCATE)",
                 nullptr, nullptr, nullptr);
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_nsec = times[1].tv_nsec < 500000000 ? times[1].tv_nsec + 1 : times[1].tv_nsec - 1;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(db).constData(), times, 0), 0);
    EXPECT_FALSE(find::findindex::isCurrent(db));
    EXPECT_FALSE(find::findindex::find(db, QStringLiteral("zebra"), kGoOn));
    sqlite3_close(reader);
}

TEST_F(FindIndex, ADamagedIndexNeverAnswersAndGoesSoThatItIsBuiltAnew) {
    QRandomGenerator rng(11);
    const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("damaged.txdb"), corpus(rng, 40));
    const QString index = find::findindex::indexPath(db);
    QString error;
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    QFile f(index);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    // One bit flipped in a text, in a page's pair bits, in the postings, in the footer's page count
    // (the top bits, which sums of it would carry round) and in the sums of the blocks. Each find
    // either answers as the statement does (the damage lies where it does not read) or answers
    // nothing and takes the index away; the footer and the sums are read by every find.
    const qsizetype size = good.size();
    struct Place {
        qsizetype at;
        bool everyFind;
    };
    const Place places[] = {{60, false}, {size / 2, false}, {size - 200, false}, {size - 80 + 48 + 7, true}, {size - 80 - 3, true}};
    const QStringList words = {QStringLiteral("a"), QStringLiteral("a1"), QStringLiteral("alpha"), QStringLiteral("ｶﾀｶﾅ 表示")};
    int noticed = 0;
    for (const Place& place : places) {
        for (const QString& word : words) {
            QByteArray bad = good;
            bad[place.at] = char(bad[place.at] ^ 0x40);
            ASSERT_TRUE(testsupport::writeBytes(index, bad));
            const auto found = find::findindex::find(db, word, kGoOn);
            if (found) {
                EXPECT_FALSE(place.everyFind) << place.at;
                EXPECT_EQ(*found, find::findindex::scan(db, word, kGoOn)) << place.at << " " << word.toStdString();
            } else {
                ++noticed;
                EXPECT_FALSE(find::findindex::isCurrent(db)) << place.at;
            }
        }
    }
    EXPECT_GE(noticed, 2 * int(words.size()) + 2);
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    EXPECT_EQ(find::findindex::find(db, QStringLiteral("a"), kGoOn), find::findindex::scan(db, QStringLiteral("a"), kGoOn));
}

TEST_F(FindIndex, ADamagedBlockIsFoundByTheFirstFindThatReadsIt) {
    // Pages enough for the texts to fill several blocks; one word on page 7 alone.
    QRandomGenerator rng(12);
    samples::DocDbContent content = corpus(rng, 2000);
    content.pages[6].txDoc += QStringLiteral(" zqjvkw");
    const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("blocks.txdb"), content);
    QString error;
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    const QString index = find::findindex::indexPath(db);
    // Read back whole, it is marked so; any change of the file takes the mark away.
    EXPECT_FALSE(find::BlockCheck::verified(index));
    ASSERT_TRUE(find::findindex::verifyWhole(db));
    EXPECT_TRUE(find::BlockCheck::verified(index));
    QByteArray bad = testsupport::readBytes(index);
    const qsizetype textsEnd = 44 + qsizetype(3 * find::IndexChecksum::kBlock); // the end of the third block
    ASSERT_GT(bad.size(), textsEnd + 1000);
    bad[textsEnd - 500] = char(bad[textsEnd - 500] ^ 0x01); // a text in the third block, far from page 7's
    ASSERT_TRUE(testsupport::writeBytes(index, bad));
    EXPECT_FALSE(find::BlockCheck::verified(index));
    // A find that reads only page 7's text answers, as the statement does; one that reads every text
    // meets the damage, answers nothing and removes the index.
    const auto rare = find::findindex::find(db, QStringLiteral("ZQJVKW"), kGoOn);
    ASSERT_TRUE(rare);
    EXPECT_EQ(*rare, find::findindex::scan(db, QStringLiteral("ZQJVKW"), kGoOn));
    ASSERT_EQ(rare->size(), 1);
    EXPECT_FALSE(find::findindex::find(db, QStringLiteral("a"), kGoOn));
    EXPECT_FALSE(QFile::exists(index));
    EXPECT_FALSE(find::findindex::isCurrent(db));
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error));
    EXPECT_EQ(find::findindex::find(db, QStringLiteral("a"), kGoOn), find::findindex::scan(db, QStringLiteral("a"), kGoOn));
    // Reading it back whole finds damage anywhere, and takes the index away.
    ASSERT_TRUE(testsupport::writeBytes(index, bad));
    EXPECT_FALSE(find::findindex::verifyWhole(db));
    EXPECT_FALSE(QFile::exists(index));
}

TEST_F(FindIndex, AnMsDocThatNeverEndsIsAReadErrorWithinTheTimeOut) {
    // Views of pages that never end: one that never gives a row, one that gives rows for ever.
    const char* const endless[] = {
        "Create View msDoc As With Recursive c(noDoc, szDoc, obDoc, txDoc, dyUdt, boCod) As (Select 1, 'x', Null, "
        "'x', Null, 0 Union All Select noDoc + 1, 'x', Null, 'x', Null, 0 From c) Select * From c Where noDoc < 0",
        "Create View msDoc As With Recursive c(noDoc, szDoc, obDoc, txDoc, dyUdt, boCod) As (Select 1, 'x', Null, "
        "'x', Null, 0 Union All Select noDoc + 1, 'x', Null, 'x', Null, 0 From c) Select * From c"};
    dbengine::DbProviders::setCommandTimeout(500);
    const auto restore = qScopeGuard([] { dbengine::DbProviders::setCommandTimeout(30000); });
    int i = 0;
    for (const char* view : endless) {
        QRandomGenerator rng(13);
        const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("endless%1.txdb").arg(i++), corpus(rng, 5));
        ASSERT_TRUE(exec(db, "DROP TABLE msDoc"));
        ASSERT_TRUE(exec(db, view));
        // Stopped after 20 s, should it not end by itself, so that a fault fails rather than hangs.
        std::atomic_bool stop{false};
        QString error;
        bool timedOut = false;
        auto build = std::async(std::launch::async, [&] { return find::findindex::build(db, stop, {}, error, &timedOut); });
        const bool ended = build.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        stop = true;
        EXPECT_TRUE(ended) << view;
        EXPECT_FALSE(build.get()); // a view has no row numbers to key an index by: refused at once
        EXPECT_FALSE(find::findindex::isCurrent(db));
        QString why;
        EXPECT_FALSE(find::findindex::scan(db, QStringLiteral("x"), kGoOn, &why));
        EXPECT_TRUE(why.contains(QStringLiteral("time-out"))) << why.toStdString();
    }
}

/// Gives the third row of a small table (its tree a single leaf) the row number of the second, as a
/// damaged file may: SQLite reads both rows without complaint.
bool duplicateRowNumber(const QString& db, const char* table) {
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &h);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master WHERE name = ?",
                       -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    const qint64 root = found ? sqlite3_column_int64(st, 0) : 0, pageSize = found ? sqlite3_column_int64(st, 1) : 0;
    sqlite3_finalize(st);
    sqlite3_close(h);
    QByteArray bytes = testsupport::readBytes(db);
    const qint64 page = (root - 1) * pageSize, header = page + (root == 1 ? 100 : 0);
    if (!found || header + 8 > bytes.size() || quint8(bytes[header]) != 0x0D || quint8(bytes[header + 4]) < 3)
        return false; // not a single leaf of three rows or more
    auto cell = [&](int i) {
        return page + (quint8(bytes[header + 8 + 2 * i]) << 8 | quint8(bytes[header + 9 + 2 * i]));
    };
    auto rowNumberAt = [&](qint64 at) { // past the payload length (a varint)
        while (quint8(bytes[at]) & 0x80)
            ++at;
        return at + 1;
    };
    const qint64 second = rowNumberAt(cell(1)), third = rowNumberAt(cell(2));
    if ((quint8(bytes[second]) | quint8(bytes[third])) & 0x80)
        return false; // row numbers of one byte only
    bytes[third] = bytes[second];
    return testsupport::writeBytes(db, bytes);
}

TEST_F(FindIndex, OnlyATableWithUniqueRowNumbersIsIndexedAndTheAnswerIsTheStatementsEitherWay) {
    samples::DocDbContent c;
    for (int no = 1; no <= 6; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = QStringLiteral("頁%1").arg(7 - no);
        p.txDoc = no % 2 ? QStringLiteral("alpha 文書 %1").arg(no) : QStringLiteral("beta 検索 %1").arg(no);
        c.pages << p;
    }
    const QStringList words = {QStringLiteral("alpha"), QStringLiteral("文書"), QStringLiteral("e"), QString()};
    auto same = [&](const QString& db, bool indexed) {
        QString error;
        EXPECT_EQ(find::findindex::build(db, kGoOn, {}, error), indexed) << error.toStdString();
        for (const QString& w : words) {
            const auto statement = find::findindex::scan(db, w, kGoOn);
            ASSERT_TRUE(statement);
            if (indexed)
                EXPECT_EQ(find::findindex::find(db, w, kGoOn), statement) << w.toStdString();
            else
                EXPECT_FALSE(find::findindex::find(db, w, kGoOn)) << w.toStdString();
        }
    };
    // msDoc a plain view over the real table: its row numbers are Null.
    const QString view = testsupport::writeDb(tmp.path(), QStringLiteral("view.txdb"), c);
    ASSERT_TRUE(exec(view, "ALTER TABLE msDoc RENAME TO msDocReal; CREATE VIEW msDoc AS SELECT * FROM msDocReal"));
    same(view, false);
    QString error;
    EXPECT_FALSE(find::findindex::build(view, kGoOn, {}, error)); // noted: not read through again
    EXPECT_TRUE(error.contains(QStringLiteral("row numbers"))) << error.toStdString();
    EXPECT_EQ(find::findindex::scan(view, QStringLiteral("alpha"), kGoOn)->size(), 3);
    // An ordinary column named rowid, all its values alike: the real row numbers are read instead.
    const QString column = testsupport::writeDb(tmp.path(), QStringLiteral("column.txdb"), c);
    ASSERT_TRUE(exec(column,
                     "CREATE TABLE m2 (noDoc INTEGER PRIMARY KEY, szDoc TEXT, obDoc BLOB, txDoc TEXT, "
                     "dyUdt DATETIME, boCod INTEGER, rowid INTEGER, oid INTEGER);"
                     "INSERT INTO m2 SELECT *, 1, 1 FROM msDoc; DROP TABLE msDoc; ALTER TABLE m2 RENAME TO msDoc"));
    same(column, true);
    // A damaged file that holds a row number twice.
    const QString twice = testsupport::writeDb(tmp.path(), QStringLiteral("twice.txdb"), c);
    ASSERT_TRUE(duplicateRowNumber(twice, "msDoc"));
    EXPECT_EQ(find::findindex::scan(twice, QStringLiteral("%"), kGoOn)->size(), 6);
    same(twice, false);
    // A partial index on msDoc, which the statement may read in another order: left to the statement.
    const QString partial = testsupport::writeDb(tmp.path(), QStringLiteral("partial.txdb"), c);
    ASSERT_TRUE(exec(partial, "CREATE INDEX p ON msDoc (szDoc, noDoc DESC) WHERE txDoc Like '%alpha%'"));
    same(partial, false);
    // Mended, the file is indexed again.
    ASSERT_TRUE(exec(twice, "DELETE FROM msDoc; VACUUM"));
    same(twice, true);
}

TEST_F(FindIndex, ReadingADatabaseInWalModeLeavesNoLogFilesBehind) {
    QRandomGenerator rng(3);
    const QString db = testsupport::writeDb(tmp.path(), QStringLiteral("wal.txdb"), corpus(rng, 20));
    ASSERT_TRUE(exec(db, "PRAGMA journal_mode=WAL"));
    ASSERT_FALSE(QFileInfo::exists(db + QStringLiteral("-wal")));
    // The find's own connections, each the only one: the last to close takes the files SQLite made.
    QString error;
    ASSERT_TRUE(find::findindex::build(db, kGoOn, {}, error)) << error.toStdString();
    ASSERT_TRUE(find::findindex::scan(db, QStringLiteral("alpha"), kGoOn));
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-wal")));
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-shm")));
    // And they write nothing: the database's bytes are as they were.
    const QByteArray before = testsupport::readBytes(db);
    find::findindex::scan(db, QStringLiteral("beta"), kGoOn);
    EXPECT_EQ(testsupport::readBytes(db), before);
}

} // namespace
