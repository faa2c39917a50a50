// DbProvider: the database-provider interface (open by connection string, run statements).
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace dbengine {

/// Rows of one read, all fetched: column names and values. A SQL Null is an invalid QVariant;
/// numbers are int (or qlonglong past 32 bits) or double, texts QString, binaries QByteArray,
/// date columns QDateTime.
struct DbRows {
    QStringList columns;
    std::vector<QVariantList> rows;
};

/// A column of a table as the copy of a database needs it: its name and the kind of its values.
struct DbColumn {
    enum Kind { Integer, Real, Text, Binary, Date };
    QString name;
    Kind kind = Text;
    bool notNull = false;
    QString defaultValue; // a number or a quoted text, as every engine reads it; "" when none
    int keyPart = 0;      // the column's place in the primary key, from 1; 0 when not in it
    bool operator==(const DbColumn&) const = default;

    /// The default as a copy can carry it to another engine: a plain number or a quoted text
    /// (a type cast after it is dropped); anything else (an expression) gives "".
    static QString portableDefault(const QString& sqlDefault);
    /// The column's NOT NULL and DEFAULT, as both engines write them.
    QString constraints() const;
    /// The primary key of columns, as a table constraint (", PRIMARY KEY (…)"), or "".
    static QString primaryKey(const QList<DbColumn>& columns, const std::function<QString(const QString&)>& quote);
};

/// Takes one row of a streamed read; returning false stops the read (without an error).
using RowSink = std::function<bool(const QVariantList& row)>;

/// A result is gathered in memory; one that would pass this size (an endless view, say) fails
/// instead of taking the machine's memory. The largest real reads (a page of tens of megabytes,
/// every title of a large database) stay far below it. Counted as the memory the rows take.
inline constexpr qint64 kMaxResultBytes = qint64(768) << 20;

/// Why a change was not written: what the user is told.
enum class WriteFailure {
    None,
    Locked,   // another program holds the database's write lock (past the wait)
    ReadOnly, // the file, its folder or the user's rights allow no writing
    Full,     // the disk or the server's storage is full
    Refused,  // a constraint or the server itself refused the change
    Lost,     // the connection to the server is lost
    Other,
};

/// The outcome of a write of several statements in one transaction.
struct WriteOutcome {
    QList<qint32> affected; // rows each statement changed
    qint64 otherRows = 0;   // rows the engine changed besides them (a server's own triggers)
    WriteFailure failure = WriteFailure::None;
    QString error; // the engine's reason, for the log and as the detail of a message
};

/// Work a caller does around a write of its own while the database's write lock is held: before the
/// statements run, and after their commit with the lock taken again, told whether any other
/// connection committed in between (for the find index, which a write of the tree alone keeps
/// current). Only a database file has them.
struct WriteWatch {
    std::function<void(const QStringList& statements)> beforeWrite;
    std::function<void(bool alone)> afterCommit;
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
    /// Runs statements that change rows as one transaction: all of them are written, or none. A
    /// lock held by another program is waited for at most lockWaitMs. The engine's own extra work
    /// (triggers of a file) never runs with it.
    virtual bool executeAll(const QStringList& statements, int lockWaitMs, WriteOutcome& out) = 0;
    /// The work done around each executeAll (a server connection has none).
    virtual void setWriteWatch(const WriteWatch& /*watch*/) {}
    /// The database file the connection reads, with its full path; "" for a server database.
    virtual QString databaseFile() const { return {}; }
    /// Stops the statement running on this connection, from any thread, without waiting; it fails
    /// as a read error. (A server connection also stops a statement that was about to start.)
    virtual void interrupt() {}
    /// Cuts a server connection at once, from any thread: a statement waiting on it fails as a lost
    /// connection (for a server that answers not even a request to stop), and the next statement
    /// connects again. A file has nothing to cut.
    virtual void cut() {}
    /// Whether the last statement failed because the connection to the server was lost.
    virtual bool connectionLost() const { return false; }

    // Copying a whole database (dbtext-copy): reads that stream, the tables and their columns, and
    // writes of many rows. Statements here are the engine's own, not the program's dialect.
    /// Runs a read and hands its rows to sink one by one, holding none of them.
    virtual bool queryEach(const QString& sql, const RowSink& sink, QString& error) = 0;
    /// The names of the database's tables.
    virtual bool tables(QStringList& names, QString& error) = 0;
    /// A table's columns in their order.
    virtual bool columns(const QString& table, QList<DbColumn>& out, QString& error) = 0;
    virtual bool createTable(const QString& table, const QList<DbColumn>& columns, QString& error) = 0;
    /// Adds rows (values in the columns' order) to a table.
    virtual bool insertRows(const QString& table, const QList<DbColumn>& columns, const std::vector<QVariantList>& rows,
                            QString& error) = 0;
    /// The indexes the reader's statements need, made after the rows are in.
    virtual bool createIndexes(QString& error) = 0;
};

/// Opens connections from OLE DB style connection strings:
/// - "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = PATH;…" opens the document database file PATH
///   (an SQLite file) under the Jet provider's name;
/// - "FILE NAME=PATH" reads the data-link file PATH and opens what its initialisation string names;
/// - "Provider=SQLite;Data Source=PATH" opens PATH under the name "SQLite";
/// - a provider whose name holds "PostgreSQL" or "PGNP" opens a database on a PostgreSQL server
///   (see PgTarget for its keys), under that provider's name.
/// Any other provider is refused.
class DbProviders {
public:
    static std::unique_ptr<IDbConnection> open(const QString& connectionString, QString& error);

    /// The command time-out: a statement that runs longer is interrupted and fails as a read error
    /// (30 000 ms; tests make it short). It applies to statements started after the change.
    static void setCommandTimeout(int milliseconds);
    static int commandTimeout();
};

} // namespace dbengine
