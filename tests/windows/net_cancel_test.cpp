// Ending exchanges early: a cancel through the token or the object, and servers that go silent.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/background_threads.h"
#include "net/downloader.h"
#include "net/transfer.h"
#include "service_client.h"
#include "service_log.h"
#include "test_files.h"
#include "wait_until.h"

namespace {

using service_client::Url;

const std::wstring kFlowing = L"/blob/500000000?trickle=65536:20";
// Sends part of the body, then nothing: the exchange's reader is held inside WinHTTP.
const std::wstring kStalled = L"/blob/1000000?stall=100000";
// Accepts the request and never answers.
const std::wstring kSilent = L"/blob/10?noheaders=1";

// What the exchange under test has stored so far.
std::atomic<int64_t> g_stored{0};
void TrackProgress(int64_t, int64_t stored) {
    g_stored = stored;
}
class TrackingSink : public ProgressSink {
  public:
    void OnTransferProgress(int64_t, int64_t stored) override { g_stored = stored; }
};

// Where each source holds the exchange: the body flowing, the reader waiting for more after the
// first bytes, or the request sent and no answer coming.
struct Source {
    std::wstring url;
    int64_t storedBeforeCancel;  // 0: the request is in the service's log, nothing stored
};
const Source kSources[] = {{kFlowing, 1}, {kStalled, 1}, {kSilent, 0}};

// The two ways to cancel: the object's own Cancel, and the caller's token.
enum class Way { Object, Token };

class CancelTest : public kv::test::ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        g_stored = 0;
    }

    // The source's URL with a tag of this run, so that its request can be found in the log.
    std::wstring TaggedUrl(const Source& source) {
        tag_ = service_client::UniqueToken();
        return Url(source.url + L"&tag=" + tag_);
    }
    // True once the exchange of `source` is where the source holds it.
    bool Reached(const Source& source) {
        if (source.storedBeforeCancel > 0) {
            return kv::test::WaitUntil(
                [&] { return g_stored.load() >= source.storedBeforeCancel; });
        }
        return !kv::test::WaitForLogLines(0, {"tag=" + kv::test::Narrow(tag_)}, 1).empty();
    }

    // Starts a download on a worker, waits until it is where the source holds it, cancels it
    // and tells whether the download returned within a second of the cancel.
    bool CancelAtHold(const Source& source, Way way, const std::wstring& path,
                      TransferOutcome& outcome) {
        std::atomic<bool> finished{false};
        g_stored = 0;  // what an earlier exchange stored must not count as this one's
        const std::wstring url = TaggedUrl(source);
        CancelToken token;
        PartialDownload partial;
        TrackingSink sink;
        std::thread worker([&] {
            if (way == Way::Object) {
                outcome = downloader_.Download(url, path, &TrackProgress)
                              ? TransferOutcome::Complete
                              : TransferOutcome::Failed;
            } else {
                outcome = DownloadToFile(url, path, partial, token, &sink, nullptr).outcome;
            }
            finished = true;
        });
        EXPECT_TRUE(Reached(source)) << "the exchange never got there";
        way == Way::Object ? downloader_.Cancel() : token.Cancel();
        const bool endedSoon =
            kv::test::WaitUntil([&] { return finished.load(); }, std::chrono::seconds(1));
        worker.join();
        partial.Discard();  // a cancelled transfer may be resumed; not here
        return endedSoon;
    }

    test_files::TempFolder folder_;
    Downloader downloader_;
    std::wstring tag_;
};

TEST_F(CancelTest, CancelEndsExchangesWithinASecondWhereverTheyWait) {
    for (Way way : {Way::Object, Way::Token}) {
        for (const Source& source : kSources) {
            SCOPED_TRACE(kv::test::Narrow(source.url) + (way == Way::Token ? " token" : ""));
            const std::wstring path = folder_.File(L"cancelled.bin");
            TransferOutcome outcome = TransferOutcome::Complete;
            EXPECT_TRUE(CancelAtHold(source, way, path, outcome));
            EXPECT_EQ(outcome,
                      way == Way::Token ? TransferOutcome::Cancelled : TransferOutcome::Failed);
            EXPECT_FALSE(test_files::Exists(path));
        }
    }
    // The same object runs the next exchange normally.
    const std::wstring next = folder_.File(L"next.bin");
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/5000"), next, nullptr));
    EXPECT_EQ(test_files::Contents(next), test_files::BlobBytes(5000));
}

TEST_F(CancelTest, ACancelBeforeTheStartIsNeverLost) {
    // Cancelled before: no request goes out at all.
    CancelToken cancelled;
    cancelled.Cancel();
    PartialDownload partial;
    const std::wstring path = folder_.File(L"early.bin");
    const std::wstring early = service_client::UniqueToken();
    EXPECT_EQ(
        DownloadToFile(Url(L"/blob/5000?tag=" + early), path, partial, cancelled, nullptr, nullptr)
            .outcome,
        TransferOutcome::Cancelled);
    Downloader downloader;
    EXPECT_FALSE(downloader.Download(Url(L"/blob/5000?tag=" + early), L"", nullptr, cancelled));
    EXPECT_TRUE(kv::test::LogLinesSinceWith(0, {"tag=" + kv::test::Narrow(early)}).empty());
    EXPECT_FALSE(test_files::Exists(path));

    // Cancelled while the attempt starts, at ever later moments: each transfer (about a second
    // long when not stopped) ends cancelled, never whole.
    for (int round = 0; round < 40; ++round) {
        CancelToken token;
        TransferResult result;
        std::thread worker([&] {
            result = DownloadToFile(Url(L"/blob/3000000?trickle=65536:20"), path, partial, token,
                                    nullptr, nullptr);
        });
        for (int spin = 0; spin < round * 50; ++spin) SwitchToThread();
        token.Cancel();
        worker.join();
        ASSERT_EQ(result.outcome, TransferOutcome::Cancelled) << "round " << round;
        partial.Discard();
    }
}

TEST_F(CancelTest, NoThreadOfACancelledExchangeOutlivesItsTimeout) {
    for (const Source& source : {kSources[0], kSources[1]}) {
        SCOPED_TRACE(kv::test::Narrow(source.url));
        auto downloader = std::make_unique<Downloader>();
        // Short, so that a reader held by the stalled server comes out within the test.
        downloader->SetTimeoutMs(1000);
        const std::wstring path = folder_.File(L"abandoned.bin");
        g_stored = 0;
        const std::wstring url = TaggedUrl(source);
        std::thread worker([&] { EXPECT_FALSE(downloader->Download(url, path, &TrackProgress)); });
        EXPECT_TRUE(Reached(source)) << "the exchange never got there";
        downloader->Cancel();
        worker.join();
        downloader.reset();
        EXPECT_FALSE(test_files::Exists(path));
        // The reader held by the silent server is still inside WinHTTP, and recorded; it ends
        // within its time-out, as the program's exit expects.
        if (source.url == kStalled) {
            EXPECT_GE(net::RunningTrackedThreads(), 1u);
        }
        EXPECT_TRUE(net::JoinTrackedThreads(15000));
        EXPECT_EQ(net::RunningTrackedThreads(), 0u);
    }
    // The process is still sound.
    Downloader fresh;
    ASSERT_TRUE(fresh.Download(Url(L"/blob/5000"), L"", nullptr));
    EXPECT_EQ(fresh.ReceivedBytes(), 5000);
}
TEST_F(CancelTest, SilentServerEndsTheExchangeAfterTheTimeout) {
    downloader_.SetTimeoutMs(1500);
    // Accepts the request and never answers.
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/10?noheaders=1"), L"", nullptr));
    ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 1400u);
    EXPECT_LT(elapsed, 2200u);

    // Stops sending in the middle of the body.
    const std::wstring path = folder_.File(L"stalled.bin");
    start = GetTickCount64();
    EXPECT_FALSE(downloader_.Download(Url(L"/blob/100000?stall=5000"), path, nullptr));
    elapsed = GetTickCount64() - start;
    EXPECT_LT(elapsed, 2500u);
    EXPECT_FALSE(test_files::Exists(path));
}

}  // namespace
