#pragma once
// A small dialog layer: modal and child dialogs built from dialog templates, with messages
// (registered ones included) dispatched to the derived class, controls bound by id and timers.

#include <windows.h>

#include <string_view>

namespace kv::win {

// A child control of a dialog, bound by id. Does not own the window: the dialog does.
class Control {
  public:
    void Attach(HWND window) { hwnd_ = window; }
    HWND Hwnd() const { return hwnd_; }
    bool Exists() const { return hwnd_ && ::IsWindow(hwnd_); }

    void SetText(std::wstring_view text) const;
    void Show(bool visible) const;
    void SetFont(HFONT font, bool redraw = true) const;

  private:
    HWND hwnd_ = nullptr;
};

class Dialog {
  public:
    explicit Dialog(UINT templateId) : templateId_(templateId) {}
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    // Runs the dialog modally as a top-level window; returns the value given to EndDialog.
    INT_PTR DoModal(HWND owner = nullptr);
    // Creates the dialog as a (modeless) child of `parent`.
    bool Create(HWND parent);
    void DestroyWindow();

    // The dialog object behind a window of this layer, or null for any other window.
    static Dialog* FromHandle(HWND window);

    HWND Hwnd() const { return hwnd_; }
    bool HasWindow() const { return hwnd_ && ::IsWindow(hwnd_); }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    void Show(int command) const { ::ShowWindow(hwnd_, command); }
    void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
    UINT_PTR StartTimer(UINT_PTR id, UINT periodMs) {
        return ::SetTimer(hwnd_, id, periodMs, nullptr);
    }
    bool StopTimer(UINT_PTR id) { return ::KillTimer(hwnd_, id) != FALSE; }

  protected:
    // Binds member controls to their windows; runs before OnInitDialog at every creation.
    virtual void BindControls() {}
    // WM_INITDIALOG; the result tells the system whether to set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Every other message. Return true when handled, with `result` as the message's result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return false;
    }
    void Bind(Control& control, int id) { control.Attach(Item(id)); }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND hwnd_ = nullptr;
};

}  // namespace kv::win
