#pragma once
// The cipher engine: unit-wise (sector-wise) encipherment of byte buffers, in place, with one
// cipher or a cascade of ciphers from AlgorithmTable in one of five modes.
//
// KeySetup builds a KeySchedule; EncipherUnits and DecipherUnits only read it (several may run
// on one schedule at once); ReleaseKeySchedule wipes and frees it. No operation throws.

#include <cstdint>

struct KeySchedule;

enum KeySetupStatus : int {
    kKeySetupOk = 0,
    kKeySetupWeakKey = 1,  // success, but a DES or Triple DES key is weak
    kKeySetupNoMemory = 2,
    kKeySetupUnknownAlgorithm = 5,  // or a cipher's key initialisation failed
    kKeySetupInvalidArguments = 6,  // also every call of the password form, which is not built
    kKeySetupModeFailed = 7,
};

enum UnitFlags : uint32_t {
    kUnitDerivedIv = 2,  // IV and whitening of each unit come from the secondary key and its number
    kUnitPartialUnits = 4,  // the last unit may be shorter than the unit size
};

inline constexpr int kKeyMaterialSize = 256;

// keyMaterial: 256 bytes. Modes 1 to 4: bytes 0 to 31 are the secondary key (tweak key or IV
// seed), the chain's keys follow from byte 32. Mode 5: the chain's keys from byte 0, then the
// chain's secondary keys. On success *schedule receives the new KeySchedule; otherwise it is
// left empty.
//
// Only the form without a password is built: a call with a password returns
// kKeySetupInvalidArguments, allocates nothing and leaves *schedule empty.
int KeySetup(const unsigned char* identifier, const unsigned char* prfIdentifier, int32_t* mode,
             const unsigned char* password, int32_t passwordLength,
             const unsigned char* keyMaterial, KeySchedule** schedule);

void EncipherUnits(unsigned char* data, uint32_t byteCount, uint32_t unitSize,
                   uint32_t firstUnitLow, uint32_t firstUnitHigh, uint32_t flags,
                   const KeySchedule* schedule);
void DecipherUnits(unsigned char* data, uint32_t byteCount, uint32_t unitSize,
                   uint32_t firstUnitLow, uint32_t firstUnitHigh, uint32_t flags,
                   const KeySchedule* schedule);

// Overwrites the schedule with 0xFF, then 0x00, and frees it. Nothing given, nothing done.
void ReleaseKeySchedule(KeySchedule* schedule);
