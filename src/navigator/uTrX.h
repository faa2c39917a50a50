// uTrX: the navigator control: page tree with code list, find pane and recent pages pane on a tab strip.
#pragma once

#include "docdb/Recordset.h"
#include "find/FindEngine.h"
#include "platform/Twips.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QTimer;
class QProgressBar;
class QListWidgetItem;
class QPushButton;
class QTabBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace docdb {
class RowArray;
class zSvr;
} // namespace docdb
namespace platform {
class IMessageBox;
}

namespace navigator {

/// uTrX: the tree navigator. Loads the page tree lazily from tbTree joined with msDoc, keys its nodes
/// "N"/"L"/"X" + running number + "-" + page number, and tells its host which page to show through
/// five events whose arguments the host may change (passed by reference). All geometry is kept in
/// twips and converted to pixels at the widget edge.
class uTrX : public QWidget {
    Q_OBJECT
public:
    uTrX(docdb::zSvr& svr, platform::IScreen& screen, platform::IMessageBox& messages, QWidget* parent = nullptr);
    ~uTrX() override;

    // --- node model and loading ------------------------------------------------------------------
    /// Loads the children of the node with key sKy ("0": the top level into an empty tree). On return
    /// sKy holds the key of the last node added. bShwRt has no effect.
    void SetNodes(QString& sKy, bool bShwRt = false);
    /// Empties the tree, the find results and the recent list; resets the find history set.
    void ClearItem(bool bNsrt = false);
    /// kind & running number & "-" & no, then the counter goes up (32-bit). Throws util::VbError when
    /// the counter is exhausted.
    QString MkNdKy(const QString& no, const QString& kind);
    /// "0" → "0"; otherwise the text after the key's first "-" (the whole key without one).
    static QString KyToNo(const QString& key);
    /// Image key of a loaded row (one count query unless boCod is 1).
    QString GetNdImg(const QString& kind, const QString& noLfC, const QVariant& boCod);
    /// Sets the image of node index (1-based) for state 0 leaf, 1 closed, 2 open.
    void SetNdImg(int index, int state);
    /// Indexes of the node's siblings (itself included) joined by ","; "" for an empty tree.
    QString GetSblIdx(QTreeWidgetItem* node) const;
    /// GetSblIdx of the first child when the node at index has children and is expanded, else "".
    QString GetChldIdx(int index) const;

    // --- selection and navigation ----------------------------------------------------------------
    void SlctNd(QTreeWidgetItem* node);
    void ShwNd(QTreeWidgetItem* node);
    /// Key of the selected node, "" when none.
    QString SlctdKy() const;
    void SetTmpKy();
    void RootSelect(bool* bRec = nullptr);
    void GetPrCdNo(QString& sNoP, QString& sNoC, bool& bLnk, const QString& sNdKy = QString());
    void GetPrCdNo(QString& sNoP);
    /// Finds page sDno (a number, or a path text "305,12,0") through its ancestry, loading and
    /// expanding the way, and shows it.
    void SetLeaf(const QString& sDno);

    // --- panes -------------------------------------------------------------------------------
    void StSize();
    /// Lays out and shows pane iTb (0: the current one, 1 when none yet); iTb receives the pane used.
    void SetFrame(qint16& iTb, bool bRsz = false);
    void SetFrame(int iTb, bool bRsz = false);
    /// Gives the keyboard focus to a pane's main control (1 the tree, 2 the find box, 3 the recent
    /// list; 0 the pane shown).
    void focusPane(int iTb = 0, Qt::FocusReason reason = Qt::OtherFocusReason);
    qint16 iCurTb() const { return m_iCurTb; }

    // --- recent pages, code list, tags -----------------------------------------------------------
    /// Records that page sNo titled sTx was shown (moved to the end when already listed).
    void SetRcnt(const QString& sNo, const QString& sTx);
    /// Fills the code list with the children of the node with that key, newest first.
    void SetCdLst(const QString& key);
    /// The host reports a followed link to page sNo titled sSz: a tag node under the selected page.
    void TagTree(const QString& sSz, const QString& sNo);

    // --- find pane -------------------------------------------------------------------------------
    /// Runs the search for the combo's text: every blank-separated word must occur in a page's text.
    void FndDoc();

    // --- renaming ----------------------------------------------------------------------------------
    /// The row stamp of the start-up module (StmpTrDt's statement) for (sNoP, sNoC, bPub): the rename
    /// writes it with the new title in one transaction.
    using Stamp = std::function<QString(const QString&, const QString&, bool)>;
    void setStamp(Stamp stamp) { m_stamp = std::move(stamp); }
    /// Lets the user edit page titles in place (F2 or a slow second click); off for read-only databases.
    void setRenameEnabled(bool on);
    bool renameEnabled() const { return m_renameEnabled; }
    /// The handler of a finished label edit of the selected node with text t. The title and its date
    /// stamp are written together or not at all; a title that could not be written is put back and
    /// the user is told why.
    void LabelEdited(const QString& t);

    // --- state -------------------------------------------------------------------------------
    QString sTmpKy() const { return m_sTmpKy; }
    bool bNoEvt() const { return m_bNoEvt; }
    bool bCdMd() const { return m_bCdMd; }
    QString sFndHst() const { return m_sFndHst; }
    QString sFndWd() const { return m_sFndWd; }
    /// The whole text of the find whose results are listed (the remembered text above may have
    /// been shortened by the host since).
    QString foundText() const { return m_foundText; }
    QString sCdKy() const { return m_sCdKy; }
    qint32 iKyCnt() const { return m_iKyCnt; }
    /// The node with a key, or null.
    QTreeWidgetItem* node(const QString& key) const { return m_keys.value(key); }
    /// The node at a 1-based index of the node collection, or null.
    QTreeWidgetItem* nodeAt(int index) const;
    static QString keyOf(const QTreeWidgetItem* node);
    static QString imageOf(const QTreeWidgetItem* node);
    int nodeCount() const { return int(m_nodes.size()); }

    // Controls, for the host's layout and for tests.
    QTabBar* stTab() const { return m_stTab; }
    QTreeWidget* trView() const { return m_trView; }
    QTreeWidget* lsCod() const { return m_lsCod; }
    QComboBox* cmbFind() const { return m_cmbFind; }
    QPushButton* cmFind() const { return m_cmFind; }
    QListWidget* lsFind() const { return m_lsFind; }
    /// The find that runs off the user-interface thread, with its index.
    find::FindEngine& findEngine() { return m_engine; }
    /// The busy mark under the find results (a find running, or the index being built).
    QWidget* findBusyMark() const;
    /// The note under the find results that says why the last find failed.
    QLabel* findNote() const { return m_fndNote; }
    /// The find pane's status below the results: "検索中..." while a find runs, "N 件" after it.
    QLabel* findStatus() const { return m_fndCount; }
    QListWidget* lsRsnt() const { return m_lsRsnt; }
    QPushButton* cmClrRsnt() const { return m_cmClrRsnt; }
    QFrame* frame(int pane) const;

Q_SIGNALS:
    void eFmMsg(QString& sMsg);
    void eSetDoc(QString& sNoP, QString& sNo, QString& sSz, qint16& iJb, bool& bHg);
    void eFndWd(QString& sFnd);
    void eChkMove(bool& bCancel);
    void eRightClick(bool& bTrv);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

public:
    /// A find's answer: fills the result list (or says why the find failed) and the pane's count.
    void showFound(const QVector<find::FoundPage>& pages, bool ok, const QString& error);

private:
    void showFindBusy();
    void placeFindNotes();
    int findStripHeight() const;
    /// Adds the next slice of a find's answer to the list.
    void fillFound(qsizetype count);
    /// What the find pane says of a find that failed, from the engine's reason.
    static QString findFailureText(const QString& error);
    bool readChildren(const QString& key, const QString& statement, docdb::RowArray& rows, qint32& n);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, const QString& image);
    /// A node of the collection, not yet placed in the tree.
    QTreeWidgetItem* makeNode(const QString& key, const QString& text, const QString& image);
    /// Adds up to count more of the children being loaded.
    void addChildSlice(int count);
    /// Adds every child still being loaded, now.
    void finishLoading();
    void setImage(QTreeWidgetItem* node, const QString& image);
    QList<QTreeWidgetItem*> siblingsOf(QTreeWidgetItem* node) const;
    int indexOf(const QTreeWidgetItem* node) const;
    static QString storedTitle(const QTreeWidgetItem* node);
    /// A title as a line of a list shows it: cut, with "…", where it runs past what a line can show.
    static QString shownTitle(const QString& title);
    static void setStoredTitle(QTreeWidgetItem* node, const QString& title);
    QRect clientRect() const; // the tab strip's client area, pixels
    void fitCodeColumns();
    void connectChoice(QListWidget* list, void (uTrX::*choose)(QListWidgetItem*));
    void chooseRecent(QListWidgetItem* item);
    void chooseFound(QListWidgetItem* item);
    void chooseCode(QTreeWidgetItem* item);
    void setupFindPane();
    void raiseMessage(const QString& text);
    void raiseSetDoc(const QString& sNoP, const QString& sNo, const QString& sSz, qint16 iJb, bool bHg);
    void onItemExpanded(QTreeWidgetItem* item);
    void onItemCollapsed(QTreeWidgetItem* item);

    docdb::zSvr& m_svr;
    platform::IScreen& m_screen;
    platform::IMessageBox& m_messages;
    platform::Twips m_tw;

    QTabBar* m_stTab = nullptr;
    QFrame* m_frTree = nullptr;
    QFrame* m_frFind = nullptr;
    QFrame* m_frRcnt = nullptr;
    QTreeWidget* m_trView = nullptr;
    QTreeWidget* m_lsCod = nullptr;
    QComboBox* m_cmbFind = nullptr;
    QPushButton* m_cmFind = nullptr;
    QListWidget* m_lsFind = nullptr;
    QProgressBar* m_fndBusy = nullptr;
    QLabel* m_fndNote = nullptr; // why the last find failed, hidden otherwise
    QLabel* m_fndCount = nullptr; // the status strip's text
    // A long answer goes into the list in slices, so that the window never waits for all of it.
    QVector<find::FoundPage> m_foundRest;
    qsizetype m_foundNext = 0;
    QTimer* m_foundFill = nullptr;
    find::FindEngine m_engine;
    QListWidget* m_lsRsnt = nullptr;
    QPushButton* m_cmClrRsnt = nullptr;

    QVector<QTreeWidgetItem*> m_nodes;       // the node collection in the order nodes were added
    QHash<QString, QTreeWidgetItem*> m_keys; // key → node
    qint32 m_iKyCnt = 0;                     // running number of keys (32-bit)
    QString m_sTmpKy;                        // key of the node whose page the host shows
    bool m_bNoEvt = false;                   // list clicks are ignored while set
    bool m_bCdMd = false;                    // the code list is shown
    QString m_sFndHst = QStringLiteral("."); // search texts put into the combo
    QString m_sFndWd;                        // search text of the last find
    QString m_foundText;                     // the same, as it was typed
    QString m_sCdKy;                         // code-list entry last chosen
    qint16 m_iCurTb = 0;                     // current pane, 0 before the first layout
    bool m_shownOnce = false;
    bool m_listKeyboard = false; // a list's selection moves by keyboard
    bool m_renameEnabled = false;
    bool m_renaming = false; // a rename is being written
    bool m_comboPicked = false;                   // an entry of the find combo's list was chosen
    Qt::MouseButton m_tabButton = Qt::LeftButton; // the button of the last press on the tab strip
    bool m_tabIcons = true;                       // the tabs show their pictures
    int m_tabWidthWithIcons = 0;                  // the strip's width with them, pixels
    Stamp m_stamp;

    /// The children of one node being loaded, in slices after the first.
    struct Loading {
        QTreeWidgetItem* parent; // null for the top level
        docdb::RowArray rows;
        qint32 n;
        qint32 next;     // the first row not yet added
        qint32 firstKey; // the running number of the first child's key
        qint32 keyCount; // how many children have keys (rows that name a page)
        qint32 keysMade = 0;
        QSet<qint32> parents; // the children that have children of their own
    };
    /// The key of a row of the children being loaded, with its running number.
    static QString keyOfRow(const Loading& l, int row, qint32 number);
    static constexpr int kFirstSlice = 2000, kSlice = 2000;
    std::unique_ptr<Loading> m_loading;
    QTimer* m_sliceTimer = nullptr;
};

} // namespace navigator
