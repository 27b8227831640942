#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/envelope.h"
#include "service/setup_query.h"
#include "service_client.h"
#include "service_log.h"

namespace {

using kv::test::JsonField;
using kv::test::LogLinesSinceWith;
using kv::test::Narrow;
using service_client::Server;

constexpr std::string_view kRequestPassPhrase = "5e1f0c7a9b2d4e6f8a0c1e3b5d7f9a2c";

// Loopback ports of this test's range where nothing listens: connections are refused.
const std::wstring kRefusedServer = L"http://127.0.0.1:48250/downloader";
const std::wstring kOtherRefusedServer = L"http://127.0.0.1:48251/downloader";

std::wstring ServerUrl(Server server) {
    return service_client::Url(L"/downloader", server);
}

std::wstring SetupFileUrl(Server server, const std::wstring& file) {
    return service_client::Url(L"/files/" + file, server);
}

const char* PortName(Server server) {
    return server == Server::Primary ? "\"port\":\"primary\"" : "\"port\":\"secondary\"";
}

// The payload of a logged request: what follows "?p=" in its target.
std::string PayloadOf(const std::string& line) {
    const std::string target = JsonField(line, "target");
    const size_t key = target.find("?p=");
    return key == std::string::npos ? std::string() : target.substr(key + 3);
}

bool IsSealedRequestPayload(const std::string& payload) {
    if (payload.size() != 44 || payload.back() != '=') return false;
    for (size_t i = 0; i + 1 < payload.size(); ++i) {
        const char c = payload[i];
        const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!base64) return false;
    }
    return true;
}

class SetupQuery : public kv::test::ServiceTest {
  protected:
    std::vector<std::string> Requests(Server server) const {
        return LogLinesSinceWith(mark, {PortName(server), "\"target\":\"/downloader"});
    }
};

TEST_F(SetupQuery, RefusedPrimaryFallsBackToTheSecondary) {
    EXPECT_EQ(QuerySetupLocation({kRefusedServer, ServerUrl(Server::Secondary)}, 1),
              SetupFileUrl(Server::Secondary, L"kvpro-trial-setup.exe"));
    EXPECT_EQ(Requests(Server::Secondary).size(), 1u);
}

TEST_F(SetupQuery, PrimaryErrorStatusAsksTheSecondaryWithAFreshPayload) {
    ASSERT_TRUE(service_client::Control(L"port=primary&status=404"));
    EXPECT_EQ(QuerySetupLocation({ServerUrl(Server::Primary), ServerUrl(Server::Secondary)}, 0),
              SetupFileUrl(Server::Secondary, L"kvpro-setup.exe"));

    const auto primary = Requests(Server::Primary);
    const auto secondary = Requests(Server::Secondary);
    ASSERT_EQ(primary.size(), 1u);
    ASSERT_EQ(secondary.size(), 1u);
    EXPECT_NE(primary[0].find("\"status\":404"), std::string::npos) << primary[0];
    EXPECT_NE(PayloadOf(primary[0]), PayloadOf(secondary[0])) << "each request is sealed anew";
}

TEST_F(SetupQuery, AnswerThatDoesNotOpenToAUrlCountsAsNoAnswer) {
    for (const wchar_t* fault : {L"emptytext=1", L"garble=1"}) {
        SCOPED_TRACE(Narrow(fault));
        ASSERT_TRUE(service_client::Control(std::wstring(L"reset=1&port=primary&") + fault));
        mark = kv::test::LogMark();
        EXPECT_EQ(QuerySetupLocation({ServerUrl(Server::Primary), ServerUrl(Server::Secondary)}, 1),
                  SetupFileUrl(Server::Secondary, L"kvpro-trial-setup.exe"));
        EXPECT_EQ(Requests(Server::Primary).size(), 1u);
        EXPECT_EQ(Requests(Server::Secondary).size(), 1u) << "the secondary is asked next";
    }
    ASSERT_TRUE(service_client::Control(L"port=secondary&garble=1"));
    EXPECT_EQ(QuerySetupLocation({ServerUrl(Server::Primary), ServerUrl(Server::Secondary)}, 0),
              L"");
}

TEST_F(SetupQuery, NoServerAnsweringOrNoServerAtAllGivesNoLocation) {
    EXPECT_EQ(QuerySetupLocation({kRefusedServer, kOtherRefusedServer}, 1), L"");
    EXPECT_EQ(QuerySetupLocation({}, 1), L"");
    EXPECT_TRUE(LogLinesSinceWith(mark, {"\"target\":\"/downloader"}).empty());
}

TEST_F(SetupQuery, CancelEndsTheQueryBeforeOrWhileAServerIsAsked) {
    const std::vector<std::wstring> servers = {ServerUrl(Server::Primary),
                                               ServerUrl(Server::Secondary)};
    CancelToken before;
    before.Cancel();
    EXPECT_EQ(QuerySetupLocation(servers, 1, before), L"");
    EXPECT_TRUE(LogLinesSinceWith(mark, {"\"target\":\"/downloader"}).empty());

    // The primary accepts the request and never answers; the secondary is never asked.
    ASSERT_TRUE(service_client::Control(L"port=primary&scope=query&noheaders=1"));
    CancelToken during;
    std::wstring location = L"none yet";
    ULONGLONG returned = 0;
    std::thread query([&] {
        location = QuerySetupLocation(servers, 1, during);
        returned = GetTickCount64();
    });
    EXPECT_EQ(kv::test::WaitForLogLines(mark, {PortName(Server::Primary), "/downloader"}, 1).size(),
              1u);
    const ULONGLONG cancelled = GetTickCount64();
    during.Cancel();
    query.join();
    EXPECT_EQ(location, L"");
    EXPECT_LT(returned - cancelled, 1000u);
    EXPECT_TRUE(Requests(Server::Secondary).empty());
}

TEST_F(SetupQuery, RequestCarriesTheSealedProductAndEdition) {
    const std::vector<std::wstring> servers = {ServerUrl(Server::Primary)};
    EXPECT_EQ(QuerySetupLocation(servers, 1),
              SetupFileUrl(Server::Primary, L"kvpro-trial-setup.exe"));
    EXPECT_EQ(QuerySetupLocation(servers, 0), SetupFileUrl(Server::Primary, L"kvpro-setup.exe"));
    EXPECT_EQ(QuerySetupLocation(servers, 1),
              SetupFileUrl(Server::Primary, L"kvpro-trial-setup.exe"));

    const auto requests = Requests(Server::Primary);
    ASSERT_EQ(requests.size(), 3u);
    const char* expected[] = {"kvProTrial", "kvProPaid", "kvProTrial"};
    std::set<std::string> payloads;
    for (size_t i = 0; i < requests.size(); ++i) {
        const std::string payload = PayloadOf(requests[i]);
        EXPECT_TRUE(IsSealedRequestPayload(payload)) << payload;
        EXPECT_EQ(OpenPayload(payload.c_str(), kRequestPassPhrase), expected[i]);
        payloads.insert(payload);
    }
    EXPECT_EQ(payloads.size(), 3u) << "a new salt for every request";
}

}  // namespace
