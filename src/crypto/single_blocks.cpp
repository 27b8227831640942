// One block at a time, for either backend: a run of one block.

#include "crypto/block_cipher.h"
#include "crypto/cipher_tables.h"

void EncipherBlock(uint32_t cipherId, unsigned char* block, const CipherSlot* slot) {
    EncipherBlocks(slot, block, block, CipherBlockSize(cipherId));
}

void DecipherBlock(uint32_t cipherId, unsigned char* block, const CipherSlot* slot) {
    DecipherBlocks(slot, block, block, CipherBlockSize(cipherId));
}
