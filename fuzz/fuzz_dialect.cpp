// Fuzz target: the statements built from what a user types, through the dialect translator into
// SQLite. Properties: the find of any text is one statement of the expected shape (two columns) that
// runs, unless it has more words than SQLite's expression depth allows; a rename of any title either
// fails as a whole or stores exactly that title in exactly the row named, and nothing else changes.
#include "FuzzCheck.h"
#include "dbengine/ConnectionString.h"
#include "dbengine/DbProvider.h"
#include "dbengine/SqlDialect.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/PageFind.h"

#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

std::unique_ptr<dbengine::IDbConnection> g_conn;
QTemporaryDir* g_dir = nullptr;

dbengine::IDbConnection& connection() {
    if (g_conn)
        return *g_conn;
    g_dir = new QTemporaryDir;
    const QString path = g_dir->filePath(QStringLiteral("fuzz.txdb"));
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE msDoc (noDoc INTEGER PRIMARY KEY, szDoc TEXT, txDoc TEXT);"
                 "CREATE TABLE tbTree (noLfP INTEGER, noLfC INTEGER, szDoc TEXT, dyUdt DATETIME);"
                 "CREATE TABLE kaUsr (DmFmt TEXT);"
                 "INSERT INTO msDoc VALUES (1, 'a', 'alpha %_? it''s #01/02/2030#'), (2, 'b', '日本語 beta');"
                 "INSERT INTO tbTree VALUES (3, 7, 'old', NULL), (3, 8, 'other', NULL);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QString error;
    g_conn = dbengine::DbProviders::open(
        QStringLiteral("Provider=SQLite;Data Source=") + dbengine::ConnectionString::quoteValue(path), error);
    fuzzcheck::check(g_conn != nullptr, "the fuzz database opens", error);
    return *g_conn;
}

QString title(dbengine::IDbConnection& c, int child) {
    dbengine::DbRows rows;
    QString error;
    c.query(QStringLiteral("Select szDoc From tbTree Where noLfP=3 And noLfC=%1").arg(child), rows, error);
    return rows.rows.empty() ? QStringLiteral("<none>") : rows.rows.front().value(0).toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    dbengine::IDbConnection& c = connection();
    const QString text = QString::fromUtf8(fuzzcheck::bytes(data, size));

    // The find.
    const QString condition = find::findCondition(text);
    const QString statement =
        condition.isEmpty() ? docdb::sql::kFindAll : docdb::sql::kFindWhere + condition + docdb::sql::kFindOrder;
    dbengine::DbRows rows;
    QString error;
    const bool found = c.query(statement, rows, error);
    const qsizetype words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    // Too many words for SQLite's expression depth, or a NUL character (no statement can hold one),
    // fail as a read error; everything else runs.
    fuzzcheck::check(found || words > 500 || text.contains(QChar(0)), "the find runs",
                     statement + QStringLiteral("\n") + error);
    if (found)
        fuzzcheck::check(rows.columns.size() == 2, "the find gives number and title", statement);

    // The rename of page 7 under 3.
    QString sql = docdb::sql::kRename;
    docdb::zSvr::T_CnvSq(sql, {text, QStringLiteral("3"), QStringLiteral("7")});
    // Quoted text is never rewritten for the server: the rename reaches it exactly as here.
    fuzzcheck::check(dbengine::SqlDialect::toPostgres(sql) == sql, "the server's rename keeps the title",
                     sql + QStringLiteral(" → ") + dbengine::SqlDialect::toPostgres(sql));
    qint32 affected = -1;
    const bool renamed = c.execute(sql, affected, error);
    if (renamed) {
        fuzzcheck::check(affected == 1, "one row renamed", sql);
        fuzzcheck::check(title(c, 7) == text, "the title is stored exactly",
                         text + QStringLiteral(" → ") + title(c, 7));
    } else {
        fuzzcheck::check(title(c, 7) == QLatin1String("old"), "a failed rename changes nothing", sql);
    }
    fuzzcheck::check(title(c, 8) == QLatin1String("other"), "no other row changes", sql);
    c.execute(QStringLiteral("Update tbTree Set szDoc='old' Where noLfP=3 And noLfC=7"), affected, error);
    return 0;
}
