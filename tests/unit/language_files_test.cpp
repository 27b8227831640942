// Checks over the language files that ship in the program's resources.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "i18n/language_choice.h"
#include "i18n/text_direction.h"
#include "i18n/text_table.h"
#include "i18n/utf8.h"

namespace kv::i18n {
namespace {

namespace fs = std::filesystem;

struct LanguageFile {
    std::string name;
    std::string bytes;
    TextTable table;
    bool parsed = false;
};

std::map<int, LanguageFile> LoadAll() {
    std::map<int, LanguageFile> files;
    for (const auto& entry : fs::directory_iterator(fs::path(KV_SOURCE_DIR) / "src/res/lang")) {
        if (entry.path().extension() != ".lng") continue;
        LanguageFile file;
        file.name = entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        file.bytes.assign(std::istreambuf_iterator<char>(in), {});
        file.parsed = ParseLanguageText(Utf8ToWide(file.bytes), file.table);
        files[std::stoi(file.name)] = std::move(file);
    }
    return files;
}

const std::map<int, LanguageFile>& Files() {
    static const auto files = LoadAll();
    return files;
}

TEST(LanguageFiles, OneFileForEveryResourceId) {
    std::set<int> ids;
    for (const auto& [id, file] : Files()) ids.insert(id);
    std::set<int> expected;
    for (int id = kFirstLanguageResourceId; id <= kLastLanguageResourceId; ++id)
        expected.insert(id);
    EXPECT_EQ(ids, expected);
}

TEST(LanguageFiles, EveryFileParsesToTheSameFortyThreeKeys) {
    const TextTable& english = Files().at(kEnglishResourceId).table;
    ASSERT_EQ(english.size(), 43u);
    for (const auto& [id, file] : Files()) {
        EXPECT_TRUE(file.parsed) << file.name;
        std::set<std::wstring> keys, englishKeys;
        for (const auto& [key, value] : file.table) keys.insert(key);
        for (const auto& [key, value] : english) englishKeys.insert(key);
        EXPECT_EQ(keys, englishKeys) << file.name;
    }
}

TEST(LanguageFiles, PlaceholdersAreKeptAndNoValueIsEmpty) {
    const TextTable& english = Files().at(kEnglishResourceId).table;
    for (const auto& [id, file] : Files()) {
        for (const auto& [key, value] : file.table) {
            const bool englishHasPlaceholder = english.at(key).find(L"{0}") != std::wstring::npos;
            EXPECT_EQ(value.find(L"{0}") != std::wstring::npos, englishHasPlaceholder)
                << file.name << " " << std::string(key.begin(), key.end());
            EXPECT_FALSE(value.empty()) << file.name;
        }
    }
}

TEST(LanguageFiles, EncodingAndLineEnds) {
    for (const auto& [id, file] : Files()) {
        EXPECT_FALSE(file.bytes.starts_with("\xEF\xBB\xBF")) << file.name << " has a BOM";
        EXPECT_TRUE(file.bytes.ends_with("\n")) << file.name;
        EXPECT_EQ(Utf8ToWide(file.bytes).find(L'\uFFFD'), std::wstring::npos) << file.name;
        const bool crlf = file.bytes.find('\r') != std::string::npos;
        EXPECT_EQ(crlf, id == kEnglishResourceId) << file.name;
    }
}

TEST(LanguageFiles, EnglishCopiesHoldTheEnglishTexts) {
    const TextTable& english = Files().at(kEnglishResourceId).table;
    for (int id : {136, 137, 140, 142, 147, 151, 153, 162, 163, 165, 168, 170, 171, 172}) {
        EXPECT_EQ(Files().at(id).table, english) << Files().at(id).name;
    }
    EXPECT_EQ(english.at(L"INSTALL_NOT_COMPLETED"),
              L"Installation is not completed. Are you sure you want to cancel?");
}

TEST(LanguageFiles, TranslationsDifferFromEnglishWhereTheyShould) {
    const TextTable& english = Files().at(kEnglishResourceId).table;
    auto translated = [&](int id) {
        int count = 0;
        for (const auto& [key, value] : Files().at(id).table) count += value != english.at(key);
        return count;
    };
    for (int id : {138, 139, 141, 143, 146, 149, 150, 152, 154, 156, 157,
                   158, 166, 167, 169, 173, 174, 175, 176, 177, 178}) {
        EXPECT_GE(translated(id), 38) << Files().at(id).name;
    }
    for (int id : {144, 148, 155, 159, 160, 161}) {
        EXPECT_GE(translated(id), 15) << Files().at(id).name;
        EXPECT_LE(translated(id), 36) << Files().at(id).name;
    }
    EXPECT_EQ(translated(164), 3);
}

TEST(LanguageFiles, StoredBackslashQuoteSurvivesInTheFilesThatHaveIt) {
    for (int id : {138, 159, 169, 176, 177}) {
        bool found = false;
        for (const auto& [key, value] : Files().at(id).table) {
            found |= value.find(L"\\\"") != std::wstring::npos;
        }
        EXPECT_TRUE(found) << Files().at(id).name;
    }
    EXPECT_NE(Files().at(138).table.at(L"SETUP_FILES_READY").find(L"\\\""), std::wstring::npos);
}

// Hebrew and Persian read from right to left; the Arabic file holds English texts and so does not.
TEST(LanguageFiles, DirectionFollowsTheTexts) {
    for (const auto& [id, file] : Files()) {
        std::wstring texts;
        for (const auto& [key, value] : file.table) texts += value;
        EXPECT_EQ(ReadsRightToLeft(texts), id == 148 || id == 152) << file.name;
    }
    EXPECT_TRUE(
        ReadsRightToLeft(L"\u05d4\u05ea\u05e7\u05df \u05d4\u05ea\u05e7\u05df Kestrova 100%"));
    EXPECT_FALSE(ReadsRightToLeft(L"Installed \u05d4\u05ea {0} \u2026 \u00bb 12:30"));
}

}  // namespace
}  // namespace kv::i18n
