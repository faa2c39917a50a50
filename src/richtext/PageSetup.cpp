// PageSetup: parsing and writing the page-size convention.
#include "richtext/PageSetup.h"

#include <QRegularExpression>

namespace richtext {

PageSetup PageSetup::fromText(const QString& content) {
    PageSetup p;
    bool sized = false;
    static const QRegularExpression pair(QStringLiteral("(\\w+)\\s*=\\s*(-?\\d+)"));
    auto it = pair.globalMatch(content);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString key = m.captured(1).toLower();
        const int v = m.captured(2).toInt();
        if (key == QLatin1String("width") && v >= 1440 && v <= 1440 * 60) {
            p.widthTw = v;
            sized = true;
        } else if (key == QLatin1String("height") && v >= 1440 && v <= 1440 * 60) {
            p.heightTw = v;
            sized = true;
        } else if (key == QLatin1String("margin") && v >= 0) {
            p.marginTw = v;
        } else if (key == QLatin1String("landscape")) {
            p.landscape = v != 0;
        }
    }
    if (p.landscape && !sized)
        std::swap(p.widthTw, p.heightTw);
    // Margins never take more than a third of the width or height.
    p.marginTw = std::min({p.marginTw, p.widthTw / 3, p.heightTw / 3});
    return p;
}

QString PageSetup::toText() const {
    return QStringLiteral("width=%1 height=%2 margin=%3 landscape=%4")
        .arg(widthTw)
        .arg(heightTw)
        .arg(marginTw)
        .arg(landscape ? 1 : 0);
}

PageSetup PageSetup::fromHtml(const QString& html) {
    static const QRegularExpression meta(
        QStringLiteral("<meta\\s+name\\s*=\\s*[\"']dbtext-page[\"']\\s+content\\s*=\\s*[\"']([^\"']*)[\"']"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = meta.match(html);
    return m.hasMatch() ? fromText(m.captured(1)) : PageSetup();
}

} // namespace richtext
