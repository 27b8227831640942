// The payload envelope: interop with the openssl command line, padding, base64 and the edge cases.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "crypto_test_util.h"
#include "service/envelope.h"

namespace {

constexpr char kPhrase[] = "000102030405060708090a0b0c0d0e0f";

// ---- Fixtures sealed by the openssl command line (tests/unit/fixtures) ----

struct Fixture {
    std::string phrase;
    std::string salt;
    std::string text;
    std::string payload;
};

std::vector<Fixture> LoadFixtures() {
    std::ifstream file(KV_SOURCE_DIR "/tests/unit/fixtures/envelope_openssl.txt");
    std::vector<Fixture> fixtures;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
        if (line.back() == '|') fields.push_back("");
        if (fields.size() == 4) fixtures.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return fixtures;
}

// A SaltSource is a plain function, so the fixed salt travels through a global.
Bytes g_fixedSalt;
void FixedSalt(unsigned char salt[16]) {
    std::copy(g_fixedSalt.begin(), g_fixedSalt.end(), salt);
}

TEST(EnvelopeInterop, OpensWhatOpensslSealed) {
    const auto fixtures = LoadFixtures();
    ASSERT_EQ(fixtures.size(), 7u);
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.text);
        EXPECT_EQ(OpenPayload(f.payload.c_str(), f.phrase), f.text);
    }
}

TEST(EnvelopeInterop, SealsWhatOpensslSealsWithTheSameSalt) {
    for (const Fixture& f : LoadFixtures()) {
        SCOPED_TRACE(f.text);
        g_fixedSalt = Hex(f.salt);
        EXPECT_EQ(SealPayload(f.text, f.phrase, FixedSalt), f.payload);
    }
}

// ---- Seal and open ----

Bytes SealedBytes(std::string_view text) {
    g_fixedSalt = Hex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    return Base64Decode(SealPayload(text, kPhrase, FixedSalt).c_str());
}

// The padded text, by deciphering with the library's plain CBC through the engine's mode 2.
std::string PaddedTextOf(std::string_view text) {
    Bytes sealed = SealedBytes(text);
    ScopedSchedule schedule;
    EXPECT_EQ(schedule.Setup(
                  kAlgorithmAes128, kModeCbc,
                  Concat({Bytes(sealed.begin(), sealed.begin() + 16), Bytes(16), Hex(kPhrase)})),
              kKeySetupOk);
    const Bytes body(sealed.begin() + 16, sealed.end());
    const Bytes plain = schedule.Decipher(body, static_cast<uint32_t>(body.size()), 0, 6);
    return std::string(plain.begin(), plain.end());
}

TEST(Envelope, PaddingLettersTellTheirCount) {
    EXPECT_EQ(PaddedTextOf("kvProTrial"), "kvProTrialgggggg");
    EXPECT_EQ(PaddedTextOf("kvProPaid"), "kvProPaidhhhhhhh");
    EXPECT_EQ(PaddedTextOf(""), std::string(16, 'q'));
    EXPECT_EQ(PaddedTextOf("fifteen chars!!"), "fifteen chars!!b");
    EXPECT_EQ(PaddedTextOf("sixteen chars!!!"), "sixteen chars!!!" + std::string(16, 'q'));
}

TEST(Envelope, SealsAreFreshEachTimeAndOpenAgain) {
    const std::string first = SealPayload("kvProTrial", kPhrase);
    const std::string second = SealPayload("kvProTrial", kPhrase);
    EXPECT_NE(first, second);
    for (const std::string& sealed : {first, second}) {
        EXPECT_EQ(sealed.size(), 44u);
        EXPECT_EQ(sealed.back(), '=');
        EXPECT_EQ(OpenPayload(sealed.c_str(), kPhrase), "kvProTrial");
    }
}

TEST(Envelope, SaltIsSentInTheClear) {
    const Bytes sealed = SealedBytes("kvProPaid");
    ASSERT_EQ(sealed.size(), 32u);
    EXPECT_EQ(Bytes(sealed.begin(), sealed.begin() + 16), g_fixedSalt);
}

TEST(Envelope, LongerTextsAreSealedAsOneUnit) {
    const std::string url = "http://127.0.0.1:8080/files/a/rather/long/path/setup.exe";
    const std::string sealed = SealPayload(url, kPhrase);
    EXPECT_EQ(Base64Decode(sealed.c_str()).size(), 16u + 64u);
    EXPECT_EQ(OpenPayload(sealed.c_str(), kPhrase), url);
}

TEST(Envelope, HexDigitsOfEitherCaseGiveTheSameKey) {
    const std::string sealed = SealPayload("kvProTrial", "ABCDEF0123456789abcdef0123456789");
    EXPECT_EQ(OpenPayload(sealed.c_str(), "abcdef0123456789ABCDEF0123456789"), "kvProTrial");
}

TEST(Envelope, ShortPassPhraseCountsMissingKeyBytesAsZero) {
    const std::string sealed = SealPayload("kvProTrial", "0102");
    EXPECT_EQ(OpenPayload(sealed.c_str(), "01020000000000000000000000000000"), "kvProTrial");
    EXPECT_EQ(OpenPayload(SealPayload("x", "").c_str(), std::string(32, '0')), "x");
    // Digits beyond the 32nd are never used.
    EXPECT_EQ(OpenPayload(sealed.c_str(), "01020000000000000000000000000000ffff"), "kvProTrial");
}

// ---- Opening edge cases ----

// Seals the exact 16 bytes `block` (no padding added) under kPhrase with a zero salt.
std::string SealRawBlock(std::string_view block) {
    ScopedSchedule schedule;
    EXPECT_EQ(schedule.Setup(kAlgorithmAes128, kModeCbc, Concat({Bytes(32), Hex(kPhrase)})),
              kKeySetupOk);
    const Bytes body = schedule.Encipher(Bytes(block.begin(), block.end()), 16, 0, 6);
    const Bytes all = Concat({Bytes(16), body});
    return Base64Encode(all.data(), all.size());
}

TEST(EnvelopeOpen, OpensOnlyWithPaddingOfTheLetterThatTellsItsCount) {
    auto open = [](std::string_view block) {
        return TryOpenPayload(SealRawBlock(block).c_str(), kPhrase);
    };
    EXPECT_EQ(open("0123456789abcdeb"), "0123456789abcde");
    EXPECT_EQ(open("0123456789abeeee"), "0123456789ab");
    EXPECT_EQ(open(std::string(16, 'q')), "");
    // A letter that counts nothing, more than a block, a pad byte that differs, or no letter.
    const std::string bads[] = {"0123456789abcdea",
                                "0123456789abcder",
                                "0123456789abcdec",
                                "0123456789abcxdd",
                                "0123456789abcde\x7f",
                                "0123456789abcde\xe0",
                                std::string("0123456789abcde\0", 16)};
    for (const std::string& bad : bads) {
        SCOPED_TRACE(testing::PrintToString(bad));
        EXPECT_FALSE(open(bad).has_value());
        EXPECT_EQ(OpenPayload(SealRawBlock(bad).c_str(), kPhrase), "");
    }
}

TEST(EnvelopeOpen, PayloadOfOnlyASaltOrLessOpensEmpty) {
    const Bytes salt(16, 7);
    EXPECT_EQ(OpenPayload(Base64Encode(salt.data(), 16).c_str(), kPhrase), "");
    EXPECT_EQ(OpenPayload(Base64Encode(salt.data(), 15).c_str(), kPhrase), "");
    EXPECT_EQ(OpenPayload(Base64Encode(salt.data(), 1).c_str(), kPhrase), "");
    EXPECT_EQ(OpenPayload("", kPhrase), "");
    EXPECT_EQ(OpenPayload(nullptr, kPhrase), "");
}

TEST(EnvelopeOpen, CipherTextOfPartBlocksOrOnlyASaltDoesNotOpen) {
    Bytes raw = Base64Decode(SealPayload("kvProTrial", kPhrase).c_str());
    raw.push_back('q');  // one block and one stray byte
    EXPECT_FALSE(TryOpenPayload(Base64Encode(raw.data(), raw.size()).c_str(), kPhrase));
    const Bytes salt(16, 7);
    EXPECT_FALSE(TryOpenPayload(Base64Encode(salt.data(), 16).c_str(), kPhrase));
    EXPECT_FALSE(TryOpenPayload(nullptr, kPhrase));
    EXPECT_EQ(TryOpenPayload(SealPayload("", kPhrase).c_str(), kPhrase), "") << "sealed empty text";
}

TEST(EnvelopeOpen, LineBreaksAndSpacesInTheBase64AreSkipped) {
    const std::string sealed = SealPayload("kvProPaid", kPhrase);
    std::string spread;
    for (size_t i = 0; i < sealed.size(); ++i) {
        spread += sealed[i];
        if (i % 5 == 4) spread += (i % 2 ? "\r\n" : " \t");
    }
    EXPECT_EQ(OpenPayload(spread.c_str(), kPhrase), "kvProPaid");
}

// ---- Hex and base64 ----

TEST(HexToBytes, PairsHighNibbleFirstOddDigitIgnoredOthersZero) {
    EXPECT_EQ(HexToBytes("0aFf7"), (Bytes{0x0A, 0xFF}));
    EXPECT_EQ(HexToBytes("zz1g"), (Bytes{0x00, 0x10}));
    EXPECT_TRUE(HexToBytes("").empty());
}

TEST(Base64, EncodesGroupsWithPadding) {
    const std::string text = "foobar";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // RFC 4648, section 10.
    EXPECT_EQ(Base64Encode(bytes, 0), "");
    EXPECT_EQ(Base64Encode(bytes, 1), "Zg==");
    EXPECT_EQ(Base64Encode(bytes, 2), "Zm8=");
    EXPECT_EQ(Base64Encode(bytes, 3), "Zm9v");
    EXPECT_EQ(Base64Encode(bytes, 5), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode(bytes, 6), "Zm9vYmFy");
    const Bytes high = {0xFB, 0xFF};
    EXPECT_EQ(Base64Encode(high.data(), 2), "+/8=");
}

TEST(Base64, DecodeStopsAtTheFirstEqualsSignAndSkipsStrangers) {
    auto decode = [](const char* text) {
        const Bytes bytes = Base64Decode(text);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(decode("Zm9vYmFy"), "foobar");
    EXPECT_EQ(decode("Zm9vYmE="), "fooba");
    EXPECT_EQ(decode("Zg==Zm9v"), "f");
    EXPECT_EQ(decode("Zm=9v"), "f");
    EXPECT_EQ(decode("Z m\n9*v\x80"), "foo");
    EXPECT_EQ(decode("Z"), "");
    EXPECT_EQ(decode(""), "");
    EXPECT_TRUE(Base64Decode(nullptr).empty());
}

}  // namespace
