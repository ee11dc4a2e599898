#pragma once
// The application object of kviro-cli. Every job runs under a QCoreApplication, except the one
// that draws: a protocol saved as PDF lays its text out with fonts and a painter, which need a
// QGuiApplication. That one gets the "offscreen" platform when no platform is named, so it needs
// no display (a terminal over ssh, a script run by a service). Nothing here shows a window.
#include <QCoreApplication>

#include <memory>

// A QGuiApplication when needsGui, else a QCoreApplication. argc must outlive it.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool needsGui);
// Whether the running application can lay out and paint text (a QGuiApplication).
bool paintingAvailable();
