// PageFind: builds and runs the find statement.
#include "docdb/PageFind.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "util/Vb.h"

#include <QStringList>

namespace docdb {

QString findCondition(const QString& text) {
    const QStringList words = util::Trim(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList terms;
    for (QString w : words) {
        w.replace(QLatin1Char('\''), QLatin1String("''"));
        terms << QStringLiteral("txDoc Like '%") + w + QStringLiteral("%' ");
    }
    return terms.join(QStringLiteral(" And "));
}

QVector<FoundPage> findPages(zSvr& svr, const QString& text) {
    const QString condition = findCondition(text);
    const QString statement = condition.isEmpty() ? sql::kFindAll : sql::kFindWhere + condition + sql::kFindOrder;
    RowArray rows;
    qint32 n = 0;
    svr.R_Ary(statement, rows, n);
    QVector<FoundPage> pages;
    pages.reserve(n);
    for (int r = 0; r < n; ++r)
        pages.push_back({rows(0, r).toInt(), util::CStr(rows(1, r))});
    return pages;
}

} // namespace docdb
