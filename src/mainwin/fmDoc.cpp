// fmDoc: activation, opening a database, page display, layout, menus and the saved window place.
#include "mainwin/fmDoc.h"

#include "batchview/sbDmp.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/NodeImages.h"
#include "navigator/uTrX.h"
#include "pageview/sbTvw.h"
#include "platform/DesktopRegistration.h"
#include "platform/Environment.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/RichTextView.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>

Q_LOGGING_CATEGORY(lcMainwin, "dbtext.mainwin", QtWarningMsg)

namespace mainwin {

namespace {

constexpr double kDesignWidth = 12000; // designed window size, twips
constexpr double kDesignHeight = 8400;
constexpr double kTreeTop = 420; // the navigator's top, below the command labels
const char* const kGroup = "位置";

const QString kDbFilter =
    QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽ(*.txdb)|*.txdb|ｱｸｾｽﾃﾞｰﾀｰﾍﾞｰｽ (*.mdb)|*.mdb|ﾃﾞ-ﾀﾘﾝｸ (*.udl)|*.udl|");

const char16_t kSaveFilter[] = u"ﾜｰﾄﾞ文書 97-2003(*.doc)|*.doc|ﾜｰﾄﾞ文書 (*.docx)|*.docx|ﾘｯﾁﾃｷｽﾄ (*.rtf)|*.rtf|"
                               u"HTML (*.htm;*.html)|*.htm;*.html|ｱｸﾛﾊﾞｯﾄPDF(*.pdf)|*.pdf|"
                               u"ﾃｽｷﾄﾌｧｲﾙ (*.txt)|*.txt|";

} // namespace

fmDoc::fmDoc(Services services, QWidget* parent) : QWidget(parent), m_s(std::move(services)), m_tw(m_s.screen) {
    setObjectName(QStringLiteral("fmDoc"));
    setWindowTitle(QStringLiteral("DB Text"));
    setWindowIcon(navigator::NodeImages::icon(QStringLiteral("tree")));

    m_tree = new navigator::uTrX(m_s.svr, m_s.screen, this);
    m_txDc = new platform::RichTextView(this);
    m_txDc->setObjectName(QStringLiteral("txDc"));
    m_rtex = new QLabel(this);
    m_rtex->setObjectName(QStringLiteral("Rtex"));
    m_rtex->setFrameShape(QFrame::Box);
    m_rtex->setAutoFillBackground(true);
    QPalette tip = m_rtex->palette();
    tip.setColor(QPalette::Window, QColor(0xff, 0xff, 0xe1));
    tip.setColor(QPalette::WindowText, Qt::black);
    m_rtex->setPalette(tip);
    m_rtex->setTextFormat(Qt::PlainText); // a hint is text, whatever it holds
    // At larger zooms the hint lies over its own link: the pointer goes through it to the page.
    m_rtex->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_rtex->hide();

    buildLabels();
    buildMenus();

    connect(m_tree, &navigator::uTrX::eSetDoc, this, &fmDoc::onSetDoc);
    connect(m_tree, &navigator::uTrX::eFndWd, this, &fmDoc::onFindWord);
    connect(m_txDc, &platform::RichTextView::fieldClicked, this, &fmDoc::onFieldClicked);
    connect(m_txDc, &platform::RichTextView::fieldEntered, this, &fmDoc::onFieldEntered);
    connect(m_txDc, &platform::RichTextView::mouseMoved, this, &fmDoc::onMouseMoved);

    // Designed layout: labels along the top left, the navigator below them, the page on the right.
    placeWidget(m_tree, 0, kTreeTop, treeWidth(0), kDesignHeight - kTreeTop - 20);
    placeWidget(m_txDc, treeWidth(0) + 10, 0, kDesignWidth - treeWidth(0) - 20, kDesignHeight);
    // Pages wrap to the width of the view, as a reader in a resizable window expects.
    m_txDc->setViewMode(3);
    resize(m_tw.toPxX(kDesignWidth), m_tw.toPxY(kDesignHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

fmDoc::~fmDoc() = default;

// ---------------------------------------------------------------------------------------------
// Labels and menus
// ---------------------------------------------------------------------------------------------

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
    return QWidget::eventFilter(watched, event);
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

// ---------------------------------------------------------------------------------------------
// Activation and databases
// ---------------------------------------------------------------------------------------------

quintptr fmDoc::ownerHandle() const {
    return quintptr(winId());
}

void fmDoc::Act(const QString& sDb, const QString& sNo) {
    util::ProcessState& ps = util::processState();
    ps.runFlag = true;
    m_activating = true;
    m_txDc->setZoom(100);
    m_txDc->setWorkFolder(ps.workFolder);
    m_tree->ClearItem(true);
    StPos(false);
    EnMenu(false);
    if (!sDb.isEmpty()) {
        QString path = sDb;
        OpenDb(path);
        if (util::Val(sNo) > 0)
            m_tree->SetLeaf(sNo);
    }
    m_activating = false;
    StLayout();
    show();
    StLayout(); // again with the window's real inner size once it is shown
}

void fmDoc::EnMenu(bool e) {
    m_mnFile[1]->setEnabled(e);
    m_mnFile[2]->setEnabled(e);
    m_mnFile[4]->setEnabled(e);
}

void fmDoc::DbDialog(QString& path, bool save, const QString& title) {
    path = save ? m_s.fileDialog.save(title, kDbFilter, this) : m_s.fileDialog.open(title, kDbFilter, this);
}

void fmDoc::OpenDb(QString& path) {
    if (path.isEmpty()) {
        DbDialog(path, false, QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽを開く"));
        if (path.isEmpty())
            return;
    }
    if (!m_s.clt.FbExFile(path)) {
        path.clear();
        return;
    }
    m_dbPath = path;
    util::ProcessState& ps = util::processState();
    ps.busy = true;
    setWindowTitle(path);
    bool ok = false;
    m_s.svr.D_StDcDb(m_dbPath, ok);
    if (ok)
        ChkDb(ok);
    if (ok) {
        m_tree->ClearItem();
        m_tree->setRenameEnabled(!m_s.svr.isReadOnly());
        QString root = QStringLiteral("0");
        m_tree->SetNodes(root);
        m_tree->SetFrame(1);
        m_tree->RootSelect();
    } else {
        // The previous database was closed before this one was tried: its tree could show nothing
        // more, so the window returns to its state without a database.
        resetToNoDatabase();
    }
    ps.busy = false;
}

void fmDoc::resetToNoDatabase() {
    m_s.svr.D_Close();
    m_dbPath.clear();
    EnMenu(false);
    m_tree->setRenameEnabled(false);
    m_tree->ClearItem(true);
    m_txDc->setText(QString());
    setWindowTitle(QStringLiteral("DB Text"));
}

void fmDoc::ChkDb(bool& ok) {
    docdb::Recordset rs;
    bool runs = false;
    m_s.svr.R_Rset(docdb::sql::kMarkerCheck, rs, runs, 0);
    rs.close();
    if (runs) {
        ok = true;
        EnMenu(true);
        return;
    }
    ok = false;
    EnMenu(false);
    m_s.messages.show(QStringLiteral("ロメナの文書DBではありません"));
    m_tree->ClearItem(true);
    m_txDc->setText(QString());
}

// ---------------------------------------------------------------------------------------------
// Pages
// ---------------------------------------------------------------------------------------------

void fmDoc::ShowDoc(const QString& sNo, const QString& sSz, int mode) {
    if (mode != 2) {
        m_tree->SetTmpKy();
        if (mode == 0)
            m_tree->SetRcnt(sNo, sSz);
    }
    docdb::Recordset rs;
    bool ok = false;
    // Only a checked whole number goes into the statement; anything else is no page.
    if (const std::optional<qint32> no = util::pageNumber(sNo))
        m_s.svr.R_Rset(docdb::sql::kDocument + QString::number(*no), rs, ok, 2);
    if (ok && !rs.eof()) {
        try {
            const QVariant doc = rs.field(QStringLiteral("obDoc"));
            if (util::isNull(doc))
                m_txDc->setText(QString());
            else
                m_txDc->loadFromMemory(doc.toByteArray(), 9);
            rs.close();
            setWindowTitle(util::fileNamePart(m_dbPath) + QStringLiteral(" 文書No:") + sNo);
            return;
        } catch (const util::VbError& e) {
            qCDebug(lcMainwin) << "ShowDoc:" << e.what();
        }
    }
    rs.close();
    m_s.messages.show(QStringLiteral("Read Err  文書No:") + sNo);
}

void fmDoc::onSetDoc(QString& /*sNoP*/, QString& sNo, QString& sSz, qint16& iJb, bool& /*bHg*/) {
    ShowDoc(sNo, sSz, iJb == 2 ? 1 : 0);
}

void fmDoc::onFindWord(QString& sFnd) {
    const qsizetype blank = sFnd.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        sFnd = sFnd.left(blank); // written back into the navigator's remembered find text
    m_txDc->find(sFnd, 0, 16);
}

// ---------------------------------------------------------------------------------------------
// Saving the shown page and the page list of the run-through
// ---------------------------------------------------------------------------------------------

int fmDoc::saveFormat(const QString& fileName) {
    const QString name = util::fileNamePart(fileName);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    static const QHash<QString, int> formats = {{QStringLiteral("rtf"), 5},  {QStringLiteral("txt"), 1},
                                                {QStringLiteral("doc"), 9},  {QStringLiteral("docx"), 13},
                                                {QStringLiteral("pdf"), 12}, {QStringLiteral("htm"), 4},
                                                {QStringLiteral("html"), 4}};
    return formats.value(ext, 0);
}

void fmDoc::SaveDoc() {
    QString name = m_s.fileDialog.save(QStringLiteral("文書の保存"), QString::fromUtf16(kSaveFilter), this);
    if (name.isEmpty())
        return;
    // A name without an extension is a Word 97-2003 file; a dot in a folder's name is no extension.
    if (!util::fileNamePart(name).contains(QLatin1Char('.')))
        name += QStringLiteral(".doc");
    const int format = saveFormat(name);
    if (format == 0)
        return; // another extension: nothing is saved
    // The view writes the new file completely before it replaces an existing one, in the background
    // with progress for the slow formats.
    if (!m_txDc->saveToFile(name, 0, format)) {
        m_s.messages.show(name + QStringLiteral(" を保存できませんでした") + QLatin1Char('\r') + m_txDc->reason());
        return;
    }
    if (!m_txDc->notice().isEmpty())
        m_s.messages.show(m_txDc->notice());
}

void fmDoc::RunPages(int mode) {
    m_runMode = mode;
    QString list;
    m_s.screen.setBusy(true); // one read per page listed
    PageList(list);
    m_s.screen.setBusy(false);
    if (list.isEmpty())
        return;
    if (!m_dmp) // one window, made when first used
        m_dmp = new batchview::sbDmp(batchview::Services{m_s.messages, m_s.screen, m_s.ini, m_s.svr}, this);
    qint32 no = 0;
    m_dmp->ActP(list, no);
    if (no > 0)
        m_tree->SetLeaf(QString::number(no));
}

void fmDoc::AddPages(const QString& parent, QString& list, qint32& count) {
    const std::optional<qint32> no = util::pageNumber(parent);
    if (!no)
        return;
    docdb::RowArray rows;
    qint32 n = 0;
    m_s.svr.R_Ary(docdb::sql::kRunSelect + docdb::sql::kRunWhere + QString::number(*no) + docdb::sql::kRunHide +
                      docdb::sql::kRunOrder,
                  rows, n);
    for (int r = 0; r < n; ++r) {
        const std::optional<qint32> child = util::pageNumber(rows(0, r));
        if (!child)
            continue; // no page number: no page
        const QString c = QString::number(*child);
        list += QString::number(*no) + QLatin1Char('-') + c + QLatin1Char(',');
        ++count; // 32-bit: lists of any length
        if (count < 100 && m_runMode != 1)
            AddPages(c, list, count);
    }
}

void fmDoc::PageList(QString& list) {
    list.clear();
    QString parent = QStringLiteral("0"), page = QStringLiteral("0");
    if (m_runMode != 0) {
        const QString key = m_tree->SlctdKy();
        if (key.isEmpty()) {
            m_s.messages.show(QStringLiteral("ｱｲﾃﾑがありません"));
            return;
        }
        page = key.mid(key.lastIndexOf(QLatin1Char('-')) + 1);
        m_tree->GetPrCdNo(parent);
    }
    QString pages;
    qint32 count = 0;
    AddPages(page, pages, count);
    QString comma = QStringLiteral(",");
    util::zClt::T_DelRwd(pages, comma);
    while (pages.endsWith(QLatin1Char(',')))
        pages.chop(1);
    list = parent + QLatin1Char('-') + page + (pages.isEmpty() ? QString() : QLatin1Char(',') + pages);
}

// ---------------------------------------------------------------------------------------------
// Links and hints
// ---------------------------------------------------------------------------------------------

void fmDoc::splitLink(const QString& data, QString& kind, QString& target) {
    const QString prefix = data.left(3).toUpper();
    if (prefix == QLatin1String("TG_")) {
        kind = QStringLiteral("TG");
        target = data.mid(3);
        const qsizetype u = target.indexOf(QLatin1Char('_'));
        if (u >= 0)
            target = target.mid(u + 1);
    } else if (prefix == QLatin1String("TP_") || prefix == QLatin1String("DX_")) {
        kind = prefix.left(2);
        target = data.mid(3);
    } else {
        kind = QStringLiteral("LK");
        target = data;
    }
}

void fmDoc::GetLink(int field, QString& kind, QString& target) const {
    kind.clear();
    target.clear();
    if (m_txDc->fieldType(field) != 2)
        return;
    splitLink(m_txDc->fieldData(field), kind, target);
}

void fmDoc::onFieldClicked(int field) {
    if (util::processState().busy)
        return;
    QString text = m_txDc->fieldText(field);
    text.remove(QChar(1));
    text.remove(QChar(11));
    text = util::Trim(text);
    if (text.isEmpty())
        return;
    QString kind, target;
    GetLink(field, kind, target);
    if (kind == QLatin1String("TG")) {
        // A target that is no page number names no page: said, and no tag node that leads nowhere.
        const std::optional<qint32> no = util::pageNumber(target);
        if (!no || *no <= 0) {
            m_s.messages.show(QStringLiteral("Read Err  文書No:") + target);
            return;
        }
        m_tree->TagTree(text, QString::number(*no));
        ShowDoc(QString::number(*no), text, 0); // the new page starts at its top
    } else if (kind == QLatin1String("DX")) {
        OpenDxml(text, target);
    } else if (kind == QLatin1String("LK")) {
        m_s.ini.W_ExpFd(linkTarget(target), true);
    }
}

void fmDoc::onFieldEntered(int field) {
    if (util::processState().busy && m_hintCountdown > 0)
        return;
    if (m_txDc->fieldType(field) != 2)
        return;
    m_txDc->setCurrentField(field);
    const QString data = m_txDc->fieldData(m_txDc->currentField());
    // The hint's place: 250 twips below the field, as the page is scrolled.
    const QPoint f = m_txDc->fieldPosition(m_txDc->currentField());
    const QPoint scroll = m_txDc->scrollPosition();
    const double x = m_tw.fromPxX(m_txDc->x() + m_txDc->viewport()->x()) + (f.x() - scroll.x());
    const double y = m_tw.fromPxY(m_txDc->y() + m_txDc->viewport()->y()) + (f.y() - scroll.y()) + 250;
    if (data.isEmpty() || !data.startsWith(QLatin1String("TP")))
        return;
    m_rtex->setText(QLatin1Char(' ') + data.mid(3) + QLatin1Char(' '));
    m_rtex->adjustSize();
    m_rtex->show();
    m_rtex->move(m_tw.toPxX(x), m_tw.toPxY(y));
    m_rtex->raise();
    m_rtex->update();
    m_hintCountdown = 2;
}

void fmDoc::onMouseMoved(int /*x*/, int /*y*/) {
    if (util::processState().busy || m_hintCountdown == 0)
        return;
    if (m_hintCountdown == 1) {
        m_txDc->raise();
        m_rtex->hide();
    }
    --m_hintCountdown;
}

QString fmDoc::dxmlFileName(const QString& workFolder, const QString& fieldText) {
    // Characters no file name may hold (on any system), separators and control characters become
    // "_", so that the name stays one file inside the work folder; a name of dots only is no name.
    QString name;
    for (const QChar c : fieldText) {
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(c) ||
                         c.category() == QChar::Other_Format;
        name += bad ? QLatin1Char('_') : c;
    }
    // Well inside every file system's limit of 255 bytes, counted as UTF-8; a pair is kept whole.
    while (name.toUtf8().size() > 200)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    while (name.endsWith(QLatin1Char(' ')) || name.endsWith(QLatin1Char('.')))
        name.chop(1); // Windows drops them
    bool dotsOnly = true;
    for (const QChar c : name)
        dotsOnly = dotsOnly && c == QLatin1Char('.');
    if (name.isEmpty() || dotsOnly)
        name = QStringLiteral("_");
    return workFolder + name + QStringLiteral(".dxml");
}

QString fmDoc::linkTarget(const QString& target) const {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    const bool drive = target.size() >= 2 && target.at(1) == QLatin1Char(':'); // C:\… on Windows
    if (target.isEmpty() || scheme.match(target).hasMatch() || drive || QDir::isAbsolutePath(target) ||
        m_dbPath.isEmpty())
        return target;
    return QDir::cleanPath(QFileInfo(m_dbPath).absoluteDir().filePath(target));
}

void fmDoc::OpenDxml(const QString& text, const QString& noDxml) {
    util::F_ChkFso();
    QString tool =
        m_s.appSettings.get(QStringLiteral("VantreTools"), QStringLiteral("Path"), QStringLiteral("Oblen"), QString());
    if (tool.isEmpty()) {
        // On Linux the tool is an executable named Oblen; the Windows name is accepted too.
        const QString filter = QDir::separator() == QLatin1Char('/')
                                   ? QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)|Oblen.exe;Oblen|")
                                   : QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)|Oblen.exe|");
        tool = m_s.fileDialog.open(QStringLiteral("Oblen.exe"), filter, this);
        if (tool.isEmpty() || !m_s.clt.FbExFile(tool))
            return; // cancelled, or no such file: nothing happens and nothing is stored
        m_s.appSettings.set(QStringLiteral("VantreTools"), QStringLiteral("Path"), QStringLiteral("Oblen"), tool);
    }
    const QString file = dxmlFileName(util::processState().workFolder, text);
    const std::optional<qint32> no = util::pageNumber(noDxml);
    if (!no)
        return; // no document number: no row
    docdb::Recordset rs;
    bool ok = false;
    m_s.svr.R_Rset(docdb::sql::kDxml + QString::number(*no), rs, ok, 0);
    if (!ok || rs.eof()) {
        rs.close();
        return;
    }
    QString xml;
    try {
        xml = util::CStr(rs.field(QStringLiteral("smDxml")));
        rs.close();
        m_s.clt.F_StTxtFL(file, xml, false);
    } catch (const util::VbError& e) {
        qCDebug(lcMainwin) << "OpenDxml:" << e.what();
        return; // the file is not there: the tool is not started on it
    }
    // One argument, never through a shell: blanks and quotes in the name are safe.
    m_s.shell.startDetached(tool, {file});
}

// ---------------------------------------------------------------------------------------------
// Layout, tree and zoom commands
// ---------------------------------------------------------------------------------------------

int fmDoc::treeWidth(int mode) {
    static const int widths[] = {3600, 2600, 0};
    return mode >= 0 && mode < 3 ? widths[mode] : widths[0];
}

int fmDoc::zoomFactor(int step) {
    static const int factors[] = {90, 100, 110, 120, 150, 200};
    return step >= 0 && step < 6 ? factors[step] : 100;
}

int fmDoc::scaleWidth() const {
    return int(std::lround(m_tw.fromPxX(width())));
}
int fmDoc::scaleHeight() const {
    return int(std::lround(m_tw.fromPxY(height())));
}

void fmDoc::placeWidget(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(m_tw.toPx(left, top, width, height));
}

void fmDoc::StLayout() {
    if (isMinimized())
        return;
    const double w = treeWidth(m_treeMode);
    const double W = scaleWidth();
    const double H = scaleHeight();
    const double T = m_tw.fromPxY(m_tree->y());
    if (W < 7000 || H < 1000)
        return;
    m_tree->setVisible(w > 0);
    if (w == 0) {
        // The view starts at the tree's top; it ends at the window's bottom, so that its own lower
        // edge and scroll bar stay inside the window.
        placeWidget(m_txDc, 0, T, W, H - T);
        return;
    }
    placeWidget(m_tree, 0, T, w, H - T - 20);
    placeWidget(m_txDc, w + 10, 0, W - w - 20, H);
    m_tree->StSize();
    m_tree->SetFrame(0);
}

void fmDoc::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_activating || isMinimized())
        return;
    StLayout();
}

void fmDoc::setTreeMode(int i) {
    if (i < 0 || i > 2)
        return;
    m_mnTree[i]->setChecked(true);
    m_treeMode = i;
    StLayout();
}

void fmDoc::setZoomStep(int i) {
    if (i < 0 || i > 5)
        return;
    m_mnZoom[i]->setChecked(true);
    m_zoomStep = i;
    m_txDc->setZoom(zoomFactor(i));
    m_txDc->viewport()->update();
    StLayout();
}

// ---------------------------------------------------------------------------------------------
// Saved place and the end
// ---------------------------------------------------------------------------------------------

void fmDoc::StPos(bool save) {
    settings::yIni& ini = m_s.ini;
    const QString group = QString::fromUtf8(kGroup);
    if (save) {
        ini.GetGtx(group);
        ini.SetVal(QStringLiteral("Left"), double(std::lround(m_tw.fromPxX(x()))));
        ini.SetVal(QStringLiteral("Top"), double(std::lround(m_tw.fromPxY(y()))));
        ini.SetVal(QStringLiteral("Width"), double(std::lround(m_tw.fromPxX(width()))));
        ini.SetVal(QStringLiteral("Height"), double(std::lround(m_tw.fromPxY(height()))));
        ini.SetVal(QStringLiteral("Zoom"), m_zoomStep);
        ini.SetVal(QStringLiteral("Trvw"), m_treeMode);
        ini.SetGtx();
        return;
    }
    ini.GetGtx(group);
    auto number = [&](const char* key, qint16 def) {
        return ini.vGtVal(QString::fromLatin1(key), QVariant(def)).toDouble();
    };
    auto whole = [](double v) {
        try {
            return util::CLng(v);
        } catch (const util::VbError&) {
            return qint32(0);
        }
    };
    const qint32 left = whole(number("Left", 0));
    const qint32 top = whole(number("Top", 0));
    const qint32 width = whole(number("Width", 0));
    const qint32 height = whole(number("Height", 0));
    if (width > 0 && height > 0) {
        move(m_tw.toPxX(left), m_tw.toPxY(top));
        resize(m_tw.toPxX(width), m_tw.toPxY(height));
    }
    // Steps without a menu item (hand-edited values) fall back to the defaults.
    int zoom = int(whole(number("Zoom", 1)));
    if (zoom < 0 || zoom > 5)
        zoom = 1;
    int tree = int(whole(number("Trvw", 0)));
    if (tree < 0 || tree > 2)
        tree = 0;
    m_zoomStep = zoom;
    m_mnZoom[zoom]->setChecked(true);
    m_txDc->setZoom(zoomFactor(zoom));
    m_treeMode = tree;
    m_mnTree[tree]->setChecked(true);
}

void fmDoc::ExitApp() {
    StPos(true);
    bool ok = false;
    m_s.ini.SetTxt(ok);
    if (m_s.exitApp)
        m_s.exitApp();
}

void fmDoc::unload() {
    m_unloading = true;
    close();
}

void fmDoc::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!m_unloading && m_s.exitApp)
        m_s.exitApp(); // closed by the frame: the end procedure, nothing saved
}

} // namespace mainwin
