#pragma once
// Reading the response headers of a WinHTTP request.

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

namespace net {

// One response header as text; empty when the header is absent.
std::wstring QueryHeaderText(HINTERNET request, DWORD infoLevel);

// The Content-Length header as a number; 0 when absent or not a number.
int64_t QueryContentLength(HINTERNET request);

}  // namespace net
