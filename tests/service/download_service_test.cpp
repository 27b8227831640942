// The reference download service's protocol handling, run in-process on free loopback ports.

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "faults.h"
#include "service.h"
#include "service/envelope.h"

namespace {

using kvservice::PortId;

constexpr std::string_view kRequestPass = "5e1f0c7a9b2d4e6f8a0c1e3b5d7f9a2c";
constexpr std::string_view kResponsePass = "b7d9e1f3a5c7e9b1d3f5a7c9e1b3d5f7";

class DownloadServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        logPath_ = "/tmp/kv-service-test-" + std::to_string(getpid()) + ".jsonl";
        std::remove(logPath_.c_str());
        kvservice::Options options;
        options.logPath = logPath_;
        options.holdMs = 2000;
        service_ = std::make_unique<kvservice::Service>(options);
        ASSERT_TRUE(service_->Start());
    }
    void TearDown() override {
        service_.reset();
        std::remove(logPath_.c_str());
    }

    httplib::Client Client(PortId id = PortId::Primary) {
        httplib::Client client("127.0.0.1", service_->Port(id));
        client.set_read_timeout(5, 0);
        client.set_url_encode(false);  // send payloads as the installer does, unescaped
        return client;
    }
    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string QueryPath(std::string_view plainText, std::string_view pass = kRequestPass) {
        return "/downloader?p=" + SealPayload(plainText, pass);
    }

    std::string logPath_;
    std::unique_ptr<kvservice::Service> service_;
};

TEST_F(DownloadServiceTest, AnswersEachEditionWithItsSealedSetupUrl) {
    auto client = Client();
    const std::string base = "http://127.0.0.1:" + std::to_string(service_->Port(PortId::Primary));
    auto trial = client.Get(QueryPath("kvProTrial").c_str());
    ASSERT_TRUE(trial);
    EXPECT_EQ(trial->status, 200);
    EXPECT_EQ(OpenPayload(trial->body.c_str(), kResponsePass),
              base + "/files/kvpro-trial-setup.exe");

    auto paid = client.Get(QueryPath("kvProPaid").c_str());
    ASSERT_TRUE(paid);
    EXPECT_EQ(OpenPayload(paid->body.c_str(), kResponsePass), base + "/files/kvpro-setup.exe");

    // '+' in the payload arrives as it was sent, not as a decoded space.
    std::string withPlus;
    for (int i = 0; i < 200 && withPlus.find('+') == std::string::npos; ++i) {
        withPlus = SealPayload("kvProTrial", kRequestPass);
    }
    ASSERT_NE(withPlus.find('+'), std::string::npos);
    auto plus = client.Get(("/downloader?p=" + withPlus).c_str());
    ASSERT_TRUE(plus);
    EXPECT_EQ(plus->status, 200);
}

TEST_F(DownloadServiceTest, CollectedHitsKeepTheirKeyOrderWithValuesDecoded) {
    for (PortId id : {PortId::Primary, PortId::Secondary}) {
        auto answer =
            Client(id).Get("/collect?v=1&tid=UA-1-1&ec=Tom%20%26%20Jerry&ea=x+y&bad=%zz&el");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 200);
    }
    const std::string log = Log();
    const std::string hit =
        R"("hit":{"v":"1","tid":"UA-1-1","ec":"Tom & Jerry","ea":"x y","bad":"%zz","el":""})";
    const size_t first = log.find(hit);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(hit, first + 1), std::string::npos) << "both ports collect";

    ASSERT_TRUE(Client().Get("/collect"));
    EXPECT_NE(Log().find(R"("target":"/collect",)"), std::string::npos);
    EXPECT_NE(Log().find(R"("hit":{},)"), std::string::npos);
}

TEST_F(DownloadServiceTest, LoggedTextKeepsUtf8AndMarksBrokenBytes) {
    ASSERT_TRUE(Client().Get("/collect?el=%E2%82%AC%F0%9F%98%80&ev=%FF%C3&ec=%ED%A0%80"));
    EXPECT_NE(Log().find("\"el\":\"\u20ac\U0001F600\",\"ev\":\"\\ufffd\\ufffd\""),
              std::string::npos)
        << Log();
    // An encoded surrogate is not UTF-8 either.
    EXPECT_NE(Log().find("\"ec\":\"\\ufffd\\ufffd\\ufffd\""), std::string::npos);
}

TEST_F(DownloadServiceTest, RequestsThatDoNotOpenAreRefusedAndLogged) {
    auto client = Client();
    for (const std::string& path :
         {QueryPath("kvProTrial", kResponsePass), QueryPath("kvProGold"), QueryPath("xxProTrial"),
          std::string("/downloader?p=not-base64!"), std::string("/downloader")}) {
        auto answer = client.Get(path.c_str());
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, 400) << path;
    }
    const std::string log = Log();
    size_t refused = 0;
    for (size_t at = log.find("\"status\":400"); at != std::string::npos;
         at = log.find("\"status\":400", at + 1)) {
        ++refused;
    }
    EXPECT_EQ(refused, 5u);
}

TEST_F(DownloadServiceTest, AnswerFaultsApplyPerPort) {
    auto control = Client(PortId::Secondary);
    ASSERT_EQ(control.Get("/_control?port=primary&garble=1")->status, 200);
    auto garbled = Client().Get(QueryPath("kvProTrial").c_str());
    ASSERT_TRUE(garbled);
    EXPECT_EQ(garbled->status, 200);
    EXPECT_EQ(OpenPayload(garbled->body.c_str(), kResponsePass).find("http://"), std::string::npos);
    // The secondary port is unaffected.
    auto clean = Client(PortId::Secondary).Get(QueryPath("kvProTrial").c_str());
    EXPECT_NE(OpenPayload(clean->body.c_str(), kResponsePass).find("http://"), std::string::npos);

    ASSERT_EQ(control.Get("/_control?port=primary&reset=1&emptytext=1")->status, 200);
    auto empty = Client().Get(QueryPath("kvProPaid").c_str());
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body.size(), 44u);
    EXPECT_EQ(OpenPayload(empty->body.c_str(), kResponsePass), "");

    ASSERT_EQ(control.Get("/_control?port=primary&reset=1&status=500")->status, 200);
    EXPECT_EQ(Client().Get(QueryPath("kvProPaid").c_str())->status, 500);

    EXPECT_EQ(control.Get("/_control?bogus=1")->status, 400);
}

TEST_F(DownloadServiceTest, ScopedSwitchesAnswersAndServedFilesChangeOnlyWhatTheyName) {
    auto control = Client(PortId::Secondary);
    auto client = Client();
    auto opened = [&](const char* edition) {
        auto answer = client.Get(QueryPath(std::string("kvPro") + edition).c_str());
        return answer && answer->status == 200 ? OpenPayload(answer->body.c_str(), kResponsePass)
                                               : "status " + std::to_string(answer->status);
    };
    const std::string files =
        "http://127.0.0.1:" + std::to_string(service_->Port(PortId::Primary)) + "/files/";

    ASSERT_EQ(control.Get("/_control?port=primary&scope=files&status=404")->status, 200);
    ASSERT_EQ(control.Get("/_control?port=primary&scope=query&status=503")->status, 200);
    EXPECT_EQ(client.Get("/blob/10")->status, 404);
    EXPECT_EQ(opened("Trial"), "status 503");
    ASSERT_EQ(control.Get("/_control?port=primary&scope=query&reset=1")->status, 200);
    EXPECT_EQ(opened("Trial"), files + "kvpro-trial-setup.exe");
    EXPECT_EQ(client.Get("/blob/10")->status, 404);  // the files' switches stayed
    ASSERT_EQ(control.Get("/_control?port=primary&reset=1")->status, 200);
    EXPECT_EQ(client.Get("/blob/10")->status, 200);

    ASSERT_EQ(control.Get("/_control?port=both&answer=ftp%3A%2F%2F127.0.0.1%2Fs.exe")->status, 200);
    EXPECT_EQ(opened("Paid"), "ftp://127.0.0.1/s.exe");
    ASSERT_EQ(control.Get("/_control?port=both&answer=")->status, 200);
    EXPECT_EQ(opened("Paid"), files + "kvpro-setup.exe");

    ASSERT_EQ(control.Get("/_control?trial_file=demo.exe&paid_file=demo.exe")->status, 200);
    EXPECT_EQ(opened("Trial"), files + "demo.exe");
    EXPECT_EQ(opened("Paid"), files + "demo.exe");
    // A bad request changes nothing, not even its valid parts.
    EXPECT_EQ(control.Get("/_control?port=primary&status=500&trial_file=..")->status, 400);
    EXPECT_EQ(control.Get("/_control?port=primary&scope=body&status=500")->status, 400);
    EXPECT_EQ(opened("Trial"), files + "demo.exe");
}

TEST_F(DownloadServiceTest, RefusedPortStopsListeningAndComesBack) {
    auto control = Client(PortId::Secondary);
    ASSERT_EQ(control.Get("/_control?port=primary&refuse=1")->status, 200);
    auto refused = Client().Get("/blob/10");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), httplib::Error::Connection);
    ASSERT_EQ(control.Get("/_control?port=primary&refuse=0")->status, 200);
    auto back = Client().Get("/blob/10");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, 200);

    // A port in use is not shared with a second service, which would take some of its requests.
    kvservice::Options second;
    second.logPath.clear();
    second.ports = {service_->Port(PortId::Primary), 0};
    EXPECT_FALSE(kvservice::Service(second).Start());
}

TEST_F(DownloadServiceTest, BodyFaultsShapeTheTransfer) {
    auto client = Client();
    auto whole = client.Get("/blob/1000");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->get_header_value("Content-Length"), "1000");
    EXPECT_EQ(static_cast<unsigned char>(whole->body[300]), 300 % 251);

    auto noLength = client.Get("/blob/1000?nolength=1");
    ASSERT_TRUE(noLength);
    EXPECT_FALSE(noLength->has_header("Content-Length"));
    EXPECT_EQ(noLength->body.size(), 1000u);

    // Cut short: the client notices the missing bytes.
    std::string received;
    auto cut = client.Get("/blob/1000?cut=100", [&](const char* data, size_t n) {
        received.append(data, n);
        return true;
    });
    EXPECT_FALSE(cut);
    EXPECT_EQ(received.size(), 100u);

    auto empty = client.Get("/blob/1000?empty=1");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->get_header_value("Content-Length"), "0");

    EXPECT_EQ(client.Get("/blob/10?status=404")->status, 404);
    EXPECT_EQ(client.Get("/blob/10?trickle=oops")->status, 400);
}

TEST_F(DownloadServiceTest, RangesFollowIfRangeAndTheRangeFaults) {
    auto client = Client();
    auto ranged = [&](const std::string& path, const std::string& ifRange) {
        httplib::Headers headers{{"Range", "bytes=400-"}};
        if (!ifRange.empty()) headers.emplace("If-Range", ifRange);
        return client.Get(path.c_str(), headers);
    };
    auto whole = client.Get("/blob/1000");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
    const std::string etag = whole->get_header_value("ETag");
    const std::string modified = whole->get_header_value("Last-Modified");
    ASSERT_EQ(etag.front(), '"');
    for (const std::string& validator : {etag, modified, std::string()}) {
        auto rest = ranged("/blob/1000", validator);
        ASSERT_TRUE(rest);
        EXPECT_EQ(rest->status, 206) << validator;
        EXPECT_EQ(rest->get_header_value("Content-Range"), "bytes 400-999/1000");
        EXPECT_EQ(rest->body, whole->body.substr(400));
    }
    // A validator that no longer holds, and the faults: the whole file, or a range elsewhere.
    EXPECT_EQ(ranged("/blob/1000", "\"old\"")->status, 200);
    EXPECT_EQ(ranged("/blob/1000?noranges=1", etag)->status, 200);
    auto renamed = client.Get("/blob/1000?newetag=1");
    EXPECT_NE(renamed->get_header_value("ETag"), etag);
    auto changed = ranged("/blob/1000?newetag=1", renamed->get_header_value("ETag"));
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->body, whole->body);
    auto elsewhere = ranged("/blob/1000?badrange=1", etag);
    EXPECT_EQ(elsewhere->status, 206);
    EXPECT_EQ(elsewhere->get_header_value("Content-Range"), "bytes 200-999/1000");
    EXPECT_EQ(elsewhere->body, whole->body.substr(200));

    // cut=40% cuts a range answer too, at 40 % of the whole file; the log tells what went out.
    std::string received;
    auto cut = client.Get("/blob/1000?cut=40%25&tag=cut", httplib::Headers{{"Range", "bytes=400-"}},
                          [&](const char* data, size_t n) {
                              received.append(data, n);
                              return true;
                          });
    EXPECT_FALSE(cut);
    EXPECT_EQ(received, whole->body.substr(400, 400));
    service_.reset();  // the answer's last line is written
    const std::string log = Log();
    const std::string answer = R"("range":"bytes=400-","status":206,"bytes":600,"id":)";
    const size_t at = log.find(answer, log.find("tag=cut"));
    ASSERT_NE(at, std::string::npos) << log;
    const std::string id = log.substr(at + answer.size(), log.find('}', at) - at - answer.size());
    EXPECT_NE(log.find(R"("event":"sent","id":)" + id + R"(,"sent":400})"), std::string::npos)
        << log;
}

TEST_F(DownloadServiceTest, ForwardsProxyRequestsOnlyToLoopback) {
    // Absolute-form request targets, as a client sends them to a proxy.
    const std::string target =
        "http://127.0.0.1:" + std::to_string(service_->Port(PortId::Primary)) + "/blob/20";
    auto proxied = Client(PortId::Secondary).Get(target.c_str());
    ASSERT_TRUE(proxied);
    EXPECT_EQ(proxied->status, 200);
    EXPECT_EQ(proxied->body.size(), 20u);
    EXPECT_NE(Log().find("\"via_proxy\":true"), std::string::npos);

    auto foreign = Client(PortId::Secondary).Get("http://192.0.2.1/blob/20");
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->status, 403);
}

TEST(FaultSwitchTest, TextAndQueryFormsParse) {
    kvservice::Faults faults;
    std::string error;
    ASSERT_TRUE(
        kvservice::ApplyFaultText("status=404,cut=10,trickle=100:5,nolength", faults, error));
    EXPECT_EQ(faults.status, 404);
    EXPECT_EQ(faults.cutAfter, 10);
    EXPECT_EQ(faults.trickleBytes, 100);
    EXPECT_EQ(faults.trickleDelayMs, 5);
    EXPECT_TRUE(faults.noLength);
    EXPECT_FALSE(kvservice::ApplyFaultText("status=abc", faults, error));
    EXPECT_EQ(error, "status=abc");
    EXPECT_FALSE(kvservice::ApplyFaultText("colour=red", faults, error));
    ASSERT_TRUE(kvservice::ApplyFaultText("cut=40%,noranges,newetag,badrange", faults, error));
    EXPECT_EQ(faults.CutPoint(1000), 400);
    EXPECT_EQ(faults.Describe(),
              "status=404,nolength=1,cut=40%,trickle=100:5,noranges=1,newetag=1,badrange=1");
    EXPECT_FALSE(kvservice::ApplyFaultText("cut=101%", faults, error));
    ASSERT_TRUE(kvservice::ApplyFaultText("reset=1", faults, error));
    EXPECT_FALSE(faults.Any());
}

}  // namespace
