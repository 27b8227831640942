#include "win/subclassed_window.h"

#include <commctrl.h>

namespace kv::win {

namespace {
// One subclass of this kind per window; its reference data points to the owner, and so does
// this window property, which lets others find the owner from the window.
constexpr UINT_PTR kSubclassId = 1;
constexpr wchar_t kOwnerProperty[] = L"kv.subclassed";
}  // namespace

SubclassedWindow::~SubclassedWindow() {
    Unsubclass();
}

bool SubclassedWindow::Subclass(HWND window) {
    if (window == hwnd_ && hwnd_) return true;
    if (!window || !::IsWindow(window) || FromHandle(window)) return false;
    Unsubclass();
    if (!::SetWindowSubclass(window, Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    if (!::SetPropW(window, kOwnerProperty, this)) {
        ::RemoveWindowSubclass(window, Procedure, kSubclassId);
        return false;
    }
    hwnd_ = window;
    return true;
}

void SubclassedWindow::Unsubclass() {
    if (hwnd_) {
        ::RemovePropW(hwnd_, kOwnerProperty);
        ::RemoveWindowSubclass(hwnd_, Procedure, kSubclassId);
    }
    hwnd_ = nullptr;
}

SubclassedWindow* SubclassedWindow::FromHandle(HWND window) {
    return window ? static_cast<SubclassedWindow*>(::GetPropW(window, kOwnerProperty)) : nullptr;
}

LRESULT SubclassedWindow::CallDefault(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam, UINT_PTR id, DWORD_PTR owner) {
    auto* self = reinterpret_cast<SubclassedWindow*>(owner);
    if (message == WM_NCDESTROY) {
        // The window's last message: the owner lets go before the window is gone.
        self->Unsubclass();
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->OnMessage(message, wParam, lParam, result)) return result;
    return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace kv::win
