#pragma once
// A packed bundle: several files compressed together as one raw DEFLATE stream, so that what
// they have in common (the keys and comments of the language files, say) is stored once.
//
// Layout, little-endian: "KVPK", the entry count (16 bits), per entry its id (16 bits) and the
// offset and size of its bytes in the unpacked stream (32 bits each), then the stream.
// tools/pack/pack_files.py writes it.

#include <optional>
#include <span>
#include <string>

namespace kv::packed {

// The bytes of entry `id`; empty when the bundle has no such entry or is malformed. Unpacks the
// stream only as far as the entry's end.
std::optional<std::string> UnpackEntry(std::span<const unsigned char> bundle, int id);

}  // namespace kv::packed
