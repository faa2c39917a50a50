// ConnectionString: OLE DB connection strings and data-link (.udl) files.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace platform {

/// Keys and values of an OLE DB connection string.
class ConnectionString {
public:
    /// Splits "Key=Value;Key=Value". Keys are compared without case and trimmed; values are
    /// trimmed and lose enclosing quotes. A ";" counts as a separator only when a "Key=" follows it,
    /// so a data source path that contains ";" stays whole.
    static QMap<QString, QString> parse(const QString& text);

    /// The initialisation string of a data-link file's bytes: UTF-16 with byte-order mark as the
    /// platform writes it (UTF-8 is accepted too), an "[oledb]" section, comment lines starting
    /// with ";", then the string. Empty when the bytes hold none.
    static QString udlInitString(const QByteArray& bytes);
};

} // namespace platform
