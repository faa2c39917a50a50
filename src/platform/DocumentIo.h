// DocumentIo: loading a page from bytes and saving it in the six file formats and the reader's copy.
#pragma once

#include "platform/PageDocument.h"
#include "platform/PageSetup.h"

#include <QByteArray>
#include <QString>

class QPainter;

namespace platform {

/// Format codes of the document view.
enum DocFormat : int {
    kFormatText = 1,   // plain text in the ANSI code page
    kFormatCopy = 3,   // the reader's own lossless copy (save to memory, load from memory)
    kFormatHtml = 4,   // HTML, fields kept as anchors
    kFormatRtf = 5,    // rich text (LibreOffice)
    kFormatStored = 9, // a stored page when loading; Word 97-2003 when saving (LibreOffice)
    kFormatPdf = 12,   // PDF (Qt), fonts embedded, fields as link annotations
    kFormatDocx = 13,  // Word 2007 and later (LibreOffice)
};

namespace docio {

/// Loads bytes into doc. Format 9: HTML (Qt's rich-text subset) or plain text, UTF-8 or CP932,
/// told apart by content; the page size follows the page's "dbtext-page" meta element. Format 3:
/// the reader's copy. Empty bytes give an empty page. False for an unknown format or a damaged copy.
bool load(PageDocument& doc, PageSetup& page, const QByteArray& bytes, int format);

/// The reader's copy of a document (format 3): header, page setup, then the document as HTML.
QByteArray copyBytes(const QTextDocument& doc, const PageSetup& page);

/// The document as HTML with a UTF-8 charset declaration and the page-size meta element.
QString htmlOf(const QTextDocument& doc, const PageSetup& page);

/// Draws page `index` (0-based) of a paged document at scale (device pixels per layout unit),
/// with its top-left corner at the painter's origin.
void renderPage(QPainter& painter, const QTextDocument& paged, const PageSetup& page, int index, double scale);

/// Saves doc to file in format (1, 4, 5, 9, 12, 13). LibreOffice formats use workFolder for their
/// profile and intermediate files. False with a reason on failure; the file is then left as it was.
bool saveFile(const PageDocument& doc, const PageSetup& page, const QString& file, int format,
              const QString& workFolder, QString& reason);

} // namespace docio
} // namespace platform
