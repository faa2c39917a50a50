// SqliteProvider: document database files as SQLite databases behind the provider interface.
#pragma once

#include "dbengine/DbProvider.h"

struct sqlite3;
struct sqlite3_stmt;

namespace dbengine {

/// One SQLite connection. The file is opened for reading and writing (renaming pages writes)
/// but never created; reads never change it. Statements pass through SqlDialect first.
class SqliteConnection final : public IDbConnection {
public:
    /// Opens path; returns null with a reason when the file is missing, empty, not an SQLite
    /// database or shorter than its header says (a truncated copy).
    static std::unique_ptr<SqliteConnection> open(const QString& path, const QString& providerName, QString& error);
    ~SqliteConnection() override;
    Q_DISABLE_COPY_MOVE(SqliteConnection)

    QString providerName() const override { return m_provider; }
    bool isReadOnly() const override;
    bool query(const QString& sql, DbRows& out, QString& error, qint64 maxRows = -1) override;
    bool execute(const QString& sql, qint32& affected, QString& error) override;
    bool executeAll(const QStringList& statements, int lockWaitMs, WriteOutcome& out) override;
    void setWriteWatch(const WriteWatch& watch) override { m_watch = watch; }
    QString databaseFile() const override { return m_file; }
    void interrupt() override;
    bool queryEach(const QString& sql, const RowSink& sink, QString& error) override;
    bool tables(QStringList& names, QString& error) override;
    bool columns(const QString& table, QList<DbColumn>& out, QString& error) override;
    bool createTable(const QString& table, const QList<DbColumn>& columns, QString& error) override;
    bool insertRows(const QString& table, const QList<DbColumn>& columns, const std::vector<QVariantList>& rows,
                    QString& error) override;
    bool createIndexes(QString& error) override;

    /// Opens path as a database to copy into, making an empty one when the file does not exist.
    static std::unique_ptr<SqliteConnection> create(const QString& path, QString& error);

private:
    SqliteConnection(sqlite3* db, QString provider);
    sqlite3_stmt* prepare(const QString& sql, QString& error);
    /// Steps a prepared statement to its end within the command time-out; rows go to out when given.
    bool run(sqlite3_stmt* st, DbRows* out, QString& error, qint64 maxRows = -1);
    static int onProgress(void* self);
    bool checkTables(QString& error);

    sqlite3* m_db = nullptr;
    QString m_provider;
    QString m_file;
    WriteWatch m_watch;
    qint64 m_deadline = 0; // the running statement's end of time (steady clock, ms); 0 when none
};

/// Sets the safe options every connection to a database file has: no triggers, an untrusted
/// schema, SQLite's defensive mode.
void hardenConnection(sqlite3* db);

} // namespace dbengine
