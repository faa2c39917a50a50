// FindIndex: builds, checks and searches the find index; runs the find statement off the
// user-interface thread.
#include "docdb/FindIndex.h"

#include "docdb/IndexChecksum.h"
#include "docdb/PairBits.h"
#include "docdb/Schema.h"
#include "platform/DbProvider.h"
#include "platform/SqlDialect.h"
#include "util/Vb.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QtEndian>

#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace docdb {

namespace {

constexpr char kMagic[8] = {'D', 'B', 'T', 'X', 'F', 'N', 'D', 'A'};
// SQLite refuses LIKE patterns longer than this (bytes); the index then leaves the answer to it.
constexpr qsizetype kMaxPattern = 50000;

/// A file's times as one number: when its bytes last changed and when the file itself last changed,
/// each to the nanosecond where the system keeps it. A change within the same millisecond still
/// tells, and so does a change whose time of change was put back afterwards (a program may set the
/// first time, never the second).
qint64 changedNs(const QFileInfo& fi) {
    if (!fi.exists())
        return 0;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(fi.absoluteFilePath()).constData(), &st) == 0) {
        const quint64 modified = quint64(st.st_mtim.tv_sec) * 1000000000u + quint64(st.st_mtim.tv_nsec);
        const quint64 status = quint64(st.st_ctim.tv_sec) * 1000000000u + quint64(st.st_ctim.tv_nsec);
        return qint64(modified ^ (status * 0x9E3779B97F4A7C15ull));
    }
#endif
    return fi.lastModified().toMSecsSinceEpoch() * 1000000;
}

// Little-endian fields in the index file.
QByteArray stampBytes(const FileStamp& s) {
    QByteArray b(36, '\0');
    qToLittleEndian(s.size, b.data());
    qToLittleEndian(s.timesNs, b.data() + 8);
    qToLittleEndian(s.walSize, b.data() + 16);
    qToLittleEndian(s.walTimesNs, b.data() + 24);
    qToLittleEndian(s.counter, b.data() + 32);
    return b;
}

/// A read-only SQLite connection whose statements stop when cancelled or past the command time-out.
class ReadConnection {
public:
    ReadConnection(const QString& dbFile, const std::atomic_bool& cancel) : m_cancel(cancel) {
        const QByteArray native = QFile::encodeName(QFileInfo(dbFile).absoluteFilePath());
        if (sqlite3_open_v2(native.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        sqlite3_busy_timeout(m_db, platform::DbProviders::commandTimeout());
        sqlite3_progress_handler(m_db, 4000, &ReadConnection::onProgress, this);
    }
    ~ReadConnection() { sqlite3_close(m_db); }
    Q_DISABLE_COPY_MOVE(ReadConnection)
    explicit operator bool() const { return m_db != nullptr; }
    /// Prepares a statement; its time-out starts now.
    sqlite3_stmt* prepare(const QString& sql) {
        m_deadline = now() + platform::DbProviders::commandTimeout();
        sqlite3_stmt* st = nullptr;
        const QByteArray text = platform::SqlDialect::toSqlite(sql).toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return nullptr;
        }
        return st;
    }
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }
    /// No time-out for the index build, which may read a long time; cancelling still stops it.
    void noDeadline() { m_unlimited = true; }

private:
    static qint64 now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    static int onProgress(void* self) {
        const auto* c = static_cast<ReadConnection*>(self);
        return c->m_cancel.load() || (!c->m_unlimited && now() > c->m_deadline) ? 1 : 0;
    }
    sqlite3* m_db = nullptr;
    const std::atomic_bool& m_cancel;
    qint64 m_deadline = 0;
    bool m_unlimited = false;
};

/// The page number of column 0, as the find takes it (anything but a whole number is no page).
std::optional<qint32> pageOf(sqlite3_stmt* st) {
    switch (sqlite3_column_type(st, 0)) {
    case SQLITE_INTEGER:
        return util::pageNumber(QVariant(qlonglong(sqlite3_column_int64(st, 0))));
    case SQLITE_FLOAT:
        return util::pageNumber(QVariant(sqlite3_column_double(st, 0)));
    case SQLITE_NULL:
        return util::pageNumber(QVariant());
    default:
        return util::pageNumber(QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))));
    }
}

QString textOf(sqlite3_stmt* st, int col) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return t ? QString::fromUtf8(t, sqlite3_column_bytes(st, col)) : QString();
}

QStringList wordsOf(const QString& text) {
    return util::Trim(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

FileStamp FileStamp::of(const QString& dbFile) {
    FileStamp s;
    const QFileInfo db(dbFile), wal(dbFile + QStringLiteral("-wal"));
    if (!db.exists())
        return s;
    s.size = db.size();
    s.timesNs = changedNs(db);
    // An empty write-ahead log holds no change: it counts as none, so that the log SQLite makes anew
    // whenever the database is opened in WAL mode does not make the index stale.
    if (wal.exists() && wal.size() > 0) {
        s.walSize = wal.size();
        s.walTimesNs = changedNs(wal);
    }
    QFile f(dbFile);
    if (f.open(QIODevice::ReadOnly) && f.seek(24)) {
        const QByteArray b = f.read(4);
        if (b.size() == 4)
            s.counter = qFromBigEndian<quint32>(b.constData());
    }
    return s;
}

namespace findindex {

using pairbits::addPairs;
using pairbits::kPairBytes;
using pairbits::pairsNeeded;

QString indexPath(const QString& dbFile) {
    const QString full = QFileInfo(dbFile).absoluteFilePath();
    const QByteArray key = QCryptographicHash::hash(full.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/dbtext/find/") +
           QString::fromLatin1(key) + QStringLiteral(".idx");
}

namespace {

// The index file: the header (magic and the database's stamp), the pages' texts one after another,
// then the sections below, and at the end a footer that says where each section starts.
//   texts     the folded text of each page, in the table's order
//   offsets   u64 per page + 1: where each text starts (a Null text, or a BLOB that LIKE never
//             matches, has the top bit set)
//   heads     a slot per page with the start of its text
//   pairs     bit sets per page of the pairs of ASCII letters and digits in its text: they rule out
//             pages for the pieces of a word too short for trigrams, and across its "_". Stored
//             byte by byte: byte j of every page's sets, then byte j + 1, so that a find reads
//             only the few bytes its words need
//   buckets   u64 per trigram bucket + 1: where its page list starts in the postings
//   postings  per bucket, the places of the pages holding a trigram of that bucket, as growing
//             numbers written as the difference to the one before, 7 bits a byte
//   order     the pages in title order: place, page number, title
//   bytes     how often each byte value occurs in the texts (u64 each), to search by the rarest
// The footer: where each section starts, the page count, the checksum of all before it, the mark.
constexpr int kBucketBits = 20;
constexpr quint32 kBuckets = 1u << kBucketBits;
constexpr quint64 kNullText = quint64(1) << 63;
constexpr int kFooter = 8 * 8 + 8;
// The start of every page's text again, side by side in slots of a length and up to 510 bytes (cut
// at a character's start): a word found there decides the page without reading the rest.
constexpr int kSlot = 512, kHeadBytes = kSlot - 2;
quint32 bucketOf(const unsigned char* p) {
    const quint32 v = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kBucketBits);
}

void putVarint(std::string& out, quint32 v) {
    while (v >= 0x80) {
        out += char(v | 0x80);
        v >>= 7;
    }
    out += char(v);
}

template <typename T> void putLe(std::string& out, T v) {
    char b[sizeof(T)];
    qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

/// Trigram buckets filled page by page: each bucket's list of page places, delta-coded.
class Postings {
public:
    Postings() : m_lists(kBuckets), m_last(kBuckets, -1) {}
    void add(quint32 place, std::string_view text) {
        m_seen.clear();
        for (size_t i = 0; i + 3 <= text.size(); ++i)
            m_seen.push_back(bucketOf(reinterpret_cast<const unsigned char*>(text.data()) + i));
        std::sort(m_seen.begin(), m_seen.end());
        m_seen.erase(std::unique(m_seen.begin(), m_seen.end()), m_seen.end());
        for (quint32 b : m_seen) {
            putVarint(m_lists[b], quint32(qint64(place) - m_last[b]));
            m_last[b] = place;
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
    std::vector<std::string> m_lists;
    std::vector<qint64> m_last;
    std::vector<quint32> m_seen;
};

/// An index file mapped into memory for one find, and unmapped after it.
class Mapped {
public:
    explicit Mapped(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::ReadOnly) || m_file.size() < 44 + kFooter)
            return;
        m_size = m_file.size();
        m_data = m_file.map(0, m_size);
    }
    ~Mapped() {
        if (m_data)
            m_file.unmap(m_data);
    }
    Q_DISABLE_COPY_MOVE(Mapped)
    bool ok() const { return m_data != nullptr; }
    const uchar* data() const { return m_data; }
    qint64 size() const { return m_size; }
    quint64 u64(qint64 at) const { return at + 8 <= m_size ? qFromLittleEndian<quint64>(m_data + at) : 0; }
    quint32 u32(qint64 at) const { return at + 4 <= m_size ? qFromLittleEndian<quint32>(m_data + at) : 0; }

private:
    QFile m_file;
    uchar* m_data = nullptr;
    qint64 m_size = 0;
};

/// The stamp an index file was built from; nothing when it is no index of ours.
std::optional<FileStamp> stampOf(const uchar* head) {
    if (std::memcmp(head, kMagic, 8) != 0)
        return std::nullopt;
    const uchar* p = head + 8;
    FileStamp s;
    s.size = qFromLittleEndian<qint64>(p);
    s.timesNs = qFromLittleEndian<qint64>(p + 8);
    s.walSize = qFromLittleEndian<qint64>(p + 16);
    s.walTimesNs = qFromLittleEndian<qint64>(p + 24);
    s.counter = qFromLittleEndian<quint32>(p + 32);
    return s;
}

/// One bucket's list of page places (delta-coded) as bytes in the mapped index.
struct BucketList {
    const uchar* from;
    const uchar* to;
    size_t bytes() const { return size_t(to - from); }
};

BucketList bucketList(const Mapped& m, qint64 postings, qint64 buckets, quint32 bucket) {
    const quint64 from = m.u64(buckets + 8 * qint64(bucket)), to = m.u64(buckets + 8 * qint64(bucket) + 8);
    const qint64 end = std::min<qint64>(m.size(), postings + qint64(to));
    const qint64 start = std::min<qint64>(end, postings + qint64(from));
    return {m.data() + start, m.data() + end};
}

/// Keeps in the running only the pages on the list: a page still in after `round` lists has the
/// mark `round`, and each page on this list that has it moves on to `round + 1`. Returns how many
/// moved on.
quint64 narrow(const BucketList& list, quint8 round, std::vector<quint8>& marks) {
    quint64 kept = 0;
    const uchar* p = list.from;
    qint64 place = -1;
    while (p < list.to) {
        quint32 v = 0;
        int shift = 0;
        while (p < list.to && (*p & 0x80)) {
            v |= quint32(*p++ & 0x7F) << (shift & 31);
            shift += 7;
        }
        if (p < list.to)
            v |= quint32(*p++) << (shift & 31);
        place += v;
        if (place >= 0 && quint64(place) < marks.size() && marks[size_t(place)] == round) {
            marks[size_t(place)] = quint8(round + 1);
            ++kept;
        }
    }
    return kept;
}

} // namespace

namespace {

/// One page of the title order: its text's place, its number and its title.
struct Listed {
    quint32 place;
    qint32 no;
    QString title;
};
using TitleOrder = std::vector<Listed>;

/// The title order of an index, read once and kept for the finds that follow on the same index
/// (titles are what the results are made of; decoding them anew each time would cost more than the
/// find). Nothing when the section is damaged.
std::shared_ptr<const TitleOrder> titleOrder(const Mapped& m, qint64 orderAt, qint64 foot, quint64 count,
                                             const QString& path, const FileStamp& stamp) {
    static std::mutex lock;
    static QString keptPath;
    static FileStamp keptStamp;
    static qint64 keptSize = -1;
    static std::shared_ptr<const TitleOrder> kept;
    const std::lock_guard<std::mutex> guard(lock);
    if (kept && keptPath == path && keptStamp == stamp && keptSize == m.size())
        return kept;
    auto order = std::make_shared<TitleOrder>();
    const quint32 listed = m.u32(orderAt);
    order->reserve(listed);
    qint64 at = orderAt + 4;
    for (quint32 i = 0; i < listed; ++i) {
        if (at + 12 > foot)
            return nullptr;
        const quint32 place = m.u32(at), no = m.u32(at + 4), titleLen = m.u32(at + 8);
        at += 12;
        if (at + titleLen > foot || place >= count)
            return nullptr;
        order->push_back(
            {place, qint32(no), QString::fromUtf8(reinterpret_cast<const char*>(m.data()) + at, titleLen)});
        at += titleLen;
    }
    kept = std::move(order);
    keptPath = path;
    keptStamp = stamp;
    keptSize = m.size();
    return kept;
}

/// Removes a damaged index, unless it has been replaced since it was read, so that it is built anew.
void discard(const Mapped& m, const QString& path) {
    if (QFileInfo(path).size() == m.size())
        QFile::remove(path);
}

} // namespace

bool build(const QString& dbFile, const std::atomic_bool& cancel, const std::function<void(qint64, qint64)>& progress,
           QString& error) {
    ReadConnection db(dbFile, cancel);
    if (!db) {
        error = QStringLiteral("cannot read %1").arg(dbFile);
        return false;
    }
    db.noDeadline();
    auto count = [&db] {
        qint64 n = -1;
        if (sqlite3_stmt* st = db.prepare(QStringLiteral("Select Count(*) From msDoc"))) {
            if (sqlite3_step(st) == SQLITE_ROW)
                n = sqlite3_column_int64(st, 0);
            sqlite3_finalize(st);
        }
        return n;
    };
    // A first read opens the files (a write-ahead log included); then one snapshot for every read,
    // with the database's stamp unchanged around its start, so that the stamp tells its state.
    count();
    const FileStamp before = FileStamp::of(dbFile);
    const qint64 total = db.exec("BEGIN") ? count() : -1;
    if (total < 0 || FileStamp::of(dbFile) != before) {
        error = QStringLiteral("cannot read %1 as it stands").arg(dbFile);
        return false;
    }
    const QString path = indexPath(dbFile);
    QDir().mkpath(QFileInfo(path).absolutePath());
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
    // Everything but the checksum itself and the closing mark goes through the checksum.
    ChecksumWriter w(out);
    w.write(kMagic, 8);
    w.write(stampBytes(before));
    const qint64 textsAt = 44;
    // The texts in the table's own order, with the row of each page.
    std::string chunk, offsets, heads, pairs;
    ByteCounts counts{};
    std::vector<qint64> rowids;
    auto postings = std::make_unique<Postings>();
    quint64 textBytes = 0;
    sqlite3_stmt* texts = db.prepare(QStringLiteral("Select rowid, txDoc From msDoc"));
    if (!texts)
        return fail(db.error());
    // An SQLite built so that LIKE never matches a BLOB (Debian's is) treats a BLOB text as it
    // treats a Null one.
    const bool blobsNeverMatch = sqlite3_compileoption_used("LIKE_DOESNT_MATCH_BLOBS") != 0;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(texts)) == SQLITE_ROW) {
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
        return fail(db.error());
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
    const qint64 postingsAt = bucketsAt + 8 * qint64(kBuckets + 1);
    if (!postings->write(w))
        return fail(out.errorString());
    postings.reset();
    const qint64 orderAt = w.pos();
    // The pages in the order the find lists them, each with its text's place.
    QHash<qint64, quint32> placeOf;
    placeOf.reserve(qsizetype(rowids.size()));
    for (size_t i = 0; i < rowids.size(); ++i)
        placeOf.insert(rowids[i], quint32(i));
    sqlite3_stmt* order = db.prepare(QStringLiteral("Select noDoc, szDoc, rowid From msDoc Order By szDoc"));
    if (!order)
        return fail(db.error());
    std::string listed;
    quint32 listedCount = 0;
    while ((rc = sqlite3_step(order)) == SQLITE_ROW) {
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
        return fail(db.error());
    std::string tail;
    putLe<quint32>(tail, listedCount);
    tail += listed;
    const qint64 bytesAt = orderAt + qint64(tail.size());
    for (quint64 n : counts)
        putLe<quint64>(tail, n);
    for (qint64 v : {offsetsAt, headsAt, bucketsAt, postingsAt, orderAt, bytesAt, qint64(rowids.size())})
        putLe<quint64>(tail, quint64(v));
    w.write(tail.data(), qint64(tail.size()));
    std::string end;
    putLe<quint64>(end, w.checksum());
    end.append(kMagic, 8);
    out.write(end.data(), qint64(end.size()));
    // An index of a database that changed while it was read would answer for neither state.
    if (cancel || after != before)
        return fail(QStringLiteral("the database changed while it was indexed"));
    if (progress)
        progress(total, total);
    const bool committed = out.commit();
    if (committed)
        IndexChecksum::written(path); // what was written is what was summed
#ifdef __GLIBC__
    // The page lists took much memory in many small pieces: give it back to the system.
    malloc_trim(0);
#endif
    return committed;
}

bool isCurrent(const QString& dbFile) {
    QFile f(indexPath(dbFile));
    if (!f.open(QIODevice::ReadOnly) || f.size() < 44 + kFooter)
        return false;
    const QByteArray head = f.read(44);
    const std::optional<FileStamp> s =
        head.size() == 44 ? stampOf(reinterpret_cast<const uchar*>(head.constData())) : std::nullopt;
    return s && s->size >= 0 && *s == FileStamp::of(dbFile);
}

namespace {

std::optional<QVector<FoundPage>> findIn(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    const QString path = indexPath(dbFile);
    const Mapped m(path);
    if (!m.ok())
        return std::nullopt;
    const std::optional<FileStamp> s = stampOf(m.data());
    if (!s || s->size < 0 || *s != FileStamp::of(dbFile))
        return std::nullopt; // a stale index never answers
    // A damaged index answers nothing, and goes, so that it is built anew.
    auto broken = [&] {
        discard(m, path);
        return std::optional<QVector<FoundPage>>();
    };
    const qint64 foot = m.size() - kFooter;
    if (std::memcmp(m.data() + foot + 64, kMagic, 8) != 0)
        return broken();
    const qint64 offsetsAt = qint64(m.u64(foot)), headsAt = qint64(m.u64(foot + 8)),
                 bucketsAt = qint64(m.u64(foot + 16)), postingsAt = qint64(m.u64(foot + 24)),
                 orderAt = qint64(m.u64(foot + 32));
    const qint64 bytesAt = qint64(m.u64(foot + 40));
    const quint64 count = m.u64(foot + 48);
    // Every place within the file and a page count the file has room for, before any sums of them
    // (which a damaged footer could otherwise carry round past the largest number).
    for (const qint64 at : {offsetsAt, headsAt, bucketsAt, postingsAt, orderAt, bytesAt})
        if (at < 44 || at > foot)
            return broken();
    if (count > quint64(m.size()) / quint64(kSlot + kPairBytes) || bytesAt < orderAt || bytesAt + 8 * 256 > foot ||
        offsetsAt + qint64(8 * (count + 1)) != headsAt || headsAt + qint64((kSlot + kPairBytes) * count) != bucketsAt ||
        bucketsAt > postingsAt || postingsAt > orderAt)
        return broken();
    if (!IndexChecksum::intact(path, m.data(), m.size(), foot + 56, m.u64(foot + 56)))
        return broken();
    ByteCounts counts;
    for (int b = 0; b < 256; ++b)
        counts[size_t(b)] = m.u64(bytesAt + 8 * b);
    std::vector<std::string> words;
    for (const QString& w : wordsOf(text)) {
        // The statement's text ends at a NUL, so that SQLite refuses it: let the statement say so.
        if (w.contains(QChar(0)))
            return std::nullopt;
        if (w.toUtf8().size() + 2 > kMaxPattern)
            return std::nullopt; // SQLite refuses such a pattern: let the statement say so
        words.push_back(fold(w));
    }
    // Candidates: pages holding every trigram of every literal run of every word (a few spread
    // trigrams of a long run are enough); each candidate's text then decides.
    std::vector<BucketList> lists;
    for (const std::string& w : words) {
        size_t start = 0;
        while (start < w.size()) {
            const size_t stop = std::min(w.find_first_of("%_", start), w.size());
            const size_t len = stop - start;
            if (len >= 3) {
                const size_t step = std::max<size_t>(1, (len - 2) / 8);
                for (size_t i = start; i + 3 <= stop; i += step)
                    lists.push_back(
                        bucketList(m, postingsAt, bucketsAt, bucketOf(reinterpret_cast<const uchar*>(w.data()) + i)));
            }
            start = stop + 1;
        }
    }
    // Shortest lists first, each marking only the pages still in; a list of about one byte a page
    // names nearly every page and is not worth reading, nor are the longer ones after it.
    std::sort(lists.begin(), lists.end(),
              [](const BucketList& a, const BucketList& b) { return a.bytes() < b.bytes(); });
    std::vector<quint8> candidates(size_t(count), 0);
    quint8 rounds = 0;
    quint64 left = count;
    for (const BucketList& l : lists) {
        if (rounds == 128 || l.bytes() >= count - count / 16)
            break;
        left = narrow(l, rounds++, candidates);
        if (rounds % 2 == 0 && cancel)
            return std::nullopt;
    }
    // Then the pairs the words need, unless few pages are left to read anyway.
    const uchar* pairBits = m.data() + headsAt + qint64(kSlot * count);
    if (const std::vector<std::pair<int, uchar>> needed = pairsNeeded(words); !needed.empty() && left > count / 32) {
        for (const auto& [byte, bits] : needed) {
            const uchar* column = pairBits + qint64(byte) * qint64(count);
            quint8* mark = candidates.data();
            for (size_t p = 0; p < size_t(count); ++p) // without branches, so that it runs 32 pages a step
                mark[p] = quint8(mark[p] + quint8((mark[p] == rounds) & ((column[p] & bits) == bits)));
            if (++rounds == 255 || cancel)
                break;
        }
        if (cancel)
            return std::nullopt;
    }
    // The candidates' texts.
    std::vector<LikeWord> compiled;
    for (const std::string& w : words)
        compiled.emplace_back(w, &counts);
    std::vector<quint8> hits(size_t(count), 0);
    std::atomic_bool damaged{false};
    auto decide = [&](quint64 first, quint64 last) {
        int headsHelp = 8;     // how well the slots have decided pages lately, 0 to 8
        quint64 ahead = first; // the next candidate, whose text is asked for early
        for (quint64 p = first; p < last; ++p) {
            if (candidates[p] != rounds)
                continue;
            // While texts are read (slots do not decide the pages): the texts of the candidates lie
            // apart, each too short for the processor to notice that it is read straight through, so
            // ask for the start of the next one while this one is read.
            if (headsHelp < 4) {
                ahead = std::max(ahead, p + 1);
                while (ahead < last && candidates[ahead] != rounds)
                    ++ahead;
            }
            if (headsHelp < 4 && ahead < last) {
                const char* next = reinterpret_cast<const char*>(m.data()) + 44 + m.u64(offsetsAt + qint64(8 * ahead));
                for (int line = 0; line < 8; ++line)
                    __builtin_prefetch(next + 64 * line);
            }
            const quint64 from = m.u64(offsetsAt + qint64(8 * p)),
                          to = m.u64(offsetsAt + qint64(8 * (p + 1))) & ~kNullText;
            if (from & kNullText) {
                hits[p] = words.empty(); // a Null text matches no LIKE, but no words list every page
                continue;
            }
            if (to < from || qint64(44 + to) > offsetsAt) {
                damaged = true;
                return;
            }
            const std::string_view page(reinterpret_cast<const char*>(m.data()) + 44 + from, size_t(to - from));
            // A text no longer than a slot holds is read as it is. Of a longer one the slot is read
            // first, and decides the page alone when every word is in it. Where slots seldom decide
            // (rare words) reading them first only adds to what is read: then the texts are read
            // straight away, with a slot tried now and then to notice when they help again.
            const bool viaHead = page.size() > size_t(kHeadBytes) && (headsHelp >= 4 || p % 64 == 0);
            std::string_view head;
            if (viaHead) {
                const char* slot = reinterpret_cast<const char*>(m.data()) + headsAt + qint64(kSlot * p);
                // The slots lie a page apart in memory, too far for the processor to guess: ask ahead.
                __builtin_prefetch(slot + 8 * kSlot);
                __builtin_prefetch(slot + 8 * kSlot + 64);
                head = std::string_view(slot + 2, std::min<size_t>(qFromLittleEndian<quint16>(slot), kHeadBytes));
            }
            bool all = true, headAlone = true;
            for (const LikeWord& w : compiled) {
                if (viaHead && w.in(head))
                    continue;
                headAlone = false;
                if (!w.in(page)) {
                    all = false;
                    break;
                }
            }
            if (viaHead)
                headsHelp = std::clamp(headsHelp + (headAlone ? 1 : -1), 0, 8);
            hits[p] = all;
            if (p % 4096 == 0 && cancel)
                return;
        }
    };
    // Two readers take pieces of the pages in turn, so that neither waits for the other at the end.
    std::atomic<quint64> nextPiece{0};
    auto reader = [&] {
        constexpr quint64 kPiece = 4096;
        for (quint64 at = nextPiece.fetch_add(kPiece); at < count && !damaged && !cancel;
             at = nextPiece.fetch_add(kPiece))
            decide(at, std::min(count, at + kPiece));
    };
    std::thread other(reader);
    reader();
    other.join();
    if (damaged || cancel)
        return std::nullopt;
    const std::shared_ptr<const TitleOrder> order = titleOrder(m, orderAt, foot, count, path, *s);
    if (!order)
        return std::nullopt;
    QVector<FoundPage> pages;
    pages.reserve(qsizetype(std::count(hits.begin(), hits.end(), quint8(1))));
    for (const Listed& l : *order)
        if (hits[l.place])
            pages.push_back({l.no, l.title});
    return pages;
}

} // namespace

std::optional<QVector<FoundPage>> find(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    try {
        return findIn(dbFile, text, cancel);
    } catch (const std::exception&) {
        return std::nullopt; // out of memory for a find: the statement answers
    }
}

std::optional<QVector<FoundPage>> scan(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    ReadConnection db(dbFile, cancel);
    if (!db)
        return std::nullopt;
    const QString condition = findCondition(text);
    sqlite3_stmt* st = db.prepare(condition.isEmpty() ? sql::kFindAll : sql::kFindWhere + condition + sql::kFindOrder);
    if (!st)
        return std::nullopt;
    QVector<FoundPage> pages;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        if (const std::optional<qint32> no = pageOf(st))
            pages.push_back({*no, textOf(st, 1)});
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return pages;
}

} // namespace findindex
} // namespace docdb
