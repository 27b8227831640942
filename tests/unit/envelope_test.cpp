#include <gtest/gtest.h>

#include <cstring>

#include "crypto_test_util.h"
#include "service/envelope.h"

namespace {

constexpr char kPhrase[] = "000102030405060708090a0b0c0d0e0f";

void FixedSalt(unsigned char salt[16]) {
    for (int i = 0; i < 16; ++i) salt[i] = static_cast<unsigned char>(0xA0 + i);
}

TEST(Envelope, SealThenOpenGivesTheText) {
    for (const char* text : {"kvProTrial", "kvProPaid", "", "0123456789abcde"}) {
        const std::string sealed = SealPayload(text, kPhrase);
        EXPECT_EQ(sealed.size(), 44u);
        EXPECT_EQ(sealed.back(), '=');
        EXPECT_EQ(OpenPayload(sealed.c_str(), kPhrase), text);
    }
}

TEST(Envelope, SealIsAesCbcOfThePaddedTextWithTheSaltAsIv) {
    const std::string sealed = SealPayload("kvProTrial", kPhrase, FixedSalt);
    const Bytes raw = Base64Decode(sealed.c_str());
    ASSERT_EQ(raw.size(), 32u);
    Bytes salt(16);
    FixedSalt(salt.data());
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 16), salt);
}

}  // namespace
