// Reads registry keys that the test writes itself under HKEY_CURRENT_USER, through the same
// reader the port search uses for HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
// Plain C++ for a Windows compiler; runs on Windows or under Wine. Exit code 0 = all passed.
#include "link/registryvalues.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char *what, int line)
{
    std::printf("%s: %s (line %d)\n", ok ? "ok  " : "FAIL", what, line);
    if (!ok)
        ++failures;
}
#define CHECK(condition) check((condition), #condition, __LINE__)

using Texts = std::vector<std::wstring>;

// The test's own keys live below this one and are removed again at the end.
const std::wstring TestRoot = L"Software\\KviroServiceRegistryTest";

std::wstring keyPath(const wchar_t *name)
{
    return TestRoot + L"\\" + name;
}

HKEY createKey(const std::wstring &path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS) {
        std::printf("FAIL: cannot create HKCU\\%ls\n", path.c_str());
        std::exit(2);
    }
    return key;
}

// Stores the bytes as given: no terminating NUL is added.
void setRaw(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD bytes)
{
    if (RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), bytes) != ERROR_SUCCESS) {
        std::printf("FAIL: cannot set value %ls\n", name);
        std::exit(2);
    }
}

// A text stored the way the system stores port names: with its terminating NUL.
void setText(HKEY key, const wchar_t *name, const std::wstring &text, DWORD type = REG_SZ)
{
    setRaw(key, name, type, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

void ports()
{
    // The names of the system's own table contain backslashes. Written in the order in which
    // both Windows (creation order) and Wine (name order) enumerate them; the expected list is
    // neither sorted by text nor by number.
    HKEY key = createKey(keyPath(L"Ports"));
    setText(key, L"\\Device\\Foo", L"COM17");
    setText(key, L"\\Device\\Serial0", L"COM1");
    setText(key, L"\\Device\\VCP0", L"COM7");
    RegCloseKey(key);
    const auto texts = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Ports"));
    CHECK(texts.has_value());
    CHECK(texts && *texts == (Texts{L"COM17", L"COM1", L"COM7"}));
}

void missingAndEmpty()
{
    const auto missing = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Missing"));
    CHECK(!missing.has_value());

    // A key with a subkey but no values lists no port, and is not the same as no key.
    RegCloseKey(createKey(keyPath(L"Empty\\Child")));
    const auto empty = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Empty"));
    CHECK(empty.has_value());
    CHECK(empty && empty->empty());

    // The other root is really used: the test's key does not exist there.
    CHECK(!registry::valueTexts(registry::Root::LocalMachine, keyPath(L"Ports")).has_value());
}

void valuesThatAreNotPlainText()
{
    HKEY key = createKey(keyPath(L"Mixed"));
    const DWORD number = 3;
    setRaw(key, L"a-dword", REG_DWORD, &number, sizeof number);
    setText(key, L"b-text", L"COM3");
    const unsigned char bytes[] = {'C', 0, 'O', 0, 'M', 0, '5', 0};
    setRaw(key, L"c-binary", REG_BINARY, bytes, sizeof bytes);
    setText(key, L"d-expand", L"COM4", REG_EXPAND_SZ);
    const wchar_t multi[] = L"COM6\0COM8\0";
    setRaw(key, L"e-multi", REG_MULTI_SZ, multi, sizeof multi);
    // Without its terminating NUL, with an odd byte count, with a NUL inside, empty.
    setRaw(key, L"f-no-nul", REG_SZ, L"COM9", 4 * sizeof(wchar_t));
    setRaw(key, L"g-odd", REG_SZ, L"COM10", 5 * sizeof(wchar_t) + 1);
    setRaw(key, L"h-inner-nul", REG_SZ, L"COM2\0junk", 9 * sizeof(wchar_t));
    setRaw(key, L"i-empty", REG_SZ, L"", 0);
    setText(key, L"j-cyrillic", L"Порт COM11");
    RegCloseKey(key);
    const auto texts = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Mixed"));
    CHECK(texts && *texts == (Texts{L"COM3", L"COM4", L"COM9", L"COM10", L"COM2", L"", L"Порт COM11"}));

    // Only values that are not text: the key exists, and lists nothing.
    HKEY numbers = createKey(keyPath(L"Numbers"));
    setRaw(numbers, L"\\Device\\Serial0", REG_DWORD, &number, sizeof number);
    RegCloseKey(numbers);
    const auto none = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Numbers"));
    CHECK(none && none->empty());
}

void longNamesAndTexts()
{
    HKEY key = createKey(keyPath(L"Long"));
    // Far beyond any fixed buffer a port name would need, but within the reader's limit.
    const std::wstring longText = std::wstring(100000, L'x') + L"COM5";
    setText(key, L"a-long", longText);
    // Over the limit: skipped, and the values around it still read.
    const std::wstring hugeText(registry::MaxTextBytes / sizeof(wchar_t) + 10, L'y');
    setText(key, L"b-huge", hugeText);
    // The longest name the registry allows.
    const std::wstring longestName = L"c-" + std::wstring(16383 - 2, L'n');
    setText(key, longestName.c_str(), L"COM12");
    RegCloseKey(key);
    const auto texts = registry::valueTexts(registry::Root::CurrentUser, keyPath(L"Long"));
    CHECK(texts.has_value());
    CHECK(texts && texts->size() == 2);
    CHECK(texts && texts->size() == 2 && (*texts)[0] == longText);
    CHECK(texts && texts->size() == 2 && (*texts)[1] == L"COM12");
}

} // namespace

int wmain()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, TestRoot.c_str());
    ports();
    missingAndEmpty();
    valuesThatAreNotPlainText();
    longNamesAndTexts();

    // What this machine lists as its own serial ports; shown, not checked.
    if (const auto system = registry::valueTexts(registry::Root::LocalMachine, L"HARDWARE\\DEVICEMAP\\SERIALCOMM")) {
        std::printf("info: HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM has %zu text value(s)\n", system->size());
    } else {
        std::printf("info: HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM is absent\n");
    }

    RegDeleteTreeW(HKEY_CURRENT_USER, TestRoot.c_str());
    std::printf("%s\n", failures ? "registry reader: FAILED" : "registry reader: all passed");
    return failures ? 1 : 0;
}
