#pragma once
// The payload envelope of the download service: a text enciphered with AES-128-CBC under a pass
// phrase of 32 hex digits, with a fresh 16-byte salt as IV, sent as base64 of salt + ciphertext.
// Failures give an empty string; nothing throws.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using SaltSource = void (*)(unsigned char salt[16]);

// Fills the salt from the platform's source of unpredictable bytes (a new GUID on Windows).
void DefaultSalt(unsigned char salt[16]);

std::string SealPayload(std::string_view plainText, std::string_view passPhrase);
std::string SealPayload(std::string_view plainText, std::string_view passPhrase, SaltSource salt);
// payload: zero-terminated base64 text. Nothing when it does not open: no whole salt, a cipher
// text that is not whole blocks, or padding other than n copies of the letter 'a' + n.
std::optional<std::string> TryOpenPayload(const char* payload, std::string_view passPhrase);
// The same, with the empty text for a payload that does not open (null included).
std::string OpenPayload(const char* payload, std::string_view passPhrase);

// Pairs of hex digits, high nibble first; an odd last digit is ignored and any character that is
// not a hex digit counts as 0.
std::vector<unsigned char> HexToBytes(std::string_view text);
// Standard alphabet with "=" padding, no line breaks.
std::string Base64Encode(const unsigned char* bytes, std::size_t count);
// Reads up to the terminating zero; skips characters outside the alphabet and stops at "=".
std::vector<unsigned char> Base64Decode(const char* text);
