#pragma once
// The KeySchedule object: one fixed-size block made by KeySetup. Internal to the engine.

#include <cstdint>

#include "crypto/block_cipher.h"
#include "crypto/cipher_tables.h"

// Room for the longest chain key (Serpent, Blowfish, AES256: 120 bytes), which mode 5 keeps whole
// even for entries that do not list that mode.
inline constexpr int kSecondaryKeyCapacity = 128;
inline constexpr int kLrwTableRows = 64;  // unit indexes are 64-bit

// GF(2^128) (or GF(2^64), using `low` only) elements, as big-endian numbers.
struct FieldElement {
    uint64_t high = 0;
    uint64_t low = 0;
};

struct LrwTable {
    FieldElement powers[kLrwTableRows];  // key * x^i
    FieldElement steps[kLrwTableRows];   // key * (x^(i+1) - 1): the change when an index rises
};

struct KeySchedule {
    int32_t algorithm = 0;
    int32_t mode = 0;
    CipherSlot primary[kMaxChainLength];
    CipherSlot secondary[kMaxChainLength];  // mode 5 only
    LrwTable lrw;                           // mode 1 only
    unsigned char secondaryKey[kSecondaryKeyCapacity] = {};
};
