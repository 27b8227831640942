#include "net/response_headers.h"

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

}  // namespace net
