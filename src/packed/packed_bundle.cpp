#include "packed/packed_bundle.h"

#include <cstdint>
#include <string_view>

#include "packed/inflate.h"

namespace kv::packed {
namespace {

constexpr std::string_view kMagic = "KVPK";
constexpr size_t kEntryBytes = 10;
// More than any file the program packs; a larger size in a header is damage, not a file.
constexpr uint64_t kLargestStream = 16u << 20;

uint32_t LittleEndian(std::span<const unsigned char> bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count; i-- > 0;) value = value << 8 | bytes[at + i];
    return value;
}

}  // namespace

std::optional<std::string> UnpackEntry(std::span<const unsigned char> bundle, int id) {
    const size_t headerStart = kMagic.size() + 2;
    if (bundle.size() < headerStart ||
        std::string_view(reinterpret_cast<const char*>(bundle.data()), kMagic.size()) != kMagic) {
        return std::nullopt;
    }
    const size_t count = LittleEndian(bundle, kMagic.size(), 2);
    const size_t streamStart = headerStart + count * kEntryBytes;
    if (bundle.size() < streamStart) return std::nullopt;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = headerStart + i * kEntryBytes;
        if (LittleEndian(bundle, entry, 2) != static_cast<uint32_t>(id)) continue;
        const uint64_t offset = LittleEndian(bundle, entry + 2, 4);
        const uint64_t size = LittleEndian(bundle, entry + 6, 4);
        if (offset + size > kLargestStream) return std::nullopt;
        auto unpacked = InflatePrefix(bundle.subspan(streamStart), offset + size);
        if (!unpacked) return std::nullopt;
        return unpacked->substr(offset);
    }
    return std::nullopt;
}

}  // namespace kv::packed
