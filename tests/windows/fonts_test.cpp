// The fonts embedded in the installer answer to the face names the pages ask for. Without the
// renaming, a request for "Roboto Bold" would silently fall back to another font.

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "packed/packed_bundle.h"
#include "pages/page_fonts.h"

namespace kv::test {
namespace {

struct EmbeddedFont {
    int entry;  // in the packed bundle of fonts
    const wchar_t* face;
    LONG weight;
};

// The family name of the font selected into `dc`, from its outline metrics. The stock Roboto
// files (which Wine may also find on the Linux side) all call their family "Roboto".
std::wstring FamilyName(HDC dc) {
    const UINT size = ::GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size == 0) return {};
    std::vector<char> buffer(size);
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
    if (!::GetOutlineTextMetricsW(dc, size, metrics)) return {};
    return reinterpret_cast<const wchar_t*>(buffer.data() +
                                            reinterpret_cast<size_t>(metrics->otmpFamilyName));
}

class EmbeddedFonts : public ::testing::TestWithParam<EmbeddedFont> {};

TEST_P(EmbeddedFonts, AnswerToTheirFaceNames) {
    const EmbeddedFont font = GetParam();
    HMODULE installer = ::LoadLibraryExW(BuiltProgram(L"src/app/kvpro-installer.exe").c_str(),
                                         nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(installer);
    HRSRC found = ::FindResourceW(installer, MAKEINTRESOURCEW(kFontBundleId), RT_RCDATA);
    ASSERT_TRUE(found);
    const auto* bundle =
        static_cast<const unsigned char*>(::LockResource(::LoadResource(installer, found)));
    ASSERT_TRUE(bundle);
    std::optional<std::string> bytes =
        kv::packed::UnpackEntry({bundle, ::SizeofResource(installer, found)}, font.entry);
    ASSERT_TRUE(bytes && !bytes->empty());

    HDC dc = ::GetDC(nullptr);
    DWORD count = 0;
    HANDLE added =
        ::AddFontMemResourceEx(bytes->data(), static_cast<DWORD>(bytes->size()), nullptr, &count);
    ASSERT_TRUE(added);
    EXPECT_EQ(count, 1u);

    LOGFONTW request{};
    request.lfHeight = -14;
    request.lfWeight = FW_NORMAL;
    request.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    lstrcpynW(request.lfFaceName, font.face, LF_FACESIZE);
    HFONT created = ::CreateFontIndirectW(&request);
    HGDIOBJ previous = ::SelectObject(dc, created);
    wchar_t face[LF_FACESIZE] = L"";
    ::GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const std::wstring family = FamilyName(dc);
    ::SelectObject(dc, previous);
    ::DeleteObject(created);
    ::RemoveFontMemResourceEx(added);
    ::ReleaseDC(nullptr, dc);
    ::FreeLibrary(installer);

    EXPECT_STREQ(face, font.face);
    EXPECT_EQ(family, font.face);
    EXPECT_EQ(metrics.tmWeight, font.weight);
}

INSTANTIATE_TEST_SUITE_P(Roboto, EmbeddedFonts,
                         ::testing::Values(EmbeddedFont{kRegularFontEntry, L"Roboto Regular",
                                                        FW_NORMAL},
                                           EmbeddedFont{kBoldFontEntry, L"Roboto Bold", FW_BOLD}));

}  // namespace
}  // namespace kv::test
