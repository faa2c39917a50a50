// FindIndex: builds, checks and searches the find index; runs the find statement off the
// user-interface thread.
#include "docdb/FindIndex.h"

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

#include <chrono>
#include <cstring>
#include <vector>

namespace docdb {

namespace {

constexpr char kMagic[8] = {'D', 'B', 'T', 'X', 'F', 'N', 'D', '2'};
constexpr quint32 kNull = 0xFFFFFFFFu;
// SQLite refuses LIKE patterns longer than this (bytes); the index then leaves the answer to it.
constexpr qsizetype kMaxPattern = 50000;

qint64 modifiedNs(const QFileInfo& fi) {
    return fi.exists() ? fi.lastModified().toMSecsSinceEpoch() * 1000000 : 0;
}

/// Copies SQLite text as LIKE sees it: up to its first NUL, ASCII letters lower-cased.
void foldInto(std::string& out, const unsigned char* text, int bytes) {
    const auto* end = static_cast<const unsigned char*>(std::memchr(text, 0, size_t(bytes)));
    const size_t n = end ? size_t(end - text) : size_t(bytes);
    const size_t at = out.size();
    out.resize(at + n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = text[i];
        out[at + i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
}

std::string fold(const QString& s) {
    const QByteArray u = s.toUtf8();
    std::string out;
    foldInto(out, reinterpret_cast<const unsigned char*>(u.constData()), int(u.size()));
    return out;
}

/// One character as SQLite's LIKE steps over it: a lead byte and its continuation bytes.
size_t charLength(std::string_view s, size_t at) {
    size_t n = 1;
    if (static_cast<unsigned char>(s[at]) >= 0xC0)
        while (at + n < s.size() && (static_cast<unsigned char>(s[at + n]) & 0xC0) == 0x80)
            ++n;
    return n;
}

/// Whether segment (no "%", maybe "_") matches text at `at`; on success `end` is where it ends.
bool matchAt(std::string_view text, size_t at, std::string_view seg, size_t& end) {
    for (size_t i = 0; i < seg.size();) {
        if (at >= text.size())
            return false;
        if (seg[i] == '_') {
            at += charLength(text, at);
            ++i;
        } else {
            const size_t n = charLength(seg, i);
            if (text.compare(at, n, seg.substr(i, n)) != 0)
                return false;
            at += n;
            i += n;
        }
    }
    end = at;
    return true;
}

/// Leftmost match of segment in text from `from`; its end, or npos.
size_t findSegment(std::string_view text, size_t from, std::string_view seg) {
    const size_t wild = seg.find('_');
    if (wild == std::string_view::npos) {
        if (from > text.size())
            return std::string_view::npos;
        const void* hit = memmem(text.data() + from, text.size() - from, seg.data(), seg.size());
        return hit ? size_t(static_cast<const char*>(hit) - text.data()) + seg.size() : std::string_view::npos;
    }
    // With "_": candidates where the literal part before the first "_" occurs, else every character.
    const std::string_view head = seg.substr(0, wild);
    for (size_t at = from; at < text.size() || (at == text.size() && seg.empty());) {
        if (!head.empty()) {
            const void* hit = memmem(text.data() + at, text.size() - at, head.data(), head.size());
            if (!hit)
                return std::string_view::npos;
            at = size_t(static_cast<const char*>(hit) - text.data());
        }
        size_t end = 0;
        if (matchAt(text, at, seg, end))
            return end;
        at += charLength(text, at);
    }
    return std::string_view::npos;
}

// Little-endian fields in the index file.
void put32(std::string& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
quint32 get32(const char* p) {
    return qFromLittleEndian<quint32>(p);
}

QByteArray stampBytes(const FileStamp& s) {
    QByteArray b(36, '\0');
    qToLittleEndian(s.size, b.data());
    qToLittleEndian(s.mtimeNs, b.data() + 8);
    qToLittleEndian(s.walSize, b.data() + 16);
    qToLittleEndian(s.walMtimeNs, b.data() + 24);
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
    s.mtimeNs = modifiedNs(db);
    s.walSize = wal.exists() ? wal.size() : -1;
    s.walMtimeNs = modifiedNs(wal);
    QFile f(dbFile);
    if (f.open(QIODevice::ReadOnly) && f.seek(24)) {
        const QByteArray b = f.read(4);
        if (b.size() == 4)
            s.counter = qFromBigEndian<quint32>(b.constData());
    }
    return s;
}

bool likeContains(std::string_view text, std::string_view word) {
    size_t at = 0;
    size_t start = 0;
    while (start <= word.size()) {
        const size_t pct = word.find('%', start);
        const std::string_view seg = word.substr(start, pct == std::string_view::npos ? word.npos : pct - start);
        if (!seg.empty()) {
            at = findSegment(text, at, seg);
            if (at == std::string_view::npos)
                return false;
        }
        if (pct == std::string_view::npos)
            break;
        start = pct + 1;
    }
    return true;
}

namespace findindex {

QString indexPath(const QString& dbFile) {
    const QString full = QFileInfo(dbFile).absoluteFilePath();
    const QByteArray key = QCryptographicHash::hash(full.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/dbtext/find/") +
           QString::fromLatin1(key) + QStringLiteral(".idx");
}

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
    // The texts in the table's own order, with the row of each page.
    std::string chunk;
    std::vector<qint64> rowids;
    qint64 done = 0;
    out.write(kMagic, 8);
    out.write(stampBytes(before));
    sqlite3_stmt* texts = db.prepare(QStringLiteral("Select rowid, txDoc From msDoc"));
    if (!texts) {
        error = db.error();
        return false;
    }
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(texts)) == SQLITE_ROW) {
        rowids.push_back(sqlite3_column_int64(texts, 0));
        if (sqlite3_column_type(texts, 1) == SQLITE_NULL) {
            put32(chunk, kNull);
        } else {
            const auto* t = sqlite3_column_text(texts, 1);
            const size_t lenAt = chunk.size();
            put32(chunk, 0);
            foldInto(chunk, t, sqlite3_column_bytes(texts, 1));
            qToLittleEndian(quint32(chunk.size() - lenAt - 4), chunk.data() + lenAt);
        }
        if (chunk.size() > (8 << 20)) {
            out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
        if (++done % 1024 == 0 && progress)
            progress(done, total);
    }
    sqlite3_finalize(texts);
    if (rc != SQLITE_DONE) {
        error = cancel ? QStringLiteral("cancelled") : db.error();
        return false;
    }
    put32(chunk, kNull - 1); // end of the texts
    // The pages in the order the find lists them, each with its text's place.
    QHash<qint64, quint32> placeOf;
    placeOf.reserve(qsizetype(rowids.size()));
    for (size_t i = 0; i < rowids.size(); ++i)
        placeOf.insert(rowids[i], quint32(i));
    sqlite3_stmt* order = db.prepare(QStringLiteral("Select noDoc, szDoc, rowid From msDoc Order By szDoc"));
    if (!order) {
        error = db.error();
        return false;
    }
    std::string listed;
    quint32 listedCount = 0;
    while ((rc = sqlite3_step(order)) == SQLITE_ROW) {
        const std::optional<qint32> no = pageOf(order);
        if (!no)
            continue; // the find lists only real page numbers
        const auto place = placeOf.constFind(sqlite3_column_int64(order, 2));
        if (place == placeOf.cend()) {
            error = QStringLiteral("the pages changed while they were read");
            return false;
        }
        const QByteArray title = textOf(order, 1).toUtf8();
        put32(listed, *place);
        put32(listed, quint32(*no));
        put32(listed, quint32(title.size()));
        listed.append(title.constData(), size_t(title.size()));
        ++listedCount;
    }
    sqlite3_finalize(order);
    const FileStamp after = FileStamp::of(dbFile);
    db.exec("COMMIT");
    if (rc != SQLITE_DONE) {
        error = cancel ? QStringLiteral("cancelled") : db.error();
        return false;
    }
    put32(chunk, listedCount);
    chunk += listed;
    put32(chunk, quint32(rowids.size()));
    out.write(chunk.data(), qint64(chunk.size()));
    // An index of a database that changed while it was read would answer for neither state.
    if (cancel || after != before) {
        out.cancelWriting();
        error = cancel ? QStringLiteral("cancelled") : QStringLiteral("the database changed while it was indexed");
        return false;
    }
    if (progress)
        progress(total, total);
    return out.commit();
}

namespace {
/// The stamp an index file was built from; nothing when it is no index of ours.
std::optional<FileStamp> stampOf(QFile& f) {
    const QByteArray head = f.read(8 + 36);
    if (head.size() != 44 || std::memcmp(head.constData(), kMagic, 8) != 0)
        return std::nullopt;
    const char* p = head.constData() + 8;
    FileStamp s;
    s.size = qFromLittleEndian<qint64>(p);
    s.mtimeNs = qFromLittleEndian<qint64>(p + 8);
    s.walSize = qFromLittleEndian<qint64>(p + 16);
    s.walMtimeNs = qFromLittleEndian<qint64>(p + 24);
    s.counter = qFromLittleEndian<quint32>(p + 32);
    return s;
}
} // namespace

bool isCurrent(const QString& dbFile) {
    QFile f(indexPath(dbFile));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const std::optional<FileStamp> s = stampOf(f);
    return s && *s == FileStamp::of(dbFile) && s->size >= 0;
}

std::optional<QVector<FoundPage>> find(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    QFile f(indexPath(dbFile));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<FileStamp> s = stampOf(f);
    if (!s || *s != FileStamp::of(dbFile) || s->size < 0)
        return std::nullopt; // a stale index never answers
    std::vector<std::string> words;
    for (const QString& w : wordsOf(text)) {
        if (w.toUtf8().size() + 2 > kMaxPattern)
            return std::nullopt; // SQLite refuses such a pattern: let the statement say so
        words.push_back(fold(w));
    }
    // Texts: read in large pieces; a page's text is tested in place.
    std::vector<bool> hits;
    QByteArray buf;
    qsizetype at = 0;
    auto need = [&](qsizetype n) {
        if (buf.size() - at >= n)
            return true;
        buf = buf.mid(at) + f.read(std::max<qint64>(n, 16 << 20));
        at = 0;
        return buf.size() >= n;
    };
    for (;;) {
        if (!need(4))
            return std::nullopt;
        const quint32 len = get32(buf.constData() + at);
        at += 4;
        if (len == kNull - 1)
            break;
        if (len == kNull) {
            hits.push_back(words.empty()); // a Null text matches no LIKE, but no words list every page
            continue;
        }
        if (!need(len))
            return std::nullopt;
        const std::string_view page(buf.constData() + at, len);
        at += len;
        bool all = true;
        for (const std::string& w : words)
            if (!likeContains(page, w)) {
                all = false;
                break;
            }
        hits.push_back(all);
        if (hits.size() % 4096 == 0 && cancel)
            return std::nullopt;
    }
    if (!need(4))
        return std::nullopt;
    const quint32 listed = get32(buf.constData() + at);
    at += 4;
    QVector<FoundPage> pages;
    for (quint32 i = 0; i < listed; ++i) {
        if (!need(12))
            return std::nullopt;
        const quint32 place = get32(buf.constData() + at), no = get32(buf.constData() + at + 4),
                      titleLen = get32(buf.constData() + at + 8);
        at += 12;
        if (!need(titleLen) || place >= hits.size())
            return std::nullopt;
        if (hits[place])
            pages.push_back({qint32(no), QString::fromUtf8(buf.constData() + at, titleLen)});
        at += titleLen;
    }
    if (!need(4) || get32(buf.constData() + at) != hits.size())
        return std::nullopt; // a cut or damaged index file
    return pages;
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
