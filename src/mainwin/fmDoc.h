// fmDoc: the main window: navigator on the left, the page on the right, menus under three labels.
#pragma once

#include "mainwin/MainWindowApi.h"
#include "platform/Twips.h"
#include "platform/WindowPlace.h"

#include <QVector>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;

namespace docdb {
class zSvr;
}
namespace platform {
class IAppSettings;
class IDesktopRegistration;
class IFileDialog;
class IMessageBox;
class IPrinter;
class IShell;
} // namespace platform
namespace richtext {
class RichTextView;
}
namespace settings {
class yIni;
}
namespace util {
class zClt;
}
namespace navigator {
class uTrX;
}
namespace batchview {
class sbDmp;
}
namespace pageview {
class sbTvw;
}

namespace mainwin {

class PageFindBar;

/// The services the main window uses.
struct Services {
    platform::IMessageBox& messages;
    platform::IFileDialog& fileDialog;
    platform::IScreen& screen;
    platform::IShell& shell;
    platform::IAppSettings& appSettings;
    platform::IDesktopRegistration& registration; // file association and Send To
    platform::IPrinter& printer;
    settings::yIni& ini;
    docdb::zSvr& svr;
    const util::zClt& clt;
    std::function<void()> exitApp; // the end procedure
};

/// fmDoc: the main window. Opens a document database, shows the page the navigator asks for, keeps
/// its place, size, zoom step and tree width in the settings group "位置", and dispatches the menu
/// commands. Geometry is kept in twips and converted at the widget edge.
class fmDoc : public QWidget, public IMainWindow {
    Q_OBJECT
public:
    explicit fmDoc(Services services, QWidget* parent = nullptr);
    ~fmDoc() override;

    // IMainWindow
    void Act(const QString& sDb, const QString& sNo) override;
    quintptr ownerHandle() const override;
    void unload() override;

    // Window procedures
    void EnMenu(bool e);
    /// "保存": saves the shown page in the format its extension names (.doc when it has none); a save
    /// that fails says why.
    void SaveDoc();
    /// The view's format code for a file name's extension (compared in lower case); 0 for another.
    static int saveFormat(const QString& fileName);
    /// The run-through's page list for the current mode: "parent-page" of the start, then every
    /// visible page below it depth first ("ｱｲﾃﾑがありません" and an empty list without a selection).
    void PageList(QString& list);
    /// "ﾍﾟｰｼﾞ以下を書き出す": the page selected in the tree and everything below it, as one PDF or
    /// HTML file chosen in the file dialog (pages left out of the run-through too, when the user
    /// says so), with progress and キャンセル; a cancelled or failed export leaves no file.
    void ExportBranch();
    QAction* mnExport() const { return m_mnExport; }
    /// Appends "parent-child," for the children of parent (and their own, below the limit of 100).
    void AddPages(const QString& parent, QString& list, qint32& count);
    void setRunMode(int mode) { m_runMode = mode; }
    /// "ﾍﾟｰｼﾞ全体に目を通す": the pages of mode 0, 1 or 2 in the batch display; the page chosen there
    /// with "頁選択" is selected in the tree.
    void RunPages(int mode);
    batchview::sbDmp* batchDisplay() const { return m_dmp; }
    pageview::sbTvw* pageView() const { return m_tvw; }

    /// "拡張子(*.txdb)の関連付け": registers this program for .txdb files and says so when it worked.
    void associateExtension();
    void OpenDb(QString& path);
    void DbDialog(QString& path, bool save, const QString& title);
    void ChkDb(bool& ok);
    void StLayout();
    void ShowDoc(const QString& sNo, const QString& sSz, int mode);
    void StPos(bool save);
    void ExitApp();
    /// The databases opened last (at most eight, newest first), as the ﾌｧｲﾙ menu lists them.
    QStringList recentDbs() const { return m_recentDbs; }
    QMenu* recentDbMenu() const { return m_recentMenu; }
    /// Fills the menu of recent databases: a missing file shows greyed, the full path as tool tip.
    void fillRecentDbs();
    /// 戻る / 進む (Alt+← / Alt+→, the mouse's back and forward buttons).
    void goBack() { travel(true); }
    void goForward() { travel(false); }
    /// The find bar under the page (Ctrl+F): opens it (with the keys in its box when focus is true),
    /// and closes it (Esc), leaving the place found selected.
    void openFindBar(bool focus);
    void closeFindBar();
    PageFindBar* findBar() const { return m_findBar; }
    static constexpr double kFindBarHeight = 400; // twips
    /// The words a find text holds: its runs between blanks (half-width or full-width).
    static QStringList findWords(const QString& text);
    /// The offer in the status line to go on reading where the last reading of this database ended
    /// ("前回の続き: <title>"; Ctrl+R), hidden when there is none or that page is shown.
    QAbstractButton* resumeOffer() const { return m_statusResume; }
    /// Shows the page offered, at the place it was left, selected in the tree.
    void resumeReading();
    /// Tree display command: 0 標準, 1 狭め, 2 非表示.
    void setTreeMode(int i);
    /// Zoom command: 0 90%, 1 等倍(100%), 2 110%, 3 120%, 4 150%, 5 200%.
    void setZoomStep(int i);

    // Links and hints in the page text.
    /// Kind and target of the field's data string: "TG" (a page: the text after "TG_", and after
    /// its first "_" when it holds one), "TP" (a hint), "DX" (an attached XML document) or "LK" (a
    /// file, folder or address: the whole data string); prefixes compare without case. Both empty
    /// for a field that does not exist.
    void GetLink(int field, QString& kind, QString& target) const;
    static void splitLink(const QString& data, QString& kind, QString& target);
    /// Writes the attached XML document noDxml to the work folder as "<field text>.dxml" and starts the
    /// companion tool with it (asking for the tool the first time).
    void OpenDxml(const QString& text, const QString& noDxml);
    /// A stored XML document as the bytes of its work file: in the encoding its declaration names
    /// when that encoding holds every character, otherwise (and without a declaration) UTF-8.
    static QByteArray xmlBytes(const QString& xml);
    /// The work file for a field text: inside the work folder whatever the text holds (separators,
    /// "..", characters no file name may hold become "_"), of bounded length.
    static QString dxmlFileName(const QString& workFolder, const QString& fieldText);
    /// A text made one file name: characters no file name may hold become "_", of bounded length.
    static QString safeFileName(const QString& text);
    /// The target of an LK field as the desktop opens it: addresses as they are, a relative path
    /// taken relative to the open database's folder.
    QString linkTarget(const QString& target) const;
    /// Whether opening an LK target would start a program: an executable file, or a file whose kind
    /// is a program, a script or a desktop entry on some system. Addresses never do.
    static bool startsAProgram(const QString& target);

    /// Tree width of a tree mode and zoom factor of a zoom step.
    static int treeWidth(int mode);
    static int zoomFactor(int step);

    // State and parts, for the later windows and for tests.
    QString dbPath() const { return m_dbPath; }
    int treeMode() const { return m_treeMode; }
    int zoomStep() const { return m_zoomStep; }
    int runMode() const { return m_runMode; }
    navigator::uTrX* tree() const { return m_tree; }
    richtext::RichTextView* view() const { return m_txDc; }
    QLabel* label(int i) const { return m_lbCom.value(i); }
    QLabel* hintPanel() const { return m_rtex; }
    /// The status line: the page shown (number and title) on the left, the last notice on the right.
    QLabel* statusPage() const { return m_statusPage; }
    QLabel* statusNote() const { return m_statusNote; }
    static constexpr double kStatusHeight = 300; // twips
    QMenu* menu(int i) const { return m_mnJb.value(i); }
    QAction* mnFile(int i) const { return m_mnFile.value(i); }
    QAction* mnDmp(int i) const { return m_mnDmp.value(i); }
    QAction* mnTree(int i) const { return m_mnTree.value(i); }
    QAction* mnZoom(int i) const { return m_mnZoom.value(i); }
    QAction* mnApSys(int i) const { return m_mnApSys.value(i); }
    /// Inner size in twips.
    int scaleWidth() const;
    int scaleHeight() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The pages gone through in this session, each with the place it was left at.
    /// Where a page is read: the part shown (of a page in parts) and the text position at the top.
    struct Spot {
        int part = 0;
        int place = 0;
    };
    struct Visit {
        QString no, title;
        Spot spot;
    };
    Spot spot() const;
    void goToSpot(const Spot& spot);
    void buildMenus();
    void buildLabels();
    void fileCommand(int index);
    void onSetDoc(QString& sNoP, QString& sNo, QString& sSz, qint16& iJb, bool& bHg);
    void onFindWord(QString& sFnd);
    /// A short notice in the status line (the whole text as its tool tip).
    void showNote(const QString& text);
    void buildFindBar();
    /// Marks the words of the bar's text, going to the place found as the text is typed.
    void applyFind(const QString& text);
    /// F3 / Shift+F3, Enter / Shift+Enter: the next or the previous place.
    void stepFind(bool forward);
    void showFindCount();
    /// The find pane's words, offered in the bar and marked on the page chosen from its list.
    void offerFoundWords(const QString& findText);
    void onFieldClicked(int field);
    void onFieldEntered(int field);
    void onMouseMoved(int x, int y);
    /// Hides the hint at once: the page changed, its link lost the focus or the window did.
    void hideHint();
    /// A page shown: the one left goes into the history (unless the history itself moved).
    void noteVisit(const Visit& left);
    void noteRecentDb(const QString& path);
    /// Keeps the page read in the open database, and where, before the database is left.
    void noteReadingPlace();
    /// After a database opened: offers the page its last reading ended on, unless it is shown.
    void offerReadingPlace();
    void loadRecentDbs();
    void saveRecentDbs();
    /// Moves back or forward through the history; the page comes back at its place.
    void travel(bool back);
    /// Steps the zoom menu by delta entries (0: back to 等倍).
    void stepZoom(int delta);
    void resetToNoDatabase();
    void placeWidget(QWidget* w, double left, double top, double width, double height);
    /// Where a file dialog opens: the last folder used, else the database's, with a proposed name.
    QString dialogStart(const QString& name = QString()) const;
    void noteFolder(const QString& chosen);

    Services m_s;
    platform::Twips m_tw;
    platform::WindowPlace* m_place = nullptr; // the window's place, kept across restarts
    bool m_showMaximised = false;             // the saved place was maximised
    navigator::uTrX* m_tree = nullptr;
    richtext::RichTextView* m_txDc = nullptr;
    QVector<QLabel*> m_lbCom;
    QLabel* m_rtex = nullptr;          // hint panel, hidden until a hint is shown
    batchview::sbDmp* m_dmp = nullptr; // the batch display, made when first used
    pageview::sbTvw* m_tvw = nullptr;  // the page view, made when first used
    QVector<QMenu*> m_mnJb;
    QVector<QAction*> m_mnFile, m_mnDmp, m_mnUsr, m_mnTree, m_mnZoom, m_mnApp, m_mnApSys;
    QAction* m_mnExport = nullptr;
    QActionGroup* m_treeGroup = nullptr;
    QActionGroup* m_zoomGroup = nullptr;

    QString m_dbPath;
    QString m_shownNo; // the page shown in the view, "" when none (or it could not be read)
    QString m_shownTitle; // its title
    QString m_lastFolder; // where the last file dialog was left
    QVector<Visit> m_back, m_forward;
    QStringList m_recentDbs;       // newest first
    // Where each database was last read: its page and the text position at the top of the view.
    struct ReadingPlace {
        QString db, no; // the database's full path
        Spot spot;
    };
    /// A database's path as the lists of recent databases and reading places hold it: absolute.
    static QString dbKey(const QString& path);
    bool m_opening = false;   // a database opening: the page it opens at is no reading of it
    bool m_readSince = false; // a page chosen since the database opened
    QVector<ReadingPlace> m_places; // newest first
    int m_placeKeys = 0;            // the keys the settings held when read
    ReadingPlace m_resume;          // the place offered, no "" for none
    QString m_resumeTitle;
    QAbstractButton* m_statusResume = nullptr;
    QMenu* m_recentMenu = nullptr;
    PageFindBar* m_findBar = nullptr;
    QWidget* m_status = nullptr;
    QLabel* m_statusPage = nullptr;
    QLabel* m_statusNote = nullptr;
    bool m_travelling = false; // a page shown by 戻る / 進む: no new step of the history
    int m_treeMode = 0;
    int m_zoomStep = 1;
    int m_runMode = 0;
    bool m_activating = false;
    int m_hintCountdown = 0;
    int m_hintField = 0; // the link whose hint is shown
    bool m_unloading = false;
};

} // namespace mainwin
