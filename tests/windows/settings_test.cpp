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

TEST_F(SettingsStore, NumberReadFollowsTheValueType) {
    EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 1), 1u) << "missing value gives the default";
    struct Case {
        DWORD type;
        std::vector<unsigned char> bytes;
        uint32_t expected;
    };
    const std::vector<unsigned char> wideZero = {'0', 0, 0, 0};
    const Case cases[] = {
        {REG_DWORD, {0, 0, 0, 0}, 0},
        {REG_DWORD, {1, 0, 0, 0}, 1},
        {REG_DWORD, {0x2A, 0x01, 0, 0}, 0x12A},
        {REG_DWORD_BIG_ENDIAN, {0, 0, 0x01, 0x2A}, 0x12A},
        {REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0}, 0xFFFFFFFF},  // never reads as zero
        {REG_SZ, wideZero, 0},
        {REG_EXPAND_SZ, wideZero, 0},
        {REG_SZ, {' ', 0, '1', 0, '2', 0, ' ', 0, 0, 0}, 12},
        {REG_SZ, {'1', 0}, 1},  // no terminator
        {REG_BINARY, {0}, 0},
        {REG_BINARY, {0, 0, 0, 0, 0, 0, 0, 0}, 0},
        // Not a number: the default.
        {REG_SZ, {'n', 0, 'o', 0, 0, 0}, 7},
        {REG_SZ, {0, 0}, 7},
        {REG_DWORD, {0, 0}, 7},
        {REG_BINARY, std::vector<unsigned char>(9), 7},
        {REG_BINARY, {}, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.bytes.size() << " bytes");
        key.Set(kAllowAnonymousReport, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        EXPECT_EQ(ReadSettingDword(kAllowAnonymousReport, 7), c.expected);
    }
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
