// dbtext-icons OUTDIR: draws the program's icon (a page with a small page tree on it) as PNG files
// OUTDIR/SIZE/dbtext.png for the hicolor sizes, so that the icon is sharp at every size.
#include "platform/AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dbtext-icons OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = out + QStringLiteral("/%1").arg(size);
        if (!QDir().mkpath(dir) || !platform::appIcon(size).save(dir + QStringLiteral("/dbtext.png"))) {
            std::fprintf(stderr, "dbtext-icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
