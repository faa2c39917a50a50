// IndexBuild: builds the find index of a database from its own read-only connection, in one
// snapshot, into a file that replaces the old index only once it is complete.
#include "find/FindIndex.h"

#include "find/IndexChecksum.h"
#include "find/IndexFile.h"
#include "find/PairBits.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <vector>

namespace find::findindex {

using pairbits::addPairs;
using pairbits::kPairBytes;

namespace {

void putVarint(std::string& out, quint32 v) {
    while (v >= 0x80) {
        out += char(v | 0x80);
        v >>= 7;
    }
    out += char(v);
}

/// Trigram buckets filled page by page: each bucket's list of page places, delta-coded.
class Postings {
public:
    explicit Postings(int bits) : m_bits(bits), m_lists(size_t(1) << bits), m_last(size_t(1) << bits, kNone) {}
    quint32 buckets() const { return quint32(m_lists.size()); }
    /// Adds a page (places come in growing order): once to each bucket of its trigrams, which the
    /// bucket's last place tells without sorting them.
    void add(quint32 place, std::string_view text) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        for (size_t i = 0; i + 3 <= text.size(); ++i) {
            const quint32 b = bucketOf(p + i, m_bits);
            quint32& last = m_last[b];
            if (last == place)
                continue;
            putVarint(m_lists[b], last == kNone ? place + 1 : place - last);
            last = place;
        }
    }
    /// Writes the bucket table and the lists; false when the device refuses.
    bool write(QIODevice& out) {
        std::string table;
        quint64 at = 0;
        for (const std::string& l : m_lists) {
            putLe<quint64>(table, at);
            at += l.size();
        }
        putLe<quint64>(table, at);
        if (out.write(table.data(), qint64(table.size())) != qint64(table.size()))
            return false;
        for (std::string& l : m_lists) {
            if (!l.empty() && out.write(l.data(), qint64(l.size())) != qint64(l.size()))
                return false;
            std::string().swap(l);
        }
        return true;
    }

private:
    int m_bits;
    static constexpr quint32 kNone = 0xFFFFFFFFu; // no page in the bucket yet
    std::vector<std::string> m_lists;
    std::vector<quint32> m_last;
};

/// The name that reads msDoc's own row numbers, which tie each text to its page in the title
/// order. Only an ordinary table has such numbers (a view's are Null, a virtual table's are its
/// module's, a table without row numbers has none), and a column may have taken the name "rowid"
/// ("_rowid_" or "oid" then still read them). Empty when msDoc has none the index can be keyed by.
QString rowNumberName(ReadConnection& db) {
    bool table = false;
    if (sqlite3_stmt* st = db.prepareOwn(
            "SELECT type = 'table' AND wr = 0 FROM pragma_table_list WHERE schema = 'main' AND name = 'msDoc' "
            "COLLATE NOCASE")) {
        table = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 1;
        sqlite3_finalize(st);
    }
    if (!table)
        return {};
    // A partial index on msDoc may carry the find statement (and give equal titles another order,
    // or, in a damaged file, other rows) where the index's own reads scan the table.
    if (sqlite3_stmt* st = db.prepareOwn("SELECT count(*) FROM pragma_index_list('msDoc') WHERE partial")) {
        const bool partial = sqlite3_step(st) != SQLITE_ROW || sqlite3_column_int(st, 0) > 0;
        sqlite3_finalize(st);
        if (partial)
            return {};
    } else {
        return {};
    }
    QStringList taken;
    if (sqlite3_stmt* st = db.prepareOwn("SELECT lower(name) FROM pragma_table_xinfo('msDoc')")) {
        while (sqlite3_step(st) == SQLITE_ROW)
            taken << textOf(st, 0);
        sqlite3_finalize(st);
    }
    for (const QString& name : {QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid")})
        if (!taken.contains(name))
            return name;
    return {};
}

/// A database the index cannot stand in for is noted beside the index (with its stamp), so that
/// it is not read through again for nothing until it changes; its finds are the statement's.
QString refusedPath(const QString& dbFile) {
    return indexPath(dbFile) + QStringLiteral(".refused");
}

bool refusedBefore(const QString& dbFile, const FileStamp& stamp) {
    QFile f(refusedPath(dbFile));
    return f.open(QIODevice::ReadOnly) && f.read(64) == stampBytes(stamp);
}

void noteRefused(const QString& dbFile, const FileStamp& stamp) {
    QSaveFile f(refusedPath(dbFile));
    if (f.open(QIODevice::WriteOnly) && f.write(stampBytes(stamp)) == 36)
        f.commit();
    QFile::remove(indexPath(dbFile)); // an index of an earlier state must not be taken for this one
}

} // namespace

bool build(const QString& dbFile, const std::atomic_bool& cancel, const std::function<void(qint64, qint64)>& progress,
           QString& error, bool* timedOut) {
    if (timedOut)
        *timedOut = false;
    ReadConnection db(dbFile, cancel);
    if (!db) {
        error = QStringLiteral("cannot read %1").arg(dbFile);
        return false;
    }
    const FileStamp seen = FileStamp::of(dbFile);
    QDir().mkpath(QFileInfo(indexPath(dbFile)).absolutePath());
    if (refusedBefore(dbFile, seen)) {
        error = QStringLiteral("msDoc has no row numbers the index can be keyed by");
        return false;
    }
    // The index ties texts to titles by msDoc's row numbers; without them it would answer with
    // other pages' texts, and the statement answers alone.
    const QString rowNumber = rowNumberName(db);
    if (rowNumber.isEmpty()) {
        noteRefused(dbFile, seen);
        error = QStringLiteral("msDoc is no table with row numbers the index can be keyed by");
        return false;
    }
    // Every read obeys the command time-out: a statement gives up when no row has come for that
    // long (an msDoc that never ends is a read error, not an endless build).
    auto readError = [&db, timedOut] {
        if (!db.timedOut())
            return db.error();
        if (timedOut)
            *timedOut = true;
        return QStringLiteral("the statement ran past the command time-out (%1 ms)")
            .arg(dbengine::DbProviders::commandTimeout());
    };
    auto first = [&db](const char* sql) {
        qint64 n = -1;
        if (sqlite3_stmt* st = db.prepare(QString::fromLatin1(sql))) {
            const int rc = sqlite3_step(st);
            n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : rc == SQLITE_DONE ? 0 : -1;
            sqlite3_finalize(st);
        }
        return n;
    };
    // A first read opens the files (a write-ahead log included); then one snapshot for every read,
    // with the database's stamp unchanged around its start, so that the stamp tells its state.
    if (first("Select 1 From msDoc Limit 1") < 0) {
        error = readError();
        return false;
    }
    const FileStamp before = FileStamp::of(dbFile);
    const qint64 total = db.exec("BEGIN") ? first("Select Count(*) From msDoc") : -1;
    if (total < 0 || FileStamp::of(dbFile) != before) {
        error = total < 0 && db.timedOut() ? readError() : QStringLiteral("cannot read %1 as it stands").arg(dbFile);
        return false;
    }
    const QString path = indexPath(dbFile);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        error = out.errorString();
        return false;
    }
    auto fail = [&](const QString& why) {
        out.cancelWriting();
        error = cancel ? QStringLiteral("cancelled") : why;
        return false;
    };
    // Everything after the header up to the sums goes through the block sums (the header's stamp
    // is written anew in place after the program's own writes of the tree).
    out.write(kMagic, 8);
    out.write(stampBytes(before));
    ChecksumWriter w(out);
    const qint64 textsAt = 44;
    // The texts in the table's own order, with the row of each page.
    std::string chunk, offsets, heads, pairs;
    ByteCounts counts{};
    std::vector<qint64> rowids;
    auto postings = std::make_unique<Postings>(bucketBitsFor(total));
    quint64 textBytes = 0;
    sqlite3_stmt* texts = db.prepare(QStringLiteral("Select %1, txDoc From msDoc").arg(rowNumber));
    if (!texts)
        return fail(readError());
    // An SQLite built so that LIKE never matches a BLOB (Debian's is) treats a BLOB text as it
    // treats a Null one.
    const bool blobsNeverMatch = sqlite3_compileoption_used("LIKE_DOESNT_MATCH_BLOBS") != 0;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(texts)) == SQLITE_ROW) {
        db.restartDeadline();
        if (qint64(rowids.size()) >= total)
            return fail(QStringLiteral("msDoc gave more rows than it counted"));
        const quint32 place = quint32(rowids.size());
        rowids.push_back(sqlite3_column_int64(texts, 0));
        const int type = sqlite3_column_type(texts, 1);
        if (type == SQLITE_NULL || (type == SQLITE_BLOB && blobsNeverMatch)) {
            putLe<quint64>(offsets, textBytes | kNullText);
            heads.append(size_t(kSlot), '\0');
            pairs.append(size_t(kPairBytes), '\0');
        } else {
            putLe<quint64>(offsets, textBytes);
            const size_t at = chunk.size();
            foldInto(chunk, sqlite3_column_text(texts, 1), sqlite3_column_bytes(texts, 1));
            const std::string_view folded = std::string_view(chunk).substr(at);
            for (const char c : folded)
                ++counts[static_cast<unsigned char>(c)];
            postings->add(place, folded);
            pairs.append(size_t(kPairBytes), '\0');
            addPairs(folded, reinterpret_cast<uchar*>(pairs.data() + pairs.size() - kPairBytes));
            size_t cut = std::min<size_t>(folded.size(), kHeadBytes);
            while (cut < folded.size() && cut > 0 && (static_cast<unsigned char>(folded[cut]) & 0xC0) == 0x80)
                --cut;
            putLe<quint16>(heads, quint16(cut));
            heads.append(folded.substr(0, cut));
            heads.append(size_t(kHeadBytes) - cut, '\0');
            textBytes += chunk.size() - at;
        }
        if (chunk.size() > (8 << 20)) {
            w.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
        if (rowids.size() % 1024 == 0 && progress)
            progress(qint64(rowids.size()), total);
    }
    sqlite3_finalize(texts);
    if (rc != SQLITE_DONE)
        return fail(readError());
    {
        // A damaged file may hold a row number twice, and SQLite reads it without complaint.
        std::vector<qint64> sorted = rowids;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
            out.cancelWriting();
            if (!cancel && FileStamp::of(dbFile) == before)
                noteRefused(dbFile, before);
            error = QStringLiteral("msDoc holds a row number twice (a damaged file)");
            return false;
        }
    }
    if (cancel) // the sections below take a moment to write: a build that is stopped ends here
        return fail(QString());
    putLe<quint64>(offsets, textBytes);
    w.write(chunk.data(), qint64(chunk.size()));
    std::string().swap(chunk);
    const qint64 offsetsAt = textsAt + qint64(textBytes);
    w.write(offsets.data(), qint64(offsets.size()));
    const qint64 headsAt = offsetsAt + qint64(offsets.size());
    w.write(heads.data(), qint64(heads.size()));
    {
        std::string column(rowids.size(), '\0');
        for (size_t j = 0; j < size_t(kPairBytes); ++j) {
            for (size_t p = 0; p < rowids.size(); ++p)
                column[p] = pairs[p * kPairBytes + j];
            w.write(column.data(), qint64(column.size()));
        }
    }
    const qint64 bucketsAt = headsAt + qint64(heads.size() + pairs.size());
    std::string().swap(heads);
    std::string().swap(pairs);
    const qint64 postingsAt = bucketsAt + 8 * qint64(postings->buckets() + 1);
    if (cancel)
        return fail(QString());
    if (!postings->write(w))
        return fail(out.errorString());
    postings.reset();
    const qint64 orderAt = textsAt + w.pos();
    // The pages in the order the find lists them, each with its text's place.
    QHash<qint64, quint32> placeOf;
    placeOf.reserve(qsizetype(rowids.size()));
    for (size_t i = 0; i < rowids.size(); ++i)
        placeOf.insert(rowids[i], quint32(i));
    sqlite3_stmt* order =
        db.prepare(QStringLiteral("Select noDoc, szDoc, %1 From msDoc Order By szDoc").arg(rowNumber));
    if (!order)
        return fail(readError());
    std::string listed;
    quint32 listedCount = 0;
    while ((rc = sqlite3_step(order)) == SQLITE_ROW) {
        db.restartDeadline();
        const std::optional<qint32> no = pageOf(order);
        if (!no)
            continue; // the find lists only real page numbers
        const auto place = placeOf.constFind(sqlite3_column_int64(order, 2));
        if (place == placeOf.cend())
            return fail(QStringLiteral("the pages changed while they were read"));
        const QByteArray title = textOf(order, 1).toUtf8();
        putLe<quint32>(listed, *place);
        putLe<quint32>(listed, quint32(*no));
        putLe<quint32>(listed, quint32(title.size()));
        listed.append(title.constData(), size_t(title.size()));
        ++listedCount;
    }
    sqlite3_finalize(order);
    const FileStamp after = FileStamp::of(dbFile);
    db.exec("COMMIT");
    if (rc != SQLITE_DONE)
        return fail(readError());
    std::string tail;
    putLe<quint32>(tail, listedCount);
    tail += listed;
    const qint64 bytesAt = orderAt + qint64(tail.size());
    for (quint64 n : counts)
        putLe<quint64>(tail, n);
    w.write(tail.data(), qint64(tail.size()));
    // The sums of the blocks written so far, then the footer, which sums the sums and itself: a find
    // checks those whole and every other block when it first reads it. The header's stamp is left
    // out, so that it can be stamped anew in place (the program's own writes of the tree).
    const qint64 sumsAt = textsAt + w.pos();
    std::string end;
    for (const quint64 sum : w.blockSums())
        putLe<quint64>(end, sum);
    for (qint64 v : {offsetsAt, headsAt, bucketsAt, postingsAt, orderAt, bytesAt, qint64(rowids.size()), sumsAt})
        putLe<quint64>(end, quint64(v));
    IndexChecksum own;
    own.add(end.data(), end.size());
    putLe<quint64>(end, own.value());
    end.append(kMagic, 8);
    out.write(end.data(), qint64(end.size()));
    // An index of a database that changed while it was read would answer for neither state.
    if (cancel || after != before)
        return fail(QStringLiteral("the database changed while it was indexed"));
    if (progress)
        progress(total, total);
    const bool committed = out.commit();
    if (committed) {
        BlockCheck::written(path); // what was written is what was summed
        QFile::remove(refusedPath(dbFile));
    }
#ifdef __GLIBC__
    // The page lists took much memory in many small pieces: give it back to the system.
    malloc_trim(0);
#endif
    return committed;
}

} // namespace find::findindex
