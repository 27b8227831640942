#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "product_key.h"
#include "settings/settings_store.h"

namespace {

using kv::test::ProductKey;
using kv::test::RawValue;

const auto* const g_keyCleanup =
    ::testing::AddGlobalTestEnvironment(new kv::test::ProductKeyCleanup);

constexpr const wchar_t* kScratch = L"ScratchValue";

// The store keeps its key handle for the whole process, so the key itself stays; each test starts
// and ends without the values it touches.
class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { RemoveValues(); }
    void TearDown() override { RemoveValues(); }
    void RemoveValues() {
        for (const wchar_t* name : {kAllowAnonymousReport, kInstallKey, kScratch}) key.Remove(name);
    }
    ProductKey key;
};

TEST_F(SettingsStore, DwordReadTakesTheFirstFourBytesWhateverTheType) {
    EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 1), 1u) << "missing value gives the default";

    key.SetDword(kAllowAnonymousReport, 0);
    EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 1), 0u);

    // "0" with its terminator: the bytes 30 00 00 00 are the number 48, not zero.
    key.Set(kAllowAnonymousReport, REG_SZ, L"0", 4);
    EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 1), 48u);

    const unsigned char eight[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    key.Set(kAllowAnonymousReport, REG_BINARY, eight, sizeof eight);
    EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 1), 1u) << "longer than 4 bytes";
}

TEST_F(SettingsStore, WrittenTextIsTerminatedAndReadsBackTheSame) {
    ASSERT_TRUE(WriteSettingString(kInstallKey, L"abc"));
    RawValue raw;
    ASSERT_TRUE(key.Get(kInstallKey, raw));
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, (std::vector<unsigned char>{'a', 0, 'b', 0, 'c', 0, 0, 0}));
    EXPECT_EQ(ReadSettingString(kInstallKey, L"default"), L"abc");

    const std::wstring id = L"0F8B5A2C-1D3E-4F50-9A7B-C6D8E0F1A2B3";
    ASSERT_TRUE(WriteSettingString(kInstallKey, id.c_str()));
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), id);
}

TEST_F(SettingsStore, NoTextStoresOneZeroCharacterAndReadsBackEmptyNotTheDefault) {
    ASSERT_TRUE(WriteSettingString(kInstallKey, nullptr));
    RawValue raw;
    ASSERT_TRUE(key.Get(kInstallKey, raw));
    EXPECT_EQ(raw.bytes, (std::vector<unsigned char>{0, 0}));
    EXPECT_EQ(ReadSettingString(kInstallKey, L"default"), L"");

    ASSERT_TRUE(WriteSettingString(kInstallKey, L""));
    EXPECT_EQ(ReadSettingString(kInstallKey, L"default"), L"");
}

TEST_F(SettingsStore, StringReadStopsAtTheDataOrItsFirstZero) {
    EXPECT_EQ(ReadSettingString(kInstallKey, L"default"), L"default") << "missing value";

    // Written by someone else without a terminator, and with garbage that must not be reached.
    const wchar_t unterminated[] = {L'x', L'y', L'z', L'!', L'!'};
    key.Set(kInstallKey, REG_SZ, unterminated, 3 * sizeof(wchar_t));
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"xyz");

    const wchar_t early[] = {L'a', L'\0', L'b', L'\0'};
    key.Set(kInstallKey, REG_SZ, early, sizeof early);
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"a");

    key.Set(kInstallKey, REG_BINARY, nullptr, 0);
    EXPECT_EQ(ReadSettingString(kInstallKey, L"default"), L"") << "present but empty";

    const unsigned char odd[3] = {'q', 0, 'r'};  // a trailing half character is dropped
    key.Set(kInstallKey, REG_BINARY, odd, sizeof odd);
    EXPECT_EQ(ReadSettingString(kInstallKey, L""), L"q");
}

TEST_F(SettingsStore, RejectedWriteIsReportedAsFailure) {
    // Value names are limited to 16383 characters; the registry refuses longer ones.
    const std::wstring tooLong(20000, L'n');
    EXPECT_FALSE(WriteSettingString(tooLong.c_str(), L"abc"));
}

}  // namespace
