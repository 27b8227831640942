#pragma once
// Threads, locks and condition variables straight from the system: std::thread and its kin bring
// a pthread layer and the error machinery of <system_error> into the program for the same work.

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

#include "win/handles.h"

namespace kv::win {

// One thread, joined when the object goes (or earlier by Join).
class Thread {
  public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    Thread(Thread&&) noexcept = default;
    Thread& operator=(Thread&& other) noexcept {
        Join();
        handle_ = std::move(other.handle_);
        return *this;
    }
    ~Thread() { Join(); }

    // Runs `body` on a new thread; false when none could start (or no memory for `body`), in
    // which case `body` never runs. Only when no thread is running.
    template <typename Body>
    bool Start(Body body) {
        auto* task = new (std::nothrow) Task<Body>(std::move(body));
        if (!task) return false;
        handle_.Reset(::CreateThread(nullptr, 0, &Entry, task, 0, nullptr));
        if (handle_) return true;
        delete task;
        return false;
    }

    bool Running() const { return static_cast<bool>(handle_); }

    void Join() {
        if (!handle_) return;
        ::WaitForSingleObject(handle_.Get(), INFINITE);
        handle_.Reset();
    }

  private:
    struct TaskBase {
        virtual ~TaskBase() = default;
        virtual void Run() = 0;
    };
    template <typename Body>
    struct Task final : TaskBase {
        explicit Task(Body b) : body(std::move(b)) {}
        void Run() override { body(); }
        Body body;
    };

    // An exception leaving the body ends the program, as it would on a std::thread.
    static DWORD WINAPI Entry(void* parameter) noexcept {
        std::unique_ptr<TaskBase> task(static_cast<TaskBase*>(parameter));
        task->Run();
        return 0;
    }

    KernelHandle handle_;
};

// An exclusive lock; needs no cleaning up.
class SrwLock {
  public:
    SrwLock() = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;

  private:
    friend class ScopedLock;
    friend class ConditionVariable;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

// Holds `lock` from construction to destruction, except between Unlock and Relock.
class ScopedLock {
  public:
    explicit ScopedLock(SrwLock& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_.lock_); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
    ~ScopedLock() {
        if (held_) ::ReleaseSRWLockExclusive(&lock_.lock_);
    }

    void Unlock() {
        ::ReleaseSRWLockExclusive(&lock_.lock_);
        held_ = false;
    }
    void Relock() {
        ::AcquireSRWLockExclusive(&lock_.lock_);
        held_ = true;
    }

  private:
    friend class ConditionVariable;
    SrwLock& lock_;
    bool held_ = true;
};

class ConditionVariable {
  public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // Until `ready()` holds; `held` is held around each call of it.
    template <typename Ready>
    void Wait(ScopedLock& held, Ready ready) {
        while (!ready()) ::SleepConditionVariableSRW(&variable_, &held.lock_.lock_, INFINITE, 0);
    }

    // As Wait, but gives up after `timeoutMs`; returns `ready()`.
    template <typename Ready>
    bool WaitFor(ScopedLock& held, unsigned long timeoutMs, Ready ready) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (!ready()) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline) return false;
            ::SleepConditionVariableSRW(&variable_, &held.lock_.lock_,
                                        static_cast<DWORD>(deadline - now), 0);
        }
        return true;
    }

    void NotifyAll() { ::WakeAllConditionVariable(&variable_); }

  private:
    CONDITION_VARIABLE variable_ = CONDITION_VARIABLE_INIT;
};

}  // namespace kv::win
