#include <gtest/gtest.h>

#include "i18n/language_choice.h"
#include "i18n/text_table.h"

namespace kv::i18n {
namespace {

TextTable Parse(std::wstring_view text, bool expectOk = true) {
    TextTable table;
    EXPECT_EQ(ParseLanguageText(text, table), expectOk);
    return table;
}

TEST(LanguageFileParser, ReadsEntriesAndSkipsCommentsAndBlankLines) {
    const auto table = Parse(
        L"/* Status string */\n\"INSTALL\" = \"Install\";\n\n/* */\n\"TRY_AGAIN\" = \"Try "
        L"again\";\n");
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at(L"INSTALL"), L"Install");
    EXPECT_EQ(table.at(L"TRY_AGAIN"), L"Try again");
}

TEST(LanguageFileParser, CrLfLineEndsNeverReachValues) {
    const auto table = Parse(L"\"A\" = \"one\";\r\n\r\n\"B\" = \"two\";\r\n");
    EXPECT_EQ(table.at(L"A"), L"one");
    EXPECT_EQ(table.at(L"B"), L"two");
}

TEST(LanguageFileParser, FinalLineWithoutLineEndIsParsed) {
    EXPECT_EQ(Parse(L"\"A\" = \"one\";\n\"B\" = \"two\";").at(L"B"), L"two");
}

TEST(LanguageFileParser, ExtraBlanksAroundTheEntryAreIgnoredButBlanksInsideQuotesStay) {
    const auto table = Parse(L"   \"KEY\"    =   \"  padded value \";   \n");
    EXPECT_EQ(table.at(L"KEY"), L"  padded value ");
}

TEST(LanguageFileParser, FirstOfTwoEntriesWithTheSameKeyWins) {
    EXPECT_EQ(Parse(L"\"K\" = \"first\";\n\"K\" = \"second\";\n").at(L"K"), L"first");
}

TEST(LanguageFileParser, EqualsSignsDecideWhatIsAnEntry) {
    // A value with "=" loses its entry; a single "=" right at the end of a line is harmless;
    // a comment with one "=" is taken as an entry of its own.
    const auto table = Parse(
        L"\"A\" = \"x = y\";\n"
        L"\"B\" = \"ok\";=\n"
        L"/* C */ = /* D */\n");
    EXPECT_EQ(table.count(L"A"), 0u);
    EXPECT_EQ(table.at(L"B"), L"ok");
    EXPECT_EQ(table.size(), 2u);
}

TEST(LanguageFileParser, QuotesSemicolonsAndBackslashesStayInValues) {
    const auto table = Parse(L"\"K\" = \"Click \\\"Install\\\"; go\";\n");
    EXPECT_EQ(table.at(L"K"), L"Click \\\"Install\\\"; go");
}

TEST(LanguageFileParser, MalformedLinesFailTheLoadButKeepEarlierEntries) {
    // Nothing but a blank after "=": the value is too short to hold its quotes.
    TextTable table;
    EXPECT_FALSE(ParseLanguageText(L"\"A\" = \"a\";\n\"B\" = \n\"C\" = \"c\";\n", table));
    EXPECT_EQ(table.count(L"A"), 1u);
    EXPECT_EQ(table.count(L"C"), 0u);
    // An empty key part fails too; a line ending right after "=" is merely skipped.
    EXPECT_FALSE(ParseLanguageText(L"   = \"v\";\n", table));
    EXPECT_EQ(Parse(L"\"A\" =\n\"B\" = \"b\";\n").size(), 1u);
}

TEST(LanguageChoice, ChineseDependsOnTheCountryAndEverythingElseOnTheLanguage) {
    EXPECT_EQ(LanguageResourceId(LanguageName(L"zh", L"CN")), 178);
    EXPECT_EQ(LanguageResourceId(LanguageName(L"zh", L"TW")), 177);
    EXPECT_EQ(LanguageResourceId(LanguageName(L"zh", L"SG")), 177);
    EXPECT_EQ(LanguageResourceId(LanguageName(L"zh", L"")), 177);
    EXPECT_EQ(LanguageResourceId(LanguageName(L"de", L"CN")), 143);
    EXPECT_EQ(LanguageResourceId(LanguageName(L"ru", L"RU")), 169);
    EXPECT_EQ(LanguageResourceId(L"af"), 136);
    EXPECT_EQ(LanguageResourceId(L"uk"), 176);
}

TEST(LanguageChoice, UnknownNamesFallBackToEnglish) {
    for (const wchar_t* name : {L"en", L"pl", L"pt", L"", L"ZH", L"zh-TW", L"de_DE", L"zh_TW"}) {
        EXPECT_EQ(LanguageResourceId(name), kEnglishResourceId) << name;
    }
}

TEST(FillPlaceholder, FillsOnlyTheFirstPlaceholderWithTheArgumentAsGiven) {
    EXPECT_EQ(FillPlaceholder(L"{0} and {0}", L"x"), L"x and {0}");
    EXPECT_EQ(FillPlaceholder(L"a {0} b", L"{0}"), L"a {0} b");
    EXPECT_EQ(FillPlaceholder(L"no placeholder", L"x"), L"no placeholder");
    EXPECT_EQ(FillPlaceholder(L"{0", L"x"), L"{0");
}

TEST(TextCatalog, FormatsNumbersInPlainDecimal) {
    TextCatalog catalog([](TextTable& t) {
        t[L"RETRY"] = L"Download failed. Retrying... {0} second(s)";
        return true;
    });
    EXPECT_EQ(catalog.FormatText(L"RETRY", 5), L"Download failed. Retrying... 5 second(s)");
    EXPECT_EQ(catalog.FormatText(L"RETRY", -1), L"Download failed. Retrying... -1 second(s)");
    EXPECT_EQ(catalog.FormatText(L"RETRY", 1234567),
              L"Download failed. Retrying... 1234567 second(s)");
    EXPECT_EQ(catalog.FormatText(L"MISSING", 5), L"");
    EXPECT_EQ(catalog.GetText(L"MISSING"), L"");
    EXPECT_EQ(catalog.GetText(L"retry"), L"") << "keys are case-sensitive";
}

TEST(TextCatalog, LoadsOnceAndRetriesAfterAFailedLoad) {
    int loads = 0;
    bool fail = true;
    TextCatalog catalog([&](TextTable& t) {
        ++loads;
        t.try_emplace(L"K", L"v");
        return !fail;
    });
    EXPECT_EQ(catalog.GetText(L"K"), L"") << "a failed load yields an empty text";
    EXPECT_EQ(catalog.FormatText(L"K", L"x"), L"");
    EXPECT_EQ(loads, 2);
    fail = false;
    EXPECT_EQ(catalog.GetText(L"K"), L"v");
    EXPECT_EQ(catalog.GetText(L"K"), L"v");
    EXPECT_EQ(loads, 3);
}

TEST(TextCatalog, ViewsStayValidAcrossLaterLookups) {
    TextCatalog catalog([](TextTable& t) {
        for (int i = 0; i < 100; ++i)
            t[L"K" + std::to_wstring(i)] = std::wstring(40, L'a' + i % 26);
        return true;
    });
    const std::wstring_view first = catalog.GetText(L"K0");
    for (int i = 1; i < 100; ++i) catalog.GetText(L"K" + std::to_wstring(i));
    EXPECT_EQ(first, std::wstring(40, L'a'));
}

}  // namespace
}  // namespace kv::i18n
