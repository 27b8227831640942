#pragma once

#include <cstddef>

// Fills memory that holds key material. The stores go through a volatile pointer, so the compiler
// may not drop them even when the memory is freed or goes out of scope right after.
inline void SecureFill(void* memory, unsigned char value, std::size_t count) {
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = value;
}
