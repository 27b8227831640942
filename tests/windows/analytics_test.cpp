#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cwctype>
#include <latch>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "analytics/hit_queue.h"
#include "analytics/sender_google_analytics.h"
#include "service/service_hosts.h"
#include "product_key.h"
#include "service_client.h"
#include "service_log.h"
#include "settings/settings_store.h"
#include "win/handles.h"

using kv::test::Narrow;
using kv::test::WaitForLogLines;
using service_client::Server;

// This program's service hosts: the collection endpoint is one port of the reference service,
// chosen per test.
namespace {
Server g_collectServer = Server::Primary;
std::wstring g_analyticsHost;
}  // namespace

const wchar_t* PrimaryServerUrl() {
    return L"";
}
const wchar_t* SecondaryServerUrl() {
    return L"";
}
const wchar_t* AnalyticsHost() {
    g_analyticsHost = L"127.0.0.1:" + std::to_wstring(service_client::Port(g_collectServer));
    return g_analyticsHost.c_str();
}
const wchar_t* TrackingId() {
    return L"UA-48213977-7";
}

namespace {

// Long enough for a few hits on loopback; far below a hit's time-outs.
constexpr unsigned long kIdleWaitMs = 10000;

const auto* const g_keyCleanup =
    ::testing::AddGlobalTestEnvironment(new kv::test::ProductKeyCleanup);

void SendEvent(const std::wstring& category, const std::wstring& action) {
    SenderGoogleAnalytics sender;
    sender.SendEvent(category, action, L"", L"");
}

// The user's language as the system names its locale ("en-US"), found without the product's code.
std::string ExpectedLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"";
    if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return {};
    return Narrow(name);
}

bool IsClientIdShape(const std::wstring& id) {
    if (id.size() != 36) return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        const wchar_t c = id[i];
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
        if (hyphen ? c != L'-' : !hex) return false;
    }
    return true;
}

// Each test reports under a client id of its own, so its hits are told apart in the log.
class UsageEvents : public kv::test::ServiceTest {
  protected:
    void SetUp() override {
        RemoveValues();
        g_collectServer = Server::Primary;
        cid = L"TEST-" + service_client::UniqueToken();
        ServiceTest::SetUp();
    }
    void TearDown() override {
        ServiceTest::TearDown();
        RemoveValues();
    }
    void RemoveValues() {
        key.Remove(kAllowAnonymousReport);
        key.Remove(kInstallKey);
    }
    void UseClientId(const std::wstring& id) { WriteSettingString(kInstallKey, id.c_str()); }
    std::vector<std::string> WaitForHits(const std::wstring& clientId, size_t count,
                                         std::vector<std::string> parts = {}) {
        parts.push_back("\"cid\":\"" + Narrow(clientId) + "\"");
        return WaitForLogLines(mark, parts, count);
    }
    std::string IdentityKeys(const std::wstring& clientId) const {
        return "/collect?v=1&tid=UA-48213977-7&cid=" + Narrow(clientId) +
               "&an=KVPro&ul=" + ExpectedLanguage();
    }

    kv::test::ProductKey key;
    std::wstring cid;
};

TEST_F(UsageEvents, ProgramEventsArriveWithTheirKeysInTheOrderSent) {
    UseClientId(cid);  // AllowAnonymousReport absent: reports are allowed
    const std::vector<std::wstring> actions = {L"Started", L"Trial", L"Paid", L"Finished"};
    for (const std::wstring& action : actions) SendEvent(L"Downloader", action);

    // One worker sends them one after another: the log holds them in the order they were sent.
    const auto hits = WaitForHits(cid, actions.size());
    ASSERT_EQ(hits.size(), actions.size());
    EXPECT_EQ(SenderGoogleAnalytics::GetUserLanguage(), ExpectedLanguage());
    for (size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(kv::test::JsonField(hits[i], "target"),
                  IdentityKeys(cid) + "&av=7.0&t=event&ec=Downloader&ea=" + Narrow(actions[i]));
    }
}

TEST_F(UsageEvents, ForbiddenReportsSendNothingYetTheClientIdIsStored) {
    key.SetDword(kAllowAnonymousReport, 0);
    SendEvent(L"Forbidden", L"Off");
    const std::wstring stored = ReadSettingString(kInstallKey, L"");
    EXPECT_TRUE(IsClientIdShape(stored)) << Narrow(stored);

    // Once the worker is idle, every hit it was given has been answered, so logged.
    ASSERT_TRUE(kv::analytics::WaitForUsageEvents(kIdleWaitMs));
    EXPECT_TRUE(kv::test::LogLinesSinceWith(mark, {"\"ea\":\"Off\""}).empty());
}

TEST_F(UsageEvents, FirstSenderStoresTheClientIdAndTheNextSendsTheSame) {
    SendEvent(L"Downloader", L"First");
    const std::wstring stored = ReadSettingString(kInstallKey, L"");
    ASSERT_TRUE(IsClientIdShape(stored)) << Narrow(stored);
    kv::test::RawValue raw;
    ASSERT_TRUE(key.Get(kInstallKey, raw));
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));

    SendEvent(L"Downloader", L"Second");
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), stored);
    EXPECT_EQ(WaitForHits(stored, 2).size(), 2u);
}

TEST_F(UsageEvents, FirstUsesAtOnceAgreeOnOneClientId) {
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<std::wstring> ids(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&start, &ids, i] {
            start.arrive_and_wait();
            ids[i] = SenderGoogleAnalytics::GetClientId();
        });
    }
    for (auto& thread : threads) thread.join();
    const std::wstring stored = ReadSettingString(kInstallKey, L"");
    ASSERT_TRUE(IsClientIdShape(stored)) << Narrow(stored);
    for (const std::wstring& id : ids) EXPECT_EQ(id, stored);
}

TEST_F(UsageEvents, NoClientIdMeansTheEventIsNotSent) {
    // Another process holding the client-id lock past the wait: no id can be made.
    std::binary_semaphore held(0);
    std::binary_semaphore release(0);
    std::thread holder([&held, &release] {
        kv::win::KernelHandle mutex(::CreateMutexW(nullptr, FALSE, kClientIdMutexName));
        const kv::win::MutexLock lock(mutex.Get(), INFINITE);
        held.release();
        release.acquire();
    });
    held.acquire();
    EXPECT_EQ(SenderGoogleAnalytics::GetClientId(), L"");
    SendEvent(L"Locked", L"Out");
    release.release();
    holder.join();
    EXPECT_EQ(ReadSettingString(kInstallKey, L"missing"), L"missing");

    ASSERT_TRUE(kv::analytics::WaitForUsageEvents(kIdleWaitMs));
    EXPECT_TRUE(kv::test::LogLinesSinceWith(mark, {"\"ea\":\"Out\""}).empty());
}

TEST_F(UsageEvents, EmptyCategoryLeavesOutItsKey) {
    UseClientId(cid);
    SendEvent(L"", L"Alone");
    const auto hits = WaitForHits(cid, 1);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(kv::test::JsonField(hits[0], "target"),
              IdentityKeys(cid) + "&av=7.0&t=event&ea=Alone");
}

TEST_F(UsageEvents, ReservedCharactersInValuesArriveIntactAsOneValue) {
    UseClientId(L"damaged&t=pageview id");  // as a broken registry value might hold
    SenderGoogleAnalytics sender;
    sender.SendEvent(L"Tom & Jerry", L"x=1&ec=other", L"50% off #1+2", L"");

    const auto hits = WaitForLogLines(mark, {"\"cid\":\"damaged&t=pageview id\""}, 1);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NE(hits[0].find("\"cid\":\"damaged&t=pageview id\",\"an\":\"KVPro\""), std::string::npos)
        << hits[0];
    EXPECT_NE(hits[0].find("\"t\":\"event\",\"ec\":\"Tom & Jerry\",\"ea\":\"x=1&ec=other\","
                           "\"el\":\"50% off #1+2\"}"),
              std::string::npos)
        << hits[0];
}

TEST_F(UsageEvents, EventsInQuickSuccessionDoNotWaitForTheAnswer) {
    // The collection endpoint takes the requests but never answers them.
    g_collectServer = Server::Secondary;
    ASSERT_TRUE(service_client::Control(L"port=secondary&noheaders=1"));
    UseClientId(cid);

    using Clock = std::chrono::steady_clock;
    for (int i = 1; i <= 4; ++i) {
        const auto start = Clock::now();
        SendEvent(L"Quick", L"Event" + std::to_wstring(i));
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        // An exchange that was waited for would take its whole 10-second time-out.
        EXPECT_LT(took.count(), 3000) << "event " << i;
    }
    EXPECT_EQ(WaitForHits(cid, 4, {"\"ec\":\"Quick\""}).size(), 4u);
}

}  // namespace
