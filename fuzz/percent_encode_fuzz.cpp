// Percent-encoding of usage-event values: whatever the text, the result holds only unreserved
// characters and "%XX" escapes, and for text of valid code points it decodes back to the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analytics/measurement_query.h"
#include "i18n/utf8.h"

namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;  // lower-case digits are never produced
}

bool IsUnreserved(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           c == L'-' || c == L'.' || c == L'_' || c == L'~';
}

// The bytes the escaped text stands for; aborts on anything the encoder must not produce.
std::string Decode(const std::wstring& encoded) {
    std::string bytes;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (IsUnreserved(encoded[i])) {
            bytes += static_cast<char>(encoded[i]);
            continue;
        }
        if (encoded[i] != L'%' || i + 2 >= encoded.size() || HexValue(encoded[i + 1]) < 0 ||
            HexValue(encoded[i + 2]) < 0) {
            std::abort();
        }
        bytes += static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
        i += 2;
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Three bytes per character reach every code point, the surrogates and beyond.
    std::wstring text;
    bool valid = true;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        const uint32_t unit = data[i] | data[i + 1] << 8 | (data[i + 2] & 0x1F) << 16;
        if (unit >= 0xD800 && unit <= 0xDFFF) valid = false;
        if (unit > 0x10FFFF) valid = false;
        text += static_cast<wchar_t>(unit);
    }
    const std::wstring encoded = kv::analytics::PercentEncode(text);
    const std::string bytes = Decode(encoded);
    if (valid && kv::i18n::Utf8ToWide(bytes) != text) std::abort();
    return 0;
}
