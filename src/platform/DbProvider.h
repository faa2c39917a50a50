// DbProvider: the database-provider interface (open by connection string, run statements).
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace platform {

/// Rows of one read, all fetched: column names and values. A SQL Null is an invalid QVariant;
/// numbers are int (or qlonglong past 32 bits) or double, texts QString, binaries QByteArray,
/// date columns QDateTime.
struct DbRows {
    QStringList columns;
    std::vector<QVariantList> rows;
};

/// One open connection. Statements are written in the Jet dialect; each provider translates
/// what its engine needs. Failures return false with a reason; nothing is shown.
class IDbConnection {
public:
    virtual ~IDbConnection() = default;
    /// The provider's name as the connection reports it (e.g. "Microsoft.Jet.OLEDB.4.0").
    virtual QString providerName() const = 0;
    /// Runs a statement that returns rows; with maxRows given, stops after that many.
    virtual bool query(const QString& sql, DbRows& out, QString& error, qint64 maxRows = -1) = 0;
    /// Whether the database can only be read (a read-only file or folder).
    virtual bool isReadOnly() const = 0;
    /// Runs a statement that returns no rows; affected receives the number of rows changed.
    virtual bool execute(const QString& sql, qint32& affected, QString& error) = 0;
    /// The database file the connection reads, with its full path; "" for a server database.
    virtual QString databaseFile() const { return {}; }
};

/// Opens connections from OLE DB style connection strings:
/// - "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = PATH;…" opens the document database file PATH
///   (an SQLite file) under the Jet provider's name;
/// - "FILE NAME=PATH" reads the data-link file PATH and opens what its initialisation string names;
/// - "Provider=SQLite;Data Source=PATH" opens PATH under the name "SQLite".
/// Any other provider is refused.
class DbProviders {
public:
    static std::unique_ptr<IDbConnection> open(const QString& connectionString, QString& error);

    /// The command time-out: a statement that runs longer is interrupted and fails as a read error
    /// (30 000 ms; tests make it short). It applies to statements started after the change.
    static void setCommandTimeout(int milliseconds);
    static int commandTimeout();
};

} // namespace platform
