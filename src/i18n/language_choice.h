#pragma once
// Which language file a user gets, from the ISO 639 language and ISO 3166 country names of the
// user's locale. Platform-free.

#include <string>
#include <string_view>

namespace kv::i18n {

// The language files are the entries kFirstLanguageResourceId to kLastLanguageResourceId of the
// packed bundle in RCDATA resource kLanguageResourceType.
inline constexpr int kLanguageResourceType = 135;
inline constexpr int kFirstLanguageResourceId = 136;
inline constexpr int kLastLanguageResourceId = 178;
inline constexpr int kEnglishResourceId = 145;

// The language name used to pick the file: the ISO 639 name, except "zh" in China, which is
// "zh_CN" (simplified characters); every other Chinese user gets traditional characters.
std::wstring LanguageName(std::wstring_view iso639, std::wstring_view iso3166);

// Resource id of the language file for a language name; English (145) when none matches.
int LanguageResourceId(std::wstring_view languageName);

}  // namespace kv::i18n
