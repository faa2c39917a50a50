// dbtext-icons OUTDIR: draws the program's icon (a page with a small page tree on it) as PNG files
// OUTDIR/SIZE/dbtext.png for the hicolor sizes, so that the icon is sharp at every size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage draw(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    // The page, with its corner folded.
    QPainterPath page;
    page.moveTo(10, 4);
    page.lineTo(42, 4);
    page.lineTo(54, 16);
    page.lineTo(54, 60);
    page.lineTo(10, 60);
    page.closeSubpath();
    p.setPen(QPen(QColor(70, 80, 100), 2.5));
    p.setBrush(QColor(250, 250, 245));
    p.drawPath(page);
    p.setBrush(QColor(215, 220, 230));
    p.drawPolygon(QPolygonF({QPointF(42, 4), QPointF(42, 16), QPointF(54, 16)}));
    // The tree: a root and three children joined by lines.
    p.setPen(QPen(QColor(30, 90, 170), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(20, 22), QPointF(20, 50));
    for (double y : {30.0, 40.0, 50.0})
        p.drawLine(QPointF(20, y), QPointF(30, y));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    p.drawRoundedRect(QRectF(15, 16, 10, 8), 2, 2);
    p.setBrush(QColor(220, 150, 40));
    for (double y : {30.0, 40.0, 50.0})
        p.drawRoundedRect(QRectF(30, y - 3.5, 16, 7), 2, 2);
    return img;
}

} // namespace

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
        if (!QDir().mkpath(dir) || !draw(size).save(dir + QStringLiteral("/dbtext.png"))) {
            std::fprintf(stderr, "dbtext-icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
