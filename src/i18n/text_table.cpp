#include "i18n/text_table.h"

#include <cwctype>
#include <vector>

#include "i18n/decimal_text.h"

namespace kv::i18n {
namespace {

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && std::iswspace(s.front())) s.remove_prefix(1);
    while (!s.empty() && std::iswspace(s.back())) s.remove_suffix(1);
    return s;
}

// The pieces between the "=" signs; a last piece counts only when it is not empty, so that a
// single "=" closing a line does no harm.
std::vector<std::wstring_view> SplitAtEquals(std::wstring_view line) {
    std::vector<std::wstring_view> parts;
    size_t start = 0;
    for (size_t eq = line.find(L'='); eq != std::wstring_view::npos; eq = line.find(L'=', start)) {
        parts.push_back(line.substr(start, eq - start));
        start = eq + 1;
    }
    if (start < line.size()) parts.push_back(line.substr(start));
    return parts;
}

enum class LineResult { kEntry, kSkipped, kMalformed };

// `"KEY" = "value";` -> key and value without their quotes (and without the semicolon).
LineResult ParseEntryLine(std::wstring_view line, std::wstring& key, std::wstring& value) {
    const auto parts = SplitAtEquals(line);
    if (parts.size() != 2) return LineResult::kSkipped;
    const std::wstring_view keyPart = Trim(parts[0]);
    const std::wstring_view valuePart = Trim(parts[1]);
    if (keyPart.empty() || valuePart.size() < 2) return LineResult::kMalformed;
    key.assign(keyPart.substr(1, keyPart.size() >= 2 ? keyPart.size() - 2 : 0));
    const std::wstring_view quoted = valuePart.substr(0, valuePart.size() - 2);
    value.assign(quoted.empty() ? quoted : quoted.substr(1));
    return LineResult::kEntry;
}

}  // namespace

bool ParseLanguageText(std::wstring_view text, TextTable& table) {
    std::wstring key, value;
    while (!text.empty()) {
        const size_t lf = text.find(L'\n');
        const std::wstring_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::wstring_view::npos ? text.size() : lf + 1);
        if (line.empty()) continue;
        switch (ParseEntryLine(line, key, value)) {
            case LineResult::kEntry:
                table.try_emplace(key, value);
                break;
            case LineResult::kSkipped:
                break;
            case LineResult::kMalformed:
                return false;
        }
    }
    return true;
}

std::wstring FillPlaceholder(std::wstring_view text, std::wstring_view argument) {
    std::wstring result(text);
    const size_t at = result.find(L"{0}");
    if (at != std::wstring::npos) result.replace(at, 3, argument);
    return result;
}

bool TextCatalog::EnsureLoaded() {
    if (loaded_) return true;
    loaded_ = true;
    if (!loader_ || !loader_(table_)) loaded_ = false;
    return loaded_;
}

std::wstring_view TextCatalog::GetText(std::wstring_view key) {
    if (!EnsureLoaded()) return {};
    const auto it = table_.find(key);
    return it == table_.end() ? std::wstring_view{} : std::wstring_view{it->second};
}

std::wstring TextCatalog::FormatText(std::wstring_view key, std::wstring_view argument) {
    if (!EnsureLoaded()) return {};
    const auto it = table_.find(key);
    return it == table_.end() ? std::wstring{} : FillPlaceholder(it->second, argument);
}

std::wstring TextCatalog::FormatText(std::wstring_view key, int number) {
    return FormatText(key, kv::i18n::DecimalText(number));
}

std::wstring TextCatalog::AllTexts() {
    std::wstring all;
    if (!EnsureLoaded()) return all;
    for (const auto& [key, text] : table_) all.append(text).append(1, L'\n');
    return all;
}

}  // namespace kv::i18n
