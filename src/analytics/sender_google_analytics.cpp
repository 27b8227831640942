#include "analytics/sender_google_analytics.h"

#include <windows.h>
#include <objbase.h>

#include <exception>
#include <utility>

#include "analytics/hit_queue.h"
#include "analytics/measurement_query.h"
#include "service/service_hosts.h"
#include "settings/settings_store.h"
#include "win/handles.h"

namespace {

constexpr const wchar_t* kAppName = L"KVPro";

std::wstring NewClientId() {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) return {};
    wchar_t text[260] = {};
    const int length = StringFromGUID2(guid, text, 260);  // "{8-4-4-4-12}" and its zero
    if (length != 39) return {};
    return std::wstring(text + 1, 36);
}

// The locale's value, or empty when it can't be read.
std::string LocaleText(LCID locale, LCTYPE type) {
    char buffer[64] = {};
    if (GetLocaleInfoA(locale, type, buffer, sizeof buffer) == 0) return {};
    return buffer;
}

}  // namespace

SenderGoogleAnalytics::SenderGoogleAnalytics() {
    try {
        trackingId = TrackingId();
        reportsAllowed = ReadSettingDword(kAllowAnonymousReport, 1);
        clientId = GetClientId();  // made and stored even when reports are off
        appName = kAppName;
        for (unsigned char c : GetUserLanguage()) userLanguage += static_cast<wchar_t>(c);
    } catch (const std::exception&) {
        reportsAllowed = 0;  // an incomplete sender sends nothing
    }
}

std::wstring SenderGoogleAnalytics::GetClientId() {
    // Read and create under one lock shared by the user's processes: two first uses at once would
    // otherwise each make an id, and the installation would report as two.
    kv::win::KernelHandle mutex(::CreateMutexW(nullptr, FALSE, kClientIdMutexName));
    const kv::win::MutexLock lock(mutex.Get(), kClientIdLockTimeoutMs);
    if (!lock.Held()) return {};
    std::wstring id = ReadSettingString(kInstallKey, L"");
    if (!id.empty()) return id;
    id = NewClientId();
    // An id that is not stored would be a new one at the next event: better none.
    if (id.empty() || !WriteSettingString(kInstallKey, id.c_str())) return {};
    return id;
}

std::string SenderGoogleAnalytics::GetUserLanguage() {
    const LCID locale = GetUserDefaultLCID();
    return LocaleText(locale, LOCALE_SISO639LANGNAME) + "-" +
           LocaleText(locale, LOCALE_SISO3166CTRYNAME);
}

void SenderGoogleAnalytics::SendEvent(const std::wstring& category, const std::wstring& action,
                                      const std::wstring& label, const std::wstring& value) {
    try {
#if KV_ANALYTICS_GA4
        if (reportsAllowed == 0 || clientId.empty()) return;
        const kv::analytics::HitIdentity identity{AnalyticsHost(), trackingId, clientId, appName,
                                                  userLanguage};
        kv::analytics::QueueHit(
            {kv::analytics::BuildGa4Url(AnalyticsHost(), KV_GA4_MEASUREMENT_ID, KV_GA4_API_SECRET),
             kv::analytics::BuildGa4Body(identity, category, action, label, value)});
#else
        Send(kv::analytics::BuildEventPart(category, action, label, value));
#endif
    } catch (const std::exception&) {
        // the event is lost, silently
    }
}

void SenderGoogleAnalytics::Send(const std::wstring& eventPart) {
    // Without a client id a hit could not be told from any other installation's.
    if (reportsAllowed == 0 || clientId.empty()) return;
    try {
        const kv::analytics::HitIdentity identity{AnalyticsHost(), trackingId, clientId, appName,
                                                  userLanguage};
        kv::analytics::QueueHit({kv::analytics::BuildCollectUrl(identity, eventPart), {}});
    } catch (const std::exception&) {
        // no memory: the event is lost, silently
    }
}
