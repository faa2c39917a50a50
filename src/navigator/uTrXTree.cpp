// uTrX: the node model, lazy loading, selection, the host events of a choice, SetLeaf, the code list.
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/NodeImages.h"
#include "navigator/uTrX.h"
#include "util/Vb.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTreeWidget>

#include <limits>

Q_LOGGING_CATEGORY(lcNavigator, "dbtext.navigator", QtWarningMsg)

namespace navigator {

namespace {
constexpr int kKeyRole = Qt::UserRole;       // node key
constexpr int kImageRole = Qt::UserRole + 1; // image key
constexpr int kIndexRole = Qt::UserRole + 2; // 1-based index in the node collection
constexpr int kTitleRole = Qt::UserRole + 3; // the title as the database holds it

const QColor kHighlight(192, 0, 0); // the text colour value 192 (dark red)
} // namespace

QString uTrX::keyOf(const QTreeWidgetItem* node) {
    return node ? node->data(0, kKeyRole).toString() : QString();
}

QString uTrX::imageOf(const QTreeWidgetItem* node) {
    return node ? node->data(0, kImageRole).toString() : QString();
}

QString uTrX::storedTitle(const QTreeWidgetItem* node) {
    return node ? node->data(0, kTitleRole).toString() : QString();
}

void uTrX::setStoredTitle(QTreeWidgetItem* node, const QString& title) {
    node->setData(0, kTitleRole, title);
}

int uTrX::indexOf(const QTreeWidgetItem* node) const {
    return node ? node->data(0, kIndexRole).toInt() : 0;
}

QTreeWidgetItem* uTrX::nodeAt(int index) const {
    return index >= 1 && index <= m_nodes.size() ? m_nodes[index - 1] : nullptr;
}

void uTrX::setImage(QTreeWidgetItem* node, const QString& image) {
    node->setData(0, kImageRole, image);
    node->setIcon(0, NodeImages::icon(image));
    // Closed pages get an expander although their children are not loaded yet (see onItemExpanded).
    const bool closed = image.endsWith(QLatin1String("cls")) && !image.startsWith(QLatin1String("tg"));
    node->setChildIndicatorPolicy(closed || node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                                   : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* uTrX::addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, const QString& image) {
    if (m_keys.contains(key))
        throw util::VbError(QStringLiteral("Key is not unique in collection"));
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_trView);
    // Pages can be renamed in place; tag nodes stand for no row of the database and cannot.
    if (!key.startsWith(QLatin1Char('X')))
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setText(0, text);
    setStoredTitle(item, text);
    item->setData(0, kKeyRole, key);
    m_nodes.push_back(item);
    item->setData(0, kIndexRole, int(m_nodes.size()));
    m_keys.insert(key, item);
    setImage(item, image);
    return item;
}

QString uTrX::MkNdKy(const QString& no, const QString& kind) {
    if (m_iKyCnt == std::numeric_limits<qint32>::max())
        throw util::VbError(QStringLiteral("Overflow"));
    return kind + QString::number(m_iKyCnt++) + QLatin1Char('-') + no;
}

QString uTrX::KyToNo(const QString& key) {
    if (key == QLatin1String("0"))
        return key;
    const qsizetype dash = key.indexOf(QLatin1Char('-'));
    return dash < 0 ? key : key.mid(dash + 1);
}

QString uTrX::GetNdImg(const QString& kind, const QString& noLfC, const QVariant& boCod) {
    const int cod = util::isNull(boCod) ? 0 : boCod.toInt();
    if (cod == 1)
        return kind == QLatin1String("N") ? QStringLiteral("ndcod") : QStringLiteral("lkcod");
    QVariant count(0);
    if (const std::optional<qint32> no = util::pageNumber(noLfC)) // no page number: no children
        m_svr.R_GtVaL(docdb::sql::kChildCount + QString::number(*no), count, QVariant(0));
    const bool leaf = count.toInt() < 1;
    if (kind == QLatin1String("L"))
        return leaf ? QStringLiteral("lklef") : QStringLiteral("lkcls");
    return leaf ? QStringLiteral("ndlef") : QStringLiteral("ndcls");
}

void uTrX::SetNdImg(int index, int state) {
    QTreeWidgetItem* n = nodeAt(index);
    if (!n)
        return;
    const QChar kind = keyOf(n).isEmpty() ? QLatin1Char('N') : keyOf(n).at(0);
    static const char* const table[3][3] = {
        {"ndlef", "ndcls", "ndopn"}, // N
        {"lklef", "lkcls", "lkopn"}, // L
        {"tgcls", "tgcls", "tgopn"}, // X
    };
    const int row = kind == QLatin1Char('L') ? 1 : kind == QLatin1Char('X') ? 2 : 0;
    setImage(n, QString::fromLatin1(table[row][std::clamp(state, 0, 2)]));
}

QList<QTreeWidgetItem*> uTrX::siblingsOf(QTreeWidgetItem* node) const {
    QList<QTreeWidgetItem*> out;
    if (!node)
        return out;
    if (QTreeWidgetItem* p = node->parent()) {
        for (int i = 0; i < p->childCount(); ++i)
            out << p->child(i);
    } else {
        for (int i = 0; i < m_trView->topLevelItemCount(); ++i)
            out << m_trView->topLevelItem(i);
    }
    return out;
}

QString uTrX::GetSblIdx(QTreeWidgetItem* node) const {
    if (m_nodes.isEmpty() || !node)
        return {};
    QStringList idx;
    for (QTreeWidgetItem* s : siblingsOf(node))
        idx << QString::number(indexOf(s));
    return idx.join(QLatin1Char(','));
}

QString uTrX::GetChldIdx(int index) const {
    QTreeWidgetItem* n = nodeAt(index);
    if (!n || n->childCount() == 0 || !n->isExpanded())
        return {};
    return GetSblIdx(n->child(0));
}

bool uTrX::readChildren(const QString& key, const QString& statement, docdb::RowArray& rows, qint32& n) {
    // The key's page number goes into the statement as plain text: only a checked whole number
    // does; a key whose number part is anything else reads nothing.
    const std::optional<qint32> no = util::pageNumber(KyToNo(key));
    if (!no)
        return false;
    QString sql = statement;
    sql.replace(QLatin1Char('?'), QString::number(*no));
    m_svr.R_Ary(sql, rows, n);
    return true;
}

void uTrX::SetNodes(QString& sKy, bool /*bShwRt*/) {
    // One read for the children and one for each child's own: thousands of children, or a server
    // far away, take a moment, which the pointer shows.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    docdb::RowArray rows;
    qint32 n = 0;
    if (!readChildren(sKy, docdb::sql::kChildren, rows, n))
        return;
    try {
        QTreeWidgetItem* parent = nullptr;
        if (!m_nodes.isEmpty()) {
            parent = m_keys.value(sKy);
            if (!parent)
                return;
        } else {
            m_iKyCnt = 0;
        }
        for (int r = 0; r < n; ++r) {
            // A child number that is not a whole number names no page: its row is left out, so
            // it never becomes a key or part of a later statement.
            const std::optional<qint32> childNo = util::pageNumber(rows(0, r));
            if (!childNo)
                continue;
            const QString child = QString::number(*childNo);
            const QString text = util::CStr(rows(1, r));
            const QString kind = rows(2, r).toInt() == 1 ? QStringLiteral("L") : QStringLiteral("N");
            const QString key = MkNdKy(child, kind);
            const QString image = GetNdImg(kind, child, rows(3, r));
            addNode(parent, key, text, image);
            sKy = key;
        }
        if (parent)
            setImage(parent, imageOf(parent)); // the expander follows the children now present
    } catch (const util::VbError& e) {
        qCDebug(lcNavigator) << "load ended:" << e.what();
    }
}

void uTrX::ClearItem(bool /*bNsrt*/) {
    m_trView->clear();
    m_nodes.clear();
    m_keys.clear();
    m_lsFind->clear();
    m_fndNote->hide();
    m_lsRsnt->clear();
    m_sFndHst = QStringLiteral(".");
    // The database opened or closed: the find and its index follow it.
    m_engine.setDatabase(m_svr.databaseFile(), m_svr.connectionText());
    showFindBusy();
}

void uTrX::onItemExpanded(QTreeWidgetItem* item) {
    if (item->childCount() == 0) {
        // Expanded by its arrow before it was ever chosen: load the children now.
        QString key = keyOf(item);
        SetNodes(key);
        if (item->childCount() == 0) {
            item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
            return;
        }
    }
    SetNdImg(indexOf(item), 2);
}

void uTrX::onItemCollapsed(QTreeWidgetItem* item) {
    SetNdImg(indexOf(item), 1);
}

// ---------------------------------------------------------------------------------------------
// Selection and host events
// ---------------------------------------------------------------------------------------------

void uTrX::SlctNd(QTreeWidgetItem* node) {
    if (!node)
        return;
    try {
        bool cancel = false;
        Q_EMIT eChkMove(cancel);
        if (!m_bCdMd) {
            if (cancel) {
                if (QTreeWidgetItem* shown = m_keys.value(m_sTmpKy))
                    m_trView->setCurrentItem(shown);
                return;
            }
            ShwNd(node);
            return;
        }
        if (cancel) {
            raiseMessage(QStringLiteral("新規ﾍﾟｰｼﾞを編集して下さい"));
            m_lsCod->setFocus();
            return;
        }
        ShwNd(node);
    } catch (const std::exception& e) {
        qCDebug(lcNavigator) << "SlctNd:" << e.what();
    }
}

void uTrX::ShwNd(QTreeWidgetItem* node) {
    if (!node)
        return;
    try {
        m_trView->setCurrentItem(node);
        const QString key = keyOf(node);
        const QString sNo = KyToNo(key);
        const QString sNoP = node->parent() ? KyToNo(keyOf(node->parent())) : QStringLiteral("0");
        const bool bHg = node->foreground(0).color() == kHighlight && node->foreground(0).style() != Qt::NoBrush;
        const qint16 iJb = key.startsWith(QLatin1Char('X')) ? 1 : 0;
        const bool isCode = imageOf(node).endsWith(QLatin1String("cod"));
        if (isCode != m_bCdMd) {
            m_bCdMd = isCode;
            SetFrame(1, false);
        }
        if (m_bCdMd) {
            SetCdLst(key);
        } else if (node->childCount() == 0) {
            QString copy = key;
            SetNodes(copy);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        raiseSetDoc(sNoP, sNo, node->text(0), iJb, bHg);
    } catch (const std::exception& e) {
        qCDebug(lcNavigator) << "ShwNd:" << e.what();
    }
}

QString uTrX::SlctdKy() const {
    return keyOf(m_trView->currentItem());
}

void uTrX::SetTmpKy() {
    if (QTreeWidgetItem* sel = m_trView->currentItem())
        m_sTmpKy = keyOf(sel);
    else if (m_trView->topLevelItemCount() > 0)
        m_sTmpKy = keyOf(m_trView->topLevelItem(0));
}

void uTrX::RootSelect(bool* bRec) {
    const bool any = m_trView->topLevelItemCount() > 0;
    if (bRec)
        *bRec = any;
    if (any)
        SlctNd(m_trView->topLevelItem(0));
}

void uTrX::GetPrCdNo(QString& sNoP) {
    QString c;
    bool l = false;
    GetPrCdNo(sNoP, c, l);
}

void uTrX::GetPrCdNo(QString& sNoP, QString& sNoC, bool& bLnk, const QString& sNdKy) {
    QTreeWidgetItem* n = sNdKy.isEmpty() ? m_trView->currentItem() : m_keys.value(sNdKy);
    if (!n) {
        sNoP = sNoC = QStringLiteral("0");
        return;
    }
    sNoC = KyToNo(keyOf(n));
    sNoP = n->parent() ? KyToNo(keyOf(n->parent())) : QStringLiteral("0");
    bLnk = imageOf(n).startsWith(QLatin1String("lk"), Qt::CaseInsensitive);
}

void uTrX::SetLeaf(const QString& sDno) {
    if (sDno.isEmpty() || sDno == QLatin1String("0") || m_trView->topLevelItemCount() == 0)
        return;
    QString path;
    if (sDno.contains(QLatin1Char(','))) {
        path = sDno;
    } else {
        qint32 n = 0;
        try {
            n = util::CLng(util::Val(sDno));
        } catch (const util::VbError&) {
            return;
        }
        if (n == 0)
            return;
        path = QString::number(n) + QLatin1Char(',');
        for (int i = 0; i < 51; ++i) {
            QVariant v;
            m_svr.R_GtVaL(docdb::sql::kHomeParent + QString::number(n), v, QVariant());
            const std::optional<qint32> parent = util::pageNumber(v);
            if (!parent || *parent == -1)
                return; // no home placement, or a parent that is no page number: nothing is shown
            const qint32 p = *parent;
            if (p == 0) {
                path += QLatin1Char('0');
                break;
            }
            if ((QLatin1Char(',') + path).contains(QLatin1Char(',') + QString::number(p) + QLatin1Char(',')))
                return; // the ancestry loops
            path += QString::number(p) + QLatin1Char(',');
            n = qint32(p);
        }
    }
    const QStringList entries = path.split(QLatin1Char(','));
    QTreeWidgetItem* node = m_trView->topLevelItem(0);
    for (qsizetype d = entries.size() - 2; d >= 0; --d) {
        QTreeWidgetItem* match = nullptr;
        for (QTreeWidgetItem* s : siblingsOf(node)) {
            if (KyToNo(keyOf(s)) == entries[d]) {
                match = s;
                break;
            }
        }
        if (!match)
            return; // the way is not in the tree: no unrelated page is shown
        node = match;
        if (d == 0)
            break;
        if (node->childCount() == 0) {
            QString key = keyOf(node);
            SetNodes(key);
            if (node->childCount() == 0)
                return; // the page is not under its home parent in the tree
        }
        if (!node->isExpanded())
            node->setExpanded(true);
        node = node->child(0);
    }
    ShwNd(node);
}

// ---------------------------------------------------------------------------------------------
// Code list
// ---------------------------------------------------------------------------------------------

void uTrX::SetCdLst(const QString& key) {
    docdb::RowArray rows;
    qint32 n = 0;
    if (!readChildren(key, docdb::sql::kCodeList, rows, n))
        return;
    m_lsCod->clear();
    for (int r = 0; r < n; ++r) {
        const std::optional<qint32> childNo = util::pageNumber(rows(0, r));
        if (!childNo)
            continue; // no page
        auto* item = new QTreeWidgetItem(m_lsCod);
        item->setData(0, kKeyRole, QStringLiteral("K") + QString::number(*childNo));
        item->setText(0, util::CStr(rows(1, r)));
        const QDateTime when = rows(2, r).toDateTime();
        item->setText(1, when.isValid() ? when.toString(QStringLiteral("yy/MM/dd HH:mm:ss")) : util::CStr(rows(2, r)));
        // A narrow list shortens its columns; the whole texts stay at hand as tool tips.
        item->setToolTip(0, item->text(0));
        item->setToolTip(1, item->text(1));
    }
}

} // namespace navigator
