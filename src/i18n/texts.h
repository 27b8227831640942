#pragma once
// The display texts of this run, from the language file that matches the user's locale.
// User-interface thread only.

#include <string>
#include <string_view>

// The text stored for `key`, or an empty text. The view stays valid until the process ends.
std::wstring_view GetText(std::wstring_view key);
// The text with its first "{0}" replaced by `argument` (or by `number` in decimal).
std::wstring FormatText(std::wstring_view key, std::wstring_view argument);
std::wstring FormatText(std::wstring_view key, int number);

// Every text of this run's language file, one after another: what the pages may have to draw.
std::wstring AllTexts();
// True when this run's texts read from right to left: the windows are then mirrored.
bool TextsReadRightToLeft();
