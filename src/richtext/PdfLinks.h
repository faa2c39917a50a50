// PdfLinks: the links of a page written into its PDF with their data strings exactly as stored.
#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QVector>

namespace richtext {

class PageDocument;
struct PageSetup;

namespace pdflinks {

/// One line of a field on one page: the area in points from the page's top-left, and the data string.
struct Link {
    int page = 0; // 0-based
    QRectF rect;
    QString uri;
    int target = -1; // a sheet of the same PDF the link leads to (0-based); -1: the URI as it is
};

/// One entry of a PDF's outline (bookmarks), in tree order: its title, its depth (0 at the top) and
/// the sheet it leads to (-1: none).
struct OutlineItem {
    QString title;
    int depth = 0;
    int sheet = -1;
};

/// The links of a paged document's fields, one per field and line, in page order.
QVector<Link> collect(const PageDocument& paged, const PageSetup& page);

/// Adds link annotations to a PDF as QPdfWriter wrote it, as an incremental update (the original
/// bytes stay as they are). The link's data string is written verbatim (UTF-8). False when the PDF's
/// structure is not the expected one; pdf is then unchanged.
bool append(QByteArray& pdf, const QVector<Link>& links, const PageSetup& page);

/// The incremental update that adds link annotations (to URIs, or to sheets of the PDF itself), an
/// outline and the view that opens it to a PDF of sheets of different sizes (heights in points, one a
/// sheet); it is to be written after the PDF's last byte. Only the PDF's trailer, cross-reference
/// table, catalog, page tree and the pages with links are read. False when the PDF's structure is
/// not the expected one.
bool bookUpdate(const QByteArray& pdf, const QVector<Link>& links, const QVector<double>& sheetHeights,
                const QVector<OutlineItem>& outline, QByteArray& update);

/// A PDF literal string holding the UTF-8 bytes of text, with "\", "(", ")" and control bytes escaped.
QByteArray pdfString(const QString& text);

} // namespace pdflinks
} // namespace richtext
