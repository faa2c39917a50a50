// SqliteProvider: the SQLite C API behind IDbConnection, and the provider dispatch.
#include "dbengine/SqliteProvider.h"

#include "dbengine/ConnectionString.h"
#include "dbengine/PostgresProvider.h"
#include "dbengine/SqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>

Q_LOGGING_CATEGORY(lcDbengine, "dbtext.dbengine", QtWarningMsg)

namespace dbengine {

namespace {

std::atomic<int> g_commandTimeoutMs{30000}; // the 30-second command time-out of the session

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    sqlite3_busy_timeout(db, g_commandTimeoutMs.load());
    sqlite3_extended_result_codes(db, 1);
    std::unique_ptr<SqliteConnection> conn(new SqliteConnection(db, providerName));
    conn->m_file = fi.absoluteFilePath();
    // Reading the schema proves the file is a readable database.
    DbRows rows;
    if (!conn->query(QStringLiteral("SELECT count(*) FROM sqlite_master"), rows, error))
        return nullptr;
    if (!conn->checkTables(error))
        return nullptr;
    return conn;
}

SqliteConnection::SqliteConnection(sqlite3* db, QString provider) : m_db(db), m_provider(std::move(provider)) {
    hardenConnection(m_db);
    // Every few thousand virtual-machine steps SQLite asks whether the statement may go on.
    sqlite3_progress_handler(m_db, 4000, &SqliteConnection::onProgress, this);
}

void hardenConnection(sqlite3* db) {
    // A database file is a document from anywhere: its triggers never run with our one write (a
    // title and its date need none), the schema's functions are not trusted, and the statements
    // that could damage a file on purpose are refused.
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

int SqliteConnection::onProgress(void* self) {
    const auto* c = static_cast<SqliteConnection*>(self);
    return c->m_deadline != 0 && steadyMs() > c->m_deadline ? 1 : 0;
}

bool SqliteConnection::checkTables(QString& error) {
    // A cheap look at the document tables: the first and the last rows of each, which reads the
    // root and the outermost pages of its tree. A file that SQLite reports as damaged there is
    // refused at open rather than showing an empty tree; a full integrity check of a large file
    // would take minutes. Only real tables are probed (a view is for the reads to judge), and the
    // probes run under the command time-out like every statement.
    DbRows tables;
    if (!query(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND lower(name) IN "
                              "('tbtree', 'msdoc', 'msdxml', 'kausr')"),
               tables, error))
        return false;
    QStringList names;
    for (const QVariantList& row : tables.rows)
        names << row.value(0).toString().toLower();
    static const char* const probes[][2] = {
        {"tbtree", "SELECT * FROM tbTree LIMIT 1"}, {"tbtree", "SELECT * FROM tbTree ORDER BY rowid DESC LIMIT 1"},
        {"msdoc", "SELECT * FROM msDoc LIMIT 1"},   {"msdoc", "SELECT * FROM msDoc ORDER BY rowid DESC LIMIT 1"},
        {"msdxml", "SELECT * FROM msDxml LIMIT 1"}, {"kausr", "SELECT * FROM kaUsr LIMIT 1"},
    };
    for (const auto& probe : probes) {
        if (!names.contains(QLatin1String(probe[0])))
            continue;
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(m_db, probe[1], -1, &st, nullptr);
        if (rc == SQLITE_OK && st) {
            m_deadline = steadyMs() + g_commandTimeoutMs.load();
            rc = sqlite3_step(st);
            m_deadline = 0;
        }
        sqlite3_finalize(st);
        const int primary = rc & 0xFF;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
            error = QStringLiteral("the database is damaged: %1").arg(QString::fromUtf8(sqlite3_errstr(rc)));
            return false;
        }
    }
    return true;
}

void SqliteConnection::interrupt() {
    sqlite3_interrupt(m_db);
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
    if (text.contains('\0')) { // SQLite would read the statement only up to it
        error = QStringLiteral("the statement holds a NUL character");
        return nullptr;
    }
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

bool SqliteConnection::run(sqlite3_stmt* st, DbRows* out, QString& error, qint64 maxRows) {
    const int cols = sqlite3_column_count(st);
    if (out)
        for (int c = 0; c < cols; ++c)
            out->columns << QString::fromUtf8(sqlite3_column_name(st, c));
    m_deadline = steadyMs() + g_commandTimeoutMs.load();
    qint64 bytes = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (!out)
            continue;
        QVariantList row;
        row.reserve(cols);
        bytes += 64; // the row's own list, as Qt and the allocator keep it
        for (int c = 0; c < cols; ++c) {
            row << columnValue(st, c);
            bytes += 80 + 2 * qint64(sqlite3_column_bytes(st, c)); // the value, its text as UTF-16
        }
        out->rows.push_back(std::move(row));
        if (maxRows >= 0 && qint64(out->rows.size()) >= maxRows) {
            rc = SQLITE_DONE; // as many rows as asked for
            break;
        }
        if (bytes > kMaxResultBytes) {
            rc = SQLITE_TOOBIG;
            break;
        }
        if (steadyMs() > m_deadline) { // rows come fast while the steps between them are few
            rc = SQLITE_INTERRUPT;
            break;
        }
    }
    m_deadline = 0;
    if (rc == SQLITE_DONE)
        return true;
    if (rc == SQLITE_INTERRUPT)
        error = QStringLiteral("the statement ran past the command time-out (%1 ms)").arg(g_commandTimeoutMs.load());
    else if (rc == SQLITE_TOOBIG)
        error = QStringLiteral("the result is larger than %1 bytes").arg(kMaxResultBytes);
    else
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (out)
        *out = DbRows();
    return false;
}

bool SqliteConnection::query(const QString& sql, DbRows& out, QString& error, qint64 maxRows) {
    out = DbRows();
    sqlite3_stmt* st = prepare(sql, error);
    if (!st)
        return false;
    const bool ok = run(st, &out, error, maxRows);
    sqlite3_finalize(st);
    return ok;
}

bool SqliteConnection::execute(const QString& sql, qint32& affected, QString& error) {
    sqlite3_stmt* st = prepare(sql, error);
    if (!st)
        return false;
    // sqlite3_changes keeps the count of the last statement that changed rows; a statement that
    // changes none must report 0, not that earlier count.
    const sqlite3_int64 before = sqlite3_total_changes64(m_db);
    const bool ok = run(st, nullptr, error);
    sqlite3_finalize(st);
    if (!ok)
        return false;
    affected = sqlite3_total_changes64(m_db) == before ? 0 : qint32(sqlite3_changes(m_db));
    return true;
}

namespace {

WriteFailure failureOf(int code) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return WriteFailure::Locked;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN: // no journal beside the file: its folder cannot be written
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return WriteFailure::ReadOnly;
    case SQLITE_FULL:
        return WriteFailure::Full;
    case SQLITE_CONSTRAINT:
        return WriteFailure::Refused;
    default:
        return WriteFailure::Other;
    }
}

} // namespace

bool SqliteConnection::executeAll(const QStringList& statements, int lockWaitMs, WriteOutcome& out) {
    out = WriteOutcome();
    // The lock is taken at the start (another writer is waited for a short time only, not for the
    // command time-out), so that a busy file fails before anything is written.
    sqlite3_busy_timeout(m_db, std::max(0, lockWaitMs));
    auto fail = [&](const QString& error) {
        out.failure = failureOf(sqlite3_extended_errcode(m_db));
        out.error = error;
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(m_db, g_commandTimeoutMs.load());
        return false;
    };
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    // What other connections committed shows in data_version, which our own commits leave as it is.
    auto dataVersion = [this] {
        qint64 v = -1;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    const qint64 versionBefore = m_watch.afterCommit ? dataVersion() : -1;
    if (m_watch.beforeWrite)
        m_watch.beforeWrite(statements);
    for (const QString& statement : statements) {
        // A conflict clause of the file's own (UNIQUE … ON CONFLICT REPLACE) would delete other rows
        // with the update: the statement's own clause comes first, and refuses instead.
        QString sql = statement;
        static const QRegularExpression update(QStringLiteral("^\\s*Update\\s"),
                                               QRegularExpression::CaseInsensitiveOption);
        if (const QRegularExpressionMatch m = update.match(sql); m.hasMatch())
            sql.insert(m.capturedEnd() - 1, QStringLiteral(" Or Abort"));
        QString error;
        sqlite3_stmt* st = prepare(sql, error);
        if (!st)
            return fail(error);
        const sqlite3_int64 before = sqlite3_total_changes64(m_db);
        const bool ok = run(st, nullptr, error);
        sqlite3_finalize(st);
        if (!ok)
            return fail(error);
        out.affected << (sqlite3_total_changes64(m_db) == before ? 0 : qint32(sqlite3_changes(m_db)));
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    if (m_watch.afterCommit) {
        // The lock again, for the watch to look at the file as this commit left it; a writer that
        // came in between shows in data_version.
        if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
            const qint64 versionAfter = dataVersion();
            m_watch.afterCommit(versionBefore >= 0 && versionAfter == versionBefore);
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            m_watch.afterCommit(false);
        }
    }
    sqlite3_busy_timeout(m_db, g_commandTimeoutMs.load());
    return true;
}

std::unique_ptr<SqliteConnection> SqliteConnection::create(const QString& path, QString& error) {
    const QFileInfo fi(path);
    if (fi.exists())
        return open(path, QStringLiteral("Microsoft.Jet.OLEDB.4.0"), error);
    sqlite3* db = nullptr;
    const QByteArray native = QFile::encodeName(fi.absoluteFilePath());
    const int rc = sqlite3_open_v2(native.constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteConnection> conn(new SqliteConnection(db, QStringLiteral("Microsoft.Jet.OLEDB.4.0")));
    conn->m_file = fi.absoluteFilePath();
    return conn;
}

namespace {

QString quotedName(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

} // namespace

bool SqliteConnection::queryEach(const QString& sql, const RowSink& sink, QString& error) {
    sqlite3_stmt* st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK || !st) {
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return false;
    }
    const int cols = sqlite3_column_count(st);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList row;
        row.reserve(cols);
        for (int c = 0; c < cols; ++c)
            row << columnValue(st, c);
        if (!sink(row)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    if (rc != SQLITE_DONE)
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool SqliteConnection::tables(QStringList& names, QString& error) {
    names.clear();
    return queryEach(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                       "ESCAPE '\\' ORDER BY name"),
        [&](const QVariantList& row) {
            names << row.value(0).toString();
            return true;
        },
        error);
}

bool SqliteConnection::columns(const QString& table, QList<DbColumn>& out, QString& error) {
    out.clear();
    return queryEach(
        QStringLiteral("SELECT name, upper(type), \"notnull\", dflt_value, pk FROM pragma_table_info(%1)")
            .arg(QLatin1Char('\'') + QString(table).replace(QLatin1Char('\''), QLatin1String("''")) +
                 QLatin1Char('\'')),
        [&](const QVariantList& row) {
            // The column's kind as SQLite reads its declared type.
            const QString t = row.value(1).toString();
            DbColumn c{row.value(0).toString(), DbColumn::Text};
            if (t.contains(QLatin1String("INT")))
                c.kind = DbColumn::Integer;
            else if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
                c.kind = DbColumn::Date;
            else if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
                     t.contains(QLatin1String("TEXT")))
                c.kind = DbColumn::Text;
            else if (t.isEmpty() || t.contains(QLatin1String("BLOB")))
                c.kind = DbColumn::Binary;
            else if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
                     t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM")) ||
                     t.contains(QLatin1String("DEC")))
                c.kind = DbColumn::Real;
            c.notNull = row.value(2).toInt() != 0;
            c.defaultValue = DbColumn::portableDefault(row.value(3).toString());
            c.keyPart = row.value(4).toInt();
            out << c;
            return true;
        },
        error);
}

bool SqliteConnection::createTable(const QString& table, const QList<DbColumn>& columns, QString& error) {
    // A key of one whole-number column is the table's own row number (INTEGER PRIMARY KEY), which
    // keeps rows in key order on disk.
    const qsizetype keyColumns =
        std::count_if(columns.begin(), columns.end(), [](const DbColumn& c) { return c.keyPart; });
    QStringList defs;
    bool rowKey = false;
    for (const DbColumn& c : columns) {
        static const char* const types[] = {"INTEGER", "REAL", "TEXT", "BLOB", "DATETIME"};
        QString def = quotedName(c.name) + QLatin1Char(' ') + QLatin1String(types[c.kind]);
        DbColumn plain = c;
        if (c.kind == DbColumn::Integer && keyColumns == 1 && c.keyPart == 1) {
            def += QStringLiteral(" PRIMARY KEY");
            rowKey = true;
            plain.notNull = false; // a row number is never Null; SQLite reads the column as nullable
        }
        defs << def + plain.constraints();
    }
    const QString key = rowKey ? QString() : DbColumn::primaryKey(columns, quotedName);
    qint32 n = 0;
    return execute(
        QStringLiteral("CREATE TABLE %1 (%2%3)").arg(quotedName(table), defs.join(QStringLiteral(", ")), key), n,
        error);
}

bool SqliteConnection::insertRows(const QString& table, const QList<DbColumn>& columns,
                                  const std::vector<QVariantList>& rows, QString& error) {
    QStringList names, marks;
    for (const DbColumn& c : columns) {
        names << quotedName(c.name);
        marks << QStringLiteral("?");
    }
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quotedName(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))
            .toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        return false;
    }
    for (const QVariantList& row : rows) {
        sqlite3_reset(st);
        for (int c = 0; c < columns.size(); ++c) {
            const QVariant v = row.value(c);
            const int at = c + 1;
            if (!v.isValid() || v.isNull()) {
                sqlite3_bind_null(st, at);
            } else if (v.metaType().id() == QMetaType::QByteArray) {
                const QByteArray b = v.toByteArray();
                sqlite3_bind_blob64(st, at, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            } else if (v.metaType().id() == QMetaType::QDateTime) {
                const QByteArray t = SqlDialect::storedDate(v.toDateTime()).toUtf8();
                sqlite3_bind_text64(st, at, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            } else if (v.metaType().id() == QMetaType::Int || v.metaType().id() == QMetaType::LongLong) {
                sqlite3_bind_int64(st, at, v.toLongLong());
            } else if (v.metaType().id() == QMetaType::Double) {
                sqlite3_bind_double(st, at, v.toDouble());
            } else {
                const QByteArray t = v.toString().toUtf8();
                sqlite3_bind_text64(st, at, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            }
        }
        if (sqlite3_step(st) != SQLITE_DONE) {
            error = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_finalize(st);
            return false;
        }
    }
    sqlite3_finalize(st);
    return true;
}

bool SqliteConnection::createIndexes(QString& error) {
    qint32 n = 0;
    return execute(QStringLiteral("CREATE INDEX IF NOT EXISTS tbTree_child ON tbTree (noLfC)"), n, error) &&
           execute(QStringLiteral("CREATE INDEX IF NOT EXISTS tbTree_order ON tbTree (noLfP, inSrt)"), n, error);
}

QString DbColumn::portableDefault(const QString& sqlDefault) {
    static const QRegularExpression literal(
        QStringLiteral("^\\(?\\s*(-?\\d+(?:\\.\\d+)?|'(?:[^']|'')*')\\s*\\)?(?:::[\\w ]+)?$"));
    const auto m = literal.match(sqlDefault.trimmed());
    return m.hasMatch() ? m.captured(1) : QString();
}

QString DbColumn::constraints() const {
    QString out;
    if (notNull)
        out += QStringLiteral(" NOT NULL");
    if (!defaultValue.isEmpty())
        out += QStringLiteral(" DEFAULT ") + defaultValue;
    return out;
}

QString DbColumn::primaryKey(const QList<DbColumn>& columns, const std::function<QString(const QString&)>& quote) {
    QList<DbColumn> key;
    for (const DbColumn& c : columns)
        if (c.keyPart > 0)
            key << c;
    if (key.isEmpty())
        return {};
    std::sort(key.begin(), key.end(), [](const DbColumn& a, const DbColumn& b) { return a.keyPart < b.keyPart; });
    QStringList names;
    for (const DbColumn& c : key)
        names << quote(c.name);
    return QStringLiteral(", PRIMARY KEY (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

void DbProviders::setCommandTimeout(int milliseconds) {
    g_commandTimeoutMs = std::max(1, milliseconds);
}

int DbProviders::commandTimeout() {
    return g_commandTimeoutMs.load();
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
    if (provider.contains(QStringLiteral("postgresql"), Qt::CaseInsensitive) ||
        provider.contains(QStringLiteral("pgnp"), Qt::CaseInsensitive)) {
        PgTarget target;
        if (!PgTarget::fromKeys(keys, target, error))
            return nullptr;
        auto conn = PgConnection::open(target, provider, error);
        if (!conn)
            qCDebug(lcDbengine) << "open failed:" << target.host << target.port << target.database << error;
        return conn;
    }
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
        qCDebug(lcDbengine) << "open failed:" << error;
    return conn;
}

} // namespace dbengine
