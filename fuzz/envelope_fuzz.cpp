// Fuzzes the envelope's parsing side: Base64Decode and OpenPayload over arbitrary text, and the
// seal/open and encode/decode round trips over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "service/envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // First byte: how much of the rest is the pass phrase (odd lengths and non-hex included).
    const size_t phraseLength = std::min<size_t>(data[0] % 40, size - 1);
    const std::string phrase(reinterpret_cast<const char*>(data + 1), phraseLength);
    const std::string payload(reinterpret_cast<const char*>(data + 1 + phraseLength),
                              size - 1 - phraseLength);

    // payload.c_str() stops at an embedded zero, as a zero-terminated text does.
    OpenPayload(payload.c_str(), phrase);
    Base64Decode(payload.c_str());

    const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
    const std::string encoded = Base64Encode(bytes, payload.size());
    const auto decoded = Base64Decode(encoded.c_str());
    if (std::string(decoded.begin(), decoded.end()) != payload) std::abort();

    if (OpenPayload(SealPayload(payload, phrase).c_str(), phrase) != payload) std::abort();
    return 0;
}
