// Downloads over several attempts: the held partial file, range requests guarded by the first
// answer's validator, and servers that cut every answer or get ranges wrong.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net/transfer.h"
#include "service_client.h"
#include "service_log.h"
#include "test_files.h"

namespace {

using service_client::Url;
using test_files::BlobBytes;
using test_files::Contents;
using test_files::Exists;

// What the caller sees of a file across attempts.
class Watcher : public ProgressSink, public ByteObserver {
  public:
    void OnTransferProgress(int64_t total, int64_t stored) override {
        lastTotal = total;
        lastStored = stored;
    }
    void Restart() override {
        ++restarts;
        bytes.clear();
    }
    void Append(const unsigned char* data, size_t count) override {
        bytes.append(reinterpret_cast<const char*>(data), count);
    }

    int restarts = 0;
    std::string bytes;
    int64_t lastTotal = -1, lastStored = -1;
};

// The body bytes the service sent for the answers to requests carrying `tag`, once they ended.
int64_t BytesSent(const std::wstring& tag, size_t answers) {
    const auto requests = kv::test::WaitForLogLines(0, {"tag=" + kv::test::Narrow(tag)}, answers);
    if (requests.size() != answers) return -1;
    int64_t sent = 0;
    for (const std::string& request : requests) {
        const std::string id = std::to_string(
            std::strtoll(request.c_str() + request.find("\"id\":") + 5, nullptr, 10));
        const auto ended =
            kv::test::WaitForLogLines(0, {"\"event\":\"sent\",\"id\":" + id + ","}, 1);
        if (ended.size() != 1) return -1;
        sent += std::strtoll(ended[0].c_str() + ended[0].find("\"sent\":") + 7, nullptr, 10);
    }
    return sent;
}

class ResumeTest : public kv::test::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        tag_ = service_client::UniqueToken();
    }
    void TearDown() override {
        partial_.Discard();
        ServiceTest::TearDown();
    }
    TransferResult Attempt(const std::wstring& url) {
        return DownloadToFile(url, path_, partial_, token_, &watcher_, &watcher_);
    }

    test_files::TempFolder folder_;
    std::wstring path_ = folder_.File(L"setup.bin");
    std::wstring tag_;
    PartialDownload partial_;
    CancelToken token_;
    Watcher watcher_;
};

TEST_F(ResumeTest, EveryAnswerCutAtFortyPercentCompletesOnTheThirdAttempt) {
    constexpr int64_t kSize = 1000003;
    const std::wstring url = Url(L"/blob/1000003?cut=40%25&tag=" + tag_);
    const int64_t cut = kSize * 40 / 100;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const TransferResult failed = Attempt(url);
        EXPECT_EQ(failed.outcome, TransferOutcome::Failed);
        EXPECT_EQ(failed.httpStatus, attempt == 1 ? 200u : 206u);
        EXPECT_EQ(failed.stored, cut * attempt);
        ASSERT_TRUE(partial_.CanResume(url));
        EXPECT_EQ(partial_.totalLength, kSize);
        EXPECT_TRUE(partial_.validatorIsEtag);
        // Held: others may read what is there, nobody may write.
        EXPECT_EQ(Contents(path_), BlobBytes(cut * attempt));
        EXPECT_FALSE(test_files::CanOpenForWriting(path_));
    }
    const TransferResult done = Attempt(url);
    EXPECT_EQ(done.outcome, TransferOutcome::Complete);
    EXPECT_EQ(done.httpStatus, 206u);
    EXPECT_EQ(done.stored, kSize);
    ASSERT_TRUE(partial_.file);
    EXPECT_FALSE(test_files::CanOpenForWriting(path_));
    EXPECT_TRUE(Contents(path_) == BlobBytes(kSize));
    EXPECT_TRUE(watcher_.bytes == BlobBytes(kSize));
    EXPECT_EQ(watcher_.restarts, 1);
    EXPECT_EQ(watcher_.lastTotal, kSize);
    EXPECT_EQ(watcher_.lastStored, kSize);
    const int64_t sent = BytesSent(tag_, 3);
    EXPECT_GE(sent, kSize);
    EXPECT_LE(sent, kSize * 13 / 10);
}

TEST_F(ResumeTest, RangeFaultsStoreTheWholeFileOrFailTheAttempt) {
    constexpr int64_t kSize = 700001;
    for (const wchar_t* fault : {L"noranges=1", L"newetag=1", L"badrange=1"}) {
        SCOPED_TRACE(kv::test::Narrow(fault));
        const std::wstring url = Url(std::wstring(L"/blob/700001?tag=") + tag_ + L"&f=" + fault);
        // The first answer is cut; the later ones come whole, or would, with the fault.
        ASSERT_TRUE(
            service_client::Control(L"reset=1&scope=files&cut=40%25&" + std::wstring(fault)));
        EXPECT_EQ(Attempt(url).outcome, TransferOutcome::Failed);
        ASSERT_TRUE(partial_.CanResume(url));
        ASSERT_TRUE(service_client::Control(L"reset=1&scope=files&" + std::wstring(fault)));
        bool complete = false;
        for (int attempt = 2; attempt <= 3 && !complete; ++attempt) {
            const TransferResult result = Attempt(url);
            complete = result.outcome == TransferOutcome::Complete;
            if (!complete) {
                EXPECT_EQ(result.outcome, TransferOutcome::Failed);
                EXPECT_FALSE(partial_.file);
                EXPECT_FALSE(Exists(path_));
            }
        }
        ASSERT_TRUE(complete);
        EXPECT_TRUE(Contents(path_) == BlobBytes(kSize));
        EXPECT_TRUE(watcher_.bytes == BlobBytes(kSize));
        partial_.Discard();
        EXPECT_FALSE(Exists(path_));
    }
}

TEST_F(ResumeTest, BodiesThatCannotBeResumedLeaveNothing) {
    // Chunked (never stored as a file), and another URL than the partial file's.
    const std::wstring cut = Url(L"/blob/50000?cut=40%25&tag=" + tag_);
    EXPECT_EQ(Attempt(cut + L"&chunked=1").outcome, TransferOutcome::Failed);
    EXPECT_FALSE(partial_.file);
    EXPECT_FALSE(Exists(path_));

    EXPECT_EQ(Attempt(cut).outcome, TransferOutcome::Failed);
    ASSERT_TRUE(partial_.file);
    const TransferResult other = Attempt(Url(L"/blob/30000"));
    EXPECT_EQ(other.outcome, TransferOutcome::Complete);
    EXPECT_EQ(other.httpStatus, 200u);
    EXPECT_TRUE(Contents(path_) == BlobBytes(30000));

    // An error status leaves nothing either, and says which.
    partial_.Discard();
    const TransferResult missing = Attempt(Url(L"/blob/10?status=404"));
    EXPECT_EQ(missing.outcome, TransferOutcome::Failed);
    EXPECT_EQ(missing.httpStatus, 404u);
    EXPECT_FALSE(Exists(path_));
}

}  // namespace
