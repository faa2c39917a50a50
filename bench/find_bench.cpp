// dbtext-findbench: the find at scale. On a generated database of 100,000 pages of about 4 KB of
// mixed Japanese and ASCII text it times the find statement against the find index for several kinds
// of words (checking that the rows are the same), the index build and size, opening and showing the
// first page, expanding a node of 5,000 children, and the memory after browsing 1,000 pages.
//
//   dbtext-findbench [DATABASE] [PAGES] [SERVER.udl]    (default /tmp/dbtext-find-bench.txdb, 100000)
//   dbtext-findbench --man [DATABASE] [PAGES]           (default /tmp/dbtext-man-bench.txdb, 100000)
//   dbtext-findbench --export-man [DATABASE]            (default /tmp/dbtext-man-3315.txdb)
//
// --man: real text. Debian's manpages-ja rendered as text and repeated to PAGES pages; `dbtext
// --find` is timed as whole processes against the sqlite3 program running the find statement (the
// same rows in the same order), with the peak memory of each, the index build as a process of its
// own, and the first find of a fresh process through the find engine, as the window makes it.
//
// With a data link to a copy of the database on a PostgreSQL server (made with dbtext-copy), the
// opening, the node and the finds are timed through it as well.
#include "bench/LargeDb.h"
#include "bench/ManCorpus.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/FindEngine.h"
#include "find/FindIndex.h"
#include "platform/MessageBox.h"
#include "richtext/RichTextView.h"
#include "samples/builder/DocDbWriter.h"
#include "util/zClt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

using bench::SilentMessages;

double seconds(QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

long rssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

/// Shows page 1 in the view, as opening a database does.
void showFirstPage(docdb::zSvr& svr, richtext::RichTextView& view) {
    bool ok = false;
    docdb::Recordset rs;
    svr.R_Rset(docdb::sql::kDocument + QStringLiteral("1"), rs, ok, 2);
    view.loadFromMemory(rs.field(0).toByteArray(), 9);
}

/// Expands the node of 5,000 children: the children and whether each has children of its own.
void timeExpand(docdb::zSvr& svr) {
    QElapsedTimer t;
    t.start();
    QString sql = docdb::sql::kChildren;
    sql.replace(QLatin1Char('?'), QLatin1String("1"));
    docdb::RowArray rows;
    qint32 n = 0;
    svr.R_Ary(sql, rows, n);
    QString parents = docdb::sql::kChildParents; // which children have children, as the tree reads it
    docdb::RowArray found;
    qint32 m = 0;
    svr.R_Ary(parents.replace(QLatin1Char('?'), QLatin1String("1")), found, m);
    std::printf("expand a node of %d children (%d with children): %.3f s\n", n, m, seconds(t));
}

/// The find statement as the sqlite3 program is given it, for the words of a find text.
QString statementFor(const QString& words) {
    const QString condition = find::findCondition(words);
    return QStringLiteral("select noDoc, szDoc from msDoc") +
           (condition.isEmpty() ? QString() : QStringLiteral(" where ") + condition) + QStringLiteral(" order by szDoc");
}

/// The real-text bench (--man).
int realText(const QString& db, int pages, const QString& self) {
    QElapsedTimer t;
    if (!QFile::exists(db)) {
        QString error;
        if (!bench::writeManCorpus(db, pages, error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(db), qPrintable(error));
            return 1;
        }
    }
    const QString dbtext = QFileInfo(self).absolutePath() + QStringLiteral("/../src/app/dbtext");
    std::printf("database %s: %.0f MB\n", qPrintable(db), QFileInfo(db).size() / 1e6);

    // The build, as a process of its own: its time and its peak memory.
    const bench::ProcessRun build = bench::runProcess(self, {QStringLiteral("--build"), db});
    std::printf("index build and read-back: %.1f s, peak %.0f MB, index %.0f MB%s\n", build.seconds,
                build.maxRssKb / 1024.0,
                QFileInfo(find::findindex::indexPath(db)).size() / 1e6, build.exitCode == 0 ? "" : " FAILED");
    const bench::ProcessRun first = bench::runProcess(self, {QStringLiteral("--first-find"), db, QStringLiteral("chroot")});
    std::printf("first find of a fresh process through the find engine: %s", first.out.constData());

    struct Case {
        const char* kind;
        QString words;
    };
    const Case cases[] = {
        {"3+ ASCII, rare", QStringLiteral("pivot_root")},
        {"3+ ASCII, common", QStringLiteral("option")},
        {"3+ ASCII, other case", QStringLiteral("POSIX")},
        {"3+ Japanese, rare", QStringLiteral("擬似端末")},
        {"3+ Japanese, common", QStringLiteral("ファイル")},
        {"3+ wildcard \"_\"", QStringLiteral("set_uid")},
        {"3+ wildcard \"%\"", QStringLiteral("シグナル%ハンドラ")},
        {"3+ two words", QStringLiteral("chroot ディレクトリ")},
        {"3+ absent", QStringLiteral("zzqxyy")},
        {"1-2 ASCII", QStringLiteral("ls")},
        {"1-2 Japanese", QStringLiteral("設定")},
        {"1-2 one character", QStringLiteral("の")},
    };
    std::printf("\n%-24s %7s %10s %8s %10s %8s %7s %s\n", "words", "rows", "sqlite3", "MB", "dbtext", "MB", "ratio",
                "same rows");
    bool allSame = true;
    for (const Case& c : cases) {
        // Each best of three: the file's pages are in memory for both alike.
        bench::ProcessRun statement, ours;
        statement.seconds = ours.seconds = 1e9;
        for (int i = 0; i < 3; ++i) {
            const bench::ProcessRun s = bench::runProcess(
                QStringLiteral("/usr/bin/sqlite3"), {QStringLiteral("-separator"), QStringLiteral("\t"), db, statementFor(c.words)});
            if (s.seconds < statement.seconds)
                statement = s;
            const bench::ProcessRun o = bench::runProcess(dbtext, {QStringLiteral("--find"), c.words, db});
            if (o.seconds < ours.seconds)
                ours = o;
        }
        const bool same = statement.exitCode == 0 && ours.exitCode == 0 && statement.out == ours.out;
        allSame = allSame && same;
        std::printf("%-24s %7lld %9.3fs %8.0f %9.3fs %8.0f %7.2f %s\n", c.kind, qlonglong(ours.out.count('\n')),
                    statement.seconds, statement.maxRssKb / 1024.0, ours.seconds, ours.maxRssKb / 1024.0,
                    ours.seconds / statement.seconds, same ? "yes" : "NO");
    }
    return allSame ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2 && std::strcmp(argv[1], "--build") == 0) {
        // A build alone (for its peak memory as a process).
        QCoreApplication core(argc, argv);
        const QString db = QString::fromLocal8Bit(argv[2]);
        QFile::remove(find::findindex::indexPath(db));
        const std::atomic_bool never{false};
        QString error;
        // As the window's engine and dbtext --find do it: built, then read back whole once.
        return find::findindex::build(db, never, {}, error) && find::findindex::verifyWhole(db) ? 0 : 1;
    }
    if (argc > 3 && std::strcmp(argv[1], "--first-find") == 0) {
        // The first find of a process, through the engine the window uses, until its rows are there.
        QCoreApplication core(argc, argv);
        QElapsedTimer t;
        t.start();
        find::FindEngine engine;
        engine.setDatabase(QString::fromLocal8Bit(argv[2]));
        qsizetype rows = -1;
        QObject::connect(&engine, &find::FindEngine::found, &core, [&](const QVector<find::FoundPage>& found, bool ok) {
            rows = ok ? found.size() : -1;
            core.quit();
        });
        engine.find(QString::fromLocal8Bit(argv[3]));
        core.exec();
        std::printf("%lld rows in %.3f s, RSS %.0f MB\n", qlonglong(rows), seconds(t), rssKb() / 1024.0);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--export-man") == 0) {
        // A real manual of 3,315 pages exported whole by dbtext --export, as PDF and as HTML.
        QApplication app(argc, argv);
        const QString db = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/dbtext-man-3315.txdb");
        QString error;
        if (!QFile::exists(db) && !bench::writeManCorpus(db, 3315, error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(db), qPrintable(error));
            return 1;
        }
        const QString dbtext = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/dbtext");
        int failed = 0;
        for (const QString& out : {QStringLiteral("/tmp/dbtext-man-3315.pdf"), QStringLiteral("/tmp/dbtext-man-3315.html")}) {
            const bench::ProcessRun run = bench::runProcess(dbtext, {QStringLiteral("--export"), QStringLiteral("0"), out, db});
            std::printf("export of 3,315 pages to %s: %.1f s, peak %.0f MB, %.0f MB written%s\n", qPrintable(out),
                        run.seconds, run.maxRssKb / 1024.0, QFileInfo(out).size() / 1e6,
                        run.exitCode == 0 ? "" : " FAILED");
            failed += run.exitCode != 0;
        }
        return failed;
    }
    if (argc > 1 && std::strcmp(argv[1], "--man") == 0) {
        QApplication app(argc, argv);
        return realText(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/dbtext-man-bench.txdb"),
                        argc > 3 ? std::atoi(argv[3]) : 100000, QCoreApplication::applicationFilePath());
    }
    QApplication app(argc, argv);
    const QString db = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/dbtext-find-bench.txdb");
    const int pages = argc > 2 ? std::atoi(argv[2]) : 100000;
    QElapsedTimer t;
    if (!QFile::exists(db)) {
        t.start();
        bench::mixedTextDb(db, pages, 4000);
        std::printf("generated %d pages in %.1f s\n", pages, seconds(t));
    }
    std::printf("database %s: %.0f MB\n", qPrintable(db), QFileInfo(db).size() / 1e6);

    // DBTEXT_FIND_PROFILE=WORDS: only the indexed find of WORDS, 20 times (for a profiler).
    if (const QString only = qEnvironmentVariable("DBTEXT_FIND_PROFILE"); !only.isEmpty()) {
        const std::atomic_bool go{false};
        qsizetype rows = 0;
        double total = 0, best = 1e9, first = 0;
        for (int i = 0; i < 20; ++i) {
            t.start();
            rows = find::findindex::find(db, only, go).value_or(QVector<find::FoundPage>()).size();
            if (i == 0)
                first = seconds(t); // the first of a process sums the index's checksum too
            total += seconds(t);
            best = std::min(best, seconds(t));
        }
        std::printf("%lld rows, first %.4f s, %.4f s a find, best %.4f s\n", qlonglong(rows), first, total / 20, best);
        return 0;
    }
    SilentMessages messages;
    const util::zClt clt;
    const std::atomic_bool never{false};

    // Open → first page shown.
    t.start();
    docdb::zSvr svr(messages, clt);
    bool ok = false;
    svr.D_StDcDb(db, ok);
    richtext::RichTextView view;
    view.resize(900, 700);
    showFirstPage(svr, view);
    std::printf("open -> first page: %.3f s\n", seconds(t));
    timeExpand(svr);

    // The index.
    QFile::remove(find::findindex::indexPath(db));
    QString error;
    t.start();
    const bool built = find::findindex::build(db, never, {}, error);
    std::printf("index build: %.1f s%s\n", seconds(t), built ? "" : qPrintable(QStringLiteral(" FAILED ") + error));
    qint64 textBytes = 0;
    {
        QVariant v;
        svr.R_GtVaL(QStringLiteral("Select Sum(Length(CAST(txDoc AS BLOB))) From msDoc"), v, QVariant(0));
        textBytes = v.toLongLong();
    }
    const qint64 indexBytes = QFileInfo(find::findindex::indexPath(db)).size();
    std::printf("text %.0f MB, index %.0f MB (%.2f x the text)\n", textBytes / 1e6, indexBytes / 1e6,
                double(indexBytes) / double(std::max<qint64>(1, textBytes)));

    struct Case {
        const char* kind;
        QString words;
    };
    const Case cases[] = {
        {"3+ ASCII, rare", QStringLiteral("rw12345x")},
        {"3+ ASCII, common, other case", QStringLiteral("FUNCTION")},
        {"3+ Japanese, common", QStringLiteral("データベース")},
        {"3+ Japanese, rare", QStringLiteral("語1234 ")},
        {"3+ wildcard \"_\"", QStringLiteral("rw12_45x")},
        {"3+ wildcard \"%\", Japanese", QStringLiteral("語12%ファイル")},
        {"3+ wildcards, one trigram", QStringLiteral("rw1_34%x")},
        {"3+ two words", QStringLiteral("rw777x function")},
        {"3+ two Japanese words", QStringLiteral("語99 コマンド")},
        {"3+ absent", QStringLiteral("zzzyyy")},
        {"1-2 ASCII", QStringLiteral("rw")},
        {"1-2 Japanese", QStringLiteral("設定")},
        {"1-2 one character", QStringLiteral("の")},
        {"1-2 wildcard", QStringLiteral("_")},
    };
    std::printf("\n%-30s %8s %10s %10s %7s %s\n", "words", "rows", "statement", "index", "ratio", "same rows");
    bool allSame = true;
    for (const Case& c : cases) {
        t.start();
        bool read = false;
        const QVector<find::FoundPage> statement = find::findPages(svr, c.words, &read);
        const double s = seconds(t);
        double best = 1e9;
        std::optional<QVector<find::FoundPage>> indexed;
        for (int i = 0; i < 3; ++i) {
            t.start();
            indexed = find::findindex::find(db, c.words, never);
            best = std::min(best, seconds(t));
        }
        const bool same = read && indexed && *indexed == statement;
        allSame = allSame && same;
        std::printf("%-30s %8lld %9.3fs %9.4fs %6.1fx %s\n", c.kind, qlonglong(statement.size()), s, best, s / best,
                    same ? "yes" : "NO");
    }

    if (argc > 3) {
        const QString udl = QString::fromLocal8Bit(argv[3]);
        t.start();
        docdb::zSvr server(messages, clt);
        server.D_StDcDb(udl, ok);
        if (!ok) {
            std::printf("\nserver %s: cannot open: %s\n", qPrintable(udl), qPrintable(server.lastError()));
            return 1;
        }
        showFirstPage(server, view);
        std::printf("\nserver %s\nopen -> first page: %.3f s\n", qPrintable(udl), seconds(t));
        timeExpand(server);
        std::printf("%-30s %8s %10s %s\n", "words", "rows", "server", "same rows as the file");
        for (const Case& c : cases) {
            t.start();
            bool read = false;
            const QVector<find::FoundPage> found = find::findPages(server, c.words, &read);
            const double s = seconds(t);
            const bool same = read && found == find::findPages(svr, c.words);
            allSame = allSame && same;
            std::printf("%-30s %8lld %9.3fs %s\n", c.kind, qlonglong(found.size()), s, same ? "yes" : "NO");
        }
    }
    // Browsing: 1,000 pages shown one after another in the view.
    for (int no = 2; no <= 1001; ++no) {
        docdb::Recordset rs;
        svr.R_Rset(docdb::sql::kDocument + QString::number(no), rs, ok, 2);
        view.loadFromMemory(rs.field(0).toByteArray(), 9);
    }
    std::printf("\nRSS after browsing 1,000 pages (and the finds): %.0f MB\n", rssKb() / 1024.0);
    return allSame ? 0 : 1;
}
