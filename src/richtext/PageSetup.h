// PageSetup: the page size of a stored page and the convention that carries it.
#pragma once

#include <QString>

namespace richtext {

/// Page size and margins of a document, in twips (1/1440 inch).
///
/// Convention for stored pages: an HTML page may carry
///     <meta name="dbtext-page" content="width=11906 height=16838 margin=1440 landscape=0">
/// (any of the keys may be left out). Without it a page is A4 portrait, 11906 × 16838 twips, with
/// 1440-twip (one inch) margins. "landscape=1" alone turns A4 sideways; width and height, when given,
/// are the page as it lies. The same values travel inside the reader's own copy (format 3).
struct PageSetup {
    int widthTw = 11906;
    int heightTw = 16838;
    int marginTw = 1440;
    bool landscape = false;

    /// Reads the convention's meta element from HTML text; the defaults where it is absent.
    static PageSetup fromHtml(const QString& html);
    /// Reads and writes the "key=value" list of the meta element's content.
    static PageSetup fromText(const QString& content);
    QString toText() const;

    /// Layout units are pixels at 96 per inch: 15 twips each.
    static constexpr double kTwipsPerUnit = 15.0;
    double widthPx() const { return widthTw / kTwipsPerUnit; }
    double heightPx() const { return heightTw / kTwipsPerUnit; }
    double marginPx() const { return marginTw / kTwipsPerUnit; }
    double contentWidthPx() const { return widthPx() - 2 * marginPx(); }

    bool operator==(const PageSetup&) const = default;
};

} // namespace richtext
