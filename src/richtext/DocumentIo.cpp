// DocumentIo: the file formats of the document view.
#include "richtext/DocumentIo.h"

#include "platform/TextCodec.h"
#include "richtext/OfficeConverter.h"
#include "richtext/OfficeLinks.h"
#include "richtext/PdfLinks.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryDir>

#include <memory>

namespace richtext::docio {

namespace {

const QString kCancelled = QStringLiteral("保存を中止しました");

bool writeWhole(const QString& file, const QByteArray& bytes, QString& reason) {
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    return true;
}

bool cancelled(const SaveControl* control, QString& reason) {
    if (control && control->cancelled) {
        reason = kCancelled;
        return true;
    }
    return false;
}

bool writePdf(const PageSource& src, const QString& file, QString& reason, SaveControl* control) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVector<pdflinks::Link> links;
    QVector<double> heights;
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("DB Text"));
        QPainter painter;
        int written = 0;
        if (!drawPdfSheets(pdf, painter, src, true, written, links, heights, control, reason))
            return false;
        painter.end();
    }
    QByteArray bytes = buffer.data();
    if (!pdflinks::append(bytes, links, src.page)) {
        reason = QStringLiteral("PDF にリンクを書き込めません");
        return false;
    }
    return !cancelled(control, reason) && writeWhole(file, bytes, reason);
}

// The page's plain text: a plain page as it is, an HTML page as laid out, part by part.
QString plainText(const PageSource& src, const SaveControl* control) {
    if (src.kind != PageSource::Kind::Html)
        return src.text;
    const QVector<PagePart> bounds = source::partition(src);
    QStringList parts;
    for (int p = 0; p < bounds.size() && !(control && control->cancelled); ++p) {
        PageDocument doc;
        doc.build(source::part(src, bounds, p));
        parts << doc.toPlainText();
    }
    return parts.join(QLatin1Char('\n'));
}

QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeOffice(const PageSource& src, const QString& file, int format, const QString& workFolder, QString& reason,
                 SaveControl* control) {
    const std::atomic<bool>* cancel = control ? &control->cancelled : nullptr;
    QDir().mkpath(workFolder);
    QTemporaryDir tmp(QDir(workFolder).absoluteFilePath(QStringLiteral("save-XXXXXX")));
    if (!tmp.isValid()) {
        reason = QStringLiteral("作業フォルダー %1 に書き込めません").arg(workFolder);
        return false;
    }
    officelinks::Map links;
    const QString html = officelinks::map(source::htmlForFile(src), links, format == kFormatStored);
    // LibreOffice needs about 20 s a megabyte of HTML on a slow machine; small pages get 90 s.
    const int timeout = OfficeConverter::kTimeoutMs + int(std::min<qsizetype>(html.size() / 50, 3600000));
    const QString unreadable = QStringLiteral("変換結果を読めません");
    auto convert = [&](const QString& ext, const QString& filter) {
        return OfficeConverter::convertHtml(html, tmp.path(), ext, filter, workFolder, reason, cancel, timeout);
    };
    // A .docx with the targets put back into its relationships; "" with a reason when that failed.
    auto mendedDocx = [&]() -> QString {
        const QString docx = convert(QStringLiteral("docx"), QStringLiteral("MS Word 2007 XML"));
        if (!docx.isEmpty() && !officelinks::mendDocx(docx, links)) {
            reason = unreadable;
            return {};
        }
        return docx;
    };
    QByteArray bytes;
    if (format == kFormatRtf) {
        const QString rtf = convert(QStringLiteral("rtf"), QStringLiteral("Rich Text Format"));
        if (rtf.isEmpty())
            return false;
        bytes = officelinks::mendRtf(readAll(rtf), links);
    } else if (format == kFormatStored) {
        const QString doc = convert(QStringLiteral("doc"), QStringLiteral("MS Word 97"));
        if (doc.isEmpty())
            return false;
        bytes = readAll(doc);
        if (!officelinks::mendDoc(bytes, links)) {
            // The field text was not found whole (a stream split across sectors): go through a
            // mended .docx, which keeps every target but percent-encodes non-ASCII relative ones.
            QFile::remove(doc);
            const QString docx = mendedDocx();
            const QString again = docx.isEmpty()
                                      ? QString()
                                      : OfficeConverter::convertFile(docx, tmp.path(), QStringLiteral("doc:MS Word 97"),
                                                                     workFolder, reason, cancel, timeout);
            if (again.isEmpty())
                return false;
            bytes = readAll(again);
        }
    } else {
        const QString docx = mendedDocx();
        if (docx.isEmpty())
            return false;
        bytes = readAll(docx);
    }
    if (bytes.isEmpty()) {
        reason = unreadable;
        return false;
    }
    return !cancelled(control, reason) && writeWhole(file, bytes, reason);
}

} // namespace

void renderPage(QPainter& painter, const QTextDocument& paged, const PageSetup& page, int index, double scale) {
    const double h = page.heightPx();
    const QRectF clip(0, index * h, page.widthPx(), h);
    painter.save();
    painter.scale(scale, scale);
    painter.translate(0, -index * h);
    painter.setClipRect(clip, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.clip = clip;
    ctx.palette.setColor(QPalette::Text, Qt::black);
    paged.documentLayout()->draw(&painter, ctx);
    painter.restore();
}

bool drawPdfSheets(QPdfWriter& pdf, QPainter& painter, const PageSource& src, bool withTitle, int& written,
                   QVector<pdflinks::Link>& links, QVector<double>& sheetHeights, SaveControl* control,
                   QString& reason) {
    const PageSetup& page = src.page;
    const QVector<PagePart> bounds = source::partition(src);
    const int parts = int(bounds.size());
    constexpr int kDpi = 1200;
    // The page as it lies: a landscape page is the portrait size turned, not a portrait page.
    const QSizeF inches(page.widthTw / 1440.0, page.heightTw / 1440.0);
    const bool wide = inches.width() > inches.height();
    const QPageLayout layout(QPageSize(wide ? inches.transposed() : inches, QPageSize::Inch),
                             wide ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
    // An over-long page is laid out and written one part after the other, so that memory stays
    // bounded; each part begins on a new sheet, as it does in the view.
    for (int p = 0; p < parts; ++p) {
        if (cancelled(control, reason))
            return false;
        std::unique_ptr<PageDocument> paged(
            PageDocument::buildPaged(source::part(src, bounds, p), nullptr, /*withoutAnchors=*/true));
        if (p == 0 && withTitle)
            pdf.setTitle(paged->metaInformation(QTextDocument::DocumentTitle));
        for (pdflinks::Link link : pdflinks::collect(*paged, page)) {
            link.page += written;
            links << link;
        }
        const int pages = std::max(1, paged->pageCount());
        if (control)
            control->total = parts > 1 ? parts : pages;
        for (int i = 0; i < pages; ++i) {
            if (cancelled(control, reason))
                return false;
            if (written == 0) {
                pdf.setResolution(kDpi);
                pdf.setPageLayout(layout);
                if (!painter.begin(&pdf)) {
                    reason = QStringLiteral("PDF を作成できません");
                    return false;
                }
            } else {
                pdf.setPageLayout(layout); // for the sheet that newPage begins
                pdf.newPage();
            }
            renderPage(painter, *paged, page, i, kDpi / 96.0);
            sheetHeights << page.heightTw / 20.0;
            ++written;
            if (control)
                control->done = parts > 1 ? p : i + 1;
        }
    }
    return true;
}

bool saveFile(const PageSource& src, const QString& file, int format, const QString& workFolder, QString& reason,
              QString& notice, SaveControl* control) {
    notice.clear();
    if (file.isEmpty()) {
        reason = QStringLiteral("ファイル名がありません");
        return false;
    }
    if (format == kFormatPdf)
        return writePdf(src, file, reason, control);
    switch (format) {
    case kFormatText: {
        QString text = plainText(src, control);
        if (cancelled(control, reason))
            return false;
        text.replace(QChar::Nbsp, QLatin1Char(' '));
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        qsizetype lost = 0;
        const QByteArray bytes = platform::TextCodec::toAnsi(text, nullptr, &lost);
        if (!writeWhole(file, bytes, reason))
            return false;
        if (lost > 0)
            notice = QStringLiteral("%1 文字は %2 で書けないため「?」で保存しました")
                         .arg(lost)
                         .arg(platform::TextCodec::ansiName());
        return true;
    }
    case kFormatHtml:
        return writeWhole(file, source::htmlForFile(src).toUtf8(), reason);
    case kFormatRtf:
    case kFormatStored:
    case kFormatDocx:
        return writeOffice(src, file, format, workFolder, reason, control);
    default:
        reason = QStringLiteral("保存できない形式です (%1)").arg(format);
        return false;
    }
}

} // namespace richtext::docio
