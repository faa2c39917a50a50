// dbtext-serverbench: a server database across a network. A private PostgreSQL server (as the tests
// make it) holds a copy of a generated database; a relay of our own in front of it holds every piece
// of data 0, 2 and 20 ms each way (loopback, a LAN, a WAN or a VPN). At each delay the reader's own
// paths are timed as the window runs them: opening to the first page shown, a node of 5,000 children
// until all are in the tree, a find of a rare and of a common word through the window's find engine,
// and a rename. The round trips each takes are counted at the relay. A page of 10 MB is read as
// well, with the memory it took at its peak.
//
//   dbtext-serverbench [PAGES]      (default 20000 pages of about 4 KB)
#include "app/Usr.h"
#include "bench/LargeDb.h"
#include "docdb/DbCopy.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/FindEngine.h"
#include "navigator/uTrX.h"
#include "platform/Environment.h"
#include "platform/ServerWait.h"
#include "richtext/RichTextView.h"
#include "samples/builder/DocDbWriter.h"
#include "support/DelayProxy.h"
#include "support/PgCluster.h"
#include "util/zClt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/// The screen as the navigator asks it, with nothing to show.
class NoScreen final : public platform::IScreen {
public:
    double twipsPerPixelX() const override { return 15; }
    double twipsPerPixelY() const override { return 15; }
    void setBusy(bool) override {}
};

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

/// The largest the process has been (VmHWM) since the last reset, in kB.
long peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

/// A database file put on the server under name (once: an existing database is kept).
bool onServer(testsupport::PgCluster& pg, const QString& file, const QString& name, QString& error) {
    QString exists;
    if (!pg.execute(QStringLiteral("postgres"),
                    QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = '%1'").arg(name), error, &exists))
        return false;
    if (exists == QLatin1String("1"))
        return true;
    if (!pg.createDatabase(name, error))
        return false;
    const QString udl = testsupport::writeUdl(file + QStringLiteral(".udl"), pg.initString(name));
    QString partial;
    auto from = docdb::openCopyEnd(file, false, partial, error);
    auto to = from ? docdb::openCopyEnd(udl, true, partial, error) : nullptr;
    return to && docdb::copyDatabase(*from, *to, {}, error);
}

struct Step {
    double seconds = 0;
    qint64 roundTrips = 0;
};

struct Row {
    int delay = 0;
    Step open, node, rare, common, rename, big;
    long bigPeakKb = 0;
};

/// Runs a find through the window's engine on its own connection until its rows are there.
Step timedFind(find::FindEngine& engine, const QString& words, testsupport::DelayProxy& proxy, qsizetype& rows) {
    QElapsedTimer t;
    t.start();
    const qint64 trips = proxy.roundTrips();
    QEventLoop loop;
    rows = -1;
    const auto c = QObject::connect(&engine, &find::FindEngine::found, &loop,
                                    [&](const QVector<find::FoundPage>& found, bool ok, const QString&) {
                                        rows = ok ? found.size() : -1;
                                        loop.quit();
                                    });
    engine.find(words);
    loop.exec();
    QObject::disconnect(c);
    return {seconds(t), proxy.roundTrips() - trips};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--read-page") == 0) {
        // Reads page 1 through the data link; prints the seconds and the peak above the open's, in kB.
        bench::SilentMessages messages;
        util::zClt clt;
        docdb::zSvr svr(messages, clt);
        bool ok = false;
        svr.D_StDcDb(QString::fromLocal8Bit(argv[2]), ok);
        resetPeak();
        const long before = peakKb();
        QElapsedTimer t;
        t.start();
        docdb::Recordset page;
        svr.R_Rset(docdb::sql::kDocument + QStringLiteral("1"), page, ok, 2);
        const double s = seconds(t);
        std::printf("%.3f %ld\n", s, peakKb() - before);
        return ok && page.field(0).toByteArray().size() >= (qsizetype(10) << 20) ? 0 : 1;
    }
    const int pages = argc > 1 ? std::atoi(argv[1]) : 20000;
    testsupport::PgCluster* pg = testsupport::PgCluster::shared();
    if (!pg) {
        std::fprintf(stderr, "no server: %s\n", qPrintable(testsupport::PgCluster::reason()));
        return 1;
    }
    // The databases: the generated one, and one page of 10 MB.
    const QString file = QStringLiteral("/tmp/dbtext-server-bench-%1.txdb").arg(pages);
    if (!QFile::exists(file))
        bench::mixedTextDb(file, pages, 4000);
    const QString bigFile = QStringLiteral("/tmp/dbtext-server-bench-big.txdb");
    const qsizetype bigBytes = qsizetype(10) << 20;
    if (!QFile::exists(bigFile)) {
        samples::DocDbContent big;
        samples::PageRow p;
        p.no = 1;
        p.title = QStringLiteral("十メガ");
        QByteArray html = "<html><body>";
        while (html.size() < bigBytes)
            html += "<p>データベースの文書 page text of ten megabytes, line after line.</p>\n";
        p.obDoc = html;
        p.txDoc = QStringLiteral("十メガ");
        big.pages << p;
        samples::TreeRow e;
        e.child = 1;
        e.title = p.title;
        big.edges << e;
        QString error;
        if (!samples::writeDocDb(bigFile, big, error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(bigFile), qPrintable(error));
            return 1;
        }
    }
    QElapsedTimer t;
    t.start();
    QString error;
    const QString name = QStringLiteral("bench%1").arg(pages);
    if (!onServer(*pg, file, name, error) || !onServer(*pg, bigFile, QStringLiteral("benchbig"), error)) {
        std::fprintf(stderr, "cannot copy to the server: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d pages on the private server (%.1f s to put them there)\n", pages, seconds(t));

    bench::SilentMessages messages;
    platform::QtServerWait wait(messages);
    util::zClt clt;
    NoScreen screen;
    std::vector<Row> table;
    int failures = 0;
    for (const int delay : {0, 2, 20}) {
        testsupport::DelayProxy proxy(pg->port(), delay);
        if (!proxy.start(error)) {
            std::fprintf(stderr, "no relay: %s\n", qPrintable(error));
            return 1;
        }
        Row row;
        row.delay = delay;
        const QString udl = testsupport::writeUdl(QStringLiteral("/tmp/dbtext-server-bench-%1ms.udl").arg(delay),
                                     pg->initString(name, proxy.port()));
        docdb::zSvr svr(messages, clt);
        svr.setServerWait(&wait);
        navigator::uTrX nav(svr, screen, messages);
        nav.setStamp([&](const QString& p, const QString& c, bool pub) { return app::stampStatement(svr, p, c, pub); });
        nav.resize(300, 600);
        nav.show();
        richtext::RichTextView view;
        view.resize(800, 600);

        // Open → first page: the database opened and checked, its top level read, page 1 shown.
        qint64 trips = proxy.roundTrips();
        t.restart();
        bool ok = false;
        svr.D_StDcDb(udl, ok);
        nav.ClearItem();
        QString top = QStringLiteral("0");
        nav.SetNodes(top);
        docdb::Recordset rs;
        svr.R_Rset(docdb::sql::kDocument + QStringLiteral("1"), rs, ok, 2);
        view.loadFromMemory(rs.field(0).toByteArray(), 9);
        row.open = {seconds(t), proxy.roundTrips() - trips};
        failures += !ok;

        // The node of 5,000 children, until every child is in the tree.
        QTreeWidgetItem* node = nav.node(QStringLiteral("N0-1"));
        trips = proxy.roundTrips();
        t.restart();
        QString key = QStringLiteral("N0-1");
        nav.SetNodes(key);
        while (node && node->childCount() < 5000 && t.elapsed() < 60000)
            QCoreApplication::processEvents();
        row.node = {seconds(t), proxy.roundTrips() - trips};
        failures += !node || node->childCount() != 5000;

        // Finds through the window's engine, on a connection of its own.
        find::FindEngine engine;
        engine.setDatabase(QString(), svr.connectionText());
        qsizetype rareRows = 0, commonRows = 0;
        row.rare = timedFind(engine, QStringLiteral("rw4242x"), proxy, rareRows);
        row.common = timedFind(engine, QStringLiteral("データベース"), proxy, commonRows);
        failures += rareRows < 0 || commonRows < 0;
        if (delay == 0)
            std::printf("finds: the rare word on %lld pages, the common one on %lld\n", qlonglong(rareRows),
                        qlonglong(commonRows));

        // A rename of a child of the node, as the label editor ends it.
        nav.trView()->setCurrentItem(node->child(7));
        trips = proxy.roundTrips();
        t.restart();
        nav.LabelEdited(QStringLiteral("改名 %1 ms").arg(delay));
        row.rename = {seconds(t), proxy.roundTrips() - trips};
        QCoreApplication::processEvents();

        // A page of 10 MB read whole, in a process of its own (so that no memory freed before is
        // reused), with the peak it takes above what the process held once the database was open.
        {
            const QString bigUdl = testsupport::writeUdl(QStringLiteral("/tmp/dbtext-server-bench-big-%1ms.udl").arg(delay),
                                            pg->initString(QStringLiteral("benchbig"), proxy.port()));
            QProcess reader;
            trips = proxy.roundTrips();
            reader.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read-page"), bigUdl});
            reader.waitForFinished(120000);
            const QList<QByteArray> out = reader.readAllStandardOutput().trimmed().split(' ');
            row.big = {out.value(0).toDouble(), proxy.roundTrips() - trips};
            row.bigPeakKb = out.value(1).toLong();
            failures += reader.exitCode() != 0 || out.size() != 2;
        }
        table.push_back(row);
    }

    std::printf("\n%-9s %-22s %-22s %-22s %-22s %-22s %-22s\n", "each way", "open -> first page", "node of 5,000",
                "find rare", "find common", "rename", "10 MB page");
    for (const Row& r : table) {
        auto cell = [](const Step& s) { return QStringLiteral("%1 s (%2 trips)").arg(s.seconds, 0, 'f', 3).arg(s.roundTrips); };
        std::printf("%-9s %-22s %-22s %-22s %-22s %-22s %-22s\n", qPrintable(QStringLiteral("%1 ms").arg(r.delay)),
                    qPrintable(cell(r.open)), qPrintable(cell(r.node)), qPrintable(cell(r.rare)),
                    qPrintable(cell(r.common)), qPrintable(cell(r.rename)), qPrintable(cell(r.big)));
    }
    std::printf("\nthe 10 MB page's read took at its peak (above what the process held before):");
    for (const Row& r : table)
        std::printf(" %.1f MB (%.1f copies) at %d ms;", r.bigPeakKb / 1024.0, r.bigPeakKb * 1024.0 / double(bigBytes),
                    r.delay);
    std::printf("\n");
    if (failures)
        std::printf("%d steps FAILED\n", failures);
    return failures ? 1 : 0;
}
