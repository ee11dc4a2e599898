#pragma once
// What the command line says when no port counts or a port does not open: what was looked at and
// why nothing came of it, and the advice that fits the cause (a missing folder, no device, no
// access, a port held by another program) rather than one text for all.
#include "link/serialdevice.h"

#include <QString>

class PortCatalog;

namespace portnotes {

// Why the catalog gives no COM port: the KVIRO_SERIALCOMM folder missing or without COM<n>
// entries, or no serial device of the system. One sentence with its own full stop.
QString whyNoPorts(const PortCatalog &catalog);
// What to do when the catalog gives no COM port.
QString noPortsAdvice(const PortCatalog &catalog);
// What to do when a port does not open, by the cause.
QString openFailureAdvice(OpenErrorKind kind);

} // namespace portnotes
