// fmDoc: the pages gone through (back and forward), the databases opened last, and the zoom by keys
// and wheel.
#include "mainwin/fmDoc.h"

#include "platform/TextCodec.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/Vb.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

namespace {
constexpr int kRecentDbs = 8;
const char16_t kRecentGroup[] = u"最近開いたDB";
} // namespace

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

void fmDoc::noteRecentDb(const QString& path) {
    m_recentDbs.removeAll(path);
    m_recentDbs.prepend(path);
    while (m_recentDbs.size() > kRecentDbs)
        m_recentDbs.removeLast();
}

void fmDoc::loadRecentDbs() {
    // A group of its own in the settings document: "DB1" (newest) to "DB8".
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(QString::fromUtf16(kRecentGroup));
    m_recentDbs.clear();
    for (int i = 1; i <= kRecentDbs; ++i) {
        const QString path = ini.vGtVal(QStringLiteral("DB%1").arg(i), QVariant(QString())).toString();
        if (!path.isEmpty() && !m_recentDbs.contains(path))
            m_recentDbs << path;
    }
}

void fmDoc::saveRecentDbs() {
    // Only paths the settings document (Shift-JIS text, values without markup) holds exactly.
    QStringList kept;
    for (const QString& path : std::as_const(m_recentDbs)) {
        bool lossy = false;
        platform::TextCodec::toAnsi(path, &lossy);
        if (!lossy && !path.contains(QLatin1Char('<')) && !path.contains(QLatin1Char('>')) &&
            !path.contains(QLatin1Char('&')) && !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r')))
            kept << path;
    }
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(QString::fromUtf16(kRecentGroup));
    for (int i = 1; i <= kRecentDbs; ++i)
        ini.SetVal(QStringLiteral("DB%1").arg(i), kept.value(i - 1));
    ini.SetGtx();
}

void fmDoc::fillRecentDbs() {
    m_recentMenu->clear();
    for (int i = 0; i < m_recentDbs.size(); ++i) {
        const QString path = m_recentDbs[i];
        QAction* a = m_recentMenu->addAction(QStringLiteral("&%1 ").arg(i + 1) + util::fileNamePart(path));
        a->setObjectName(QStringLiteral("mnRecentDb%1").arg(i));
        a->setToolTip(path);
        a->setEnabled(QFileInfo(path).isFile()); // a file gone since shows greyed
        connect(a, &QAction::triggered, this, [this, path] {
            QString p = path;
            OpenDb(p);
        });
    }
    if (m_recentDbs.isEmpty())
        m_recentMenu->addAction(QStringLiteral("(なし)"))->setEnabled(false);
}

} // namespace mainwin
