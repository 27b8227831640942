#include "pages/page_fonts.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "packed/packed_bundle.h"
#include "pages/page_geometry.h"

kv::win::Font g_titleFont;
kv::win::Font g_subtitleFont;
kv::win::Font g_textFont;
kv::win::Font g_controlFont;

namespace {

// What the program composes around the language file's texts: numbers and the product name.
constexpr wchar_t kComposedCharacters[] = L"0123456789 %Kestrova Pro";

// The unpacked bytes of each embedded face, declared first so that they outlive its entry below.
std::string g_embeddedBytes[2];
// The private font table, each embedded face once, removed at process exit.
kv::win::MemoryFont g_embedded[2];

// A face and how its boldness is asked for: Roboto has a face per weight, other faces weights.
struct FaceChoice {
    std::wstring regular;
    std::wstring bold;
    LONG boldWeight;
};

kv::win::Font MakeFont(const std::wstring& face, LONG weight, int height) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfQuality = CLEARTYPE_NATURAL_QUALITY;
    // A system face answers for every script it has; Roboto is asked for as before.
    font.lfCharSet = face.starts_with(L"Roboto ") ? ANSI_CHARSET : DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
    return kv::win::Font(::CreateFontIndirectW(&font));
}

// Controls, joiners and direction marks are laid out without glyphs of their own.
bool NeedsGlyph(wchar_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E)) return false;
    if ((c >= 0x2060 && c <= 0x206F) || c == 0xFEFF) return false;
    return c < 0xD800 || c > 0xDFFF;  // surrogates: the files have none
}

bool FaceDrawsAll(const FaceChoice& face, std::wstring_view texts) {
    const kv::win::Font regular = MakeFont(face.regular, FW_NORMAL, -16);
    const kv::win::Font bold = MakeFont(face.bold, face.boldWeight, -16);
    return FontHasEveryCharacter(regular.Get(), texts) && FontHasEveryCharacter(bold.Get(), texts);
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM faces) {
    // Vertical variants ("@...") lie on their side; bitmap faces do not scale.
    if (font->lfFaceName[0] != L'@' && (type & TRUETYPE_FONTTYPE)) {
        reinterpret_cast<std::vector<std::wstring>*>(faces)->emplace_back(font->lfFaceName);
    }
    return 1;
}

// The faces of the system, the message font's first: Windows gives it the scripts of the
// user's language, and its other faces hold the rest.
std::vector<std::wstring> SystemFaces() {
    std::vector<std::wstring> faces;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        faces.emplace_back(metrics.lfMessageFont.lfFaceName);
    }
    kv::win::WindowDC screen(nullptr);
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(screen.Get(), &all, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

FaceChoice ChooseFace(std::wstring_view texts) {
    const FaceChoice roboto{L"Roboto Regular", L"Roboto Bold", FW_NORMAL};
    if (FaceDrawsAll(roboto, texts)) return roboto;
    const std::vector<std::wstring> faces = SystemFaces();
    for (const std::wstring& face : faces) {
        const FaceChoice candidate{face, face, FW_BOLD};
        if (FaceDrawsAll(candidate, texts)) return candidate;
    }
    // None has every character: the message font, which Windows links to further faces.
    return faces.empty() ? roboto : FaceChoice{faces.front(), faces.front(), FW_BOLD};
}

int FontHeight(HFONT font) {
    LOGFONTW described{};
    ::GetObjectW(font, sizeof(described), &described);
    return described.lfHeight;
}

}  // namespace

void AddEmbeddedFonts(HMODULE module) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(kFontBundleId), RT_RCDATA);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* bundle =
        loaded ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    if (!bundle) return;  // missing: the faces are then taken from whatever the system has
    const std::span<const unsigned char> packed(bundle, ::SizeofResource(module, found));
    for (const int entry : {kRegularFontEntry, kBoldFontEntry}) {
        const int slot = entry - kRegularFontEntry;
        if (g_embedded[slot]) continue;
        std::optional<std::string> bytes = kv::packed::UnpackEntry(packed, entry);
        if (!bytes || bytes->empty()) continue;
        g_embeddedBytes[slot] = std::move(*bytes);
        DWORD count = 0;
        g_embedded[slot] = kv::win::MemoryFont(::AddFontMemResourceEx(
            g_embeddedBytes[slot].data(), static_cast<DWORD>(g_embeddedBytes[slot].size()), nullptr,
            &count));
        if (!g_embedded[slot]) g_embeddedBytes[slot].clear();
    }
}

bool FontHasEveryCharacter(HFONT font, std::wstring_view texts) {
    std::wstring needed;
    for (const wchar_t c : texts) {
        if (NeedsGlyph(c)) needed += c;
    }
    if (needed.empty()) return true;
    kv::win::MemoryDC dc(nullptr);
    kv::win::SelectedObject selected(dc.Get(), font);
    std::vector<WORD> glyphs(needed.size());
    if (::GetGlyphIndicesW(dc.Get(), needed.c_str(), static_cast<int>(needed.size()), glyphs.data(),
                           GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
        return false;
    }
    for (const WORD glyph : glyphs) {
        if (glyph == 0xFFFF) return false;
    }
    return true;
}

void CreatePageFonts(int dpi, HFONT dialogFont, std::wstring_view texts) {
    std::wstring all(texts);
    all += kComposedCharacters;
    const FaceChoice face = ChooseFace(all);
    auto height = [&](int points) { return -kv::pages::FontPixelHeight(points, dpi); };
    g_titleFont = MakeFont(face.bold, face.boldWeight, height(kTitleFontPoints));
    g_subtitleFont = MakeFont(face.bold, face.boldWeight, height(kSubtitleFontPoints));
    g_textFont = MakeFont(face.regular, FW_NORMAL, height(kTextFontPoints));
    g_controlFont.Reset();
    if (dialogFont && !FontHasEveryCharacter(dialogFont, all)) {
        g_controlFont = MakeFont(face.regular, FW_NORMAL, FontHeight(dialogFont));
    }
}

void GiveControlsAReadableFont(HWND page) {
    if (!g_controlFont) return;
    const auto dialogFont = reinterpret_cast<HFONT>(::SendMessageW(page, WM_GETFONT, 0, 0));
    for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0)) == dialogFont) {
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_controlFont.Get()), TRUE);
        }
    }
}
