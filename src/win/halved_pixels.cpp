#include "win/halved_pixels.h"

#include <cstddef>

namespace kv::win {

namespace {

uint32_t Channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFF;
}

uint32_t Average(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t sum =
            Channel(a, shift) + Channel(b, shift) + Channel(c, shift) + Channel(d, shift);
        result |= ((sum + 2) / 4) << shift;
    }
    return result;
}

}  // namespace

void HalvePixels(const uint32_t* source, int width, int height, uint32_t* target) {
    const int halfWidth = width / 2;
    const int halfHeight = height / 2;
    const auto stride = static_cast<size_t>(width);
    for (int y = 0; y < halfHeight; ++y) {
        const uint32_t* upper = source + static_cast<size_t>(2 * y) * stride;
        const uint32_t* lower = upper + stride;
        uint32_t* row = target + static_cast<size_t>(y) * static_cast<size_t>(halfWidth);
        for (int x = 0; x < halfWidth; ++x) {
            row[x] = Average(upper[2 * x], upper[2 * x + 1], lower[2 * x], lower[2 * x + 1]);
        }
    }
}

uint32_t Unpremultiplied(uint32_t pixel) {
    const uint32_t alpha = pixel >> 24;
    if (alpha == 255 || alpha == 0) return alpha == 0 ? 0 : pixel;
    auto scale = [alpha](uint32_t channel) {
        const uint32_t value = (channel * 255 + alpha / 2) / alpha;
        return value > 255 ? 255u : value;
    };
    return (alpha << 24) | (scale(Channel(pixel, 16)) << 16) | (scale(Channel(pixel, 8)) << 8) |
           scale(Channel(pixel, 0));
}

}  // namespace kv::win
