#include <gtest/gtest.h>

#include <atomic>
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

    std::atomic<int> defaultsRead{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&defaultsRead] {
            if (ReadSettingDword(kAllowAnonymousReport, 1) == 1 &&
                ReadSettingString(kInstallKey, L"") == L"") {
                ++defaultsRead;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(defaultsRead.load(), 8);
    EXPECT_TRUE(kv::test::ProductKeyExists());

    ASSERT_TRUE(WriteSettingString(kInstallKey, L"kept"));
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"kept");

    kv::test::DeleteProductKey();
}

}  // namespace
