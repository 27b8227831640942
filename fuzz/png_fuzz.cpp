// The picture decoder on arbitrary files: it never reads or writes out of bounds, and a picture it
// accepts has the header's size and one pixel for each place in it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "win/png_pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const unsigned char> file(data, size);
    const auto pixels = kv::win::DecodePng(file);
    if (!pixels) return 0;
    const auto header = kv::win::PngSize(file);
    if (!header || header->first != pixels->width || header->second != pixels->height) std::abort();
    if (pixels->argb.size() != static_cast<size_t>(pixels->width) * pixels->height) std::abort();
    return 0;
}
