// AppIcon: the program's icon (a page with a small page tree on it), drawn at any size.
#pragma once

#include <QImage>

namespace platform {

/// The icon drawn sharp at size × size pixels.
QImage appIcon(int size);

} // namespace platform
