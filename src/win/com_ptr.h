#pragma once
// Owner of one COM interface pointer.

#include <unknwn.h>

#include <utility>

namespace kv::win {

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ~ComPtr() { Reset(); }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For functions that hand out a new reference through an out argument.
    T** Put() {
        Reset();
        return &ptr_;
    }
    void Reset() {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }

  private:
    T* ptr_ = nullptr;
};

}  // namespace kv::win
