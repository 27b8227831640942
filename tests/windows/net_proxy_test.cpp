// The current user's proxy settings as Windows keeps them (Internet Settings, Connections,
// DefaultConnectionSettings), applied to real exchanges through the service's proxy mode.

// winsock2.h before anything that includes windows.h.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/installer_downloader.h"
#include "net/proxy_config.h"
#include "service_client.h"
#include "service_log.h"

namespace {

using service_client::Server;
using service_client::Url;

constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kSettingsValue[] = L"DefaultConnectionSettings";

// Flags of the settings record.
constexpr uint32_t kDirect = 1, kFixedProxy = 2, kScript = 4, kAutoDetect = 8;

// Replaces the user's proxy settings for one test and puts the old ones back afterwards.
class ProxySettings {
  public:
    ProxySettings(uint32_t flags, const std::string& proxy, const std::string& script) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
        DWORD size = 0;
        if (RegQueryValueExW(key_, kSettingsValue, nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            saved_.emplace(size);
            RegQueryValueExW(key_, kSettingsValue, nullptr, nullptr, saved_->data(), &size);
        }
        const std::vector<BYTE> record = Record(flags, proxy, script);
        written_ = RegSetValueExW(key_, kSettingsValue, 0, REG_BINARY, record.data(),
                                  static_cast<DWORD>(record.size())) == ERROR_SUCCESS;
    }
    ~ProxySettings() {
        if (saved_) {
            RegSetValueExW(key_, kSettingsValue, 0, REG_BINARY, saved_->data(),
                           static_cast<DWORD>(saved_->size()));
        } else {
            RegDeleteValueW(key_, kSettingsValue);
        }
        RegCloseKey(key_);
    }
    bool Written() const { return written_; }

  private:
    static void Append(std::vector<BYTE>& out, uint32_t value) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
    static void Append(std::vector<BYTE>& out, const std::string& text) {
        Append(out, static_cast<uint32_t>(text.size()));
        out.insert(out.end(), text.begin(), text.end());
    }
    // Version 0x46, change counter, flags, proxy list, bypass list, script URL, then room for
    // the detection data Windows keeps there.
    static std::vector<BYTE> Record(uint32_t flags, const std::string& proxy,
                                    const std::string& script) {
        std::vector<BYTE> out;
        Append(out, uint32_t{0x46});
        Append(out, uint32_t{1});
        Append(out, flags);
        Append(out, proxy);
        Append(out, std::string());
        Append(out, script);
        out.resize(out.size() + 32, 0);
        return out;
    }

    HKEY key_ = nullptr;
    std::optional<std::vector<BYTE>> saved_;
    bool written_ = false;
};

// The stored settings record, or nothing when there is none.
std::optional<std::vector<BYTE>> StoredSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::vector<BYTE>> value;
    DWORD size = 0;
    if (RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        value.emplace(size);
        if (RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, value->data(), &size) !=
            ERROR_SUCCESS) {
            value.reset();
        }
    }
    RegCloseKey(key);
    return value;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::string ProxyAddress() {
    return "127.0.0.1:" + std::to_string(service_client::Port(Server::Secondary));
}

class ProxyTest : public kv::test::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        tag_ = Narrow(service_client::UniqueToken());
    }
    // Downloads a small body from the primary server; true when it arrived.
    bool Fetch() {
        CInstallerDownloader downloader;
        return downloader.Download(Url(L"/blob/10?tag=" + std::wstring(tag_.begin(), tag_.end())),
                                   L"", nullptr) &&
               downloader.ReceivedBytes() == 10;
    }
    size_t ProxiedRequests() {
        return kv::test::LogLinesSinceWith(0, {"tag=" + tag_, "\"via_proxy\":true"}).size();
    }
    size_t AllRequests() { return kv::test::LogLinesSinceWith(0, {"tag=" + tag_}).size(); }

    std::string tag_;
};

TEST_F(ProxyTest, WithoutConfigurationTheRequestGoesDirectWithoutLookup) {
    ProxySettings settings(kDirect, "", "");
    ASSERT_TRUE(settings.Written());
    ProxyPlan plan = ResolveSessionProxy();
    EXPECT_FALSE(plan.autoProxy);
    EXPECT_FALSE(plan.autoConfigUrl);
    EXPECT_EQ(plan.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
    EXPECT_TRUE(plan.proxyList.empty());
    EXPECT_EQ(ApplyRequestProxy(plan, L"http://127.0.0.1/", 1000), ProxyLookup::NotAttempted);

    ASSERT_TRUE(Fetch());
    EXPECT_EQ(AllRequests(), 1u);
    EXPECT_EQ(ProxiedRequests(), 0u);
}

TEST_F(ProxyTest, FixedProxyListCarriesTheExchange) {
    ProxySettings settings(kDirect | kFixedProxy, ProxyAddress(), "");
    ASSERT_TRUE(settings.Written());
    ProxyPlan plan = ResolveSessionProxy();
    EXPECT_FALSE(plan.autoProxy);
    EXPECT_EQ(plan.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
    EXPECT_EQ(Narrow(plan.proxyList), ProxyAddress());

    ASSERT_TRUE(Fetch());
    EXPECT_EQ(ProxiedRequests(), 1u);
}

TEST_F(ProxyTest, ConfigurationScriptIsResolvedForTheRequest) {
    // Scripts may be cached by their URL, so every script URL here is new.
    const std::string script = Narrow(Url(L"/proxy.pac?proxy=")) + ProxyAddress() + "&n=" + tag_;
    ProxySettings settings(kDirect | kScript, "", script);
    ASSERT_TRUE(settings.Written());
    ProxyPlan plan = ResolveSessionProxy();
    EXPECT_TRUE(plan.autoProxy);
    ASSERT_TRUE(plan.autoConfigUrl);
    EXPECT_EQ(Narrow(plan.autoConfigUrl.Get()), script);

    ASSERT_TRUE(Fetch());
    EXPECT_EQ(ProxiedRequests(), 1u);
    // WinHTTP may send a request again when the pooled connection it reused turns out closed;
    // the script then arrives twice. Fetched at all, and never more than that, is what counts.
    const size_t scriptFetches = kv::test::LogLinesSinceWith(0, {"/proxy.pac", "n=" + tag_}).size();
    EXPECT_GE(scriptFetches, 1u);
    EXPECT_LE(scriptFetches, 2u);
}

TEST_F(ProxyTest, ScriptAnswerDirectWinsOverTheFixedList) {
    // The fixed list names a port where nothing listens: only a direct request can succeed.
    const std::string script = Narrow(Url(L"/proxy.pac?direct=1&n=")) + tag_;
    ProxySettings settings(kDirect | kFixedProxy | kScript, "127.0.0.1:1", script);
    ASSERT_TRUE(settings.Written());
    ASSERT_TRUE(Fetch());
    EXPECT_EQ(AllRequests(), 1u);
    EXPECT_EQ(ProxiedRequests(), 0u);
}

TEST_F(ProxyTest, SettingsAreRestoredAfterATest) {
    const std::optional<std::vector<BYTE>> original = StoredSettings();
    {
        // A record of its own stands for what the user had: it must come back byte for byte.
        ProxySettings users(kDirect | kFixedProxy, "10.1.2.3:8080", "");
        ASSERT_TRUE(users.Written());
        const std::optional<std::vector<BYTE>> before = StoredSettings();
        ASSERT_TRUE(before);
        {
            ProxySettings settings(kAutoDetect, "", "");
            ASSERT_TRUE(settings.Written());
            EXPECT_NE(StoredSettings(), before) << "the test's record is in force";
        }
        EXPECT_EQ(StoredSettings(), before);
    }
    EXPECT_EQ(StoredSettings(), original) << "a missing record is missing again";
}

// Last: the lookup it gives up on may still hold a thread when the test ends.
TEST_F(ProxyTest, ScriptThatNeverArrivesHoldsTheExchangeNoLongerThanItsTimeOut) {
    // A listener that takes connections into its backlog and never answers.
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string script =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/silent.pac?n=" + tag_;
    ProxySettings settings(kDirect | kScript, "", script);
    ASSERT_TRUE(settings.Written());

    CInstallerDownloader downloader;
    downloader.SetTimeoutMs(1500);
    const auto start = std::chrono::steady_clock::now();
    // Without a proxy from the script the request goes direct, and succeeds.
    EXPECT_TRUE(downloader.Download(Url(L"/blob/10?tag=" + std::wstring(tag_.begin(), tag_.end())),
                                    L"", nullptr));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), 1400);
    EXPECT_LT(took.count(), 5000);
    EXPECT_EQ(ProxiedRequests(), 0u);

    ProxyPlan plan = ResolveSessionProxy();
    EXPECT_EQ(ApplyRequestProxy(plan, L"http://127.0.0.1/", 300), ProxyLookup::Failed);
    closesocket(listener);  // lets the abandoned lookups end
    WSACleanup();
}

}  // namespace
