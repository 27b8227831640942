#include "crypto/cipher_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "crypto/cipher_modes.h"
#include "crypto/key_schedule.h"
#include "crypto/secure_fill.h"

namespace {

constexpr int kIvSeedSize = 32;

KeySchedule* NewKeySchedule() {
    void* memory = ::operator new(sizeof(KeySchedule), std::nothrow);
    return memory ? new (memory) KeySchedule() : nullptr;
}

void DestroyKeySchedule(KeySchedule* schedule) {
    for (int position = 0; position < kMaxChainLength; ++position) {
        CipherRelease(&schedule->primary[position]);
        CipherRelease(&schedule->secondary[position]);
    }
    SecureFill(schedule, 0xFF, sizeof(KeySchedule));
    SecureFill(schedule, 0x00, sizeof(KeySchedule));
    ::operator delete(schedule);
}

bool ArgumentsAreValid(const unsigned char* identifier, const int32_t* mode,
                       const unsigned char* password, int32_t passwordLength,
                       const unsigned char* keyMaterial) {
    if (identifier == nullptr || mode == nullptr || keyMaterial == nullptr) return false;
    if (*mode < 0 || *mode >= 6) return false;
    if (password == nullptr) return passwordLength == 0 && *mode != 0;
    return true;
}

// Runs CipherInit over the chain with consecutive keys from `keys`. Returns 0, 1 (some key was
// weak) or 5 (stopped at the first failure).
int InitChain(int algorithm, const unsigned char* keys, CipherSlot* slots) {
    int result = kCipherInitOk;
    size_t offset = 0;
    for (int position = 0; position < ChainLength(algorithm); ++position) {
        const uint32_t cipher = ChainCipher(algorithm, position);
        const int status = CipherInit(cipher, keys + offset, &slots[position]);
        if (status == kCipherInitFailed) return kCipherInitFailed;
        if (status == kCipherInitWeakKey) result = kCipherInitWeakKey;
        offset += CipherKeySize(cipher);
    }
    return result;
}

// Gives the CBC passes the library's chained handle where it can make one; a slot without one
// still works through its block handle.
void AddBulkCbc(KeySchedule& schedule, const unsigned char* keys) {
    size_t offset = 0;
    for (int position = 0; position < ChainLength(schedule.algorithm); ++position) {
        const uint32_t cipher = ChainCipher(schedule.algorithm, position);
        CipherInitBulkCbc(cipher, keys + offset, &schedule.primary[position]);
        offset += CipherKeySize(cipher);
    }
}

void AddBulkXts(KeySchedule& schedule, const unsigned char* keys, const unsigned char* tweakKeys) {
    size_t offset = 0;
    for (int position = 0; position < ChainLength(schedule.algorithm); ++position) {
        const uint32_t cipher = ChainCipher(schedule.algorithm, position);
        CipherInitBulkXts(cipher, keys + offset, tweakKeys + offset, &schedule.primary[position]);
        offset += CipherKeySize(cipher);
    }
}

// Mode-specific setup after the primary keys; false means the mode cannot be used.
bool InitMode(KeySchedule& schedule, const unsigned char* material) {
    const int algorithm = schedule.algorithm;
    switch (schedule.mode) {
        case kModeLrw:
            BuildLrwTable(schedule.secondaryKey, AlgorithmBlockSize(algorithm), &schedule.lrw);
            return true;
        case kModeXts: {
            const uint32_t keySize = AlgorithmKeySize(algorithm);
            if (InitChain(algorithm, material + keySize, schedule.secondary) != kCipherInitOk) {
                return false;
            }
            AddBulkXts(schedule, material, material + keySize);
            return true;
        }
        default:
            AddBulkCbc(schedule, material + kIvSeedSize);
            return true;
    }
}

int SetUpKeys(KeySchedule& schedule, const unsigned char* material) {
    const bool usesIvSeed = schedule.mode != kModeXts;
    if (usesIvSeed) std::memcpy(schedule.secondaryKey, material, kIvSeedSize);
    const unsigned char* keys = usesIvSeed ? material + kIvSeedSize : material;
    const int chainResult = InitChain(schedule.algorithm, keys, schedule.primary);
    if (chainResult == kCipherInitFailed) return kKeySetupUnknownAlgorithm;
    if (!usesIvSeed) {
        const uint32_t keySize = AlgorithmKeySize(schedule.algorithm);
        if (keySize > sizeof schedule.secondaryKey || 2 * keySize > kKeyMaterialSize) {
            return kKeySetupModeFailed;
        }
        std::memcpy(schedule.secondaryKey, material + keySize, keySize);
    }
    if (!InitMode(schedule, material)) return kKeySetupModeFailed;
    return chainResult == kCipherInitWeakKey ? kKeySetupWeakKey : kKeySetupOk;
}

template <typename UnitStep>
void ForEachUnit(unsigned char* data, uint32_t byteCount, uint32_t unitSize, uint32_t firstUnitLow,
                 uint32_t firstUnitHigh, uint32_t flags, const KeySchedule* schedule,
                 UnitStep step) {
    if (data == nullptr || schedule == nullptr) return;
    const uint32_t blockSize = AlgorithmBlockSize(schedule->algorithm);
    if (blockSize == 0) return;
    const uint32_t unit = unitSize < blockSize ? 512 : unitSize;
    const uint32_t wholeBlocksOfUnit = unit - unit % blockSize;
    uint64_t unitNumber = uint64_t(firstUnitHigh) << 32 | firstUnitLow;
    if (flags & kUnitPartialUnits) {
        const size_t total = byteCount - byteCount % blockSize;
        for (size_t offset = 0; offset < total; ++unitNumber) {
            const size_t piece = std::min<size_t>(wholeBlocksOfUnit, total - offset);
            step(*schedule, data + offset, piece, wholeBlocksOfUnit, unitNumber, flags);
            offset += piece;
        }
    } else {
        const size_t unitCount = byteCount / unit;
        for (size_t index = 0; index < unitCount; ++index, ++unitNumber) {
            step(*schedule, data + index * size_t(unit), wholeBlocksOfUnit, wholeBlocksOfUnit,
                 unitNumber, flags);
        }
    }
}

}  // namespace

int KeySetup(const unsigned char* identifier, const unsigned char* prfIdentifier, int32_t* mode,
             const unsigned char* password, int32_t passwordLength,
             const unsigned char* keyMaterial, KeySchedule** schedule) {
    if (schedule == nullptr) return kKeySetupInvalidArguments;
    *schedule = nullptr;
    if (!ArgumentsAreValid(identifier, mode, password, passwordLength, keyMaterial)) {
        return kKeySetupInvalidArguments;
    }
    // The password form (keys derived from a header with a PRF) is not part of this engine.
    if (password != nullptr) return kKeySetupInvalidArguments;
    const int algorithm = FindAlgorithm(identifier);
    if (algorithm == 0) return kKeySetupUnknownAlgorithm;

    KeySchedule* created = NewKeySchedule();
    if (created == nullptr) return kKeySetupNoMemory;
    created->algorithm = algorithm;
    created->mode = *mode;

    unsigned char material[kKeyMaterialSize];
    std::memcpy(material, keyMaterial, sizeof material);
    const int result = SetUpKeys(*created, material);
    SecureFill(material, 0x00, sizeof material);

    if (result != kKeySetupOk && result != kKeySetupWeakKey) {
        DestroyKeySchedule(created);
        return result;
    }
    *schedule = created;
    return result;
}

void EncipherUnits(unsigned char* data, uint32_t byteCount, uint32_t unitSize,
                   uint32_t firstUnitLow, uint32_t firstUnitHigh, uint32_t flags,
                   const KeySchedule* schedule) {
    ForEachUnit(data, byteCount, unitSize, firstUnitLow, firstUnitHigh, flags, schedule,
                EncipherUnit);
}

void DecipherUnits(unsigned char* data, uint32_t byteCount, uint32_t unitSize,
                   uint32_t firstUnitLow, uint32_t firstUnitHigh, uint32_t flags,
                   const KeySchedule* schedule) {
    ForEachUnit(data, byteCount, unitSize, firstUnitLow, firstUnitHigh, flags, schedule,
                DecipherUnit);
}

void ReleaseKeySchedule(KeySchedule* schedule) {
    if (schedule != nullptr) DestroyKeySchedule(schedule);
}
