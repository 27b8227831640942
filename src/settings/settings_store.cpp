#include "settings/settings_store.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "win/handles.h"

namespace {

using UniqueKey = kv::win::RegistryKey;  // a key handle that is not (yet) the process-wide one

// Opened on first use and kept for the life of the process. Events may be built on several
// threads, so the first open is settled by a compare-exchange: a thread that loses the race closes
// its own handle and uses the winner's. A failed open leaves it empty so the next call tries again.
std::atomic<HKEY> g_productKey{nullptr};

UniqueKey CreateProductKey() {
    HKEY key = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, kProductSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    return UniqueKey(status == ERROR_SUCCESS ? key : nullptr);
}

HKEY ProductKey() {
    HKEY cached = g_productKey.load(std::memory_order_acquire);
    if (cached != nullptr) return cached;
    UniqueKey opened = CreateProductKey();
    if (!opened) return nullptr;
    if (g_productKey.compare_exchange_strong(cached, opened.Get(), std::memory_order_acq_rel)) {
        return opened.Release();
    }
    return cached;  // another thread opened it first; ours closes here
}

}  // namespace

uint32_t ReadSettingDword(const wchar_t* valueName, uint32_t defaultValue) {
    HKEY key = ProductKey();
    if (key == nullptr) return defaultValue;
    unsigned char data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
           uint32_t{data[3]} << 24;
}

std::wstring ReadSettingString(const wchar_t* valueName, std::wstring_view defaultText) try {
    HKEY key = ProductKey();
    if (key == nullptr) return std::wstring(defaultText);
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::wstring(defaultText);
    }
    // Sized to the data alone: a value stored without its terminating zero must not be read past.
    std::vector<unsigned char> data(size);
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) {
        return std::wstring(defaultText);  // changed or removed between the two queries
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
} catch (const std::bad_alloc&) {
    return {};  // no room even for the default
}

bool WriteSettingString(const wchar_t* valueName, const wchar_t* text) {
    HKEY key = ProductKey();
    if (key == nullptr) return false;
    const wchar_t* stored = text != nullptr ? text : L"";
    // REG_SZ data carries its terminating zero; readers that trust the type rely on it.
    const DWORD bytes = static_cast<DWORD>((std::wcslen(stored) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(stored),
                          bytes) == ERROR_SUCCESS;
}
