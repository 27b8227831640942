#include "trust/der_reader.h"

namespace der {

namespace {

// Length octets at the front of `bytes`: how many there are and the length they state.
bool ReadLength(std::span<const std::uint8_t> bytes, std::size_t& octets, std::size_t& length) {
    if (bytes.empty()) return false;
    const std::uint8_t first = bytes[0];
    if (first < 0x80) {
        octets = 1;
        length = first;
        return true;
    }
    const std::size_t count = first & 0x7F;
    // 0x80 is the indefinite form, which DER forbids; more than four octets is never needed.
    if (count == 0 || count > 4 || bytes.size() < 1 + count) return false;
    if (bytes[1] == 0) return false;  // not minimal
    length = 0;
    for (std::size_t i = 1; i <= count; ++i) length = (length << 8) | bytes[i];
    if (length < 0x80) return false;  // not minimal
    octets = 1 + count;
    return true;
}

}  // namespace

bool Reader::Next(Element& element) {
    if (rest_.size() < 2) return false;
    const std::uint8_t tag = rest_[0];
    if ((tag & 0x1F) == 0x1F) return false;  // multi-byte tags
    std::size_t octets = 0;
    std::size_t length = 0;
    if (!ReadLength(rest_.subspan(1), octets, length)) return false;
    const std::size_t header = 1 + octets;
    if (length > rest_.size() - header) return false;
    element.tag = tag;
    element.value = rest_.subspan(header, length);
    element.encoded = rest_.first(header + length);
    rest_ = rest_.subspan(header + length);
    return true;
}

bool Reader::Next(std::uint8_t tag, Element& element) {
    Reader probe = *this;
    Element found;
    if (!probe.Next(found) || found.tag != tag) return false;
    element = found;
    *this = probe;
    return true;
}

bool Reader::Skip(std::uint8_t tag) {
    Element ignored;
    return Next(tag, ignored);
}

bool ReadWhole(std::span<const std::uint8_t> bytes, std::uint8_t tag, Element& element) {
    Reader reader(bytes);
    return reader.Next(tag, element) && reader.AtEnd();
}

}  // namespace der
