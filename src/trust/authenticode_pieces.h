#pragma once
// The Authenticode digest of a file that arrives in pieces, on the thread that hands them in
// (AuthenticodeStream runs it on a worker of its own). The headers in the first bytes tell which
// bytes the digest leaves out (checksum, security directory entry) and where the signature table
// starts; everything before the table is hashed as it arrives, the table's bytes (at most 1 MiB)
// are kept, and at the end they are read by the same strict parser as a whole file's, so exactly
// the files that ReadPeSignature and ComputeAuthenticodeDigest accept are accepted.
// Platform-free; feeds Sha256Hasher (CNG in the Windows program, libgcrypt natively).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "trust/authenticode_digest.h"
#include "trust/sha256.h"

class AuthenticodeDigestInPieces {
  public:
    AuthenticodeDigestInPieces();
    ~AuthenticodeDigestInPieces();
    AuthenticodeDigestInPieces(const AuthenticodeDigestInPieces&) = delete;
    AuthenticodeDigestInPieces& operator=(const AuthenticodeDigestInPieces&) = delete;

    // The file starts over from byte 0.
    void Restart();
    // The next `count` bytes of the file, in file order. Never throws: a stream that runs out of
    // memory only fails at Finish.
    void Append(const unsigned char* bytes, std::size_t count);
    // Bytes appended since the last restart.
    std::uint64_t Seen() const { return seen_; }

    // After the last byte: the digest over the image without checksum, security entry and
    // signature table, and the layout seen (with the embedded signature); false when the bytes
    // were not a signed image that ReadPeSignature accepts. Ends the stream: later calls give the
    // same answer until Restart().
    bool Finish(PeSignatureLayout& layout, Sha256Digest& digest);

  private:
    static constexpr std::uint64_t kDosHeaderSize = 64;
    // From the PE signature to the end of the security entry of a 64-bit optional header.
    static constexpr std::uint64_t kPeWindowSize = 176;

    void Consume(std::uint64_t at, const unsigned char* bytes, std::size_t count);
    std::uint64_t PieceEnd(std::uint64_t at, std::uint64_t end) const;
    void Capture(std::uint64_t at, const unsigned char* bytes, std::size_t count);
    void Hash(std::uint64_t at, const unsigned char* bytes, std::size_t count);
    void Learn();
    bool ReadCaptured(std::uint64_t offset, std::span<std::uint8_t> out) const;

    std::unique_ptr<Sha256Hasher> hasher_;
    std::uint64_t seen_ = 0;
    std::uint64_t hashedTo_ = 0;  // every byte before this was hashed or left out
    std::uint64_t limit_ = 0;     // what the digest leaves out is known up to here
    bool broken_ = false;         // out of memory, or appended after Finish

    // What the bytes seen so far tell about the layout.
    enum class Stage {
        DosHeader,      // waiting for the DOS header
        PeHeader,       // the checksum's place is known; waiting for the optional header's kind
        SecurityEntry,  // the entry's place is known; waiting for its value
        Table,          // the table's place is known: its bytes are kept
        Refused,        // a layout ReadPeSignature refuses: nothing more is hashed or kept
    };
    Stage stage_ = Stage::DosHeader;
    std::array<std::uint8_t, kDosHeaderSize> dos_{};
    std::uint64_t peOffset_ = 0;
    std::uint64_t checksumOffset_ = 0;
    std::array<std::uint8_t, kPeWindowSize> pe_{};
    std::uint64_t securityEntryOffset_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::uint64_t tableSize_ = 0;
    std::vector<std::uint8_t> table_;

    enum class Finished { No, Signed, Refused };
    Finished finished_ = Finished::No;
    PeSignatureLayout finishedLayout_;
    Sha256Digest finishedDigest_{};
};
