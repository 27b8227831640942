#include "net/proxy_config.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <new>

#include "net/background_threads.h"
#include "net/winhttp_handle.h"

ProxyPlan ResolveSessionProxy() {
    ProxyPlan plan;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        plan.autoProxy = true;
        return plan;
    }
    kv::win::GlobalText scriptUrl(config.lpszAutoConfigUrl);
    kv::win::GlobalText proxyList(config.lpszProxy);
    kv::win::GlobalText bypassList(config.lpszProxyBypass);  // never used, only released

    plan.autoProxy = config.fAutoDetect != FALSE;
    if (scriptUrl) {
        plan.autoProxy = true;
        plan.autoConfigUrl = std::move(scriptUrl);
    }
    // A present but empty list names no proxy; WinHttpOpen would refuse it and fail every
    // exchange, so it counts as no list.
    if (proxyList && proxyList.Get()[0] != L'\0') {
        plan.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        plan.proxyList = proxyList.Get();
    }
    return plan;
}

namespace {

// One lookup, shared by the caller and the thread that runs it: a caller that stops waiting
// leaves the rest to the thread, which frees the state when WinHTTP lets it go.
struct LookupState {
    std::wstring url;
    std::wstring scriptUrl;
    DWORD timeoutMs = 0;
    kv::win::KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Written by the thread before `done` is set; read by the caller only after that.
    bool found = false;
    DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxy;
};

void RunLookup(LookupState& state) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (!state.scriptUrl.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = state.scriptUrl.c_str();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    // Credentials of the user may be sent when the script download is challenged.
    options.fAutoLogonIfChallenged = TRUE;

    net::WinHttpHandle session(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return;
    // Where the system honours them, the script download keeps the exchanges' time-outs.
    const int timeout = static_cast<int>(std::min<DWORD>(state.timeoutMs, INT_MAX));
    ::WinHttpSetTimeouts(session.Get(), timeout, timeout, timeout, timeout);
    WINHTTP_PROXY_INFO info{};
    state.found = ::WinHttpGetProxyForUrl(session.Get(), state.url.c_str(), &options, &info);
    kv::win::GlobalText proxy(info.lpszProxy);
    kv::win::GlobalText bypass(info.lpszProxyBypass);
    state.accessType = info.dwAccessType;
    if (proxy) state.proxy = proxy.Get();
}

DWORD WINAPI LookupThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<LookupState>> state(
        static_cast<std::shared_ptr<LookupState>*>(parameter));
    try {
        RunLookup(**state);
    } catch (const std::exception&) {
        (*state)->found = false;  // out of memory: no proxy from the lookup
    }
    ::SetEvent((*state)->done.Get());
    return 0;
}

// Runs the lookup on a thread of its own and waits for it at most `timeoutMs` (0: no limit),
// or until `cancelEvent` is set. Null when it did not finish in time or could not start.
std::shared_ptr<LookupState> LookUp(std::shared_ptr<LookupState> state, HANDLE cancelEvent) {
    if (!state->done) return nullptr;
    std::unique_ptr<std::shared_ptr<LookupState>> share(new (std::nothrow)
                                                            std::shared_ptr<LookupState>(state));
    if (!share) return nullptr;
    // A lookup given up on runs on until WinHTTP lets it go; the program's exit waits for it.
    if (!net::StartTrackedThread(&LookupThread, share.get())) return nullptr;
    share.release();
    const HANDLE events[] = {state->done.Get(), cancelEvent};
    const DWORD count = cancelEvent != nullptr ? 2 : 1;
    const DWORD waitMs = state->timeoutMs == 0 ? INFINITE : state->timeoutMs;
    if (::WaitForMultipleObjects(count, events, FALSE, waitMs) != WAIT_OBJECT_0) return nullptr;
    return state;
}

}  // namespace

ProxyLookup ApplyRequestProxy(ProxyPlan& plan, const std::wstring& url, DWORD timeoutMs,
                              HANDLE cancelEvent) {
    if (!plan.autoProxy) return ProxyLookup::NotAttempted;

    std::shared_ptr<LookupState> state;
    try {
        state = std::make_shared<LookupState>();
        state->url = url;
        if (plan.autoConfigUrl) state->scriptUrl = plan.autoConfigUrl.Get();
        state->timeoutMs = timeoutMs;
    } catch (const std::exception&) {
        return ProxyLookup::Failed;
    }
    plan.autoConfigUrl.Reset();
    // A script that never answers must not hold the exchange longer than its own time-outs.
    const std::shared_ptr<LookupState> finished = LookUp(std::move(state), cancelEvent);
    if (!finished || !finished->found) return ProxyLookup::Failed;  // the fixed list, or direct

    if (finished->accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !finished->proxy.empty()) {
        plan.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        plan.proxyList = finished->proxy;
    } else {
        plan.accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
        plan.proxyList.clear();
    }
    return ProxyLookup::Applied;
}
