#pragma once
// The three fonts every page draws with, made by the main window from the program's own font
// files and kept until the process ends.

#include "win/handles.h"

extern kv::win::Font g_titleFont;     // "Roboto Bold", 14 points
extern kv::win::Font g_subtitleFont;  // "Roboto Bold", 11 points
extern kv::win::Font g_textFont;      // "Roboto Regular", 10 points

// RGB(42, 63, 79): the colour of the pages' own texts.
inline constexpr COLORREF kPageTextColour = RGB(42, 63, 79);
