// DocDbWriter: SQLite schema of a document database, its writer and the sample source reader.
#include "samples/builder/DocDbWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextDocument>

#include <sqlite3.h>

namespace samples {

namespace {

const char* const kSchema = R"(
CREATE TABLE tbTree (
    noLfP INTEGER NOT NULL, noLfC INTEGER NOT NULL, inSrt INTEGER NOT NULL DEFAULT 0,
    szDoc TEXT, boLnk INTEGER NOT NULL DEFAULT 0, boHide INTEGER NOT NULL DEFAULT 0,
    boHogo INTEGER NOT NULL DEFAULT 0, dyUdt DATETIME, dyPub DATETIME,
    PRIMARY KEY (noLfP, noLfC));
CREATE INDEX tbTree_child ON tbTree (noLfC);
CREATE INDEX tbTree_order ON tbTree (noLfP, inSrt);
CREATE TABLE msDoc (
    noDoc INTEGER PRIMARY KEY, szDoc TEXT, obDoc BLOB, txDoc TEXT, dyUdt DATETIME, boCod INTEGER);
CREATE TABLE msDxml (noDxml INTEGER PRIMARY KEY, smDxml TEXT);
)";

QString dateText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

struct Db {
    sqlite3* db = nullptr;
    ~Db() { sqlite3_close(db); }
};

struct Stmt {
    sqlite3_stmt* st = nullptr;
    ~Stmt() { sqlite3_finalize(st); }
};

void bindText(sqlite3_stmt* st, int i, const QString& s, bool nullWhenEmpty = false) {
    if (nullWhenEmpty && s.isEmpty()) {
        sqlite3_bind_null(st, i);
        return;
    }
    const QByteArray u = s.toUtf8();
    sqlite3_bind_text(st, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

} // namespace

QString plainTextOf(const QByteArray& stored) {
    if (stored.isEmpty())
        return {};
    const QString text = QString::fromUtf8(stored);
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

bool writeDocDb(const QString& path, const DocDbContent& content, QString& error) {
    QFile::remove(path);
    Db d;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(d.db));
        return false;
    }
    auto exec = [&](const QByteArray& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(d.db, sql.constData(), nullptr, nullptr, &msg) != SQLITE_OK) {
            error = QString::fromUtf8(msg);
            sqlite3_free(msg);
            return false;
        }
        return true;
    };
    if (!exec("BEGIN") || !exec(kSchema))
        return false;
    if (content.markerTable) {
        if (!exec("CREATE TABLE kaUsr (DmFmt TEXT)"))
            return false;
        for (int i = 0; i < content.markerRows; ++i)
            if (!exec("INSERT INTO kaUsr (DmFmt) VALUES ('1')"))
                return false;
    }
    auto prepare = [&](Stmt& s, const char* sql) {
        if (sqlite3_prepare_v2(d.db, sql, -1, &s.st, nullptr) != SQLITE_OK) {
            error = QString::fromUtf8(sqlite3_errmsg(d.db));
            return false;
        }
        return true;
    };
    auto step = [&](Stmt& s) {
        if (sqlite3_step(s.st) != SQLITE_DONE) {
            error = QString::fromUtf8(sqlite3_errmsg(d.db));
            return false;
        }
        sqlite3_reset(s.st);
        sqlite3_clear_bindings(s.st);
        return true;
    };
    Stmt page, edge, dx;
    if (!prepare(page, "INSERT INTO msDoc (noDoc, szDoc, obDoc, txDoc, dyUdt, boCod) VALUES (?,?,?,?,?,?)") ||
        !prepare(edge,
                 "INSERT INTO tbTree (noLfP, noLfC, inSrt, szDoc, boLnk, boHide, dyUdt) VALUES (?,?,?,?,?,?,?)") ||
        !prepare(dx, "INSERT INTO msDxml (noDxml, smDxml) VALUES (?,?)"))
        return false;
    for (const PageRow& p : content.pages) {
        sqlite3_bind_int(page.st, 1, p.no);
        bindText(page.st, 2, p.title);
        if (p.obDoc)
            sqlite3_bind_blob(page.st, 3, p.obDoc->constData(), int(p.obDoc->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(page.st, 3);
        bindText(page.st, 4, p.txDoc.isEmpty() && p.obDoc ? plainTextOf(*p.obDoc) : p.txDoc);
        bindText(page.st, 5, dateText(p.updated), true);
        if (p.boCod)
            sqlite3_bind_int(page.st, 6, *p.boCod);
        else
            sqlite3_bind_null(page.st, 6);
        if (!step(page))
            return false;
    }
    for (const TreeRow& e : content.edges) {
        sqlite3_bind_int(edge.st, 1, e.parent);
        sqlite3_bind_int(edge.st, 2, e.child);
        sqlite3_bind_int(edge.st, 3, e.order);
        bindText(edge.st, 4, e.title);
        sqlite3_bind_int(edge.st, 5, e.boLnk);
        sqlite3_bind_int(edge.st, 6, e.boHide);
        bindText(edge.st, 7, dateText(e.updated), true);
        if (!step(edge))
            return false;
    }
    for (const auto& [no, xml] : content.dxml) {
        sqlite3_bind_int(dx.st, 1, no);
        bindText(dx.st, 2, xml);
        if (!step(dx))
            return false;
    }
    return exec("COMMIT");
}

bool readSource(const QString& dir, DocDbContent& content, QString& error) {
    QFile tree(dir + QStringLiteral("/tree.txt"));
    if (!tree.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1").arg(tree.fileName());
        return false;
    }
    const QStringList lines = QString::fromUtf8(tree.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression dateRe(QStringLiteral("date=(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2})"));
    const QDateTime base(QDate(2026, 11, 1), QTime(9, 0, 0));
    QVector<qint32> stack;        // page number per level
    QHash<qint32, int> nextOrder; // next inSrt per parent
    QHash<qint32, int> pageIndex; // page number -> index in content.pages
    int lineNo = 0;
    for (const QString& raw : lines) {
        ++lineNo;
        QString line = raw;
        line.remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        int indent = 0;
        while (indent < line.size() && line.at(indent) == QLatin1Char(' '))
            ++indent;
        if (indent % 2 != 0 || indent / 2 > stack.size()) {
            error = QStringLiteral("tree.txt line %1: bad indentation").arg(lineNo);
            return false;
        }
        const QStringList parts = line.trimmed().split(QLatin1Char('|'));
        bool ok = false;
        const qint32 no = parts.value(0).trimmed().toInt(&ok);
        if (!ok || no <= 0 || parts.size() < 2) {
            error = QStringLiteral("tree.txt line %1: expected \"number | title\"").arg(lineNo);
            return false;
        }
        const QString title = parts.value(1).trimmed();
        const QString attrs = parts.value(2).trimmed();
        const QStringList words = attrs.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto dm = dateRe.match(attrs);
        const QDateTime when = dm.hasMatch()
                                   ? QDateTime::fromString(dm.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                   : base.addSecs(qint64(no) * 3600);
        const int level = indent / 2;
        stack.resize(level);
        const qint32 parent = level == 0 ? 0 : stack.at(level - 1);
        stack.append(no);

        TreeRow e;
        e.parent = parent;
        e.child = no;
        e.order = ++nextOrder[parent];
        e.title = title;
        e.boLnk = words.contains(QStringLiteral("link")) ? 1 : 0;
        e.boHide = words.contains(QStringLiteral("hide")) ? 1 : 0;
        e.updated = when;
        content.edges.append(e);

        if (e.boLnk == 0 && !pageIndex.contains(no)) {
            PageRow p;
            p.no = no;
            p.title = title;
            p.updated = when;
            if (words.contains(QStringLiteral("code")))
                p.boCod = 1;
            else if (no % 2 == 0)
                p.boCod = 0; // odd pages keep a Null flag, which counts as 0
            if (!words.contains(QStringLiteral("null"))) {
                QFile html(QStringLiteral("%1/pages/%2.html").arg(dir).arg(no));
                if (!html.open(QIODevice::ReadOnly)) {
                    error = QStringLiteral("tree.txt line %1: missing %2").arg(lineNo).arg(html.fileName());
                    return false;
                }
                p.obDoc = html.readAll();
            }
            pageIndex.insert(no, int(content.pages.size()));
            content.pages.append(p);
        }
    }
    const QDir dxmlDir(dir + QStringLiteral("/dxml"));
    const QStringList xmlFiles = dxmlDir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    for (const QString& name : xmlFiles) {
        QFile f(dxmlDir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read %1").arg(f.fileName());
            return false;
        }
        content.dxml.append({QFileInfo(name).completeBaseName().toInt(), QString::fromUtf8(f.readAll())});
    }
    return true;
}

} // namespace samples
