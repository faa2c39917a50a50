// Recordset: forward walk over fetched rows.
#include "docdb/Recordset.h"

#include "util/Vb.h"

namespace docdb {

void Recordset::open(dbengine::DbRows&& rows, qint16 mode) {
    m_rows = std::move(rows);
    m_pos = 0;
    m_open = true;
    m_mode = mode;
}

void Recordset::moveNext() {
    if (!m_open)
        throw util::VbError(QStringLiteral("Operation is not allowed when the object is closed."));
    if (m_pos < m_rows.rows.size())
        ++m_pos;
}

void Recordset::close() {
    m_rows = dbengine::DbRows();
    m_pos = 0;
    m_open = false;
}

QVariant Recordset::field(int index) const {
    if (eof() || index < 0 || index >= fieldCount())
        throw util::VbError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    return m_rows.rows[m_pos].value(index);
}

QVariant Recordset::field(const QString& name) const {
    const qsizetype idx = [&] {
        for (qsizetype i = 0; i < m_rows.columns.size(); ++i)
            if (m_rows.columns[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return qsizetype(-1);
    }();
    if (idx < 0)
        throw util::VbError(QStringLiteral("Item cannot be found in the collection: %1").arg(name));
    return field(int(idx));
}

QVariant RowArray::operator()(int column, int row) const {
    if (column < 0 || column >= columnCount() || row < 0 || row >= rowCount())
        throw util::VbError(QStringLiteral("Subscript out of range"));
    return m_cols[size_t(column)][row];
}

} // namespace docdb
