// The usage events through the newer measurement protocol (the sender built with
// KV_ANALYTICS_PROTOCOL=ga4): the four program events reach the reference service's /mp/collect
// as JSON, in the order they were sent, with the v1 hit's client id and keys.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "analytics/sender_google_analytics.h"
#include "product_key.h"
#include "service/service_hosts.h"
#include "service_client.h"
#include "service_log.h"
#include "settings/settings_store.h"

using kv::test::Narrow;

namespace {
std::wstring g_analyticsHost;
}  // namespace

const wchar_t* PrimaryServerUrl() {
    return L"";
}
const wchar_t* SecondaryServerUrl() {
    return L"";
}
const wchar_t* AnalyticsHost() {
    g_analyticsHost =
        L"127.0.0.1:" + std::to_wstring(service_client::Port(service_client::Server::Primary));
    return g_analyticsHost.c_str();
}
const wchar_t* TrackingId() {
    return L"UA-48213977-7";
}

namespace {

const auto* const g_keyCleanup =
    ::testing::AddGlobalTestEnvironment(new kv::test::ProductKeyCleanup);

TEST(Ga4UsageEvents, ProgramEventsArriveAsJsonInTheOrderSent) {
    ASSERT_TRUE(service_client::Available()) << "run under scripts/with-download-service";
    const std::wstring token = service_client::UniqueToken();
    const std::wstring cid = L"TEST-\"quoted\"-" + token;
    ASSERT_TRUE(WriteSettingString(kInstallKey, cid.c_str()));
    const size_t mark = kv::test::LogMark();

    const std::vector<std::string> actions = {"Started", "Trial", "Paid", "Finished"};
    for (const std::string& action : actions) {
        SenderGoogleAnalytics sender;
        sender.SendEvent(L"Downloader", std::wstring(action.begin(), action.end()), L"", L"");
    }

    const auto hits =
        kv::test::WaitForLogLines(mark, {"/mp/collect", Narrow(token)}, actions.size());
    ASSERT_EQ(hits.size(), actions.size());
    const std::string language = SenderGoogleAnalytics::GetUserLanguage();
    for (size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(kv::test::JsonField(hits[i], "method"), "POST");
        EXPECT_EQ(kv::test::JsonField(hits[i], "target"),
                  "/mp/collect?measurement_id=G-KVTEST0001&api_secret=kv-test-secret");
        EXPECT_EQ(kv::test::JsonField(hits[i], "contentType"), "application/json");
        EXPECT_EQ(kv::test::JsonField(hits[i], "body"),
                  "{\"client_id\":\"TEST-\\\"quoted\\\"-" + Narrow(token) +
                      "\",\"events\":[{\"name\":\"Downloader_" + actions[i] +
                      "\",\"params\":{\"category\":\"Downloader\",\"action\":\"" + actions[i] +
                      "\",\"app_name\":\"KVPro\",\"app_version\":\"7.0\",\"user_language\":\"" +
                      language + "\"}}]}");
    }
}

}  // namespace
