// sbTvw: the page view: the main window's page as it comes out on paper, one page at a time, with
// page moves and zoom steps.
#pragma once

#include "pageview/Printing.h"
#include "platform/Twips.h"

#include <QDialog>
#include <QRect>
#include <QVector>

class QAction;
class QFrame;
class QMenuBar;
class QScrollArea;

namespace platform {
class IMessageBox;
class IPrinter;
class IScreen;
} // namespace platform
namespace richtext {
class RichTextView;
}

namespace pageview {

/// The page surface: paints the current page through the viewed control's print page.
class PageSurface;

/// sbTvw "ﾍﾟｰｼﾞﾋﾞｭｰ": drives the main window's own view (print zoom, print device, print page) and
/// restores it on closing. Geometry is kept in twips.
class sbTvw : public QDialog {
    Q_OBJECT
public:
    sbTvw(platform::IScreen& screen, platform::IPrinter& printer, platform::IMessageBox& messages,
          QWidget* parent = nullptr);
    ~sbTvw() override;

    /// Opens the preview of vTx modally, centred over the main window at 13/15 of its size, and
    /// returns when it is closed. sImgFL (a background picture) and sFL (a printer settings file)
    /// may be empty.
    void cAct(richtext::RichTextView* vTx, const QString& sImgFL = QString(), const QString& sFL = QString());
    /// The per-user data folder (ending with its separator) that holds the default "Page.prndt".
    void setUserDataFolder(const QString& folder) { m_userData = folder; }
    /// "印刷": prints through the print dialog, then repaints the page; a run that failed is told.
    void print();
    Printing& printing() { return m_printing; }
    /// Lays out the window and fits the page, as opening does (for a window already placed).
    void fitPage();

    /// Page moves: 0 first, 1 previous, 2 next, 3 last.
    void movePage(int index);
    /// Zoom steps: 0 50 %, 1 75 %, 2 100 %, 3 150 %, 4 200 %, 5 300 %, 7 the whole page.
    void zoomStep(int index);

    // State, for tests.
    qint32 currentPage() const { return m_page; }
    qint32 pageCount() const { return m_count; }
    int fitZoom() const { return m_fitZoom; }
    QRect fittedTwips() const { return m_fitted; }
    /// The page surface's geometry in twips.
    QRect surfaceTwips() const;
    QWidget* surface() const;
    QScrollArea* desk() const { return m_scroll; }
    bool viewModeChanged() const { return m_modeChanged; }
    QAction* mnPage(int i) const { return m_mnPage.value(i); }
    QAction* mnZoom(int i) const { return m_mnZoom.value(i); }
    QAction* mnFile(int i) const { return m_mnFile.value(i); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    /// The page laid out again for the window's size: fitted anew, or at its zoom, centred.
    void relayout();
    void layoutSurface(double x, double y, double w, double h, double shadow);
    void updateMenus();
    QSize innerTwips() const;

    platform::IScreen& m_screen;
    platform::IMessageBox& m_messages;
    Printing m_printing;
    QString m_userData;
    platform::Twips m_tw;
    richtext::RichTextView* m_view = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_area = nullptr;
    PageSurface* m_surface = nullptr;
    QFrame* m_shape[2] = {};
    QVector<QAction*> m_mnFile, m_mnPage, m_mnZoom;
    qint32 m_page = 1; // 32-bit: documents of any length
    qint32 m_count = 0;
    int m_fitZoom = 100;
    QRect m_fitted; // twips
    int m_zoomIndex = 7; // the zoom chosen: 0–5 a step, 7 the whole page
    bool m_modeChanged = false;
};

} // namespace pageview
