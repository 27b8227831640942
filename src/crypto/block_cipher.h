#pragma once
// The single-cipher layer under the engine's modes: key initialisation and block operations of the
// ciphers in CipherTable. One backend carries them out: libgcrypt (block_cipher.cpp, every
// cipher) or, in the shipped Windows program, the system's CNG (block_cipher_cng.cpp, AES only,
// which spares the program the whole library for its one algorithm).
//
// A cipher's schedule area is a CipherSlot. Its `block` handle is an ECB handle that is only read
// after CipherInit (AES prepares its decipherment half up front), so any number of threads may
// use it at once. Its optional `bulk` handle is a CBC or XTS handle of the backend, whose own
// chaining state changes with every call; a unit operation borrows it through BulkLease and falls
// back to the block handle when another thread holds it.

#include <atomic>
#include <cstddef>
#include <cstdint>

// A backend's handle of one keyed cipher (a libgcrypt cipher handle or a CNG key).
struct CipherHandle;

struct CipherSlot {
    CipherHandle* block = nullptr;
    CipherHandle* bulk = nullptr;
    mutable std::atomic_flag bulkBusy;  // clear on construction
};

enum CipherInitResult : int {
    kCipherInitOk = 0,
    kCipherInitWeakKey = 1,
    kCipherInitFailed = 5,
};

// Initialises the backend once per process (safe from any thread); false if it cannot be used.
bool InitCryptoLibrary();

// Sets up `slot` for the cipher with `key` (the cipher's key size; DES and Triple DES take 8-byte
// keys with parity bits). Returns 0, 1 for a weak DES or Triple DES key (the schedule is usable),
// or 5. On 5 the slot holds no handle.
int CipherInit(uint32_t cipherId, const unsigned char* key, CipherSlot* slot);

// Adds the library's own CBC handle (for CBC passes) to an initialised slot. Optional: false
// leaves the slot without one.
bool CipherInitBulkCbc(uint32_t cipherId, const unsigned char* key, CipherSlot* slot);
// Adds the library's own XTS handle, keyed with `key` and `tweakKey`, for 16-byte-block ciphers.
bool CipherInitBulkXts(uint32_t cipherId, const unsigned char* key, const unsigned char* tweakKey,
                       CipherSlot* slot);

// Closes the slot's handles; the library wipes their key material as it frees it.
void CipherRelease(CipherSlot* slot);

// One block, in place.
void EncipherBlock(uint32_t cipherId, unsigned char* block, const CipherSlot* slot);
void DecipherBlock(uint32_t cipherId, unsigned char* block, const CipherSlot* slot);

// Independent blocks (ECB); `length` is a multiple of the block size. `out` may equal `in`.
void EncipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length);
void DecipherBlocks(const CipherSlot* slot, const unsigned char* in, unsigned char* out,
                    size_t length);

// Exclusive use of a slot's bulk handle for one pass; empty when the slot has none or another
// thread is using it.
class BulkLease {
  public:
    explicit BulkLease(const CipherSlot* slot) {
        if (slot != nullptr && slot->bulk != nullptr &&
            !slot->bulkBusy.test_and_set(std::memory_order_acquire)) {
            held_ = slot;
        }
    }
    ~BulkLease() {
        if (held_ != nullptr) held_->bulkBusy.clear(std::memory_order_release);
    }
    BulkLease(const BulkLease&) = delete;
    BulkLease& operator=(const BulkLease&) = delete;

    explicit operator bool() const { return held_ != nullptr; }
    // Plain CBC (no whitening) over `length` bytes in place, starting from `iv`.
    void CbcEncipher(const unsigned char* iv, size_t ivSize, unsigned char* data, size_t length);
    void CbcDecipher(const unsigned char* iv, size_t ivSize, unsigned char* data, size_t length);
    // XTS over `length` bytes (whole blocks) in place for the data unit whose 16-byte
    // little-endian number is `tweak`.
    void XtsEncipher(const unsigned char tweak[16], unsigned char* data, size_t length);
    void XtsDecipher(const unsigned char tweak[16], unsigned char* data, size_t length);

  private:
    const CipherSlot* held_ = nullptr;
};
