// The cipher engine's tables, key setup, unit loop and round trips.
#include <gtest/gtest.h>

#include <gcrypt.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <set>
#include <thread>

#include "crypto_test_util.h"
#include "crypto/block_cipher.h"
#include "crypto/key_schedule.h"

// Global allocation of this program goes through these, so that a freed block can be looked at
// while it is still allocated: the only moment a wipe before freeing can be seen.
namespace {
std::atomic<const void*> g_watchedBlock{nullptr};
std::atomic<int> g_watchedBlockFreedWiped{-1};  // -1: not freed yet; then 0 or 1

void InspectBeforeFree(void* block) noexcept {
    if (block == nullptr || block != g_watchedBlock.load()) return;
    const auto* bytes = static_cast<const unsigned char*>(block);
    bool wiped = true;
    for (size_t i = 0; i < sizeof(KeySchedule); ++i) wiped = wiped && bytes[i] == 0;
    g_watchedBlockFreedWiped.store(wiped ? 1 : 0);
    g_watchedBlock.store(nullptr);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* block) noexcept {
    InspectBeforeFree(block);
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    InspectBeforeFree(block);
    std::free(block);
}

namespace {

Bytes RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<unsigned char>(generator());
    return bytes;
}

int32_t SetupStatus(const unsigned char* identifier, int32_t mode, const unsigned char* password,
                    int32_t passwordLength, KeySchedule** out) {
    Bytes material(kKeyMaterialSize, 0x5A);
    return KeySetup(identifier, nullptr, &mode, password, passwordLength, material.data(), out);
}

// ---- Tables ----

TEST(CipherTables, IdentifiersAreDistinctAndFoundAgain) {
    ASSERT_EQ(AlgorithmCount(), 15);
    std::set<Bytes> seen;
    for (int index = 1; index <= 15; ++index) {
        const unsigned char* id = AlgorithmTable[index].identifier;
        EXPECT_TRUE(seen.insert(Bytes(id, id + kAlgorithmIdentifierSize)).second);
        EXPECT_EQ(FindAlgorithm(id), index);
    }
    EXPECT_EQ(FindAlgorithm(Bytes(16, 0).data()), 0);
}

TEST(CipherTables, DesStandsBetweenCast5AndSerpentAndLookupsWalkById) {
    EXPECT_STREQ(CipherTable[5].name, "DES");
    EXPECT_EQ(CipherTable[5].id, kCipherDes);
    EXPECT_EQ(CipherBlockSize(kCipherDes), 8u);
    EXPECT_EQ(CipherScheduleSize(kCipherTwofish), 4288u);
    EXPECT_EQ(CipherKeySize(42), 0u);
}

TEST(CipherTables, ChainLookupsAndSums) {
    // Entry 15: Serpent, Blowfish, AES256.
    EXPECT_EQ(FirstCipher(15), kCipherSerpent);
    EXPECT_EQ(LastCipher(15), kCipherAes256);
    EXPECT_EQ(NextCipher(15, kCipherSerpent), kCipherBlowfish);
    EXPECT_EQ(NextCipher(15, kCipherAes256), kCipherNone);
    EXPECT_EQ(PreviousCipher(15, kCipherBlowfish), kCipherSerpent);
    EXPECT_EQ(PreviousCipher(15, kCipherSerpent), kCipherNone);
    EXPECT_EQ(AlgorithmKeySize(15), 32u + 56u + 32u);
    EXPECT_EQ(AlgorithmScheduleSize(10), 560u + 4288u + 488u);
    EXPECT_EQ(AlgorithmBlockSize(14), 8u);
    EXPECT_EQ(NextPermittedMode(1, 0), kModeXts);
    EXPECT_EQ(NextPermittedMode(1, kModeXts), kModeLrw);
    EXPECT_EQ(NextPermittedMode(1, kModeCbc), 0);
    EXPECT_EQ(NextPermittedMode(14, kModeInnerCbc), 0);
    EXPECT_EQ(FirstCipher(0), kCipherNone);
    EXPECT_EQ(FirstCipher(16), kCipherNone);
}

// ---- KeySetup status codes and argument checks ----

TEST(KeySetup, ArgumentChecks) {
    const unsigned char* aes = AlgorithmTable[kAlgorithmAes128].identifier;
    Bytes material(kKeyMaterialSize, 1);
    int32_t mode = kModeCbc;
    EXPECT_EQ(KeySetup(aes, nullptr, &mode, nullptr, 0, material.data(), nullptr),
              kKeySetupInvalidArguments);

    KeySchedule* out = reinterpret_cast<KeySchedule*>(&mode);  // must be emptied
    EXPECT_EQ(KeySetup(nullptr, nullptr, &mode, nullptr, 0, material.data(), &out),
              kKeySetupInvalidArguments);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(KeySetup(aes, nullptr, nullptr, nullptr, 0, material.data(), &out),
              kKeySetupInvalidArguments);
    EXPECT_EQ(KeySetup(aes, nullptr, &mode, nullptr, 0, nullptr, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(SetupStatus(aes, 6, nullptr, 0, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(SetupStatus(aes, -1, nullptr, 0, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(SetupStatus(aes, 0, nullptr, 0, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(SetupStatus(aes, kModeCbc, nullptr, 3, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(out, nullptr);
}

TEST(KeySetup, PasswordFormIsRefusedWithoutAllocating) {
    const unsigned char* aes = AlgorithmTable[kAlgorithmAes128].identifier;
    const unsigned char password[] = "secret";
    KeySchedule* out = nullptr;
    EXPECT_EQ(SetupStatus(aes, 0, password, 6, &out), kKeySetupInvalidArguments);
    EXPECT_EQ(out, nullptr);
}

TEST(KeySetup, UnknownIdentifierGivesFiveAndNoSchedule) {
    Bytes unknown(16, 0xEE);
    KeySchedule* out = nullptr;
    EXPECT_EQ(SetupStatus(unknown.data(), kModeCbc, nullptr, 0, &out), kKeySetupUnknownAlgorithm);
    EXPECT_EQ(out, nullptr);
}

TEST(KeySetup, EveryEntryAndModeSetsUp) {
    for (int algorithm = 1; algorithm <= 15; ++algorithm) {
        for (int32_t mode = 1; mode <= 5; ++mode) {
            ScopedSchedule schedule;
            EXPECT_EQ(schedule.Setup(algorithm, mode, RandomBytes(256, algorithm * 7 + mode)),
                      kKeySetupOk)
                << algorithm << " " << mode;
            EXPECT_NE(schedule.get(), nullptr);
        }
    }
}

constexpr char kWeakDes[] = "0101010101010101";
constexpr char kSemiWeakDes[] = "01FE01FE01FE01FE";

TEST(KeySetup, WeakDesKeysAreReportedApartFromParity) {
    auto init = [](const Bytes& key) {
        CipherSlot slot;
        const int result = CipherInit(kCipherDes, key.data(), &slot);
        CipherRelease(&slot);
        return result;
    };
    EXPECT_EQ(init(Hex(kWeakDes)), kCipherInitWeakKey);
    EXPECT_EQ(init(Hex("0000000000000000")), kCipherInitWeakKey);  // same key, parity cleared
    EXPECT_EQ(init(Hex(kSemiWeakDes)), kCipherInitWeakKey);
    EXPECT_EQ(init(Hex("E0FEE0FEF1FEF1FE")), kCipherInitWeakKey);
    EXPECT_EQ(init(Hex("0123456789ABCDEF")), kCipherInitOk);
    // The library also calls some "possibly weak" keys weak; those are ordinary keys here.
    EXPECT_EQ(init(Hex("1F1F01010E0E0101")), kCipherInitOk);
    CipherSlot slot;
    EXPECT_EQ(CipherInit(1234, Hex(kWeakDes).data(), &slot), kCipherInitFailed);
}

TEST(KeySetup, TripleDesWeakKeysGiveOneAndAUsableSchedule) {
    const Bytes k1 = Hex("0123456789ABCDEF");
    const Bytes k2 = Hex("23456789ABCDEF01");
    const Bytes k3 = Hex("456789ABCDEF0123");
    Bytes k1FlippedParity = k1;
    for (auto& b : k1FlippedParity) b ^= 1;
    const Bytes seed = RandomBytes(32, 3);
    const Bytes plain = RandomBytes(64, 4);
    struct Case {
        Bytes keys;
        int expected;
    };
    const Case cases[] = {
        {Concat({k1, k2, k3}), kKeySetupOk},
        {Concat({k1, k1FlippedParity, k3}), kKeySetupWeakKey},
        {Concat({k1, k2, k2}), kKeySetupWeakKey},
        {Concat({k3, k2, k3}), kKeySetupWeakKey},
        {Concat({k1, Hex(kSemiWeakDes), k3}), kKeySetupWeakKey},
    };
    for (const Case& c : cases) {
        ScopedSchedule schedule;
        ASSERT_EQ(schedule.Setup(7, kModeCbc, Concat({seed, c.keys})), c.expected);
        ASSERT_NE(schedule.get(), nullptr);
        EXPECT_EQ(schedule.Decipher(schedule.Encipher(plain, 64, 9, 6), 64, 9, 6), plain);
    }
}

TEST(KeySetup, WeakSecondaryKeyInXtsFailsTheModeWithNoSchedule) {
    const Bytes good = Hex("0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123");
    const Bytes weakSecondary = Hex("0123456789ABCDEF0123456789ABCDEF456789ABCDEF0123");
    ScopedSchedule schedule;
    EXPECT_EQ(schedule.Setup(7, kModeXts, Concat({good, weakSecondary})), kKeySetupModeFailed);
    EXPECT_EQ(schedule.get(), nullptr);
    // A weak primary key with a sound secondary key is only a warning.
    EXPECT_EQ(schedule.Setup(7, kModeXts, Concat({weakSecondary, good})), kKeySetupWeakKey);
    EXPECT_NE(schedule.get(), nullptr);
}

TEST(ReleaseKeySchedule, WipesTheWholeScheduleBeforeFreeingItAndNothingIsHarmless) {
    ReleaseKeySchedule(nullptr);

    KeySchedule* schedule = nullptr;
    int32_t mode = kModeXts;
    Bytes material = RandomBytes(kKeyMaterialSize, 11);
    ASSERT_EQ(KeySetup(AlgorithmTable[kAlgorithmAes128].identifier, nullptr, &mode, nullptr, 0,
                       material.data(), &schedule),
              kKeySetupOk);
    ASSERT_NE(schedule, nullptr);
    // The secondary key is kept in the block itself: there is something to wipe.
    const Bytes secondary(schedule->secondaryKey,
                          schedule->secondaryKey + sizeof(schedule->secondaryKey));
    EXPECT_NE(secondary, Bytes(secondary.size(), 0));

    g_watchedBlock.store(schedule);
    ReleaseKeySchedule(schedule);
    EXPECT_EQ(g_watchedBlockFreedWiped.load(), 1) << "-1: never freed, 0: freed unwiped";
}

// ---- Unit loop ----

// Plain CBC by the library, as the reference the engine's CBC with IV derivation is built on.
Bytes LibraryCbc(int algorithm, const Bytes& key, const Bytes& iv, Bytes data) {
    gcry_cipher_hd_t handle;
    EXPECT_EQ(gcry_cipher_open(&handle, algorithm, GCRY_CIPHER_MODE_CBC, 0), 0u);
    gcry_cipher_setkey(handle, key.data(), key.size());
    gcry_cipher_setiv(handle, iv.data(), iv.size());
    gcry_cipher_encrypt(handle, data.data(), data.size(), nullptr, 0);
    gcry_cipher_close(handle);
    return data;
}

uint32_t BitwiseCrc32(uint32_t word) {
    uint32_t crc = 0xFFFFFFFF;
    for (int i = 0; i < 4; ++i) {
        crc ^= (word >> (8 * i)) & 0xFF;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

struct DerivationCase {
    int algorithm;
    int libraryAlgorithm;
    size_t keySize;
    uint32_t blockSize;
};

TEST(UnitLoop, DerivedIvAndWhiteningFollowTheUnitNumber) {
    const DerivationCase cases[] = {{3, GCRY_CIPHER_AES128, 16, 16}, {5, GCRY_CIPHER_CAST5, 16, 8}};
    for (const DerivationCase& c : cases) {
        SCOPED_TRACE(c.algorithm);
        const Bytes seed = RandomBytes(32, 11);
        const Bytes key = RandomBytes(c.keySize, 12);
        const Bytes plain = RandomBytes(64, 13);
        const uint64_t unit = 0x500000007ull;
        ScopedSchedule schedule;
        ASSERT_EQ(schedule.Setup(c.algorithm, kModeCbc, Concat({seed, key})), kKeySetupOk);

        uint32_t t[8];
        for (int k = 0; k < 8; ++k) t[k] = Le32(seed, 4 * k) ^ (k % 2 ? 5u : 7u);
        Bytes iv(c.blockSize);
        for (uint32_t k = 0; k < c.blockSize / 4; ++k) PutLe32(iv, 4 * k, t[k]);
        const uint32_t w0 = c.blockSize == 16 ? BitwiseCrc32(t[7]) ^ BitwiseCrc32(t[4])
                                              : BitwiseCrc32(t[5]) ^ BitwiseCrc32(t[2]);
        const uint32_t w1 = c.blockSize == 16 ? BitwiseCrc32(t[5]) ^ BitwiseCrc32(t[6])
                                              : BitwiseCrc32(t[3]) ^ BitwiseCrc32(t[4]);
        Bytes expected = LibraryCbc(c.libraryAlgorithm, key, iv, plain);
        for (size_t i = 0; i < expected.size(); i += 8) {
            Bytes whitening(8);
            PutLe32(whitening, 0, w0);
            PutLe32(whitening, 4, w1);
            for (int k = 0; k < 8; ++k) expected[i + k] ^= whitening[k];
        }
        EXPECT_EQ(ToHex(schedule.Encipher(plain, 64, unit, 6)), ToHex(expected));
    }
}

TEST(UnitLoop, WithoutFlagTwoTheSeedIsTheIvAndBytesEightToFifteenTheWhitening) {
    const Bytes seed = RandomBytes(32, 21);
    const Bytes key = RandomBytes(16, 22);
    const Bytes plain = RandomBytes(48, 23);
    ScopedSchedule schedule;
    ASSERT_EQ(schedule.Setup(3, kModeCbc, Concat({seed, key})), kKeySetupOk);
    Bytes expected =
        LibraryCbc(GCRY_CIPHER_AES128, key, Bytes(seed.begin(), seed.begin() + 16), plain);
    for (size_t i = 0; i < expected.size(); ++i) expected[i] ^= seed[8 + i % 8];
    // The unit number plays no part.
    EXPECT_EQ(ToHex(schedule.Encipher(plain, 48, 99, 4)), ToHex(expected));
}

class AesCbcUnits : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(schedule_.Setup(3, kModeCbc, RandomBytes(48, 31)), kKeySetupOk);
    }
    ScopedSchedule schedule_;
    const Bytes data_ = RandomBytes(1000, 32);
};

TEST_F(AesCbcUnits, PartialBlockAtTheEndStaysAsItWas) {
    const Bytes forty(data_.begin(), data_.begin() + 40);
    const Bytes out = schedule_.Encipher(forty, 40, 0, 6);
    const Bytes firstTwoBlocks =
        schedule_.Encipher(Bytes(forty.begin(), forty.begin() + 32), 32, 0, 6);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), firstTwoBlocks);
    EXPECT_EQ(Bytes(out.begin() + 32, out.end()), Bytes(forty.begin() + 32, forty.end()));
}

TEST_F(AesCbcUnits, UnitSizeBelowTheBlockSizeMeans512) {
    for (uint32_t small : {0u, 1u, 15u}) {
        EXPECT_EQ(schedule_.Encipher(data_, small, 3, 6), schedule_.Encipher(data_, 512, 3, 6));
    }
    EXPECT_NE(schedule_.Encipher(data_, 16, 3, 6), schedule_.Encipher(data_, 512, 3, 6));
}

TEST_F(AesCbcUnits, WithoutFlagFourOnlyWholeUnitsAreProcessed) {
    const Bytes out = schedule_.Encipher(data_, 512, 0, 2);
    EXPECT_NE(Bytes(out.begin(), out.begin() + 512), Bytes(data_.begin(), data_.begin() + 512));
    EXPECT_EQ(Bytes(out.begin() + 512, out.end()), Bytes(data_.begin() + 512, data_.end()));
}

TEST_F(AesCbcUnits, UnitsAreNumberedOnFromTheFirstWithCarryIntoTheHighHalf) {
    const uint64_t first = 0xFFFFFFFFull;
    const Bytes together =
        schedule_.Encipher(Bytes(data_.begin(), data_.begin() + 64), 32, first, 6);
    const Bytes second =
        schedule_.Encipher(Bytes(data_.begin() + 32, data_.begin() + 64), 32, first + 1, 6);
    EXPECT_EQ(Bytes(together.begin() + 32, together.end()), second);
}

TEST_F(AesCbcUnits, BuffersShorterThanABlockOrWithoutScheduleStayUnchanged) {
    const Bytes short15(data_.begin(), data_.begin() + 15);
    EXPECT_EQ(schedule_.Encipher(short15, 16, 0, 6), short15);
    Bytes copy = data_;
    EncipherUnits(copy.data(), 64, 16, 0, 0, 6, nullptr);
    DecipherUnits(nullptr, 64, 16, 0, 0, 6, schedule_.get());
    EXPECT_EQ(copy, data_);
}

// ---- Round trips ----

struct RoundTripCase {
    uint32_t unitSize;
    uint32_t byteCount;
};

// Which bytes the unit loop may change, worked out independently of the engine.
std::vector<bool> ProcessedBytes(uint32_t blockSize, uint32_t unitSize, uint32_t byteCount,
                                 uint32_t flags) {
    std::vector<bool> processed(byteCount, false);
    const uint32_t unit = unitSize < blockSize ? 512 : unitSize;
    const uint32_t whole = unit / blockSize * blockSize;
    if (flags & kUnitPartialUnits) {
        for (uint32_t i = 0; i < byteCount / blockSize * blockSize; ++i) processed[i] = true;
    } else {
        for (uint32_t start = 0; start + unit <= byteCount; start += unit) {
            for (uint32_t i = 0; i < whole; ++i) processed[start + i] = true;
        }
    }
    return processed;
}

TEST(RoundTrip, EveryEntryEveryPermittedModeFlagsUnitSizesAndCounts) {
    const RoundTripCase cases[] = {{0, 1030}, {5, 100},   {8, 70},     {16, 77},    {24, 200},
                                   {40, 41},  {100, 333}, {512, 1500}, {4096, 9000}};
    int checked = 0;
    for (int algorithm = 1; algorithm <= 15; ++algorithm) {
        const uint32_t blockSize = AlgorithmBlockSize(algorithm);
        for (int32_t mode = NextPermittedMode(algorithm, 0); mode != 0;
             mode = NextPermittedMode(algorithm, mode)) {
            ScopedSchedule schedule;
            ASSERT_EQ(schedule.Setup(algorithm, mode, RandomBytes(256, algorithm * 10 + mode)),
                      kKeySetupOk);
            for (uint32_t flags : {0u, 2u, 4u, 6u}) {
                for (const RoundTripCase& c : cases) {
                    SCOPED_TRACE(::testing::Message()
                                 << "entry " << algorithm << " mode " << mode << " flags " << flags
                                 << " unit " << c.unitSize << " count " << c.byteCount);
                    const Bytes plain = RandomBytes(c.byteCount, checked);
                    const Bytes sealed = schedule.Encipher(plain, c.unitSize, 77, flags);
                    EXPECT_EQ(schedule.Decipher(sealed, c.unitSize, 77, flags), plain);
                    const auto processed =
                        ProcessedBytes(blockSize, c.unitSize, c.byteCount, flags);
                    size_t changedOutside = 0, unchangedInside = 0, inside = 0;
                    for (size_t i = 0; i < plain.size(); ++i) {
                        if (!processed[i]) changedOutside += sealed[i] != plain[i];
                        if (processed[i]) {
                            ++inside;
                            unchangedInside += sealed[i] == plain[i];
                        }
                    }
                    EXPECT_EQ(changedOutside, 0u);
                    EXPECT_LT(unchangedInside, inside / 16 + 2);
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, (5 * 3 + 3 * 2 + 5 * 3 + 2 * 1) * 4 * 9);
}

TEST(RoundTrip, LibraryChainedPathsAndOwnBlockwiseCodeAgree) {
    // A unit enciphered while another thread holds the library's handle (own code) must
    // decipher through the library's handle, and the other way round.
    const Bytes plain = RandomBytes(2048, 51);
    for (int algorithm = 1; algorithm <= 15; ++algorithm) {
        for (int32_t mode = 1; mode <= 5; ++mode) {
            ScopedSchedule schedule;
            ASSERT_EQ(schedule.Setup(algorithm, mode, RandomBytes(256, 52)), kKeySetupOk);
            const Bytes viaLibrary = schedule.Encipher(plain, 512, 1234, 6);
            std::optional<BulkPathsHeld> held(schedule.get());
            EXPECT_EQ(schedule.Encipher(plain, 512, 1234, 6), viaLibrary)
                << algorithm << " " << mode;
            EXPECT_EQ(schedule.Decipher(viaLibrary, 512, 1234, 6), plain);
        }
    }
}

TEST(RoundTrip, ModesOutsideThePermittedListStillRoundTrip) {
    // KeySetup does not check the mode against the entry; mixed block sizes in LRW or outer CBC
    // have no whole-chain block and leave the data as it is.
    const Bytes plain = RandomBytes(96, 5);
    for (int algorithm : {4, 7, 14, 15}) {
        for (int32_t mode = 1; mode <= 5; ++mode) {
            ScopedSchedule schedule;
            ASSERT_EQ(schedule.Setup(algorithm, mode, RandomBytes(256, 9)), kKeySetupOk);
            EXPECT_EQ(schedule.Decipher(schedule.Encipher(plain, 48, 1, 6), 48, 1, 6), plain)
                << algorithm << " " << mode;
        }
    }
}

TEST(RoundTrip, OneScheduleServesSeveralThreadsAtOnce) {
    for (int32_t mode : {kModeCbc, kModeXts}) {
        ScopedSchedule schedule;
        ASSERT_EQ(schedule.Setup(1, mode, RandomBytes(256, 41)), kKeySetupOk);
        const Bytes plain = RandomBytes(64 * 1024, 42);
        const Bytes expected = schedule.Encipher(plain, 4096, 0, 6);
        std::vector<Bytes> results(4);
        std::vector<std::thread> threads;
        for (auto& result : results) {
            threads.emplace_back([&] {
                for (int round = 0; round < 20; ++round) {
                    result = schedule.Encipher(plain, 4096, 0, 6);
                    if (result != expected) return;
                    if (schedule.Decipher(result, 4096, 0, 6) != plain) return;
                }
            });
        }
        for (auto& thread : threads) thread.join();
        for (const auto& result : results) EXPECT_EQ(result, expected);
    }
}

}  // namespace
