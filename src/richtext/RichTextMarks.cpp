// RichTextView: the marks of the page's find bar: every place of some words, found in the plain text
// of each block, drawn as selections only where they can show, and stepped through one by one.
#include "richtext/RichTextView.h"

#include <QSet>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace richtext {

bool RichTextView::partHolds(int p, const QStringList& words) const {
    const QStringView slice = QStringView(m_source.text).mid(m_parts[p].start, m_parts[p].end - m_parts[p].start);
    if (m_source.kind != PageSource::Kind::Html)
        return std::any_of(words.begin(), words.end(),
                           [&](const QString& w) { return slice.contains(w, Qt::CaseInsensitive); });
    // In HTML only the text between the tags counts ("BR>" is no text of the page), and the text
    // holds "<", ">" and "&" escaped. The part is stripped once for all the words.
    QString between;
    between.reserve(slice.size());
    bool inTag = false;
    for (const QChar c : slice) {
        if (c == QLatin1Char('<'))
            inTag = true;
        else if (c == QLatin1Char('>') && inTag)
            inTag = false;
        else if (!inTag)
            between += c;
    }
    return std::any_of(words.begin(), words.end(), [&](const QString& w) {
        return between.contains(w.toHtmlEscaped(), Qt::CaseInsensitive) || between.contains(w, Qt::CaseInsensitive);
    });
}

bool RichTextView::otherPartHolds(const QStringList& words) const {
    for (int p = 0; p < partCount(); ++p)
        if (p != m_part && partCount() > 1 && partHolds(p, words))
            return true;
    return false;
}

int RichTextView::setMarks(const QStringList& words) {
    m_markWords.clear();
    QSet<QString> seen;
    for (const QString& w : words) {
        if (m_markWords.size() == kMaxMarkWords)
            break; // a pasted page of words: the first ones are marked
        if (!w.isEmpty() && !seen.contains(w.toCaseFolded())) {
            seen.insert(w.toCaseFolded());
            m_markWords << w;
        }
    }
    findMarks();
    // The current mark is the one already selected (a find chose it), if any.
    const int from = std::min(m_selAnchor, m_selPos);
    const int to = std::max(m_selAnchor, m_selPos);
    for (int i = 0; i < m_marks.size() && m_currentMark < 0 && from != to; ++i)
        if (m_marks[i].start == from && m_marks[i].end == to)
            m_currentMark = i;
    viewport()->update();
    return int(m_marks.size());
}

void RichTextView::findMarks() {
    m_marks.clear();
    m_currentMark = -1;
    if (m_markWords.isEmpty())
        return;
    for (QTextBlock b = m_doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        const int at = b.position();
        const qsizetype before = m_marks.size();
        for (const QString& w : std::as_const(m_markWords))
            for (qsizetype i = text.indexOf(w, 0, Qt::CaseInsensitive); i >= 0;
                 i = text.indexOf(w, i + w.size(), Qt::CaseInsensitive))
                m_marks.push_back({at + int(i), at + int(i + w.size())});
        if (m_markWords.size() > 1 && m_marks.size() - before > 1) {
            // Several words: in the order they stand, one mark per place (the longest word there).
            auto first = m_marks.begin() + before;
            std::sort(first, m_marks.end(), [](const Mark& a, const Mark& b) {
                return a.start != b.start ? a.start < b.start : a.end > b.end;
            });
            m_marks.erase(std::unique(first, m_marks.end(), [](const Mark& a, const Mark& b) { return a.start == b.start; }),
                          m_marks.end());
        }
    }
}

void RichTextView::goToMark(int i) {
    if (i < 0 || i >= m_marks.size())
        return;
    m_currentMark = i;
    m_selAnchor = m_marks[i].start;
    m_selPos = m_marks[i].end;
    ensureVisible(m_selAnchor);
    viewport()->update();
    Q_EMIT marksChanged();
}

int RichTextView::stepMark(bool forward) {
    if (m_markWords.isEmpty())
        return -1;
    const int selFrom = std::min(m_selAnchor, m_selPos);
    const int selTo = std::max(m_selAnchor, m_selPos);
    const bool onCurrent =
        m_currentMark >= 0 && m_marks[m_currentMark].start == selFrom && m_marks[m_currentMark].end == selTo;
    qsizetype next = -1;
    if (onCurrent) {
        next = m_currentMark + (forward ? 1 : -1);
    } else {
        // From the selection (or the caret a click left) when it is in view, else from the top.
        const int top = topPosition();
        const int bottom = std::max(top, hitPosition(QPoint(viewport()->width(), viewport()->height())));
        const bool selInView = (selFrom != 0 || selTo != 0) && selTo >= top && selFrom <= bottom;
        const int from = selInView ? (forward ? selTo : selFrom) : top;
        if (forward) {
            next = std::lower_bound(m_marks.begin(), m_marks.end(), from,
                                    [](const Mark& m, int pos) { return m.start < pos; }) -
                   m_marks.begin();
        } else {
            next = (std::lower_bound(m_marks.begin(), m_marks.end(), from,
                                     [](const Mark& m, int pos) { return m.start < pos; }) -
                    m_marks.begin()) -
                   1;
        }
    }
    if (next < 0 || next >= m_marks.size()) {
        // Past the last (or the first) mark of what is shown: on a page in parts, the next part
        // that holds a word, else round to the other end.
        const int parts = partCount();
        const int from = m_part;
        for (int k = 1; k < parts; ++k) {
            const int p = ((m_part + (forward ? k : -k)) % parts + parts) % parts;
            if (partHolds(p, m_markWords)) {
                setPart(p); // finds the marks anew
                if (!m_marks.isEmpty())
                    break;
            }
        }
        if (m_marks.isEmpty() && m_part != from)
            setPart(from); // no part laid out held a mark after all: back to where the reader was
        next = m_marks.isEmpty() ? -1 : forward ? 0 : m_marks.size() - 1;
    }
    if (next < 0) {
        Q_EMIT marksChanged();
        return -1;
    }
    goToMark(int(next));
    return int(next);
}

void RichTextView::addMarkSelections(const QRect& area, QAbstractTextDocumentLayout::PaintContext& ctx) const {
    if (m_marks.isEmpty())
        return;
    // Only the marks of the lines that reach into the area: a long page may hold tens of thousands,
    // a single paragraph thousands of them, and each line is drawn with every selection given.
    const PageDocument* doc = shownDoc();
    auto lineEdge = [doc](int pos, bool start) {
        const QTextBlock b = doc->findBlock(pos);
        const QTextLayout* layout = b.layout();
        const QTextLine line = layout ? layout->lineForTextPosition(pos - b.position()) : QTextLine();
        if (!line.isValid())
            return start ? b.position() : b.position() + b.length();
        return b.position() + (start ? line.textStart() : line.textStart() + line.textLength());
    };
    const int first = lineEdge(std::max(0, hitPosition(area.topLeft())), true);
    const int last = lineEdge(std::max(0, hitPosition(area.bottomRight())), false);
    auto it = std::lower_bound(m_marks.begin(), m_marks.end(), first, [](const Mark& m, int pos) { return m.end <= pos; });
    QAbstractTextDocumentLayout::Selection sel;
    sel.format.setBackground(QColor(0xff, 0xeb, 0x3b)); // yellow, as a highlighter marks paper
    sel.format.setForeground(QColor(Qt::black));
    for (; it != m_marks.end() && it->start <= last; ++it) {
        sel.cursor = QTextCursor(const_cast<PageDocument*>(doc));
        sel.cursor.setPosition(it->start);
        sel.cursor.setPosition(it->end, QTextCursor::KeepAnchor);
        ctx.selections << sel;
    }
}

} // namespace richtext
