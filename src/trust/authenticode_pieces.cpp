#include "trust/authenticode_pieces.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
// Offsets from the PE signature: the optional header, its checksum, its kind.
constexpr std::uint64_t kOptionalHeader = 24;
constexpr std::uint64_t kChecksum = kOptionalHeader + 64;
constexpr std::uint64_t kMagicEnd = kOptionalHeader + 2;
constexpr unsigned kSecurityDirectory = 4;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Copies the part of [at, at + count) that falls into the window [start, start + size) into the
// window's buffer.
void CopyOverlap(std::uint64_t at, const unsigned char* bytes, std::size_t count,
                 std::uint64_t start, std::uint64_t size, std::uint8_t* window) {
    const std::uint64_t from = std::max(at, start);
    const std::uint64_t to = std::min(at + count, start + size);
    if (from < to) std::memcpy(window + (from - start), bytes + (from - at), to - from);
}

bool Within(std::uint64_t offset, std::size_t count, std::uint64_t start, std::uint64_t size) {
    return offset >= start && offset - start <= size && count <= size - (offset - start);
}

}  // namespace

AuthenticodeDigestInPieces::AuthenticodeDigestInPieces() {
    Restart();
}

AuthenticodeDigestInPieces::~AuthenticodeDigestInPieces() = default;

void AuthenticodeDigestInPieces::Restart() {
    seen_ = hashedTo_ = limit_ = 0;
    broken_ = false;
    stage_ = Stage::DosHeader;
    peOffset_ = checksumOffset_ = securityEntryOffset_ = tableOffset_ = tableSize_ = 0;
    table_.clear();
    finished_ = Finished::No;
    finishedLayout_ = PeSignatureLayout{};
    try {
        hasher_ = std::make_unique<Sha256Hasher>();
    } catch (const std::bad_alloc&) {
        hasher_.reset();
    }
    broken_ = !hasher_ || !hasher_->Ok();
}

void AuthenticodeDigestInPieces::Append(const unsigned char* bytes, std::size_t count) {
    if (finished_ != Finished::No) broken_ = true;
    try {
        // In pieces that end where the layout may become better known, so that every piece is
        // hashed with what is known about its bytes.
        while (count > 0) {
            const std::uint64_t end = PieceEnd(seen_, seen_ + count);
            const auto piece = static_cast<std::size_t>(end - seen_);
            Consume(seen_, bytes, piece);
            bytes += piece;
            count -= piece;
        }
    } catch (const std::bad_alloc&) {
        broken_ = true;
        seen_ += count;
    }
}

std::uint64_t AuthenticodeDigestInPieces::PieceEnd(std::uint64_t at, std::uint64_t end) const {
    std::uint64_t event = kNever;
    switch (stage_) {
        case Stage::DosHeader:
            event = kDosHeaderSize;
            break;
        case Stage::PeHeader:
            event = peOffset_ + kMagicEnd;
            break;
        case Stage::SecurityEntry:
            event = securityEntryOffset_ + 8;
            break;
        case Stage::Table:
        case Stage::Refused:
            break;
    }
    if (at < event) end = std::min(end, event);
    if (at < limit_) end = std::min(end, limit_);
    return end;
}

void AuthenticodeDigestInPieces::Consume(std::uint64_t at, const unsigned char* bytes,
                                         std::size_t count) {
    Capture(at, bytes, count);
    Hash(at, bytes, count);
    seen_ = at + count;
    Learn();
}

void AuthenticodeDigestInPieces::Capture(std::uint64_t at, const unsigned char* bytes,
                                         std::size_t count) {
    CopyOverlap(at, bytes, count, 0, kDosHeaderSize, dos_.data());
    if (stage_ == Stage::Refused || stage_ == Stage::DosHeader) return;
    CopyOverlap(at, bytes, count, peOffset_, kPeWindowSize, pe_.data());
    if (stage_ != Stage::Table) return;
    // Bytes past the stated table are not kept: the file no longer ends with the table, which
    // the parser refuses by the length alone.
    const std::uint64_t from = std::max(at, tableOffset_);
    const std::uint64_t to = std::min(at + count, tableOffset_ + tableSize_);
    if (from < to) table_.insert(table_.end(), bytes + (from - at), bytes + (to - at));
}

void AuthenticodeDigestInPieces::Hash(std::uint64_t at, const unsigned char* bytes,
                                      std::size_t count) {
    const std::uint64_t end = std::min(at + count, limit_);
    if (at >= end || broken_) return;
    if (at != hashedTo_) {
        broken_ = true;  // a gap: cannot happen while pieces end at the limit
        return;
    }
    // The parts left out, in file order; the security entry only once its place is known.
    const std::uint64_t skipped[2][2] = {
        {checksumOffset_, checksumOffset_ + 4},
        {stage_ >= Stage::SecurityEntry ? securityEntryOffset_ : kNever,
         stage_ >= Stage::SecurityEntry ? securityEntryOffset_ + 8 : kNever},
    };
    std::uint64_t position = at;
    for (const auto& skip : skipped) {
        if (position >= end) break;
        const std::uint64_t hashEnd = std::min(end, std::max(position, skip[0]));
        if (position < hashEnd) {
            hasher_->Update(
                {bytes + (position - at), static_cast<std::size_t>(hashEnd - position)});
        }
        position = std::max(position, std::min(end, skip[1]));
    }
    if (position < end) {
        hasher_->Update({bytes + (position - at), static_cast<std::size_t>(end - position)});
    }
    hashedTo_ = end;
}

// Reads what the bytes seen so far tell about the layout, as far as they go.
void AuthenticodeDigestInPieces::Learn() {
    if (stage_ == Stage::DosHeader && seen_ >= kDosHeaderSize) {
        if (dos_[0] != 'M' || dos_[1] != 'Z') {
            stage_ = Stage::Refused;
            return;
        }
        stage_ = Stage::PeHeader;
        peOffset_ = Le32(dos_.data() + 0x3C);
        checksumOffset_ = peOffset_ + kChecksum;
        limit_ = checksumOffset_ + 4;
        // The PE headers may start inside the DOS header.
        CopyOverlap(0, dos_.data(), dos_.size(), peOffset_, kPeWindowSize, pe_.data());
        Hash(0, dos_.data(), dos_.size());
    }
    if (stage_ == Stage::PeHeader && seen_ >= peOffset_ + kMagicEnd) {
        const std::uint16_t magic = Le16(pe_.data() + kOptionalHeader);
        if (std::memcmp(pe_.data(), "PE\0\0", 4) != 0 ||
            (magic != kPe32Magic && magic != kPe32PlusMagic)) {
            stage_ = Stage::Refused;
            return;
        }
        stage_ = Stage::SecurityEntry;
        const std::uint64_t directories = kOptionalHeader + (magic == kPe32Magic ? 92 : 108) + 4;
        securityEntryOffset_ = peOffset_ + directories + 8 * kSecurityDirectory;
        limit_ = securityEntryOffset_ + 8;
    }
    if (stage_ == Stage::SecurityEntry && seen_ >= securityEntryOffset_ + 8) {
        const std::uint8_t* entry = pe_.data() + (securityEntryOffset_ - peOffset_);
        tableOffset_ = Le32(entry);
        tableSize_ = Le32(entry + 4);
        // What the parser refuses outright; the rest it checks at the end.
        if (tableOffset_ < securityEntryOffset_ + 8 || tableOffset_ % 8 != 0 ||
            tableSize_ > kMaxSignatureTableSize) {
            stage_ = Stage::Refused;
            return;
        }
        stage_ = Stage::Table;
        limit_ = tableOffset_;
        table_.reserve(tableSize_);
    }
}

bool AuthenticodeDigestInPieces::ReadCaptured(std::uint64_t offset,
                                              std::span<std::uint8_t> out) const {
    const auto seenFrom = [this](std::uint64_t start, std::uint64_t size) {
        return seen_ <= start ? 0 : std::min(size, seen_ - start);
    };
    const std::uint8_t* from = nullptr;
    if (Within(offset, out.size(), 0, seenFrom(0, kDosHeaderSize))) {
        from = dos_.data() + offset;
    } else if (stage_ >= Stage::PeHeader && stage_ != Stage::Refused &&
               Within(offset, out.size(), peOffset_, seenFrom(peOffset_, kPeWindowSize))) {
        from = pe_.data() + (offset - peOffset_);
    } else if (stage_ == Stage::Table && Within(offset, out.size(), tableOffset_, table_.size())) {
        from = table_.data() + (offset - tableOffset_);
    }
    if (from == nullptr) return false;
    std::copy_n(from, out.size(), out.begin());
    return true;
}

bool AuthenticodeDigestInPieces::Finish(PeSignatureLayout& layout, Sha256Digest& digest) {
    if (finished_ == Finished::No) {
        finished_ = Finished::Refused;
        PeSignatureLayout parsed;
        try {
            // The same parser as for a whole file, over the bytes kept: the header fields it
            // reads and the table.
            const FileReader captured = [this](std::uint64_t offset, std::span<std::uint8_t> out) {
                return ReadCaptured(offset, out);
            };
            if (broken_ || stage_ != Stage::Table || hashedTo_ != tableOffset_ ||
                ReadPeSignature(captured, seen_, parsed) != PeSignatureStatus::Ok) {
                return false;
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        // The digest left out what the parser found, or it is not the file's.
        if (parsed.checksumOffset != checksumOffset_ ||
            parsed.securityEntryOffset != securityEntryOffset_ ||
            parsed.tableOffset != tableOffset_ || !hasher_->Finish(finishedDigest_)) {
            return false;
        }
        finishedLayout_ = std::move(parsed);
        table_ = {};
        finished_ = Finished::Signed;
    }
    if (finished_ != Finished::Signed) return false;
    try {
        layout = finishedLayout_;
    } catch (const std::bad_alloc&) {
        return false;
    }
    digest = finishedDigest_;
    return true;
}
