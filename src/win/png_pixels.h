#pragma once
// Platform-free decoding of the PNG files the build draws for the program: 8 bits a sample, not
// interlaced, with a palette (and its transparency), RGB or RGBA. The system's decoder loads a
// dozen libraries before its first picture, which held the window up at every start; anything
// this one does not take is left to it.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace kv::win {

struct PngPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // top-down rows of 0xAARRGGBB, straight (not premultiplied)
};

// The picture's width and height from its header, or nothing when `file` starts with none.
std::optional<std::pair<int, int>> PngSize(std::span<const unsigned char> file);

// The picture's pixels, or nothing when the file is malformed, of a kind not named above, or
// larger than 4096 x 4096.
std::optional<PngPixels> DecodePng(std::span<const unsigned char> file);

// The premultiplied form of a straight-alpha 0xAARRGGBB pixel, each channel rounded.
uint32_t Premultiplied(uint32_t pixel);

}  // namespace kv::win
