// IndexFile: the find index's file format, shared by the code that builds an index and the code
// that searches it, and the read-only connection both read the database through.
#pragma once

#include "dbengine/DbProvider.h"
#include "dbengine/SqlDialect.h"
#include "dbengine/SqliteProvider.h"
#include "find/FindIndex.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace find::findindex {

constexpr char kMagic[8] = {'D', 'B', 'T', 'X', 'F', 'N', 'D', 'B'};
// SQLite refuses LIKE patterns longer than this (bytes); the index then leaves the answer to it.
constexpr qsizetype kMaxPattern = 50000;

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
//   buckets   u64 per trigram bucket + 1: where its page list starts in the postings (a power of
//             two of buckets, from 2^12 for a few pages to 2^20 for a hundred thousand)
//   postings  per bucket, the places of the pages holding a trigram of that bucket, as growing
//             numbers written as the difference to the one before, 7 bits a byte
//   order     the pages in title order: place, page number, title
//   bytes     how often each byte value occurs in the texts (u64 each), to search by the rarest
//   sums      u64 per 4 KiB block of everything from the texts to this section: the sum of that
//             block, which a find checks the first time it reads the block in a process
// The footer: where each section starts, the page count, where the sums start, the checksum of the
// sums and the footer itself, and the mark. The header's stamp is in no sum: it is written anew in
// place when the program's own write of the tree leaves the texts as they were.
constexpr int kMinBucketBits = 12, kMaxBucketBits = 20;
/// The trigram buckets of an index of that many pages: enough that a bucket names few pages.
inline int bucketBitsFor(qint64 pages) {
    int bits = kMinBucketBits;
    while (bits < kMaxBucketBits && (qint64(1) << bits) < pages * 16)
        ++bits;
    return bits;
}
constexpr quint64 kNullText = quint64(1) << 63;
constexpr int kFooter = 9 * 8 + 8;
// The start of every page's text again, side by side in slots of a length and up to 510 bytes (cut
// at a character's start): a word found there decides the page without reading the rest.
constexpr int kSlot = 512, kHeadBytes = kSlot - 2;
inline quint32 bucketOf(const unsigned char* p, int bits) {
    const quint32 v = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16;
    return (v * 2654435761u) >> (32 - bits);
}

template <typename T> inline void putLe(std::string& out, T v) {
    char b[sizeof(T)];
    qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

// Little-endian fields in the index file.
QByteArray stampBytes(const FileStamp& s);
/// The stamp an index file was built from; nothing when it is no index of ours.
std::optional<FileStamp> stampOf(const uchar* head);

/// A reading SQLite connection whose statements stop when cancelled or past the command time-out.
/// It may not write (query_only). It opens the file for writing where it may, as the window's own
/// connection does, so that whichever of them closes last takes away the write-ahead log files
/// SQLite makes for a database in WAL mode (a read-only connection cannot, and would leave them).
class ReadConnection {
public:
    ReadConnection(const QString& dbFile, const std::atomic_bool& cancel) : m_cancel(cancel) {
        const QByteArray native = QFile::encodeName(QFileInfo(dbFile).absoluteFilePath());
        bool opened = false;
        for (const int mode : {SQLITE_OPEN_READWRITE, SQLITE_OPEN_READONLY}) {
            opened = sqlite3_open_v2(native.constData(), &m_db, mode | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK &&
                     sqlite3_exec(m_db, "PRAGMA query_only = 1", nullptr, nullptr, nullptr) == SQLITE_OK;
            if (opened)
                break;
            sqlite3_close(m_db);
            m_db = nullptr;
        }
        if (!opened)
            return;
        sqlite3_busy_timeout(m_db, dbengine::DbProviders::commandTimeout());
        dbengine::hardenConnection(m_db);
        sqlite3_progress_handler(m_db, 4000, &ReadConnection::onProgress, this);
    }
    ~ReadConnection() { sqlite3_close(m_db); }
    Q_DISABLE_COPY_MOVE(ReadConnection)
    explicit operator bool() const { return m_db != nullptr; }
    /// Prepares a statement; its time-out starts now.
    sqlite3_stmt* prepare(const QString& sql) {
        m_deadline = now() + dbengine::DbProviders::commandTimeout();
        sqlite3_stmt* st = nullptr;
        const QByteArray text = dbengine::SqlDialect::toSqlite(sql).toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return nullptr;
        }
        return st;
    }
    /// Prepares a statement of SQLite's own (no dialect), without a time-out of its own.
    sqlite3_stmt* prepareOwn(const char* sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return nullptr;
        }
        return st;
    }
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }
    /// The time-out starts again: a long read (the index build's) may go on while its rows come,
    /// and stops when none has come for the time-out.
    void restartDeadline() { m_deadline = now() + dbengine::DbProviders::commandTimeout(); }
    /// Whether the last statement was stopped by its time-out.
    bool timedOut() const { return !m_cancel.load() && now() > m_deadline; }

private:
    static qint64 now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    static int onProgress(void* self) {
        const auto* c = static_cast<ReadConnection*>(self);
        return c->m_cancel.load() || now() > c->m_deadline ? 1 : 0;
    }
    sqlite3* m_db = nullptr;
    const std::atomic_bool& m_cancel;
    qint64 m_deadline = 0;
};

/// The page number of column 0, as the find takes it (anything but a whole number is no page).
std::optional<qint32> pageOf(sqlite3_stmt* st);
/// The text of a column (a Null one is a null text).
QString textOf(sqlite3_stmt* st, int col);
/// The blank-separated words of a find text.
QStringList wordsOf(const QString& text);

} // namespace find::findindex
