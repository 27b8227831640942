#include "i18n/texts.h"

#include <windows.h>

#include <clocale>
#include <cstring>
#include <optional>
#include <string>

#include "i18n/language_choice.h"
#include "i18n/text_direction.h"
#include "i18n/text_table.h"
#include "packed/packed_resource.h"

namespace {

using kv::i18n::TextTable;

std::wstring LocaleInfo(LCTYPE type) {
    wchar_t buffer[5] = {};
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 5)) buffer[0] = L'\0';
    return buffer;
}

int ChooseLanguageResource() {
    // The C runtime follows the user's locale from here on (wide character classes included).
    _wsetlocale(LC_ALL, L"");
    const std::wstring language = LocaleInfo(LOCALE_SISO639LANGNAME);
    const std::wstring country = LocaleInfo(LOCALE_SISO3166CTRYNAME);
    return kv::i18n::LanguageResourceId(kv::i18n::LanguageName(language, country));
}

// The file's bytes as UTF-16; the text also ends at a NUL byte, should one occur.
bool ReadLanguageResource(int id, std::wstring& text) {
    const std::optional<std::string> file =
        kv::packed::LoadPackedResource(kv::i18n::kLanguageResourceType, id);
    if (!file) return false;
    const char* bytes = file->data();
    const int length = static_cast<int>(strnlen(bytes, file->size()));
    if (length == 0) return true;
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
    if (wideLength <= 0) return false;
    text.resize(wideLength);
    return MultiByteToWideChar(CP_UTF8, 0, bytes, length, text.data(), wideLength) == wideLength;
}

bool LoadTextTable(TextTable& table) {
    std::wstring text;
    if (!ReadLanguageResource(ChooseLanguageResource(), text)) return true;  // stays empty
    return kv::i18n::ParseLanguageText(text, table);
}

kv::i18n::TextCatalog& Catalog() {
    static kv::i18n::TextCatalog catalog(LoadTextTable);
    return catalog;
}

}  // namespace

std::wstring_view GetText(std::wstring_view key) {
    return Catalog().GetText(key);
}

std::wstring FormatText(std::wstring_view key, std::wstring_view argument) {
    return Catalog().FormatText(key, argument);
}

std::wstring FormatText(std::wstring_view key, int number) {
    return Catalog().FormatText(key, number);
}

std::wstring AllTexts() {
    return Catalog().AllTexts();
}

bool TextsReadRightToLeft() {
    static const bool rightToLeft = kv::i18n::ReadsRightToLeft(AllTexts());
    return rightToLeft;
}
