// sbTvw: the page view window.
#include "pageview/sbTvw.h"

#include "platform/Environment.h"
#include "platform/MessageBox.h"
#include "richtext/RichTextView.h"
#include "util/Vb.h"

#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace pageview {

namespace {
double nearest(double v) {
    return util::roundHalfEven(v);
}
} // namespace

class PageSurface final : public QWidget {
public:
    explicit PageSurface(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("pcTxt"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    richtext::RichTextView* view = nullptr;
    qint32 page = 1;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        if (!view || page > view->pageCount())
            return; // a page past the end: an empty sheet
        view->setPrintDevice(this);
        view->printPage(page, &p);
    }
};

sbTvw::sbTvw(platform::IScreen& screen, platform::IPrinter& printer, platform::IMessageBox& messages, QWidget* parent)
    : QDialog(parent), m_screen(screen), m_messages(messages), m_printing(printer), m_tw(screen) {
    setObjectName(QStringLiteral("sbTvw"));
    setWindowTitle(QStringLiteral("ﾍﾟｰｼﾞﾋﾞｭｰ"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("mnJb"));
    auto* file = bar->addMenu(QStringLiteral("操作(&F)"));
    m_mnFile << file->addAction(QStringLiteral("印刷")) << file->addSeparator()
             << file->addAction(QStringLiteral("閉じる(&X)"));
    connect(m_mnFile[0], &QAction::triggered, this, &sbTvw::print);
    connect(m_mnFile[2], &QAction::triggered, this, &QDialog::close);
    auto* page = bar->addMenu(QStringLiteral("ﾍﾟ-ｼﾞ(&P)"));
    const QString pages[] = {QStringLiteral("最初(&F)"), QStringLiteral("前(&P)"), QStringLiteral("次(&N)"),
                             QStringLiteral("最後(&L)")};
    for (int i = 0; i < 4; ++i) {
        m_mnPage << page->addAction(pages[i]);
        connect(m_mnPage[i], &QAction::triggered, this, [this, i] { movePage(i); });
    }
    auto* zoom = bar->addMenu(QStringLiteral("ｽﾞｰﾑ(&Z)"));
    const char* zooms[] = {"50%", "75%", "100%", "150%", "200%", "300%"};
    for (int i = 0; i < 6; ++i) {
        m_mnZoom << zoom->addAction(QString::fromLatin1(zooms[i]));
        connect(m_mnZoom[i], &QAction::triggered, this, [this, i] { zoomStep(i); });
    }
    m_mnZoom << zoom->addSeparator() << zoom->addAction(QStringLiteral("ﾍﾟｰｼﾞ全体"));
    connect(m_mnZoom[7], &QAction::triggered, this, [this] { zoomStep(7); });

    // Below the menus, a grey desk carries the page and its shadow; a sheet larger than the window
    // is scrolled over it.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(bar);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("deskScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette desk = m_scroll->palette();
    desk.setColor(QPalette::Window, QColor(128, 128, 128));
    m_scroll->setPalette(desk);
    m_scroll->viewport()->setAutoFillBackground(true);
    m_scroll->viewport()->setPalette(desk);
    layout->addWidget(m_scroll);
    m_area = new QWidget;
    m_area->setObjectName(QStringLiteral("desk"));
    m_area->setAutoFillBackground(true);
    m_area->setPalette(desk);
    m_scroll->setWidget(m_area);
    m_surface = new PageSurface(m_area);
    for (auto*& s : m_shape) {
        s = new QFrame(m_area);
        s->setAutoFillBackground(true);
        QPalette shade = s->palette();
        shade.setColor(QPalette::Window, QColor(40, 40, 40));
        s->setPalette(shade);
    }
    // PageDown and PageUp turn the sheets, wherever the focus is.
    for (const auto& [key, move] : {std::pair{Qt::Key_PageDown, 2}, std::pair{Qt::Key_PageUp, 1}}) {
        auto* sc = new QShortcut(QKeySequence(key), this);
        connect(sc, &QShortcut::activated, this, [this, move = move] { movePage(move); });
    }
}

sbTvw::~sbTvw() = default;

QWidget* sbTvw::surface() const {
    return m_surface;
}

QSize sbTvw::innerTwips() const {
    // The desk's visible size without scroll bars: a fitted sheet never needs them.
    const QSize inner = m_scroll->maximumViewportSize();
    return {int(std::lround(m_tw.fromPxX(inner.width()))), int(std::lround(m_tw.fromPxY(inner.height())))};
}

QRect sbTvw::surfaceTwips() const {
    const QRect g = m_surface->geometry();
    return {int(std::lround(m_tw.fromPxX(g.x()))), int(std::lround(m_tw.fromPxY(g.y()))),
            int(std::lround(m_tw.fromPxX(g.width()))), int(std::lround(m_tw.fromPxY(g.height())))};
}

void sbTvw::layoutSurface(double x, double y, double w, double h, double s) {
    m_surface->setGeometry(m_tw.toPx(x, y, w, h));
    m_shape[0]->setGeometry(m_tw.toPx(x + w, y + s, s, h));
    m_shape[1]->setGeometry(m_tw.toPx(x + s, y + h, w, s));
    // The desk is the window's inside, or the sheet with its shadow when that is larger.
    const QSize inner = m_scroll->maximumViewportSize();
    m_area->resize(std::max(inner.width(), m_tw.toPxX(x + w + s)), std::max(inner.height(), m_tw.toPxY(y + h + s)));
}

void sbTvw::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    relayout();
}

void sbTvw::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    relayout(); // the size the window really has at this opening
}

void sbTvw::relayout() {
    if (!m_view)
        return;
    layout()->activate();
    if (m_zoomIndex == 7)
        fitPage(); // the whole page, for the window's size now
    else
        zoomStep(m_zoomIndex); // the same zoom, centred again
}

void sbTvw::fitPage() {
    layout()->activate();
    const QSize inner = innerTwips();
    const double SW = inner.width(), SH = inner.height();
    const double PW = std::max(1, m_view->pageWidth()), PH = std::max(1, m_view->pageHeight());
    const double r = std::min(SW / PW, SH / PH) * 0.9;
    const double fw = nearest(PW * r), fh = nearest(PH * r);
    const double fl = nearest((SW - fw) / 2), ft = nearest((SH - fh) / 2);
    m_fitted = QRect(int(fl), int(ft), int(fw), int(fh));
    layoutSurface(fl, ft, fw, fh, 100);
    m_fitZoom = int(std::min(nearest(fh * 100 / PH), nearest(fw * 100 / PW)));
    m_zoomIndex = 7;
    m_view->setPrintZoom(m_fitZoom);
    m_surface->update();
}

void sbTvw::cAct(richtext::RichTextView* vTx, const QString& /*sImgFL*/, const QString& sFL) {
    m_screen.setBusy(true); // the pages of a long document are laid out first
    m_view = vTx;
    m_surface->view = vTx;
    m_printing.setPaperCode(*vTx);
    m_printing.setSettingsFile(m_userData, sFL);
    // The part of a long page the reader is on, and the place in it, stay as they are.
    const int part = vTx->currentPart();
    const int place = vTx->topPosition();
    m_zoomIndex = 7;
    m_modeChanged = vTx->viewMode() != 2;
    if (m_modeChanged)
        vTx->setViewMode(2);
    // Centred over the main window at thirteen fifteenths of its size.
    if (QWidget* main = parentWidget() ? parentWidget()->window() : nullptr) {
        const double L = m_tw.fromPxX(main->x()), T = m_tw.fromPxY(main->y());
        const double W = m_tw.fromPxX(main->width()), H = m_tw.fromPxY(main->height());
        const double w = nearest(W * 13 / 15), h = nearest(H * 13 / 15);
        move(m_tw.toPxX(L + W / 15), m_tw.toPxY(T + H / 15));
        resize(m_tw.toPxX(w), m_tw.toPxY(h));
    }
    fitPage();
    m_count = vTx->pageCount();
    m_page = 1;
    m_surface->page = m_page;
    updateMenus();
    m_screen.setBusy(false);
    exec();
    // The main window's view goes back to the normal mode, laid out anew from its own copy.
    if (m_modeChanged) {
        m_screen.setBusy(true);
        vTx->hide();
        vTx->setViewMode(0);
        const QByteArray copy = vTx->saveToMemory(3);
        vTx->loadFromMemory(copy, 3, false);
        vTx->setPart(part);
        vTx->scrollToPosition(place);
        vTx->show();
        m_modeChanged = false;
        m_screen.setBusy(false);
    }
    vTx->show();
}

void sbTvw::print() {
    if (!m_view)
        return;
    // A long run shows its progress and can be stopped; the open job is then dropped.
    std::unique_ptr<QProgressDialog> bar;
    auto progress = [&](int done, int total) {
        if (!bar) {
            m_screen.setBusy(true);
            bar = std::make_unique<QProgressDialog>(QStringLiteral("印刷しています..."), QStringLiteral("中止"), 0,
                                                    total, this);
            bar->setWindowTitle(windowTitle());
            bar->setWindowModality(Qt::WindowModal);
            bar->setMinimumDuration(500);
            bar->setAutoClose(false);
            bar->setAutoReset(false);
        }
        bar->setValue(done);
        return !bar->wasCanceled();
    };
    // Jobs go under the main window's caption: the database and the page.
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    const QString title = main && !main->windowTitle().isEmpty() ? main->windowTitle() : QStringLiteral("DB Text");
    const PrintOutcome out = m_printing.printRun(this, *m_view, title, progress);
    if (bar) {
        bar.reset();
        m_screen.setBusy(false);
    }
    m_surface->update();
    if (out.kind == PrintOutcome::Kind::Failed) {
        QString text = QStringLiteral("印刷できませんでした。");
        if (!out.error.isEmpty())
            text += QLatin1Char('\n') + out.error;
        if (out.copiesSent > 0)
            text += QStringLiteral("\n(%1 部は送信済みです)").arg(out.copiesSent);
        m_messages.show(text);
    }
}

void sbTvw::updateMenus() {
    m_mnPage[1]->setEnabled(m_page > 1);
    m_mnPage[2]->setEnabled(m_page < m_count);
    m_mnPage[3]->setEnabled(m_page < m_count);
}

void sbTvw::movePage(int index) {
    qint32 p = m_page;
    switch (index) {
    case 0:
        p = 1;
        break;
    case 1:
        p = m_page - 1;
        break;
    case 2:
        p = m_page + 1;
        break;
    case 3:
        p = m_count;
        break;
    default:
        return;
    }
    m_page = std::clamp(p, qint32(1), std::max(qint32(1), m_count));
    m_surface->page = m_page;
    m_scroll->verticalScrollBar()->setValue(0); // a new sheet is read from its top
    updateMenus();
    m_surface->update();
}

void sbTvw::zoomStep(int index) {
    if (!m_view)
        return;
    static const int steps[] = {50, 75, 100, 150, 200, 300};
    int z = m_fitZoom;
    if (index >= 0 && index < 6) {
        z = steps[index];
        const QSize inner = innerTwips();
        const double w = nearest(double(z) / m_fitZoom * m_fitted.width());
        const double h = nearest(double(z) / m_fitZoom * m_fitted.height());
        const double l = std::max(0.0, nearest((inner.width() - w) / 2));
        const double t = std::max(0.0, nearest((inner.height() - h) / 2));
        layoutSurface(l, t, w, h, 100);
    } else if (index == 7) {
        fitPage(); // fitted to the window as it is now
        return;
    } else {
        return;
    }
    m_zoomIndex = index;
    m_view->setPrintZoom(z);
    m_surface->update();
}

} // namespace pageview
