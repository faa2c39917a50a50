// Fuzz target: the find index against the find statement. The input makes a small database (the kind
// of msDoc, then each page's text: bytes that may be invalid UTF-8 or hold NUL, "%" and "_", a Null,
// or a BLOB) and the words of several finds. Property: when the index is built and answers, its rows and
// their order are the statement's, exactly; a msDoc it cannot stand in for is never indexed.
#include "FuzzCheck.h"
#include "find/FindIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

const std::atomic_bool kGoOn{false};

QString describe(const QVector<find::FoundPage>& pages) {
    QStringList out;
    for (const find::FoundPage& p : pages)
        out << QString::number(p.no) + QLatin1Char(':') + p.title;
    return out.join(QLatin1Char(' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir* dir = [] {
        auto* d = new QTemporaryDir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(d->filePath(QStringLiteral("cache"))));
        return d;
    }();
    if (size < 2 || size > 4096)
        return 0;
    const QByteArray in = fuzzcheck::bytes(data, size);
    const int kind = quint8(in[0]) % 5;
    // Records separated by 0xFF: the pages' texts, the last record the words.
    QList<QByteArray> records = in.mid(1).split('\xff');
    const QByteArray words = records.takeLast();
    if (records.size() > 48)
        return 0;
    const QString db = dir->filePath(QStringLiteral("f.txdb"));
    QFile::remove(db);
    // Each run's database has the same name: its old index goes, so that only this run's answers.
    QFile::remove(find::findindex::indexPath(db));
    QFile::remove(find::findindex::indexPath(db) + QStringLiteral(".refused"));
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &h);
    sqlite3_exec(h, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    static const char* const schemas[] = {
        "CREATE TABLE msDoc (noDoc INTEGER PRIMARY KEY, szDoc TEXT, txDoc TEXT)",
        "CREATE TABLE m (noDoc INTEGER PRIMARY KEY, szDoc TEXT, txDoc TEXT); CREATE VIEW msDoc AS SELECT * FROM m",
        "CREATE TABLE msDoc (noDoc INTEGER, szDoc TEXT, txDoc TEXT, rowid INTEGER)",
        "CREATE TABLE msDoc (noDoc, szDoc, txDoc)",
        "CREATE TABLE msDoc (noDoc TEXT PRIMARY KEY, szDoc TEXT, txDoc TEXT) WITHOUT ROWID",
    };
    sqlite3_exec(h, schemas[kind], nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h,
                       kind == 1   ? "INSERT INTO m (noDoc, szDoc, txDoc) VALUES (?, ?, ?)"
                       : kind == 2 ? "INSERT INTO msDoc (noDoc, szDoc, txDoc, rowid) VALUES (?, ?, ?, 1)"
                                   : "INSERT INTO msDoc (noDoc, szDoc, txDoc) VALUES (?, ?, ?)",
                       -1, &st, nullptr);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QByteArray& r = records[i];
        sqlite3_reset(st);
        sqlite3_bind_int(st, 1, int(i) + 1);
        // Titles repeat, so that equal titles keep the statement's order.
        const QByteArray title = QByteArray("t") + QByteArray::number(r.size() % 4);
        sqlite3_bind_text(st, 2, title.constData(), int(title.size()), SQLITE_TRANSIENT);
        const int type = r.isEmpty() ? 0 : quint8(r[0]) % 8;
        const QByteArray text = r.mid(1);
        if (type == 0)
            sqlite3_bind_null(st, 3);
        else if (type == 1)
            sqlite3_bind_blob(st, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_text(st, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(h);

    QString error;
    const bool built = find::findindex::build(db, kGoOn, {}, error);
    fuzzcheck::check(!built || kind == 0 || kind == 2 || kind == 3,
                     "only an ordinary table with row numbers is indexed", error);
    // Several finds on one index: the words record holds them separated by 0xFE.
    for (const QByteArray& w : words.split('\xfe')) {
        const QString text = QString::fromUtf8(w);
        const std::optional<QVector<find::FoundPage>> statement = find::findindex::scan(db, text, kGoOn, &error);
        const std::optional<QVector<find::FoundPage>> indexed = find::findindex::find(db, text, kGoOn);
        if (indexed && statement)
            fuzzcheck::check(*indexed == *statement, "the index answers as the statement",
                             text + QStringLiteral("\nindex: ") + describe(*indexed) + QStringLiteral("\nstatement: ") +
                                 describe(*statement));
        fuzzcheck::check(!indexed || statement, "the index answers only what the statement answers");
    }
    return 0;
}
