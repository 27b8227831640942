#pragma once
// The engine's modes of operation on one unit, and the per-unit IV and whitening derivation.

#include <cstddef>
#include <cstdint>

#include "crypto/key_schedule.h"

struct UnitIv {
    unsigned char iv[16] = {};
    // The whitening block (w0, w1, w0, w1 or w0, w1 as little-endian words) repeats every eight
    // bytes; these are those eight bytes, as they lie in memory.
    unsigned char whitening[8] = {};
};

// CRC-32 of IEEE 802.3 (reflected 0xEDB88320, initial 0xFFFFFFFF, final complement).
uint32_t Crc32(const unsigned char* bytes, size_t count);

// IV and whitening of the unit `unitNumber` for a cipher of `blockSize` (8 or 16) from the
// 32-byte secondary key. Without `derived`, the secondary key's bytes are used as they stand.
UnitIv DeriveUnitIv(const unsigned char* secondaryKey, uint64_t unitNumber, uint32_t blockSize,
                    bool derived);

// The LRW multiplication table of `tweakKey` (16 bytes, or 8 for 64-bit blocks).
void BuildLrwTable(const unsigned char* tweakKey, uint32_t blockSize, LrwTable* table);

// One unit of `length` bytes (a multiple of the algorithm's block size) in place. `unitSize` is
// the unit size in whole blocks, which LRW uses to number its blocks.
void EncipherUnit(const KeySchedule& schedule, unsigned char* data, size_t length,
                  uint32_t unitSize, uint64_t unitNumber, uint32_t flags);
void DecipherUnit(const KeySchedule& schedule, unsigned char* data, size_t length,
                  uint32_t unitSize, uint64_t unitNumber, uint32_t flags);
