#pragma once
// The stop request of one attempt. Every wait of the attempt (the proxy lookup, the wait for the
// answer, every block of the body) includes its event, so a cancel takes effect wherever the
// attempt is. A token is never reset: a cancel that comes before an exchange starts is seen by
// that exchange, and one cancel is always enough.

#include <windows.h>

#include <atomic>

#include "win/handles.h"

class CancelToken {
  public:
    // A manual-reset event inside; when it can't be made, waits on the token fail at once, so
    // the attempt fails instead of running unstoppable.
    CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    // Idempotent; any thread.
    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }
    // Signalled once cancelled; waits include it.
    HANDLE Event() const { return event_.Get(); }

  private:
    std::atomic<bool> cancelled_{false};
    kv::win::KernelHandle event_;
};
