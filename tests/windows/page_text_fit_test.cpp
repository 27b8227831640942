// Every language's texts fit the places the pages show them in, at 100 %, 150 % and 200 %
// scaling: measured with the program's own fonts (from the built program) at the heights the
// pages make them at each DPI, against the pages' rectangles scaled the way the pages scale them.
// The system's DPI plays no part in the measuring, so one run covers every DPI.

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "i18n/language_choice.h"
#include "i18n/text_table.h"
#include "i18n/utf8.h"
#include "installer_driver.h"
#include "packed/packed_bundle.h"
#include "pages/page_fonts.h"
#include "pages/page_geometry.h"

namespace {

using kv::pages::PixelRect;
using kv::pages::Scaled;

constexpr int kFirstLanguageFile = 136;
constexpr int kLastLanguageFile = 178;
constexpr wchar_t kProductName[] = L"Kestrova Pro";

// The controls whose texts come from the language files, at 96 DPI (the download page's places;
// the edition buttons are sized by the template's dialog units, see DialogButtonWidth).
constexpr PixelRect kStatusLine{44, 238, 604, 277};
constexpr PixelRect kPageButton{254, 312, 395, 335};
constexpr int kButtonMargin = 8;  // frame and the space the system keeps around a caption

struct Language {
    int id = 0;
    kv::i18n::TextTable texts;
    std::wstring Text(const wchar_t* key) const {
        const auto found = texts.find(key);
        return found == texts.end() ? std::wstring() : found->second;
    }
    std::wstring Format(const wchar_t* key, const std::wstring& argument) const {
        return kv::i18n::FillPlaceholder(Text(key), argument);
    }
};

class BuiltProgramResources {
  public:
    BuiltProgramResources()
        : module_(::LoadLibraryExW(
              kv::test::BuiltProgram(L"src/app/kvpro-installer-loopback.exe").c_str(), nullptr,
              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        if (!module_) return;
        const std::string bundle = Bytes(kFontBundleId, RT_RCDATA);
        for (int entry : {kRegularFontEntry, kBoldFontEntry}) {
            DWORD count = 0;
            const std::string bytes =
                kv::packed::UnpackEntry(
                    {reinterpret_cast<const unsigned char*>(bundle.data()), bundle.size()}, entry)
                    .value_or(std::string());
            if (!bytes.empty()) {
                fonts_.push_back(::AddFontMemResourceEx(const_cast<char*>(bytes.data()),
                                                        static_cast<DWORD>(bytes.size()), nullptr,
                                                        &count));
            }
        }
    }
    ~BuiltProgramResources() {
        for (HANDLE font : fonts_) ::RemoveFontMemResourceEx(font);
        if (module_) ::FreeLibrary(module_);
    }
    bool Ok() const { return module_ && fonts_.size() == 2 && fonts_[0] && fonts_[1]; }

    std::string Bytes(int id, const wchar_t* type) const {
        HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        HGLOBAL loaded = found ? ::LoadResource(module_, found) : nullptr;
        const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
        return data ? std::string(data, ::SizeofResource(module_, found)) : std::string();
    }

    std::vector<Language> Languages() const {
        std::vector<Language> languages;
        const std::string bundle = Bytes(kv::i18n::kLanguageResourceType, RT_RCDATA);
        const std::span<const unsigned char> packed(
            reinterpret_cast<const unsigned char*>(bundle.data()), bundle.size());
        for (int id = kFirstLanguageFile; id <= kLastLanguageFile; ++id) {
            Language language{id, {}};
            kv::i18n::ParseLanguageText(
                kv::i18n::Utf8ToWide(kv::packed::UnpackEntry(packed, id).value_or(std::string())),
                language.texts);
            languages.push_back(std::move(language));
        }
        return languages;
    }

  private:
    HMODULE module_;
    std::vector<HANDLE> fonts_;
};

class Font {
  public:
    Font(const wchar_t* face, int points, int dpi) {
        LOGFONTW request{};
        request.lfHeight = -kv::pages::FontPixelHeight(points, dpi);
        request.lfWeight = FW_NORMAL;
        request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
        request.lfQuality = CLEARTYPE_NATURAL_QUALITY;
        lstrcpynW(request.lfFaceName, face, LF_FACESIZE);
        font_ = ::CreateFontIndirectW(&request);
    }
    ~Font() { ::DeleteObject(font_); }
    HFONT Get() const { return font_; }

  private:
    HFONT font_;
};

// Measures texts in one font on a screen-compatible device context.
class Measure {
  public:
    explicit Measure(HFONT font) : dc_(::CreateCompatibleDC(nullptr)) {
        previous_ = ::SelectObject(dc_, font);
    }
    ~Measure() {
        ::SelectObject(dc_, previous_);
        ::DeleteDC(dc_);
    }
    // The space the text takes when it is wrapped at `width`, as DrawText lays it out.
    SIZE Wrapped(const std::wstring& text, int width, UINT flags = 0) const {
        RECT box{0, 0, width, 0};
        ::DrawTextW(dc_, text.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | flags);
        return {box.right, box.bottom};
    }
    SIZE Line(const std::wstring& text) const {
        SIZE size{};
        ::GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }
    // The dialog's horizontal base unit in pixels, as the system computes it from the font.
    int AverageCharWidth() const {
        const std::wstring alphabet = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        return (Line(alphabet).cx / 26 + 1) / 2;
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Fails with the language, the DPI and the text when the wrapped text leaves its box.
void ExpectFits(const Measure& measure, const std::wstring& text, PixelRect box, int dpi,
                const Language& language, const char* where, UINT flags = 0) {
    const SIZE needed = measure.Wrapped(text, box.Width(), flags);
    EXPECT_LE(needed.cx, box.Width()) << where << " at " << dpi << " DPI, language file "
                                      << language.id << ": a word is wider than the box";
    EXPECT_LE(needed.cy, box.Height())
        << where << " at " << dpi << " DPI, language file " << language.id << ": " << needed.cy
        << " pixels high in " << box.Height();
}

TEST(PageTexts, EveryLanguageFitsItsPlacesAtEveryScale) {
    BuiltProgramResources program;
    ASSERT_TRUE(program.Ok());
    const std::vector<Language> languages = program.Languages();
    ASSERT_EQ(languages.size(), 43u);

    for (int dpi : {96, 144, 192}) {
        const Font title(L"Roboto Bold", kTitleFontPoints, dpi);
        const Font subtitle(L"Roboto Bold", kSubtitleFontPoints, dpi);
        const Font text(L"Roboto Regular", kTextFontPoints, dpi);
        const Font dialog(L"MS Shell Dlg", 8, dpi);  // the templates' font: status line, buttons
        const Measure inTitle(title.Get());
        const Measure inSubtitle(subtitle.Get());
        const Measure inText(text.Get());
        const Measure inDialog(dialog.Get());
        // The edition buttons are 135 and 138 dialog units wide; their pictures lie above the
        // caption, which has one line.
        const int editionButtonWidth = 135 * inDialog.AverageCharWidth() / 4;
        const int margin = Scaled(kButtonMargin, dpi);

        for (const Language& language : languages) {
            ASSERT_EQ(language.texts.size(), 43u) << language.id;
            ExpectFits(inTitle, language.Text(L"PLEASE_CHOOSE_YOUR_OPTION"),
                       Scaled(kv::pages::kEditionTitleRect, dpi), dpi, language, "edition title",
                       DT_CENTER);
            ExpectFits(inText, language.Text(L"CHOOSE_CORRECT_OPTION"),
                       Scaled(kv::pages::kEditionSubtitleRect, dpi), dpi, language,
                       "edition subtitle", DT_CENTER);
            for (const wchar_t* key : {L"I_WANT_TO_TRY", L"I_HAVE_LICENSE_KEY"}) {
                EXPECT_LE(inText.Line(language.Text(key)).cx, editionButtonWidth - margin)
                    << "edition button at " << dpi << " DPI, language file " << language.id;
            }

            ExpectFits(inTitle, kProductName, Scaled(kv::pages::kSlideTitleRect, dpi), dpi,
                       language, "slide title");
            for (const wchar_t* key :
                 {L"PROFESSIONAL_TOOL", L"SYSTEM_INTERFACE", L"FULL_CUSTOMIZATION"}) {
                ExpectFits(inSubtitle, language.Text(key),
                           Scaled(kv::pages::kSlideSubtitleRect, dpi), dpi, language,
                           "slide subtitle");
            }
            for (const wchar_t* key : {L"PROFESSIONAL_TOOL_DESCR", L"SYSTEM_INTERFACE_DESCR",
                                       L"FULL_CUSTOMIZATION_DESCR"}) {
                ExpectFits(inText, language.Text(key), Scaled(kv::pages::kSlideTextRect, dpi), dpi,
                           language, "slide description");
            }

            // The status line's texts, with the widest numbers they are given.
            const std::wstring downloading = language.Text(L"DOWNLOADING_SETUP") + L' ';
            for (const std::wstring& status :
                 {language.Text(L"CHECKING_FOR_CONNECTION"), language.Text(L"SETUP_FILES_READY"),
                  downloading + language.Format(L"SECONDS_LEFT", L"59"),
                  downloading + language.Format(L"MINUTES_LEFT", L"59"),
                  downloading + language.Format(L"HOURS_LEFT", L"99"),
                  language.Format(L"CANT_DOWNLOAD_FILE", kProductName),
                  language.Format(L"DOWNLOAD_FAILED_RETRYING", L"5")}) {
                ExpectFits(inDialog, status, Scaled(kStatusLine, dpi), dpi, language, "status line",
                           DT_CENTER);
            }
            for (const wchar_t* key : {L"INSTALL", L"TRY_AGAIN"}) {
                EXPECT_LE(inDialog.Line(language.Text(key)).cx,
                          Scaled(kPageButton, dpi).Width() - margin)
                    << "download page button at " << dpi << " DPI, language file " << language.id;
            }
        }
    }
}

}  // namespace
