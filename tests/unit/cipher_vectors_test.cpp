// Known-answer tests of the cipher engine against published vectors.
#include <gtest/gtest.h>

#include "crypto_test_util.h"
#include "crypto/block_cipher.h"
#include "crypto/cipher_modes.h"
#include "crypto/key_schedule.h"

namespace {

// ---- Single blocks through EncipherBlock / DecipherBlock ----

struct BlockVector {
    const char* source;
    uint32_t cipher;
    const char* key;
    const char* plain;
    const char* cipherText;
};

// Blowfish uses its key cyclically over the 72 bytes of its P-array, so an 8-byte key repeated
// seven times is the same 448-bit key; that lets the published 64-bit-key vectors check it.
std::string Repeat(const char* hex, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += hex;
    return all;
}

const std::string kBlowfishZeroKey = Repeat("0000000000000000", 7);
const std::string kBlowfishOnesKey = Repeat("FFFFFFFFFFFFFFFF", 7);
const std::string kBlowfishKey3 = Repeat("3000000000000000", 7);

const BlockVector kBlockVectors[] = {
    {"FIPS-197 Appendix C.1", kCipherAes128, "000102030405060708090a0b0c0d0e0f",
     "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 Appendix C.2", kCipherAes192, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 Appendix C.3", kCipherAes256,
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    {"Blowfish test vectors (E. Young), key 0000000000000000", kCipherBlowfish,
     kBlowfishZeroKey.c_str(), "0000000000000000", "4EF997456198DD78"},
    {"Blowfish test vectors (E. Young), key FFFFFFFFFFFFFFFF", kCipherBlowfish,
     kBlowfishOnesKey.c_str(), "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"Blowfish test vectors (E. Young), key 3000000000000000", kCipherBlowfish,
     kBlowfishKey3.c_str(), "1000000000000001", "7D856F9A613063F2"},
    {"RFC 2144 Appendix B.1, 128-bit key", kCipherCast5, "0123456712345678234567893456789A",
     "0123456789ABCDEF", "238B4FE5847E44B2"},
    {"FIPS 81 Appendix B Table B1 (ECB), first block", kCipherDes, "0123456789abcdef",
     "4e6f772069732074", "3fa40e8a984d4815"},
    {"FIPS 81 Appendix B Table B1 (ECB), second block", kCipherDes, "0123456789abcdef",
     "68652074696d6520", "6a271787ab8883f9"},
    {"NIST SP 800-67 Rev. 1 Appendix B.1, first block", kCipherTripleDes,
     "0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123", "5468652071756663", "A826FD8CE53B855F"},
    {"NIST SP 800-67 Rev. 1 Appendix B.1, third block", kCipherTripleDes,
     "0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123", "666F78206A756D70", "68D5C05DD9B6B900"},
    {"NESSIE Serpent-256-128 test vectors, Set 4 vector 0", kCipherSerpent,
     "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F",
     "00112233445566778899AABBCCDDEEFF", "2868B7A2D28ECD5E4FDEFAC3C4330074"},
    {"Twofish paper, ecb_ival.txt, 256-bit key", kCipherTwofish,
     "0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF",
     "00000000000000000000000000000000", "37527BE0052334B89F0CFCCAE87CFA20"},
};

TEST(CipherVectors, PublishedSingleBlocksOfEveryCipher) {
    for (const BlockVector& v : kBlockVectors) {
        SCOPED_TRACE(v.source);
        CipherSlot slot;
        ASSERT_EQ(CipherInit(v.cipher, Hex(v.key).data(), &slot), kCipherInitOk);
        Bytes block = Hex(v.plain);
        ASSERT_EQ(block.size(), CipherBlockSize(v.cipher));
        EncipherBlock(v.cipher, block.data(), &slot);
        EXPECT_EQ(ToHex(block), ToHex(Hex(v.cipherText)));
        DecipherBlock(v.cipher, block.data(), &slot);
        EXPECT_EQ(ToHex(block), ToHex(Hex(v.plain)));
        CipherRelease(&slot);
    }
}

// ---- CBC through mode 2 ----

// NIST SP 800-38A, Appendix F.2.1/F.2.3/F.2.5 (CBC-AES128/192/256.Encrypt): the engine in mode 2
// with the IV as the first half of the IV seed, a zero second half and unit 0 is plain CBC.
const Bytes kSp80038aIv = Hex("000102030405060708090a0b0c0d0e0f");
const Bytes kSp80038aPlain =
    Hex("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");

struct CbcVector {
    int algorithm;
    const char* key;
    const char* cipherText;
};

const CbcVector kSp80038aCbc[] = {
    {3, "2b7e151628aed2a6abf7158809cf4f3c",
     "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7"},
    {2, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
     "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd"},
    {1, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b"},
};

TEST(CipherVectors, Sp80038aCbcThroughModeTwoIsPlainCbc) {
    for (const CbcVector& v : kSp80038aCbc) {
        SCOPED_TRACE(v.key);
        ScopedSchedule schedule;
        ASSERT_EQ(
            schedule.Setup(v.algorithm, kModeCbc, Concat({kSp80038aIv, Bytes(16), Hex(v.key)})),
            kKeySetupOk);
        const Bytes expected = Hex(v.cipherText);
        const auto size = static_cast<uint32_t>(kSp80038aPlain.size());
        for (bool ownCode : {false, true}) {
            SCOPED_TRACE(ownCode ? "block-wise path" : "library chained path");
            std::optional<BulkPathsHeld> held;
            if (ownCode) held.emplace(schedule.get());
            EXPECT_EQ(ToHex(schedule.Encipher(kSp80038aPlain, size, 0, 6)), ToHex(expected));
            EXPECT_EQ(ToHex(schedule.Decipher(expected, size, 0, 6)), ToHex(kSp80038aPlain));
        }
    }
}

// ---- XTS through mode 5 ----

struct XtsVector {
    const char* source;
    int algorithm;
    const char* keys;  // key 1 then key 2
    uint64_t unit;
    Bytes plain;
    const char* cipherText;
};

Bytes CountingBytes(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(i);
    return bytes;
}

const XtsVector kIeee1619[] = {
    {"IEEE 1619-2007 Annex B, vector 1", 3,
     "00000000000000000000000000000000 00000000000000000000000000000000", 0, Bytes(32),
     "917cf69ebd68b2ec9b9fe9a3eadda692cd43d2f59598ed858c02c2652fbf922e"},
    {"IEEE 1619-2007 Annex B, vector 2", 3,
     "11111111111111111111111111111111 22222222222222222222222222222222", 0x3333333333,
     Bytes(32, 0x44), "c454185e6a16936e39334038acef838bfb186fff7480adc4289382ecd6d394f0"},
    {"IEEE 1619-2007 Annex B, vector 3", 3,
     "fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0 22222222222222222222222222222222", 0x3333333333,
     Bytes(32, 0x44), "af85336b597afc1a900b2eb21ec949d292df4c047e0b21532186a5971a227a89"},
    // The first 256 bytes of the 512-byte data unit: an XTS block does not depend on later ones.
    {"IEEE 1619-2007 Annex B, vector 10 (XTS-AES-256)", 1,
     "2718281828459045235360287471352662497757247093699959574966967627"
     "3141592653589793238462643383279502884197169399375105820974944592",
     0xff, CountingBytes(256),
     "1c3b3a102f770386e4836c99e370cf9bea00803f5e482357a4ae12d414a3e63b"
     "5d31e276f8fe4a8d66b317f9ac683f44680a86ac35adfc3345befecb4bb188fd"
     "5776926c49a3095eb108fd1098baec70aaa66999a72a82f27d848b21d4a741b0"
     "c5cd4d5fff9dac89aeba122961d03a757123e9870f8acf1000020887891429ca"
     "2a3e7a7d7df7b10355165c8b9a6d0a7de8b062c4500dc4cd120c0f7418dae3d0"
     "b5781c34803fa75421c790dfe1de1834f280d7667b327f6c8cd7557e12ac3a0f"
     "93ec05c52e0493ef31a12d3d9260f79a289d6a379bc70c50841473d1a8cc81ec"
     "583e9645e07b8d9670655ba5bbcfecc6dc3966380ad8fecb17b6ba02469a020a"},
};

TEST(CipherVectors, Ieee1619XtsThroughModeFive) {
    for (const XtsVector& v : kIeee1619) {
        SCOPED_TRACE(v.source);
        ScopedSchedule schedule;
        ASSERT_EQ(schedule.Setup(v.algorithm, kModeXts, Hex(v.keys)), kKeySetupOk);
        const auto size = static_cast<uint32_t>(v.plain.size());
        const Bytes expected = Hex(v.cipherText);
        for (bool ownCode : {false, true}) {
            SCOPED_TRACE(ownCode ? "block-wise path" : "library chained path");
            std::optional<BulkPathsHeld> held;
            if (ownCode) held.emplace(schedule.get());
            EXPECT_EQ(ToHex(schedule.Encipher(v.plain, size, v.unit, 6)), ToHex(expected));
            EXPECT_EQ(ToHex(schedule.Decipher(expected, size, v.unit, 6)), ToHex(v.plain));
        }
    }
}

// ---- LRW through mode 1 ----

// IEEE P1619 LRW-AES draft test vector 1 (block index 1, where the tweak is the tweak key
// itself): the engine's first block of unit 0 has index 1.
TEST(CipherVectors, LrwFirstBlockOfUnitZero) {
    ScopedSchedule schedule;
    ASSERT_EQ(schedule.Setup(3, kModeLrw,
                             Concat({Hex("258e2a05e73e9d03ee5a830ccc094c87"), Bytes(16),
                                     Hex("4562ac25f828176d4c268414b5680185")})),
              kKeySetupOk);
    const Bytes plain = Hex("30313233343536373839414243444546");
    const Bytes expected = Hex("f1b273cd65a3df5fe95d489254634eb8");
    EXPECT_EQ(ToHex(schedule.Encipher(plain, 16, 0, 6)), ToHex(expected));
    EXPECT_EQ(ToHex(schedule.Decipher(expected, 16, 0, 6)), ToHex(plain));
}

TEST(CipherVectors, Crc32CheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const unsigned char*>(check.data()), check.size()),
              0xCBF43926u);
}

}  // namespace
