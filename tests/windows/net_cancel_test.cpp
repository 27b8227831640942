// Ending exchanges early: Cancel from another thread, and servers that go silent.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/downloader.h"
#include "service_client.h"
#include "test_files.h"

namespace {

using service_client::Url;

const std::wstring kFlowing = L"/blob/500000000?trickle=65536:20";
// Sends part of the body, then nothing: the exchange's reader is held inside WinHTTP.
const std::wstring kStalled = L"/blob/1000000?stall=100000";
// Accepts the request and never answers.
const std::wstring kSilent = L"/blob/10?noheaders=1";

// Progress calls made after Download returned; there must be none.
std::atomic<bool> g_downloadReturned{false};
std::atomic<int> g_lateProgressCalls{0};
void CountLateProgress(int64_t, int64_t) {
    if (g_downloadReturned) ++g_lateProgressCalls;
}

class CancelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service_client::Available()) << "run through scripts/with-download-service";
        ASSERT_TRUE(service_client::ResetFaults());
    }

    // Starts a download on a worker, lets it get into the body, cancels it and reports how long
    // Download took to return after the cancel.
    ULONGLONG CancelDuringBody(const std::wstring& path, bool& result) {
        std::atomic<bool> finished{false};
        std::thread worker([&] {
            result = downloader_.Download(path_url_, path, nullptr);
            finished = true;
        });
        for (int i = 0; i < 100 && !test_files::Exists(path); ++i) Sleep(20);
        Sleep(300);
        const ULONGLONG start = GetTickCount64();
        downloader_.Cancel();
        while (!finished && GetTickCount64() - start < 5000) Sleep(5);
        const ULONGLONG elapsed = GetTickCount64() - start;
        worker.join();
        return elapsed;
    }

    test_files::TempFolder folder_;
    Downloader downloader_;
    std::wstring path_url_;
};

TEST_F(CancelTest, CancelEndsExchangesWithinASecondWhereverTheyWait) {
    for (const std::wstring& source : {kFlowing, kStalled, kSilent}) {
        SCOPED_TRACE(std::string(source.begin(), source.end()));
        const std::wstring path = folder_.File(L"cancelled.bin");
        path_url_ = Url(source);
        bool result = true;
        const ULONGLONG elapsed = CancelDuringBody(path, result);
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
    for (const std::wstring& source : {kFlowing, kStalled}) {
        SCOPED_TRACE(std::string(source.begin(), source.end()));
        auto downloader = std::make_unique<Downloader>();
        // Short, so that a reader held by the stalled server comes out within the test.
        downloader->SetTimeoutMs(1000);
        const std::wstring path = folder_.File(L"abandoned.bin");
        g_downloadReturned = false;
        g_lateProgressCalls = 0;
        std::thread worker([&] {
            EXPECT_FALSE(downloader->Download(Url(source), path, &CountLateProgress));
            g_downloadReturned = true;
        });
        for (int i = 0; i < 100 && !test_files::Exists(path); ++i) Sleep(20);
        Sleep(200);
        downloader->Cancel();
        worker.join();
        // Destroyed while the exchange's reader may still be inside WinHTTP.
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
