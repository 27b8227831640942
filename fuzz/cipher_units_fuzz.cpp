// Fuzzes the cipher engine's unit operations with arbitrary algorithm, mode, key material, flags,
// unit size, unit number and byte count: nothing may read or write outside the buffer, and
// DecipherUnits must undo EncipherUnits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/cipher_engine.h"
#include "crypto/cipher_tables.h"

namespace {

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
        return value;
    }
    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::vector<unsigned char> Rest() {
        std::vector<unsigned char> rest(data_ + std::min(offset_, size_), data_ + size_);
        offset_ = size_;
        return rest;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader reader(data, size);
    const int algorithm = reader.Byte() % 17;  // includes 0 and one past the table
    int32_t mode = static_cast<int8_t>(reader.Byte()) % 8;
    const uint32_t flags = reader.Byte();
    const uint32_t unitSize = reader.Byte() % 2 ? reader.Word() % 5000 : reader.Word();
    const uint32_t unitLow = reader.Word();
    const uint32_t unitHigh = reader.Word();
    const uint32_t countWish = reader.Word();
    unsigned char material[kKeyMaterialSize];
    for (unsigned char& b : material) b = reader.Byte();
    std::vector<unsigned char> buffer = reader.Rest();
    const auto byteCount = static_cast<uint32_t>(std::min<size_t>(countWish, buffer.size()));

    static const unsigned char unknown[16] = {};
    const unsigned char* identifier =
        algorithm >= 1 && algorithm <= 15 ? AlgorithmTable[algorithm].identifier : unknown;
    KeySchedule* schedule = nullptr;
    const int status = KeySetup(identifier, nullptr, &mode, nullptr, 0, material, &schedule);
    if (status != kKeySetupOk && status != kKeySetupWeakKey) {
        if (schedule != nullptr) std::abort();
        return 0;
    }
    const std::vector<unsigned char> original = buffer;
    // An exact-size heap copy, so that the sanitizer sees any step past byteCount.
    std::vector<unsigned char> exact(buffer.begin(), buffer.begin() + byteCount);
    DecipherUnits(exact.data(), byteCount, unitSize, unitLow, unitHigh, flags, schedule);
    EncipherUnits(exact.data(), byteCount, unitSize, unitLow, unitHigh, flags, schedule);
    if (!std::equal(exact.begin(), exact.end(), original.begin())) std::abort();
    ReleaseKeySchedule(schedule);
    return 0;
}
