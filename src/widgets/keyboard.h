#pragma once
// Keyboard use of every window: Enter presses the focused button, as Space does; buttons get
// underlined Alt letters that do not clash with the ones already taken.
#include <QList>
#include <QObject>
#include <QString>

class QAbstractButton;

namespace keyboard {

// Installed once on the application: Enter or Return on a focused push or tool button clicks it.
// A dialog's push buttons already do that themselves and are left to it.
void enterPressesButtons();

// Marks an Alt letter in each caption that has none: the first letter of a word that no other
// caption (or `taken`, the menu bar's letters) has, else any such letter; no mark when all clash.
// Returns the captions with "&" inserted; letters compare without case.
QStringList withMnemonics(const QStringList &captions, const QString &taken = {});
// The same on buttons' captions.
void giveMnemonics(const QList<QAbstractButton *> &buttons, const QString &taken = {});

// The Alt letters of the main window's menu bar, which page buttons must not take.
inline const QString MenuLetters = QStringLiteral("пгр");

} // namespace keyboard
