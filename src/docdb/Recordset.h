// Recordset: the rows of one read, walked forward with fields by name (the reader's recordset).
#pragma once

#include "dbengine/DbProvider.h"

#include <QString>
#include <QVariant>

namespace docdb {

/// A recordset opened by zSvr::R_Rset and closed by its reader. Fields are found by name without
/// regard to case. Reading a field past the last row or of an unknown name throws util::VbError.
class Recordset {
public:
    Recordset() = default;
    bool isOpen() const { return m_open; }
    /// End of rows: no current row.
    bool eof() const { return !m_open || m_pos >= m_rows.rows.size(); }
    void moveNext();
    void close();
    /// Open mode the recordset was opened in (0 forward-only read-only, 2 keyset optimistic).
    qint16 mode() const { return m_mode; }
    int fieldCount() const { return int(m_rows.columns.size()); }
    QString fieldName(int index) const { return m_rows.columns.value(index); }
    QVariant field(const QString& name) const;
    QVariant field(int index) const;

private:
    friend class zSvr;
    void open(dbengine::DbRows&& rows, qint16 mode);

    dbengine::DbRows m_rows;
    size_t m_pos = 0;
    bool m_open = false;
    qint16 m_mode = 0;
};

/// All rows of a read as a two-dimensional array: first index the column, second the row.
class RowArray {
public:
    void clear() { m_cols.clear(); }
    bool isEmpty() const { return m_cols.empty() || m_cols.front().isEmpty(); }
    int columnCount() const { return int(m_cols.size()); }
    int rowCount() const { return m_cols.empty() ? 0 : int(m_cols.front().size()); }
    /// Value at (column, row); throws util::VbError outside the bounds ("Subscript out of range").
    QVariant operator()(int column, int row) const;

private:
    friend class zSvr;
    std::vector<QVariantList> m_cols;
};

} // namespace docdb
