// The shipped program's single-cipher layer (AES from the system): published AES blocks, and
// every other cipher refused so that the engine reports its algorithms as unknown.
#include <gtest/gtest.h>

#include "crypto_test_util.h"

namespace {

bool ChainIsAesOnly(int algorithm) {
    for (int position = 0; position < ChainLength(algorithm); ++position) {
        const uint32_t cipher = ChainCipher(algorithm, position);
        if (cipher != kCipherAes128 && cipher != kCipherAes192 && cipher != kCipherAes256) {
            return false;
        }
    }
    return true;
}

TEST(SystemCipher, Fips197BlocksOfEveryAesKeySize) {
    const struct {
        uint32_t cipher;
        const char* key;
        const char* cipherText;
    } vectors[] = {
        {kCipherAes128, "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {kCipherAes192, "000102030405060708090a0b0c0d0e0f1011121314151617",
         "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {kCipherAes256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    const Bytes plain = Hex("00112233445566778899aabbccddeeff");
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.key);
        CipherSlot slot;
        ASSERT_EQ(CipherInit(v.cipher, Hex(v.key).data(), &slot), kCipherInitOk);
        Bytes block = plain;
        EncipherBlock(v.cipher, block.data(), &slot);
        EXPECT_EQ(ToHex(block), v.cipherText);
        DecipherBlock(v.cipher, block.data(), &slot);
        EXPECT_EQ(block, plain);
        CipherRelease(&slot);
    }
}

TEST(SystemCipher, OnlyAesAlgorithmsCanBeSetUp) {
    const Bytes material(kKeyMaterialSize, 0x5A);
    for (int algorithm = 1; algorithm <= AlgorithmCount(); ++algorithm) {
        SCOPED_TRACE(algorithm);
        ScopedSchedule schedule;
        const int status = schedule.Setup(algorithm, NextPermittedMode(algorithm, 0), material);
        EXPECT_EQ(status, ChainIsAesOnly(algorithm) ? kKeySetupOk : kKeySetupUnknownAlgorithm);
        if (status != kKeySetupOk) {
            EXPECT_EQ(schedule.get(), nullptr);
        }
    }
}

}  // namespace
