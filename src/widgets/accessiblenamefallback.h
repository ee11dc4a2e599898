#pragma once
// Forced into every C++ source when Qt was built without accessibility (the static Qt of the
// Windows build has none): such a Qt has no accessible names, while the program's widgets set
// them for screen readers. There the name (and description) is kept as a plain property of the same name, so the
// widget code reads the same on every build and the name can still be looked up.
// Qt's own headers that declare these names are read before the macros exist.
#if defined(__cplusplus) && __has_include(<QStandardItemModel>)
#include <QStandardItemModel>
#endif
#define setAccessibleName(name) setProperty("accessibleName", QVariant(name))
#define setAccessibleDescription(text) setProperty("accessibleDescription", QVariant(text))
