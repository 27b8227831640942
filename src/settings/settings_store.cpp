#include "settings/settings_store.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <optional>
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

// Up to 8 bytes as a little-endian number; a value beyond 32 bits reads as the largest one, so
// that no non-zero value turns into zero.
std::optional<uint32_t> LittleEndianNumber(const std::vector<unsigned char>& data) {
    if (data.empty() || data.size() > 8) return std::nullopt;
    uint64_t number = 0;
    for (size_t i = data.size(); i-- > 0;) number = number << 8 | data[i];
    return static_cast<uint32_t>(std::min<uint64_t>(number, UINT32_MAX));
}

// A decimal number written as text, with spaces around it allowed.
std::optional<uint32_t> TextNumber(const std::vector<unsigned char>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.resize(std::min(text.size(), text.find(L'\0')));
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::nullopt;
    const size_t last = text.find_last_not_of(L" \t");
    uint64_t number = 0;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        number = std::min<uint64_t>(number * 10 + (text[i] - L'0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(number);
}

// The number a value holds, read the way its type says: what the product writes (REG_DWORD) and
// what a person or a policy tool may write instead (text, a 64-bit number) mean the same number.
std::optional<uint32_t> SettingNumber(DWORD type, const std::vector<unsigned char>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return TextNumber(data);
        case REG_DWORD_BIG_ENDIAN: {
            if (data.size() != 4) return std::nullopt;
            return LittleEndianNumber({data.rbegin(), data.rend()});
        }
        case REG_DWORD:
            if (data.size() != 4) return std::nullopt;
            return LittleEndianNumber(data);
        case REG_QWORD:
            if (data.size() != 8) return std::nullopt;
            return LittleEndianNumber(data);
        default:
            return LittleEndianNumber(data);
    }
}

}  // namespace

uint32_t ReadSettingDword(const wchar_t* valueName, uint32_t defaultValue) try {
    HKEY key = ProductKey();
    if (key == nullptr) return defaultValue;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    std::vector<unsigned char> data(size);
    if (RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    data.resize(size);
    return SettingNumber(type, data).value_or(defaultValue);
} catch (const std::bad_alloc&) {
    return defaultValue;
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
