#pragma once
// A small reader of DER (the distinguished encoding of ASN.1) over a byte span: one element after
// another, each as its tag and its value bytes. Only what signed files use: one-byte tags and
// definite lengths of up to four bytes. Anything else reads as malformed, never past the span.

#include <cstddef>
#include <cstdint>
#include <span>

namespace der {

inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
// [n] with constructed content, as context-specific tags appear in signed data.
constexpr std::uint8_t ContextTag(unsigned n) {
    return static_cast<std::uint8_t>(0xA0 | n);
}

struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> value;    // the content, without tag and length
    std::span<const std::uint8_t> encoded;  // tag, length and content
};

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}

    bool AtEnd() const { return rest_.empty(); }
    // The next element; false (and the reader stays where it was) at the end or when the next
    // bytes are no well-formed element.
    bool Next(Element& element);
    // The next element when it has the given tag; otherwise false, reading nothing.
    bool Next(std::uint8_t tag, Element& element);
    // Reads the next element when it has the given tag; true when there was one.
    bool Skip(std::uint8_t tag);

  private:
    std::span<const std::uint8_t> rest_;
};

// The value of the single element that makes up `bytes` when it has the given tag.
bool ReadWhole(std::span<const std::uint8_t> bytes, std::uint8_t tag, Element& element);

}  // namespace der
