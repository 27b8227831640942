// Known-answer tests of the cipher engine against published vectors.
#include <gtest/gtest.h>

#include "crypto_test_util.h"

namespace {

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
        EXPECT_EQ(ToHex(schedule.Encipher(kSp80038aPlain, size, 0, 6)), ToHex(expected));
        EXPECT_EQ(ToHex(schedule.Decipher(expected, size, 0, 6)), ToHex(kSp80038aPlain));
    }
}

}  // namespace
