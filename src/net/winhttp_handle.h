#pragma once
// Owner of one WinHTTP handle (session, connection or request).

#include <windows.h>
#include <winhttp.h>

#include "win/handles.h"

namespace net {

struct WinHttpHandleTraits {
    using Type = HINTERNET;
    static Type Empty() { return nullptr; }
    static void Close(Type handle) { ::WinHttpCloseHandle(handle); }
};

using WinHttpHandle = win::UniqueHandle<WinHttpHandleTraits>;

}  // namespace net
