#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "product_key.h"
#include "settings/settings_store.h"

namespace {

// A program of its own: the store opens its key once per process, and this is the first use,
// made by several threads at once as usage events may be. The values differ from the defaults, so
// a thread that read through a handle lost in the race (closed, or never opened) would show.
TEST(SettingsStoreFirstUse, ThreadsRacingToOpenTheKeyAllReadItsValues) {
    kv::test::DeleteProductKey();
    {
        kv::test::ProductKey key;  // the test's own handle, not the store's
        key.SetDword(kAllowAnonymousReport, 0);
        const std::wstring id = L"stored-id";
        key.Set(kInstallKey, REG_SZ, id.c_str(), static_cast<DWORD>((id.size() + 1) * 2));
    }

    // Released together, so that the first opens overlap rather than follow each other.
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> valuesRead{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&valuesRead, &start] {
            start.arrive_and_wait();
            if (ReadSettingDword(kAllowAnonymousReport, 1) == 0 &&
                ReadSettingString(kInstallKey, L"") == L"stored-id") {
                ++valuesRead;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(valuesRead.load(), kThreads);

    ASSERT_TRUE(WriteSettingString(kInstallKey, L"kept"));
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"kept");

    kv::test::DeleteProductKey();
}

}  // namespace
