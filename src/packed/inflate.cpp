#include "packed/inflate.h"

#include <array>
#include <cstdint>
#include <exception>

namespace kv::packed {
namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kLiteralLengthSymbols = 288;  // 286 used; the fixed code names two more
constexpr int kDistanceSymbols = 30;
constexpr int kEndOfBlock = 256;

constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block lists the code lengths of its code-length code.
constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// LSB-first bits of the stream. Reading past the end yields zero bits and marks the reader as
// failed, so the decoder checks once per symbol rather than after every read.
class BitReader {
  public:
    explicit BitReader(std::span<const unsigned char> data) : data_(data) {}

    uint32_t Bits(int count) {
        while (held_ < count) {
            if (next_ == data_.size()) {
                failed_ = true;
                return 0;
            }
            buffer_ |= static_cast<uint32_t>(data_[next_++]) << held_;
            held_ += 8;
        }
        const uint32_t value = buffer_ & ((1u << count) - 1);
        buffer_ >>= count;
        held_ -= count;
        return value;
    }

    // Fewer than 8 bits are ever held, all of the current byte: dropping them aligns.
    void AlignToByte() {
        buffer_ = 0;
        held_ = 0;
    }

    bool Failed() const { return failed_; }

  private:
    std::span<const unsigned char> data_;
    size_t next_ = 0;
    uint32_t buffer_ = 0;
    int held_ = 0;
    bool failed_ = false;
};

// A canonical Huffman code: how many codes each length has, and the symbols ordered by code.
struct Code {
    std::array<uint16_t, kMaxCodeBits + 1> countOfLength{};
    std::array<uint16_t, kLiteralLengthSymbols> symbols{};
};

// False for an over-subscribed or an incomplete set of lengths, as zlib decides: an incomplete
// literal/length or distance code is allowed only as one code of one bit (or none at all).
bool BuildCode(const uint8_t* lengths, int symbolCount, Code& code, bool lengthCode = false) {
    code.countOfLength.fill(0);
    for (int s = 0; s < symbolCount; ++s) ++code.countOfLength[lengths[s]];
    int left = 1;
    int longest = 0;
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        left = (left << 1) - code.countOfLength[length];
        if (left < 0) return false;
        if (code.countOfLength[length] != 0) longest = length;
    }
    if (left > 0 && longest != 0 && (lengthCode || longest != 1)) return false;
    std::array<uint16_t, kMaxCodeBits + 2> offset{};
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        offset[length + 1] = offset[length] + code.countOfLength[length];
    }
    for (int s = 0; s < symbolCount; ++s) {
        if (lengths[s] != 0) code.symbols[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    return true;
}

// The next symbol, or -1 for a code the table does not hold.
int DecodeSymbol(BitReader& bits, const Code& code) {
    int value = 0;  // the bits read so far, as a code of the current length
    int first = 0;  // the first code of the current length
    int index = 0;  // where the current length's symbols start
    for (int length = 1; length <= kMaxCodeBits; ++length) {
        value |= static_cast<int>(bits.Bits(1));
        const int count = code.countOfLength[length];
        if (value - first < count) return code.symbols[index + value - first];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

class Inflater {
  public:
    Inflater(std::span<const unsigned char> stream, size_t wanted)
        : bits_(stream), wanted_(wanted) {
        out_.reserve(wanted);
    }

    std::optional<std::string> Run() {
        bool last = false;
        while (!last && out_.size() < wanted_) {
            last = bits_.Bits(1) == 1;
            const uint32_t type = bits_.Bits(2);
            bool ok = false;
            if (type == 0) ok = StoredBlock();
            if (type == 1) ok = FixedBlock();
            if (type == 2) ok = DynamicBlock();
            if (!ok || bits_.Failed()) return std::nullopt;
        }
        if (out_.size() < wanted_) return std::nullopt;
        out_.resize(wanted_);
        return std::move(out_);
    }

  private:
    bool StoredBlock() {
        bits_.AlignToByte();
        const uint32_t length = bits_.Bits(16);
        const uint32_t complement = bits_.Bits(16);
        if (length != (~complement & 0xFFFF)) return false;
        for (uint32_t i = 0; i < length && !bits_.Failed() && out_.size() < wanted_; ++i) {
            out_ += static_cast<char>(bits_.Bits(8));
        }
        return !bits_.Failed();
    }

    bool FixedBlock() {
        // The fixed distance code has 32 five-bit codes; the last two name no distance.
        constexpr int kFixedDistanceCodes = 32;
        std::array<uint8_t, kLiteralLengthSymbols + kFixedDistanceCodes> lengths{};
        for (int s = 0; s < kLiteralLengthSymbols; ++s) {
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        }
        for (int s = 0; s < kFixedDistanceCodes; ++s) lengths[kLiteralLengthSymbols + s] = 5;
        return Codes(lengths.data(), kLiteralLengthSymbols, lengths.data() + kLiteralLengthSymbols,
                     kFixedDistanceCodes);
    }

    bool DynamicBlock() {
        const int literalCount = static_cast<int>(bits_.Bits(5)) + 257;
        const int distanceCount = static_cast<int>(bits_.Bits(5)) + 1;
        const int lengthCodeCount = static_cast<int>(bits_.Bits(4)) + 4;
        if (literalCount > 286 || distanceCount > kDistanceSymbols) return false;

        std::array<uint8_t, 19> codeLengthLengths{};
        for (int i = 0; i < lengthCodeCount; ++i) {
            codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits_.Bits(3));
        }
        Code lengthCode;
        if (!BuildCode(codeLengthLengths.data(), 19, lengthCode, true)) return false;

        // Literal/length and distance lengths form one sequence; a repeat may cross from one
        // into the other.
        std::array<uint8_t, 286 + kDistanceSymbols> lengths{};
        const int total = literalCount + distanceCount;
        for (int filled = 0; filled < total;) {
            const int symbol = DecodeSymbol(bits_, lengthCode);
            if (symbol < 0 || bits_.Failed()) return false;
            if (symbol < 16) {
                lengths[filled++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t repeated = 0;
            int times = 0;
            if (symbol == 16) {
                if (filled == 0) return false;
                repeated = lengths[filled - 1];
                times = 3 + static_cast<int>(bits_.Bits(2));
            } else if (symbol == 17) {
                times = 3 + static_cast<int>(bits_.Bits(3));
            } else {
                times = 11 + static_cast<int>(bits_.Bits(7));
            }
            if (filled + times > total) return false;
            while (times-- > 0) lengths[filled++] = repeated;
        }
        if (lengths[kEndOfBlock] == 0) return false;  // a block must be able to end
        return Codes(lengths.data(), literalCount, lengths.data() + literalCount, distanceCount);
    }

    bool Codes(const uint8_t* literalLengths, int literalCount, const uint8_t* distanceLengths,
               int distanceCount) {
        Code literals;
        Code distances;
        if (!BuildCode(literalLengths, literalCount, literals) ||
            !BuildCode(distanceLengths, distanceCount, distances)) {
            return false;
        }
        while (out_.size() < wanted_) {
            const int symbol = DecodeSymbol(bits_, literals);
            if (symbol < 0 || bits_.Failed()) return false;
            if (symbol < 256) {
                out_ += static_cast<char>(symbol);
                continue;
            }
            if (symbol == kEndOfBlock) return true;
            const int lengthIndex = symbol - 257;
            if (lengthIndex >= static_cast<int>(kLengthBase.size())) return false;
            const size_t length = kLengthBase[lengthIndex] + bits_.Bits(kLengthExtra[lengthIndex]);
            const int distanceSymbol = DecodeSymbol(bits_, distances);
            if (distanceSymbol < 0 || distanceSymbol >= kDistanceSymbols) return false;
            const size_t distance =
                kDistanceBase[distanceSymbol] + bits_.Bits(kDistanceExtra[distanceSymbol]);
            if (bits_.Failed() || distance > out_.size()) return false;
            // Byte by byte: the copy may overlap the bytes it produces.
            for (size_t i = 0; i < length && out_.size() < wanted_; ++i) {
                out_ += out_[out_.size() - distance];
            }
        }
        return true;
    }

    BitReader bits_;
    size_t wanted_;
    std::string out_;
};

}  // namespace

std::optional<std::string> InflatePrefix(std::span<const unsigned char> stream, size_t wanted) try {
    return Inflater(stream, wanted).Run();
} catch (const std::exception&) {
    return std::nullopt;  // no room for the result
}

}  // namespace kv::packed
