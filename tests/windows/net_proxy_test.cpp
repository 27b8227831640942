// The current user's proxy settings as Windows keeps them (Internet Settings, Connections,
// DefaultConnectionSettings), applied to real exchanges through the service's proxy mode.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/installer_downloader.h"
#include "net/proxy_config.h"
#include "service_client.h"

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

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::string ProxyAddress() {
    return "127.0.0.1:" + std::to_string(service_client::Port(Server::Secondary));
}

class ProxyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service_client::Available()) << "run through scripts/with-download-service";
        ASSERT_TRUE(service_client::ResetFaults());
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
        return service_client::LogLinesWith({"tag=" + tag_, "\"via_proxy\":true"}).size();
    }
    size_t AllRequests() { return service_client::LogLinesWith({"tag=" + tag_}).size(); }

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
    EXPECT_EQ(ApplyRequestProxy(plan, L"http://127.0.0.1/"), ProxyLookup::NotAttempted);

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
    EXPECT_EQ(service_client::LogLinesWith({"/proxy.pac", "n=" + tag_}).size(), 1u);
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
    DWORD size = 0;
    HKEY key = nullptr;
    std::vector<BYTE> before;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            before.resize(size);
            RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, before.data(), &size);
        }
        RegCloseKey(key);
    }
    { ProxySettings settings(kAutoDetect, "", ""); }
    std::vector<BYTE> after;
    size = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            after.resize(size);
            RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, after.data(), &size);
        }
        RegCloseKey(key);
    }
    EXPECT_EQ(before, after);
}

}  // namespace
