#pragma once
// The results protocol on paper and in PDF: the text laid out line for line in a fixed-width font,
// so that its columns line up, with the document's name and the page number at the foot of each
// page. Needs Qt Gui (fonts, painting) but no widgets: a command line tool can call it under a
// QGuiApplication (the "offscreen" platform will do).
#include <QByteArray>
#include <QString>

class QPagedPaintDevice;

namespace protocolprint {
// Paints the text on the device (a printer or a PDF writer), starting new pages as needed, and
// returns the number of pages. The font shrinks (down to 6 points) until the widest line fits.
int paint(QPagedPaintDevice &device, const QString &text, const QString &title);

// The protocol as a PDF document on A4; empty on failure. pages, if given, receives the count.
QByteArray pdfBytes(const QString &text, const QString &title, int *pages = nullptr);

// Writes the PDF whole or not at all; false with the reason.
bool writePdf(const QString &path, const QString &text, const QString &title, QString *error = nullptr);

// The protocol's text as shown: Windows-1251 decoded, one line per line of the file.
QString protocolText(const QByteArray &bytes);
} // namespace protocolprint
