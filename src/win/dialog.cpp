#include "win/dialog.h"

#include <string>

namespace kv::win {

void Control::SetText(std::wstring_view text) const {
    // The view need not be zero-terminated.
    ::SetWindowTextW(hwnd_, std::wstring(text).c_str());
}

void Control::Show(bool visible) const {
    ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void Control::SetFont(HFONT font, bool redraw) const {
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

namespace {
// Marks the windows of this layer, so that a foreign window is never taken for one of ours.
constexpr wchar_t kDialogProperty[] = L"kv.dialog";
}  // namespace

Dialog::~Dialog() {
    DestroyWindow();
}

Dialog* Dialog::FromHandle(HWND window) {
    return window ? static_cast<Dialog*>(::GetPropW(window, kDialogProperty)) : nullptr;
}

INT_PTR Dialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                                DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::DestroyWindow() {
    if (HasWindow()) ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        ::SetPropW(window, kDialogProperty, self);
        self->hwnd_ = window;
        self->BindControls();
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        ::RemovePropW(window, kDialogProperty);
        if (self->hwnd_ == window) self->hwnd_ = nullptr;
        return FALSE;
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnMessage(message, wParam, lParam, result)) return FALSE;
    switch (message) {
        // These answer through the procedure's return value rather than DWLP_MSGRESULT.
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
    }
}

}  // namespace kv::win
