#pragma once
// Text for the terminal, or for whatever standard output and standard error are redirected to.
//
// Windows: a console gets UTF-16 through WriteConsoleW, so Cyrillic reads right whatever the
// console's code page is (866 on a Russian Windows, 437 or 1252 elsewhere); a file or a pipe gets
// UTF-8, the same bytes as on Linux, which JSON requires and Notepad, PowerShell and Python read.
// Elsewhere: the locale's encoding (UTF-8 in practice) either way.
#include <QString>

#include <cstdio>

namespace console {

// Writes the text as it stands (no line end added) to stdout or stderr and flushes it.
void write(std::FILE *stream, const QString &text);

// True when the stream is an interactive console or terminal. On Windows the NUL device, which
// the C runtime calls a terminal, is not one.
bool isTerminal(std::FILE *stream);

// True when the terminal redraws a line from escape sequences (erase to the end of the line).
// A Windows console is not asked to: the line is overwritten with spaces instead.
bool takesEscapes(std::FILE *stream);

// The width of the terminal in columns; 80 when it cannot be told.
int width(std::FILE *stream);

} // namespace console
