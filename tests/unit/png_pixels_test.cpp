// The program's PNG decoder on pictures this test encodes with zlib: every row filter, the
// palette with its transparency, RGB and RGBA, IDAT split in two; damaged or unsupported files
// give nothing (and never read past their end).

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "win/png_pixels.h"

namespace kv::win {
namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    Put32(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

int Predictor(int filter, int left, int up, int upLeft) {
    switch (filter) {
        case 1:
            return left;
        case 2:
            return up;
        case 3:
            return (left + up) / 2;
        case 4: {  // Paeth
            const int estimate = left + up - upLeft;
            const int a = std::abs(estimate - left), b = std::abs(estimate - up),
                      c = std::abs(estimate - upLeft);
            return a <= b && a <= c ? left : (b <= c ? up : upLeft);
        }
        default:
            return 0;
    }
}

struct Picture {
    int width = 0;
    int height = 0;
    int colourType = 6;
    int channels = 4;
    Bytes samples;  // rows of unfiltered samples
    Bytes palette;  // RGB triples
    Bytes alphas;   // tRNS
};

// The file, row y filtered with filter y % 5 (or every row marked `filterMark`, its samples as
// they are); its IDAT data split into two chunks.
Bytes Encode(const Picture& picture, uint8_t bitDepth = 8, uint8_t interlace = 0,
             int filterMark = -1) {
    const size_t rowBytes = size_t(picture.width) * picture.channels;
    Bytes filtered;
    for (int y = 0; y < picture.height; ++y) {
        const int filter = filterMark < 0 ? y % 5 : filterMark;
        filtered.push_back(uint8_t(filter));
        const unsigned char* row = &picture.samples[y * rowBytes];
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= size_t(picture.channels) ? row[i - picture.channels] : 0;
            const int up = y > 0 ? row[i - rowBytes] : 0;
            const int upLeft =
                y > 0 && i >= size_t(picture.channels) ? row[i - rowBytes - picture.channels] : 0;
            filtered.push_back(uint8_t(row[i] - Predictor(filter, left, up, upLeft)));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(filtered.size()));
    Bytes compressed(size);
    EXPECT_EQ(compress2(compressed.data(), &size, filtered.data(),
                        static_cast<uLong>(filtered.size()), 9),
              Z_OK);
    compressed.resize(size);

    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32(header, static_cast<uint32_t>(picture.width));
    Put32(header, static_cast<uint32_t>(picture.height));
    header.insert(header.end(), {bitDepth, uint8_t(picture.colourType), 0, 0, interlace});
    PutChunk(file, "IHDR", header);
    if (!picture.palette.empty()) PutChunk(file, "PLTE", picture.palette);
    if (!picture.alphas.empty()) PutChunk(file, "tRNS", picture.alphas);
    const size_t half = compressed.size() / 2;
    PutChunk(file, "IDAT", Bytes(compressed.begin(), compressed.begin() + half));
    PutChunk(file, "IDAT", Bytes(compressed.begin() + half, compressed.end()));
    PutChunk(file, "IEND", {});
    return file;
}

Picture Random(int colourType, int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Picture picture{width, height, colourType, colourType == 3 ? 1 : colourType == 2 ? 3 : 4};
    for (size_t i = 0; i < size_t(width) * height * picture.channels; ++i) {
        picture.samples.push_back(uint8_t(random() % (colourType == 3 ? 7 : 256)));
    }
    if (colourType == 3) {
        for (int i = 0; i < 7 * 3; ++i) picture.palette.push_back(uint8_t(random()));
        picture.alphas = {0, 128, 255, 1};  // the last three entries stay opaque
    }
    return picture;
}

uint32_t Expected(const Picture& picture, size_t index) {
    const unsigned char* s = &picture.samples[index * picture.channels];
    if (picture.colourType == 6) return uint32_t(s[3]) << 24 | s[0] << 16 | s[1] << 8 | s[2];
    if (picture.colourType == 2) return 0xFF000000u | s[0] << 16 | s[1] << 8 | s[2];
    const unsigned char* rgb = &picture.palette[s[0] * 3];
    const uint32_t alpha = s[0] < picture.alphas.size() ? picture.alphas[s[0]] : 255;
    return alpha << 24 | rgb[0] << 16 | rgb[1] << 8 | rgb[2];
}

TEST(PngPixels, DecodesEveryFilterAndKind) {
    for (int colourType : {2, 3, 6}) {
        const Picture picture = Random(colourType, 13, 11, 7 + colourType);
        const Bytes file = Encode(picture);
        const auto size = PngSize(file);
        ASSERT_TRUE(size);
        EXPECT_EQ(*size, std::make_pair(13, 11));
        const auto decoded = DecodePng(file);
        ASSERT_TRUE(decoded) << colourType;
        EXPECT_EQ(decoded->width, 13);
        EXPECT_EQ(decoded->height, 11);
        ASSERT_EQ(decoded->argb.size(), 13u * 11u);
        for (size_t i = 0; i < decoded->argb.size(); ++i) {
            ASSERT_EQ(decoded->argb[i], Expected(picture, i)) << colourType << " pixel " << i;
        }
    }
}

TEST(PngPixels, DamagedOrUnsupportedFilesGiveNothing) {
    const Picture palette = Random(3, 9, 6, 1);
    const Bytes file = Encode(palette);
    for (size_t length = 0; length < file.size() - 12; ++length) {  // cut before IEND
        EXPECT_FALSE(DecodePng(Bytes(file.begin(), file.begin() + length))) << length;
    }
    Picture outOfPalette = palette;
    outOfPalette.samples[20] = 7;  // the palette has seven entries
    EXPECT_FALSE(DecodePng(Encode(outOfPalette)));
    Picture noPalette = palette;
    noPalette.palette.clear();
    noPalette.alphas.clear();
    EXPECT_FALSE(DecodePng(Encode(noPalette)));
    EXPECT_FALSE(DecodePng(Encode(palette, 16)));
    EXPECT_FALSE(DecodePng(Encode(palette, 8, 1)));          // interlaced
    EXPECT_FALSE(DecodePng(Encode(palette, 8, 0, 5)));       // no such filter
    EXPECT_FALSE(DecodePng(Encode(Random(2, 5000, 1, 3))));  // wider than the decoder takes
    EXPECT_FALSE(PngSize(Bytes{1, 2, 3}));
}

TEST(PngPixels, PremultipliesWithRounding) {
    EXPECT_EQ(Premultiplied(0xFF123456u), 0xFF123456u);
    EXPECT_EQ(Premultiplied(0x00FFFFFFu), 0u);
    EXPECT_EQ(Premultiplied(0x80FF8001u), 0x80804001u);  // 128, 64.25 and 0.5 rounded
}

}  // namespace
}  // namespace kv::win
