// PageDocument: resources, fields and layouts of a page document.
#include "richtext/PageDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImageReader>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>

namespace richtext {

namespace {

// The picture of a "data:[<mediatype>][;base64],<data>" address, scaled down to the side limit;
// the scaled picture keeps its size on the page through its device pixel ratio.
QImage decodeDataImage(const QString& address) {
    const qsizetype comma = address.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    const QStringView head = QStringView(address).mid(5, comma - 5);
    const QByteArray payload = QStringView(address).mid(comma + 1).toLatin1();
    QByteArray bytes = head.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)
                           ? QByteArray::fromBase64(payload)
                           : QByteArray::fromPercentEncoding(payload);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return {};
    const int side = std::max(size.width(), size.height());
    if (side > limits::kImageSide)
        reader.setScaledSize(size.scaled(limits::kImageSide, limits::kImageSide, Qt::KeepAspectRatio));
    QImage img;
    if (!reader.read(&img))
        return {};
    if (side > limits::kImageSide) // fewer pixels, same size on the page
        img.setDevicePixelRatio(double(img.width()) / size.width());
    return img;
}

} // namespace

PageDocument::PageDocument(QObject* parent) : QTextDocument(parent), m_layoutDevice(1, 1, QImage::Format_RGB32) {
    constexpr int kDotsPerMeter = 3780; // 96 per inch
    m_layoutDevice.setDotsPerMeterX(kDotsPerMeter);
    m_layoutDevice.setDotsPerMeterY(kDotsPerMeter);
    // The layout is made only when the content is complete (startLayout): Qt lays large documents
    // out lazily, and changes made to a half-laid-out document leave pages out of the layout.
    setUndoRedoEnabled(false);
    // A fixed default font, so that a page without font settings breaks the same way everywhere;
    // IPA Gothic is the Japanese font the setup installs.
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("MS UI Gothic"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(10.5);
    setDefaultFont(font);
}

void PageDocument::fill(const PageSource& src) {
    m_images.clear();
    switch (src.kind) {
    case PageSource::Kind::Empty:
        clear();
        break;
    case PageSource::Kind::Html:
        setHtml(source::boundedHtml(src.text, m_images));
        break;
    case PageSource::Kind::Plain:
        setPlainText(src.text);
        break;
    }
    collectFields();
}

void PageDocument::startLayout() {
    documentLayout()->setPaintDevice(&m_layoutDevice);
}

void PageDocument::build(const PageSource& src) {
    fill(src);
    startLayout();
}

PageDocument* PageDocument::buildPaged(const PageSource& src, QObject* parent, bool withoutAnchors) {
    auto* doc = new PageDocument(parent);
    // Preformatted text keeps its blanks and line breaks but wraps at the page's edge. Set before the
    // page is read, so that no block has to be changed afterwards.
    doc->setDefaultStyleSheet(QStringLiteral("pre, xmp { white-space: pre-wrap }"));
    doc->fill(src);
    doc->fitToPage(src.page.contentWidthPx());
    if (withoutAnchors)
        doc->stripAnchors();
    // Root frame margins per page and the page size switch the layout into pages.
    QTextFrameFormat fmt = doc->rootFrame()->frameFormat();
    fmt.setMargin(src.page.marginPx());
    doc->rootFrame()->setFrameFormat(fmt);
    doc->setPageSize(QSizeF(src.page.widthPx(), src.page.heightPx()));
    doc->startLayout();
    return doc;
}

void PageDocument::stripAnchors() {
    QTextCursor cursor(this);
    cursor.beginEditBlock();
    for (QTextBlock b = begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QTextCharFormat cf = f.charFormat();
            if (!cf.isAnchor() && !cf.hasProperty(QTextFormat::AnchorHref))
                continue;
            cf.clearProperty(QTextFormat::IsAnchor);
            cf.clearProperty(QTextFormat::AnchorHref);
            cursor.setPosition(f.position());
            cursor.setPosition(f.position() + f.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(cf);
        }
    }
    cursor.endEditBlock();
}

void PageDocument::fitToPage(double contentWidth) {
    // Paper cannot scroll sideways: what does not fit the text area wraps, anywhere if it must.
    QTextOption option = defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setDefaultTextOption(option);
    QTextCursor cursor(this);
    cursor.beginEditBlock();
    for (QTextBlock b = begin(); b.isValid(); b = b.next()) {
        if (!b.blockFormat().nonBreakableLines()) // "nowrap" and styles the page sets itself
            continue;
        QTextBlockFormat f;
        f.setNonBreakableLines(false);
        cursor.setPosition(b.position());
        cursor.mergeBlockFormat(f);
    }
    cursor.endEditBlock();
    // Tables wider than the text area, or with fixed column widths that add up to more, take the
    // text area's width and let their columns share it.
    QList<QTextFrame*> frames{rootFrame()};
    while (!frames.isEmpty()) {
        QTextFrame* frame = frames.takeLast();
        frames += frame->childFrames();
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        QTextTableFormat tf = table->format();
        double fixed = 0;
        for (const QTextLength& c : tf.columnWidthConstraints())
            if (c.type() == QTextLength::FixedLength)
                fixed += c.rawValue();
        const bool wide = tf.width().type() == QTextLength::FixedLength && tf.width().rawValue() > contentWidth;
        if (!wide && fixed <= contentWidth)
            continue;
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        if (fixed > contentWidth)
            tf.clearColumnWidthConstraints();
        table->setFormat(tf);
    }
}

QVariant PageDocument::loadResource(int type, const QUrl& name) {
    const QString key = name.toString();
    const auto it = m_images.constFind(key);
    if (it != m_images.constEnd()) {
        // Decoded once; a picture that cannot be decoded is remembered as none, so that drawing
        // does not try (and warn) again and again.
        const QString data = it.value();
        m_images.erase(it);
        QImage img = decodeDataImage(data);
        addResource(type, name, img);
        return img;
    }
    if (type == QTextDocument::ImageResource && name.scheme() == QLatin1String("data"))
        return decodeDataImage(name.toString(QUrl::FullyEncoded));
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

qreal PageDocument::lineHeightAt(int pos) const {
    const QTextBlock block = findBlock(pos);
    const QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
    const QTextLine line = layout ? layout->lineForTextPosition(pos - block.position()) : QTextLine();
    return line.isValid() ? line.height() : 0;
}

} // namespace richtext
