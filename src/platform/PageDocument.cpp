// PageDocument: resources, fields and layouts of a page document.
#include "platform/PageDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QUrl>

namespace platform {

PageDocument::PageDocument(QObject* parent) : QTextDocument(parent), m_layoutDevice(1, 1, QImage::Format_RGB32) {
    constexpr int kDotsPerMeter = 3780; // 96 per inch
    m_layoutDevice.setDotsPerMeterX(kDotsPerMeter);
    m_layoutDevice.setDotsPerMeterY(kDotsPerMeter);
    documentLayout()->setPaintDevice(&m_layoutDevice);
    setUndoRedoEnabled(false);
    // A fixed default font, so that a page without font settings breaks the same way everywhere;
    // IPA Gothic is the Japanese font the setup installs.
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("MS UI Gothic"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(10.5);
    setDefaultFont(font);
}

QVariant PageDocument::loadResource(int type, const QUrl& name) {
    if (name.scheme() == QLatin1String("data")) {
        // data:[<mediatype>][;base64],<data>
        const QString s = name.toString(QUrl::FullyEncoded);
        const qsizetype comma = s.indexOf(QLatin1Char(','));
        if (comma > 0) {
            const QString head = s.mid(5, comma - 5);
            const QByteArray payload = s.mid(comma + 1).toLatin1();
            const QByteArray bytes = head.endsWith(QLatin1String(";base64")) ? QByteArray::fromBase64(payload)
                                                                             : QByteArray::fromPercentEncoding(payload);
            if (type == QTextDocument::ImageResource) {
                QImage img;
                if (img.loadFromData(bytes))
                    return img;
            }
            return bytes;
        }
    }
    return QTextDocument::loadResource(type, name);
}

void PageDocument::collectFields() {
    m_fields.clear();
    for (QTextBlock b = begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid())
                continue;
            const QTextCharFormat cf = f.charFormat();
            const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
            if (href.isEmpty())
                continue;
            // Neighbouring fragments of one anchor (format changes inside it) make one field.
            if (!m_fields.isEmpty() && m_fields.back().end == f.position() && m_fields.back().data == href) {
                m_fields.back().end = f.position() + f.length();
                m_fields.back().text += f.text();
                continue;
            }
            m_fields.push_back({f.position(), f.position() + f.length(), href, f.text()});
        }
    }
    for (TextField& field : m_fields)
        field.text.replace(QChar::LineSeparator, QLatin1Char('\n'));
}

PageDocument* PageDocument::pagedCopy(const PageSetup& page, QObject* parent) const {
    auto* copy = new PageDocument(parent);
    copy->setDefaultFont(defaultFont());
    copy->setDefaultStyleSheet(defaultStyleSheet());
    // The copy shares nothing with this document but its content and resources.
    if (!isEmpty())
        QTextCursor(copy).insertFragment(QTextDocumentFragment(this));
    // Root frame format (margins per page) and the page size switch the layout into pages.
    QTextFrameFormat fmt = rootFrame()->frameFormat();
    fmt.setMargin(page.marginPx());
    copy->rootFrame()->setFrameFormat(fmt);
    copy->setPageSize(QSizeF(page.widthPx(), page.heightPx()));
    copy->collectFields();
    return copy;
}

QPointF PageDocument::positionPoint(int pos) const {
    const QTextBlock block = findBlock(pos);
    if (!block.isValid())
        return {};
    const QRectF br = documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    const int rel = pos - block.position();
    const QTextLine line = layout ? layout->lineForTextPosition(rel) : QTextLine();
    if (!line.isValid())
        return br.topLeft();
    return br.topLeft() + QPointF(line.cursorToX(rel), line.y());
}

} // namespace platform
