#pragma once
// The stream's worker thread and its lock: the system's own on Windows (see win/threads.h), the
// standard library's in the native build, behind one set of names.

#ifdef _WIN32

#include "win/threads.h"

namespace kv::worker {
using Thread = kv::win::Thread;
using Mutex = kv::win::SrwLock;
using Lock = kv::win::ScopedLock;
using ConditionVariable = kv::win::ConditionVariable;
}  // namespace kv::worker

#else

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace kv::worker {

class Thread {
  public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread() { Join(); }

    // Runs `body` on a new thread; false when none could start.
    template <typename Body>
    bool Start(Body body) {
        try {
            thread_ = std::thread(std::move(body));
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }
    bool Running() const { return thread_.joinable(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

using Mutex = std::mutex;

class Lock {
  public:
    explicit Lock(Mutex& mutex) : lock_(mutex) {}
    void Unlock() { lock_.unlock(); }
    void Relock() { lock_.lock(); }

  private:
    friend class ConditionVariable;
    std::unique_lock<std::mutex> lock_;
};

class ConditionVariable {
  public:
    template <typename Ready>
    void Wait(Lock& held, Ready ready) {
        variable_.wait(held.lock_, std::move(ready));
    }
    void NotifyAll() { variable_.notify_all(); }

  private:
    std::condition_variable variable_;
};

}  // namespace kv::worker

#endif
