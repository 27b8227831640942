#pragma once
// Our own reading of a signed Windows executable: where its signature table lies, the SHA-256
// digest of the file as its signer computed it, and what the embedded PKCS #7 signed data says
// the file's digest is. Platform-free, so it is the same code in the program and in the tests
// against the signing tool; it never trusts an offset or a length it has not checked against the
// file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "trust/sha256.h"

// Reads exactly out.size() bytes at `offset`; false when that is not possible.
using FileReader = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;
// A reader over bytes in memory.
FileReader MemoryReader(std::span<const std::uint8_t> bytes);

enum class PeSignatureStatus {
    Ok,
    Unreadable,  // the reader failed
    NotPe,       // no executable image
    Unsigned,    // an image without a signature table
    Malformed,   // a signature table we refuse: misplaced, mis-sized, or anything after it
};

// A longer signature table is refused: ours are a few KiB.
inline constexpr std::uint32_t kMaxSignatureTableSize = 1u << 20;

struct PeSignatureLayout {
    std::uint64_t fileSize = 0;
    std::uint64_t checksumOffset = 0;       // 4 bytes, left out of the digest
    std::uint64_t securityEntryOffset = 0;  // 8 bytes, left out of the digest
    std::uint64_t tableOffset = 0;          // the signature table runs from here to the end
    std::vector<std::uint8_t> signature;    // the PKCS #7 signed data, as embedded
};

// Finds the one signature entry of the image. The table must end exactly at the end of the file,
// hold one PKCS #7 entry and be as long as that entry rounded up to 8 bytes, with zero padding.
PeSignatureStatus ReadPeSignature(const FileReader& read, std::uint64_t fileSize,
                                  PeSignatureLayout& layout);

// The Authenticode digest: SHA-256 over the whole file except the checksum field, the security
// directory entry and the signature table. False when the reader fails.
bool ComputeAuthenticodeDigest(const FileReader& read, const PeSignatureLayout& layout,
                               Sha256Digest& digest);

Sha256Digest Sha256(std::span<const std::uint8_t> bytes);

// What the signer vouched for, read from the signed data.
struct AuthenticodeContent {
    bool digestIsSha256 = false;
    std::span<const std::uint8_t> digest;  // the file digest the signer computed
    // The value of the signed content (its outer tag and length left out), over which the
    // message-digest attribute of the signer is computed.
    std::span<const std::uint8_t> signedContent;
};

// False unless `pkcs7` is signed data whose content is an executable image's indirect data.
// The spans point into `pkcs7`.
bool ReadAuthenticodeContent(std::span<const std::uint8_t> pkcs7, AuthenticodeContent& content);
