// DocumentIo: saving a page in the six file formats, and drawing single pages.
#pragma once

#include "richtext/PageDocument.h"
#include "richtext/PageSetup.h"
#include "richtext/PageSource.h"

#include <QString>
#include <QVector>

#include <atomic>

class QPainter;

class QPdfWriter;

namespace richtext {

namespace pdflinks {
struct Link;
}

/// Format codes of the document view.
enum DocFormat : int {
    kFormatText = 1,   // plain text in the ANSI code page
    kFormatCopy = 3,   // the reader's own copy (save to memory, load from memory)
    kFormatHtml = 4,   // HTML, fields kept as anchors
    kFormatRtf = 5,    // rich text (LibreOffice)
    kFormatStored = 9, // a stored page when loading; Word 97-2003 when saving (LibreOffice)
    kFormatPdf = 12,   // PDF (Qt), fonts embedded, fields as link annotations
    kFormatDocx = 13,  // Word 2007 and later (LibreOffice)
};

/// Shared by a save running in the background and the window that waits for it.
struct SaveControl {
    std::atomic<bool> cancelled{false};
    std::atomic<int> done{0};  // pages written so far (PDF)
    std::atomic<int> total{0}; // pages to write (PDF), 0 while unknown
};

namespace docio {

/// Draws page `index` (0-based) of a paged document at scale (device pixels per layout unit),
/// with its top-left corner at the painter's origin.
void renderPage(QPainter& painter, const QTextDocument& paged, const PageSetup& page, int index, double scale);

/// Lays a page out as the page view does and draws its sheets onto a PDF being written, each part of
/// an over-long page from a new sheet, the sheets in the page's own size and orientation. `written`
/// counts the sheets drawn so far (the first one begins the painter), and grows by this page's. Its
/// links are added with their sheets, and each sheet's height in points to sheetHeights; with
/// withTitle the PDF takes the page's title. False with a reason when the painter cannot begin or
/// when control was cancelled.
bool drawPdfSheets(QPdfWriter& pdf, QPainter& painter, const PageSource& src, bool withTitle, int& written,
                   QVector<pdflinks::Link>& links, QVector<double>& sheetHeights, SaveControl* control,
                   QString& reason);

/// Saves the page to file in format (1, 4, 5, 9, 12, 13); may run in any thread. LibreOffice formats
/// use workFolder for their profile and intermediate files. False with a reason on failure or when
/// control->cancelled was set; the file is then left as it was. notice tells of a save that worked
/// but could not keep everything (characters the code page lacks).
bool saveFile(const PageSource& src, const QString& file, int format, const QString& workFolder, QString& reason,
              QString& notice, SaveControl* control = nullptr);

} // namespace docio
} // namespace richtext
