#include <gcrypt.h>

#include <cstring>

#include "crypto/block_cipher.h"
#include "trust/sha256.h"

struct Sha256Hasher::State {
    gcry_md_hd_t md = nullptr;
    ~State() {
        if (md) gcry_md_close(md);
    }
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
    if (!InitCryptoLibrary() || gcry_md_open(&state_->md, GCRY_MD_SHA256, 0) != 0) {
        state_->md = nullptr;
    }
}

Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Ok() const {
    return state_->md != nullptr;
}

void Sha256Hasher::Update(std::span<const std::uint8_t> bytes) {
    if (state_->md) gcry_md_write(state_->md, bytes.data(), bytes.size());
}

bool Sha256Hasher::Finish(Sha256Digest& digest) {
    if (!state_->md) return false;
    std::memcpy(digest.data(), gcry_md_read(state_->md, GCRY_MD_SHA256), digest.size());
    return true;
}
