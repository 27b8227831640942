#include "win/png_pixels.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "packed/inflate.h"

namespace kv::win {

namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxSide = 4096;

enum ColourType : uint8_t { kRgb = 2, kPalette = 3, kRgba = 6 };

uint32_t BigEndian32(const unsigned char* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           bytes[3];
}

struct Chunk {
    uint32_t type = 0;
    std::span<const unsigned char> data;
};

constexpr uint32_t ChunkType(const char (&name)[5]) {
    return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) |
           (uint32_t(uint8_t(name[2])) << 8) | uint32_t(uint8_t(name[3]));
}

// The chunks after the signature, one at a time; a chunk that runs past the file's end stops the
// walk with the reader marked failed.
class ChunkReader {
  public:
    explicit ChunkReader(std::span<const unsigned char> file) : file_(file) {
        failed_ = file.size() < kSignature.size() ||
                  !std::equal(kSignature.begin(), kSignature.end(), file.begin());
        next_ = kSignature.size();
    }

    bool Next(Chunk& chunk) {
        if (failed_ || file_.size() - next_ < 12) return false;
        const uint32_t length = BigEndian32(&file_[next_]);
        if (length > file_.size() - next_ - 12) {
            failed_ = true;
            return false;
        }
        chunk.type = BigEndian32(&file_[next_ + 4]);
        chunk.data = file_.subspan(next_ + 8, length);
        next_ += size_t{length} + 12;  // length, type, data, CRC
        return true;
    }
    bool Failed() const { return failed_; }

  private:
    std::span<const unsigned char> file_;
    size_t next_ = 0;
    bool failed_ = false;
};

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t colourType = 0;
    int channels = 0;
};

// Only the kinds this decoder takes.
std::optional<Header> ReadHeader(const Chunk& chunk) {
    if (chunk.type != ChunkType("IHDR") || chunk.data.size() != 13) return std::nullopt;
    const unsigned char* data = chunk.data.data();
    Header header{BigEndian32(data), BigEndian32(data + 4), data[9], 0};
    const uint8_t bitDepth = data[8];
    const bool plain = data[10] == 0 && data[11] == 0 && data[12] == 0;  // deflate, no interlace
    if (bitDepth != 8 || !plain || header.width == 0 || header.height == 0 ||
        header.width > kMaxSide || header.height > kMaxSide) {
        return std::nullopt;
    }
    switch (header.colourType) {
        case kRgb:
            header.channels = 3;
            break;
        case kPalette:
            header.channels = 1;
            break;
        case kRgba:
            header.channels = 4;
            break;
        default:
            return std::nullopt;
    }
    return header;
}

uint8_t Paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<uint8_t>(left);
    return static_cast<uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// Undoes each row's filter in place; `rows` holds per row its filter byte and its samples.
bool Unfilter(std::string& rows, size_t rowBytes, size_t height, int pixelBytes) {
    const size_t stride = rowBytes + 1;
    const std::vector<uint8_t> zeros(rowBytes, 0);
    for (size_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint8_t*>(rows.data() + y * stride);
        const uint8_t filter = row[0];
        uint8_t* line = row + 1;
        const uint8_t* previous =
            y == 0 ? zeros.data()
                   : reinterpret_cast<const uint8_t*>(rows.data() + (y - 1) * stride + 1);
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= size_t(pixelBytes) ? line[i - pixelBytes] : 0;
            const int up = previous[i];
            const int upLeft = i >= size_t(pixelBytes) ? previous[i - pixelBytes] : 0;
            switch (filter) {
                case 0:
                    break;
                case 1:
                    line[i] = uint8_t(line[i] + left);
                    break;
                case 2:
                    line[i] = uint8_t(line[i] + up);
                    break;
                case 3:
                    line[i] = uint8_t(line[i] + (left + up) / 2);
                    break;
                case 4:
                    line[i] = uint8_t(line[i] + Paeth(left, up, upLeft));
                    break;
                default:
                    return false;
            }
        }
    }
    return true;
}

uint32_t Argb(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

}  // namespace

std::optional<std::pair<int, int>> PngSize(std::span<const unsigned char> file) {
    ChunkReader chunks(file);
    Chunk chunk;
    if (!chunks.Next(chunk) || chunk.type != ChunkType("IHDR") || chunk.data.size() != 13) {
        return std::nullopt;
    }
    return std::pair<int, int>(static_cast<int>(BigEndian32(chunk.data.data()) & 0x7FFFFFFF),
                               static_cast<int>(BigEndian32(chunk.data.data() + 4) & 0x7FFFFFFF));
}

std::optional<PngPixels> DecodePng(std::span<const unsigned char> file) {
    ChunkReader chunks(file);
    Chunk chunk;
    if (!chunks.Next(chunk)) return std::nullopt;
    const std::optional<Header> header = ReadHeader(chunk);
    if (!header) return std::nullopt;

    // Unused palette entries stay opaque black; entries without transparency stay opaque.
    std::array<uint32_t, 256> palette;
    palette.fill(0xFF000000u);
    size_t paletteSize = 0;
    std::vector<unsigned char> compressed;
    bool ended = false;
    while (!ended && chunks.Next(chunk)) {
        const auto* data = chunk.data.data();
        if (chunk.type == ChunkType("PLTE")) {
            if (chunk.data.size() % 3 != 0 || chunk.data.size() > 3 * 256) return std::nullopt;
            paletteSize = chunk.data.size() / 3;
            for (size_t i = 0; i < paletteSize; ++i) {
                palette[i] = Argb(0xFF, data[3 * i], data[3 * i + 1], data[3 * i + 2]);
            }
        } else if (chunk.type == ChunkType("tRNS")) {
            // A colour key of an RGB picture is left to the system's decoder.
            if (header->colourType != kPalette || chunk.data.size() > 256) return std::nullopt;
            for (size_t i = 0; i < chunk.data.size(); ++i) {
                palette[i] = (palette[i] & 0x00FFFFFFu) | (uint32_t{data[i]} << 24);
            }
        } else if (chunk.type == ChunkType("IDAT")) {
            compressed.insert(compressed.end(), chunk.data.begin(), chunk.data.end());
        } else if (chunk.type == ChunkType("IEND")) {
            ended = true;
        }
    }
    if (!ended || (header->colourType == kPalette && paletteSize == 0)) return std::nullopt;

    // A zlib stream: deflate with a window of at most 32 KiB, no preset dictionary.
    if (compressed.size() < 2 || (compressed[0] & 0x0F) != 8 || (compressed[0] >> 4) > 7 ||
        (compressed[1] & 0x20) != 0 || (compressed[0] * 256 + compressed[1]) % 31 != 0) {
        return std::nullopt;
    }
    const size_t rowBytes = size_t{header->width} * size_t(header->channels);
    std::optional<std::string> rows = kv::packed::InflatePrefix(
        std::span<const unsigned char>(compressed).subspan(2), (rowBytes + 1) * header->height);
    if (!rows || !Unfilter(*rows, rowBytes, header->height, header->channels)) return std::nullopt;

    PngPixels pixels;
    pixels.width = static_cast<int>(header->width);
    pixels.height = static_cast<int>(header->height);
    pixels.argb.resize(size_t{header->width} * header->height);
    uint32_t* out = pixels.argb.data();
    for (size_t y = 0; y < header->height; ++y) {
        const auto* in = reinterpret_cast<const uint8_t*>(rows->data() + y * (rowBytes + 1) + 1);
        for (size_t x = 0; x < header->width; ++x, ++out) {
            switch (header->colourType) {
                case kPalette:
                    if (in[x] >= paletteSize) return std::nullopt;
                    *out = palette[in[x]];
                    break;
                case kRgb:
                    *out = Argb(0xFF, in[3 * x], in[3 * x + 1], in[3 * x + 2]);
                    break;
                default:
                    *out = Argb(in[4 * x + 3], in[4 * x], in[4 * x + 1], in[4 * x + 2]);
                    break;
            }
        }
    }
    return pixels;
}

uint32_t Premultiplied(uint32_t pixel) {
    const uint32_t alpha = pixel >> 24;
    if (alpha == 255) return pixel;
    auto scale = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
    return (alpha << 24) | (scale((pixel >> 16) & 0xFF) << 16) | (scale((pixel >> 8) & 0xFF) << 8) |
           scale(pixel & 0xFF);
}

}  // namespace kv::win
