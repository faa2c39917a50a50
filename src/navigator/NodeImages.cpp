// NodeImages: theme icons where they fit, painted images otherwise.
#include "navigator/NodeImages.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace navigator {

namespace {

QPixmap canvas() {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return p;
}

void drawFolder(QPainter& g, bool open) {
    g.setPen(QColor(0x9a, 0x74, 0x16));
    g.setBrush(QColor(0xf5, 0xc8, 0x4c));
    g.drawRect(1, 4, 13, 10);
    g.drawRect(1, 2, 5, 2);
    if (open) {
        g.setBrush(QColor(0xfb, 0xe0, 0x8c));
        QPolygon lid({QPoint(3, 7), QPoint(15, 7), QPoint(13, 14), QPoint(1, 14)});
        g.drawPolygon(lid);
    }
}

void drawPage(QPainter& g) {
    g.setPen(QColor(0x60, 0x60, 0x60));
    g.setBrush(Qt::white);
    g.drawRect(3, 1, 10, 14);
    g.setPen(QColor(0x80, 0x9f, 0xc8));
    for (int y = 4; y <= 12; y += 2)
        g.drawLine(5, y, 11, y);
}

void drawCodeList(QPainter& g) {
    g.setPen(QColor(0x30, 0x50, 0x90));
    g.setBrush(QColor(0xe8, 0xf0, 0xff));
    g.drawRect(1, 1, 14, 14);
    for (int y = 4; y <= 12; y += 3) {
        g.fillRect(3, y, 2, 2, QColor(0x30, 0x50, 0x90));
        g.drawLine(6, y, 13, y);
    }
}

void drawLinkArrow(QPainter& g) {
    g.setPen(QPen(QColor(0x10, 0x60, 0x10), 1));
    g.setBrush(Qt::white);
    g.drawRect(0, 8, 7, 7);
    g.setPen(QPen(QColor(0x10, 0x80, 0x10), 1.5));
    g.drawLine(2, 13, 6, 9);
    g.drawLine(3, 9, 6, 9);
    g.drawLine(6, 9, 6, 12);
}

void drawTag(QPainter& g, bool open) {
    QPainterPath p;
    p.moveTo(1, 5);
    p.lineTo(6, 1);
    p.lineTo(15, 1);
    p.lineTo(15, 10);
    p.lineTo(6, 10);
    p.closeSubpath();
    g.setPen(QColor(0xa0, 0x30, 0x30));
    g.setBrush(open ? QColor(0xff, 0xb0, 0xa0) : QColor(0xe8, 0x60, 0x50));
    g.drawPath(p);
    g.setBrush(Qt::white);
    g.drawEllipse(QPointF(5, 5.5), 1.2, 1.2);
    if (open)
        g.drawLine(8, 12, 8, 15);
}

void drawMagnifier(QPainter& g) {
    g.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    g.setBrush(QColor(0xd0, 0xe8, 0xff));
    g.drawEllipse(2, 2, 8, 8);
    g.drawLine(9, 9, 14, 14);
}

void drawClock(QPainter& g) {
    g.setPen(QPen(QColor(0x30, 0x30, 0x60), 1.5));
    g.setBrush(QColor(0xf0, 0xf0, 0xff));
    g.drawEllipse(1, 1, 14, 14);
    g.drawLine(8, 8, 8, 4);
    g.drawLine(8, 8, 11, 9);
}

void drawGlobe(QPainter& g) {
    g.setPen(QColor(0x20, 0x60, 0xa0));
    g.setBrush(QColor(0xb0, 0xd8, 0xff));
    g.drawEllipse(1, 1, 14, 14);
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(5, 1, 6, 14);
    g.drawLine(1, 8, 15, 8);
}

void drawTree(QPainter& g) {
    g.setPen(QColor(0x40, 0x40, 0x40));
    g.drawLine(4, 3, 4, 13);
    g.drawLine(4, 8, 8, 8);
    g.drawLine(4, 13, 8, 13);
    g.fillRect(2, 1, 5, 4, QColor(0xf5, 0xc8, 0x4c));
    g.fillRect(9, 6, 5, 4, QColor(0x9f, 0xc0, 0xe8));
    g.fillRect(9, 11, 5, 4, QColor(0x9f, 0xc0, 0xe8));
}

void drawTitle(QPainter& g) {
    drawPage(g);
    g.fillRect(4, 2, 8, 3, QColor(0x30, 0x50, 0x90));
}

// Theme icon names that fit a key, in order of preference.
QStringList themeNames(const QString& base) {
    static const QHash<QString, QStringList> names{
        {QStringLiteral("ndlef"), {QStringLiteral("text-x-generic")}},
        {QStringLiteral("ndcls"), {QStringLiteral("folder")}},
        {QStringLiteral("ndopn"), {QStringLiteral("folder-open")}},
        {QStringLiteral("find"), {QStringLiteral("edit-find"), QStringLiteral("system-search")}},
        {QStringLiteral("rireki"), {QStringLiteral("document-open-recent")}},
        {QStringLiteral("ndweb"), {QStringLiteral("applications-internet"), QStringLiteral("internet-web-browser")}},
    };
    return names.value(base);
}

QPixmap themed(const QString& base) {
    for (const QString& name : themeNames(base)) {
        const QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull()) {
            QPixmap p = icon.pixmap(16, 16);
            if (!p.isNull() && p.size() == QSize(16, 16))
                return p;
        }
    }
    return {};
}

QPixmap make(const QString& key) {
    // Link variants are the page images with an arrow; code variants draw a list.
    const bool link = key.startsWith(QLatin1String("lk"));
    const QString base = link ? QStringLiteral("nd") + key.mid(2) : key;
    QPixmap p = themed(base);
    const bool fromTheme = !p.isNull();
    if (!fromTheme)
        p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing, true);
    if (!fromTheme) {
        if (base == QLatin1String("ndlef"))
            drawPage(g);
        else if (base == QLatin1String("ndcls"))
            drawFolder(g, false);
        else if (base == QLatin1String("ndopn"))
            drawFolder(g, true);
        else if (base == QLatin1String("ndcod"))
            drawCodeList(g);
        else if (base == QLatin1String("tgcls"))
            drawTag(g, false);
        else if (base == QLatin1String("tgopn"))
            drawTag(g, true);
        else if (base == QLatin1String("tree"))
            drawTree(g);
        else if (base == QLatin1String("title"))
            drawTitle(g);
        else if (base == QLatin1String("find"))
            drawMagnifier(g);
        else if (base == QLatin1String("rireki"))
            drawClock(g);
        else if (base == QLatin1String("ndweb"))
            drawGlobe(g);
    }
    if (link)
        drawLinkArrow(g);
    g.end();
    return p;
}

} // namespace

const QStringList& NodeImages::keys() {
    static const QStringList k{QStringLiteral("ndlef"), QStringLiteral("tgopn"), QStringLiteral("tgcls"),
                               QStringLiteral("tree"),  QStringLiteral("title"), QStringLiteral("ndopn"),
                               QStringLiteral("ndcls"), QStringLiteral("find"),  QStringLiteral("rireki"),
                               QStringLiteral("lklef"), QStringLiteral("lkcls"), QStringLiteral("lkopn"),
                               QStringLiteral("ndweb"), QStringLiteral("ndcod"), QStringLiteral("lkcod")};
    return k;
}

QIcon NodeImages::icon(const QString& key) {
    static QHash<QString, QIcon> cache;
    if (!keys().contains(key))
        return {};
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, QIcon(make(key)));
    return *it;
}

} // namespace navigator
