#pragma once
// Owners of Win32 resources: every handle the program opens is closed by exactly one of these.

#include <windows.h>

#include <utility>

namespace win {

// A move-only owner of one handle; Traits names the handle type, its empty value and how to
// close it.
template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Empty(); }
    Type Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Type handle = Traits::Empty()) {
        Type old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) Traits::Close(old);
    }

  private:
    Type handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

// CreateFileW reports failure with INVALID_HANDLE_VALUE rather than null.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

// Wide strings that a system call allocated with GlobalAlloc and leaves to the caller to free.
struct GlobalTextTraits {
    using Type = wchar_t*;
    static Type Empty() { return nullptr; }
    static void Close(Type text) { ::GlobalFree(text); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using GlobalText = UniqueHandle<GlobalTextTraits>;

}  // namespace win
