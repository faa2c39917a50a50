// SqliteProvider: the SQLite C API behind IDbConnection, and the provider dispatch.
#include "platform/SqliteProvider.h"

#include "platform/ConnectionString.h"
#include "platform/SqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <sqlite3.h>

Q_LOGGING_CATEGORY(lcPlatformDb, "dbtext.platform.db", QtWarningMsg)

namespace platform {

namespace {

constexpr int kCommandTimeoutMs = 30000; // the 30-second command time-out of the session

quint32 readBigEndian32(const QByteArray& b, int at) {
    return (quint32(quint8(b[at])) << 24) | (quint32(quint8(b[at + 1])) << 16) | (quint32(quint8(b[at + 2])) << 8) |
           quint32(quint8(b[at + 3]));
}

// Checks the file's header before SQLite sees it, so that a damaged or foreign file is refused
// at open time rather than on the first read, and an empty file is not taken for an empty database.
bool checkHeader(const QString& path, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    const qint64 size = f.size();
    const QByteArray head = f.read(100);
    if (size == 0) {
        error = QStringLiteral("%1 is empty").arg(path);
        return false;
    }
    if (head.size() < 100 || !head.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        error = QStringLiteral("%1 is not a database file of a known format").arg(path);
        return false;
    }
    quint32 pageSize = (quint32(quint8(head[16])) << 8) | quint32(quint8(head[17]));
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 changeCounter = readBigEndian32(head, 24);
    const quint32 pageCount = readBigEndian32(head, 28);
    const quint32 validFor = readBigEndian32(head, 92);
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
        error = QStringLiteral("%1 has a damaged header").arg(path);
        return false;
    }
    if (pageCount > 0 && validFor == changeCounter && quint64(size) < quint64(pageSize) * pageCount) {
        error = QStringLiteral("%1 is shorter than its header says (truncated)").arg(path);
        return false;
    }
    return true;
}

QVariant columnValue(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_column_int64(st, col);
        if (v >= INT32_MIN && v <= INT32_MAX)
            return QVariant(int(v));
        return QVariant(qlonglong(v));
    }
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, col));
    case SQLITE_TEXT: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        const QString text = QString::fromUtf8(p, sqlite3_column_bytes(st, col));
        // Dates are stored as text; a column declared as a date reads back as a date.
        if (const char* decl = sqlite3_column_decltype(st, col)) {
            const QByteArray d = QByteArray(decl).toLower();
            if (d.contains("date") || d.contains("time")) {
                const QDateTime t = SqlDialect::parseStoredDate(text);
                if (t.isValid())
                    return QVariant(t);
            }
        }
        return QVariant(text);
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, col));
        return QVariant(QByteArray(p, sqlite3_column_bytes(st, col)));
    }
    default:
        return QVariant();
    }
}

} // namespace

std::unique_ptr<SqliteConnection> SqliteConnection::open(const QString& path, const QString& providerName,
                                                         QString& error) {
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.exists() || !fi.isFile()) {
        error = QStringLiteral("%1 is not a file").arg(path);
        return nullptr;
    }
    if (!checkHeader(path, error))
        return nullptr;
    sqlite3* db = nullptr;
    const QByteArray native = QFile::encodeName(fi.absoluteFilePath());
    const int rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kCommandTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    std::unique_ptr<SqliteConnection> conn(new SqliteConnection(db, providerName));
    // Reading the schema proves the file is a readable database.
    DbRows rows;
    if (!conn->query(QStringLiteral("SELECT count(*) FROM sqlite_master"), rows, error))
        return nullptr;
    return conn;
}

bool SqliteConnection::isReadOnly() const {
    return sqlite3_db_readonly(m_db, "main") == 1;
}

SqliteConnection::~SqliteConnection() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

sqlite3_stmt* SqliteConnection::prepare(const QString& sql, QString& error) {
    const QByteArray text = SqlDialect::toSqlite(sql).toUtf8();
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, &tail) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return nullptr;
    }
    if (!st) {
        error = QStringLiteral("empty statement");
        return nullptr;
    }
    // One statement per call: anything after it (a second statement) is refused.
    if (tail && !QByteArray(tail).trimmed().isEmpty() && QByteArray(tail).trimmed() != ";") {
        error = QStringLiteral("more than one statement");
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

bool SqliteConnection::query(const QString& sql, DbRows& out, QString& error) {
    out = DbRows();
    sqlite3_stmt* st = prepare(sql, error);
    if (!st)
        return false;
    const int cols = sqlite3_column_count(st);
    for (int c = 0; c < cols; ++c)
        out.columns << QString::fromUtf8(sqlite3_column_name(st, c));
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList row;
        row.reserve(cols);
        for (int c = 0; c < cols; ++c)
            row << columnValue(st, c);
        out.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        out = DbRows();
        return false;
    }
    sqlite3_finalize(st);
    return true;
}

bool SqliteConnection::execute(const QString& sql, qint32& affected, QString& error) {
    sqlite3_stmt* st = prepare(sql, error);
    if (!st)
        return false;
    // sqlite3_changes keeps the count of the last statement that changed rows; a statement that
    // changes none must report 0, not that earlier count.
    const sqlite3_int64 before = sqlite3_total_changes64(m_db);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return false;
    }
    sqlite3_finalize(st);
    affected = sqlite3_total_changes64(m_db) == before ? 0 : qint32(sqlite3_changes(m_db));
    return true;
}

std::unique_ptr<IDbConnection> DbProviders::open(const QString& connectionString, QString& error) {
    QMap<QString, QString> keys = ConnectionString::parse(connectionString);
    if (keys.contains(QStringLiteral("file name"))) {
        const QString udl = keys.value(QStringLiteral("file name"));
        QFile f(udl);
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read the data link %1").arg(udl);
            return nullptr;
        }
        const QString init = ConnectionString::udlInitString(f.readAll());
        if (init.isEmpty()) {
            error = QStringLiteral("the data link %1 holds no connection string").arg(udl);
            return nullptr;
        }
        keys = ConnectionString::parse(init);
        if (keys.contains(QStringLiteral("file name"))) {
            error = QStringLiteral("the data link %1 names another data link").arg(udl);
            return nullptr;
        }
    }
    const QString provider = keys.value(QStringLiteral("provider"));
    const QString source = keys.value(QStringLiteral("data source"));
    const bool jet = provider.contains(QStringLiteral("jet"), Qt::CaseInsensitive);
    const bool sqlite = provider.compare(QStringLiteral("sqlite"), Qt::CaseInsensitive) == 0;
    if (!jet && !sqlite) {
        error = provider.isEmpty() ? QStringLiteral("no provider named")
                                   : QStringLiteral("provider %1 is not available").arg(provider);
        return nullptr;
    }
    if (source.isEmpty()) {
        error = QStringLiteral("no data source named");
        return nullptr;
    }
    auto conn = SqliteConnection::open(source, jet ? provider : QStringLiteral("SQLite"), error);
    if (!conn)
        qCDebug(lcPlatformDb) << "open failed:" << error;
    return conn;
}

} // namespace platform
