// Twips: the one conversion between the logic's twips (1/1440 inch) and widget pixels.
#pragma once

#include "platform/Environment.h"

#include <QRect>

#include <cmath>

namespace platform {

/// Converts twips to pixels at the widget edge and back, with the screen's twips per pixel.
class Twips {
public:
    explicit Twips(const IScreen& screen) : m_screen(&screen) {}
    int toPxX(double tw) const { return int(std::lround(tw / m_screen->twipsPerPixelX())); }
    int toPxY(double tw) const { return int(std::lround(tw / m_screen->twipsPerPixelY())); }
    double fromPxX(int px) const { return px * m_screen->twipsPerPixelX(); }
    double fromPxY(int px) const { return px * m_screen->twipsPerPixelY(); }
    QRect toPx(double left, double top, double width, double height) const {
        return {toPxX(left), toPxY(top), std::max(0, toPxX(width)), std::max(0, toPxY(height))};
    }

private:
    const IScreen* m_screen;
};

} // namespace platform
