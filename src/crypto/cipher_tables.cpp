#include "crypto/cipher_tables.h"

#include <cstring>

const CipherRow CipherTable[] = {
    {kCipherAes256, "AES256", 16, 32, 488},    {kCipherAes192, "AES192", 16, 24, 488},
    {kCipherAes128, "AES128", 16, 16, 488},    {kCipherBlowfish, "Blowfish", 8, 56, 4168},
    {kCipherCast5, "CAST5", 8, 16, 128},       {kCipherDes, "DES", 8, 7, 128},
    {kCipherSerpent, "Serpent", 16, 32, 560},  {kCipherTripleDes, "Triple DES", 8, 24, 384},
    {kCipherTwofish, "Twofish", 16, 32, 4288}, {kCipherNone, nullptr, 0, 0, 0},
};

// The identifiers are arbitrary fixed constants; they never leave the process.
const AlgorithmEntry AlgorithmTable[] = {
    {{}, {}, {}},
    {{0xF1, 0xBA, 0x19, 0xE7, 0x00, 0xF4, 0xAC, 0x9B, 0xB1, 0x43, 0xD8, 0x66, 0x7E, 0x4B, 0x36,
      0xC7},
     {kCipherAes256},
     {kModeXts, kModeLrw, kModeCbc}},
    {{0xD5, 0xB0, 0x54, 0xF4, 0x01, 0xF3, 0x3B, 0xBB, 0xB2, 0x51, 0x1E, 0x2C, 0x3C, 0x1B, 0x26,
      0x76},
     {kCipherAes192},
     {kModeXts, kModeLrw, kModeCbc}},
    {{0xAE, 0x7B, 0xA7, 0x1A, 0xA0, 0x39, 0xA9, 0xFB, 0x96, 0xBE, 0x97, 0x2C, 0xC5, 0xC9, 0xB5,
      0x45},
     {kCipherAes128},
     {kModeXts, kModeLrw, kModeCbc}},
    {{0x02, 0x2C, 0x8C, 0x3A, 0xAC, 0xD2, 0x9E, 0x59, 0x79, 0x56, 0x2A, 0xC6, 0xF8, 0x4B, 0x32,
      0xA7},
     {kCipherBlowfish},
     {kModeLrw, kModeCbc}},
    {{0x63, 0x29, 0x58, 0x66, 0x46, 0xD4, 0xAF, 0x04, 0x61, 0x9F, 0x3A, 0x34, 0x72, 0x02, 0x76,
      0xAB},
     {kCipherCast5},
     {kModeLrw, kModeCbc}},
    {{0xF1, 0xF1, 0xA0, 0x89, 0x17, 0x35, 0x15, 0xD4, 0x70, 0x0D, 0xA7, 0x55, 0x7B, 0xE4, 0x31,
      0xFE},
     {kCipherSerpent},
     {kModeXts, kModeLrw, kModeCbc}},
    {{0x27, 0xCF, 0xAF, 0xE1, 0x9F, 0x4C, 0x76, 0x9F, 0xD7, 0x2B, 0x04, 0xA0, 0x59, 0xFE, 0x5D,
      0xE9},
     {kCipherTripleDes},
     {kModeLrw, kModeCbc}},
    {{0x03, 0x10, 0x0B, 0xEA, 0xFB, 0xE3, 0xE5, 0x50, 0x9F, 0xAB, 0xC8, 0x55, 0x15, 0x4F, 0xF7,
      0x07},
     {kCipherTwofish},
     {kModeXts, kModeLrw, kModeCbc}},
    {{0xA0, 0x81, 0x03, 0xC2, 0xE6, 0xA3, 0x2C, 0xA6, 0x16, 0x19, 0xB9, 0x0D, 0x21, 0x43, 0xFC,
      0x6B},
     {kCipherTwofish, kCipherAes256},
     {kModeXts, kModeLrw, kModeOuterCbc}},
    {{0xF9, 0xD2, 0x70, 0xB5, 0x0F, 0x60, 0x8F, 0xA1, 0x06, 0x11, 0x58, 0x53, 0x4A, 0x6F, 0xF9,
      0xAA},
     {kCipherSerpent, kCipherTwofish, kCipherAes256},
     {kModeXts, kModeLrw, kModeOuterCbc}},
    {{0xF5, 0xEE, 0x8B, 0xC3, 0x49, 0x96, 0x5E, 0x14, 0xB0, 0x3E, 0x7B, 0x1C, 0xE3, 0xEC, 0x12,
      0x76},
     {kCipherAes256, kCipherSerpent},
     {kModeXts, kModeLrw, kModeOuterCbc}},
    {{0xA5, 0x10, 0xE6, 0xAC, 0xE2, 0x58, 0xDB, 0x1E, 0x3B, 0x00, 0xBC, 0xD1, 0xE6, 0x40, 0x5F,
      0x1C},
     {kCipherAes256, kCipherTwofish, kCipherSerpent},
     {kModeXts, kModeLrw, kModeOuterCbc}},
    {{0x18, 0xD3, 0x85, 0x64, 0xB3, 0x4A, 0x2A, 0x74, 0x39, 0x06, 0xB4, 0x43, 0xE1, 0x31, 0xD5,
      0xBC},
     {kCipherSerpent, kCipherTwofish},
     {kModeXts, kModeLrw, kModeOuterCbc}},
    {{0x4B, 0x39, 0x9B, 0xD8, 0x67, 0x76, 0x92, 0x5B, 0x7C, 0xC3, 0xDB, 0xBA, 0xC3, 0x9A, 0xF9,
      0xAE},
     {kCipherBlowfish, kCipherAes256},
     {kModeInnerCbc}},
    {{0xE3, 0xD1, 0x2C, 0x3A, 0x6D, 0x8B, 0xD8, 0x60, 0xCA, 0xCA, 0x3C, 0x7F, 0x72, 0x82, 0x99,
      0xDF},
     {kCipherSerpent, kCipherBlowfish, kCipherAes256},
     {kModeInnerCbc}},
    {{}, {kCipherNone}, {}},
};

const CipherRow* FindCipherRow(uint32_t cipherId) {
    for (const CipherRow* row = CipherTable; row->id != kCipherNone; ++row) {
        if (row->id == cipherId) return row;
    }
    return nullptr;
}

uint32_t CipherBlockSize(uint32_t cipherId) {
    const CipherRow* row = FindCipherRow(cipherId);
    return row ? row->blockSize : 0;
}

uint32_t CipherKeySize(uint32_t cipherId) {
    const CipherRow* row = FindCipherRow(cipherId);
    return row ? row->keySize : 0;
}

uint32_t CipherScheduleSize(uint32_t cipherId) {
    const CipherRow* row = FindCipherRow(cipherId);
    return row ? row->scheduleSize : 0;
}

int AlgorithmCount() {
    // The unit operations ask this for every unit; the table is constant, so count it once.
    static const int count = [] {
        int entries = 0;
        while (AlgorithmTable[entries + 1].chain[0] != kCipherNone) ++entries;
        return entries;
    }();
    return count;
}

bool IsValidAlgorithm(int algorithm) {
    return algorithm >= 1 && algorithm <= AlgorithmCount();
}

int FindAlgorithm(const unsigned char identifier[kAlgorithmIdentifierSize]) {
    if (identifier == nullptr) return 0;
    for (int index = 1; AlgorithmTable[index].chain[0] != kCipherNone; ++index) {
        if (std::memcmp(AlgorithmTable[index].identifier, identifier, kAlgorithmIdentifierSize) ==
            0) {
            return index;
        }
    }
    return 0;
}

int ChainLength(int algorithm) {
    if (!IsValidAlgorithm(algorithm)) return 0;
    int length = 0;
    while (length < kMaxChainLength && AlgorithmTable[algorithm].chain[length] != kCipherNone) {
        ++length;
    }
    return length;
}

uint32_t ChainCipher(int algorithm, int position) {
    if (position < 0 || position >= ChainLength(algorithm)) return kCipherNone;
    return AlgorithmTable[algorithm].chain[position];
}

namespace {

int ChainPosition(int algorithm, uint32_t cipherId) {
    const int length = ChainLength(algorithm);
    for (int position = 0; position < length; ++position) {
        if (AlgorithmTable[algorithm].chain[position] == cipherId) return position;
    }
    return -1;
}

}  // namespace

uint32_t FirstCipher(int algorithm) {
    return ChainCipher(algorithm, 0);
}

uint32_t LastCipher(int algorithm) {
    return ChainCipher(algorithm, ChainLength(algorithm) - 1);
}

uint32_t NextCipher(int algorithm, uint32_t cipherId) {
    const int position = ChainPosition(algorithm, cipherId);
    return position < 0 ? kCipherNone : ChainCipher(algorithm, position + 1);
}

uint32_t PreviousCipher(int algorithm, uint32_t cipherId) {
    const int position = ChainPosition(algorithm, cipherId);
    return position <= 0 ? kCipherNone : ChainCipher(algorithm, position - 1);
}

uint32_t AlgorithmBlockSize(int algorithm) {
    return CipherBlockSize(FirstCipher(algorithm));
}

uint32_t AlgorithmKeySize(int algorithm) {
    uint32_t total = 0;
    for (int position = 0; position < ChainLength(algorithm); ++position) {
        total += CipherKeySize(ChainCipher(algorithm, position));
    }
    return total;
}

uint32_t AlgorithmScheduleSize(int algorithm) {
    uint32_t total = 0;
    for (int position = 0; position < ChainLength(algorithm); ++position) {
        total += CipherScheduleSize(ChainCipher(algorithm, position));
    }
    return total;
}

int32_t NextPermittedMode(int algorithm, int32_t mode) {
    if (!IsValidAlgorithm(algorithm)) return 0;
    const int32_t* modes = AlgorithmTable[algorithm].modes;
    if (mode == 0) return modes[0];
    for (int i = 0; i < kMaxModesPerAlgorithm && modes[i] != 0; ++i) {
        if (modes[i] == mode) return i + 1 < kMaxModesPerAlgorithm ? modes[i + 1] : 0;
    }
    return 0;
}
