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
#include <QSet>
#include <QTimer>
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

QString uTrX::shownTitle(const QString& title) {
    // A title of megabytes would take the list's layout seconds at every step; what a line can
    // show is shown, and the whole title is kept with the node.
    constexpr qsizetype kShown = 512;
    if (title.size() <= kShown)
        return title;
    qsizetype cut = kShown;
    if (title.at(cut - 1).isHighSurrogate())
        --cut;
    return title.left(cut) + QChar(0x2026);
}

QTreeWidgetItem* uTrX::makeNode(const QString& key, const QString& text, const QString& image) {
    if (m_keys.contains(key))
        throw util::VbError(QStringLiteral("Key is not unique in collection"));
    auto* item = new QTreeWidgetItem();
    // Pages can be renamed in place; tag nodes stand for no row of the database and cannot.
    if (!key.startsWith(QLatin1Char('X')))
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setText(0, shownTitle(text));
    item->setToolTip(0, item->text(0)); // a title the tree cuts shows whole here
    setStoredTitle(item, text);
    item->setData(0, kKeyRole, key);
    m_nodes.push_back(item);
    item->setData(0, kIndexRole, int(m_nodes.size()));
    m_keys.insert(key, item);
    setImage(item, image);
    return item;
}

QTreeWidgetItem* uTrX::addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, const QString& image) {
    QTreeWidgetItem* item = makeNode(key, text, image);
    if (parent)
        parent->addChild(item);
    else
        m_trView->addTopLevelItem(item);
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
    finishLoading(); // nodes are made in the order they are read, one node's children at a time
    docdb::RowArray rows;
    qint32 n = 0;
    QSet<qint32> parents;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        if (!readChildren(sKy, docdb::sql::kChildren, rows, n))
            return;
        // Which children have children: one more statement whatever their number (a round trip
        // each would be thousands on a server).
        // A read that fails (cancelled, or the connection lost) loads nothing: the node is read again
        // when it is next needed, rather than left with every child drawn as a leaf.
        if (n > 0) {
            QString sql = docdb::sql::kChildParents;
            sql.replace(QLatin1Char('?'), QString::number(*util::pageNumber(KyToNo(sKy))));
            docdb::Recordset found;
            bool ok = false;
            m_svr.R_Rset(sql, found, ok, 0);
            if (!ok)
                return;
            for (; !found.eof(); found.moveNext())
                if (const std::optional<qint32> no = util::pageNumber(found.field(0)))
                    parents.insert(*no);
        }
    }
    QTreeWidgetItem* parent = nullptr;
    if (!m_nodes.isEmpty()) {
        parent = m_keys.value(sKy);
        if (!parent)
            return;
    } else {
        m_iKyCnt = 0;
    }
    m_loading = std::make_unique<Loading>(Loading{parent, std::move(rows), n, 0, m_iKyCnt, 0, 0, std::move(parents)});
    // Every child's key is fixed now, in the order read, as if all were made at once: the running
    // numbers are taken for them, and the last one is the caller's. A child number that is not a
    // whole number names no page: its row is left out, so it never becomes a key or part of a later
    // statement. Where the running numbers run out, the rest is not shown.
    Loading& l = *m_loading;
    qint32 last = -1;
    for (int r = 0; r < n && l.keyCount < std::numeric_limits<qint32>::max() - l.firstKey; ++r)
        if (util::pageNumber(l.rows(0, r))) {
            ++l.keyCount;
            last = r;
        }
    if (last >= 0) {
        m_iKyCnt = l.firstKey + l.keyCount;
        sKy = keyOfRow(l, last, l.firstKey + l.keyCount - 1);
    }
    // The first children at once, so that the node opens with them; thousands more follow in
    // slices while the window goes on, under the busy pointer.
    addChildSlice(kFirstSlice);
    if (m_loading) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_sliceTimer->start();
    }
}

void uTrX::addChildSlice(int count) {
    Loading& l = *m_loading;
    const int end = std::min<qint64>(l.n, qint64(l.next) + count);
    try {
        QList<QTreeWidgetItem*> items;
        items.reserve(end - l.next);
        // The nodes made are placed in the tree even when one fails (they are in the collection).
        const auto place = qScopeGuard([&] {
            if (l.parent)
                l.parent->addChildren(items);
            else
                m_trView->addTopLevelItems(items);
        });
        for (int r = l.next; r < end; ++r) {
            const std::optional<qint32> no = util::pageNumber(l.rows(0, r));
            if (!no)
                continue; // no page
            if (l.keysMade == l.keyCount)
                break; // the running numbers ran out
            const qint32 childNo = *no;
            const QString text = util::CStr(l.rows(1, r));
            const bool link = l.rows(2, r).toInt() == 1;
            const QVariant cod = l.rows(3, r);
            QString image;
            if (!util::isNull(cod) && cod.toInt() == 1)
                image = link ? QStringLiteral("lkcod") : QStringLiteral("ndcod");
            else if (link)
                image = l.parents.contains(childNo) ? QStringLiteral("lkcls") : QStringLiteral("lklef");
            else
                image = l.parents.contains(childNo) ? QStringLiteral("ndcls") : QStringLiteral("ndlef");
            items << makeNode(keyOfRow(l, r, l.firstKey + l.keysMade++), text, image);
        }
        l.next = end;
    } catch (const util::VbError& e) {
        qCDebug(lcNavigator) << "load ended:" << e.what();
        l.next = l.n;
    }
    if (l.next < l.n)
        return;
    if (l.parent)
        setImage(l.parent, imageOf(l.parent)); // the expander follows the children now present
    const bool sliced = m_sliceTimer->isActive();
    m_loading.reset();
    if (sliced) {
        m_sliceTimer->stop();
        QApplication::restoreOverrideCursor();
    }
}

QString uTrX::keyOfRow(const Loading& l, int row, qint32 number) {
    const QString kind = l.rows(2, row).toInt() == 1 ? QStringLiteral("L") : QStringLiteral("N");
    return kind + QString::number(number) + QLatin1Char('-') + QString::number(*util::pageNumber(l.rows(0, row)));
}

void uTrX::finishLoading() {
    if (!m_loading)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    while (m_loading)
        addChildSlice(std::numeric_limits<int>::max());
    QApplication::restoreOverrideCursor();
}

void uTrX::ClearItem(bool /*bNsrt*/) {
    if (m_loading) { // the children still to come are of the tree that goes
        m_loading.reset();
        m_sliceTimer->stop();
        QApplication::restoreOverrideCursor();
    }
    m_trView->clear();
    m_nodes.clear();
    m_keys.clear();
    m_foundFill->stop();
    m_foundRest.clear();
    m_lsFind->clear();
    m_fndNote->hide();
    m_fndCount->clear();
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
        raiseSetDoc(sNoP, sNo, storedTitle(node), iJb, bHg);
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
            finishLoading(); // the way may lead through any of them
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
    // Made first and put in at once: one insertion, not one for each of thousands of rows.
    QList<QTreeWidgetItem*> items;
    items.reserve(n);
    for (int r = 0; r < n; ++r) {
        const std::optional<qint32> childNo = util::pageNumber(rows(0, r));
        if (!childNo)
            continue; // no page
        auto* item = new QTreeWidgetItem();
        item->setData(0, kKeyRole, QStringLiteral("K") + QString::number(*childNo));
        item->setText(0, shownTitle(util::CStr(rows(1, r))));
        const QDateTime when = rows(2, r).toDateTime();
        item->setText(1, when.isValid() ? when.toString(QStringLiteral("yy/MM/dd HH:mm:ss")) : util::CStr(rows(2, r)));
        // A narrow list shortens its columns; the whole texts stay at hand as tool tips.
        item->setToolTip(0, item->text(0));
        item->setToolTip(1, item->text(1));
        items << item;
    }
    m_lsCod->addTopLevelItems(items);
}

} // namespace navigator
