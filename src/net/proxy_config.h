#pragma once
// The current user's system proxy configuration, applied to one HTTP exchange: a fixed proxy
// list for the session, and automatic configuration (script URL or detection) per request.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "win/handles.h"

// What one exchange does about proxies; built anew for every exchange.
struct ProxyPlan {
    bool autoProxy = false;             // resolve a proxy per request with WinHttpGetProxyForUrl
    kv::win::GlobalText autoConfigUrl;  // configuration script URL, or empty
    DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxyList;  // fixed proxy list for WinHttpOpen; empty when there is none
};

// Outcome of the per-request step, for callers that want to know (the exchange never fails on
// it).
enum class ProxyLookup { NotAttempted, Failed, Applied };

// Reads the user's configuration. A failed query turns to automatic detection.
ProxyPlan ResolveSessionProxy();

// With automatic configuration, looks up the proxy for `url` (script or detection) and makes it
// the plan's proxy, replacing the fixed list: a lookup that answers "direct" makes the exchange
// direct. Releases the plan's script URL. Called before the exchange's session is opened, since
// an exchange is one session with one request; the proxy then travels to WinHTTP through
// WinHttpOpen, which every WinHTTP implementation honours, unlike WINHTTP_OPTION_PROXY.
// The lookup runs on a thread of its own and is given up (Failed) after `timeoutMs` (0: no
// limit) or once `cancelEvent` is set, whatever the script download does.
ProxyLookup ApplyRequestProxy(ProxyPlan& plan, const std::wstring& url, DWORD timeoutMs,
                              HANDLE cancelEvent = nullptr);
