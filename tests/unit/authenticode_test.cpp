// Our reading of signed executables against the signing tool's own: the digest it calculates,
// the digest it embedded and the message digest it signed, for the sample as built and for
// variants; then the layouts we refuse, and the digest computed while a file is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "trust/authenticode_digest.h"
#include "trust/authenticode_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string kSample = KV_SIGNING_SAMPLE;  // path without ".exe"; "-signed.exe" is signed
const std::string kSigners = KV_TEST_SIGNER_DIR;

Bytes Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::string Store(const Bytes& bytes, const std::string& name) {
    const auto path = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string Run(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

// The hex value after "label" and a colon on a line of `osslsigncode verify`.
std::string Field(const std::string& output, const std::string& label) {
    const auto at = output.find("\n" + label);
    if (at == std::string::npos) return "(no " + label + ")";
    const auto colon = output.find(':', at);
    const auto end = output.find_first_of(" \n", output.find_first_not_of(' ', colon + 1));
    return output.substr(colon + 2, end - colon - 2);
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

PeSignatureStatus Layout(const Bytes& file, PeSignatureLayout& layout) {
    return ReadPeSignature(MemoryReader(file), file.size(), layout);
}

// Everything we read from a signed file must agree with what the tool reports about it.
// For a file whose digest no longer matches, the tool reports the two digests only.
void ExpectAgreesWithSigningTool(const std::string& path, bool intact = true) {
    SCOPED_TRACE(path);
    const Bytes file = Load(path);
    PeSignatureLayout layout;
    ASSERT_EQ(Layout(file, layout), PeSignatureStatus::Ok);
    Sha256Digest digest{};
    ASSERT_TRUE(ComputeAuthenticodeDigest(MemoryReader(file), layout, digest));
    AuthenticodeContent content;
    ASSERT_TRUE(ReadAuthenticodeContent(layout.signature, content));
    EXPECT_TRUE(content.digestIsSha256);

    const std::string report = Run("osslsigncode verify -in '" + path + "'");
    EXPECT_EQ(Hex(digest), Field(report, "Calculated message digest")) << report;
    EXPECT_EQ(Hex(content.digest), Field(report, "Current message digest"));
    if (intact) {
        EXPECT_EQ(Hex(Sha256(content.signedContent)), Field(report, "\tMessage digest"));
    }
}

std::string SignAtTestTime(const Bytes& unsigned_file, const std::string& name) {
    const std::string in = Store(unsigned_file, name + ".in.exe");
    const std::string out = (std::filesystem::temp_directory_path() / (name + ".exe")).string();
    std::filesystem::remove(out);
    Run("osslsigncode sign -h sha256 -certs " + kSigners + "/next.crt -key " + kSigners +
        "/next.key -in '" + in + "' -out '" + out + "'");
    return out;
}

void Put(Bytes& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A minimal 32-bit image (one section of code bytes): our compiler makes 64-bit ones only, and
// the 32-bit optional header puts the directories elsewhere.
Bytes Pe32Image() {
    Bytes image(0x400);
    image[0] = 'M';
    image[1] = 'Z';
    Put(image, 0x3C, 0x40, 4);
    std::copy_n("PE\0\0", 4, image.begin() + 0x40);
    const std::size_t coff = 0x44, optional = coff + 20, section = optional + 224;
    Put(image, coff, 0x14C, 2);       // i386
    Put(image, coff + 2, 1, 2);       // one section
    Put(image, coff + 16, 224, 2);    // optional header size
    Put(image, coff + 18, 0x102, 2);  // executable, 32-bit
    Put(image, optional, 0x10B, 2);
    Put(image, optional + 16, 0x1000, 4);  // entry point
    Put(image, optional + 32, 0x1000, 4);  // section alignment
    Put(image, optional + 36, 0x200, 4);   // file alignment
    Put(image, optional + 56, 0x2000, 4);  // image size
    Put(image, optional + 60, 0x200, 4);   // header size
    Put(image, optional + 68, 3, 2);       // console
    Put(image, optional + 92, 16, 4);      // directories
    std::copy_n(".text", 5, image.begin() + section);
    Put(image, section + 8, 0x200, 4);
    Put(image, section + 12, 0x1000, 4);
    Put(image, section + 16, 0x200, 4);
    Put(image, section + 20, 0x200, 4);
    Put(image, section + 36, 0x60000020, 4);
    for (std::size_t i = 0x200; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    return image;
}

TEST(AuthenticodeDigest, AgreesWithTheSigningTool) {
    ExpectAgreesWithSigningTool(kSample + "-signed.exe");

    // A changed code byte: the tool's calculated digest moves, and ours with it.
    Bytes changed = Load(kSample + "-signed.exe");
    changed[0x400] ^= 0x01;
    ExpectAgreesWithSigningTool(Store(changed, "kv-authenticode-changed.exe"), false);

    // A file whose length is no multiple of 8: the signer pads it before the table.
    Bytes odd = Load(kSample + ".exe");
    odd.insert(odd.end(), {1, 2, 3, 4, 5});
    ExpectAgreesWithSigningTool(SignAtTestTime(odd, "kv-authenticode-odd"));

    ExpectAgreesWithSigningTool(SignAtTestTime(Pe32Image(), "kv-authenticode-pe32"));
}

// The signed sample with its signature table laid out in ways we refuse.
struct DamagedLayout {
    const char* what;
    Bytes file;
    PeSignatureStatus expected;
};
std::vector<DamagedLayout> DamagedLayouts(const Bytes& signedFile) {
    PeSignatureLayout good;
    if (Layout(signedFile, good) != PeSignatureStatus::Ok) return {};
    const auto entry = good.securityEntryOffset;
    const auto table = good.tableOffset;

    struct Case {
        const char* what;
        void (*change)(Bytes&, std::uint64_t entry, std::uint64_t table);
        PeSignatureStatus expected;
    };
    const Case cases[] = {
        {"appended byte", [](Bytes& f, auto, auto) { f.push_back(0); },
         PeSignatureStatus::Malformed},
        {"appended entry",
         [](Bytes& f, auto e, auto) {
             f.resize(f.size() + 16);
             f[e + 4] += 16;
         },
         PeSignatureStatus::Malformed},
        {"table shorter than stated", [](Bytes& f, auto e, auto) { f[e + 4] -= 8; },
         PeSignatureStatus::Malformed},
        {"table moved by 8", [](Bytes& f, auto e, auto) { f[e] += 8; },
         PeSignatureStatus::Malformed},
        {"entry length too short", [](Bytes& f, auto, auto t) { f[t] -= 9; },
         PeSignatureStatus::Malformed},
        {"entry length past the table", [](Bytes& f, auto, auto t) { f[t] += 9; },
         PeSignatureStatus::Malformed},
        {"not PKCS #7", [](Bytes& f, auto, auto t) { f[t + 6] = 1; }, PeSignatureStatus::Malformed},
        {"non-zero padding", [](Bytes& f, auto, auto) { f.back() = 1; },
         PeSignatureStatus::Malformed},
        {"no table",
         [](Bytes& f, auto e, auto t) {
             std::fill_n(f.begin() + static_cast<std::ptrdiff_t>(e), 8, 0);
             f.resize(t);
         },
         PeSignatureStatus::Unsigned},
        {"table offset past the end", [](Bytes& f, auto e, auto) { f[e + 3] = 0x7F; },
         PeSignatureStatus::Malformed},
        {"no PE signature", [](Bytes& f, auto, auto) { f[f[0x3C]] = 'X'; },
         PeSignatureStatus::NotPe},
        {"header offset past the end", [](Bytes& f, auto, auto) { f[0x3F] = 0x40; },
         PeSignatureStatus::NotPe},
        {"truncated", [](Bytes& f, auto, auto) { f.resize(100); }, PeSignatureStatus::NotPe},
    };
    std::vector<DamagedLayout> damaged;
    for (const Case& c : cases) {
        Bytes file = signedFile;
        c.change(file, entry, table);
        damaged.push_back({c.what, std::move(file), c.expected});
    }
    return damaged;
}

TEST(AuthenticodeDigest, RefusesLayoutsThatLeaveBytesOutside) {
    const Bytes signedFile = Load(kSample + "-signed.exe");
    const auto damaged = DamagedLayouts(signedFile);
    ASSERT_FALSE(damaged.empty());
    for (const DamagedLayout& c : damaged) {
        PeSignatureLayout layout;
        EXPECT_EQ(Layout(c.file, layout), c.expected) << c.what;
    }
    // The unsigned program as linked.
    PeSignatureLayout layout;
    EXPECT_EQ(Layout(Load(kSample + ".exe"), layout), PeSignatureStatus::Unsigned);
    // A failing reader is no unsigned file.
    const FileReader failing = [](std::uint64_t, std::span<std::uint8_t>) { return false; };
    EXPECT_EQ(ReadPeSignature(failing, signedFile.size(), layout), PeSignatureStatus::Unreadable);
}

// The digest computed while a file is written agrees with the one over the whole file, and the
// stream refuses exactly what the whole-file reading refuses. The file arrives in pieces of
// random sizes after a false start, and the stream moves to a new owner halfway, as it does
// between a failed attempt and its resumption.
TEST(AuthenticodeDigest, StreamedDigestAgreesWithTheWholeFile) {
    const Bytes signedFile = Load(kSample + "-signed.exe");
    Bytes changed = signedFile;
    changed[0x400] ^= 0x01;
    Bytes odd = Load(kSample + ".exe");
    odd.insert(odd.end(), {1, 2, 3, 4, 5});
    std::vector<std::pair<std::string, Bytes>> files = {
        {"signed", signedFile},
        {"changed", changed},
        {"odd length", Load(SignAtTestTime(odd, "kv-authenticode-stream-odd"))},
        {"32-bit", Load(SignAtTestTime(Pe32Image(), "kv-authenticode-stream-pe32"))},
        {"unsigned", Load(kSample + ".exe")},
    };
    for (DamagedLayout& c : DamagedLayouts(signedFile)) files.emplace_back(c.what, c.file);

    std::mt19937 random(20261210);
    for (const auto& [what, file] : files) {
        SCOPED_TRACE(what);
        PeSignatureLayout whole;
        Sha256Digest wholeDigest{};
        const bool wholeOk = Layout(file, whole) == PeSignatureStatus::Ok &&
                             ComputeAuthenticodeDigest(MemoryReader(file), whole, wholeDigest);

        auto stream = std::make_unique<AuthenticodeStream>();
        stream->Append(signedFile.data() + 100, 3000);
        stream->Restart();
        std::size_t at = 0;
        while (at < file.size()) {
            // Mostly small pieces, so that every header field gets split somewhere.
            const std::size_t most = random() % 4 == 0 ? 70000 : 13;
            const std::size_t piece = std::min(file.size() - at, 1 + random() % most);
            stream->Append(file.data() + at, piece);
            at += piece;
            if (at > file.size() / 2 && at - piece <= file.size() / 2) {
                stream = std::make_unique<AuthenticodeStream>(std::move(*stream));
            }
        }
        EXPECT_EQ(stream->Seen(), file.size());
        PeSignatureLayout streamed;
        Sha256Digest streamedDigest{};
        ASSERT_EQ(stream->Finish(streamed, streamedDigest), wholeOk);
        if (!wholeOk) continue;
        EXPECT_EQ(Hex(streamedDigest), Hex(wholeDigest));
        EXPECT_EQ(streamed.fileSize, whole.fileSize);
        EXPECT_EQ(streamed.checksumOffset, whole.checksumOffset);
        EXPECT_EQ(streamed.securityEntryOffset, whole.securityEntryOffset);
        EXPECT_EQ(streamed.tableOffset, whole.tableOffset);
        EXPECT_EQ(streamed.signature, whole.signature);
    }
}

TEST(AuthenticodeDigest, ReadsOnlyIndirectDataOfImages) {
    PeSignatureLayout layout;
    ASSERT_EQ(Layout(Load(kSample + "-signed.exe"), layout), PeSignatureStatus::Ok);
    AuthenticodeContent content;
    // Every strict prefix is refused, as is trailing data.
    for (std::size_t n = 0; n < layout.signature.size(); n += 7) {
        EXPECT_FALSE(ReadAuthenticodeContent(std::span(layout.signature).first(n), content)) << n;
    }
    Bytes longer = layout.signature;
    longer.push_back(0);
    EXPECT_FALSE(ReadAuthenticodeContent(longer, content));
    ASSERT_TRUE(ReadAuthenticodeContent(layout.signature, content));
    EXPECT_EQ(content.digest.size(), 32u);
}

}  // namespace
