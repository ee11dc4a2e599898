#include "cli/consoletext.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace console {

#ifdef Q_OS_WIN
namespace {
// The console behind the stream, or nothing when it goes to a file, a pipe or the NUL device.
HANDLE consoleOf(std::FILE *stream)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}
} // namespace

void write(std::FILE *stream, const QString &text)
{
    std::fflush(stream); // what the C runtime still holds goes first
    if (const HANDLE handle = consoleOf(stream)) {
        const std::wstring wide = text.toStdWString();
        // A console takes a limited amount per call on old Windows versions.
        constexpr size_t Chunk = 8192;
        for (size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const DWORD count = DWORD(std::min(Chunk, wide.size() - done));
            if (!WriteConsoleW(handle, wide.data() + done, count, &written, nullptr) || written == 0)
                break;
            done += written;
        }
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

bool isTerminal(std::FILE *stream) { return consoleOf(stream) != nullptr; }

bool takesEscapes(std::FILE *) { return false; }

int width(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (const HANDLE handle = consoleOf(stream); handle && GetConsoleScreenBufferInfo(handle, &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns >= 40)
            return columns;
    }
    return 80;
}
#else
void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

bool isTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

bool takesEscapes(std::FILE *stream) { return isTerminal(stream); }

int width(std::FILE *stream)
{
    winsize ws{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40)
        return ws.ws_col;
    return 80;
}
#endif

} // namespace console
