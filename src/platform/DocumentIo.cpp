// DocumentIo: formats of the document view.
#include "platform/DocumentIo.h"

#include "platform/OfficeConverter.h"
#include "platform/TextCodec.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QUrl>

namespace platform::docio {

namespace {

const QByteArray kCopyMagic = QByteArrayLiteral("DBTEXT-COPY 1\n");

QString decodeStored(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (TextCodec::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return TextCodec::fromAnsi(bytes);
}

bool looksLikeHtml(const QString& text) {
    const QString head = text.left(2048).trimmed();
    return head.startsWith(QLatin1Char('<')) || Qt::mightBeRichText(text.left(4096));
}

bool writeWhole(const QString& file, const QByteArray& bytes, QString& reason) {
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    return true;
}

// Relative data strings (TG_25, TP_…, C:\docs) are rewritten by LibreOffice; as fragment links
// ("#TG_25") they pass through every format unchanged. Addresses with a scheme stay as they are.
QString mapFieldsForOffice(const QTextDocument& doc, const PageSetup& page) {
    std::unique_ptr<QTextDocument> copy(doc.clone());
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QTextCharFormat cf = f.charFormat();
            if (!cf.isAnchor() || cf.anchorHref().isEmpty())
                continue;
            const QString href = cf.anchorHref();
            const QUrl url(href);
            if (url.isValid() && url.scheme().size() > 1)
                continue;
            cf.setAnchorHref(QLatin1Char('#') + href);
            QTextCursor c(copy.get());
            c.setPosition(f.position());
            c.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            c.setCharFormat(cf);
        }
    }
    return htmlOf(*copy, page);
}

bool writePdf(const PageDocument& doc, const PageSetup& page, const QString& file, QString& reason) {
    std::unique_ptr<PageDocument> paged(doc.pagedCopy(page, nullptr));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    {
        QPdfWriter pdf(&out);
        constexpr int kDpi = 1200;
        pdf.setResolution(kDpi);
        pdf.setPageSize(QPageSize(QSizeF(page.widthTw / 1440.0, page.heightTw / 1440.0), QPageSize::Inch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageOrientation(page.widthTw > page.heightTw ? QPageLayout::Landscape : QPageLayout::Portrait);
        pdf.setPageSize(QPageSize(QSizeF(page.widthTw / 1440.0, page.heightTw / 1440.0), QPageSize::Inch));
        pdf.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
        pdf.setCreator(QStringLiteral("DB Text"));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            reason = QStringLiteral("PDF を作成できません");
            out.cancelWriting();
            return false;
        }
        const int pages = std::max(1, paged->pageCount());
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                pdf.newPage();
            renderPage(painter, *paged, page, i, kDpi / 96.0);
        }
        painter.end();
    }
    if (!out.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(file);
        return false;
    }
    return true;
}

} // namespace

QString htmlOf(const QTextDocument& doc, const PageSetup& page) {
    QString html = doc.toHtml();
    const QString meta = QStringLiteral("<meta name=\"dbtext-page\" content=\"%1\" />").arg(page.toText());
    const qsizetype head = html.indexOf(QStringLiteral("<head>"));
    if (head >= 0)
        html.insert(head + 6, meta);
    return html;
}

QByteArray copyBytes(const QTextDocument& doc, const PageSetup& page) {
    return kCopyMagic + page.toText().toUtf8() + '\n' + doc.toHtml().toUtf8();
}

bool load(PageDocument& doc, PageSetup& page, const QByteArray& bytes, int format) {
    if (format != kFormatStored && format != kFormatCopy)
        return false;
    page = PageSetup();
    if (bytes.isEmpty()) {
        doc.clear();
        doc.collectFields();
        return true;
    }
    if (format == kFormatCopy || bytes.startsWith(kCopyMagic)) {
        if (!bytes.startsWith(kCopyMagic))
            return false;
        const qsizetype nl = bytes.indexOf('\n', kCopyMagic.size());
        if (nl < 0)
            return false;
        page = PageSetup::fromText(QString::fromUtf8(bytes.mid(kCopyMagic.size(), nl - kCopyMagic.size())));
        doc.setHtml(QString::fromUtf8(bytes.mid(nl + 1)));
        doc.collectFields();
        return true;
    }
    const QString text = decodeStored(bytes);
    if (looksLikeHtml(text)) {
        page = PageSetup::fromHtml(text);
        doc.setHtml(text);
    } else {
        doc.setPlainText(text);
    }
    doc.collectFields();
    return true;
}

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

bool saveFile(const PageDocument& doc, const PageSetup& page, const QString& file, int format,
              const QString& workFolder, QString& reason) {
    if (file.isEmpty()) {
        reason = QStringLiteral("ファイル名がありません");
        return false;
    }
    switch (format) {
    case kFormatText: {
        QString text = doc.toPlainText();
        text.replace(QChar::Nbsp, QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return writeWhole(file, TextCodec::toAnsi(text), reason);
    }
    case kFormatHtml:
        return writeWhole(file, htmlOf(doc, page).toUtf8(), reason);
    case kFormatPdf:
        return writePdf(doc, page, file, reason);
    case kFormatRtf:
    case kFormatStored:
    case kFormatDocx: {
        const QString filter = format == kFormatRtf    ? QStringLiteral("Rich Text Format")
                               : format == kFormatDocx ? QStringLiteral("MS Word 2007 XML")
                                                       : QStringLiteral("MS Word 97");
        const QString ext = format == kFormatRtf    ? QStringLiteral("rtf")
                            : format == kFormatDocx ? QStringLiteral("docx")
                                                    : QStringLiteral("doc");
        QDir().mkpath(workFolder);
        QTemporaryDir tmp(QDir(workFolder).absoluteFilePath(QStringLiteral("save-XXXXXX")));
        if (!tmp.isValid()) {
            reason = QStringLiteral("作業フォルダー %1 に書き込めません").arg(workFolder);
            return false;
        }
        const QString html = tmp.filePath(QStringLiteral("page.html"));
        if (!writeWhole(html, mapFieldsForOffice(doc, page).toUtf8(), reason))
            return false;
        // LibreOffice names its output after the input; convert into the temporary folder first.
        const QString converted = tmp.filePath(QStringLiteral("page.") + ext);
        if (!OfficeConverter::convert(html, converted, filter, workFolder, reason))
            return false;
        QFile in(converted);
        if (!in.open(QIODevice::ReadOnly)) {
            reason = QStringLiteral("変換結果を読めません");
            return false;
        }
        return writeWhole(file, in.readAll(), reason);
    }
    default:
        reason = QStringLiteral("保存できない形式です (%1)").arg(format);
        return false;
    }
}

} // namespace platform::docio
