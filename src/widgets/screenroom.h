#pragma once
// How much of its screen a top-level window may take: its least size never exceeds that room, and
// what does not fit there scrolls instead of being pushed off the screen.
#include <QSize>

class QWidget;

namespace screenroom {

// The client size the window may have on its screen: the screen's available area (without task
// bars and panels) less the window's frame, once the window system has given it one.
QSize clientRoom(const QWidget &window);

// The least size of a scrolled area whose contents need `contents` when the window, with the
// contents shown whole, would need `whole` and may have `room`: the contents whole when they fit,
// otherwise smaller by what the window is over, and never below `floor`.
QSize areaMinimum(const QSize &contents, const QSize &whole, const QSize &room, const QSize &floor);

} // namespace screenroom
