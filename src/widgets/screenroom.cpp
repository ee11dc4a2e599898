#include "widgets/screenroom.h"

#include <QScreen>
#include <QWidget>

namespace screenroom {

QSize clientRoom(const QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    QSize room = screen->availableGeometry().size();
    // Before the window is shown its frame is unknown and none is assumed; the least size is
    // fitted again when it is shown.
    if (window.isVisible())
        room -= window.frameGeometry().size() - window.geometry().size();
    return room;
}

QSize areaMinimum(const QSize &contents, const QSize &whole, const QSize &room, const QSize &floor)
{
    const QSize over = (whole - room).expandedTo(QSize(0, 0));
    return (contents - over).expandedTo(floor.boundedTo(contents));
}

} // namespace screenroom
