#pragma once
// Anonymous usage events (measurement protocol version 1, hit type "event", or, when the build
// sets KV_ANALYTICS_PROTOCOL=ga4, the newer protocol's JSON events). A caller builds a sender on
// the spot, sends one event and drops it; the request goes out on the usage-event worker
// (analytics/hit_queue.h), so the caller never waits for the network, and nothing is read back.

#include <cstdint>
#include <string>

// Guards the read-or-create of the client id across the user's processes.
inline constexpr const wchar_t* kClientIdMutexName = L"Local\\KestrovaProInstallKey";
inline constexpr unsigned long kClientIdLockTimeoutMs = 2000;

class SenderGoogleAnalytics {
  public:
    // Reads the report setting and the client id (creating and storing the id when missing).
    SenderGoogleAnalytics();
    virtual ~SenderGoogleAnalytics() = default;

    // Empty arguments are left out of the hit. Never fails visibly.
    void SendEvent(const std::wstring& category, const std::wstring& action,
                   const std::wstring& label, const std::wstring& value);

    // The event part of a v1 query (starting with "&"): queues one hit unless reports are
    // forbidden or there is no client id.
    void Send(const std::wstring& eventPart);

    // The installation's client id from the settings; a new one (36 upper-case hex digits with
    // hyphens) is made and stored when there is none, under kClientIdMutexName. Empty when no id
    // could be read, made or stored; events are then not sent.
    static std::wstring GetClientId();

    // The user's language and country, such as "en-US"; a part that can't be read stays empty.
    static std::string GetUserLanguage();

  private:
    std::wstring trackingId;
    std::wstring clientId;
    std::wstring appName;
    std::wstring userLanguage;
    uint32_t reportsAllowed = 1;
};
