// DbCopy: table by table, rows streamed from the source and written in batches.
#include "docdb/DbCopy.h"

#include "dbengine/SqlDialect.h"
#include "dbengine/SqliteProvider.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"

#include <QFile>
#include <QFileInfo>

namespace docdb {

namespace {

QString quotedName(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

/// A table's or column's name as the companion editor spells it, when it is one of the names the
/// reader knows (a server keeps names in lower case); other names stay as they are.
QString canonicalName(const QString& name) {
    using namespace schema;
    for (const char* known : {tbTree, msDoc, msDxml, kaUsr, noLfP, noLfC,  inSrt,  szDoc, boLnk,    boHide,
                              dyUdt,  noDoc, obDoc,  txDoc, boCod, noDxml, smDxml, DmFmt, "boHogo", "dyPub"})
        if (name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return QLatin1String(known);
    return name;
}

/// The table's name as the database spells it, or empty.
QString findTable(const QStringList& names, const char* table) {
    for (const QString& n : names)
        if (n.compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            return n;
    return {};
}

/// Counts with the name unquoted (one of the four known names, in any case), which every engine
/// finds whatever case it keeps table names in.
bool countRows(dbengine::IDbConnection& db, const QString& table, qint64& count, QString& error) {
    count = -1;
    return db.queryEach(
        QStringLiteral("SELECT count(*) FROM ") + table,
        [&](const QVariantList& row) {
            count = row.value(0).toLongLong();
            return false;
        },
        error);
}

/// The first value of a read, as a number (-1 when none).
qint64 number(dbengine::IDbConnection& db, const QString& sql, QString& error) {
    qint64 value = -1;
    if (!db.queryEach(
            sql,
            [&](const QVariantList& row) {
                value = row.value(0).toLongLong();
                return false;
            },
            error))
        return -2;
    return value;
}

/// The key the copy gives a table: the source's own, when every row has one (SQLite lets a key
/// column hold Nulls, which no server and no row number takes); else, for msDoc, the page number
/// when it is whole, present and unique in every row, so that pages keep their order on disk.
/// Nothing is ever made up: a key the rows do not fit is left out.
bool fitKey(dbengine::IDbConnection& db, const QString& table, QList<dbengine::DbColumn>& columns, QString& error) {
    QStringList keyed;
    for (const dbengine::DbColumn& c : columns)
        if (c.keyPart)
            keyed << quotedName(c.name) + QStringLiteral(" IS NULL");
    const QString from = QStringLiteral(" FROM ") + quotedName(table);
    if (!keyed.isEmpty()) {
        const qint64 nulls = number(db,
                                    QStringLiteral("SELECT count(*)") + from + QStringLiteral(" WHERE ") +
                                        keyed.join(QStringLiteral(" OR ")),
                                    error);
        if (nulls < -1)
            return false;
        if (nulls > 0)
            for (dbengine::DbColumn& c : columns)
                c.keyPart = 0;
        return true;
    }
    if (table.compare(QLatin1String("msDoc"), Qt::CaseInsensitive) != 0)
        return true;
    for (dbengine::DbColumn& c : columns) {
        if (c.name.compare(QLatin1String("noDoc"), Qt::CaseInsensitive) != 0 || c.kind != dbengine::DbColumn::Integer)
            continue;
        const QString col = quotedName(c.name);
        const qint64 bad = number(
            db, QStringLiteral("SELECT count(*) - count(DISTINCT %1) + count(*) - count(%1)").arg(col) + from, error);
        if (bad < -1)
            return false;
        if (bad == 0)
            c.keyPart = 1;
    }
    return true;
}

/// A default the target's column takes: a number for a number column, a quoted text for a text
/// column or a date column (when it reads as a date); anything else is left out.
QString fittingDefault(const dbengine::DbColumn& c) {
    const QString& d = c.defaultValue;
    if (d.isEmpty())
        return d;
    const bool quoted = d.startsWith(QLatin1Char('\''));
    switch (c.kind) {
    case dbengine::DbColumn::Integer:
        return !quoted && !d.contains(QLatin1Char('.')) ? d : QString();
    case dbengine::DbColumn::Real:
        return quoted ? QString() : d;
    case dbengine::DbColumn::Text:
        return quoted ? d : QString();
    case dbengine::DbColumn::Date:
        return quoted && dbengine::SqlDialect::parseStoredDate(d.mid(1, d.size() - 2)).isValid() ? d : QString();
    default:
        return {};
    }
}

} // namespace

std::unique_ptr<dbengine::IDbConnection> openCopyEnd(const QString& path, bool target, QString& partial,
                                                     QString& error) {
    partial.clear();
    if (!target || path.endsWith(QLatin1String(".udl"), Qt::CaseInsensitive))
        return dbengine::DbProviders::open(zSvr::connectionString(path), error);
    const QFileInfo fi(path);
    if (fi.exists() && fi.size() > 0)
        return dbengine::SqliteConnection::create(path, error); // an empty database of its own
    // A name of this program's own next to the target: a leftover of a copy that was stopped is
    // replaced.
    partial = path + QStringLiteral(".dbtext-copy");
    QFile::remove(partial);
    QFile::remove(partial + QStringLiteral("-journal"));
    auto conn = dbengine::SqliteConnection::create(partial, error);
    if (!conn)
        partial.clear();
    return conn;
}

bool finishCopy(const QString& partial, const QString& target, bool copied, QString& error) {
    if (partial.isEmpty())
        return copied;
    if (copied) {
        const QFileInfo fi(target);
        if (fi.exists() && fi.size() == 0)
            QFile::remove(target); // the empty file given as the target
        if (QFile::rename(partial, target))
            return true;
        error = QStringLiteral("cannot put the copy in place as %1").arg(target);
    }
    QFile::remove(partial);
    QFile::remove(partial + QStringLiteral("-journal"));
    return false;
}

bool copyDatabase(dbengine::IDbConnection& from, dbengine::IDbConnection& to,
                  const std::function<void(qint64, qint64)>& progress, QString& error,
                  const std::function<void(const QString&)>& note) {
    QStringList sourceTables, targetTables;
    if (!from.tables(sourceTables, error) || !to.tables(targetTables, error))
        return false;
    if (!targetTables.isEmpty()) {
        error = QStringLiteral("the target already holds tables (%1); copy only into an empty database")
                    .arg(targetTables.join(QStringLiteral(", ")));
        return false;
    }
    struct Table {
        QString name;
        QList<dbengine::DbColumn> columns;
        qint64 rows = 0;
    };
    std::vector<Table> tables;
    qint64 total = 0;
    for (const char* wanted : {"kaUsr", "msDxml", "msDoc", "tbTree"}) {
        Table t;
        t.name = findTable(sourceTables, wanted);
        if (t.name.isEmpty()) {
            if (QLatin1String(wanted) == QLatin1String("msDxml"))
                continue; // a database without attached XML
            error = QStringLiteral("the source is no document database: it has no table %1").arg(QLatin1String(wanted));
            return false;
        }
        if (!from.columns(t.name, t.columns, error) || !countRows(from, t.name, t.rows, error) ||
            !fitKey(from, t.name, t.columns, error))
            return false;
        for (dbengine::DbColumn& c : t.columns)
            c.defaultValue = fittingDefault(c);
        total += t.rows;
        tables.push_back(t);
    }
    const bool server = to.databaseFile().isEmpty();
    qint32 changed = 0;
    if (!to.execute(QStringLiteral("BEGIN"), changed, error))
        return false;
    auto fail = [&](const QString& why) {
        error = why;
        QString ignored;
        to.execute(QStringLiteral("ROLLBACK"), changed, ignored);
        return false;
    };
    qint64 done = 0;
    if (progress)
        progress(0, total);
    for (const Table& t : tables) {
        QList<dbengine::DbColumn> spelled = t.columns;
        for (dbengine::DbColumn& c : spelled)
            c.name = canonicalName(c.name);
        if (!to.createTable(canonicalName(t.name), spelled, error))
            return fail(error);
        QStringList names;
        for (const dbengine::DbColumn& c : t.columns)
            names << quotedName(c.name);
        std::vector<QVariantList> batch;
        qint64 batchBytes = 0, row = 0;
        QString writeError;
        auto flush = [&] {
            const bool ok = to.insertRows(canonicalName(t.name), spelled, batch, writeError);
            if (!ok) // the engine counts within the batch: say which rows of the table it holds
                writeError =
                    QStringLiteral("rows %1 to %2: %3").arg(row - qint64(batch.size()) + 1).arg(row).arg(writeError);
            batch.clear();
            batchBytes = 0;
            return ok;
        };
        const bool read = from.queryEach(
            QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), quotedName(t.name)),
            [&](const QVariantList& values) {
                ++row;
                for (int c = 0; c < values.size(); ++c) {
                    const QVariant& v = values[c];
                    if (v.metaType().id() == QMetaType::QByteArray)
                        batchBytes += v.toByteArray().size();
                    else if (v.metaType().id() == QMetaType::QString) {
                        batchBytes += 2 * v.toString().size();
                        if (server && v.toString().contains(QChar(0))) {
                            writeError = QStringLiteral("row %1 of %2: the column %3 holds a NUL character, "
                                                        "which a server database cannot store")
                                             .arg(row)
                                             .arg(t.name, t.columns.value(c).name);
                            return false;
                        }
                    }
                }
                batch.push_back(values);
                if ((batch.size() >= 2000 || batchBytes >= (16 << 20)) && !flush())
                    return false;
                if (progress && row % 500 == 0)
                    progress(done + row, total);
                return true;
            },
            error);
        if (!writeError.isEmpty())
            return fail(QStringLiteral("%1: %2").arg(t.name, writeError));
        if (!read)
            return fail(QStringLiteral("reading %1: %2").arg(t.name, error));
        if (!batch.empty() && !flush())
            return fail(QStringLiteral("%1: %2").arg(t.name, writeError));
        done += row;
        if (progress)
            progress(done, total);
        qint64 copied = -1;
        if (!countRows(to, t.name, copied, error))
            return fail(error);
        if (copied != t.rows || row != t.rows)
            return fail(QStringLiteral("%1: %2 rows in the source, %3 read, %4 in the target")
                            .arg(t.name)
                            .arg(t.rows)
                            .arg(row)
                            .arg(copied));
    }
    if (note)
        note(QStringLiteral("making the indexes"));
    if (!to.createIndexes(error))
        return fail(QStringLiteral("making the indexes: %1").arg(error));
    if (note)
        note(QStringLiteral("committing"));
    if (!to.execute(QStringLiteral("COMMIT"), changed, error))
        return fail(error);
    return true;
}

} // namespace docdb
