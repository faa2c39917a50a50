// PageDocument: the text document of a page, its fields and its two layouts (flowing and paged).
#pragma once

#include "richtext/PageSetup.h"
#include "richtext/PageSource.h"

#include <QImage>
#include <QTextDocument>
#include <QVector>

namespace richtext {

/// A text field: a stretch of text whose anchor href is the field's data string.
struct TextField {
    int start = 0; // document position of the first character
    int end = 0;   // one past the last character
    QString data;  // the data string, verbatim
    QString text;  // the field's text
};

/// QTextDocument built from a page source, with "data:" image resources and a fixed layout
/// resolution of 96 per inch, so that a page breaks the same way on every screen, in the preview, on
/// paper and in PDF. It can be built in any thread.
class PageDocument final : public QTextDocument {
    Q_OBJECT
public:
    explicit PageDocument(QObject* parent = nullptr);

    /// Builds the flowing document of src (tables nested too deep flattened, pictures decoded when drawn).
    void build(const PageSource& src);
    /// Builds the document of src laid out in pages of its setup, as they are printed: lines that
    /// the page would cut (preformatted text, long words, wide tables) wrap at the text area's width.
    /// withoutAnchors takes the links' anchors out (keeping their look) for a PDF, whose engine
    /// would write links of its own with the data strings changed.
    static PageDocument* buildPaged(const PageSource& src, QObject* parent, bool withoutAnchors = false);

    /// The fields of the document in text order (recomputed by collectFields()).
    const QVector<TextField>& fields() const { return m_fields; }
    void collectFields();

    /// Position (in document units) of the top-left of the character at pos.
    QPointF positionPoint(int pos) const;
    /// The height of the laid-out line that holds a position (0 when not laid out).
    qreal lineHeightAt(int pos) const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void fill(const PageSource& src);
    void startLayout();
    void fitToPage(double contentWidth);
    void stripAnchors();

    QVector<TextField> m_fields;
    QHash<QString, QString> m_images; // resource name → "data:" address of a picture
    QImage m_layoutDevice;            // gives the layout its 96-per-inch resolution
};

} // namespace richtext
