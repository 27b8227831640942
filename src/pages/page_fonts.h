#pragma once
// The fonts every page draws with, made by the main window and kept until the process ends.
// The pages' own face is the embedded Roboto; a language whose texts Roboto cannot draw (Hebrew,
// Armenian, Japanese, ...) gets a face of the system that has every character of them.

#include <string>
#include <string_view>

#include "win/handles.h"

extern kv::win::Font g_titleFont;     // "Roboto Bold", kTitleFontPoints
extern kv::win::Font g_subtitleFont;  // "Roboto Bold", kSubtitleFontPoints
extern kv::win::Font g_textFont;      // "Roboto Regular", kTextFontPoints
// For the controls that keep the dialog's font (status line, buttons) when that font lacks
// characters of the texts: the pages' face at the dialog font's size. Null when not needed.
extern kv::win::Font g_controlFont;

// The fonts' sizes; their pixel heights follow the main window's DPI (made anew when it changes).
inline constexpr int kTitleFontPoints = 14;
inline constexpr int kSubtitleFontPoints = 11;
inline constexpr int kTextFontPoints = 10;

// RGB(42, 63, 79): the colour of the pages' own texts.
inline constexpr COLORREF kPageTextColour = RGB(42, 63, 79);

// The embedded Roboto faces: entries of the packed bundle in RCDATA resource kFontBundleId.
inline constexpr int kFontBundleId = 185;
inline constexpr int kRegularFontEntry = 183;
inline constexpr int kBoldFontEntry = 184;

// Adds the Roboto faces embedded in `module` to the process's private font table (once each).
void AddEmbeddedFonts(HMODULE module);

// Makes the four fonts above for `dpi`, in a face that can draw `texts` (every text the pages may
// show); `dialogFont` is the font the dialog templates give their controls.
void CreatePageFonts(int dpi, HFONT dialogFont, std::wstring_view texts);

// True when the font has a glyph for every visible character of `texts`.
bool FontHasEveryCharacter(HFONT font, std::wstring_view texts);

// Sets g_controlFont, if there is one, on every child of `page` that draws with the page's own
// dialog font.
void GiveControlsAReadableFont(HWND page);
