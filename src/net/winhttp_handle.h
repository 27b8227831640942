#pragma once
// Owner of one WinHTTP handle (session, connection or request).

#include <windows.h>
#include <winhttp.h>

#include "win/handles.h"

namespace net {

inline void CloseWinHttpHandle(HINTERNET handle) {
    ::WinHttpCloseHandle(handle);
}

using WinHttpHandle = kv::win::UniqueHandle<HINTERNET, CloseWinHttpHandle>;

}  // namespace net
