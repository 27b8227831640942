#include "crypto/block_cipher.h"

#include <gcrypt.h>

#include <cstring>

#include "crypto/cipher_tables.h"
#include "crypto/secure_fill.h"

namespace {

// The slot keeps the library's handles as the layer's opaque handle type.
gcry_cipher_hd_t Library(CipherHandle* handle) {
    return reinterpret_cast<gcry_cipher_hd_t>(handle);
}
CipherHandle* Opaque(gcry_cipher_hd_t handle) {
    return reinterpret_cast<CipherHandle*>(handle);
}

int LibraryAlgorithm(uint32_t cipherId) {
    switch (cipherId) {
        case kCipherAes256:
            return GCRY_CIPHER_AES256;
        case kCipherAes192:
            return GCRY_CIPHER_AES192;
        case kCipherAes128:
            return GCRY_CIPHER_AES128;
        case kCipherBlowfish:
            return GCRY_CIPHER_BLOWFISH;
        case kCipherCast5:
            return GCRY_CIPHER_CAST5;
        case kCipherDes:
            return GCRY_CIPHER_DES;
        case kCipherSerpent:
            return GCRY_CIPHER_SERPENT256;
        case kCipherTripleDes:
            return GCRY_CIPHER_3DES;
        case kCipherTwofish:
            return GCRY_CIPHER_TWOFISH;
        default:
            return GCRY_CIPHER_NONE;
    }
}

// Bytes of key the library takes. The DES row's key size is not used: DES keys are 8 bytes.
size_t LibraryKeyLength(uint32_t cipherId) {
    return cipherId == kCipherDes ? 8 : CipherKeySize(cipherId);
}

bool IsAes(uint32_t cipherId) {
    return cipherId == kCipherAes128 || cipherId == kCipherAes192 || cipherId == kCipherAes256;
}

// The four weak and twelve semi-weak DES keys, with odd parity.
constexpr unsigned char kWeakDesKeys[16][8] = {
    {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01},
    {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE},
    {0xE0, 0xE0, 0xE0, 0xE0, 0xF1, 0xF1, 0xF1, 0xF1},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x0E, 0x0E, 0x0E, 0x0E},
    {0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE},
    {0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01},
    {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1},
    {0xE0, 0x1F, 0xE0, 0x1F, 0xF1, 0x0E, 0xF1, 0x0E},
    {0x01, 0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1},
    {0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1, 0x01},
    {0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E, 0xFE},
    {0xFE, 0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E},
    {0x01, 0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E},
    {0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E, 0x01},
    {0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1, 0xFE},
    {0xFE, 0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1},
};

// DES ignores the low bit of every key byte.
bool EqualApartFromParity(const unsigned char* a, const unsigned char* b) {
    for (int i = 0; i < 8; ++i) {
        if ((a[i] & 0xFE) != (b[i] & 0xFE)) return false;
    }
    return true;
}

bool IsWeakDesKey(const unsigned char* key) {
    for (const auto& weak : kWeakDesKeys) {
        if (EqualApartFromParity(key, weak)) return true;
    }
    return false;
}

bool IsWeakTripleDesKey(const unsigned char* key) {
    const unsigned char* k1 = key;
    const unsigned char* k2 = key + 8;
    const unsigned char* k3 = key + 16;
    return IsWeakDesKey(k1) || IsWeakDesKey(k2) || IsWeakDesKey(k3) ||
           EqualApartFromParity(k1, k2) || EqualApartFromParity(k2, k3) ||
           EqualApartFromParity(k1, k3);
}

// Opens a handle and sets its key. Weak DES keys are accepted here; whether a key counts as weak
// is decided by our own rule above, not by the library's wider list.
gcry_cipher_hd_t OpenKeyedHandle(uint32_t cipherId, int libraryMode, const void* key,
                                 size_t keyLength) {
    const int algorithm = LibraryAlgorithm(cipherId);
    if (algorithm == GCRY_CIPHER_NONE || !InitCryptoLibrary()) return nullptr;
    gcry_cipher_hd_t handle = nullptr;
    if (gcry_cipher_open(&handle, algorithm, libraryMode, 0) != 0) return nullptr;
    gcry_cipher_ctl(handle, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    const gcry_error_t error = gcry_cipher_setkey(handle, key, keyLength);
    if (error != 0 && gcry_err_code(error) != GPG_ERR_WEAK_KEY) {
        gcry_cipher_close(handle);
        return nullptr;
    }
    return handle;
}

// AES builds its decipherment schedule on first use; doing it now keeps later use read-only.
void PrepareDecipherment(gcry_cipher_hd_t handle) {
    unsigned char block[16] = {};
    gcry_cipher_decrypt(handle, block, sizeof block, nullptr, 0);
}

}  // namespace

bool InitCryptoLibrary() {
    static const bool ready = [] {
        if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return true;
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    return ready;
}

int CipherInit(uint32_t cipherId, const unsigned char* key, CipherSlot* slot) {
    if (key == nullptr || slot == nullptr) return kCipherInitFailed;
    slot->block =
        Opaque(OpenKeyedHandle(cipherId, GCRY_CIPHER_MODE_ECB, key, LibraryKeyLength(cipherId)));
    if (slot->block == nullptr) return kCipherInitFailed;
    if (IsAes(cipherId)) PrepareDecipherment(Library(slot->block));
    if (cipherId == kCipherDes && IsWeakDesKey(key)) return kCipherInitWeakKey;
    if (cipherId == kCipherTripleDes && IsWeakTripleDesKey(key)) return kCipherInitWeakKey;
    return kCipherInitOk;
}

bool CipherInitBulkCbc(uint32_t cipherId, const unsigned char* key, CipherSlot* slot) {
    slot->bulk =
        Opaque(OpenKeyedHandle(cipherId, GCRY_CIPHER_MODE_CBC, key, LibraryKeyLength(cipherId)));
    return slot->bulk != nullptr;
}

bool CipherInitBulkXts(uint32_t cipherId, const unsigned char* key, const unsigned char* tweakKey,
                       CipherSlot* slot) {
    const size_t keyLength = LibraryKeyLength(cipherId);
    if (CipherBlockSize(cipherId) != 16 || keyLength > 32) return false;
    unsigned char bothKeys[64];
    std::memcpy(bothKeys, key, keyLength);
    std::memcpy(bothKeys + keyLength, tweakKey, keyLength);
    slot->bulk = Opaque(OpenKeyedHandle(cipherId, GCRY_CIPHER_MODE_XTS, bothKeys, 2 * keyLength));
    SecureFill(bothKeys, 0x00, sizeof bothKeys);
    return slot->bulk != nullptr;
}

void CipherRelease(CipherSlot* slot) {
    if (slot == nullptr) return;
    gcry_cipher_close(Library(slot->block));
    gcry_cipher_close(Library(slot->bulk));
    slot->block = nullptr;
    slot->bulk = nullptr;
}

void EncipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length) {
    if (slot == nullptr || slot->block == nullptr || length == 0) return;
    if (in == out) {
        gcry_cipher_encrypt(Library(slot->block), out, length, nullptr, 0);
    } else {
        gcry_cipher_encrypt(Library(slot->block), out, length, in, length);
    }
}

void DecipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length) {
    if (slot == nullptr || slot->block == nullptr || length == 0) return;
    if (in == out) {
        gcry_cipher_decrypt(Library(slot->block), out, length, nullptr, 0);
    } else {
        gcry_cipher_decrypt(Library(slot->block), out, length, in, length);
    }
}

void BulkLease::CbcEncipher(const unsigned char* iv, size_t ivSize, unsigned char* data,
                            size_t length) {
    gcry_cipher_setiv(Library(held_->bulk), iv, ivSize);
    gcry_cipher_encrypt(Library(held_->bulk), data, length, nullptr, 0);
}

void BulkLease::CbcDecipher(const unsigned char* iv, size_t ivSize, unsigned char* data,
                            size_t length) {
    gcry_cipher_setiv(Library(held_->bulk), iv, ivSize);
    gcry_cipher_decrypt(Library(held_->bulk), data, length, nullptr, 0);
}

void BulkLease::XtsEncipher(const unsigned char tweak[16], unsigned char* data, size_t length) {
    gcry_cipher_setiv(Library(held_->bulk), tweak, 16);
    gcry_cipher_encrypt(Library(held_->bulk), data, length, nullptr, 0);
}

void BulkLease::XtsDecipher(const unsigned char tweak[16], unsigned char* data, size_t length) {
    gcry_cipher_setiv(Library(held_->bulk), tweak, 16);
    gcry_cipher_decrypt(Library(held_->bulk), data, length, nullptr, 0);
}
