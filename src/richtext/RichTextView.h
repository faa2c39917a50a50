// RichTextView: the document view: shows a stored page, lets its fields react, zooms, pages,
// renders single pages onto any drawing surface, finds text and saves in six formats.
#pragma once

#include "richtext/DocumentIo.h"
#include "richtext/PageDocument.h"
#include "richtext/PageSetup.h"

#include <QAbstractScrollArea>
#include <QAbstractTextDocumentLayout>
#include <QPointer>
#include <QTextCursor>

class QPainter;
class QPaintDevice;
class QLabel;
class QToolButton;

namespace richtext {

/// The document view on QTextDocument. Read-only for the user: text can be selected and copied,
/// never changed. Text fields are anchors whose href is the field's data string; the view never
/// opens them itself but reports clicks and entries. Geometry members are in twips.
///
/// View modes: 0 normal (text as wide as the page's text area, no page breaks), 1 pages with border
/// lines, 2 pages centred on a grey desk, 3 floating (text wraps to the window). The paged modes,
/// the page count, printed pages and PDF output share one pagination (PageDocument::buildPaged).
///
/// The view keeps the page as it was given (PageSource) and builds every layout from it; the copy
/// made by saveToMemory carries it, so a copy loaded back shows the very same pages.
class RichTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit RichTextView(QWidget* parent = nullptr);
    ~RichTextView() override;

    // --- content ---------------------------------------------------------------------------------
    /// Loads a document from bytes: format 9 a stored page, 3 a copy made by saveToMemory. Null or
    /// empty bytes give an empty page. The bytes are not kept. False for an unknown or damaged format.
    bool loadFromMemory(const QByteArray& bytes, int format, bool flag = false);
    /// The whole document in the reader's own format (3).
    QByteArray saveToMemory(int format = kFormatCopy) const;
    /// Saves to a file: 1 text, 4 HTML, 5 RTF, 9 Word 97-2003, 12 PDF, 13 Word 2007+. Office formats
    /// need LibreOffice. False with a reason (reason()) on failure; the file is then unchanged.
    /// Saves to a file: 1 text, 4 HTML, 5 RTF, 9 Word 97-2003, 12 PDF, 13 Word 2007+. Office formats
    /// need LibreOffice. The save runs in the background while the window goes on painting; after
    /// half a second a progress window shows, whose "キャンセル" stops it. False with a reason
    /// (reason()) on failure or cancel; the file is then unchanged. notice() tells of a save that
    /// could not keep everything (characters the text file's code page lacks).
    bool saveToFile(const QString& fileName, int offset, int format);
    QString reason() const { return m_reason; }
    QString notice() const { return m_notice; }
    /// Folder for LibreOffice's profile and intermediate files (the program's work folder).
    void setWorkFolder(const QString& folder) { m_workFolder = folder; }

    // --- over-long pages --------------------------------------------------------------------------
    /// A page whose layout would take long (source::partition) is shown one part at a time (each a
    /// run of whole blocks), with a bar above the text to move between the parts; everything the
    /// view shows, counts and prints is the shown part. Saves and copies always take the whole page.
    int partCount() const { return std::max(1, int(m_parts.size())); }
    int currentPart() const { return m_part; }
    /// Shows part i (0-based; clamped).
    void setPart(int i);

    /// The shown document's plain text; setText("") empties the page.
    QString text() const;
    void setText(const QString& text);

    /// Selects the first match of text at or after position start (case-insensitive, plain) and
    /// scrolls it into view. Returns the match's position or -1. option is accepted for callers
    /// that pass the original control's search flags; every search is plain.
    int find(const QString& text, int start = 0, int option = 0);
    /// The selected text.
    QString selectedText() const;

    // --- marks: every place of some words, for the page's find bar ---------------------------------
    /// One marked place, [start, end) in the shown document.
    struct Mark {
        int start = 0;
        int end = 0;
    };
    /// Marks every place of the words in the shown document (case-insensitive, plain, never across
    /// paragraphs, as find() matches) and marks each page or part shown later anew, until an empty
    /// list clears them. The current mark becomes the one the selection covers, if any. Returns
    /// the number of marks.
    int setMarks(const QStringList& words);
    QStringList markWords() const { return m_markWords; }
    const QVector<Mark>& marks() const { return m_marks; }
    /// The current mark (0-based), -1 for none.
    int currentMark() const { return m_currentMark; }
    /// Makes mark i current: selected and scrolled into view.
    void goToMark(int i);
    /// Goes to the next (or previous) mark: after the current one, else after the selection when it
    /// is in view, else from the top of what is shown. Past the last, a page in parts goes on to the
    /// next part that holds a word; otherwise it wraps round. Returns the new current mark or -1.
    int stepMark(bool forward);
    /// At most this many words are marked (the first ones of a text).
    static constexpr int kMaxMarkWords = 32;
    /// Whether another part of a page in parts holds one of the words in its text.
    bool otherPartHolds(const QStringList& words) const;

    // --- display -------------------------------------------------------------------------------
    int zoom() const { return m_zoom; }
    void setZoom(int percent);
    int viewMode() const { return m_mode; }
    void setViewMode(int mode);

    // --- page metrics and printing ---------------------------------------------------------------
    int pageWidth() const { return m_source.page.widthTw; }
    int pageHeight() const { return m_source.page.heightTw; }
    bool landscape() const { return m_source.page.landscape; }
    const PageSetup& pageSetup() const { return m_source.page; }
    const PageSource& source() const { return m_source; }
    int pageCount() const;
    int printZoom() const { return m_printZoom; }
    void setPrintZoom(int percent) { m_printZoom = std::clamp(percent, 1, 1000); }
    QPaintDevice* printDevice() const { return m_printDevice; }
    void setPrintDevice(QPaintDevice* device) { m_printDevice = device; }
    /// Draws page n (1-based) onto the print device at the print zoom (100 = actual size on that
    /// device), its top-left at the device's origin. With a painter given, draws through it (a
    /// printer's painter across several pages). False for a page that does not exist.
    bool printPage(int n, QPainter* painter = nullptr);

    // --- text fields ---------------------------------------------------------------------------
    int fieldCount() const { return int(m_doc->fields().size()); }
    /// 2 for a text field (a link), 0 for no such field.
    int fieldType(int field) const { return validField(field) ? 2 : 0; }
    int currentField() const { return m_currentField; }
    void setCurrentField(int field) { m_currentField = validField(field) ? field : 0; }
    QString fieldData(int field) const;
    QString fieldText(int field) const;
    /// Top-left of the field's first character in the scrolled content, twips at the current zoom.
    QPoint fieldPosition(int field) const;
    /// The height of the line that holds the field's first character, twips at the current zoom.
    int fieldLineHeight(int field) const;
    /// The scroll position, twips at the current zoom.
    QPoint scrollPosition() const;
    /// The text position at the top left of what is shown, and a scroll that puts a position's line at
    /// the top: a reading place that outlasts a new layout (another width, another mode).
    int topPosition() const;
    void scrollToPosition(int pos);
    /// The field under a point of the viewport (0 for none).
    int fieldAt(const QPoint& viewportPos) const;
    /// The field the keyboard focused (Tab, Shift+Tab), 0 for none; Enter follows it.
    int focusedField() const { return m_focusField; }
    /// Focuses a field as Tab does: selected, current and scrolled into view.
    void focusField(int field);
    /// Whether links act as links (the hand pointer, Tab stops, clicks and entries reported); a view
    /// whose owner does nothing with them shows them as text.
    void setLinksActive(bool active) { m_linksActive = active; }
    bool linksActive() const { return m_linksActive; }

    /// Twips per screen pixel (15 at 96 per inch).
    double twipsPerPixel() const;

Q_SIGNALS:
    void fieldClicked(int field);
    void fieldEntered(int field);
    /// The mouse moved over the view (viewport pixels).
    void mouseMoved(int x, int y);
    /// A key was pressed; raised before the view handles it. Setting keyCode to 0 cancels the key.
    void keyDown(int& keyCode, Qt::KeyboardModifiers shift);
    /// The visible part of the document changed (scrolling, zoom, mode, new document).
    void viewMoved();
    /// The marks were found anew (another page or part shown) or the current one changed.
    void marksChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    bool paged() const { return m_mode == 1 || m_mode == 2; }
    bool validField(int field) const { return field >= 1 && field <= fieldCount(); }
    double scale() const;
    const PageDocument* shownDoc() const;
    PageDocument* pagedDoc() const;
    void relayout();
    void updateScrollBars();
    QSizeF contentSize() const;
    double pageLeft() const;
    double pageStride() const;
    QPointF viewToDoc(const QPointF& viewportPos) const;
    QPointF docToContent(const QPointF& docPos) const;
    int hitPosition(const QPoint& viewportPos) const;
    void ensureVisible(int position);
    void copySelection();
    void selectAll();
    void showSource(const PageSource& src);
    void buildShown();
    void layoutPartBar();
    /// Whether part p's text holds one of the words (in HTML: between the tags, as it is or escaped),
    /// without laying it out.
    bool partHolds(int p, const QStringList& words) const;
    void findMarks();
    /// Adds the selections of the marks that may show in a viewport area.
    void addMarkSelections(const QRect& area, QAbstractTextDocumentLayout::PaintContext& ctx) const;

    PageDocument* m_doc = nullptr;
    mutable QPointer<PageDocument> m_paged; // paged document, made when first needed
    PageSource m_source;
    QVector<PagePart> m_parts; // the parts of the page (source::partition)
    int m_part = 0;
    QWidget* m_partBar = nullptr;
    QLabel* m_partLabel = nullptr;
    QToolButton* m_previousPart = nullptr;
    QToolButton* m_nextPart = nullptr;
    int m_zoom = 100;
    int m_mode = 0;
    int m_printZoom = 100;
    QPaintDevice* m_printDevice = nullptr;
    int m_currentField = 0;
    int m_hoverField = 0;
    int m_focusField = 0; // the field the keyboard moved to
    bool m_linksActive = true;
    int m_pressPos = -1;
    int m_selAnchor = 0;
    int m_selPos = 0;
    bool m_dragging = false;
    QPoint m_pressPoint;
    QString m_reason;
    QString m_notice;
    QString m_workFolder;
    QStringList m_markWords;
    QVector<Mark> m_marks; // in document order
    int m_currentMark = -1;
    static constexpr double kGap = 16; // pixels between pages and around them
};

} // namespace richtext
