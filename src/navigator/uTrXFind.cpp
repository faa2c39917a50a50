// uTrX: the find pane, tag nodes, choosing code-list entries, and renaming pages in place.
#include "dbengine/DbProvider.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/PageFind.h"
#include "navigator/NodeImages.h"
#include "navigator/uTrX.h"
#include "platform/MessageBox.h"
#include "util/Vb.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QLoggingCategory>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>

Q_DECLARE_LOGGING_CATEGORY(lcNavigator)

namespace navigator {

namespace {

constexpr qsizetype kFirstFound = 5000; // rows shown with the answer
constexpr qsizetype kFoundSlice = 20000; // rows added at each later turn of the event loop

QString fullWidthDigits(qint32 n) {
    QString s = QString::number(n);
    for (QChar& c : s)
        if (c.isDigit())
            c = QChar(0xFF10 + (c.unicode() - u'0'));
    return s;
}

} // namespace

void uTrX::setupFindPane() {
    // The text searched is the text typed: no inline completion from the history, and leaving the
    // field does not replace the text by a history entry that differs from it in case only.
    m_cmbFind->setCompleter(nullptr);
    QObject::disconnect(m_cmbFind->lineEdit(), &QLineEdit::editingFinished, m_cmbFind, nullptr);
    // Enter reaches the combo, which holds the focus, and (sent directly) its line edit.
    m_cmbFind->installEventFilter(this);
    m_cmbFind->lineEdit()->installEventFilter(this);
    // Choosing from the combo's list runs the find; the combo's own "activated" on leaving the field
    // does not, so the pick is noted where it happens, in the list.
    m_cmbFind->view()->installEventFilter(this);
    m_cmbFind->view()->viewport()->installEventFilter(this);
    m_cmbFind->view()->parentWidget()->installEventFilter(this); // the list's popup opening and closing
    connect(m_cmbFind, &QComboBox::activated, this, [this](int) {
        if (m_comboPicked) {
            m_comboPicked = false;
            FndDoc();
        }
    });
    connect(m_cmFind, &QPushButton::clicked, this, &uTrX::FndDoc);
    // The find runs on its own thread; a strip under the results says what the pane is doing
    // ("検索中...", then the number found) beside a bar for the find and the index's building.
    m_fndCount = new QLabel(m_frFind);
    m_fndCount->setObjectName(QStringLiteral("fndCount"));
    m_fndCount->setTextFormat(Qt::PlainText);
    m_fndCount->setIndent(4);
    m_fndBusy = new QProgressBar(m_frFind);
    m_fndBusy->setObjectName(QStringLiteral("fndBusy"));
    m_fndBusy->setTextVisible(true);
    m_fndBusy->setAlignment(Qt::AlignCenter);
    m_fndBusy->hide();
    m_foundFill = new QTimer(this);
    m_foundFill->setInterval(0);
    connect(m_foundFill, &QTimer::timeout, this, [this] { fillFound(kFoundSlice); });
    // A find that failed says so here, rather than looking like a find that found nothing.
    m_fndNote = new QLabel(m_lsFind);
    m_fndNote->setObjectName(QStringLiteral("fndNote"));
    m_fndNote->setWordWrap(true);
    m_fndNote->setTextFormat(Qt::PlainText);
    m_fndNote->setAutoFillBackground(true);
    m_fndNote->setMargin(4);
    QPalette note = m_fndNote->palette();
    note.setColor(QPalette::Window, QColor(0xff, 0xeb, 0xe8));
    note.setColor(QPalette::WindowText, QColor(0x80, 0, 0));
    m_fndNote->setPalette(note);
    m_fndNote->hide();
    connect(
        &m_engine, &find::FindEngine::found, this,
        [this](const QVector<find::FoundPage>& pages, bool ok, const QString& error) { showFound(pages, ok, error); });
    connect(&m_engine, &find::FindEngine::indexProgress, this, [this](int percent) {
        m_fndBusy->setValue(percent);
        showFindBusy();
    });
    connect(&m_engine, &find::FindEngine::indexFailed, this, &uTrX::showFindBusy);
    connectChoice(m_lsFind, &uTrX::chooseFound);
    connect(m_lsCod, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { chooseCode(item); });
    // A finished label edit: the delegate has put the text into the node when this runs. The title is
    // written once the editor has closed: the write may wait for a server, and a window that takes
    // the focus from an open editor would end the edit a second time (and the delegate would close
    // an editor already gone).
    connect(m_trView->itemDelegate(), &QAbstractItemDelegate::commitData, this, [this](QWidget* editor) {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            QMetaObject::invokeMethod(this, [this, text = line->text()] { LabelEdited(text); }, Qt::QueuedConnection);
    });
}

// ---------------------------------------------------------------------------------------------
// Find pane
// ---------------------------------------------------------------------------------------------

void uTrX::FndDoc() {
    const QString t = m_cmbFind->currentText();
    if (!m_sFndHst.contains(QLatin1Char('.') + t + QLatin1Char('.'))) {
        const QSignalBlocker block(m_cmbFind);
        m_cmbFind->addItem(t);
        m_cmbFind->setEditText(t);
        m_sFndHst += t + QLatin1Char('.');
    }
    m_foundFill->stop();
    m_foundRest.clear();
    m_lsFind->clear();
    m_fndNote->hide();
    m_fndCount->clear();
    m_sFndWd = t;
    m_foundText = t;
    // The find runs off the user-interface thread (a new find replaces a running one); the list
    // fills when it is done.
    m_engine.setDatabase(m_svr.databaseFile(), m_svr.connectionText());
    if (m_engine.find(t)) {
        showFindBusy();
        return;
    }
    QVector<find::FoundPage> pages;
    bool ok = false;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        pages = find::findPages(m_svr, t, &ok);
    }
    showFound(pages, ok, m_svr.lastError());
}

QWidget* uTrX::findBusyMark() const {
    return m_fndBusy;
}

void uTrX::showFindBusy() {
    const bool finding = m_engine.finding(), indexing = m_engine.indexing();
    m_lsFind->setCursor(finding ? Qt::BusyCursor : Qt::ArrowCursor);
    if (finding)
        m_fndCount->setText(QStringLiteral("検索中..."));
    if (!finding && !indexing) {
        m_fndBusy->hide();
    } else if (finding) {
        m_fndBusy->setRange(0, 0); // moving to and fro: the time is not known
        m_fndBusy->setFormat(QString());
        m_fndBusy->show();
    } else {
        m_fndBusy->setRange(0, 100);
        m_fndBusy->setFormat(QStringLiteral("検索用の索引を作成中 %p%"));
        m_fndBusy->show();
    }
    placeFindNotes();
}

int uTrX::findStripHeight() const {
    return std::max(m_fndCount->sizeHint().height(), m_fndBusy->sizeHint().height());
}

void uTrX::placeFindNotes() {
    // The status strip lies right below the result list: the text on the left, the bar filling
    // the rest. The note of a failed find lies over the bottom of the (empty) list.
    const QRect list = m_lsFind->geometry();
    const int h = findStripHeight();
    // Placed whether or not the pane shows yet: a pane shown later finds them in their places.
    const int textWidth = !m_fndBusy->isHidden() ? std::min(list.width() / 2, m_fndCount->sizeHint().width() + 8)
                                                 : list.width();
    m_fndCount->setGeometry(list.left(), list.bottom() + 1, textWidth, h);
    if (!m_fndBusy->isHidden())
        m_fndBusy->setGeometry(list.left() + textWidth, list.bottom() + 1, list.width() - textWidth, h);
    if (!m_fndNote->isHidden()) {
        const int nh = std::min(m_fndNote->heightForWidth(list.width()), list.height());
        m_fndNote->setGeometry(0, list.height() - nh, list.width(), nh);
    }
}

QString uTrX::findFailureText(const QString& error) {
    QString why = error;
    if (error.contains(QLatin1String("time-out")))
        why = QStringLiteral("%1 秒以内に終わりませんでした").arg(dbengine::DbProviders::commandTimeout() / 1000);
    else if (error.contains(QLatin1String("connection")) && error.contains(QLatin1String("lost")))
        why = QStringLiteral("サーバーとの接続が切れました");
    return QStringLiteral("検索できませんでした: ") + why;
}

void uTrX::showFound(const QVector<find::FoundPage>& pages, bool ok, const QString& error) {
    m_foundFill->stop();
    m_foundRest.clear();
    m_fndCount->clear();
    showFindBusy();
    if (!ok) {
        m_fndNote->setText(findFailureText(error));
        m_fndNote->show();
        m_fndNote->raise();
        placeFindNotes();
        raiseMessage(m_fndNote->text());
        return;
    }
    m_fndNote->hide();
    m_fndCount->setText(QLocale(QLocale::Japanese).toString(qlonglong(pages.size())) + QStringLiteral(" 件"));
    placeFindNotes();
    // The first rows show with the answer; the rest follow in slices while the window goes on.
    m_foundRest = pages;
    m_foundNext = 0;
    fillFound(kFirstFound);
    raiseMessage(fullWidthDigits(qint32(pages.size())) + QStringLiteral(" 件候補がありました"));
}

void uTrX::fillFound(qsizetype count) {
    const qsizetype end = std::min(m_foundRest.size(), m_foundNext + count);
    m_lsFind->setUpdatesEnabled(false);
    for (; m_foundNext < end; ++m_foundNext) {
        const find::FoundPage& page = m_foundRest[m_foundNext];
        auto* item = new QListWidgetItem(shownTitle(page.title));
        item->setToolTip(item->text()); // a title the list cuts shows whole here
        item->setData(Qt::UserRole, page.no);
        item->setData(Qt::UserRole + 1, page.title);
        m_lsFind->addItem(item);
    }
    m_lsFind->setUpdatesEnabled(true);
    if (m_foundNext < m_foundRest.size()) {
        m_foundFill->start();
    } else {
        m_foundFill->stop();
        m_foundRest.clear();
    }
}

void uTrX::chooseFound(QListWidgetItem* item) {
    if (m_bNoEvt || !item || !item->isSelected())
        return;
    raiseSetDoc(QString(), QString::number(item->data(Qt::UserRole).toInt()), item->data(Qt::UserRole + 1).toString(),
                2, false);
    Q_EMIT eFndWd(m_sFndWd); // by reference: the host may shorten the remembered text
}

// ---------------------------------------------------------------------------------------------
// Tags and the code list
// ---------------------------------------------------------------------------------------------

void uTrX::TagTree(const QString& sSz, const QString& sNo) {
    QTreeWidgetItem* s = m_trView->currentItem();
    if (!s)
        return;
    if (!s->isExpanded()) {
        if (s->childCount() == 0) {
            QString key = keyOf(s);
            SetNodes(key);
        }
        s->setExpanded(true);
    }
    finishLoading(); // the child may be one still to come
    for (int i = 0; i < s->childCount(); ++i) {
        QTreeWidgetItem* c = s->child(i);
        if (storedTitle(c) != sSz)
            continue;
        if (keyOf(c).endsWith(sNo)) {
            m_trView->setCurrentItem(c);
            return;
        }
        break; // the first child with the title decides
    }
    QTreeWidgetItem* tag = addNode(s, MkNdKy(sNo, QStringLiteral("X")), sSz, QStringLiteral("tgcls"));
    if (!s->isExpanded())
        s->setExpanded(true);
    raiseMessage(QStringLiteral("ﾀｸﾞ(文書ﾃﾞｰﾀｰﾍﾞｰｽ内のﾘﾝｸ)を挿入しました"));
    m_trView->setCurrentItem(tag);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void uTrX::chooseCode(QTreeWidgetItem* item) {
    if (!item || !item->isSelected())
        return;
    try {
        bool cancel = false;
        Q_EMIT eChkMove(cancel);
        if (cancel) {
            if (!m_bCdMd) {
                m_trView->setFocus();
            } else if (!m_sCdKy.isEmpty()) {
                for (int i = 0; i < m_lsCod->topLevelItemCount(); ++i)
                    if (m_lsCod->topLevelItem(i)->data(0, Qt::UserRole).toString() == m_sCdKy)
                        m_lsCod->setCurrentItem(m_lsCod->topLevelItem(i));
            }
            return;
        }
        m_sCdKy = item->data(0, Qt::UserRole).toString();
        if (!m_sCdKy.isEmpty())
            raiseSetDoc(QString(), m_sCdKy.mid(1), item->text(0), 0, false);
    } catch (const std::exception& e) {
        qCDebug(lcNavigator) << "code list:" << e.what();
    }
}

// ---------------------------------------------------------------------------------------------
// Renaming
// ---------------------------------------------------------------------------------------------

void uTrX::setRenameEnabled(bool on) {
    m_renameEnabled = on;
    m_trView->setEditTriggers(on ? QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked
                                 : QAbstractItemView::NoEditTriggers);
}

void uTrX::LabelEdited(const QString& t) {
    // The wait for a slow server takes the focus from the label editor, which ends the edit a second
    // time: the rename under way is the only one.
    if (m_renaming)
        return;
    m_renaming = true;
    const auto done = qScopeGuard([this] { m_renaming = false; });
    try {
        const QString title = util::Trim(t);
        if (title.isEmpty())
            return; // the tree keeps the label as typed; the database is not touched
        QTreeWidgetItem* node = m_trView->currentItem();
        const QString before = storedTitle(node);
        if (node && (t == before || title == before || t == shownTitle(before)))
            return; // nothing changed (a long title is edited as it is shown): no write, no stamp
        QString sNoP, sNoC;
        bool bLnk = false;
        GetPrCdNo(sNoP, sNoC, bLnk);
        if (sNoC.isEmpty())
            return;
        QString sql = docdb::sql::kRename;
        docdb::zSvr::T_CnvSq(sql, {title, sNoP, sNoC});
        QStringList statements{sql};
        if (m_stamp)
            statements << m_stamp(sNoP, sNoC, false);
        // The title and its date go in one transaction: both are written or neither. Another
        // program's lock is waited for a moment, with the busy pointer.
        bool ok = false;
        dbengine::WriteOutcome out;
        m_screen.setBusy(true);
        m_engine.stopBuild(); // our own index build reads the file: it must not hold off our write
        m_svr.D_ExeTx(statements, ok, out);
        m_screen.setBusy(false);
        m_engine.setDatabase(m_svr.databaseFile(), m_svr.connectionText());
        showFindBusy();
        if (ok && out.affected.value(0) == 0) {
            ok = false;
            out.failure = dbengine::WriteFailure::Other;
            out.error = QStringLiteral("ページの行がデータベースにありません");
        }
        if (ok && node)
            setStoredTitle(node, title);
        // The report waits until the label editor has closed: a message box over an open editor
        // would end the edit a second time.
        QPointer<uTrX> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, node, ok, out, before] {
                if (!self)
                    return;
                if (!ok) {
                    if (node && self->m_nodes.contains(node))
                        node->setText(0, shownTitle(before)); // the tree shows what the database holds
                    self->m_messages.show(QStringLiteral("題名を保存できませんでした: ") +
                                          docdb::zSvr::failureText(out));
                } else if (out.otherRows > 0) {
                    self->m_messages.show(
                        QStringLiteral("題名を保存しました。サーバーはほかに %1 行を変更しました").arg(out.otherRows));
                }
            },
            Qt::QueuedConnection);
    } catch (const std::exception& e) {
        qCDebug(lcNavigator) << "rename:" << e.what();
    }
}

} // namespace navigator
