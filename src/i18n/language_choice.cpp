#include "i18n/language_choice.h"

#include <array>
#include <utility>

namespace kv::i18n {
namespace {

// Compared in this order, exactly and case-sensitively. Files 145 (English), 166 (Polish),
// 167 (Portuguese) and 168 (English) are selected by no name.
constexpr std::array<std::pair<std::wstring_view, int>, 39> kLanguageFiles{{
    {L"af", 136}, {L"ar", 137}, {L"bg", 138},    {L"bs", 139}, {L"ca", 140}, {L"cs", 141},
    {L"da", 142}, {L"de", 143}, {L"el", 144},    {L"es", 146}, {L"et", 147}, {L"fa", 148},
    {L"fi", 149}, {L"fr", 150}, {L"gl", 151},    {L"he", 152}, {L"hr", 153}, {L"hu", 154},
    {L"hy", 155}, {L"id", 156}, {L"it", 157},    {L"ja", 158}, {L"ka", 159}, {L"ko", 160},
    {L"lt", 161}, {L"lv", 162}, {L"mn", 163},    {L"nl", 164}, {L"no", 165}, {L"ru", 169},
    {L"sk", 170}, {L"sl", 171}, {L"sq", 172},    {L"sr", 173}, {L"sv", 174}, {L"tr", 175},
    {L"uk", 176}, {L"zh", 177}, {L"zh_CN", 178},
}};

}  // namespace

std::wstring LanguageName(std::wstring_view iso639, std::wstring_view iso3166) {
    if (iso639 == L"zh" && iso3166 == L"CN") return L"zh_CN";
    return std::wstring(iso639);
}

int LanguageResourceId(std::wstring_view languageName) {
    for (const auto& [name, id] : kLanguageFiles) {
        if (name == languageName) return id;
    }
    return kEnglishResourceId;
}

}  // namespace kv::i18n
