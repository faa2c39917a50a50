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
};

/// The links of a paged document's fields, one per field and line, in page order.
QVector<Link> collect(const PageDocument& paged, const PageSetup& page);

/// Adds link annotations to a PDF as QPdfWriter wrote it, as an incremental update (the original
/// bytes stay as they are). The link's data string is written verbatim (UTF-8). False when the PDF's
/// structure is not the expected one; pdf is then unchanged.
bool append(QByteArray& pdf, const QVector<Link>& links, const PageSetup& page);

/// A PDF literal string holding the UTF-8 bytes of text, with "\", "(", ")" and control bytes escaped.
QByteArray pdfString(const QString& text);

} // namespace pdflinks
} // namespace richtext
