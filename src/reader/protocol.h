#pragma once
// The results protocol exchange in plain functions: the length announcement 'N' + 5 digits, the
// body reply 'd' + text + a final character, and the automatic file name built from the header.
#include <QByteArray>

#include <optional>

namespace protokol {
constexpr int AnnouncementLength = 6;
constexpr int HeaderOffset = 92; // the designation starts here in the body
constexpr int HeaderLength = 20;

// The total length of the body reply announced in positions 2..6 (leading zeros and blanks
// allowed, a sign allowed); nothing when those characters are not a decimal number.
std::optional<int> announcedLength(const QByteArray &announcement);

// The text of a complete body reply: everything between the tag and the final character.
QByteArray bodyText(const QByteArray &reply);

// The header window: up to 20 bytes of the body from offset 92 (fewer when the body is short).
QByteArray headerWindow(const QByteArray &body);

// "20" + yy + "_" + mm + "_" + dd + " Pr №" + designation, as Windows-1251 bytes. The
// designation is what precedes " от" in the header window (empty when there is none); the date
// is read around the window's first "." (dd before it, mm after it, yy three further on).
// Characters that would lie outside the window are left out, so a header without a date gives
// "20__ Pr №..."; nothing is trimmed and no extension is added.
QByteArray automaticName(const QByteArray &body);
} // namespace protokol
