#include "service/envelope.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include "crypto/cipher_engine.h"
#include "crypto/cipher_tables.h"
#include "crypto/secure_fill.h"

namespace {

constexpr size_t kSaltSize = 16;
constexpr size_t kBlockSize = 16;
constexpr size_t kKeyOffset = 32;
constexpr size_t kKeySize = 16;
constexpr uint32_t kEnvelopeFlags = kUnitDerivedIv | kUnitPartialUnits;
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The pad byte tells its own count as a letter: n copies of 'a' + n, n from 1 to 16.
std::string PadText(std::string_view plainText) {
    const size_t padCount = kBlockSize - plainText.size() % kBlockSize;
    std::string padded(plainText);
    padded.append(padCount, static_cast<char>('a' + padCount));
    return padded;
}

// The text without its padding, or nothing when the padding is not one that PadText makes: a
// damaged or foreign payload must not open to a shortened or lengthened text.
std::optional<std::string> RemovePadding(std::string text) {
    if (text.empty() || text.size() % kBlockSize != 0) return std::nullopt;
    const char letter = text.back();
    if (letter < 'a' + 1 || letter > static_cast<char>('a' + kBlockSize)) return std::nullopt;
    const size_t padCount = static_cast<size_t>(letter - 'a');
    const size_t keep = text.size() - padCount;
    if (text.find_first_not_of(letter, keep) != std::string::npos) return std::nullopt;
    text.resize(keep);
    return text;
}

// Key material for the AES128 entry in CBC mode: the salt as the first half of the IV seed,
// a zero second half (so no whitening), and the pass phrase's key at byte 32. A short pass
// phrase leaves the missing key bytes zero.
void FillKeyMaterial(unsigned char (&material)[kKeyMaterialSize], const unsigned char* salt,
                     std::string_view passPhrase) {
    std::memset(material, 0, sizeof material);
    std::memcpy(material, salt, kSaltSize);
    std::vector<unsigned char> key = HexToBytes(passPhrase.substr(0, 2 * kKeySize));
    if (!key.empty()) std::memcpy(material + kKeyOffset, key.data(), key.size());
    SecureFill(key.data(), 0x00, key.size());
}

// Enciphers or deciphers `buffer` from byte 16 on as one unit. False if the key setup failed.
bool RunEnvelopeCipher(std::string& buffer, std::string_view passPhrase, bool encipher) {
    const size_t cipherLength = buffer.size() - kSaltSize;
    if (cipherLength > std::numeric_limits<uint32_t>::max()) return false;
    unsigned char material[kKeyMaterialSize];
    FillKeyMaterial(material, reinterpret_cast<const unsigned char*>(buffer.data()), passPhrase);
    int32_t mode = kModeCbc;
    KeySchedule* schedule = nullptr;
    const int status = KeySetup(AlgorithmTable[kAlgorithmAes128].identifier, nullptr, &mode,
                                nullptr, 0, material, &schedule);
    SecureFill(material, 0x00, sizeof material);
    if (status != kKeySetupOk) return false;
    auto* data = reinterpret_cast<unsigned char*>(buffer.data()) + kSaltSize;
    const auto length = static_cast<uint32_t>(cipherLength);
    if (encipher) {
        EncipherUnits(data, length, length, 0, 0, kEnvelopeFlags, schedule);
    } else {
        DecipherUnits(data, length, length, 0, 0, kEnvelopeFlags, schedule);
    }
    ReleaseKeySchedule(schedule);
    return true;
}

int Base64Index(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

std::string SealPayload(std::string_view plainText, std::string_view passPhrase) {
    return SealPayload(plainText, passPhrase, DefaultSalt);
}

std::string SealPayload(std::string_view plainText, std::string_view passPhrase, SaltSource salt) {
    unsigned char saltBytes[kSaltSize] = {};
    (salt ? salt : DefaultSalt)(saltBytes);
    // Salt, then the padded text enciphered as one unit (one block for the service's texts).
    std::string buffer(reinterpret_cast<const char*>(saltBytes), kSaltSize);
    buffer += PadText(plainText);
    if (!RunEnvelopeCipher(buffer, passPhrase, true)) return std::string();
    return Base64Encode(reinterpret_cast<const unsigned char*>(buffer.data()), buffer.size());
}

std::string OpenPayload(const char* payload, std::string_view passPhrase) {
    return TryOpenPayload(payload, passPhrase).value_or(std::string());
}

std::optional<std::string> TryOpenPayload(const char* payload, std::string_view passPhrase) {
    if (payload == nullptr) return std::nullopt;
    const std::vector<unsigned char> decoded = Base64Decode(payload);
    // Without a whole salt there is no IV to decipher with.
    if (decoded.size() < kSaltSize) return std::nullopt;
    std::string buffer(decoded.begin(), decoded.end());
    if (!RunEnvelopeCipher(buffer, passPhrase, false)) return std::nullopt;
    return RemovePadding(buffer.substr(kSaltSize));
}

std::vector<unsigned char> HexToBytes(std::string_view text) {
    std::vector<unsigned char> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] =
            static_cast<unsigned char>(HexValue(text[2 * i]) << 4 | HexValue(text[2 * i + 1]));
    }
    return bytes;
}

std::string Base64Encode(const unsigned char* bytes, std::size_t count) {
    std::string text;
    if (bytes == nullptr || count == 0) return text;
    text.reserve((count + 2) / 3 * 4);
    for (size_t i = 0; i < count; i += 3) {
        const size_t left = count - i;
        const uint32_t group = uint32_t(bytes[i]) << 16 |
                               (left > 1 ? uint32_t(bytes[i + 1]) << 8 : 0) |
                               (left > 2 ? bytes[i + 2] : 0);
        text += kBase64Alphabet[group >> 18 & 63];
        text += kBase64Alphabet[group >> 12 & 63];
        text += left > 1 ? kBase64Alphabet[group >> 6 & 63] : '=';
        text += left > 2 ? kBase64Alphabet[group & 63] : '=';
    }
    return text;
}

std::vector<unsigned char> Base64Decode(const char* text) {
    std::vector<unsigned char> bytes;
    if (text == nullptr) return bytes;
    bytes.reserve(std::strlen(text) / 4 * 3 + 3);
    uint32_t group = 0;
    int sextets = 0;
    for (const char* p = text; *p != '\0' && *p != '='; ++p) {
        const int index = Base64Index(*p);
        if (index < 0) continue;
        group = group << 6 | uint32_t(index);
        if (++sextets == 4) {
            bytes.push_back(static_cast<unsigned char>(group >> 16));
            bytes.push_back(static_cast<unsigned char>(group >> 8));
            bytes.push_back(static_cast<unsigned char>(group));
            group = 0;
            sextets = 0;
        }
    }
    // An incomplete group of c sextets still gives c - 1 bytes.
    if (sextets >= 2) {
        group <<= 6 * (4 - sextets);
        bytes.push_back(static_cast<unsigned char>(group >> 16));
        if (sextets == 3) bytes.push_back(static_cast<unsigned char>(group >> 8));
    }
    return bytes;
}
