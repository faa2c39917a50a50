// PgValues: the server's values as the reader reads them, and as COPY's text format writes them.
#pragma once

#include "dbengine/DbProvider.h"

#include <QByteArray>
#include <QVariant>

#include <libpq-fe.h>

namespace dbengine::pgvalues {

/// Whether a column's values can be read in the binary format (and read as their text would be).
bool readableInBinary(Oid type);
/// A value of a result, in the text or the binary format: numbers as int (qlonglong past 32 bits)
/// or double, binaries as QByteArray, dates as QDateTime, the rest as text; Null as an invalid
/// QVariant.
QVariant valueOf(const PGresult* r, int row, int col);
/// A value as COPY's text format writes it.
void appendCopyValue(QByteArray& out, const QVariant& v, DbColumn::Kind kind);

} // namespace dbengine::pgvalues
