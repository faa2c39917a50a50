// RichTextView: painting, paging, hit-testing, fields, selection and the member interface.
#include "richtext/RichTextView.h"

#include "richtext/SaveRunner.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QToolButton>

#include <cmath>

namespace richtext {

namespace {
constexpr double kFlowMargin = 12; // layout units around the text in the flowing modes
} // namespace

RichTextView::RichTextView(QWidget* parent) : QAbstractScrollArea(parent), m_doc(new PageDocument(this)) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    relayout();
}

RichTextView::~RichTextView() = default;

// ---------------------------------------------------------------------------------------------
// Content
// ---------------------------------------------------------------------------------------------

bool RichTextView::loadFromMemory(const QByteArray& bytes, int format, bool /*flag*/) {
    // A page of megabytes takes a noticeable moment even in parts: show that the reader is busy.
    const bool large = bytes.size() > (1 << 20);
    if (large)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    PageSource src;
    const bool ok = source::decode(bytes, format, src);
    if (ok)
        showSource(src);
    if (large)
        QApplication::restoreOverrideCursor();
    return ok;
}

void RichTextView::showSource(const PageSource& src) {
    m_source = src;
    m_parts = source::partition(src);
    m_part = 0;
    buildShown();
}

void RichTextView::setPart(int i) {
    i = std::clamp(i, 0, partCount() - 1);
    if (i == m_part)
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_part = i;
    buildShown();
    QApplication::restoreOverrideCursor();
}

void RichTextView::buildShown() {
    auto* doc = new PageDocument(this);
    doc->build(source::part(m_source, m_parts, m_part));
    delete m_doc;
    m_doc = doc;
    delete m_paged;
    m_selAnchor = m_selPos = 0;
    m_currentField = m_hoverField = m_focusField = 0;
    m_pressPos = -1;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    layoutPartBar();
    relayout();
    if (!m_markWords.isEmpty()) {
        findMarks();
        Q_EMIT marksChanged();
    }
}

void RichTextView::layoutPartBar() {
    const bool parted = partCount() > 1;
    if (parted && !m_partBar) {
        m_partBar = new QWidget(this);
        m_partBar->setObjectName(QStringLiteral("partBar"));
        m_partBar->setAutoFillBackground(true);
        auto* row = new QHBoxLayout(m_partBar);
        row->setContentsMargins(6, 2, 6, 2);
        m_partLabel = new QLabel(m_partBar);
        m_previousPart = new QToolButton(m_partBar);
        m_previousPart->setObjectName(QStringLiteral("previousPart"));
        m_previousPart->setText(QStringLiteral("◀ 前の部分"));
        m_nextPart = new QToolButton(m_partBar);
        m_nextPart->setObjectName(QStringLiteral("nextPart"));
        m_nextPart->setText(QStringLiteral("次の部分 ▶"));
        row->addWidget(m_partLabel, 1);
        row->addWidget(m_previousPart);
        row->addWidget(m_nextPart);
        connect(m_previousPart, &QToolButton::clicked, this, [this] { setPart(m_part - 1); });
        connect(m_nextPart, &QToolButton::clicked, this, [this] { setPart(m_part + 1); });
    }
    if (!m_partBar)
        return;
    m_partBar->setVisible(parted);
    const int h = parted ? m_partBar->sizeHint().height() : 0;
    setViewportMargins(0, h, 0, 0);
    if (!parted)
        return;
    m_partLabel->setText(
        QStringLiteral("長い文書のため %1 部に分けて表示しています（%2 / %1 部）").arg(partCount()).arg(m_part + 1));
    m_previousPart->setEnabled(m_part > 0);
    m_nextPart->setEnabled(m_part + 1 < partCount());
    const QRect r = contentsRect();
    m_partBar->setGeometry(r.left(), r.top(), r.width(), h);
}

QByteArray RichTextView::saveToMemory(int format) const {
    if (format != kFormatCopy)
        return {};
    return source::copyBytes(m_source);
}

bool RichTextView::saveToFile(const QString& fileName, int /*offset*/, int format) {
    m_reason.clear();
    m_notice.clear();
    const QString work = m_workFolder.isEmpty() ? QDir::tempPath() + QStringLiteral("/dbtext-work") : m_workFolder;
    // The window goes on while the save runs; the view may even be closed meanwhile.
    QPointer<RichTextView> self(this);
    QString reason;
    QString notice;
    const bool ok = saveInBackground(this, m_source, fileName, format, work, reason, notice);
    if (!self)
        return false;
    m_reason = reason;
    m_notice = notice;
    return ok;
}

QString RichTextView::text() const {
    return m_doc->toPlainText();
}

void RichTextView::setText(const QString& text) {
    PageSource src;
    if (!text.isEmpty()) {
        src.kind = PageSource::Kind::Plain;
        src.text = text;
    }
    showSource(src);
}

int RichTextView::find(const QString& text, int start, int /*option*/) {
    if (text.isEmpty())
        return -1;
    QTextCursor c = m_doc->find(text, std::max(0, start));
    if (c.isNull() && partCount() > 1) {
        // An over-long page: the parts after the shown one, and from the top also those before it.
        // Only a part whose source holds the text (as it is, or escaped in HTML) is laid out.
        QVector<int> order;
        for (int p = m_part + 1; p < partCount(); ++p)
            order << p;
        for (int p = 0; start <= 0 && p < m_part; ++p)
            order << p;
        for (const int p : order) {
            if (!partHolds(p, {text}))
                continue;
            setPart(p);
            if (!(c = m_doc->find(text, 0)).isNull())
                break;
        }
    }
    if (c.isNull())
        return -1;
    m_selAnchor = c.selectionStart();
    m_selPos = c.selectionEnd();
    ensureVisible(m_selAnchor);
    viewport()->update();
    return m_selAnchor;
}

QString RichTextView::selectedText() const {
    QTextCursor c(m_doc);
    c.setPosition(m_selAnchor);
    c.setPosition(m_selPos, QTextCursor::KeepAnchor);
    QString s = c.selectedText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return s;
}

// ---------------------------------------------------------------------------------------------
// Display
// ---------------------------------------------------------------------------------------------

void RichTextView::setZoom(int percent) {
    percent = std::clamp(percent, 10, 500);
    if (percent == m_zoom)
        return;
    // Keep the same part of the document at the top while zooming.
    const double ratio = double(percent) / m_zoom;
    const int v = verticalScrollBar()->value();
    m_zoom = percent;
    relayout();
    verticalScrollBar()->setValue(int(std::lround(v * ratio)));
}

void RichTextView::setViewMode(int mode) {
    if (mode < 0 || mode > 3 || mode == m_mode)
        return;
    m_mode = mode;
    relayout();
}

double RichTextView::scale() const {
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return m_zoom / 100.0 * dpi / 96.0;
}

double RichTextView::twipsPerPixel() const {
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return 1440.0 / dpi;
}

PageDocument* RichTextView::pagedDoc() const {
    if (!m_paged)
        m_paged = PageDocument::buildPaged(source::part(m_source, m_parts, m_part), const_cast<RichTextView*>(this));
    return m_paged;
}

const PageDocument* RichTextView::shownDoc() const {
    return paged() ? pagedDoc() : m_doc;
}

void RichTextView::relayout() {
    if (m_mode == 0) {
        m_doc->setDocumentMargin(kFlowMargin);
        m_doc->setTextWidth(m_source.page.contentWidthPx() + 2 * kFlowMargin);
    } else if (m_mode == 3) {
        m_doc->setDocumentMargin(kFlowMargin);
        m_doc->setTextWidth(std::max(80.0, viewport()->width() / scale()));
    }
    updateScrollBars();
    viewport()->update();
    Q_EMIT viewMoved();
}

double RichTextView::pageStride() const {
    return m_source.page.heightPx() * scale() + kGap;
}

QSizeF RichTextView::contentSize() const {
    const double s = scale();
    if (paged()) {
        const int n = std::max(1, pagedDoc()->pageCount());
        return {m_source.page.widthPx() * s + 2 * kGap, n * pageStride() + kGap};
    }
    const QSizeF size = m_doc->size() * s;
    if (m_mode == 3) // wraps to the window; only what cannot wrap (a wide table) scrolls sideways
        return {std::max(double(viewport()->width()), size.width()), size.height()};
    return size;
}

void RichTextView::updateScrollBars() {
    const QSizeF content = contentSize();
    const QSize vp = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(content.width())) - vp.width()));
    horizontalScrollBar()->setPageStep(vp.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(content.height())) - vp.height()));
    verticalScrollBar()->setPageStep(std::max(1, vp.height() - 20));
    verticalScrollBar()->setSingleStep(std::max(1, int(20 * scale())));
}

double RichTextView::pageLeft() const {
    // Left edge of the pages in content coordinates.
    const double pageW = m_source.page.widthPx() * scale();
    if (m_mode == 2 && pageW + 2 * kGap <= viewport()->width())
        return (viewport()->width() - pageW) / 2;
    return kGap;
}

QPointF RichTextView::viewToDoc(const QPointF& p) const {
    const double s = scale();
    const QPointF content = p + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (!paged())
        return content / s;
    const int n = std::max(1, pagedDoc()->pageCount());
    const double y = content.y() - kGap;
    const int i = std::clamp(int(std::floor(y / pageStride())), 0, n - 1);
    const double within = std::clamp((y - i * pageStride()) / s, 0.0, m_source.page.heightPx() - 0.01);
    return {(content.x() - pageLeft()) / s, i * m_source.page.heightPx() + within};
}

QPointF RichTextView::docToContent(const QPointF& d) const {
    const double s = scale();
    if (!paged())
        return d * s;
    const int i = std::max(0, int(std::floor(d.y() / m_source.page.heightPx())));
    return {pageLeft() + d.x() * s, kGap + i * pageStride() + (d.y() - i * m_source.page.heightPx()) * s};
}

void RichTextView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const double s = scale();
    const int h = horizontalScrollBar()->value();
    const int v = verticalScrollBar()->value();
    const PageDocument* doc = shownDoc();

    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.palette.setColor(QPalette::Text, Qt::black);
    addMarkSelections(area, ctx); // under the selection, which is drawn last
    if (m_selAnchor != m_selPos) {
        QAbstractTextDocumentLayout::Selection sel;
        sel.cursor = QTextCursor(const_cast<PageDocument*>(doc));
        sel.cursor.setPosition(m_selAnchor);
        sel.cursor.setPosition(m_selPos, QTextCursor::KeepAnchor);
        sel.format.setBackground(palette().brush(QPalette::Highlight));
        sel.format.setForeground(palette().brush(QPalette::HighlightedText));
        if (m_currentMark >= 0 && m_marks[m_currentMark].start == std::min(m_selAnchor, m_selPos) &&
            m_marks[m_currentMark].end == std::max(m_selAnchor, m_selPos)) {
            sel.format.setBackground(QColor(0xff, 0x96, 0x32)); // the current mark: orange
            sel.format.setForeground(QColor(Qt::black));
        }
        ctx.selections << sel;
    }

    if (!paged()) {
        painter.fillRect(area, Qt::white); // the page is paper, whatever the desktop's colours
        painter.translate(-h, -v);
        painter.scale(s, s);
        ctx.clip = QRectF(QPointF(area.topLeft() + QPoint(h, v)) / s, QSizeF(area.size()) / s);
        painter.setClipRect(ctx.clip);
        doc->documentLayout()->draw(&painter, ctx);
        return;
    }

    // Paged modes: mode 1 draws white pages with border lines, mode 2 centres them on a grey desk.
    painter.fillRect(area, m_mode == 2 ? QColor(0x80, 0x80, 0x80) : QColor(Qt::white));
    const int n = std::max(1, doc->pageCount());
    const double pageW = m_source.page.widthPx() * s;
    const double pageH = m_source.page.heightPx() * s;
    const double left = pageLeft() - h;
    const int first = std::clamp(int(std::floor((v - kGap) / pageStride())), 0, n - 1);
    for (int i = first; i < n; ++i) {
        const double top = kGap + i * pageStride() - v;
        if (top > area.bottom())
            break;
        const QRectF pageRect(left, top, pageW, pageH);
        if (m_mode == 2)
            painter.fillRect(pageRect.translated(4, 4), QColor(0x40, 0x40, 0x40)); // shadow
        painter.fillRect(pageRect, Qt::white);
        painter.setPen(QPen(m_mode == 2 ? QColor(0x30, 0x30, 0x30) : QColor(0x90, 0x90, 0x90), 1));
        painter.drawRect(pageRect.adjusted(-0.5, -0.5, 0.5, 0.5));
        if (m_mode == 1) {
            // Border lines of the text area, as a page layout view shows them.
            const double m = m_source.page.marginPx() * s;
            painter.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 1, Qt::DotLine));
            painter.drawRect(pageRect.adjusted(m, m, -m, -m));
        }
        painter.save();
        painter.translate(left, top);
        painter.scale(s, s);
        painter.translate(0, -i * m_source.page.heightPx());
        const QRectF clip(0, i * m_source.page.heightPx(), m_source.page.widthPx(), m_source.page.heightPx());
        painter.setClipRect(clip);
        ctx.clip = clip;
        doc->documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
}

void RichTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (m_partBar && m_partBar->isVisible())
        m_partBar->setGeometry(contentsRect().left(), contentsRect().top(), contentsRect().width(),
                               m_partBar->height());
    if (m_mode == 3)
        relayout();
    else
        updateScrollBars();
}

void RichTextView::scrollContentsBy(int, int) {
    viewport()->update();
    Q_EMIT viewMoved();
}

void RichTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Pages and printing
// ---------------------------------------------------------------------------------------------

int RichTextView::pageCount() const {
    return std::max(1, pagedDoc()->pageCount());
}

bool RichTextView::printPage(int n, QPainter* painter) {
    if (n < 1 || n > pageCount())
        return false;
    QPaintDevice* device = painter ? painter->device() : m_printDevice;
    if (!device)
        return false;
    const double dpi = device->logicalDpiX() > 0 ? device->logicalDpiX() : 96;
    const double s = m_printZoom / 100.0 * dpi / 96.0;
    if (painter) {
        docio::renderPage(*painter, *pagedDoc(), m_source.page, n - 1, s);
        return true;
    }
    QPainter own;
    if (!own.begin(device))
        return false;
    docio::renderPage(own, *pagedDoc(), m_source.page, n - 1, s);
    own.end();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Fields
// ---------------------------------------------------------------------------------------------

QString RichTextView::fieldData(int field) const {
    return validField(field) ? m_doc->fields()[field - 1].data : QString();
}

QString RichTextView::fieldText(int field) const {
    return validField(field) ? m_doc->fields()[field - 1].text : QString();
}

QPoint RichTextView::fieldPosition(int field) const {
    if (!validField(field))
        return {};
    const QPointF content = docToContent(shownDoc()->positionPoint(m_doc->fields()[field - 1].start));
    const double t = twipsPerPixel();
    return {int(std::lround(content.x() * t)), int(std::lround(content.y() * t))};
}

int RichTextView::fieldLineHeight(int field) const {
    if (!validField(field))
        return 0;
    const int start = m_doc->fields()[field - 1].start;
    const QPointF top = shownDoc()->positionPoint(start);
    const QPointF bottom = top + QPointF(0, shownDoc()->lineHeightAt(start));
    return int(std::lround((docToContent(bottom).y() - docToContent(top).y()) * twipsPerPixel()));
}

void RichTextView::focusField(int field) {
    if (!validField(field))
        return;
    // The field focused by the keyboard shows as selected text, scrolled into view.
    const TextField& f = m_doc->fields()[field - 1];
    m_focusField = field;
    m_currentField = field;
    m_selAnchor = f.start;
    m_selPos = f.end;
    ensureVisible(f.start);
    viewport()->update();
    Q_EMIT fieldEntered(field); // reached by keyboard as by the pointer: a hint shows too
}

bool RichTextView::focusNextPrevChild(bool next) {
    // Tab and Shift+Tab go from link to link of the page; past the last (or the first) the focus
    // leaves the view as usual.
    const int n = m_linksActive ? fieldCount() : 0; // links that do nothing take no Tab stops
    const int f = m_focusField == 0 ? (next ? 1 : n) : m_focusField + (next ? 1 : -1);
    if (hasFocus() && n > 0 && f >= 1 && f <= n) { // not when a child (the parts bar) has the focus
        focusField(f);
        return true;
    }
    if (m_focusField != 0) {
        // Leaving the page: the link it was on no longer shows as the focused one.
        m_focusField = 0;
        m_selAnchor = m_selPos;
        viewport()->update();
    }
    return QAbstractScrollArea::focusNextPrevChild(next);
}

QPoint RichTextView::scrollPosition() const {
    const double t = twipsPerPixel();
    return {int(std::lround(horizontalScrollBar()->value() * t)), int(std::lround(verticalScrollBar()->value() * t))};
}

int RichTextView::topPosition() const {
    return std::max(0, hitPosition(QPoint(0, 0)));
}

void RichTextView::scrollToPosition(int pos) {
    horizontalScrollBar()->setValue(0);
    const QPointF at = docToContent(shownDoc()->positionPoint(pos));
    // The view's top at its line's top or a fraction below it: the line at the top is that line
    // again. Where the line's top and the one before meet, the pixel row may still fall to the
    // line before: then a pixel or two further down.
    QScrollBar* vs = verticalScrollBar();
    vs->setValue(int(std::ceil(at.y())));
    for (int i = 0; i < 4 && topPosition() < pos && vs->value() < vs->maximum(); ++i)
        vs->setValue(vs->value() + 1);
}

int RichTextView::hitPosition(const QPoint& viewportPos) const {
    return shownDoc()->documentLayout()->hitTest(viewToDoc(viewportPos), Qt::FuzzyHit);
}

int RichTextView::fieldAt(const QPoint& viewportPos) const {
    const PageDocument* doc = shownDoc();
    const QPointF d = viewToDoc(viewportPos);
    if (doc->documentLayout()->anchorAt(d).isEmpty())
        return 0;
    const int pos = doc->documentLayout()->hitTest(d, Qt::ExactHit);
    const auto& fields = m_doc->fields();
    for (int i = 0; i < fields.size(); ++i)
        if (pos >= fields[i].start && pos < fields[i].end)
            return i + 1;
    // The hit lies on the right half of a field's last character: the position after it.
    for (int i = 0; i < fields.size(); ++i)
        if (pos == fields[i].end)
            return i + 1;
    return 0;
}

void RichTextView::ensureVisible(int position) {
    const QPointF c = docToContent(shownDoc()->positionPoint(position));
    const double line = 24 * scale();
    QScrollBar* vs = verticalScrollBar();
    if (c.y() < vs->value() || c.y() + line > vs->value() + viewport()->height())
        vs->setValue(int(c.y() - viewport()->height() / 3));
    QScrollBar* hs = horizontalScrollBar();
    if (c.x() < hs->value() || c.x() > hs->value() + viewport()->width() - 20)
        hs->setValue(int(c.x() - viewport()->width() / 3));
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void RichTextView::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    Q_EMIT keyDown(key, event->modifiers());
    if (key == 0) {
        event->accept();
        return;
    }
    // Scrolling keys: which bar moves and how.
    struct Scroll {
        int key;
        bool vertical;
        QAbstractSlider::SliderAction action;
    };
    static constexpr Scroll kScrollKeys[] = {
        {Qt::Key_PageUp, true, QAbstractSlider::SliderPageStepSub},
        {Qt::Key_PageDown, true, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Up, true, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Down, true, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_Left, false, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Right, false, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_Home, true, QAbstractSlider::SliderToMinimum},
        {Qt::Key_End, true, QAbstractSlider::SliderToMaximum},
    };
    for (const Scroll& s : kScrollKeys) {
        if (s.key == key) {
            (s.vertical ? verticalScrollBar() : horizontalScrollBar())->triggerAction(s.action);
            event->accept();
            return;
        }
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && validField(m_focusField) &&
        m_selAnchor == m_doc->fields()[m_focusField - 1].start && m_selPos == m_doc->fields()[m_focusField - 1].end) {
        Q_EMIT fieldClicked(m_focusField); // Enter follows the focused link as a click does
    } else if (ctrl && (key == Qt::Key_C || key == Qt::Key_Insert)) {
        copySelection();
    } else if (ctrl && key == Qt::Key_A) {
        selectAll();
    } else {
        event->ignore(); // the window's own keys (Ctrl+O, Ctrl+P …) pass on
        return;
    }
    event->accept();
}

void RichTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_focusField = 0;
    m_pressPoint = event->position().toPoint();
    m_pressPos = hitPosition(m_pressPoint);
    m_dragging = false;
    if (event->modifiers() & Qt::ShiftModifier) {
        m_selPos = std::max(0, m_pressPos);
        m_dragging = true;
    } else {
        m_selAnchor = m_selPos = std::max(0, m_pressPos);
    }
    viewport()->update();
}

void RichTextView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Q_EMIT mouseMoved(p.x(), p.y());
    if ((event->buttons() & Qt::LeftButton) && m_pressPos >= 0) {
        if (!m_dragging && (p - m_pressPoint).manhattanLength() >= QApplication::startDragDistance())
            m_dragging = true;
        if (m_dragging) {
            m_selPos = std::max(0, hitPosition(p));
            viewport()->update();
        }
    }
    const int f = m_linksActive ? fieldAt(p) : 0;
    viewport()->setCursor(f ? Qt::PointingHandCursor : Qt::IBeamCursor);
    if (f != m_hoverField) {
        m_hoverField = f;
        if (f)
            Q_EMIT fieldEntered(f);
    }
}

void RichTextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    const bool click = !m_dragging && m_pressPos >= 0;
    const QPoint press = m_pressPoint;
    m_pressPos = -1;
    m_dragging = false;
    if (click && m_linksActive) {
        const int f = fieldAt(event->position().toPoint());
        if (f && f == fieldAt(press))
            Q_EMIT fieldClicked(f);
    }
}

void RichTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    QTextCursor c(const_cast<PageDocument*>(shownDoc()));
    c.setPosition(std::max(0, hitPosition(event->position().toPoint())));
    c.select(QTextCursor::WordUnderCursor);
    m_selAnchor = c.selectionStart();
    m_selPos = c.selectionEnd();
    m_pressPos = -1;
    viewport()->update();
}

void RichTextView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("コピー(&C)"), this, &RichTextView::copySelection);
    copy->setEnabled(m_selAnchor != m_selPos);
    menu.addAction(QStringLiteral("すべて選択(&A)"), this, &RichTextView::selectAll);
    menu.exec(event->globalPos());
}

void RichTextView::leaveEvent(QEvent* event) {
    m_hoverField = 0;
    QAbstractScrollArea::leaveEvent(event);
}

void RichTextView::copySelection() {
    if (m_selAnchor == m_selPos)
        return;
    QTextCursor c(m_doc);
    c.setPosition(m_selAnchor);
    c.setPosition(m_selPos, QTextCursor::KeepAnchor);
    const QTextDocumentFragment frag = c.selection();
    auto* mime = new QMimeData;
    mime->setText(selectedText());
    mime->setHtml(frag.toHtml());
    QApplication::clipboard()->setMimeData(mime);
}

void RichTextView::selectAll() {
    m_selAnchor = 0;
    m_selPos = std::max(0, m_doc->characterCount() - 1);
    viewport()->update();
}

} // namespace richtext
