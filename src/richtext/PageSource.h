// PageSource: a page as it was given to the document view, and the forms made from it (copy, HTML).
#pragma once

#include "richtext/PageSetup.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace richtext {

/// The page the view shows, kept as it came: the decoded text of the stored page (HTML or plain
/// text) and its page setup. Every document the view lays out (the flowing view, the paged view,
/// printed pages, PDF) is built from it, and the copy (save to memory) and the saved HTML carry it,
/// so that a copy loaded back shows exactly what the original showed.
struct PageSource {
    enum class Kind { Empty, Html, Plain };
    Kind kind = Kind::Empty;
    QString text;
    PageSetup page;

    bool operator==(const PageSource&) const = default;
};

/// Limits that keep any page quick to lay out. Ordinary pages stay far below them.
namespace limits {
constexpr int kTableDepth = 4;            // tables nested deeper are shown as plain blocks
constexpr int kBlockDepth = 48;           // blocks nested deeper (div, blockquote, lists …) are left out
constexpr int kImageSide = 4096;          // larger pictures are shown scaled down to this side
constexpr qsizetype kPartWeight = 400000; // heavier pages are shown in parts of about this weight
constexpr int kCellWeight = 250;          // a table cell weighs as much as this many characters,
                                          // twice as much for each level of nesting
} // namespace limits

/// One part of a page: a stretch of its text and, for an HTML page, the opening tags of the
/// elements (tables, rows, cells, preformatted text …) that the part begins inside of.
struct PagePart {
    qsizetype start = 0;
    qsizetype end = 0;
    QString reopen;
};

namespace source {

/// Decodes bytes of format 9 (a stored page: HTML or plain text, UTF-8 or CP932) or 3 (the reader's
/// copy). Empty bytes give an empty page. False for another format or a damaged copy.
bool decode(const QByteArray& bytes, int format, PageSource& out);

/// Whether text is HTML: it starts as an HTML document does, or holds an html, head or body tag, a
/// known element opened and closed again, or line breaks and pictures as tags. Plain text with
/// "<注意>", "1 < 2", "a<i>" or "<!--" is not HTML.
bool isHtml(const QString& text);

/// The reader's copy (format 3): a header line, the page setup, the kind, then the text verbatim.
QByteArray copyBytes(const PageSource& src);

/// HTML for the layout engine: the page's HTML with tables nested beyond the limit turned into
/// plain blocks and "data:" pictures replaced by short resource names (filled into images), so that
/// no page can make the layout run for minutes. Text is never dropped.
QString boundedHtml(const QString& html, QHash<QString, QString>& images);

/// The parts a page is shown in: one for an ordinary page. A page whose layout would take long
/// (by its length, and by its table cells, weighed by their nesting) is cut into parts of about
/// limits::kPartWeight, at the end of a paragraph, list or table row where there is one, else at a
/// line break in its text. Each part holds whole blocks and begins inside the same elements as the
/// text it continues, so a long table goes on as a table with the same borders.
QVector<PagePart> partition(const PageSource& src);

/// Part i of a page: for an HTML page its head (styles, title), the reopened elements and the part.
PageSource part(const PageSource& src, const QVector<PagePart>& parts, int i);

/// The page as an HTML file: for an HTML page its own text with a UTF-8 declaration and the page
/// setup's meta element; for plain text an HTML rendering of it. This is what the .htm file holds
/// and what the Office formats are made from.
QString htmlForFile(const PageSource& src);

} // namespace source
} // namespace richtext
