#include "net/proxy_config.h"

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

ProxyLookup ApplyRequestProxy(ProxyPlan& plan, HINTERNET session, HINTERNET request,
                              const std::wstring& url) {
    if (!plan.autoProxy) return ProxyLookup::NotAttempted;

    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (plan.autoConfigUrl) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = plan.autoConfigUrl.Get();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;

    WINHTTP_PROXY_INFO info{};
    const bool found = ::WinHttpGetProxyForUrl(session, url.c_str(), &options, &info) != FALSE;
    win::GlobalText proxy(info.lpszProxy);
    win::GlobalText bypass(info.lpszProxyBypass);
    if (found) ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info);
    plan.autoConfigUrl.Reset();
    return found ? ProxyLookup::Applied : ProxyLookup::Failed;
}
