#pragma once
// Reading the response headers of a WinHTTP request.

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// One response header as text; empty when the header is absent.
std::wstring QueryHeaderText(HINTERNET request, DWORD infoLevel);

// The Content-Length header as a number; 0 when absent or not a number.
int64_t QueryContentLength(HINTERNET request);

// A Content-Range value "bytes FIRST-LAST/TOTAL" (digits only, no unknown total); false for
// anything else, or a range that does not lie inside the total.
struct ContentRange {
    int64_t first = 0, last = 0, total = 0;
};
bool ParseContentRange(std::wstring_view text, ContentRange& range);

// The validator an answer offers for a later If-Range: its ETag when strong, else its
// Last-Modified date; empty when it has neither (a weak ETag W/"..." is no validator).
std::wstring StrongValidator(const std::wstring& etag, const std::wstring& lastModified,
                             bool& isEtag);

// Whether an Accept-Ranges value names byte ranges.
bool AcceptsByteRanges(std::wstring_view acceptRanges);

}  // namespace net
