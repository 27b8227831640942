#include "net/background_threads.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <vector>

#include "win/handles.h"
#include "win/threads.h"

namespace net {
namespace {

struct Registry {
    kv::win::SrwLock mutex;
    std::vector<kv::win::KernelHandle> threads;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool Ended(const kv::win::KernelHandle& thread) {
    return ::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
}

// Forgets the threads that have ended; the caller holds the lock.
void Prune(std::vector<kv::win::KernelHandle>& threads) {
    threads.erase(std::remove_if(threads.begin(), threads.end(), Ended), threads.end());
}

}  // namespace

bool StartTrackedThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    Registry& registry = TheRegistry();
    kv::win::ScopedLock lock(registry.mutex);
    Prune(registry.threads);
    try {
        registry.threads.reserve(registry.threads.size() + 1);  // so that the thread is recorded
    } catch (const std::bad_alloc&) {
        return false;
    }
    kv::win::KernelHandle thread(::CreateThread(nullptr, 0, routine, parameter, 0, nullptr));
    if (!thread) return false;
    registry.threads.push_back(std::move(thread));
    return true;
}

size_t RunningTrackedThreads() {
    Registry& registry = TheRegistry();
    kv::win::ScopedLock lock(registry.mutex);
    Prune(registry.threads);
    return registry.threads.size();
}

bool JoinTrackedThreads(DWORD timeoutMs) {
    Registry& registry = TheRegistry();
    std::vector<kv::win::KernelHandle> waiting;
    {
        // Waited for outside the lock, so that a thread may still be started meanwhile.
        kv::win::ScopedLock lock(registry.mutex);
        waiting.swap(registry.threads);
    }
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (const kv::win::KernelHandle& thread : waiting) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        ::WaitForSingleObject(thread.Get(), left);
    }
    kv::win::ScopedLock lock(registry.mutex);
    Prune(waiting);
    Prune(registry.threads);
    const bool allEnded = waiting.empty() && registry.threads.empty();
    if (registry.threads.empty()) {
        registry.threads.swap(waiting);
    } else {
        try {
            std::move(waiting.begin(), waiting.end(), std::back_inserter(registry.threads));
        } catch (const std::bad_alloc&) {
            // out of memory: the threads still waited for run on unrecorded
        }
    }
    return allEnded;
}

}  // namespace net
