// WindowPlace: a top-level window's place on the desktop, saved and restored exactly.
#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace platform {

/// Pulls a window's frame onto an area: a frame larger than the area is cut to it (the inner size
/// loses what the frame loses), then it is moved inside, title bar included.
QRect pulledOnto(const QRect& frame, const QRect& area);

/// The margins a window manager puts around a window: the window's own once it is framed, else
/// those of another framed window of the program (one manager frames them alike), else none.
QMargins frameMarginsOf(const QWidget* window);

/// The available area of the screen under a point, or of the primary screen.
QRect availableAreaAt(const QPoint& point);

/// Keeps a top-level window's place: where its frame is (top left) and how large its inside is in
/// the normal state, and whether it is maximised. A restored place is put on the screen before the
/// window is shown; once the window manager has framed it, the frame is put exactly there again
/// (some managers place the inside where the frame was asked for) and pulled onto the screen.
class WindowPlace : public QObject {
public:
    explicit WindowPlace(QWidget* window);

    /// Places the window, not shown yet: frame top left at `framePos`, inside `innerSize` (pixels),
    /// pulled onto the available area of the screen under it.
    void restore(const QPoint& framePos, const QSize& innerSize);
    /// The normal state's frame top left and inside size, also while maximised or minimised.
    QRect normalPlace() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void remember();
    void settle();

    QWidget* m_window;
    QRect m_normal;        // frame top left + inside size of the normal state
    QRect m_wanted;        // the restored place, until the frame is known and put there
    bool m_settling = false;
};

} // namespace platform
