// The raw DEFLATE decoder on arbitrary streams: it never reads or writes out of bounds, and what
// it decodes is what zlib decodes from the same stream.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "packed/inflate.h"
#include "packed/packed_bundle.h"

namespace {

// zlib's first `wanted` bytes of the stream, or fewer when it stops before.
std::string ZlibPrefix(const uint8_t* data, size_t size, size_t wanted) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    std::string out(wanted, '\0');
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(wanted);
    while (z.avail_out > 0 && inflate(&z, Z_NO_FLUSH) == Z_OK) {
    }
    out.resize(wanted - z.avail_out);
    inflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t wanted = data[0] | (data[1] & 0x3F) << 8;  // up to 16 KiB
    const std::span<const unsigned char> stream(data + 2, size - 2);
    const auto ours = kv::packed::InflatePrefix(stream, wanted);
    if (ours && *ours != ZlibPrefix(data + 2, size - 2, wanted)) std::abort();
    kv::packed::UnpackEntry({data, size}, data[0]);
    return 0;
}
