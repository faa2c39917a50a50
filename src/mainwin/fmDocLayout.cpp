// fmDoc: the layout in twips, the tree and zoom commands, the saved window place and the end.
#include "mainwin/fmDoc.h"

#include "mainwin/PageFindBar.h"
#include "navigator/uTrX.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/Vb.h"

#include <QAction>
#include <QCloseEvent>

namespace mainwin {

namespace {

const char* const kGroup = "位置";

} // namespace

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
    // The status line takes the bottom of the window; the rest is laid out as designed above it.
    const double H = scaleHeight() - kStatusHeight;
    const double T = m_tw.fromPxY(m_tree->y());
    if (W < 7000 || H < 1000) {
        // Too small for the designed layout, which stays as it was: an open find bar lies over
        // the bottom of the page, inside the window.
        if (!m_findBar->isHidden()) {
            const QRect page = m_txDc->geometry().intersected(rect());
            const int bar = std::min(page.height(), m_tw.toPxY(kFindBarHeight));
            m_findBar->setGeometry(page.left(), page.bottom() + 1 - bar, page.width(), bar);
            m_findBar->raise();
        }
        return;
    }
    placeWidget(m_status, 0, H, W, kStatusHeight);
    m_tree->setVisible(w > 0);
    // The page, with the find bar under it when it is open.
    auto placePage = [&](double left, double top, double width, double height) {
        const double bar = m_findBar->isHidden() ? 0 : kFindBarHeight;
        placeWidget(m_txDc, left, top, width, height - bar);
        if (bar > 0)
            placeWidget(m_findBar, left, top + height - bar, width, bar);
    };
    if (w == 0) {
        // The view starts at the tree's top; it ends at the window's bottom, so that its own lower
        // edge and scroll bar stay inside the window.
        placePage(0, T, W, H - T);
        return;
    }
    placeWidget(m_tree, 0, T, w, H - T - 20);
    placePage(w + 10, 0, W - w - 20, H);
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
    hideHint(); // placed and sized for the zoom it was shown at
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
        // The frame's top left and the inside's size of the normal state; a maximised window keeps
        // the place it goes back to, and says that it was maximised.
        const QRect place = m_place->normalPlace();
        ini.SetVal(QStringLiteral("Left"), double(std::lround(m_tw.fromPxX(place.x()))));
        ini.SetVal(QStringLiteral("Top"), double(std::lround(m_tw.fromPxY(place.y()))));
        ini.SetVal(QStringLiteral("Width"), double(std::lround(m_tw.fromPxX(place.width()))));
        ini.SetVal(QStringLiteral("Height"), double(std::lround(m_tw.fromPxY(place.height()))));
        ini.SetVal(QStringLiteral("Zoom"), m_zoomStep);
        ini.SetVal(QStringLiteral("Trvw"), m_treeMode);
        ini.SetVal(QStringLiteral("WindowState"), qint16(isMaximized() ? 2 : 0));
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
    if (width > 0 && height > 0)
        m_place->restore(QPoint(m_tw.toPxX(left), m_tw.toPxY(top)), QSize(m_tw.toPxX(width), m_tw.toPxY(height)));
    m_showMaximised = whole(number("WindowState", 0)) == 2;
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
    noteReadingPlace();
    saveRecentDbs();
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
