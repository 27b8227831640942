#pragma once
// Constant tables of the cipher engine: the block ciphers it knows and the algorithms (one cipher
// or a cascade) that a caller names by a 16-byte identifier, plus the lookups over them.

#include <cstdint>

inline constexpr int kMaxChainLength = 3;
inline constexpr int kMaxModesPerAlgorithm = 4;
inline constexpr int kAlgorithmIdentifierSize = 16;

enum CipherId : uint32_t {
    kCipherNone = 0,
    kCipherAes256 = 1,
    kCipherAes192 = 2,
    kCipherAes128 = 3,
    kCipherBlowfish = 4,
    kCipherCast5 = 5,
    kCipherSerpent = 6,
    kCipherTripleDes = 7,
    kCipherTwofish = 8,
    kCipherDes = 9,
};

enum CipherMode : int32_t {
    kModeLrw = 1,
    kModeCbc = 2,
    kModeOuterCbc = 3,
    kModeInnerCbc = 4,
    kModeXts = 5,
};

struct CipherRow {
    uint32_t id;
    const char* name;
    uint32_t blockSize;
    uint32_t keySize;
    uint32_t scheduleSize;
};

struct AlgorithmEntry {
    unsigned char identifier[kAlgorithmIdentifierSize];
    uint32_t chain[kMaxChainLength + 1];   // encipherment order, ended by 0
    int32_t modes[kMaxModesPerAlgorithm];  // permitted modes, ended by 0 when fewer than four
};

// Rows in table order, ended by a row with id 0.
extern const CipherRow CipherTable[];
// Entry 0 is all zero; the entries from 1 on end with an entry whose first cipher is 0.
extern const AlgorithmEntry AlgorithmTable[];

inline constexpr int kAlgorithmAes128 = 3;

const CipherRow* FindCipherRow(uint32_t cipherId);
uint32_t CipherBlockSize(uint32_t cipherId);  // 0 for an unknown id
uint32_t CipherKeySize(uint32_t cipherId);
uint32_t CipherScheduleSize(uint32_t cipherId);

// Number of entries from index 1 up to the ending entry.
int AlgorithmCount();
bool IsValidAlgorithm(int algorithm);
// Index of the entry with this identifier, or 0.
int FindAlgorithm(const unsigned char identifier[kAlgorithmIdentifierSize]);

// Chain walking. A cipher missing from the chain, or none beyond the end, gives kCipherNone.
uint32_t FirstCipher(int algorithm);
uint32_t LastCipher(int algorithm);
uint32_t NextCipher(int algorithm, uint32_t cipherId);
uint32_t PreviousCipher(int algorithm, uint32_t cipherId);
int ChainLength(int algorithm);
uint32_t ChainCipher(int algorithm, int position);

uint32_t AlgorithmBlockSize(int algorithm);     // that of the first cipher
uint32_t AlgorithmKeySize(int algorithm);       // sum over the chain
uint32_t AlgorithmScheduleSize(int algorithm);  // sum over the chain
// The permitted mode after `mode` in the entry's list (mode 0 gives the first), or 0 if none.
int32_t NextPermittedMode(int algorithm, int32_t mode);
