// fmDoc: the pages gone through (back and forward) and the zoom by keys and wheel.
#include "mainwin/fmDoc.h"

#include "richtext/RichTextView.h"

#include <QAction>

namespace mainwin {

void fmDoc::noteVisit(const Visit& left) {
    if (m_travelling || left.no.isEmpty() || left.no == m_shownNo)
        return;
    m_back.push_back(left);
    m_forward.clear();
    constexpr qsizetype kKept = 500; // a day's reading; the oldest steps go first
    if (m_back.size() > kKept)
        m_back.remove(0, m_back.size() - kKept);
}

void fmDoc::travel(bool back) {
    QVector<Visit>& from = back ? m_back : m_forward;
    QVector<Visit>& to = back ? m_forward : m_back;
    if (from.isEmpty() || m_shownNo.isEmpty())
        return;
    const Visit here{m_shownNo, m_shownTitle, m_txDc->topPosition()};
    const Visit there = from.takeLast();
    m_travelling = true;
    ShowDoc(there.no, there.title, 1); // as a choice from the recent list: no new recent entry
    m_travelling = false;
    if (m_shownNo != there.no) {
        from.push_back(there); // not shown (a read error said so): the history stays as it was
        return;
    }
    to.push_back(here);
    m_txDc->scrollToPosition(there.place);
}

void fmDoc::stepZoom(int delta) {
    const int step = delta == 0 ? 1 : std::clamp(m_zoomStep + delta, 0, 5);
    if (step != m_zoomStep)
        m_mnZoom[step]->trigger(); // as if chosen in the menu
}

} // namespace mainwin
