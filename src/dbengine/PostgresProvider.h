// PostgresProvider: a document database on a PostgreSQL server behind the provider interface.
#pragma once

#include "dbengine/DbProvider.h"

#include <QMap>

#include <atomic>
#include <memory>
#include <mutex>

struct pg_conn;
struct pg_cancel;
struct pg_result;

namespace dbengine {

/// Where a server database is and who signs in: read from a data link's keys
/// "Data Source=HOST[:PORT]" (or a socket folder), "Port=", "Initial Catalog=" or "Location=",
/// "User ID=", "Password=", and "SSL Mode=" (libpq's sslmode: disable, allow, prefer, require,
/// verify-ca, verify-full; prefer when not given).
struct PgTarget {
    QString host, database, user, password, sslMode;
    int port = 5432;
    /// The target named by the keys; empty host or database gives an error.
    static bool fromKeys(const QMap<QString, QString>& keys, PgTarget& out, QString& error);
};

/// One connection to a PostgreSQL server (libpq). Statements pass through
/// SqlDialect::toPostgres. A connection that the server or the network dropped fails the
/// statement that found it lost; the next statement connects again. The password is used only
/// to sign in: it never appears in an error text or a log.
class PgConnection final : public IDbConnection {
public:
    static std::unique_ptr<PgConnection> open(const PgTarget& target, const QString& providerName, QString& error);
    ~PgConnection() override;
    Q_DISABLE_COPY_MOVE(PgConnection)

    QString providerName() const override { return m_provider; }
    bool isReadOnly() const override;
    void interrupt() override;
    void cut() override;
    bool connectionLost() const override { return m_lastState == "08000"; }
    bool query(const QString& sql, DbRows& out, QString& error, qint64 maxRows = -1) override;
    bool execute(const QString& sql, qint32& affected, QString& error) override;
    bool executeAll(const QStringList& statements, int lockWaitMs, WriteOutcome& out) override;
    bool queryEach(const QString& sql, const RowSink& sink, QString& error) override;
    bool tables(QStringList& names, QString& error) override;
    bool columns(const QString& table, QList<DbColumn>& out, QString& error) override;
    bool createTable(const QString& table, const QList<DbColumn>& columns, QString& error) override;
    bool insertRows(const QString& table, const QList<DbColumn>& columns, const std::vector<QVariantList>& rows,
                    QString& error) override;
    bool createIndexes(QString& error) override;

    /// Runs a statement as it is written (no dialect change), for setting up a server.
    bool executeRaw(const QString& sql, QString& error);

private:
    PgConnection(pg_conn* conn, PgTarget target, QString provider);
    bool connected(QString& error);
    /// Runs one statement row by row; rows go to sink (when given) until it returns false.
    bool run(const QString& sql, const RowSink* sink, qint64* affected, QString& error, QStringList* columns = nullptr,
             bool binary = true);
    bool applyTimeout(QString& error);
    /// Asks the server to stop the running statement, without waiting for it.
    void sendCancel();
    /// Waits until a whole result has come or the deadline passes (false).
    bool waitReady(qint64 deadline);
    /// The next result of the running statement, or null at its end. Past the deadline the
    /// statement is stopped (late set, error said); a server that does not even answer that is
    /// given up, and the next statement connects again.
    pg_result* nextResult(qint64 deadline, QString& error, bool& late);
    /// Runs a statement of the simple protocol (settings, transaction control) within the time-out.
    bool simple(const QString& sql, QString& error);

    pg_conn* m_conn = nullptr;
    /// What stops the running statement; kept alive by a request still on its way.
    struct CancelRequest {
        explicit CancelRequest(pg_cancel* c) : cancel(c) {}
        ~CancelRequest();
        pg_cancel* cancel;
    };
    /// Reads a page's document (the program's statement for it, with that page number) in pieces of a
    /// megabyte. asText is set when the document column is no binary column: the caller then reads
    /// the statement as it is written.
    bool readDocument(const QString& number, DbRows& out, bool& asText, QString& error);
    /// Signs in again after the connection was lost, watching for a cut.
    bool reconnect(QString& error);
    void setSocket(int fd);

    std::mutex m_cancelLock; // guards m_cancel and m_socket against interrupt() and cut() from another thread
    int m_socket = -1;       // the connection's socket while it is connected
    std::atomic_bool m_cut{false};
    std::shared_ptr<CancelRequest> m_cancel;
    std::atomic_bool m_interrupted{false}; // interrupt() was called: the statement it meant stops
    PgTarget m_target;
    QString m_provider;
    bool m_broken = false;   // given up after the server stopped answering
    bool m_readOnly = false; // as found at open
    int m_timeoutSet = -1;   // the statement time-out the session has (ms), -1 when not yet set
    QByteArray m_lastState;  // the SQLSTATE of the last statement that failed ("08000": no connection)
};

} // namespace dbengine
