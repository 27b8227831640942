#include "net/installer_downloader.h"

#include "net/proxy_config.h"

bool CInstallerDownloader::PerformRequest(const CancelToken& cancel) {
    // Read anew for every exchange, so a changed system setting applies to the next retry.
    ResetForExchange();
    ProxyPlan plan = ResolveSessionProxy();
    ApplyRequestProxy(plan, TargetUrl(), TimeoutMs(), cancel.Event());
    return RunExchange(plan, cancel);
}
