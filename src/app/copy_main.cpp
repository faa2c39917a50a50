// dbtext-copy: copies a document database between a .txdb file and a server database.
//
//   dbtext-copy FROM TO     each a .txdb file or a .udl data link
#include "docdb/DbCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <limits>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || args[0].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: dbtext-copy FROM TO\n"
                             "  copies a document database; FROM and TO are each a .txdb file or a .udl data link.\n"
                             "  TO must hold no tables yet; a .txdb that does not exist is made.\n");
        return 2;
    }
    // A copy takes as long as it takes: the reader's 30-second limit on one statement does not apply.
    dbengine::DbProviders::setCommandTimeout(std::numeric_limits<int>::max());
    QString error, partial;
    auto from = docdb::openCopyEnd(args[0], false, partial, error);
    if (!from) {
        std::fprintf(stderr, "dbtext-copy: cannot open %s: %s\n", qPrintable(args[0]), qPrintable(error));
        return 1;
    }
    auto to = docdb::openCopyEnd(args[1], true, partial, error);
    if (!to) {
        std::fprintf(stderr, "dbtext-copy: cannot open %s: %s\n", qPrintable(args[1]), qPrintable(error));
        return 1;
    }
    QElapsedTimer shown;
    shown.start();
    auto bar = [&](qint64 done, qint64 total) {
        if (done < total && shown.elapsed() < 100)
            return;
        shown.restart();
        const int width = 40;
        const int filled = total > 0 ? int(width * done / total) : width;
        std::fprintf(stderr, "\r[%s%s] %3d%% %lld/%lld rows", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), ' ').c_str(), total > 0 ? int(100 * done / total) : 100,
                     qlonglong(done), qlonglong(total));
        std::fflush(stderr);
    };
    const bool ok = docdb::copyDatabase(*from, *to, bar, error, [](const QString& step) {
        std::fprintf(stderr, "\n%s...", qPrintable(step));
        std::fflush(stderr);
    });
    std::fprintf(stderr, "\n");
    to.reset();
    if (!docdb::finishCopy(partial, args[1], ok, error)) {
        std::fprintf(stderr, "dbtext-copy: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "dbtext-copy: copied %s to %s\n", qPrintable(args[0]), qPrintable(args[1]));
    return 0;
}
