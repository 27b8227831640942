#pragma once

#include <cstdint>
#include <string>

namespace kv::i18n {

// The decimal digits of a whole number, with a leading '-' when negative. The shipped program
// writes numbers with this instead of std::to_wstring, whose wide printf brings about 18 KiB of
// float formatting into the program for nothing.
inline std::wstring DecimalText(int64_t number) {
    wchar_t digits[24];
    wchar_t* const end = digits + sizeof(digits) / sizeof(digits[0]);
    wchar_t* first = end;
    // Works on the magnitude as unsigned so that the most negative number has one too.
    uint64_t magnitude =
        number < 0 ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *--first = L'-';
    return std::wstring(first, end);
}

}  // namespace kv::i18n
