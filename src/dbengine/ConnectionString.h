// ConnectionString: OLE DB connection strings and data-link (.udl) files.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace dbengine {

/// Keys and values of an OLE DB connection string.
class ConnectionString {
public:
    /// Splits "Key=Value;Key=Value" as OLE DB does. Keys are lower-cased and trimmed and may hold
    /// blanks and ":" ("Jet OLEDB:Engine Type"); "==" in a key is an "=". Values are trimmed unless
    /// quoted with " or ', where a doubled quote stands for one and ";" and "=" are text. Empty pairs
    /// (";;") are skipped, and a repeated key keeps its last value. A piece without "=" after an
    /// unquoted value is taken as the rest of that value, so an unquoted path holding ";" stays whole.
    static QMap<QString, QString> parse(const QString& text);

    /// A value written so that parse reads it back exactly: as it is when that is safe, otherwise in
    /// double quotes with inner double quotes doubled.
    static QString quoteValue(const QString& value);

    /// The initialisation string of a data-link file's bytes: UTF-16 with byte-order mark as the
    /// platform writes it (UTF-8 is accepted too), an "[oledb]" section, comment lines starting
    /// with ";", then the string. Empty when the bytes hold none.
    static QString udlInitString(const QByteArray& bytes);
};

} // namespace dbengine
