#include "net/response_headers.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <limits>

namespace net {

std::wstring QueryHeaderText(HINTERNET request, DWORD infoLevel) {
    DWORD size = 0;
    ::WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX,
                          WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                               &capacity, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(std::wcslen(text.c_str()));
    return text;
}

int64_t QueryContentLength(HINTERNET request) {
    const std::wstring text = QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH);
    // Decimal, with leading white space and a sign; stops at the first non-digit. Saturates
    // instead of overflowing, so an absurd length stays recognisably absurd.
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    int64_t value = 0;
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const int digit = text[i] - L'0';
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    return negative ? -value : value;
}

namespace {

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && std::iswspace(text.front())) text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back())) text.remove_suffix(1);
    return text;
}

// Reads the digits at the start of `text` (at least one, at most 18) and drops them.
bool TakeNumber(std::wstring_view& text, int64_t& value) {
    size_t count = 0;
    value = 0;
    while (count < text.size() && text[count] >= L'0' && text[count] <= L'9') {
        if (count == 18) return false;
        value = value * 10 + (text[count] - L'0');
        ++count;
    }
    text.remove_prefix(count);
    return count > 0;
}

bool TakeChar(std::wstring_view& text, wchar_t c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

bool ParseContentRange(std::wstring_view text, ContentRange& range) {
    text = Trimmed(text);
    constexpr std::wstring_view kUnit = L"bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) return false;
    text.remove_prefix(kUnit.size());
    ContentRange parsed;
    if (!TakeNumber(text, parsed.first) || !TakeChar(text, L'-') ||
        !TakeNumber(text, parsed.last) || !TakeChar(text, L'/') ||
        !TakeNumber(text, parsed.total) || !text.empty()) {
        return false;
    }
    if (parsed.first > parsed.last || parsed.last >= parsed.total) return false;
    range = parsed;
    return true;
}

std::wstring StrongValidator(const std::wstring& etag, const std::wstring& lastModified,
                             bool& isEtag) {
    const std::wstring_view tag = Trimmed(etag);
    // A strong entity tag is a quoted string; W/ marks a weak one, which If-Range must not use.
    if (tag.size() >= 2 && tag.front() == L'"' && tag.back() == L'"') {
        isEtag = true;
        return std::wstring(tag);
    }
    isEtag = false;
    return std::wstring(Trimmed(lastModified));
}

bool AcceptsByteRanges(std::wstring_view acceptRanges) {
    // A list of range units; "bytes" must be one of them.
    size_t start = 0;
    while (start <= acceptRanges.size()) {
        const size_t comma = std::min(acceptRanges.find(L',', start), acceptRanges.size());
        std::wstring_view unit = Trimmed(acceptRanges.substr(start, comma - start));
        if (unit.size() == 5) {
            std::wstring lower(unit);
            for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
            if (lower == L"bytes") return true;
        }
        start = comma + 1;
    }
    return false;
}

}  // namespace net
