#pragma once
// How much room a control's caption needs, and whether it has it: pages that size their buttons
// by arithmetic use the first as a floor, the layout checks use the second.
#include <QString>

class QAbstractButton;
class QWidget;

namespace textfit {

// The width a push button needs to show its caption whole (the style's frame included, no
// minimum button width).
int buttonTextWidth(const QAbstractButton &button);

// True when the widget (a button, check box, label or group box) shows its caption whole in its
// present geometry; otherwise false and, if given, what is short.
bool showsWhole(const QWidget &widget, QString *why = nullptr);

} // namespace textfit
