#include "shots_pages.h"

#include "app/mainwindow.h"
#include "sim/virtualinstrument.h"

#include <QString>

void shotsOfPages(TFormMainKviroS_D7 &window, VirtualInstrument &vi, const std::function<void(const QString &)> &shoot,
                  const std::function<void(int)> &settle)
{
    (void)vi;
    (void)settle;
    (void)window;
    (void)shoot;
}
