#pragma once
// The feature pages' screenshots: each fills its page with realistic data first.
#include <functional>

class QString;
class TFormMainKviroS_D7;
class VirtualInstrument;

void shotsOfPages(TFormMainKviroS_D7 &window, VirtualInstrument &vi, const QString &outDir,
                  const std::function<void(const QString &)> &shoot, const std::function<void(int)> &settle);
