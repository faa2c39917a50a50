// fmDoc: the pages gone through (back and forward), the databases opened last with the place each was
// last read at, and the zoom by keys and wheel.
#include "mainwin/fmDoc.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/uTrX.h"
#include "platform/TextCodec.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/Vb.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>

#include <algorithm>

namespace {
constexpr int kRecentDbs = 8;
constexpr int kReadingPlaces = 50;
const char16_t kRecentGroup[] = u"最近開いたDB";

/// Whether the settings document (Shift-JIS text, values without markup) holds a value exactly.
bool settingsHold(const QString& value) {
    bool lossy = false;
    platform::TextCodec::toAnsi(value, &lossy);
    return !lossy && !value.contains(QLatin1Char('<')) && !value.contains(QLatin1Char('>')) &&
           !value.contains(QLatin1Char('&')) && !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r'));
}
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

fmDoc::Spot fmDoc::spot() const {
    return {m_txDc->currentPart(), m_txDc->topPosition()};
}

void fmDoc::goToSpot(const Spot& spot) {
    m_txDc->setPart(spot.part);
    m_txDc->scrollToPosition(spot.place);
}

QString fmDoc::dbKey(const QString& path) {
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

void fmDoc::travel(bool back) {
    QVector<Visit>& from = back ? m_back : m_forward;
    QVector<Visit>& to = back ? m_forward : m_back;
    if (from.isEmpty())
        return;
    const Visit here{m_shownNo, m_shownTitle, spot()}; // none when the last page could not be read
    const Visit there = from.takeLast();
    m_travelling = true;
    ShowDoc(there.no, there.title, 1); // as a choice from the recent list: no new recent entry
    m_travelling = false;
    if (m_shownNo != there.no) {
        from.push_back(there); // not shown (a read error said so): the history stays as it was
        return;
    }
    if (!here.no.isEmpty())
        to.push_back(here);
    goToSpot(there.spot);
}

void fmDoc::stepZoom(int delta) {
    const int step = delta == 0 ? 1 : std::clamp(m_zoomStep + delta, 0, 5);
    if (step != m_zoomStep)
        m_mnZoom[step]->trigger(); // as if chosen in the menu
}

void fmDoc::noteRecentDb(const QString& opened) {
    const QString path = dbKey(opened);
    m_recentDbs.removeAll(path);
    m_recentDbs.prepend(path);
    while (m_recentDbs.size() > kRecentDbs)
        m_recentDbs.removeLast();
}

void fmDoc::loadRecentDbs() {
    // A group of its own in the settings document: "DB1" (newest) to "DB8", then the reading places
    // "続き1" (newest) to "続き50", each "page|text position|database".
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(QString::fromUtf16(kRecentGroup));
    m_recentDbs.clear();
    for (int i = 1; i <= kRecentDbs; ++i) {
        const QString path = ini.vGtVal(QStringLiteral("DB%1").arg(i), QVariant(QString())).toString();
        if (!path.isEmpty() && !m_recentDbs.contains(path))
            m_recentDbs << path;
    }
    m_places.clear();
    m_placeKeys = 0;
    for (int i = 1; i <= kReadingPlaces; ++i) {
        const QString value = ini.vGtVal(QStringLiteral("続き%1").arg(i), QVariant(QString())).toString();
        if (value.isEmpty())
            continue;
        m_placeKeys = i;
        const std::optional<qint32> no = util::pageNumber(value.section(QLatin1Char('|'), 0, 0));
        bool partOk = false, placeOk = false;
        const int part = value.section(QLatin1Char('|'), 1, 1).toInt(&partOk);
        const int place = value.section(QLatin1Char('|'), 2, 2).toInt(&placeOk);
        const QString db = value.section(QLatin1Char('|'), 3);
        // A hand-edited line that is not "page|part|position|database" is passed over.
        if (no && partOk && placeOk && part >= 0 && place >= 0 && !db.isEmpty() &&
            std::none_of(m_places.begin(), m_places.end(), [&](const ReadingPlace& p) { return p.db == db; }))
            m_places.push_back({db, QString::number(*no), {part, place}});
    }
}

void fmDoc::saveRecentDbs() {
    QStringList kept;
    for (const QString& path : std::as_const(m_recentDbs))
        if (settingsHold(path))
            kept << path;
    QStringList places;
    for (const ReadingPlace& p : std::as_const(m_places))
        if (settingsHold(p.db))
            places << QStringLiteral("%1|%2|%3|%4").arg(p.no).arg(p.spot.part).arg(p.spot.place).arg(p.db);
    settings::yIni& ini = m_s.ini;
    ini.GetGtx(QString::fromUtf16(kRecentGroup));
    for (int i = 1; i <= kRecentDbs; ++i)
        ini.SetVal(QStringLiteral("DB%1").arg(i), kept.value(i - 1));
    // As many keys as there are places, and those read before emptied when fewer are left.
    for (int i = 1; i <= std::max(int(places.size()), m_placeKeys); ++i)
        ini.SetVal(QStringLiteral("続き%1").arg(i), places.value(i - 1));
    ini.SetGtx();
}

void fmDoc::noteReadingPlace() {
    // Only a reading: a database opened and left at once keeps the place read in it before.
    const Spot here = spot();
    if (m_dbPath.isEmpty() || m_shownNo.isEmpty() || (!m_readSince && here.part == 0 && here.place == 0))
        return;
    const QString db = dbKey(m_dbPath);
    m_places.erase(
        std::remove_if(m_places.begin(), m_places.end(), [&db](const ReadingPlace& p) { return p.db == db; }),
        m_places.end());
    m_places.prepend({db, m_shownNo, here});
    if (m_places.size() > kReadingPlaces)
        m_places.resize(kReadingPlaces);
}

void fmDoc::offerReadingPlace() {
    m_resume = {};
    m_statusResume->hide();
    const QString db = dbKey(m_dbPath);
    const auto it =
        std::find_if(m_places.begin(), m_places.end(), [&db](const ReadingPlace& p) { return p.db == db; });
    if (it == m_places.end())
        return;
    const std::optional<qint32> no = util::pageNumber(it->no);
    // The page the database opens at is offered too when it was read further down.
    if (!no || (QString::number(*no) == m_shownNo && it->spot.part == 0 && it->spot.place == 0))
        return;
    // Offered under the title the page has now; a page gone since is not offered.
    docdb::Recordset rs;
    bool ok = false;
    m_s.svr.R_Rset(docdb::sql::kTitle + QString::number(*no), rs, ok, 0);
    if (!ok || rs.eof()) {
        rs.close();
        return;
    }
    m_resumeTitle = util::CStr(rs.field(0));
    rs.close();
    m_resume = *it;
    QString shown = m_resumeTitle.simplified();
    if (shown.size() > 40)
        shown = shown.left(39) + QChar(0x2026);
    m_statusResume->setText(QStringLiteral("前回の続き: ") + shown);
    m_statusResume->setToolTip(QStringLiteral("前回の続き: %1 (Ctrl+R)").arg(m_resumeTitle.left(512)));
    m_statusResume->show();
}

void fmDoc::resumeReading() {
    if (m_resume.no.isEmpty() || m_statusResume->isHidden())
        return;
    const ReadingPlace to = m_resume;
    m_statusResume->hide();
    // Selected in the tree where it is placed, as a choice there shows it; a page the tree does not
    // hold is shown as a recent-list choice is.
    m_tree->SetLeaf(to.no);
    if (m_shownNo != to.no)
        ShowDoc(to.no, m_resumeTitle, 0);
    if (m_shownNo == to.no)
        goToSpot(to.spot);
}

void fmDoc::fillRecentDbs() {
    m_recentMenu->clear();
    for (int i = 0; i < m_recentDbs.size(); ++i) {
        const QString path = m_recentDbs[i];
        // A long name is cut in its middle, so that the list never grows as wide as the screen.
        const QString name = QFontMetrics(m_recentMenu->font()).elidedText(util::fileNamePart(path), Qt::ElideMiddle,
                                                                            m_tw.toPxX(6000));
        QString label = name;
        label.replace(QLatin1Char('&'), QLatin1String("&&")); // an "&" of the name is no accelerator
        QAction* a = m_recentMenu->addAction(QStringLiteral("&%1 ").arg(i + 1) + label);
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
