// dbtext-sample: builds a document database from its readable source folder.
#include "samples/builder/DocDbWriter.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: dbtext-sample SOURCE_FOLDER OUTPUT.txdb\n");
        return 2;
    }
    samples::DocDbContent content;
    QString error;
    if (!samples::readSource(args[1], content, error)) {
        std::fprintf(stderr, "dbtext-sample: %s\n", qPrintable(error));
        return 1;
    }
    // Write beside the target and rename, so that a failed build never leaves half a database.
    const QString tmp = args[2] + QStringLiteral(".tmp");
    if (!samples::writeDocDb(tmp, content, error)) {
        QFile::remove(tmp);
        std::fprintf(stderr, "dbtext-sample: %s\n", qPrintable(error));
        return 1;
    }
    QFile::remove(args[2]);
    if (!QFile::rename(tmp, args[2])) {
        std::fprintf(stderr, "dbtext-sample: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    std::printf("dbtext-sample: %lld pages, %lld placements -> %s\n", qlonglong(content.pages.size()),
                qlonglong(content.edges.size()), qPrintable(args[2]));
    return 0;
}
