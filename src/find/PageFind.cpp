// PageFind: builds and runs the find statement.
#include "find/PageFind.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "util/Vb.h"

#include <QStringList>

namespace find {

QString findCondition(const QString& text) {
    const QStringList words = util::Trim(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList terms;
    for (QString w : words) {
        w.replace(QLatin1Char('\''), QLatin1String("''"));
        terms << QStringLiteral("txDoc Like '%") + w + QStringLiteral("%' ");
    }
    return terms.join(QStringLiteral(" And "));
}

QVector<FoundPage> findPages(docdb::zSvr& svr, const QString& text, bool* ok) {
    const QString condition = findCondition(text);
    const QString statement =
        condition.isEmpty() ? docdb::sql::kFindAll : docdb::sql::kFindWhere + condition + docdb::sql::kFindOrder;
    docdb::Recordset rs;
    bool read = false;
    svr.R_Rset(statement, rs, read, 0);
    if (ok)
        *ok = read;
    QVector<FoundPage> pages;
    for (; read && !rs.eof(); rs.moveNext())
        if (const std::optional<qint32> no = util::pageNumber(rs.field(0))) // anything else is no page
            pages.push_back({*no, util::CStr(rs.field(1))});
    return pages;
}

} // namespace find
