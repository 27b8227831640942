// Fuzzes our reading of signed programs: the signature layout of arbitrary files, the digest over
// whatever layout was accepted, and the signed-data reader on arbitrary bytes and on the
// signature a file carried. Nothing may read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "trust/authenticode_digest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    AuthenticodeContent content;
    if (ReadAuthenticodeContent(bytes, content)) {
        const auto inside = [&](std::span<const std::uint8_t> part) {
            return part.data() >= data && part.data() + part.size() <= data + size;
        };
        if (!inside(content.digest) || !inside(content.signedContent)) std::abort();
    }

    PeSignatureLayout layout;
    if (ReadPeSignature(MemoryReader(bytes), size, layout) != PeSignatureStatus::Ok) return 0;
    // An accepted table ends the file exactly and follows every hashed byte.
    if (layout.tableOffset + 8 + layout.signature.size() > size ||
        layout.tableOffset < layout.securityEntryOffset + 8) {
        std::abort();
    }
    Sha256Digest digest{};
    if (!ComputeAuthenticodeDigest(MemoryReader(bytes), layout, digest)) std::abort();
    ReadAuthenticodeContent(layout.signature, content);
    return 0;
}
