#include "trust/authenticode_digest.h"

#include <algorithm>
#include <cstring>

#include "trust/der_reader.h"

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kCertificateRevision2 = 0x0200;
constexpr std::uint16_t kCertificateTypePkcs7 = 0x0002;
constexpr unsigned kSecurityDirectory = 4;
constexpr std::size_t kChunk = 64 * 1024;

// Object identifiers, as the value bytes of their DER encoding.
constexpr std::uint8_t kOidSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr std::uint8_t kOidIndirectData[] = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                             0x82, 0x37, 0x02, 0x01, 0x04};
constexpr std::uint8_t kOidPeImageData[] = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                            0x82, 0x37, 0x02, 0x01, 0x0F};
constexpr std::uint8_t kOidSha256[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool Fits(std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    return offset <= size && count <= size - offset;
}

bool IsOid(const der::Element& element, std::span<const std::uint8_t> oid) {
    return element.tag == der::kOid && std::ranges::equal(element.value, oid);
}

// Everything a header read needs: the reader, the file size and where reads fail.
struct HeaderReader {
    const FileReader& read;
    std::uint64_t fileSize;
    PeSignatureStatus failure = PeSignatureStatus::NotPe;

    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (!Fits(offset, out.size(), fileSize)) return false;
        if (read(offset, out)) return true;
        failure = PeSignatureStatus::Unreadable;
        return false;
    }
};

// Locates the checksum field and the security directory entry in the headers.
PeSignatureStatus FindSecurityEntry(HeaderReader& headers, PeSignatureLayout& layout) {
    std::uint8_t dos[64];
    if (!headers.Read(0, dos)) return headers.failure;
    if (dos[0] != 'M' || dos[1] != 'Z') return PeSignatureStatus::NotPe;
    const std::uint64_t peOffset = Le32(dos + 0x3C);
    std::uint8_t pe[4 + 20 + 2];
    if (!headers.Read(peOffset, pe)) return headers.failure;
    if (std::memcmp(pe, "PE\0\0", 4) != 0) return PeSignatureStatus::NotPe;
    const std::uint16_t optionalSize = Le16(pe + 4 + 16);
    const std::uint16_t magic = Le16(pe + 24);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return PeSignatureStatus::NotPe;

    const std::uint64_t optional = peOffset + 24;
    const std::uint64_t countField = optional + (magic == kPe32Magic ? 92 : 108);
    const std::uint64_t directories = countField + 4;
    std::uint8_t count[4];
    if (optionalSize < directories - optional || !headers.Read(countField, count)) {
        return PeSignatureStatus::NotPe;
    }
    layout.checksumOffset = optional + 64;
    layout.securityEntryOffset = directories + 8 * kSecurityDirectory;
    const bool hasEntry = Le32(count) > kSecurityDirectory &&
                          optionalSize >= layout.securityEntryOffset + 8 - optional;
    return hasEntry ? PeSignatureStatus::Ok : PeSignatureStatus::Unsigned;
}

// The one entry of the table: its header, then the DER signed data, then zero padding.
PeSignatureStatus ReadTableEntry(std::span<const std::uint8_t> table, PeSignatureLayout& layout) {
    if (table.size() < 8) return PeSignatureStatus::Malformed;
    const std::uint32_t entryLength = Le32(table.data());
    if (Le16(table.data() + 4) != kCertificateRevision2 ||
        Le16(table.data() + 6) != kCertificateTypePkcs7) {
        return PeSignatureStatus::Malformed;
    }
    der::Reader reader(table.subspan(8));
    der::Element signedData;
    if (!reader.Next(der::kSequence, signedData)) return PeSignatureStatus::Malformed;
    const std::size_t used = 8 + signedData.encoded.size();
    const std::size_t padded = (used + 7) / 8 * 8;
    if (padded != table.size() || entryLength < used || entryLength > table.size()) {
        return PeSignatureStatus::Malformed;
    }
    const auto padding = table.subspan(used);
    if (std::ranges::any_of(padding, [](std::uint8_t b) { return b != 0; })) {
        return PeSignatureStatus::Malformed;
    }
    layout.signature.assign(signedData.encoded.begin(), signedData.encoded.end());
    return PeSignatureStatus::Ok;
}

bool HashRange(const FileReader& read, Sha256Hasher& hasher, std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> buffer(kChunk);
    while (from < to) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - from));
        const std::span<std::uint8_t> chunk(buffer.data(), count);
        if (!read(from, chunk)) return false;
        hasher.Update(chunk);
        from += count;
    }
    return true;
}

}  // namespace

FileReader MemoryReader(std::span<const std::uint8_t> bytes) {
    return [bytes](std::uint64_t offset, std::span<std::uint8_t> out) {
        if (!Fits(offset, out.size(), bytes.size())) return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    };
}

PeSignatureStatus ReadPeSignature(const FileReader& read, std::uint64_t fileSize,
                                  PeSignatureLayout& layout) {
    layout = PeSignatureLayout{};
    layout.fileSize = fileSize;
    HeaderReader headers{read, fileSize};
    const PeSignatureStatus found = FindSecurityEntry(headers, layout);
    if (found != PeSignatureStatus::Ok) return found;

    std::uint8_t entry[8];
    if (!headers.Read(layout.securityEntryOffset, entry)) return headers.failure;
    const std::uint32_t tableOffset = Le32(entry);
    const std::uint32_t tableSize = Le32(entry + 4);
    if (tableOffset == 0 && tableSize == 0) return PeSignatureStatus::Unsigned;
    // The table follows everything that is hashed, starts on 8 bytes and ends the file exactly:
    // no byte of the file escapes both the digest and the signature.
    if (tableOffset < layout.securityEntryOffset + 8 || tableOffset % 8 != 0 ||
        tableSize > kMaxSignatureTableSize || tableOffset + std::uint64_t{tableSize} != fileSize) {
        return PeSignatureStatus::Malformed;
    }
    layout.tableOffset = tableOffset;
    std::vector<std::uint8_t> table(tableSize);
    if (!read(tableOffset, table)) return PeSignatureStatus::Unreadable;
    return ReadTableEntry(table, layout);
}

bool ComputeAuthenticodeDigest(const FileReader& read, const PeSignatureLayout& layout,
                               Sha256Digest& digest) {
    if (layout.checksumOffset + 4 > layout.securityEntryOffset ||
        layout.securityEntryOffset + 8 > layout.tableOffset ||
        layout.tableOffset > layout.fileSize) {
        return false;
    }
    Sha256Hasher hasher;
    return hasher.Ok() && HashRange(read, hasher, 0, layout.checksumOffset) &&
           HashRange(read, hasher, layout.checksumOffset + 4, layout.securityEntryOffset) &&
           HashRange(read, hasher, layout.securityEntryOffset + 8, layout.tableOffset) &&
           hasher.Finish(digest);
}

Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
    Sha256Digest digest{};
    Sha256Hasher hasher;
    hasher.Update(bytes);
    if (!hasher.Finish(digest)) digest.fill(0);
    return digest;
}

bool ReadAuthenticodeContent(std::span<const std::uint8_t> pkcs7, AuthenticodeContent& content) {
    der::Element outer, type, explicitSignedData, signedData, inner, innerType, explicitContent,
        indirect, data, dataType, digestInfo, algorithm, algorithmOid, digest;
    if (!der::ReadWhole(pkcs7, der::kSequence, outer)) return false;
    der::Reader contentInfo(outer.value);
    if (!contentInfo.Next(der::kOid, type) || !IsOid(type, kOidSignedData) ||
        !contentInfo.Next(der::ContextTag(0), explicitSignedData) ||
        !der::ReadWhole(explicitSignedData.value, der::kSequence, signedData)) {
        return false;
    }
    der::Reader body(signedData.value);
    if (!body.Skip(der::kInteger) || !body.Skip(der::kSet) || !body.Next(der::kSequence, inner)) {
        return false;
    }
    der::Reader innerReader(inner.value);
    if (!innerReader.Next(der::kOid, innerType) || !IsOid(innerType, kOidIndirectData) ||
        !innerReader.Next(der::ContextTag(0), explicitContent) ||
        !der::ReadWhole(explicitContent.value, der::kSequence, indirect)) {
        return false;
    }
    der::Reader indirectReader(indirect.value);
    if (!indirectReader.Next(der::kSequence, data) ||
        !indirectReader.Next(der::kSequence, digestInfo) || !indirectReader.AtEnd()) {
        return false;
    }
    der::Reader dataReader(data.value);
    if (!dataReader.Next(der::kOid, dataType) || !IsOid(dataType, kOidPeImageData)) return false;
    der::Reader digestReader(digestInfo.value);
    if (!digestReader.Next(der::kSequence, algorithm) ||
        !digestReader.Next(der::kOctetString, digest) || !digestReader.AtEnd()) {
        return false;
    }
    der::Reader algorithmReader(algorithm.value);
    if (!algorithmReader.Next(der::kOid, algorithmOid)) return false;
    content.digestIsSha256 = IsOid(algorithmOid, kOidSha256);
    content.digest = digest.value;
    content.signedContent = indirect.value;
    return true;
}
