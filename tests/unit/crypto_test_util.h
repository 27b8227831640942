#pragma once
// Helpers shared by the cipher engine and envelope tests.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/block_cipher.h"
#include "crypto/cipher_engine.h"
#include "crypto/cipher_tables.h"
#include "crypto/key_schedule.h"

using Bytes = std::vector<unsigned char>;

inline Bytes Hex(std::string_view text) {
    Bytes bytes;
    auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\n') continue;
        if (high < 0) {
            high = value(c);
        } else {
            bytes.push_back(static_cast<unsigned char>(high << 4 | value(c)));
            high = -1;
        }
    }
    return bytes;
}

inline std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// A KeySchedule that releases itself.
class ScopedSchedule {
  public:
    ScopedSchedule() = default;
    ~ScopedSchedule() { ReleaseKeySchedule(schedule_); }
    ScopedSchedule(const ScopedSchedule&) = delete;
    ScopedSchedule& operator=(const ScopedSchedule&) = delete;

    int Setup(int algorithm, int32_t mode, const Bytes& material) {
        ReleaseKeySchedule(schedule_);
        schedule_ = nullptr;
        Bytes full(kKeyMaterialSize, 0);
        std::copy(material.begin(), material.begin() + std::min(material.size(), full.size()),
                  full.begin());
        return KeySetup(AlgorithmTable[algorithm].identifier, nullptr, &mode, nullptr, 0,
                        full.data(), &schedule_);
    }
    KeySchedule* get() const { return schedule_; }

    Bytes Encipher(Bytes data, uint32_t unitSize, uint64_t unit, uint32_t flags) const {
        EncipherUnits(data.data(), static_cast<uint32_t>(data.size()), unitSize,
                      static_cast<uint32_t>(unit), static_cast<uint32_t>(unit >> 32), flags,
                      schedule_);
        return data;
    }
    Bytes Decipher(Bytes data, uint32_t unitSize, uint64_t unit, uint32_t flags) const {
        DecipherUnits(data.data(), static_cast<uint32_t>(data.size()), unitSize,
                      static_cast<uint32_t>(unit), static_cast<uint32_t>(unit >> 32), flags,
                      schedule_);
        return data;
    }

  private:
    KeySchedule* schedule_ = nullptr;
};

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Holds the library's chained handles of a schedule, so that the engine's own block-wise code
// does the work; both paths must give the same bytes.
class BulkPathsHeld {
  public:
    explicit BulkPathsHeld(const KeySchedule* schedule) {
        for (int i = 0; i < kMaxChainLength; ++i) leases_[i].emplace(&schedule->primary[i]);
    }

  private:
    std::optional<BulkLease> leases_[kMaxChainLength];
};
