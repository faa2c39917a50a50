// IndexFile: the database's stamp, where an index lives and the index file's header.
#include "find/IndexFile.h"

#include "util/Vb.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <cstring>

namespace find {

namespace {

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

QString indexPath(const QString& dbFile) {
    const QString full = QFileInfo(dbFile).absoluteFilePath();
    const QByteArray key = QCryptographicHash::hash(full.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/dbtext/find/") +
           QString::fromLatin1(key) + QStringLiteral(".idx");
}

QByteArray stampBytes(const FileStamp& s) {
    QByteArray b(36, '\0');
    qToLittleEndian(s.size, b.data());
    qToLittleEndian(s.timesNs, b.data() + 8);
    qToLittleEndian(s.walSize, b.data() + 16);
    qToLittleEndian(s.walTimesNs, b.data() + 24);
    qToLittleEndian(s.counter, b.data() + 32);
    return b;
}

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

} // namespace findindex
} // namespace find
