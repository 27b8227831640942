#pragma once
// Display texts: parsing of language files and the lookup of texts by key. Platform-free; the
// Windows side (texts.cpp) supplies the language file of the user's locale.

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace kv::i18n {

// Key -> display text, ordered by exact (case-sensitive) comparison of the keys.
using TextTable = std::map<std::wstring, std::wstring, std::less<>>;

// Adds the entries of one language file's text to `table` (a key already present keeps its
// value). Returns false when an entry line is malformed; entries before that line stay.
bool ParseLanguageText(std::wstring_view text, TextTable& table);

// `text` with its first "{0}" replaced by `argument`; unchanged when there is none.
std::wstring FillPlaceholder(std::wstring_view text, std::wstring_view argument);

// Lazily loaded texts. The loader runs on the first lookup; when it fails, that lookup yields an
// empty text and the next lookup runs it again. Single-threaded by design: lookups come from
// the user-interface thread only.
class TextCatalog {
  public:
    using Loader = std::function<bool(TextTable&)>;

    explicit TextCatalog(Loader loader) : loader_(std::move(loader)) {}

    // The stored text, or an empty view when the key is missing. Valid as long as the catalog.
    std::wstring_view GetText(std::wstring_view key);
    std::wstring FormatText(std::wstring_view key, std::wstring_view argument);
    std::wstring FormatText(std::wstring_view key, int number);
    // Every text of the table, each followed by a line end (empty when the load failed).
    std::wstring AllTexts();

  private:
    bool EnsureLoaded();

    Loader loader_;
    TextTable table_;
    bool loaded_ = false;
};

}  // namespace kv::i18n
