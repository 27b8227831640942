#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "product_key.h"
#include "settings/settings_store.h"

namespace {

// A program of its own: the store opens its key once per process, and this is the first use,
// made by several threads at once as usage events may be.
TEST(SettingsStoreFirstUse, ThreadsRacingToOpenTheMissingKeyAllGetItsDefaults) {
    kv::test::DeleteProductKey();
    ASSERT_FALSE(kv::test::ProductKeyExists());

    // Released together, so that the first opens overlap rather than follow each other.
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> defaultsRead{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&defaultsRead, &start] {
            start.arrive_and_wait();
            if (ReadSettingDword(kAllowAnonymousReport, 1) == 1 &&
                ReadSettingString(kInstallKey, L"") == L"") {
                ++defaultsRead;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(defaultsRead.load(), kThreads);
    EXPECT_TRUE(kv::test::ProductKeyExists());

    ASSERT_TRUE(WriteSettingString(kInstallKey, L"kept"));
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"kept");

    kv::test::DeleteProductKey();
}

}  // namespace
