#pragma once
// A small raw DEFLATE decoder (RFC 1951, no zlib or gzip wrapper) for the resources the program
// stores compressed. Platform-free; the build compresses with zlib, which the tests check it
// against.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace kv::packed {

// The first `wanted` bytes that `stream` decodes to; the rest of the stream is not decoded.
// Empty when the stream is malformed or ends before it has produced that many bytes.
std::optional<std::string> InflatePrefix(std::span<const unsigned char> stream, size_t wanted);

}  // namespace kv::packed
