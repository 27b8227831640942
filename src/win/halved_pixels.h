#pragma once
// Platform-free pixel arithmetic for pictures shrunk to exactly half their size: the pictures
// are drawn at twice their 96-DPI size, and a plain 2x2 average is both exact and far quicker
// than a general-purpose filter.

#include <cstdint>

namespace kv::win {

// Writes the `width`/2 x `height`/2 picture whose every pixel is the rounded average of a 2x2
// block of `source` (rows of `width` 32-bit pixels, each channel averaged on its own). The
// pixels must carry premultiplied alpha, or the colour of clear pixels bleeds into the edges.
// An odd last row or column is left out.
void HalvePixels(const uint32_t* source, int width, int height, uint32_t* target);

// The straight-alpha (not premultiplied) form of a premultiplied 0xAARRGGBB pixel.
uint32_t Unpremultiplied(uint32_t pixel);

}  // namespace kv::win
