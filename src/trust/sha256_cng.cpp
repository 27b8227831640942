#include <windows.h>
#include <bcrypt.h>

#include "trust/sha256.h"

struct Sha256Hasher::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool failed = false;
    ~State() {
        if (hash) ::BCryptDestroyHash(hash);
        if (algorithm) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM,
                                                      nullptr, 0)) ||
        !BCRYPT_SUCCESS(
            ::BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0))) {
        state_->hash = nullptr;
    }
}

Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Ok() const {
    return state_->hash != nullptr;
}

void Sha256Hasher::Update(std::span<const std::uint8_t> bytes) {
    if (!state_->hash || state_->failed) return;
    // Fed in pieces a ULONG can count.
    while (!bytes.empty()) {
        const auto piece = bytes.first(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptHashData(state_->hash, const_cast<PUCHAR>(piece.data()),
                                             static_cast<ULONG>(piece.size()), 0))) {
            state_->failed = true;
            return;
        }
        bytes = bytes.subspan(piece.size());
    }
}

bool Sha256Hasher::Finish(Sha256Digest& digest) {
    if (!state_->hash || state_->failed) return false;
    return BCRYPT_SUCCESS(
        ::BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
}
