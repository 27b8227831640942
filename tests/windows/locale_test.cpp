// Run with the Wine process's locale set from outside (LC_ALL) and KV_EXPECTED_LANGUAGE_FILE
// naming the language file that locale must select: the close confirmation is asked in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "i18n/text_direction.h"
#include "i18n/text_table.h"
#include "i18n/utf8.h"
#include "installer_driver.h"

namespace kv::test {
namespace {

i18n::TextTable ExpectedTexts() {
    i18n::TextTable table;
    const char* file = std::getenv("KV_EXPECTED_LANGUAGE_FILE");
    if (!file) return table;
    std::ifstream in(std::filesystem::path(KV_SOURCE_DIR) / "src/res/lang" / file,
                     std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    i18n::ParseLanguageText(i18n::Utf8ToWide(bytes), table);
    return table;
}

bool ReadsRightToLeft(const i18n::TextTable& table) {
    std::wstring texts;
    for (const auto& [key, value] : table) texts += value;
    return i18n::ReadsRightToLeft(texts);
}

// The window is mirrored exactly for the languages that read from right to left.
TEST(Locale, CloseConfirmationComesFromTheLanguageFileOfTheUsersLocale) {
    i18n::TextTable texts = ExpectedTexts();
    const std::wstring expected = texts[L"INSTALL_NOT_COMPLETED"];
    ASSERT_FALSE(expected.empty()) << "KV_EXPECTED_LANGUAGE_FILE names no readable file";

    InstallerProcess installer;
    HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);
    const bool mirrored = (::GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    EXPECT_EQ(mirrored, ReadsRightToLeft(texts));
    HWND box = installer.AskToClose(main);
    ASSERT_TRUE(box);
    EXPECT_EQ(BoxText(box), expected);
    Answer(box, IDYES);
    EXPECT_TRUE(installer.WaitForExit());
}

}  // namespace
}  // namespace kv::test
