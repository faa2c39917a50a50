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
#include <QTemporaryFile>

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

/// Trigram buckets filled page by page: each bucket's list of page places, delta-coded. The lists
/// grow as chains of small blocks in large pieces of memory, so that a hundred thousand pages' lists
/// take little more than their bytes (no growth by doubling, no allocation a bucket).
class Postings {
public:
    explicit Postings(int bits)
        : m_head(size_t(1) << bits, 0), m_tail(size_t(1) << bits, 0), m_length(size_t(1) << bits, 0),
          m_last(size_t(1) << bits, kNone), m_bits(bits) {
        newBlock(); // block 0 stands for "none"
    }
    quint32 buckets() const { return quint32(m_head.size()); }
    /// Adds a page (places come in growing order): once to each bucket of its trigrams, which the
    /// bucket's last place tells without sorting them.
    void add(quint32 place, std::string_view text) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        for (size_t i = 0; i + 3 <= text.size(); ++i) {
            const quint32 b = bucketOf(p + i, m_bits);
            quint32& last = m_last[b];
            if (last == place)
                continue;
            quint32 v = last == kNone ? place + 1 : place - last;
            last = place;
            while (v >= 0x80) {
                put(b, uchar(v | 0x80));
                v >>= 7;
            }
            put(b, uchar(v));
        }
    }
    /// Writes the bucket table and the lists; false when the device refuses.
    bool write(QIODevice& out) {
        std::string table;
        quint64 at = 0;
        for (const quint32 length : m_length) {
            putLe<quint64>(table, at);
            at += length;
        }
        putLe<quint64>(table, at);
        if (out.write(table.data(), qint64(table.size())) != qint64(table.size()))
            return false;
        std::string().swap(table);
        std::string list;
        for (size_t b = 0; b < m_head.size(); ++b) {
            list.clear();
            quint32 left = m_length[b];
            for (quint32 block = m_head[b]; block != 0 && left > 0; block = linkOf(block)) {
                const quint32 take = std::min<quint32>(left, kData);
                list.append(reinterpret_cast<const char*>(dataOf(block)), take);
                left -= take;
            }
            if (!list.empty() && out.write(list.data(), qint64(list.size())) != qint64(list.size()))
                return false;
        }
        return true;
    }

private:
    static constexpr quint32 kNone = 0xFFFFFFFFu;         // no page in the bucket yet
    static constexpr quint32 kBlock = 32, kData = 28;     // a block: the next block's number, then bytes
    static constexpr quint32 kPieceBlocks = 1u << 19;     // 16 MiB of blocks a piece
    uchar* blockAt(quint32 block) { return m_pieces[block / kPieceBlocks].get() + size_t(block % kPieceBlocks) * kBlock; }
    quint32 linkOf(quint32 block) { return qFromLittleEndian<quint32>(blockAt(block)); }
    uchar* dataOf(quint32 block) { return blockAt(block) + 4; }
    quint32 newBlock() {
        if (m_blocks % kPieceBlocks == 0)
            m_pieces.push_back(std::make_unique<uchar[]>(size_t(kPieceBlocks) * kBlock));
        const quint32 block = m_blocks++;
        qToLittleEndian<quint32>(0, blockAt(block));
        return block;
    }
    void put(quint32 b, uchar byte) {
        const quint32 used = m_length[b] % kData;
        if (used == 0) { // the first byte, or the tail block is full: a new block at the end
            const quint32 block = newBlock();
            if (m_tail[b] == 0)
                m_head[b] = block;
            else
                qToLittleEndian<quint32>(block, blockAt(m_tail[b]));
            m_tail[b] = block;
        }
        dataOf(m_tail[b])[used] = byte;
        ++m_length[b];
    }
    std::vector<std::unique_ptr<uchar[]>> m_pieces;
    quint32 m_blocks = 0;
    std::vector<quint32> m_head, m_tail, m_length, m_last;
    int m_bits;
};

/// Bytes of a section that wait in a file of their own beside the index until their turn to be
/// written: held in memory they would take hundreds of bytes a page.
class Spill {
public:
    explicit Spill(const QString& folder) : m_file(folder + QStringLiteral("/spill-XXXXXX")) { m_ok = m_file.open(); }
    std::string pending;
    qint64 bytes() const { return m_bytes + qint64(pending.size()); }
    /// Writes what is pending once it is large (or always, with all).
    bool flush(bool all = false) {
        if (!all && pending.size() < (4u << 20))
            return m_ok;
        m_ok = m_ok && m_file.write(pending.data(), qint64(pending.size())) == qint64(pending.size());
        m_bytes += qint64(pending.size());
        pending.clear();
        return m_ok;
    }
    /// Reads the bytes back from the start, in pieces of at most n.
    bool rewind() { return flush(true) && m_file.seek(0); }
    QByteArray read(qint64 n) { return m_file.read(n); }
    QString error() const { return m_file.errorString(); }

private:
    QTemporaryFile m_file;
    qint64 m_bytes = 0;
    bool m_ok = false;
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
    std::string chunk, offsets;
    // The slots and the pairs wait beside the index until the texts are written.
    Spill headsSpill(QFileInfo(path).absolutePath()), pairsSpill(QFileInfo(path).absolutePath());
    std::string& heads = headsSpill.pending;
    std::string& pairs = pairsSpill.pending;
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
        if (!headsSpill.flush() || !pairsSpill.flush())
            return fail(headsSpill.error() + pairsSpill.error());
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
    const qint64 headsBytes = headsSpill.bytes(), pairsBytes = pairsSpill.bytes();
    if (!headsSpill.rewind() || !pairsSpill.rewind())
        return fail(headsSpill.error() + pairsSpill.error());
    for (qint64 copied = 0; copied < headsBytes;) {
        const QByteArray piece = headsSpill.read(std::min<qint64>(4 << 20, headsBytes - copied));
        if (piece.isEmpty())
            return fail(headsSpill.error());
        w.write(piece.constData(), piece.size());
        copied += piece.size();
    }
    {
        // The pairs go out byte by byte of every page's set: a few bytes of the sets at a time,
        // each from one read of them all.
        const size_t pages = rowids.size();
        const size_t group = std::clamp<size_t>((4u << 20) / std::max<size_t>(1, pages), 1, size_t(kPairBytes));
        for (size_t first = 0; first < size_t(kPairBytes); first += group) {
            const size_t n = std::min(group, size_t(kPairBytes) - first);
            std::string columns(n * pages, '\0');
            if (!pairsSpill.rewind())
                return fail(pairsSpill.error());
            for (size_t p = 0; p < pages;) {
                const QByteArray rows = pairsSpill.read(qint64(std::min<size_t>(8192, pages - p)) * kPairBytes);
                if (rows.isEmpty() || rows.size() % kPairBytes != 0)
                    return fail(pairsSpill.error());
                for (qsizetype r = 0; r < rows.size() / kPairBytes; ++r, ++p)
                    for (size_t k = 0; k < n; ++k)
                        columns[k * pages + p] = rows[r * kPairBytes + qsizetype(first + k)];
            }
            w.write(columns.data(), qint64(columns.size()));
        }
    }
    const qint64 bucketsAt = headsAt + headsBytes + pairsBytes;
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
