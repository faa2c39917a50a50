// fmDoc: the command labels above the tree, their menus and the commands of the ﾌｧｲﾙ and 運用 menus.
#include "mainwin/fmDoc.h"

#include "mainwin/PageFindBar.h"
#include "navigator/uTrX.h"
#include "pageview/sbTvw.h"
#include "platform/DesktopRegistration.h"
#include "platform/Environment.h"
#include "platform/MessageBox.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QApplication>
#include <QShortcut>
#include <QWheelEvent>

namespace mainwin {

void fmDoc::buildLabels() {
    const QString texts[] = {QStringLiteral("ﾌｧｲﾙ(<u>F</u>)"), QStringLiteral("設定(<u>U</u>)"),
                             QStringLiteral("運用(<u>A</u>)")};
    const char keys[] = {'F', 'U', 'A'};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(texts[i], this);
        l->setObjectName(QStringLiteral("lbCom%1").arg(i));
        l->setTextFormat(Qt::RichText);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        m_lbCom << l;
        placeWidget(l, 60 + i * 820, 60, 780, 300); // all three fit above the narrow tree
        // Alt and the underlined letter open the menu below its label.
        auto* sc = new QShortcut(QKeySequence(Qt::ALT | Qt::Key(keys[i])), this);
        connect(sc, &QShortcut::activated, this,
                [this, i] { m_mnJb[i]->popup(m_lbCom[i]->mapToGlobal(QPoint(0, m_lbCom[i]->height()))); });
    }
}

void fmDoc::buildMenus() {
    auto addItem = [this](QMenu* menu, const QString& text, const QString& name) {
        QAction* a = menu->addAction(text);
        a->setObjectName(name);
        return a;
    };
    // 0 "ﾌｧｲﾙ(&F)"
    auto* file = new QMenu(QStringLiteral("ﾌｧｲﾙ(&F)"), this);
    file->setObjectName(QStringLiteral("mnJb0"));
    m_mnFile.resize(7);
    m_mnFile[0] = addItem(file, QStringLiteral("開く"), QStringLiteral("mnFile0"));
    m_mnFile[1] = addItem(file, QStringLiteral("印刷"), QStringLiteral("mnFile1"));
    m_mnFile[2] = addItem(file, QStringLiteral("保存"), QStringLiteral("mnFile2"));
    m_mnFile[3] = file->addSeparator();
    auto* dmp = new QMenu(QStringLiteral("ﾍﾟｰｼﾞ全体に目を通す"), file);
    dmp->setObjectName(QStringLiteral("mnDmpMenu"));
    m_mnFile[4] = file->addMenu(dmp);
    m_mnFile[4]->setObjectName(QStringLiteral("mnFile4"));
    const QString dmpTexts[] = {QStringLiteral("全てのﾍﾟｰｼﾞ"), QStringLiteral("現在の文節"),
                                QStringLiteral("現在の文節以降全て")};
    for (int i = 0; i < 3; ++i) {
        m_mnDmp << addItem(dmp, dmpTexts[i], QStringLiteral("mnDmp%1").arg(i));
        connect(m_mnDmp[i], &QAction::triggered, this, [this, i] { RunPages(i); });
    }
    // The page chosen in the tree with everything below it, as one PDF or HTML file.
    m_mnExport = addItem(file, QStringLiteral("ﾍﾟｰｼﾞ以下を書き出す (PDF/HTML)"), QStringLiteral("mnExport"));
    connect(m_mnExport, &QAction::triggered, this, &fmDoc::ExportBranch);
    // The databases opened last, newest first, between the run-through and 終了.
    m_recentMenu = new QMenu(QStringLiteral("最近開いたﾃﾞｰﾀｰﾍﾞｰｽ"), file);
    m_recentMenu->setObjectName(QStringLiteral("mnRecentDb"));
    m_recentMenu->setToolTipsVisible(true);
    file->addMenu(m_recentMenu);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &fmDoc::fillRecentDbs);
    m_mnFile[5] = file->addSeparator();
    m_mnFile[6] = addItem(file, QStringLiteral("終了"), QStringLiteral("mnFile6"));
    const QKeySequence keys[] = {QKeySequence(Qt::CTRL | Qt::Key_O), QKeySequence(Qt::CTRL | Qt::Key_P),
                                 QKeySequence(Qt::CTRL | Qt::Key_S)};
    for (int i = 0; i < 3; ++i)
        m_mnFile[i]->setShortcut(keys[i]);
    m_mnFile[6]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    for (int i : {0, 1, 2, 6}) {
        // The window holds the actions too, so that their keys work wherever the focus is.
        m_mnFile[i]->setShortcutContext(Qt::WindowShortcut);
        addAction(m_mnFile[i]);
        connect(m_mnFile[i], &QAction::triggered, this, [this, i] { fileCommand(i); });
    }
    m_mnJb << file;

    // F6 and Shift+F6 move the focus between the navigator's pane and the page, as desktop programs
    // move between panes; with the tree hidden the page keeps it.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
        auto* sc = new QShortcut(key, this);
        connect(sc, &QShortcut::activated, this, [this] {
            if (m_tree->isAncestorOf(QApplication::focusWidget()) || !m_tree->isVisible())
                m_txDc->setFocus(Qt::ShortcutFocusReason);
            else
                m_tree->focusPane(0, Qt::ShortcutFocusReason);
        });
    }

    // 1 "設定(&U)"
    auto* usr = new QMenu(QStringLiteral("設定(&U)"), this);
    usr->setObjectName(QStringLiteral("mnJb1"));
    auto* tree = new QMenu(QStringLiteral("ﾂﾘｰ表示"), usr);
    auto* zoom = new QMenu(QStringLiteral("ｽﾞｰﾑ"), usr);
    m_mnUsr << usr->addMenu(tree) << usr->addMenu(zoom);
    m_mnUsr[0]->setObjectName(QStringLiteral("mnUsr0"));
    m_mnUsr[1]->setObjectName(QStringLiteral("mnUsr1"));
    m_treeGroup = new QActionGroup(this);
    const QString treeTexts[] = {QStringLiteral("標準"), QStringLiteral("狭め"), QStringLiteral("非表示")};
    for (int i = 0; i < 3; ++i) {
        QAction* a = addItem(tree, treeTexts[i], QStringLiteral("mnTree%1").arg(i));
        a->setCheckable(true);
        m_treeGroup->addAction(a);
        m_mnTree << a;
        connect(a, &QAction::triggered, this, [this, i] { setTreeMode(i); });
    }
    m_zoomGroup = new QActionGroup(this);
    const QString zoomTexts[] = {QStringLiteral("90%"),  QStringLiteral("等倍(100%)"), QStringLiteral("110%"),
                                 QStringLiteral("120%"), QStringLiteral("150%"),       QStringLiteral("200%")};
    for (int i = 0; i < 6; ++i) {
        QAction* a = addItem(zoom, zoomTexts[i], QStringLiteral("mnZoom%1").arg(i));
        a->setCheckable(true);
        m_zoomGroup->addAction(a);
        m_mnZoom << a;
        connect(a, &QAction::triggered, this, [this, i] { setZoomStep(i); });
    }
    m_mnJb << usr;
    // The zoom by keys, as if its entries were chosen: Ctrl++ and Ctrl+- step, Ctrl+0 is 等倍.
    const std::pair<QKeySequence, int> zoomKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Plus), 1},
                                                     {QKeySequence(Qt::CTRL | Qt::Key_Equal), 1},
                                                     {QKeySequence(Qt::CTRL | Qt::Key_Minus), -1},
                                                     {QKeySequence(Qt::CTRL | Qt::Key_0), 0}};
    for (const auto& [key, delta] : zoomKeys) {
        auto* sc = new QShortcut(key, this);
        connect(sc, &QShortcut::activated, this, [this, delta = delta] { stepZoom(delta); });
    }
    // Back and forward through the pages read: Alt+← and Alt+→ (the mouse's buttons: eventFilter).
    for (const auto& [key, back] : {std::pair{Qt::Key_Left, true}, std::pair{Qt::Key_Right, false}}) {
        auto* sc = new QShortcut(QKeySequence(Qt::ALT | key), this);
        connect(sc, &QShortcut::activated, this, [this, back = back] { travel(back); });
    }

    // 2 "運用(&A)"
    auto* app = new QMenu(QStringLiteral("運用(&A)"), this);
    app->setObjectName(QStringLiteral("mnJb2"));
    auto* sys = new QMenu(QStringLiteral("起動設定"), app);
    m_mnApp.resize(2);
    m_mnApp[1] = app->addMenu(sys);
    m_mnApp[1]->setObjectName(QStringLiteral("mnApp1"));
    m_mnApSys << addItem(sys, QStringLiteral("拡張子(*.txdb)の関連付け"), QStringLiteral("mnApSys0"))
              << addItem(sys, QStringLiteral("「送る」にｼｮｰﾄｶｯﾄ作成"), QStringLiteral("mnApSys1"));
    connect(m_mnApSys[0], &QAction::triggered, this, &fmDoc::associateExtension);
    connect(m_mnApSys[1], &QAction::triggered, this, [this] { m_s.ini.W_SendTo(m_s.registration); });
    m_mnJb << app;
}

void fmDoc::associateExtension() {
    const util::ProcessState& ps = util::processState();
    const QString exePath =
        ps.programFolder + platform::pathSeparator() + ps.programName + platform::executableSuffix();
    m_s.screen.setBusy(true); // the desktop's databases are brought up to date meanwhile
    const bool ok = m_s.registration.registerExtension(QStringLiteral("txdbfile"), exePath, QStringLiteral("txdb"));
    m_s.screen.setBusy(false);
    if (ok)
        m_s.messages.show(QStringLiteral("拡張子(*.txdb)を ") + exePath + QStringLiteral(" と関連付けしました"));
}

bool fmDoc::eventFilter(QObject* watched, QEvent* event) {
    const int i = m_lbCom.indexOf(qobject_cast<QLabel*>(watched));
    if (i >= 0 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        m_mnJb[i]->popup(QCursor::pos());
        return true;
    }
    if (watched == m_txDc && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !m_findBar->isHidden()) {
        closeFindBar(); // Esc on the page closes its find bar too
        return true;
    }
    if (watched == m_txDc && event->type() == QEvent::FocusOut)
        hideHint(); // the focus left the page, and with it the link whose hint shows
    if (event->type() == QEvent::MouseButtonPress) {
        const Qt::MouseButton b = static_cast<QMouseEvent*>(event)->button();
        if (b == Qt::BackButton || b == Qt::ForwardButton) {
            travel(b == Qt::BackButton);
            return true;
        }
    }
    if (watched == m_txDc->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() == Qt::ControlModifier && wheel->angleDelta().y() != 0) {
            stepZoom(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void fmDoc::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        hideHint(); // no hint stays over a window the user has left
}

void fmDoc::fileCommand(int index) {
    switch (index) {
    case 0: {
        QString path;
        OpenDb(path);
        break;
    }
    case 1:
        if (!m_tvw) // one window, made when first used
            m_tvw = new pageview::sbTvw(m_s.screen, m_s.printer, m_s.messages, this);
        m_tvw->setUserDataFolder(m_s.ini.userDataFolder());
        m_tvw->cAct(m_txDc, QString(), QString());
        break;
    case 2:
        SaveDoc();
        break;
    case 6:
        ExitApp();
        break;
    default:
        break;
    }
}

} // namespace mainwin
