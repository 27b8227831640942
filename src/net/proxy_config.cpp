#include "net/proxy_config.h"

#include "net/winhttp_handle.h"

ProxyPlan ResolveSessionProxy() {
    ProxyPlan plan;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        plan.autoProxy = true;
        return plan;
    }
    win::GlobalText scriptUrl(config.lpszAutoConfigUrl);
    win::GlobalText proxyList(config.lpszProxy);
    win::GlobalText bypassList(config.lpszProxyBypass);  // never used, only released

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

ProxyLookup ApplyRequestProxy(ProxyPlan& plan, const std::wstring& url) {
    if (!plan.autoProxy) return ProxyLookup::NotAttempted;

    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (plan.autoConfigUrl) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = plan.autoConfigUrl.Get();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    // Credentials of the user may be sent when the script download is challenged.
    options.fAutoLogonIfChallenged = TRUE;

    // The lookup blocks in any case; a synchronous session of its own keeps it simple.
    net::WinHttpHandle lookupSession(::WinHttpOpen(
        nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    WINHTTP_PROXY_INFO info{};
    const bool found =
        lookupSession && ::WinHttpGetProxyForUrl(lookupSession.Get(), url.c_str(), &options, &info);
    win::GlobalText proxy(info.lpszProxy);
    win::GlobalText bypass(info.lpszProxyBypass);
    plan.autoConfigUrl.Reset();
    if (!found) return ProxyLookup::Failed;  // the fixed list, or direct, stays in force

    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && proxy && proxy.Get()[0] != L'\0') {
        plan.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        plan.proxyList = proxy.Get();
    } else {
        plan.accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
        plan.proxyList.clear();
    }
    return ProxyLookup::Applied;
}
