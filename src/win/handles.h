#pragma once
// RAII owners for Windows handles: each resource has exactly one owner, which releases it.

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace kv::win {

template <typename H>
constexpr bool IsNonNull(H handle) {
    return handle != H{};
}
inline bool IsValidFileHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Owns one handle of type H, released by Close; `IsValid` tells a handle from "none".
template <typename H, auto Close, auto IsValid = IsNonNull<H>>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(H handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    H Get() const { return handle_; }
    explicit operator bool() const { return IsValid(handle_); }

    // Gives up ownership without releasing.
    H Release() { return std::exchange(handle_, H{}); }

    void Reset(H handle = H{}) {
        if (IsValid(handle_)) Close(handle_);
        handle_ = handle;
    }

  private:
    H handle_ = H{};
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) {
    ::CloseHandle(h);
}
inline void CloseRegistryKey(HKEY k) {
    ::RegCloseKey(k);
}
inline void DeleteGdiObject(HGDIOBJ o) {
    ::DeleteObject(o);
}
inline void DestroyIconHandle(HICON i) {
    ::DestroyIcon(i);
}
inline void DestroyImageList(HIMAGELIST l) {
    ::ImageList_Destroy(l);
}
inline void RemoveMemoryFont(HANDLE f) {
    ::RemoveFontMemResourceEx(f);
}
inline void FreeGlobalText(wchar_t* text) {
    ::GlobalFree(text);
}
}  // namespace detail

// Kernel objects whose "none" is null (threads, mutexes, events, processes).
using KernelHandle = UniqueHandle<HANDLE, detail::CloseKernelHandle>;
// Files, whose "none" is INVALID_HANDLE_VALUE.
using FileHandle = UniqueHandle<HANDLE, detail::CloseKernelHandle, IsValidFileHandle>;
using RegistryKey = UniqueHandle<HKEY, detail::CloseRegistryKey>;
using Font = UniqueHandle<HFONT, detail::DeleteGdiObject>;
using Brush = UniqueHandle<HBRUSH, detail::DeleteGdiObject>;
using Pen = UniqueHandle<HPEN, detail::DeleteGdiObject>;
using Bitmap = UniqueHandle<HBITMAP, detail::DeleteGdiObject>;
using Icon = UniqueHandle<HICON, detail::DestroyIconHandle>;
using ImageList = UniqueHandle<HIMAGELIST, detail::DestroyImageList>;
// Wide strings that a system call allocated with GlobalAlloc and leaves to the caller to free.
using GlobalText = UniqueHandle<wchar_t*, detail::FreeGlobalText>;
// Fonts added to the process's private font table.
using MemoryFont = UniqueHandle<HANDLE, detail::RemoveMemoryFont>;

// A device context of a window, released when it goes out of scope.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint for one WM_PAINT.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { ::EndPaint(window_, &paint_); }
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects a GDI object into a device context for one scope, then puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_) ::SelectObject(dc_, previous_);
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Saves a device context's state for one scope and restores it, whatever the drawing changed.
class SavedDC {
  public:
    explicit SavedDC(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
    SavedDC(const SavedDC&) = delete;
    SavedDC& operator=(const SavedDC&) = delete;
    ~SavedDC() {
        if (saved_) ::RestoreDC(dc_, saved_);
    }

  private:
    HDC dc_;
    int saved_;
};

// A memory device context compatible with another one.
class MemoryDC {
  public:
    explicit MemoryDC(HDC compatibleWith) : dc_(::CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() {
        if (dc_) ::DeleteDC(dc_);
    }
    HDC Get() const { return dc_; }

  private:
    HDC dc_;
};

// Ownership of a mutex for one scope: waits for it up to a time-out and releases it at the end.
// A mutex left behind by a thread that ended while holding it counts as acquired.
class MutexLock {
  public:
    MutexLock(HANDLE mutex, DWORD timeoutMs) : mutex_(mutex) {
        const DWORD waited = mutex ? ::WaitForSingleObject(mutex, timeoutMs) : WAIT_FAILED;
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() {
        if (held_) ::ReleaseMutex(mutex_);
    }
    bool Held() const { return held_; }

  private:
    HANDLE mutex_;
    bool held_ = false;
};

}  // namespace kv::win
