#include "crypto/cipher_modes.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "crypto/cipher_engine.h"

namespace {

// Unit work is done in pieces of this many bytes with stack scratch, so nothing is allocated.
constexpr size_t kChunkSize = 4096;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xEDB88320u : 0);
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t LoadLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLe32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t LoadLe64(const unsigned char* p) {
    return LoadLe32(p) | uint64_t(LoadLe32(p + 4)) << 32;
}

void StoreLe64(unsigned char* p, uint64_t value) {
    StoreLe32(p, static_cast<uint32_t>(value));
    StoreLe32(p + 4, static_cast<uint32_t>(value >> 32));
}

uint64_t LoadBe64(const unsigned char* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | p[i];
    return value;
}

void StoreBe64(unsigned char* p, uint64_t value) {
    for (int i = 7; i >= 0; --i, value >>= 8) p[i] = static_cast<unsigned char>(value);
}

uint32_t CrcOfWord(uint32_t word) {
    unsigned char bytes[4];
    StoreLe32(bytes, word);
    return Crc32(bytes, sizeof bytes);
}

// XOR helpers. Against the library's parallel AES a plain XOR pass over a unit is not free, so
// the repeating-pattern XOR (the whitening) gets a 32-byte-lane variant for processors with AVX2,
// chosen at run time; both keep memcpy for alignment-agnostic loads.
typedef uint64_t Lane16 __attribute__((vector_size(16)));
typedef uint64_t Lane32 __attribute__((vector_size(32)));

void XorInto(unsigned char* data, const unsigned char* other, size_t length) {
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        Lane16 a, b;
        std::memcpy(&a, data + i, 16);
        std::memcpy(&b, other + i, 16);
        a ^= b;
        std::memcpy(data + i, &a, 16);
    }
    for (; i < length; ++i) data[i] ^= other[i];
}

size_t XorRepeatingLanes16(unsigned char* data, size_t length, uint64_t word) {
    const Lane16 lane = {word, word};
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        Lane16 a;
        std::memcpy(&a, data + i, 16);
        a ^= lane;
        std::memcpy(data + i, &a, 16);
    }
    return i;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) size_t XorRepeatingLanes32(unsigned char* data, size_t length,
                                                           uint64_t word) {
    const Lane32 lane = {word, word, word, word};
    size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        Lane32 a;
        std::memcpy(&a, data + i, 32);
        a ^= lane;
        std::memcpy(data + i, &a, 32);
    }
    return i + XorRepeatingLanes16(data + i, length - i, word);
}

using XorLanes = size_t (*)(unsigned char*, size_t, uint64_t);

XorLanes ChooseXorRepeatingLanes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? XorRepeatingLanes32 : XorRepeatingLanes16;
}
#endif

void XorRepeating(unsigned char* data, size_t length, const unsigned char pattern[8]) {
    uint64_t word;
    std::memcpy(&word, pattern, 8);
    if (word == 0) return;
#if defined(__x86_64__) || defined(__i386__)
    static const XorLanes lanes = ChooseXorRepeatingLanes();
    size_t i = lanes(data, length, word);
#else
    size_t i = XorRepeatingLanes16(data, length, word);
#endif
    for (; i < length; ++i) data[i] ^= pattern[i % 8];
}

bool ChainHasUniformBlockSize(int algorithm, uint32_t blockSize) {
    for (int position = 0; position < ChainLength(algorithm); ++position) {
        if (CipherBlockSize(ChainCipher(algorithm, position)) != blockSize) return false;
    }
    return true;
}

// ---- CBC with whitening (modes 2 and 4: one pass per cipher) ----

void PlainCbcEncipher(const CipherSlot& slot, uint32_t cipher, uint32_t blockSize,
                      const unsigned char* iv, unsigned char* data, size_t length) {
    if (BulkLease lease(&slot); lease) {
        lease.CbcEncipher(iv, blockSize, data, length);
        return;
    }
    const unsigned char* previous = iv;
    for (size_t offset = 0; offset < length; offset += blockSize) {
        XorInto(data + offset, previous, blockSize);
        EncipherBlock(cipher, data + offset, &slot);
        previous = data + offset;
    }
}

void PlainCbcDecipher(const CipherSlot& slot, uint32_t blockSize, const unsigned char* iv,
                      unsigned char* data, size_t length) {
    if (BulkLease lease(&slot); lease) {
        lease.CbcDecipher(iv, blockSize, data, length);
        return;
    }
    // Decipher a chunk at a time into scratch, then chain backwards so that every block's
    // predecessor is still ciphertext when it is needed.
    unsigned char scratch[kChunkSize];
    unsigned char previous[16];
    unsigned char nextPrevious[16];
    std::memcpy(previous, iv, blockSize);
    const size_t chunkSize = kChunkSize - kChunkSize % blockSize;
    for (size_t offset = 0; offset < length; offset += chunkSize) {
        const size_t piece = std::min(chunkSize, length - offset);
        unsigned char* chunk = data + offset;
        std::memcpy(nextPrevious, chunk + piece - blockSize, blockSize);
        DecipherBlocks(&slot, chunk, scratch, piece);
        for (size_t i = piece - blockSize; i >= blockSize; i -= blockSize) {
            for (uint32_t k = 0; k < blockSize; ++k)
                chunk[i + k] = scratch[i + k] ^ chunk[i - blockSize + k];
        }
        for (uint32_t k = 0; k < blockSize; ++k) chunk[k] = scratch[k] ^ previous[k];
        std::memcpy(previous, nextPrevious, blockSize);
    }
}

void CbcPass(const KeySchedule& schedule, int position, unsigned char* data, size_t length,
             uint64_t unitNumber, bool derived, bool encipher) {
    const uint32_t cipher = ChainCipher(schedule.algorithm, position);
    const uint32_t blockSize = CipherBlockSize(cipher);
    if (blockSize == 0) return;
    const size_t whole = length - length % blockSize;
    if (whole == 0) return;
    const UnitIv unitIv = DeriveUnitIv(schedule.secondaryKey, unitNumber, blockSize, derived);
    const CipherSlot& slot = schedule.primary[position];
    if (encipher) {
        PlainCbcEncipher(slot, cipher, blockSize, unitIv.iv, data, whole);
        XorRepeating(data, whole, unitIv.whitening);
    } else {
        XorRepeating(data, whole, unitIv.whitening);
        PlainCbcDecipher(slot, blockSize, unitIv.iv, data, whole);
    }
}

void InnerCbc(const KeySchedule& schedule, unsigned char* data, size_t length, uint64_t unitNumber,
              bool derived, bool encipher) {
    const int chainLength = ChainLength(schedule.algorithm);
    for (int step = 0; step < chainLength; ++step) {
        const int position = encipher ? step : chainLength - 1 - step;
        CbcPass(schedule, position, data, length, unitNumber, derived, encipher);
    }
}

// ---- Outer CBC (mode 3: one pass, each block through the whole chain) ----

void ChainEncipherBlocks(const KeySchedule& schedule, unsigned char* data, size_t length) {
    const int chainLength = ChainLength(schedule.algorithm);
    for (int position = 0; position < chainLength; ++position) {
        EncipherBlocks(&schedule.primary[position], data, data, length);
    }
}

void ChainDecipherBlocks(const KeySchedule& schedule, unsigned char* data, size_t length) {
    for (int position = ChainLength(schedule.algorithm) - 1; position >= 0; --position) {
        DecipherBlocks(&schedule.primary[position], data, data, length);
    }
}

void OuterCbc(const KeySchedule& schedule, unsigned char* data, size_t length, uint64_t unitNumber,
              bool derived, bool encipher) {
    const uint32_t blockSize = AlgorithmBlockSize(schedule.algorithm);
    // A chain whose ciphers differ in block size has no whole-chain block operation.
    if (blockSize == 0 || !ChainHasUniformBlockSize(schedule.algorithm, blockSize)) return;
    const UnitIv unitIv = DeriveUnitIv(schedule.secondaryKey, unitNumber, blockSize, derived);
    unsigned char iv[16];
    unsigned char saved[16];
    std::memcpy(iv, unitIv.iv, blockSize);
    const size_t whole = length - length % blockSize;
    for (size_t offset = 0; offset < whole; offset += blockSize) {
        unsigned char* block = data + offset;
        if (encipher) {
            XorInto(block, iv, blockSize);
            ChainEncipherBlocks(schedule, block, blockSize);
            std::memcpy(iv, block, blockSize);
            XorRepeating(block, blockSize, unitIv.whitening);
        } else {
            XorRepeating(block, blockSize, unitIv.whitening);
            std::memcpy(saved, block, blockSize);
            ChainDecipherBlocks(schedule, block, blockSize);
            XorInto(block, iv, blockSize);
            std::memcpy(iv, saved, blockSize);
        }
    }
}

// ---- XTS (mode 5: one pass per cipher) ----

// Multiplies the little-endian tweak by the primitive element: GF(2^128) modulo
// x^128 + x^7 + x^2 + x + 1 as in IEEE 1619, or GF(2^64) modulo x^64 + x^4 + x^3 + x + 1 for the
// 64-bit block ciphers.
void NextXtsTweak(uint64_t& low, uint64_t& high, uint32_t blockSize) {
    if (blockSize == 16) {
        const uint64_t carry = high >> 63;
        high = high << 1 | low >> 63;
        low = low << 1 ^ (carry ? 0x87 : 0);
    } else {
        const uint64_t carry = low >> 63;
        low = low << 1 ^ (carry ? 0x1B : 0);
    }
}

void OwnXtsPass(const CipherSlot& slot, const CipherSlot& tweakSlot, uint32_t cipher,
                uint32_t blockSize, unsigned char* data, size_t length, uint64_t unitNumber,
                bool encipher) {
    unsigned char tweak[16] = {};
    StoreLe64(tweak, unitNumber);
    EncipherBlock(cipher, tweak, &tweakSlot);
    uint64_t low = LoadLe64(tweak);
    uint64_t high = blockSize == 16 ? LoadLe64(tweak + 8) : 0;
    unsigned char tweaks[kChunkSize];
    for (size_t offset = 0; offset < length; offset += kChunkSize) {
        const size_t piece = std::min(kChunkSize, length - offset);
        for (size_t i = 0; i < piece; i += blockSize) {
            StoreLe64(tweaks + i, low);
            if (blockSize == 16) StoreLe64(tweaks + i + 8, high);
            NextXtsTweak(low, high, blockSize);
        }
        unsigned char* chunk = data + offset;
        XorInto(chunk, tweaks, piece);
        if (encipher) {
            EncipherBlocks(&slot, chunk, chunk, piece);
        } else {
            DecipherBlocks(&slot, chunk, chunk, piece);
        }
        XorInto(chunk, tweaks, piece);
    }
}

void XtsPass(const KeySchedule& schedule, int position, unsigned char* data, size_t length,
             uint64_t unitNumber, bool encipher) {
    const uint32_t cipher = ChainCipher(schedule.algorithm, position);
    const uint32_t blockSize = CipherBlockSize(cipher);
    if (blockSize == 0) return;
    const size_t whole = length - length % blockSize;
    if (whole == 0) return;
    const CipherSlot& slot = schedule.primary[position];
    if (BulkLease lease(&slot); lease) {
        unsigned char tweak[16] = {};
        StoreLe64(tweak, unitNumber);
        if (encipher) {
            lease.XtsEncipher(tweak, data, whole);
        } else {
            lease.XtsDecipher(tweak, data, whole);
        }
        return;
    }
    OwnXtsPass(slot, schedule.secondary[position], cipher, blockSize, data, whole, unitNumber,
               encipher);
}

void Xts(const KeySchedule& schedule, unsigned char* data, size_t length, uint64_t unitNumber,
         bool encipher) {
    const int chainLength = ChainLength(schedule.algorithm);
    for (int step = 0; step < chainLength; ++step) {
        const int position = encipher ? step : chainLength - 1 - step;
        XtsPass(schedule, position, data, length, unitNumber, encipher);
    }
}

// ---- LRW (mode 1: each block through the whole chain, tweaked by key * index) ----

void MultiplyByX(FieldElement& element, uint32_t blockSize) {
    if (blockSize == 16) {
        const uint64_t carry = element.high >> 63;
        element.high = element.high << 1 | element.low >> 63;
        element.low = element.low << 1 ^ (carry ? 0x87 : 0);
    } else {
        const uint64_t carry = element.low >> 63;
        element.low = element.low << 1 ^ (carry ? 0x1B : 0);
    }
}

FieldElement LrwTweak(const LrwTable& table, uint64_t index) {
    FieldElement tweak;
    for (int bit = 0; bit < kLrwTableRows; ++bit) {
        if (index >> bit & 1) {
            tweak.high ^= table.powers[bit].high;
            tweak.low ^= table.powers[bit].low;
        }
    }
    return tweak;
}

int CountTrailingZeros(uint64_t value) {
    int count = 0;
    while ((value & 1) == 0 && count < 63) {
        value >>= 1;
        ++count;
    }
    return count;
}

void Lrw(const KeySchedule& schedule, unsigned char* data, size_t length, uint32_t unitSize,
         uint64_t unitNumber, bool derived, bool encipher) {
    const uint32_t blockSize = AlgorithmBlockSize(schedule.algorithm);
    if (blockSize == 0 || !ChainHasUniformBlockSize(schedule.algorithm, blockSize)) return;
    const size_t whole = length - length % blockSize;
    uint64_t index = uint64_t(unitSize / blockSize) * (derived ? unitNumber : 0) + 1;
    FieldElement tweak = LrwTweak(schedule.lrw, index);
    unsigned char tweaks[kChunkSize];
    for (size_t offset = 0; offset < whole; offset += kChunkSize) {
        const size_t piece = std::min(kChunkSize, whole - offset);
        for (size_t i = 0; i < piece; i += blockSize) {
            if (blockSize == 16) {
                StoreBe64(tweaks + i, tweak.high);
                StoreBe64(tweaks + i + 8, tweak.low);
            } else {
                StoreBe64(tweaks + i, tweak.low);
            }
            ++index;
            // Going from index - 1 to index flips the bits up to the lowest set bit of index
            // (all 64 of them when the index wraps to 0).
            const FieldElement& step = schedule.lrw.steps[CountTrailingZeros(index)];
            tweak.high ^= step.high;
            tweak.low ^= step.low;
        }
        unsigned char* chunk = data + offset;
        XorInto(chunk, tweaks, piece);
        if (encipher) {
            ChainEncipherBlocks(schedule, chunk, piece);
        } else {
            ChainDecipherBlocks(schedule, chunk, piece);
        }
        XorInto(chunk, tweaks, piece);
    }
}

void ProcessUnit(const KeySchedule& schedule, unsigned char* data, size_t length, uint32_t unitSize,
                 uint64_t unitNumber, uint32_t flags, bool encipher) {
    const bool derived = (flags & kUnitDerivedIv) != 0;
    switch (schedule.mode) {
        case kModeLrw:
            Lrw(schedule, data, length, unitSize, unitNumber, derived, encipher);
            break;
        case kModeCbc:
        case kModeInnerCbc:
            InnerCbc(schedule, data, length, unitNumber, derived, encipher);
            break;
        case kModeOuterCbc:
            OuterCbc(schedule, data, length, unitNumber, derived, encipher);
            break;
        case kModeXts:
            Xts(schedule, data, length, unitNumber, encipher);
            break;
        default:
            break;
    }
}

}  // namespace

uint32_t Crc32(const unsigned char* bytes, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

UnitIv DeriveUnitIv(const unsigned char* secondaryKey, uint64_t unitNumber, uint32_t blockSize,
                    bool derived) {
    UnitIv result;
    if (!derived) {
        std::memcpy(result.iv, secondaryKey, std::min<uint32_t>(blockSize, 16));
        std::memcpy(result.whitening, secondaryKey + 8, 8);
        return result;
    }
    const uint32_t low = static_cast<uint32_t>(unitNumber);
    const uint32_t high = static_cast<uint32_t>(unitNumber >> 32);
    uint32_t t[8];
    for (int k = 0; k < 8; ++k) t[k] = LoadLe32(secondaryKey + 4 * k) ^ (k % 2 == 0 ? low : high);
    uint32_t w0, w1;
    if (blockSize == 16) {
        for (int k = 0; k < 4; ++k) StoreLe32(result.iv + 4 * k, t[k]);
        w0 = CrcOfWord(t[7]) ^ CrcOfWord(t[4]);
        w1 = CrcOfWord(t[5]) ^ CrcOfWord(t[6]);
    } else {
        StoreLe32(result.iv, t[0]);
        StoreLe32(result.iv + 4, t[1]);
        w0 = CrcOfWord(t[5]) ^ CrcOfWord(t[2]);
        w1 = CrcOfWord(t[3]) ^ CrcOfWord(t[4]);
    }
    StoreLe32(result.whitening, w0);
    StoreLe32(result.whitening + 4, w1);
    return result;
}

void BuildLrwTable(const unsigned char* tweakKey, uint32_t blockSize, LrwTable* table) {
    FieldElement power;
    if (blockSize == 16) {
        power.high = LoadBe64(tweakKey);
        power.low = LoadBe64(tweakKey + 8);
    } else {
        power.low = LoadBe64(tweakKey);
    }
    FieldElement sum;
    for (int i = 0; i < kLrwTableRows; ++i) {
        table->powers[i] = power;
        sum.high ^= power.high;
        sum.low ^= power.low;
        table->steps[i] = sum;
        MultiplyByX(power, blockSize);
    }
}

void EncipherUnit(const KeySchedule& schedule, unsigned char* data, size_t length,
                  uint32_t unitSize, uint64_t unitNumber, uint32_t flags) {
    ProcessUnit(schedule, data, length, unitSize, unitNumber, flags, true);
}

void DecipherUnit(const KeySchedule& schedule, unsigned char* data, size_t length,
                  uint32_t unitSize, uint64_t unitNumber, uint32_t flags) {
    ProcessUnit(schedule, data, length, unitSize, unitNumber, flags, false);
}
