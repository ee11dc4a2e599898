#pragma once
// The texts of the values of one Windows registry key, read with the Win32 registry API.
// Plain C++ without Qt, so that it can be built and tested on its own with a Windows compiler.
// Only compiled for Windows.
#include <optional>
#include <string>
#include <vector>

namespace registry {

enum class Root { LocalMachine, CurrentUser };

// Value texts longer than this many bytes are not port names; they are skipped, not read.
inline constexpr unsigned long MaxTextBytes = 1UL << 20;

// Opens root\path read-only and returns the texts of its values in the order the registry
// enumerates them, or nothing when the key cannot be opened (it does not exist, or may not be
// read). A key without values gives an empty list. Values that are not text (REG_SZ or
// REG_EXPAND_SZ, taken as stored, not expanded) and texts over MaxTextBytes are skipped. A text
// ends at its first NUL or at the end of its data, whichever comes first.
// The path uses the registry's own separator, e.g. L"HARDWARE\\DEVICEMAP\\SERIALCOMM".
std::optional<std::vector<std::wstring>> valueTexts(Root root, const std::wstring &path);

} // namespace registry
