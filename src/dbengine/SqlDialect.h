// SqlDialect: translates the Jet-dialect statements the program writes into SQLite's dialect.
#pragma once

#include <QDateTime>
#include <QString>

namespace dbengine {

/// The statements are kept exactly as the program writes them; only what SQLite does not
/// understand is rewritten, and never inside quoted text:
/// - Jet date literals "#MM/dd/yy hh:mm:ss#" (also four-digit years and date-only forms);
/// - "convert(datetime,'yyyy/MM/dd hh:mm:ss')" of the other providers.
/// Both become the text literal 'yyyy-MM-dd hh:mm:ss', the form dates are stored in, so that
/// ordering by a date column orders by time. Everything else (Like with % and _, Count(*),
/// table aliases, table names in any case) SQLite answers as written.
class SqlDialect {
public:
    static QString toSqlite(const QString& jetSql);
    /// The same statements for PostgreSQL: date literals become TIMESTAMP literals; "column Like
    /// 'pattern'" compares with ASCII letters lowered on both sides (lower() in the "C" collation)
    /// and no escape character, as SQLite does; the find's "Order By szDoc" on msDoc lists equal
    /// titles by page number.
    static QString toPostgres(const QString& jetSql);

    /// The stored text form of a date and time.
    static QString storedDate(const QDateTime& t);
    /// Reads a stored date ("yyyy-MM-dd hh:mm:ss", with "T" or fractions accepted); invalid if none.
    static QDateTime parseStoredDate(const QString& text);
    /// Reads the inside of a Jet date literal ("12/06/26 14:05:09"); two-digit years 00-29 are
    /// 2000-2029, 30-99 are 1930-1999, as the Windows default interprets them.
    static QDateTime parseJetDate(const QString& text);
};

} // namespace dbengine
