#pragma once
// The product's per-user settings in the registry (HKEY_CURRENT_USER, 64-bit view), shared with the
// installed product. Failures never surface as errors: reads fall back to the caller's default.

#include <cstdint>
#include <string>
#include <string_view>

// Where the product keeps its settings, below HKEY_CURRENT_USER.
inline constexpr const wchar_t* kProductSettingsKey = L"Software\\Vexmoor\\Kestrova Pro";
// 0 forbids anonymous usage reports; missing means allowed.
inline constexpr const wchar_t* kAllowAnonymousReport = L"AllowAnonymousReport";
// The installation's client id for usage reports.
inline constexpr const wchar_t* kInstallKey = L"InstallKey";

// The value as a number, read as its registry type says: REG_DWORD (as the product writes it),
// REG_QWORD, a decimal text (REG_SZ "0" is 0), or up to 8 bytes of other data as a little-endian
// number; numbers beyond 32 bits read as 0xFFFFFFFF, never as 0. The default when the value is
// missing, can't be read as a number or the key can't be opened.
uint32_t ReadSettingDword(const wchar_t* valueName, uint32_t defaultValue);

// The value's UTF-16 text up to its first zero character or the end of its data; the default when
// the value is missing or the key can't be opened.
std::wstring ReadSettingString(const wchar_t* valueName, std::wstring_view defaultText);

// Stores the text as REG_SZ with its terminating zero; a null text stores the empty text. True
// when the registry accepted the value.
bool WriteSettingString(const wchar_t* valueName, const wchar_t* text);
