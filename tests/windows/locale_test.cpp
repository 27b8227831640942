// Run with the Wine process's locale set from outside (LC_ALL) and KV_EXPECTED_LANGUAGE_FILE
// naming the language file that locale must select: the close confirmation is asked in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "i18n/text_table.h"
#include "i18n/utf8.h"
#include "installer_driver.h"

namespace kv::test {
namespace {

std::wstring ExpectedQuestion() {
    const char* file = std::getenv("KV_EXPECTED_LANGUAGE_FILE");
    if (!file) return {};
    std::ifstream in(std::filesystem::path(KV_SOURCE_DIR) / "src/res/lang" / file,
                     std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    i18n::TextTable table;
    i18n::ParseLanguageText(i18n::Utf8ToWide(bytes), table);
    return table[L"INSTALL_NOT_COMPLETED"];
}

TEST(Locale, CloseConfirmationComesFromTheLanguageFileOfTheUsersLocale) {
    const std::wstring expected = ExpectedQuestion();
    ASSERT_FALSE(expected.empty()) << "KV_EXPECTED_LANGUAGE_FILE names no readable file";

    InstallerProcess installer;
    HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);
    HWND box = installer.AskToClose(main);
    ASSERT_TRUE(box);
    EXPECT_EQ(BoxText(box), expected);
    Answer(box, IDYES);
    EXPECT_TRUE(installer.WaitForExit());
}

}  // namespace
}  // namespace kv::test
