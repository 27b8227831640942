#pragma once
// The Authenticode digest of a setup file, computed while the file is being written, so that the
// check after the last byte only parses the signature instead of reading and hashing the whole
// file a second time. It accepts exactly the files that ReadPeSignature and
// ComputeAuthenticodeDigest accept (AuthenticodeDigestInPieces says how).
//
// The hashing runs on a worker thread of its own: Append only copies the bytes into a bounded
// buffer (and waits when the worker is that far behind), so the thread that receives the file
// does not wait for the hash. Without a worker (none could be started) Append hashes itself.
//
// One stream follows one file across attempts: a resumed transfer goes on appending where the
// previous attempt stopped (Seen() must then equal the bytes the file holds; otherwise Restart()
// and start the file over), and a transfer that starts the file over calls Restart(). Movable, so
// that it can travel with the partial file from one attempt's thread to the next; used by one
// thread at a time. Never throws.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "trust/authenticode_digest.h"
#include "trust/sha256.h"

class AuthenticodeStream {
  public:
    AuthenticodeStream();
    ~AuthenticodeStream();  // stops the worker
    AuthenticodeStream(AuthenticodeStream&&) noexcept;
    AuthenticodeStream& operator=(AuthenticodeStream&&) noexcept;

    // The file starts over from byte 0.
    void Restart();
    // The next `count` bytes of the file, in file order.
    void Append(const unsigned char* bytes, std::size_t count);
    // Bytes appended since the last restart: where a resumed transfer must go on.
    std::uint64_t Seen() const;

    // After the last byte: the digest over the image without checksum, security entry and
    // signature table, and the layout seen (with the embedded signature); false when the bytes
    // were not a signed image that ReadPeSignature accepts. Waits for the worker to hash what is
    // still buffered, then stops it. Ends the stream: later calls give the same answer until
    // Restart().
    bool Finish(PeSignatureLayout& layout, Sha256Digest& digest);

  private:
    struct State;
    static std::unique_ptr<State> NewState();  // empty when out of memory
    std::unique_ptr<State> state_;  // on the heap, where the worker finds it after a move
};
