// Fuzzes our reading of signed programs: the signature layout of arbitrary files, the digest over
// whatever layout was accepted, and the signed-data reader on arbitrary bytes and on the
// signature a file carried. Nothing may read outside the input. The digest computed while the
// file arrives in pieces must agree with the whole-file reading: the same files accepted, with
// the same layout and digest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "trust/authenticode_digest.h"
#include "trust/authenticode_pieces.h"

namespace {

// Feeds the file in pieces whose sizes follow from the file's own bytes, after a false start.
bool StreamedDigest(std::span<const std::uint8_t> bytes, PeSignatureLayout& layout,
                    Sha256Digest& digest) {
    AuthenticodeDigestInPieces stream;
    stream.Append(bytes.data(), bytes.size() / 3);
    stream.Restart();
    std::size_t at = 0;
    std::uint32_t state = static_cast<std::uint32_t>(bytes.size()) * 2654435761u;
    while (at < bytes.size()) {
        state = state * 1103515245u + 12345u + bytes[at];
        const std::size_t piece = std::min<std::size_t>(bytes.size() - at, 1 + (state >> 16) % 97);
        stream.Append(bytes.data() + at, piece);
        at += piece;
    }
    if (stream.Seen() != bytes.size()) std::abort();
    return stream.Finish(layout, digest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    AuthenticodeContent content;
    if (ReadAuthenticodeContent(bytes, content)) {
        const auto inside = [&](std::span<const std::uint8_t> part) {
            return part.data() >= data && part.data() + part.size() <= data + size;
        };
        if (!inside(content.digest) || !inside(content.signedContent)) std::abort();
    }

    PeSignatureLayout streamed;
    Sha256Digest streamedDigest{};
    const bool streamOk = StreamedDigest(bytes, streamed, streamedDigest);

    PeSignatureLayout layout;
    if (ReadPeSignature(MemoryReader(bytes), size, layout) != PeSignatureStatus::Ok) {
        if (streamOk) std::abort();
        return 0;
    }
    // An accepted table ends the file exactly and follows every hashed byte.
    if (layout.tableOffset + 8 + layout.signature.size() > size ||
        layout.tableOffset < layout.securityEntryOffset + 8) {
        std::abort();
    }
    Sha256Digest digest{};
    if (!ComputeAuthenticodeDigest(MemoryReader(bytes), layout, digest)) std::abort();
    if (!streamOk || streamedDigest != digest || streamed.fileSize != layout.fileSize ||
        streamed.checksumOffset != layout.checksumOffset ||
        streamed.securityEntryOffset != layout.securityEntryOffset ||
        streamed.tableOffset != layout.tableOffset || streamed.signature != layout.signature) {
        std::abort();
    }
    ReadAuthenticodeContent(layout.signature, content);
    return 0;
}
