#include "i18n/utf8.h"

namespace kv::i18n {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Decodes one sequence at the front of `s`; consumes at least one byte.
char32_t DecodeOne(std::string_view& s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        s.remove_prefix(1);
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        s.remove_prefix(1);
        return kReplacement;
    }
    int taken = 1;
    for (; taken < length && taken < static_cast<int>(s.size()); ++taken) {
        const auto next = static_cast<unsigned char>(s[taken]);
        if ((next & 0xC0) != 0x80) break;
        cp = (cp << 6) | (next & 0x3F);
    }
    s.remove_prefix(taken);
    if (taken < length || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kReplacement;
    }
    return cp;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    while (!utf8.empty()) AppendCodePoint(out, DecodeOne(utf8));
    return out;
}

}  // namespace kv::i18n
