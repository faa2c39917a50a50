// fmDoc: the main window's construction, its activation, opening a database and showing a page.
#include "mainwin/fmDoc.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "find/FindEngine.h"
#include "navigator/NodeImages.h"
#include "navigator/uTrX.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "richtext/RichTextView.h"
#include "util/ProcessState.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QScreen>
#include <QShortcut>
#include <QToolButton>
#include <QTreeWidget>

Q_LOGGING_CATEGORY(lcMainwin, "dbtext.mainwin", QtWarningMsg)

namespace mainwin {

namespace {

constexpr double kDesignWidth = 12000; // designed window size, twips
constexpr double kDesignHeight = 8400;
constexpr double kTreeTop = 420; // the navigator's top, below the command labels

const QString kDbFilter =
    QStringLiteral("文書ﾃﾞｰﾀｰﾍﾞｰｽ(*.txdb)|*.txdb|ｱｸｾｽﾃﾞｰﾀｰﾍﾞｰｽ (*.mdb)|*.mdb|ﾃﾞ-ﾀﾘﾝｸ (*.udl)|*.udl|");

} // namespace

fmDoc::fmDoc(Services services, QWidget* parent) : QWidget(parent), m_s(std::move(services)), m_tw(m_s.screen) {
    setObjectName(QStringLiteral("fmDoc"));
    setWindowTitle(QStringLiteral("DB Text"));
    setWindowIcon(navigator::NodeImages::icon(QStringLiteral("tree")));

    m_tree = new navigator::uTrX(m_s.svr, m_s.screen, m_s.messages, this);
    m_txDc = new richtext::RichTextView(this);
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
    buildFindBar();

    // The status line along the bottom: the page shown, and what the navigator says (the number a
    // find found, the pane's hints).
    m_status = new QFrame(this);
    m_status->setObjectName(QStringLiteral("status"));
    auto* statusLayout = new QHBoxLayout(m_status);
    statusLayout->setContentsMargins(4, 0, 4, 0);
    m_statusPage = new QLabel(m_status);
    m_statusPage->setObjectName(QStringLiteral("statusPage"));
    m_statusNote = new QLabel(m_status);
    m_statusNote->setObjectName(QStringLiteral("statusNote"));
    for (QLabel* l : {m_statusPage, m_statusNote}) {
        l->setTextFormat(Qt::PlainText);
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long title is cut, never widens
    }
    m_statusNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The offer to go on where the last reading of the database ended: one click, or Ctrl+R.
    auto* resume = new QToolButton(m_status);
    resume->setObjectName(QStringLiteral("statusResume"));
    resume->setAutoRaise(true);
    resume->setFocusPolicy(Qt::NoFocus);
    resume->setCursor(Qt::PointingHandCursor);
    QFont linkFont = resume->font(); // it reads as a link: underlined, in the link colour
    linkFont.setUnderline(true);
    resume->setFont(linkFont);
    QPalette linkColour = resume->palette();
    linkColour.setColor(QPalette::ButtonText, linkColour.color(QPalette::Link));
    resume->setPalette(linkColour);
    resume->hide();
    m_statusResume = resume;
    connect(resume, &QToolButton::clicked, this, &fmDoc::resumeReading);
    auto* resumeKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(resumeKey, &QShortcut::activated, this, &fmDoc::resumeReading);
    statusLayout->addWidget(m_statusPage, 3);
    statusLayout->addWidget(resume);
    statusLayout->addWidget(m_statusNote, 2);
    connect(m_tree, &navigator::uTrX::eFmMsg, this, [this](QString& message) { showNote(message); });
    // The find index is built in the background: its progress and its end are told here too.
    connect(&m_tree->findEngine(), &find::FindEngine::indexProgress, this, [this](int percent) {
        showNote(percent < 100 ? QStringLiteral("検索用の索引を作成中 (%1%)").arg(percent)
                               : QStringLiteral("検索用の索引を作成しました"));
    });
    connect(&m_tree->findEngine(), &find::FindEngine::indexFailed, this, [this] {
        showNote(QStringLiteral("検索用の索引を作成できませんでした (索引なしで検索します)"));
    });

    connect(m_tree, &navigator::uTrX::eSetDoc, this, &fmDoc::onSetDoc);
    connect(m_tree, &navigator::uTrX::eFndWd, this, &fmDoc::onFindWord);
    connect(m_txDc, &richtext::RichTextView::fieldClicked, this, &fmDoc::onFieldClicked);
    connect(m_txDc, &richtext::RichTextView::fieldEntered, this, &fmDoc::onFieldEntered);
    connect(m_txDc, &richtext::RichTextView::mouseMoved, this, &fmDoc::onMouseMoved);
    m_txDc->installEventFilter(this);
    m_txDc->viewport()->installEventFilter(this); // Ctrl+wheel, the mouse's back and forward buttons
    m_tree->trView()->viewport()->installEventFilter(this);

    // Designed layout: labels along the top left, the navigator below them, the page on the right.
    placeWidget(m_tree, 0, kTreeTop, treeWidth(0), kDesignHeight - kTreeTop - 20);
    placeWidget(m_txDc, treeWidth(0) + 10, 0, kDesignWidth - treeWidth(0) - 20, kDesignHeight);
    // Pages wrap to the width of the view, as a reader in a resizable window expects.
    m_txDc->setViewMode(3);
    resize(m_tw.toPxX(kDesignWidth), m_tw.toPxY(kDesignHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_place = new platform::WindowPlace(this);
}

fmDoc::~fmDoc() = default;

// ---------------------------------------------------------------------------------------------
// Activation and databases
// ---------------------------------------------------------------------------------------------

quintptr fmDoc::ownerHandle() const {
    // The native window is not made here: made before the saved place is restored, some window
    // managers would put the inside where the frame was asked for.
    return quintptr(internalWinId());
}

void fmDoc::Act(const QString& sDb, const QString& sNo) {
    util::ProcessState& ps = util::processState();
    ps.runFlag = true;
    m_activating = true;
    m_txDc->setZoom(100);
    m_txDc->setWorkFolder(ps.workFolder);
    m_tree->ClearItem(true);
    StPos(false);
    loadRecentDbs();
    EnMenu(false);
    if (!sDb.isEmpty()) {
        QString path = sDb;
        m_opening = true; // the start page asked for is no reading either
        OpenDb(path);
        if (util::Val(sNo) > 0)
            m_tree->SetLeaf(sNo);
        m_opening = false;
    }
    m_activating = false;
    StLayout();
    if (m_showMaximised)
        showMaximized();
    else
        show();
    StLayout(); // again with the window's real inner size once it is shown
}

void fmDoc::EnMenu(bool e) {
    m_mnFile[1]->setEnabled(e);
    m_mnFile[2]->setEnabled(e);
    m_mnFile[4]->setEnabled(e);
    m_mnExport->setEnabled(e);
}

void fmDoc::DbDialog(QString& path, bool save, const QString& title) {
    path = save ? m_s.fileDialog.save(title, kDbFilter, this, dialogStart())
                : m_s.fileDialog.open(title, kDbFilter, this, dialogStart());
    noteFolder(path);
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
    noteReadingPlace();
    m_resume = {};
    m_statusResume->hide();
    if (dbKey(path) != dbKey(m_dbPath)) {
        m_back.clear(); // the pages gone through belong to the database they are in
        m_forward.clear();
    } else if (!m_shownNo.isEmpty()) {
        // The same one again: the page read in it is a step back from the one it opens at.
        m_back.push_back({m_shownNo, m_shownTitle, spot()});
        m_forward.clear();
    }
    m_dbPath = path;
    m_shownNo.clear();
    m_shownTitle.clear();
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
        const bool opening = m_opening;
        m_opening = true;
        m_readSince = false;
        m_tree->RootSelect();
        m_opening = opening;
        noteRecentDb(m_dbPath);
        offerReadingPlace();
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
    m_shownNo.clear();
    m_shownTitle.clear();
    EnMenu(false);
    m_tree->setRenameEnabled(false);
    m_tree->ClearItem(true);
    m_txDc->setText(QString());
    hideHint();
    closeFindBar();
    m_statusPage->clear();
    m_statusNote->clear();
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
    // The page left, with the place it was read at, for 戻る (Alt+←).
    const Visit left{m_shownNo, m_shownTitle, m_shownNo.isEmpty() ? Spot() : spot()};
    m_shownNo.clear();
    m_shownTitle.clear();
    // Only a checked whole number goes into the statement; anything else is no page.
    const std::optional<qint32> no = util::pageNumber(sNo);
    if (no)
        m_s.svr.R_Rset(docdb::sql::kDocument + QString::number(*no), rs, ok, 2);
    if (ok && !rs.eof()) {
        try {
            const QVariant doc = rs.field(QStringLiteral("obDoc"));
            if (util::isNull(doc))
                m_txDc->setText(QString());
            else
                m_txDc->loadFromMemory(doc.toByteArray(), 9);
            rs.close();
            hideHint(); // a hint belongs to the page it was shown on
            setWindowTitle(util::fileNamePart(m_dbPath) + QStringLiteral(" 文書No:") + sNo);
            m_shownNo = QString::number(*no);
            m_shownTitle = sSz;
            m_statusPage->setText(QStringLiteral("文書No:%1  %2").arg(m_shownNo, sSz.left(512)));
            m_statusPage->setToolTip(m_statusPage->text());
            noteVisit(left);
            if (!m_opening)
                m_readSince = true;
            if (m_resume.no == m_shownNo)
                m_statusResume->hide(); // the page offered is the one shown now
            return;
        } catch (const util::VbError& e) {
            qCDebug(lcMainwin) << "ShowDoc:" << e.what();
        }
    }
    rs.close();
    m_s.messages.show(QStringLiteral("Read Err  文書No:") + sNo);
}

void fmDoc::onSetDoc(QString& /*sNoP*/, QString& sNo, QString& sSz, qint16& iJb, bool& /*bHg*/) {
    const int mode = iJb == 2 ? 1 : 0;
    const std::optional<qint32> no = util::pageNumber(sNo);
    if (no && QString::number(*no) == m_shownNo) {
        // The page shown already (a release over the tree raises its event again): the reader keeps
        // the place where it is, and the navigator its bookkeeping.
        m_tree->SetTmpKy();
        if (mode == 0)
            m_tree->SetRcnt(sNo, sSz);
        return;
    }
    ShowDoc(sNo, sSz, mode);
}

void fmDoc::showNote(const QString& text) {
    m_statusNote->setText(text);
    m_statusNote->setToolTip(text);
}

void fmDoc::onFindWord(QString& sFnd) {
    // The remembered text loses its later words here at each choice; the bar offers them all.
    const QString whole = sFnd.isEmpty() ? QString() : m_tree->foundText();
    const qsizetype blank = sFnd.indexOf(QLatin1Char(' '));
    if (blank >= 0)
        sFnd = sFnd.left(blank); // written back into the navigator's remembered find text
    m_txDc->find(sFnd, 0, 16);
    if (!whole.trimmed().isEmpty())
        offerFoundWords(whole);
}

} // namespace mainwin
