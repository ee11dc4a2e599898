#include "link/registryvalues.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace registry {
namespace {

HKEY rootKey(Root root)
{
    return root == Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Closes the key on every way out.
class OpenedKey {
public:
    explicit OpenedKey(HKEY key) : m_key(key) {}
    ~OpenedKey() { RegCloseKey(m_key); }
    OpenedKey(const OpenedKey &) = delete;
    OpenedKey &operator=(const OpenedKey &) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

// The longest value name the registry allows, in characters, without the terminating NUL.
constexpr DWORD MaxValueNameChars = 16383;

// The text of the named value, or nothing when it is not text, too long, or gone meanwhile.
std::optional<std::wstring> readText(HKEY key, const std::wstring &name)
{
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between asking its size and reading it: ask again a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return std::nullopt;
        if (size > MaxTextBytes)
            return std::nullopt;
        // Room for a NUL the stored text may lack, and an even byte count.
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = DWORD(text.size() * sizeof(wchar_t));
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        // An odd trailing byte is half a character: dropped.
        size_t length = got / sizeof(wchar_t);
        for (size_t i = 0; i < length; ++i) {
            if (text[i] == L'\0') {
                length = i;
                break;
            }
        }
        return std::wstring(text.data(), length);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::wstring>> valueTexts(Root root, const std::wstring &path)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(rootKey(root), path.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    const OpenedKey key(handle);

    std::vector<std::wstring> texts;
    std::vector<wchar_t> name(MaxValueNameChars + 1);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = DWORD(name.size());
        const LSTATUS status =
            RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A name that does not fit the registry's own limit cannot be read back; anything else
        // (the key removed meanwhile) ends the list with what was read so far.
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        if (auto text = readText(key.get(), std::wstring(name.data(), nameLength)))
            texts.push_back(std::move(*text));
    }
    return texts;
}

} // namespace registry
