#include "analytics/hit_queue.h"

#include <windows.h>
#include <winhttp.h>

#include <deque>
#include <exception>

#include "net/proxy_config.h"
#include "net/winhttp_handle.h"
#include "win/threads.h"

namespace kv::analytics {
namespace {

// Every phase of a hit's exchange (proxy lookup, resolve, connect, send, wait for the answer).
// A hit is a few hundred bytes: a slow endpoint loses it rather than holding up the program's end.
constexpr DWORD kHitTimeoutMs = 3000;

// One exchange; the answer is not read: its status and body are of no interest.
void PerformHit(const Hit& hit) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(hit.url.c_str(), 0, 0, &parts)) return;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    ProxyPlan plan = ResolveSessionProxy();
    ApplyRequestProxy(plan, hit.url, kHitTimeoutMs);
    net::WinHttpHandle session(
        ::WinHttpOpen(L"KVPro", plan.accessType,
                      plan.proxyList.empty() ? WINHTTP_NO_PROXY_NAME : plan.proxyList.c_str(),
                      WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return;
    ::WinHttpSetTimeouts(session.Get(), kHitTimeoutMs, kHitTimeoutMs, kHitTimeoutMs, kHitTimeoutMs);
    net::WinHttpHandle connection(::WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
    if (!connection) return;
    const bool post = !hit.jsonBody.empty();
    net::WinHttpHandle request(::WinHttpOpenRequest(connection.Get(), post ? L"POST" : L"GET",
                                                    object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                    WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request) return;
    // The wait for the answer's headers has a time-out of its own (90 s unless set).
    DWORD timeout = kHitTimeoutMs;
    ::WinHttpSetOption(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout,
                       sizeof timeout);
    const wchar_t* headers =
        post ? L"Content-Type: application/json\r\n" : WINHTTP_NO_ADDITIONAL_HEADERS;
    const DWORD length = static_cast<DWORD>(hit.jsonBody.size());
    if (::WinHttpSendRequest(request.Get(), headers, static_cast<DWORD>(-1L),
                             const_cast<char*>(hit.jsonBody.data()), length, length, 0)) {
        ::WinHttpReceiveResponse(request.Get(), nullptr);
    }
}

class HitQueue {
  public:
    ~HitQueue() { Stop(0); }  // a test program that never stopped it

    // False when stopped, or when no thread could start: the hit is lost.
    bool Push(Hit hit) {
        kv::win::ScopedLock lock(mutex_);
        if (stopped_) return false;
        if (!worker_.Running() && !worker_.Start([this] { Run(); })) return false;
        pending_.push_back(std::move(hit));
        changed_.NotifyAll();
        return true;
    }

    bool WaitIdle(unsigned long timeoutMs) {
        kv::win::ScopedLock lock(mutex_);
        return changed_.WaitFor(lock, timeoutMs, [this] { return pending_.empty() && !busy_; });
    }

    void Stop(unsigned long timeoutMs) {
        WaitIdle(timeoutMs);
        kv::win::Thread worker;
        {
            kv::win::ScopedLock lock(mutex_);
            stopped_ = true;
            pending_.clear();
            changed_.NotifyAll();
            worker = std::move(worker_);
        }
        worker.Join();
    }

  private:
    void Run() {
        kv::win::ScopedLock lock(mutex_);
        for (;;) {
            changed_.Wait(lock, [this] { return stopped_ || !pending_.empty(); });
            if (stopped_) return;
            const Hit hit = std::move(pending_.front());
            pending_.pop_front();
            busy_ = true;
            lock.Unlock();
            try {
                PerformHit(hit);
            } catch (const std::exception&) {
                // no memory for the exchange: the hit is lost
            }
            lock.Relock();
            busy_ = false;
            changed_.NotifyAll();
        }
    }

    kv::win::SrwLock mutex_;
    kv::win::ConditionVariable changed_;
    std::deque<Hit> pending_;
    bool busy_ = false;
    bool stopped_ = false;
    kv::win::Thread worker_;
};

HitQueue& Queue() {
    static HitQueue queue;
    return queue;
}

}  // namespace

bool QueueHit(Hit hit) {
    try {
        return Queue().Push(std::move(hit));
    } catch (const std::exception&) {
        return false;  // no memory or no thread: the hit is lost
    }
}

bool WaitForUsageEvents(unsigned long timeoutMs) {
    return Queue().WaitIdle(timeoutMs);
}

void StopUsageEvents(unsigned long timeoutMs) {
    Queue().Stop(timeoutMs);
}

}  // namespace kv::analytics
