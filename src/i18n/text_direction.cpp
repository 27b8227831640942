#include "i18n/text_direction.h"

namespace kv::i18n {
namespace {

// Hebrew, Arabic, Syriac, Thaana, N'Ko and their presentation forms.
bool IsRightToLeftLetter(wchar_t c) {
    return (c >= 0x0590 && c <= 0x07FF) || (c >= 0x08A0 && c <= 0x08FF) ||
           (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

// Letters of every other script. Digits, punctuation, symbols and spaces take no side; for the
// texts we ship, counting every character from U+00C0 up outside the neutral blocks is enough.
bool IsLeftToRightLetter(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) return true;
    if (c < 0x00C0 || c == 0x00D7 || c == 0x00F7 || IsRightToLeftLetter(c)) return false;
    const bool neutralBlock = (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
                              (c >= 0xFF00 && c <= 0xFF20) || (c >= 0xD800 && c <= 0xDFFF);
    return !neutralBlock;
}

}  // namespace

bool ReadsRightToLeft(std::wstring_view text) {
    long rightToLeft = 0;
    long leftToRight = 0;
    for (const wchar_t c : text) {
        rightToLeft += IsRightToLeftLetter(c);
        leftToRight += IsLeftToRightLetter(c);
    }
    // A translation in progress keeps some English entries (and names stay in Latin letters):
    // a third of the letters is enough to make it a right-to-left text.
    return rightToLeft > 0 && 2 * rightToLeft >= leftToRight;
}

}  // namespace kv::i18n
