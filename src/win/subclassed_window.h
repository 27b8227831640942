#pragma once
// The owner of one existing window's subclassing through the common controls' subclass chain:
// messages reach the derived class first, and whatever it leaves goes on down the chain. The
// subclass is removed when the owner ends or the window is destroyed, whichever comes first.

#include <windows.h>

namespace kv::win {

class SubclassedWindow {
  public:
    SubclassedWindow() = default;
    // The window holds a pointer to its owner: the owner stays where it is.
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;
    virtual ~SubclassedWindow();

    // Takes over `window`, giving up any window owned before. Fails for no window and for a
    // window that another owner of this kind has already taken.
    bool Subclass(HWND window);
    void Unsubclass();

    HWND Hwnd() const { return hwnd_; }
    // The owner of a window taken over by this class, or null.
    static SubclassedWindow* FromHandle(HWND window);

  protected:
    // One message of the window. Return true when handled, with `result` as the message's result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return false;
    }
    // The handling of the rest of the chain (the window's own procedure at its end).
    LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam) const;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR owner);

    HWND hwnd_ = nullptr;
};

}  // namespace kv::win
