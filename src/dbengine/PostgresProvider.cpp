// PostgresProvider: libpq behind IDbConnection.
#include "dbengine/PostgresProvider.h"

#include "dbengine/PgValues.h"
#include "dbengine/SqlDialect.h"

#include <QDate>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScopeGuard>

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

Q_DECLARE_LOGGING_CATEGORY(lcDbengine)

namespace dbengine {

using pgvalues::appendCopyValue;
using pgvalues::readableInBinary;
using pgvalues::valueOf;

namespace {

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How much longer than the command time-out the program waits for a server that does not answer
// at all (stopped, or cut off by the network) before it asks the statement to stop, and again
// before it gives the connection up: half the time-out, from half a second to three seconds.
qint64 graceMs() {
    return std::clamp<qint64>(DbProviders::commandTimeout() / 2, 500, 3000);
}

/// The server's message without the parts that could name the connection.
QString messageOf(const PGconn* conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

QString quotedName(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n.toLower() + QLatin1Char('"');
}

} // namespace

bool PgTarget::fromKeys(const QMap<QString, QString>& keys, PgTarget& out, QString& error) {
    out = PgTarget();
    QString host = keys.value(QStringLiteral("data source")).trimmed();
    // HOST:PORT, [IPv6]:PORT, or a socket folder (which may itself hold ":").
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close > 0) {
            const QString rest = host.mid(close + 1);
            if (rest.startsWith(QLatin1Char(':')))
                out.port = rest.mid(1).toInt();
            host = host.mid(1, close - 1);
        }
    } else if (!host.startsWith(QLatin1Char('/'))) {
        const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && host.indexOf(QLatin1Char(':')) == colon) {
            bool ok = false;
            const int port = host.mid(colon + 1).toInt(&ok);
            if (!ok) {
                error = QStringLiteral("the server address %1 has no valid port").arg(host);
                return false;
            }
            out.port = port;
            host.truncate(colon);
        }
    }
    if (keys.contains(QStringLiteral("port"))) {
        bool ok = false;
        out.port = keys.value(QStringLiteral("port")).trimmed().toInt(&ok);
        if (!ok) {
            error = QStringLiteral("the port %1 is no number").arg(keys.value(QStringLiteral("port")));
            return false;
        }
    }
    if (out.port <= 0 || out.port > 65535) {
        error = QStringLiteral("the port %1 is out of range").arg(out.port);
        return false;
    }
    out.host = host;
    out.database = keys.value(QStringLiteral("initial catalog"), keys.value(QStringLiteral("location"))).trimmed();
    out.user = keys.value(QStringLiteral("user id")).trimmed();
    out.password = keys.value(QStringLiteral("password"));
    out.sslMode = keys.value(QStringLiteral("ssl mode"), keys.value(QStringLiteral("sslmode"))).trimmed().toLower();
    static const QStringList modes = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                      QStringLiteral("prefer"),    QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    if (!out.sslMode.isEmpty() && !modes.contains(out.sslMode)) {
        error = QStringLiteral("the SSL mode %1 is none of %2").arg(out.sslMode, modes.join(QStringLiteral(", ")));
        return false;
    }
    if (out.host.isEmpty()) {
        error = QStringLiteral("no server named (Data Source)");
        return false;
    }
    if (out.database.isEmpty()) {
        error = QStringLiteral("no database named (Initial Catalog)");
        return false;
    }
    return true;
}

std::unique_ptr<PgConnection> PgConnection::open(const PgTarget& target, const QString& providerName, QString& error) {
    const QByteArray host = target.host.toUtf8(), port = QByteArray::number(target.port), db = target.database.toUtf8(),
                     user = target.user.toUtf8(), pw = target.password.toUtf8(),
                     ssl = target.sslMode.isEmpty() ? QByteArrayLiteral("prefer") : target.sslMode.toUtf8();
    std::vector<const char*> keys = {
        "host", "port", "dbname", "password", "connect_timeout", "sslmode", "client_encoding", "application_name"};
    std::vector<const char*> values = {host.constData(), port.constData(), db.constData(), pw.constData(), "10",
                                       ssl.constData(),  "UTF8",           "dbtext"};
    if (!target.user.isEmpty()) { // else the system user's name, as libpq takes it
        keys.push_back("user");
        values.push_back(user.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        error = conn ? messageOf(conn) : QStringLiteral("out of memory");
        PQfinish(conn);
        return nullptr;
    }
    std::unique_ptr<PgConnection> c(new PgConnection(conn, target, providerName));
    // Text comes as UTF-8 from a database that stores it as such; others would change Japanese text.
    DbRows rows;
    if (!c->query(QStringLiteral("SELECT pg_encoding_to_char(encoding) FROM pg_database "
                                 "WHERE datname = current_database()"),
                  rows, error))
        return nullptr;
    if (rows.rows.empty() || rows.rows.front().value(0).toString() != QLatin1String("UTF8")) {
        error = QStringLiteral("the server database does not store text as UTF-8");
        return nullptr;
    }
    if (!c->executeRaw(QStringLiteral("SET standard_conforming_strings = on"), error))
        return nullptr;
    // Read-only when the session cannot write or this user may not change the titles and dates of
    // the page tree (all the program writes): renaming is then offered nowhere.
    if (!c->query(QStringLiteral("SELECT current_setting('transaction_read_only') = 'on' OR NOT coalesce((SELECT "
                                 "bool_and(has_column_privilege(a.attrelid, a.attnum, 'UPDATE')) FROM pg_attribute a "
                                 "WHERE a.attrelid = to_regclass('tbtree') AND a.attname IN ('szdoc', 'dyudt') AND "
                                 "NOT a.attisdropped), false)"),
                  rows, error))
        return nullptr;
    c->m_readOnly = !rows.rows.empty() && rows.rows.front().value(0).toInt() != 0;
    return c;
}

PgConnection::PgConnection(pg_conn* conn, PgTarget target, QString provider)
    : m_conn(conn), m_socket(PQsocket(conn)), m_cancel(std::make_shared<CancelRequest>(PQgetCancel(conn))),
      m_target(std::move(target)), m_provider(std::move(provider)) {}

PgConnection::~PgConnection() {
    PQfinish(m_conn);
}

PgConnection::CancelRequest::~CancelRequest() {
    PQfreeCancel(cancel);
}

void PgConnection::interrupt() {
    m_interrupted = true;
    sendCancel();
}

void PgConnection::cut() {
    m_cut = true;
    const std::lock_guard lock(m_cancelLock);
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR); // the waiting poll wakes, and libpq finds the connection closed
}

void PgConnection::setSocket(int fd) {
    const std::lock_guard lock(m_cancelLock);
    m_socket = fd;
}

bool PgConnection::reconnect(QString& error) {
    setSocket(-1);
    const qint64 deadline = steadyMs() + 10000; // as the first sign-in's connect_timeout
    PostgresPollingStatusType st = PQresetStart(m_conn) ? PGRES_POLLING_WRITING : PGRES_POLLING_FAILED;
    while (st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
        if (m_cut || steadyMs() > deadline) {
            error = m_cut ? QStringLiteral("connecting again was stopped")
                          : QStringLiteral("the server did not answer within 10 s");
            return false;
        }
        pollfd p{PQsocket(m_conn), short(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (::poll(&p, 1, 100) > 0) // a cut is seen within a tenth of a second
            st = PQresetPoll(m_conn);
    }
    if (st != PGRES_POLLING_OK || PQstatus(m_conn) != CONNECTION_OK) {
        error = QStringLiteral("the connection to the server is lost: %1").arg(messageOf(m_conn));
        return false;
    }
    setSocket(PQsocket(m_conn));
    return true;
}

void PgConnection::sendCancel() {
    std::shared_ptr<CancelRequest> request;
    {
        const std::lock_guard lock(m_cancelLock);
        request = m_cancel;
    }
    if (!request || !request->cancel)
        return;
    // The request goes to the server on a thread of its own: it waits for the server's answer, and a
    // server that is stopped or cut off would hold the caller (often the window's thread) with it.
    std::thread([request] {
        char reason[256];
        PQcancel(request->cancel, reason, sizeof reason);
    }).detach();
}

bool PgConnection::connected(QString& error) {
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken)
        return true;
    m_broken = false;
    // Lost since the last statement: sign in again with the same settings.
    if (!reconnect(error))
        return false;
    m_timeoutSet = -1;
    {
        const std::lock_guard lock(m_cancelLock);
        m_cancel = std::make_shared<CancelRequest>(PQgetCancel(m_conn)); // a new server process to stop
    }
    qCInfo(lcDbengine) << "connected again to" << m_target.host << m_target.port << m_target.database;
    return executeRaw(QStringLiteral("SET standard_conforming_strings = on"), error);
}

bool PgConnection::waitReady(qint64 deadline) {
    while (PQisBusy(m_conn)) {
        const qint64 left = deadline - steadyMs();
        if (left <= 0)
            return false;
        pollfd p{PQsocket(m_conn), POLLIN, 0};
        if (::poll(&p, 1, int(std::min<qint64>(left, 1000))) < 0 && errno != EINTR)
            return true; // let the next result tell what went wrong
        if (!PQconsumeInput(m_conn))
            return true;
    }
    return true;
}

PGresult* PgConnection::nextResult(qint64 deadline, QString& error, bool& late) {
    if (!late && waitReady(deadline))
        return PQgetResult(m_conn);
    if (!late) {
        // The server has not answered in time: ask it to stop, and give it a moment to say so.
        late = true;
        sendCancel();
        error = QStringLiteral("the server did not answer within %1 ms").arg(DbProviders::commandTimeout() + graceMs());
    }
    if (waitReady(steadyMs() + graceMs()))
        return PQgetResult(m_conn);
    // Nothing at all: the connection is given up; the next statement connects again.
    m_broken = true;
    return nullptr;
}

bool PgConnection::simple(const QString& sql, QString& error) {
    if (!PQsendQuery(m_conn, sql.toUtf8().constData())) {
        error = messageOf(m_conn);
        return false;
    }
    const qint64 deadline = steadyMs() + DbProviders::commandTimeout() + graceMs();
    bool ok = true, late = false;
    while (PGresult* r = nextResult(deadline, error, late)) {
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && ok) {
            ok = false;
            error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        }
        PQclear(r);
    }
    return ok && !late;
}

bool PgConnection::applyTimeout(QString& error) {
    const int ms = DbProviders::commandTimeout();
    if (ms == m_timeoutSet)
        return true;
    if (!simple(QStringLiteral("SET statement_timeout = %1").arg(ms), error))
        return false;
    m_timeoutSet = ms;
    return true;
}

bool PgConnection::executeRaw(const QString& sql, QString& error) {
    return connected(error) && simple(sql, error);
}

bool PgConnection::run(const QString& sql, const RowSink* sink, qint64* affected, QString& error,
                       QStringList* columns, bool binary) {
    m_lastState.clear();
    m_cut = false; // a cut meant the statement before
    // A stop asked for meant this statement: it is spent when the statement ends, however it ends
    // (one asked for before it started stops it below).
    const bool stopAsked = m_interrupted.exchange(false);
    const auto spent = qScopeGuard([this] { m_interrupted = false; });
    if (!connected(error) || !applyTimeout(error)) {
        m_lastState = "08000"; // no connection
        return false;
    }
    const QByteArray text = sql.toUtf8();
    if (text.contains('\0')) {
        error = QStringLiteral("the statement holds a NUL character");
        return false;
    }
    if (stopAsked || m_interrupted.exchange(false)) { // stopped before it started
        error = QStringLiteral("the statement was stopped");
        m_lastState = "57014"; // as the server says of a statement it stopped
        return false;
    }
    // The extended protocol takes one statement only, as the SQLite path does.
    // Results come in the binary format: a page's bytes pass once, not as hexadecimal text of twice
    // their size. A result with a column of a type read only in text is asked for again in text.
    if (!PQsendQueryParams(m_conn, text.constData(), 0, nullptr, nullptr, nullptr, nullptr, binary ? 1 : 0)) {
        error = messageOf(m_conn);
        return false;
    }
    if (m_interrupted.exchange(false))
        sendCancel(); // stopped while it was being sent: the server has it now, and stops it
    PQsetSingleRowMode(m_conn);
    const bool committing = sql.trimmed().compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0;
    const qint64 deadline = steadyMs() + DbProviders::commandTimeout() + graceMs();
    bool ok = true, stopped = false, late = false, inText = false, checked = false;
    while (PGresult* r = nextResult(deadline, error, late)) {
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_SINGLE_TUPLE && binary && !checked) {
            checked = true;
            for (int c = 0; c < PQnfields(r); ++c)
                if (!readableInBinary(PQftype(r, c)))
                    inText = stopped = true; // no row is handed on; the rest is read and let go
        }
        if (st == PGRES_SINGLE_TUPLE && columns && columns->isEmpty())
            for (int c = 0; c < PQnfields(r); ++c)
                *columns << QString::fromUtf8(PQfname(r, c));
        if (st == PGRES_SINGLE_TUPLE && sink && !stopped) {
            QVariantList row;
            const int cols = PQnfields(r);
            row.reserve(cols);
            for (int c = 0; c < cols; ++c)
                row << valueOf(r, 0, c);
            if (!(*sink)(row))
                stopped = true; // the rest is read and let go
        } else if (st == PGRES_COMMAND_OK && committing && std::strcmp(PQcmdStatus(r), "ROLLBACK") == 0) {
            // The server answers COMMIT of a transaction that an error ended with ROLLBACK.
            ok = false;
            error = QStringLiteral("the transaction failed earlier and was rolled back");
        } else if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
            if (columns && columns->isEmpty())
                for (int c = 0; c < PQnfields(r); ++c)
                    *columns << QString::fromUtf8(PQfname(r, c));
            if (affected)
                *affected = QByteArray(PQcmdTuples(r)).toLongLong();
        } else if (st != PGRES_SINGLE_TUPLE && ok && !stopped && !late) {
            ok = false;
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            m_lastState = state ? QByteArray(state) : QByteArray();
            if (state && std::strcmp(state, "57014") == 0)
                error = QStringLiteral("the statement ran past the command time-out (%1 ms)")
                            .arg(DbProviders::commandTimeout());
            else
                error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        }
        PQclear(r);
    }
    if (late)
        return false;
    if (inText && ok && PQstatus(m_conn) == CONNECTION_OK)
        return run(sql, sink, affected, error, columns, false);
    if (ok && PQstatus(m_conn) != CONNECTION_OK) {
        ok = false;
        error = QStringLiteral("the connection to the server is lost");
    }
    if (!ok && (late || PQstatus(m_conn) != CONNECTION_OK))
        m_lastState = "08000";
    if (PQstatus(m_conn) != CONNECTION_OK)
        setSocket(-1); // libpq has closed it: nothing is left to cut
    return ok;
}

namespace {

WriteFailure failureOf(const QByteArray& state) {
    if (state == "55P03" || state == "40P01" || state == "40001") // lock wait, deadlock, serialization
        return WriteFailure::Locked;
    if (state == "25006" || state == "42501") // read-only transaction, no privilege
        return WriteFailure::ReadOnly;
    if (state.startsWith("53")) // insufficient resources: disk full, out of memory
        return WriteFailure::Full;
    if (state.startsWith("23") || state == "P0001" || state.startsWith("44")) // constraints, a trigger's error
        return WriteFailure::Refused;
    if (state.startsWith("08") || state.startsWith("57P"))
        return WriteFailure::Lost;
    return WriteFailure::Other;
}

} // namespace

bool PgConnection::executeAll(const QStringList& statements, int lockWaitMs, WriteOutcome& out) {
    out = WriteOutcome();
    QString error;
    auto fail = [&] {
        out.failure = failureOf(m_lastState);
        out.error = error;
        QString ignored;
        if (PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
            simple(QStringLiteral("ROLLBACK"), ignored);
        return false;
    };
    qint64 n = 0;
    // The rows every table of the database has had changed in this transaction, by anything.
    const QString changedRows =
        QStringLiteral("SELECT coalesce(sum(n_tup_ins + n_tup_upd + n_tup_del), 0) FROM pg_stat_xact_user_tables");
    qint64 changedBefore = 0;
    const RowSink count = [&changedBefore](const QVariantList& row) {
        changedBefore = row.value(0).toLongLong();
        return true;
    };
    if (!run(QStringLiteral("BEGIN"), nullptr, &n, error) ||
        !run(QStringLiteral("SET LOCAL lock_timeout = %1").arg(std::max(1, lockWaitMs)), nullptr, &n, error) ||
        !run(changedRows, &count, nullptr, error))
        return fail();
    qint64 ours = 0;
    for (const QString& sql : statements) {
        if (!run(SqlDialect::toPostgres(sql), nullptr, &n, error))
            return fail();
        out.affected << qint32(n);
        ours += n;
    }
    // What the server did besides the statements (its own triggers or rules) is told, not hidden.
    qint64 changedAfter = 0;
    const RowSink countAfter = [&changedAfter](const QVariantList& row) {
        changedAfter = row.value(0).toLongLong();
        return true;
    };
    if (!run(changedRows, &countAfter, nullptr, error) || !run(QStringLiteral("COMMIT"), nullptr, &n, error))
        return fail();
    out.otherRows = std::max<qint64>(0, changedAfter - changedBefore - ours);
    return true;
}

bool PgConnection::isReadOnly() const {
    return m_readOnly;
}

namespace {

/// The read of a page's document, as the program writes it.
const QRegularExpression kDocumentRead(
    QStringLiteral("^\\s*Select\\s+obDoc\\s*,\\s*szDoc\\s+From\\s+msDoc\\s+Where\\s+noDoc\\s*=\\s*(\\d{1,10})\\s*$"),
    QRegularExpression::CaseInsensitiveOption);
constexpr int kPieceBytes = 1 << 20;

} // namespace

bool PgConnection::readDocument(const QString& number, DbRows& out, bool& asText, QString& error) {
    // One statement, so one snapshot and one round trip: the document comes as rows of a megabyte
    // each, which are put together here. libpq holds a row at a time (twice: as received and as its
    // result), so a page of tens of megabytes is in memory once more than its size, not three times.
    const QString sql =
        QStringLiteral("SELECT D.ctid::text, substring(D.obDoc from s for %1) AS obdoc, D.szDoc AS szdoc, "
                       "octet_length(D.obDoc) FROM msDoc D, generate_series(1, greatest(octet_length(D.obDoc), 1), %1) "
                       "AS s WHERE D.noDoc = %2 ORDER BY D.ctid, s")
            .arg(kPieceBytes)
            .arg(number);
    out = DbRows();
    out.columns = QStringList{QStringLiteral("obdoc"), QStringLiteral("szdoc")};
    QString row;
    QByteArray document;
    qint64 bytes = 0;
    bool tooBig = false;
    auto finish = [&] {
        if (!out.rows.empty() && out.rows.back()[0].isValid())
            out.rows.back()[0] = QVariant(std::move(document));
        document = QByteArray();
    };
    const RowSink sink = [&](const QVariantList& r) {
        if (r.value(1).isValid() && r.value(1).metaType().id() != QMetaType::QByteArray) {
            asText = true; // a document column that is no binary: read as the statement is written
            return false;
        }
        if (r.value(0).toString() != row || out.rows.empty()) {
            finish();
            row = r.value(0).toString();
            const qint64 length = r.value(3).toLongLong();
            bytes += 64 + 160 + length + 2 * r.value(2).toString().size();
            if (bytes > kMaxResultBytes) {
                tooBig = true;
                return false;
            }
            if (r.value(1).isValid())
                document.reserve(qsizetype(length));
            out.rows.push_back(QVariantList{r.value(1).isValid() ? QVariant(QByteArray()) : QVariant(), r.value(2)});
        }
        document += r.value(1).toByteArray();
        return true;
    };
    if (!run(sql, &sink, nullptr, error)) {
        out = DbRows();
        return false;
    }
    if (asText)
        return false;
    if (tooBig) {
        out = DbRows();
        error = QStringLiteral("the result is larger than %1 bytes").arg(kMaxResultBytes);
        return false;
    }
    finish();
    return true;
}

bool PgConnection::query(const QString& sql, DbRows& out, QString& error, qint64 maxRows) {
    if (const QRegularExpressionMatch m = kDocumentRead.match(sql); m.hasMatch() && maxRows < 0) {
        bool asText = false;
        if (readDocument(m.captured(1), out, asText, error))
            return true;
        // Stopped, timed out or cut off: failed. Otherwise the pieces could not be read from this
        // msDoc (a view, a column of another type): the statement is read as it is written.
        if (!asText && (m_lastState == "08000" || m_lastState == "57014"))
            return false;
    }
    out = DbRows();
    qint64 bytes = 0;
    bool tooBig = false;
    const RowSink sink = [&](const QVariantList& row) {
        if (maxRows >= 0 && qint64(out.rows.size()) >= maxRows)
            return false;
        bytes += 64;
        for (const QVariant& v : row)
            bytes +=
                80 + (v.metaType().id() == QMetaType::QByteArray ? v.toByteArray().size() : 2 * v.toString().size());
        if (bytes > kMaxResultBytes) {
            tooBig = true;
            return false;
        }
        out.rows.push_back(row);
        return true;
    };
    if (!run(SqlDialect::toPostgres(sql), &sink, nullptr, error, &out.columns)) {
        out = DbRows();
        return false;
    }
    if (tooBig) {
        out = DbRows();
        error = QStringLiteral("the result is larger than %1 bytes").arg(kMaxResultBytes);
        return false;
    }
    return true;
}

bool PgConnection::execute(const QString& sql, qint32& affected, QString& error) {
    qint64 n = 0;
    if (!run(SqlDialect::toPostgres(sql), nullptr, &n, error))
        return false;
    affected = qint32(n);
    return true;
}

bool PgConnection::queryEach(const QString& sql, const RowSink& sink, QString& error) {
    return run(sql, &sink, nullptr, error);
}

bool PgConnection::tables(QStringList& names, QString& error) {
    names.clear();
    return queryEach(
        QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                       "current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name"),
        [&](const QVariantList& row) {
            names << row.value(0).toString();
            return true;
        },
        error);
}

bool PgConnection::columns(const QString& table, QList<DbColumn>& out, QString& error) {
    out.clear();
    QString name = table.toLower();
    name.replace(QLatin1Char('\''), QLatin1String("''"));
    if (!queryEach(
            QStringLiteral("SELECT column_name, data_type, is_nullable, column_default FROM "
                           "information_schema.columns WHERE table_schema = current_schema() AND "
                           "table_name = '%1' ORDER BY ordinal_position")
                .arg(name),
            [&](const QVariantList& row) {
                const QString type = row.value(1).toString();
                DbColumn c{row.value(0).toString(), DbColumn::Text};
                if (type.contains(QLatin1String("int")))
                    c.kind = DbColumn::Integer;
                else if (type == QLatin1String("real") || type.startsWith(QLatin1String("double")) ||
                         type == QLatin1String("numeric"))
                    c.kind = DbColumn::Real;
                else if (type == QLatin1String("bytea"))
                    c.kind = DbColumn::Binary;
                else if (type.startsWith(QLatin1String("timestamp")) || type == QLatin1String("date"))
                    c.kind = DbColumn::Date;
                c.notNull = row.value(2).toString() == QLatin1String("NO");
                c.defaultValue = DbColumn::portableDefault(row.value(3).toString());
                out << c;
                return true;
            },
            error))
        return false;
    // The primary key's columns in their order.
    return queryEach(
        QStringLiteral("SELECT k.column_name, k.ordinal_position FROM "
                       "information_schema.table_constraints t JOIN information_schema.key_column_usage k "
                       "ON k.constraint_name = t.constraint_name AND k.table_schema = t.table_schema "
                       "AND k.table_name = t.table_name WHERE t.constraint_type = 'PRIMARY KEY' AND "
                       "t.table_schema = current_schema() AND t.table_name = '%1'")
            .arg(name),
        [&](const QVariantList& row) {
            for (DbColumn& c : out)
                if (c.name == row.value(0).toString())
                    c.keyPart = row.value(1).toInt();
            return true;
        },
        error);
}

bool PgConnection::createTable(const QString& table, const QList<DbColumn>& columns, QString& error) {
    QStringList defs;
    for (const DbColumn& c : columns) {
        static const char* const types[] = {"bigint", "double precision", "text", "bytea", "timestamp(0)"};
        QString def = quotedName(c.name) + QLatin1Char(' ') + QLatin1String(types[c.kind]);
        // Text sorts by its bytes, as SQLite sorts it, whatever the server's own language.
        if (c.kind == DbColumn::Text)
            def += QStringLiteral(" COLLATE \"C\"");
        defs << def + c.constraints();
    }
    return executeRaw(
        QStringLiteral("CREATE TABLE %1 (%2%3)")
            .arg(quotedName(table), defs.join(QStringLiteral(", ")), DbColumn::primaryKey(columns, quotedName)),
        error);
}

bool PgConnection::insertRows(const QString& table, const QList<DbColumn>& columns,
                              const std::vector<QVariantList>& rows, QString& error) {
    if (rows.empty())
        return true;
    QStringList names;
    for (const DbColumn& c : columns)
        names << quotedName(c.name);
    if (!connected(error))
        return false;
    PGresult* r = PQexec(m_conn, QStringLiteral("COPY %1 (%2) FROM STDIN")
                                     .arg(quotedName(table), names.join(QStringLiteral(", ")))
                                     .toUtf8()
                                     .constData());
    const bool started = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!started) {
        error = messageOf(m_conn);
        return false;
    }
    QByteArray buf;
    bool sent = true;
    for (const QVariantList& row : rows) {
        for (int c = 0; c < columns.size(); ++c) {
            if (c)
                buf += '\t';
            appendCopyValue(buf, row.value(c), columns[c].kind);
        }
        buf += '\n';
        if (buf.size() > (1 << 20)) {
            sent = PQputCopyData(m_conn, buf.constData(), int(buf.size())) == 1;
            buf.clear();
            if (!sent)
                break;
        }
    }
    if (sent && !buf.isEmpty())
        sent = PQputCopyData(m_conn, buf.constData(), int(buf.size())) == 1;
    PQputCopyEnd(m_conn, sent ? nullptr : "stopped");
    bool ok = sent;
    while (PGresult* res = PQgetResult(m_conn)) {
        if (PQresultStatus(res) != PGRES_COMMAND_OK && ok) {
            ok = false;
            error = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        }
        PQclear(res);
    }
    if (!ok && error.isEmpty())
        error = messageOf(m_conn);
    return ok;
}

bool PgConnection::createIndexes(QString& error) {
    // The tree's children in their order and the home rows of a page, the pages by title in the
    // find's order (Nulls first, as the find lists them), and page and XML numbers where the table
    // has no key of its own. Only for the tables there are (msDxml may be missing).
    QStringList present;
    if (!tables(present, error))
        return false;
    auto hasKey = [&](const char* table, bool& key) {
        key = false;
        return queryEach(
            QStringLiteral("SELECT 1 FROM pg_index WHERE indisprimary AND indrelid = to_regclass('%1')")
                .arg(QLatin1String(table)),
            [&](const QVariantList&) {
                key = true;
                return false;
            },
            error);
    };
    struct Index {
        const char* table;
        const char* statement;
        bool unlessKeyed;
    };
    static const Index indexes[] = {
        {"tbtree", "CREATE INDEX IF NOT EXISTS tbtree_parent ON tbtree (nolfp, insrt NULLS FIRST, nolfc)", false},
        {"tbtree", "CREATE INDEX IF NOT EXISTS tbtree_child ON tbtree (nolfc)", false},
        {"msdoc", "CREATE INDEX IF NOT EXISTS msdoc_title ON msdoc (szdoc NULLS FIRST, nodoc)", false},
        {"msdoc", "CREATE UNIQUE INDEX IF NOT EXISTS msdoc_no ON msdoc (nodoc)", true},
        {"msdxml", "CREATE INDEX IF NOT EXISTS msdxml_no ON msdxml (nodxml)", true},
    };
    for (const Index& index : indexes) {
        if (!present.contains(QLatin1String(index.table)))
            continue;
        bool keyed = false;
        if (index.unlessKeyed && !hasKey(index.table, keyed))
            return false;
        if (!keyed && !executeRaw(QString::fromLatin1(index.statement), error))
            return false;
    }
    if (!present.contains(QLatin1String("msdoc")))
        return true;
    // The find's Like on the text, where the server offers trigram indexes (and lets this user add
    // them); without them the find still works, reading every page. Tried inside a savepoint, so
    // that a refusal leaves the copy's transaction as it was.
    if (!executeRaw(QStringLiteral("SAVEPOINT trigram"), error))
        return false;
    QString refused;
    if (executeRaw(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"), refused) &&
        executeRaw(QStringLiteral("CREATE INDEX IF NOT EXISTS msdoc_text ON msdoc USING gin "
                                  "(lower(txdoc COLLATE \"C\") gin_trgm_ops)"),
                   refused))
        return executeRaw(QStringLiteral("RELEASE SAVEPOINT trigram"), error);
    qCInfo(lcDbengine) << "no trigram index for the find:" << refused;
    return executeRaw(QStringLiteral("ROLLBACK TO SAVEPOINT trigram"), error);
}

} // namespace dbengine
