// fmDoc: the find bar under the page (Ctrl+F): every place of the words typed is marked and counted,
// Enter / F3 go to the next, Shift+Enter / Shift+F3 to the previous, Esc closes it.
#include "mainwin/fmDoc.h"

#include "mainwin/PageFindBar.h"
#include "richtext/RichTextView.h"

#include <QLineEdit>
#include <QShortcut>

namespace mainwin {

QStringList fmDoc::findWords(const QString& text) {
    QStringList words;
    QString word;
    for (const QChar c : text) {
        if (c.isSpace()) { // the half-width blank and the full-width one alike
            if (!word.isEmpty())
                words << word;
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

void fmDoc::buildFindBar() {
    m_findBar = new PageFindBar(this);
    m_findBar->hide();
    connect(m_findBar, &PageFindBar::textChanged, this, &fmDoc::applyFind);
    connect(m_findBar, &PageFindBar::step, this, &fmDoc::stepFind);
    connect(m_findBar, &PageFindBar::closeRequested, this, &fmDoc::closeFindBar);
    connect(m_txDc, &richtext::RichTextView::marksChanged, this, &fmDoc::showFindCount);
    auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(open, &QShortcut::activated, this, [this] { openFindBar(true); });
    for (const auto& [key, forward] : {std::pair{QKeySequence(Qt::Key_F3), true},
                                       std::pair{QKeySequence(Qt::SHIFT | Qt::Key_F3), false}}) {
        auto* sc = new QShortcut(key, this);
        connect(sc, &QShortcut::activated, this, [this, forward = forward] { stepFind(forward); });
    }
}

void fmDoc::openFindBar(bool focus) {
    if (m_findBar->isHidden()) {
        // A short selection on one line is what the reader wants to find, as browsers offer it.
        const QString selected = m_txDc->selectedText();
        if (!selected.isEmpty() && selected.size() <= 100 && !selected.contains(QLatin1Char('\n')))
            m_findBar->offer(selected);
        m_findBar->show();
        StLayout();
        m_txDc->setMarks(findWords(m_findBar->text()));
        showFindCount();
    }
    if (focus) {
        m_findBar->edit()->setFocus(Qt::ShortcutFocusReason);
        m_findBar->edit()->selectAll();
    }
}

void fmDoc::closeFindBar() {
    if (m_findBar->isHidden())
        return;
    const bool hadFocus = m_findBar->isAncestorOf(focusWidget());
    m_findBar->hide();
    m_txDc->setMarks({}); // the place found stays selected
    StLayout();
    if (hadFocus)
        m_txDc->setFocus(Qt::OtherFocusReason);
}

void fmDoc::applyFind(const QString& text) {
    // As the text grows the place found stays where it is while it still matches, else the next
    // place after it; a new text starts from the top of what is shown.
    const QVector<richtext::RichTextView::Mark>& marks = m_txDc->marks();
    const int current = m_txDc->currentMark();
    const int from = current >= 0 ? marks[current].start : m_txDc->topPosition();
    if (m_txDc->setMarks(findWords(text)) > 0) {
        const auto it = std::lower_bound(marks.begin(), marks.end(), from,
                                         [](const richtext::RichTextView::Mark& m, int pos) { return m.start < pos; });
        m_txDc->goToMark(it == marks.end() ? 0 : int(it - marks.begin()));
    }
    showFindCount();
}

void fmDoc::stepFind(bool forward) {
    if (m_findBar->isHidden())
        openFindBar(m_findBar->text().trimmed().isEmpty()); // nothing to find yet: the box takes the keys
    if (m_txDc->markWords().isEmpty())
        return;
    m_txDc->stepMark(forward);
    showFindCount();
}

void fmDoc::showFindCount() {
    if (m_findBar->isHidden())
        return;
    QStringList notes;
    if (m_txDc->partCount() > 1)
        notes << QStringLiteral("部分 %1/%2").arg(m_txDc->currentPart() + 1).arg(m_txDc->partCount());
    QStringList words = findWords(m_findBar->text());
    for (QString& w : words)
        w = w.toCaseFolded();
    words.removeDuplicates();
    if (words.size() > richtext::RichTextView::kMaxMarkWords)
        notes << QStringLiteral("先頭の %1 語").arg(richtext::RichTextView::kMaxMarkWords);
    // Found in another part of the page only: not "nowhere".
    const bool elsewhere = m_txDc->marks().isEmpty() && m_txDc->otherPartHolds(m_txDc->markWords());
    m_findBar->showCount(m_txDc->currentMark(), int(m_txDc->marks().size()), notes.join(QStringLiteral("、")),
                         elsewhere);
}

void fmDoc::offerFoundWords(const QString& findText) {
    // The find pane's words: "%" (any run of characters there) parts a word into two here.
    QString text = findText;
    text.replace(QLatin1Char('%'), QLatin1Char(' '));
    m_findBar->offer(findWords(text).join(QLatin1Char(' ')));
    if (m_findBar->isHidden()) {
        m_findBar->show();
        StLayout();
    }
    m_txDc->setMarks(findWords(m_findBar->text()));
    showFindCount();
}

} // namespace mainwin
