#pragma once
// SHA-256, incrementally. Natively it is libgcrypt's; in the Windows program it is the system's
// (CNG), since libgcrypt would add over a megabyte to a program that needs one hash.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256Hasher {
  public:
    Sha256Hasher();
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    // False when the hash could not be set up; Update and Finish then do nothing.
    bool Ok() const;
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything given so far; false when the hash failed on the way.
    bool Finish(Sha256Digest& digest);

  private:
    struct State;
    std::unique_ptr<State> state_;
};
