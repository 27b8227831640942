// The single-cipher layer served by the system's cryptography (CNG): AES with 128-, 192- and
// 256-bit keys, block-wise (ECB) and in the bulk CBC passes. Every other cipher fails to
// initialise, so the engine reports its algorithms as unknown.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "crypto/block_cipher.h"
#include "crypto/cipher_tables.h"
#include "win/handles.h"

namespace {

constexpr ULONG kAesBlockSize = 16;

void CloseProvider(BCRYPT_ALG_HANDLE provider) {
    BCryptCloseAlgorithmProvider(provider, 0);
}
using Provider = kv::win::UniqueHandle<BCRYPT_ALG_HANDLE, CloseProvider>;

// An AES provider whose keys chain in `chainingMode`; empty if the system refuses.
Provider OpenAes(const wchar_t* chainingMode) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
        return Provider();
    }
    Provider provider(handle);
    const auto size = static_cast<ULONG>((wcslen(chainingMode) + 1) * sizeof(wchar_t));
    auto* mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainingMode));
    if (!BCRYPT_SUCCESS(BCryptSetProperty(handle, BCRYPT_CHAINING_MODE, mode, size, 0))) {
        return Provider();
    }
    return provider;
}

// Both providers live as long as the process; opening them once makes later keys cheap.
struct Providers {
    Provider ecb = OpenAes(BCRYPT_CHAIN_MODE_ECB);
    Provider cbc = OpenAes(BCRYPT_CHAIN_MODE_CBC);
};

const Providers& AesProviders() {
    static const Providers providers;
    return providers;
}

bool IsAes(uint32_t cipherId) {
    return cipherId == kCipherAes128 || cipherId == kCipherAes192 || cipherId == kCipherAes256;
}

// A key object of `provider` made from the cipher's key bytes (the system keeps its own copy and
// wipes it when the key is destroyed); null for any other cipher or on failure.
CipherHandle* NewKey(const Provider& provider, uint32_t cipherId, const unsigned char* key) {
    if (!provider || key == nullptr || !IsAes(cipherId)) return nullptr;
    BCRYPT_KEY_HANDLE handle = nullptr;
    const NTSTATUS status = BCryptGenerateSymmetricKey(
        provider.Get(), &handle, nullptr, 0, const_cast<PUCHAR>(key), CipherKeySize(cipherId), 0);
    return BCRYPT_SUCCESS(status) ? static_cast<CipherHandle*>(handle) : nullptr;
}

BCRYPT_KEY_HANDLE System(CipherHandle* handle) {
    return static_cast<BCRYPT_KEY_HANDLE>(handle);
}

void DestroyKey(CipherHandle*& handle) {
    if (handle != nullptr) BCryptDestroyKey(System(handle));
    handle = nullptr;
}

// One CNG call over whole blocks. The IV, when given, is copied: CNG overwrites it with the
// chain's last block.
void Run(bool encipher, CipherHandle* key, const unsigned char* iv, const unsigned char* in,
         unsigned char* out, size_t length) {
    if (length == 0 || length > ULONG_MAX) return;
    UCHAR chain[kAesBlockSize] = {};
    PUCHAR chainArg = nullptr;
    if (iv != nullptr) {
        std::copy(iv, iv + kAesBlockSize, chain);
        chainArg = chain;
    }
    const ULONG count = static_cast<ULONG>(length);
    ULONG done = 0;
    auto* input = const_cast<PUCHAR>(in);
    if (encipher) {
        BCryptEncrypt(System(key), input, count, nullptr, chainArg, chainArg ? kAesBlockSize : 0,
                      out, count, &done, 0);
    } else {
        BCryptDecrypt(System(key), input, count, nullptr, chainArg, chainArg ? kAesBlockSize : 0,
                      out, count, &done, 0);
    }
}

}  // namespace

bool InitCryptoLibrary() {
    return static_cast<bool>(AesProviders().ecb);
}

int CipherInit(uint32_t cipherId, const unsigned char* key, CipherSlot* slot) {
    if (slot == nullptr) return kCipherInitFailed;
    slot->block = NewKey(AesProviders().ecb, cipherId, key);
    return slot->block != nullptr ? kCipherInitOk : kCipherInitFailed;
}

bool CipherInitBulkCbc(uint32_t cipherId, const unsigned char* key, CipherSlot* slot) {
    slot->bulk = NewKey(AesProviders().cbc, cipherId, key);
    return slot->bulk != nullptr;
}

// The engine's own XTS over the block handle serves mode 5.
bool CipherInitBulkXts(uint32_t, const unsigned char*, const unsigned char*, CipherSlot*) {
    return false;
}

void CipherRelease(CipherSlot* slot) {
    if (slot == nullptr) return;
    DestroyKey(slot->block);
    DestroyKey(slot->bulk);
}

void EncipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length) {
    if (slot == nullptr || slot->block == nullptr) return;
    Run(true, slot->block, nullptr, in, out, length);
}

void DecipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length) {
    if (slot == nullptr || slot->block == nullptr) return;
    Run(false, slot->block, nullptr, in, out, length);
}

void BulkLease::CbcEncipher(const unsigned char* iv, size_t ivSize, unsigned char* data,
                            size_t length) {
    if (ivSize == kAesBlockSize) Run(true, held_->bulk, iv, data, data, length);
}

void BulkLease::CbcDecipher(const unsigned char* iv, size_t ivSize, unsigned char* data,
                            size_t length) {
    if (ivSize == kAesBlockSize) Run(false, held_->bulk, iv, data, data, length);
}

// Never called: no slot of this backend holds an XTS handle.
void BulkLease::XtsEncipher(const unsigned char*, unsigned char*, size_t) {}
void BulkLease::XtsDecipher(const unsigned char*, unsigned char*, size_t) {}
