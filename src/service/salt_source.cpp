#include "service/envelope.h"

#include <cstring>

#ifdef _WIN32
#include <objbase.h>
#else
#include <gcrypt.h>

#include "crypto/block_cipher.h"
#endif

void DefaultSalt(unsigned char salt[16]) {
#ifdef _WIN32
    // The GUID's 16 bytes in its memory order; a failed call leaves the zeros.
    GUID guid = {};
    CoCreateGuid(&guid);
    static_assert(sizeof guid == 16);
    std::memcpy(salt, &guid, sizeof guid);
#else
    std::memset(salt, 0, 16);
    if (InitCryptoLibrary()) gcry_randomize(salt, 16, GCRY_STRONG_RANDOM);
#endif
}
