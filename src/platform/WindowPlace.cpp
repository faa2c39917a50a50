#include "platform/WindowPlace.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

QRect pulledOnto(const QRect& frame, const QRect& area) {
    if (area.isEmpty())
        return frame;
    QRect r = frame;
    r.setWidth(std::min(r.width(), area.width()));
    r.setHeight(std::min(r.height(), area.height()));
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    if (r.top() < area.top())
        r.moveTop(area.top());
    return r;
}

namespace {
QMargins marginsOf(const QWidget* w) {
    const QRect f = w->frameGeometry();
    const QRect g = w->geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}
} // namespace

QMargins frameMarginsOf(const QWidget* window) {
    if (window->isVisible() && !marginsOf(window).isNull())
        return marginsOf(window);
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != window && other->isVisible() && !marginsOf(other).isNull())
            return marginsOf(other);
    return {};
}

QRect availableAreaAt(const QPoint& point) {
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

WindowPlace::WindowPlace(QWidget* window) : QObject(window), m_window(window) {
    window->installEventFilter(this);
}

void WindowPlace::restore(const QPoint& framePos, const QSize& innerSize) {
    const QMargins m = frameMarginsOf(m_window);
    const QRect frame = QRect(framePos, innerSize).marginsAdded(QMargins(0, 0, m.left() + m.right(), m.top() + m.bottom()));
    const QRect placed = pulledOnto(frame, availableAreaAt(frame.center()));
    m_wanted = QRect(placed.topLeft(), placed.size().shrunkBy(QMargins(0, 0, m.left() + m.right(), m.top() + m.bottom())));
    m_normal = m_wanted;
    // Not framed yet, the position given is the frame's.
    m_window->move(m_wanted.topLeft());
    m_window->resize(m_wanted.size());
}

QRect WindowPlace::normalPlace() const {
    if (m_normal.isValid())
        return m_normal;
    return QRect(m_window->pos(), m_window->size());
}

void WindowPlace::remember() {
    if (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
        return;
    if (!m_window->isVisible())
        return;
    m_normal = QRect(m_window->pos(), m_window->size());
}

void WindowPlace::settle() {
    // Once framed, the frame goes exactly where it was asked for, pulled onto the screen with the
    // frame's real size; a window the manager has maximised is left as it is.
    const QMargins m = marginsOf(m_window);
    if (m.isNull() || !m_wanted.isValid() || m_settling)
        return;
    const QRect wanted = m_wanted;
    m_wanted = QRect();
    if (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
        return;
    const QRect frame = QRect(wanted.topLeft(), wanted.size().grownBy(QMargins(0, 0, m.left() + m.right(), m.top() + m.bottom())));
    const QRect placed = pulledOnto(frame, availableAreaAt(frame.center()));
    const QSize inner = placed.size().shrunkBy(QMargins(0, 0, m.left() + m.right(), m.top() + m.bottom()));
    m_settling = true;
    if (inner != m_window->size())
        m_window->resize(inner);
    if (placed.topLeft() != m_window->pos())
        m_window->move(placed.topLeft());
    m_settling = false;
    m_normal = QRect(placed.topLeft(), inner);
}

bool WindowPlace::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            if (m_wanted.isValid() && m_window->isVisible())
                settle();
            if (!m_settling)
                remember();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace platform
