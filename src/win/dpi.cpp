#include "win/dpi.h"

#include "win/handles.h"

namespace kv::win {

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

GetDpiForWindowFunction SystemGetDpiForWindow() {
    static const auto function = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return function;
}

}  // namespace

int WindowDpi(HWND window) {
    if (const GetDpiForWindowFunction getDpi = SystemGetDpiForWindow(); getDpi && window) {
        if (const UINT dpi = getDpi(window); dpi != 0) return static_cast<int>(dpi);
    }
    WindowDC dc(window);
    const int dpi = dc.Get() ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

}  // namespace kv::win
