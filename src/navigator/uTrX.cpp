// uTrX: construction, the tab strip and its panes, input filtering and the recent pages pane.
#include "navigator/uTrX.h"

#include "docdb/zSvr.h"
#include "find/FindIndex.h"
#include "navigator/NodeImages.h"
#include "util/ProcessState.h"
#include "util/Vb.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>

namespace navigator {

namespace {

QFrame* makeFrame(QWidget* parent, const char* name) {
    auto* f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(QFrame::NoFrame);
    f->hide();
    return f;
}

} // namespace

uTrX::uTrX(docdb::zSvr& svr, platform::IScreen& screen, platform::IMessageBox& messages, QWidget* parent)
    : QWidget(parent), m_svr(svr), m_screen(screen), m_messages(messages), m_tw(screen) {
    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setInterval(0);
    connect(m_sliceTimer, &QTimer::timeout, this, [this] {
        if (m_loading)
            addChildSlice(kSlice);
    });
    setObjectName(QStringLiteral("uTrX"));
    // A rename writes the tree alone: the find index stays current across it.
    m_svr.setWriteWatch(find::findindex::ownWriteWatch([svr = &m_svr] { return svr->databaseFile(); }));

    m_stTab = new QTabBar(this);
    m_stTab->setObjectName(QStringLiteral("stTab"));
    m_stTab->setDrawBase(true);
    m_stTab->setExpanding(false);
    m_stTab->setUsesScrollButtons(false); // a narrow tree shortens the captions instead
    m_stTab->setElideMode(Qt::ElideRight);
    const struct {
        const char16_t* caption;
        const char16_t* tip;
        const char* key;
    } tabs[] = {{u"文脈", u"文書構成で参照", "tree"},
                {u"検索", u"指定文字を含む文書を検索", "find"},
                {u"履歴", u"最近表示した文書", "rireki"}};
    for (const auto& t : tabs) {
        const int i = m_stTab->addTab(NodeImages::icon(QString::fromLatin1(t.key)), QString::fromUtf16(t.caption));
        m_stTab->setTabToolTip(i, QString::fromUtf16(t.tip));
        m_stTab->setTabData(i, QString::fromLatin1(t.key));
    }
    // A click shows its pane (also the current one again); the wheel and the arrow keys change the
    // current tab without a click, and show its pane too. SetFrame moves the current tab with the
    // signals blocked, so a click shows its pane once.
    m_stTab->installEventFilter(this); // notes the button of a click: only the left one chooses a tab
    connect(m_stTab, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && m_tabButton == Qt::LeftButton)
            SetFrame(index + 1, false);
    });
    connect(m_stTab, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0)
            SetFrame(index + 1, false);
    });

    m_frTree = makeFrame(this, "frTree");
    m_frFind = makeFrame(this, "frFind");
    m_frRcnt = makeFrame(this, "frRcnt");

    m_trView = new QTreeWidget(m_frTree);
    m_trView->setObjectName(QStringLiteral("trView"));
    m_trView->setHeaderHidden(true);
    m_trView->setColumnCount(1);
    m_trView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_trView->setIconSize(QSize(16, 16));
    m_trView->setUniformRowHeights(true);
    m_trView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_trView->viewport()->installEventFilter(this);
    m_trView->installEventFilter(this);
    connect(m_trView, &QTreeWidget::itemExpanded, this, &uTrX::onItemExpanded);
    connect(m_trView, &QTreeWidget::itemCollapsed, this, &uTrX::onItemCollapsed);

    m_lsCod = new QTreeWidget(m_frTree);
    m_lsCod->setObjectName(QStringLiteral("lsCod"));
    m_lsCod->setHeaderHidden(true);
    m_lsCod->setColumnCount(2);
    m_lsCod->setRootIsDecorated(false);
    m_lsCod->setUniformRowHeights(true);
    m_lsCod->header()->setStretchLastSection(false);
    m_lsCod->setColumnWidth(0, m_tw.toPxX(2400));
    m_lsCod->setColumnWidth(1, m_tw.toPxX(1800));
    m_lsCod->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lsCod->hide();
    m_lsCod->viewport()->installEventFilter(this);

    m_cmbFind = new QComboBox(m_frFind);
    m_cmbFind->setObjectName(QStringLiteral("cmbFind"));
    m_cmbFind->setEditable(true);
    m_cmbFind->setInsertPolicy(QComboBox::NoInsert);
    m_cmFind = new QPushButton(QStringLiteral("検索"), m_frFind);
    m_cmFind->setObjectName(QStringLiteral("cmFind"));
    m_lsFind = new QListWidget(m_frFind);
    m_lsFind->setObjectName(QStringLiteral("lsFind"));
    m_lsFind->setUniformItemSizes(true); // one line a row: a list of 100,000 titles lays out at once
    setupFindPane();

    m_lsRsnt = new QListWidget(m_frRcnt);
    m_lsRsnt->setObjectName(QStringLiteral("lsRsnt"));
    connectChoice(m_lsRsnt, &uTrX::chooseRecent);
    m_cmClrRsnt = new QPushButton(QStringLiteral("履歴のｸﾘｱ"), m_frRcnt);
    m_cmClrRsnt->setObjectName(QStringLiteral("cmClrRsnt"));
    connect(m_cmClrRsnt, &QPushButton::clicked, m_lsRsnt, &QListWidget::clear);

    if (util::processState().runFlag) {
        m_sFndHst = QStringLiteral(".");
        m_bNoEvt = true;
    }
}

uTrX::~uTrX() {
    // The children outlive this object's own destructor: their last signals and events (focus
    // leaving the find box, lists being emptied) must not reach it half-destroyed.
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
        child->removeEventFilter(this);
    }
}

QFrame* uTrX::frame(int pane) const {
    switch (pane) {
    case 1:
        return m_frTree;
    case 2:
        return m_frFind;
    case 3:
        return m_frRcnt;
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// Panes and layout
// ---------------------------------------------------------------------------------------------

void uTrX::StSize() {
    // The tab strip fills the control; its tabs run along the top. When the three captions with
    // their pictures are wider than the control (the narrow tree), the pictures are left out so
    // that every caption stays whole and every tab can be clicked.
    const auto setIcons = [this](bool on) {
        for (int i = 0; i < m_stTab->count(); ++i)
            m_stTab->setTabIcon(i, on ? NodeImages::icon(m_stTab->tabData(i).toString()) : QIcon());
        m_tabIcons = on;
    };
    // Only a change of width decides again, as a resize is frequent and the strip relays itself out.
    if (!m_tabIcons && m_tabWidthWithIcons <= width())
        setIcons(true);
    if (m_tabIcons) {
        m_tabWidthWithIcons = m_stTab->sizeHint().width();
        if (m_tabWidthWithIcons > width())
            setIcons(false);
    }
    m_stTab->setGeometry(0, 0, width(), m_stTab->sizeHint().height());
}

void uTrX::fitCodeColumns() {
    // The code list's columns are 2400 and 1800 twips; a narrower list shares its width in the same
    // proportion, so that the dates stay in view without a horizontal scroll bar.
    // The date is never cut: its column is at least as wide as a date and time with the cell's
    // margins; the titles give way (a cut title shows whole as its tool tip).
    const int designed0 = m_tw.toPxX(2400);
    const int date = m_lsCod->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00 00:00:00")) + 16;
    const int designed1 = std::max(m_tw.toPxX(1800), date);
    const int avail = m_lsCod->viewport()->width();
    if (avail <= 0 || avail >= designed0 + designed1) {
        m_lsCod->setColumnWidth(0, designed0);
        m_lsCod->setColumnWidth(1, designed1);
        return;
    }
    const int second = std::min(avail, std::max(date, avail - int(qint64(avail) * 2400 / 4200)));
    m_lsCod->setColumnWidth(0, avail - second);
    m_lsCod->setColumnWidth(1, second);
}

QRect uTrX::clientRect() const {
    const int top = m_stTab->geometry().bottom() + 1;
    return QRect(2, top + 2, std::max(0, width() - 4), std::max(0, height() - top - 4));
}

void uTrX::SetFrame(int iTb, bool bRsz) {
    qint16 t = qint16(iTb);
    SetFrame(t, bRsz);
}

void uTrX::SetFrame(qint16& iTb, bool bRsz) {
    if (iTb > 0) {
        m_iCurTb = iTb;
    } else if (iTb == 0) {
        if (m_iCurTb == 0)
            m_iCurTb = 1;
        iTb = m_iCurTb;
    }
    const QRect c = clientRect();
    const double L = util::roundHalfEven(m_tw.fromPxX(c.left()));
    const double T = util::roundHalfEven(m_tw.fromPxY(c.top()));
    const double W = util::roundHalfEven(m_tw.fromPxX(c.width()));
    const double H = util::roundHalfEven(m_tw.fromPxY(c.height()));
    if (!bRsz) {
        m_frTree->hide();
        m_frFind->hide();
        m_frRcnt->hide();
    }
    QFrame* chosen = frame(iTb);
    QString message;
    if (chosen) {
        chosen->setGeometry(m_tw.toPx(L, T, W, H));
        chosen->raise();
    }
    switch (iTb) {
    case 1:
        m_lsCod->setVisible(m_bCdMd);
        if (!m_bCdMd) {
            m_trView->setGeometry(m_tw.toPx(30, 50, W - 60, H - 50));
            m_lsCod->clear();
        } else {
            const double h = util::roundHalfEven((H - 60) / 2);
            m_trView->setGeometry(m_tw.toPx(30, 50, W - 60, h));
            m_lsCod->setGeometry(m_tw.toPx(30, H - h, W - 60, h));
        }
        message = QStringLiteral("左のﾂﾘｰでﾍﾟｰｼﾞを指定して下さい");
        break;
    case 2: {
        const double comboH = m_tw.fromPxY(m_cmbFind->height());
        m_cmbFind->setGeometry(m_tw.toPxX(60), m_tw.toPxY(50), std::max(0, m_tw.toPxX(W - 590)), m_cmbFind->height());
        m_cmFind->setGeometry(m_tw.toPx(W - 550, 55, 490, comboH - 35));
        // The pane's status strip takes the bottom of the list's place, where no row covers it.
        QRect list = m_tw.toPx(30, 350, W - 60, H - 380);
        list.setHeight(std::max(0, list.height() - findStripHeight()));
        m_lsFind->setGeometry(list);
        placeFindNotes();
        message = QStringLiteral("文書全体に検索文字を含む文書を探します");
        break;
    }
    case 3:
        m_cmClrRsnt->setGeometry(m_tw.toPx(60, H - 270, W - 120, 270));
        m_lsRsnt->setGeometry(m_tw.toPx(30, 50, W - 60, H - 270));
        m_bNoEvt = true;
        if (m_lsRsnt->count() > 0)
            m_lsRsnt->setCurrentRow(m_lsRsnt->count() - 1);
        else
            m_lsRsnt->setCurrentRow(-1);
        m_bNoEvt = false;
        message = QStringLiteral("最近表示したﾍﾟｰｼﾞをﾘｽﾄしました");
        break;
    default:
        break;
    }
    if (bRsz)
        return;
    if (!message.isEmpty())
        raiseMessage(message);
    if (chosen) {
        chosen->show();
        const QSignalBlocker block(m_stTab);
        m_stTab->setCurrentIndex(iTb - 1);
    }
    focusPane(iTb);
    if (iTb != 2)
        m_sFndWd.clear();
}

void uTrX::focusPane(int iTb, Qt::FocusReason reason) {
    if (iTb == 0)
        iTb = m_stTab->currentIndex() + 1;
    switch (iTb) {
    case 1:
        m_trView->setFocus(reason);
        break;
    case 2:
        m_cmbFind->setFocus(reason);
        break;
    case 3:
        m_lsRsnt->setFocus(reason);
        break;
    default:
        break;
    }
}

void uTrX::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const util::ProcessState& ps = util::processState();
    if (ps.runFlag && !ps.busy) {
        StSize();
        SetFrame(m_iCurTb, true);
    }
    placeFindNotes();
}

void uTrX::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_bNoEvt = false;
    }
}

void uTrX::raiseMessage(const QString& text) {
    QString msg = text;
    Q_EMIT eFmMsg(msg);
}

void uTrX::raiseSetDoc(const QString& sNoP, const QString& sNo, const QString& sSz, qint16 iJb, bool bHg) {
    QString p = sNoP, n = sNo, s = sSz;
    Q_EMIT eSetDoc(p, n, s, iJb, bHg);
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void uTrX::connectChoice(QListWidget* list, void (uTrX::*choose)(QListWidgetItem*)) {
    // An entry is chosen by a click (also on the entry already selected) or by moving the
    // selection with the keyboard; the event filter tells the two apart.
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
    connect(list, &QListWidget::itemClicked, this, [this, choose](QListWidgetItem* item) { (this->*choose)(item); });
    connect(list, &QListWidget::currentItemChanged, this, [this, choose](QListWidgetItem* item) {
        if (m_listKeyboard) {
            m_listKeyboard = false;
            (this->*choose)(item);
        }
    });
}

bool uTrX::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_trView->viewport() || watched == m_lsCod->viewport()) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        return true; // a right click only raises eRightClick: the selection stays on the page shown
    }
    if (watched == m_trView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            bool trv = true;
            Q_EMIT eRightClick(trv);
        } else {
            // Let the tree finish its own selection change before the node is read.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            SlctNd(m_trView->currentItem());
        }
        return false;
    }
    if (watched == m_trView && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        // Enter that finishes a label edit comes from the editor and is not a choice.
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) && QApplication::focusWidget() == m_trView &&
            (ke->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && m_trView->currentItem()) {
            SlctNd(m_trView->currentItem());
            return true;
        }
        return false;
    }
    if (watched == m_lsCod->viewport() && event->type() == QEvent::Resize) {
        fitCodeColumns();
        return false;
    }
    if (watched == m_lsCod->viewport() && event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            bool trv = false;
            Q_EMIT eRightClick(trv);
        }
        return false;
    }
    if ((watched == m_lsRsnt || watched == m_lsFind) && event->type() == QEvent::KeyPress) {
        m_listKeyboard = true;
        return false;
    }
    if ((watched == m_lsRsnt->viewport() || watched == m_lsFind->viewport()) &&
        event->type() == QEvent::MouseButtonPress) {
        m_listKeyboard = false;
        return false;
    }
    // An entry of the find combo's list is picked by a click or by Enter in the list; the list
    // takes Enter already as a shortcut override. The mark lives only while the list is open, so
    // that a later "activated" from the arrow keys in the box runs nothing.
    const auto isEnter = [](QEvent* e) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    };
    if ((watched == m_cmbFind->view()->viewport() && event->type() == QEvent::MouseButtonRelease) ||
        (watched == m_cmbFind->view() &&
         (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) && isEnter(event))) {
        m_comboPicked = true;
        return false;
    }
    if (watched == m_cmbFind->view()->parentWidget() && event->type() == QEvent::Show) {
        m_comboPicked = false;
        return false;
    }
    if (watched == m_cmbFind->view()->parentWidget() && event->type() == QEvent::Hide) {
        // "activated" of a pick comes while the list closes; after that the mark is gone.
        QMetaObject::invokeMethod(
            this, [this] { m_comboPicked = false; }, Qt::QueuedConnection);
        return false;
    }
    if (watched == m_cmbFind && event->type() == QEvent::Wheel)
        return true; // the wheel would replace the typed text by a history entry
    if (watched == m_stTab && event->type() == QEvent::MouseButtonPress) {
        m_tabButton = static_cast<QMouseEvent*>(event)->button();
        return false;
    }
    if ((watched == m_cmbFind || watched == m_cmbFind->lineEdit()) && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) &&
            !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            FndDoc();
            return true; // the combo would otherwise replace the text by a history entry
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Recent pages
// ---------------------------------------------------------------------------------------------

void uTrX::SetRcnt(const QString& sNo, const QString& sTx) {
    qint32 n = 0;
    try {
        n = util::CLng(util::Val(sNo));
    } catch (const util::VbError&) {
        n = 0;
    }
    for (int i = 0; i < m_lsRsnt->count(); ++i) {
        if (m_lsRsnt->item(i)->data(Qt::UserRole).toInt() == n) {
            delete m_lsRsnt->takeItem(i);
            break;
        }
    }
    auto* item = new QListWidgetItem(shownTitle(sTx));
    item->setToolTip(item->text()); // a title the list cuts shows whole here
    item->setData(Qt::UserRole, n);
    item->setData(Qt::UserRole + 1, sTx);
    m_lsRsnt->addItem(item);
}

void uTrX::chooseRecent(QListWidgetItem* item) {
    if (m_bNoEvt || !item || !item->isSelected())
        return;
    raiseSetDoc(QString(), QString::number(item->data(Qt::UserRole).toInt()), item->data(Qt::UserRole + 1).toString(),
                2, false);
}

} // namespace navigator
