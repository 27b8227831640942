// Ending exchanges early: Cancel from another thread, and servers that go silent.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/downloader.h"
#include "service_client.h"
#include "service_log.h"
#include "test_files.h"

namespace {

using service_client::Url;

const std::wstring kFlowing = L"/blob/500000000?trickle=65536:20";
// Sends part of the body, then nothing: the exchange's reader is held inside WinHTTP.
const std::wstring kStalled = L"/blob/1000000?stall=100000";
// Accepts the request and never answers.
const std::wstring kSilent = L"/blob/10?noheaders=1";

// What the exchange under test has stored so far, and progress calls made after Download
// returned (there must be none).
std::atomic<int64_t> g_stored{0};
std::atomic<bool> g_downloadReturned{false};
std::atomic<int> g_lateProgressCalls{0};
void TrackProgress(int64_t, int64_t stored) {
    g_stored = stored;
    if (g_downloadReturned) ++g_lateProgressCalls;
}

// Polls until `condition` holds; false after ten seconds.
template <typename Condition>
bool WaitFor(Condition condition) {
    const ULONGLONG start = GetTickCount64();
    while (!condition()) {
        if (GetTickCount64() - start > 10000) return false;
        Sleep(5);
    }
    return true;
}

// Where each source holds the exchange: the body flowing, the reader waiting for more after the
// first bytes, or the request sent and no answer coming.
struct Source {
    std::wstring url;
    int64_t storedBeforeCancel;  // 0: the request is in the service's log, nothing stored
};
const Source kSources[] = {{kFlowing, 1}, {kStalled, 1}, {kSilent, 0}};

class CancelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service_client::Available()) << "run through scripts/with-download-service";
        ASSERT_TRUE(service_client::ResetFaults());
        g_stored = 0;
        g_downloadReturned = false;
        g_lateProgressCalls = 0;
    }

    // The source's URL with a tag of this run, so that its request can be found in the log.
    std::wstring TaggedUrl(const Source& source) {
        tag_ = service_client::UniqueToken();
        return Url(source.url + L"&tag=" + tag_);
    }
    // True once the exchange of `source` is where the source holds it.
    bool Reached(const Source& source) {
        if (source.storedBeforeCancel > 0) {
            return WaitFor([&] { return g_stored.load() >= source.storedBeforeCancel; });
        }
        return !kv::test::WaitForLogLines(0, {"tag=" + kv::test::Narrow(tag_)}, 1).empty();
    }

    // Starts a download on a worker, waits until it is where the source holds it, cancels it
    // and reports how long Download took to return after the cancel.
    ULONGLONG CancelAtHold(const Source& source, const std::wstring& path, bool& result) {
        std::atomic<bool> finished{false};
        g_stored = 0;  // what an earlier exchange stored must not count as this one's
        const std::wstring url = TaggedUrl(source);
        std::thread worker([&] {
            result = downloader_.Download(url, path, &TrackProgress);
            finished = true;
        });
        EXPECT_TRUE(Reached(source)) << "the exchange never got there";
        const ULONGLONG start = GetTickCount64();
        downloader_.Cancel();
        WaitFor([&] { return finished.load(); });
        const ULONGLONG elapsed = GetTickCount64() - start;
        worker.join();
        return elapsed;
    }

    test_files::TempFolder folder_;
    Downloader downloader_;
    std::wstring tag_;
};

TEST_F(CancelTest, CancelEndsExchangesWithinASecondWhereverTheyWait) {
    for (const Source& source : kSources) {
        SCOPED_TRACE(kv::test::Narrow(source.url));
        const std::wstring path = folder_.File(L"cancelled.bin");
        bool result = true;
        const ULONGLONG elapsed = CancelAtHold(source, path, result);
        EXPECT_FALSE(result);
        EXPECT_LT(elapsed, 1000u);
        EXPECT_FALSE(test_files::Exists(path));

        // The same object runs the next exchange normally.
        const std::wstring next = folder_.File(L"next.bin");
        ASSERT_TRUE(downloader_.Download(Url(L"/blob/5000"), next, nullptr));
        EXPECT_EQ(test_files::Contents(next), test_files::BlobBytes(5000));
    }
}

TEST_F(CancelTest, NothingOfACancelledExchangeOutlivesItsObject) {
    for (const Source& source : {kSources[0], kSources[1]}) {
        SCOPED_TRACE(kv::test::Narrow(source.url));
        auto downloader = std::make_unique<Downloader>();
        // Short, so that a reader held by the stalled server comes out within the test.
        downloader->SetTimeoutMs(1000);
        const std::wstring path = folder_.File(L"abandoned.bin");
        g_stored = 0;
        g_downloadReturned = false;
        g_lateProgressCalls = 0;
        const std::wstring url = TaggedUrl(source);
        std::thread worker([&] {
            EXPECT_FALSE(downloader->Download(url, path, &TrackProgress));
            g_downloadReturned = true;
        });
        EXPECT_TRUE(Reached(source)) << "the exchange never got there";
        downloader->Cancel();
        worker.join();
        // Destroyed while the exchange's reader may still be inside WinHTTP; a late call would
        // come within the reader's time-out.
        downloader.reset();
        Sleep(1500);
        EXPECT_EQ(g_lateProgressCalls, 0);
        EXPECT_FALSE(test_files::Exists(path));
    }
    // The process is still sound.
    Downloader fresh;
    ASSERT_TRUE(fresh.Download(Url(L"/blob/5000"), L"", nullptr));
    EXPECT_EQ(fresh.ReceivedBytes(), 5000);
}

TEST_F(CancelTest, CancelRacingTheEndOfAnExchangeIsHarmless) {
    for (int round = 0; round < 60; ++round) {
        std::thread worker([&] { downloader_.Download(Url(L"/blob/3000"), L"", nullptr); });
        Sleep(round % 12);
        downloader_.Cancel();
        worker.join();
    }
    ASSERT_TRUE(downloader_.Download(Url(L"/blob/3000"), L"", nullptr));
    EXPECT_EQ(downloader_.ReceivedBytes(), 3000);
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
