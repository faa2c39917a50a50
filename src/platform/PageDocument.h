// PageDocument: the text document of a page, its fields and its two layouts (flowing and paged).
#pragma once

#include "platform/PageSetup.h"

#include <QImage>
#include <QTextDocument>
#include <QVector>

namespace platform {

/// A text field: a stretch of text whose anchor href is the field's data string.
struct TextField {
    int start = 0; // document position of the first character
    int end = 0;   // one past the last character
    QString data;  // the data string, verbatim
    QString text;  // the field's text
};

/// QTextDocument with "data:" image resources and a fixed layout resolution of 96 per inch, so that a
/// page breaks the same way on every screen, in the preview, on paper and in PDF.
class PageDocument final : public QTextDocument {
    Q_OBJECT
public:
    explicit PageDocument(QObject* parent = nullptr);

    /// The fields of the document in text order (recomputed by collectFields()).
    const QVector<TextField>& fields() const { return m_fields; }
    void collectFields();

    /// A copy laid out in pages of the given setup.
    PageDocument* pagedCopy(const PageSetup& page, QObject* parent) const;

    /// Position (in document units) of the top-left of the character at pos.
    QPointF positionPoint(int pos) const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QVector<TextField> m_fields;
    QImage m_layoutDevice; // gives the layout its 96-per-inch resolution
};

} // namespace platform
