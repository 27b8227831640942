#pragma once
// The three fonts every page draws with, made by the main window from the program's own font
// files and kept until the process ends.

#include "win/handles.h"

extern kv::win::Font g_titleFont;     // "Roboto Bold", kTitleFontPoints
extern kv::win::Font g_subtitleFont;  // "Roboto Bold", kSubtitleFontPoints
extern kv::win::Font g_textFont;      // "Roboto Regular", kTextFontPoints

// The fonts' sizes; their pixel heights follow the main window's DPI (made anew when it changes).
inline constexpr int kTitleFontPoints = 14;
inline constexpr int kSubtitleFontPoints = 11;
inline constexpr int kTextFontPoints = 10;

// RGB(42, 63, 79): the colour of the pages' own texts.
inline constexpr COLORREF kPageTextColour = RGB(42, 63, 79);
