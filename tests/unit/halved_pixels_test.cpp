#include "win/halved_pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using kv::win::HalvePixels;
using kv::win::Unpremultiplied;

// A 5x3 picture (odd last column and row are dropped) of two blocks: one a half-clear edge, one
// that checks each channel is averaged on its own and rounded to nearest.
TEST(HalvedPixels, AveragesEachBlockAndChannelOnItsOwn) {
    const std::vector<uint32_t> source = {
        0xFF204060, 0x00000000, 0x01020304, 0x05060708, 0xDEADBEEF,  //
        0xFF204060, 0x00000000, 0x090A0B0C, 0x0D0E0F11, 0xDEADBEEF,  //
        0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF,
    };
    std::vector<uint32_t> target(2, 0x12345678);
    HalvePixels(source.data(), 5, 3, target.data());
    EXPECT_EQ(target[0], 0x80102030u);
    EXPECT_EQ(target[1], 0x0708090Au);  // blue: 0x29 / 4 = 10.25 rounds to 10

    // Straight alpha again for icons: a half-clear premultiplied edge gets its colour back.
    EXPECT_EQ(Unpremultiplied(target[0]), 0x80204060u);
    EXPECT_EQ(Unpremultiplied(0xFF123456), 0xFF123456u);
    EXPECT_EQ(Unpremultiplied(0x00123456), 0u);
    EXPECT_EQ(Unpremultiplied(0x10FFFFFF), 0x10FFFFFFu);  // inconsistent input stays in range
}

}  // namespace
