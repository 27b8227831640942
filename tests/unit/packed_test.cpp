// The raw DEFLATE decoder against zlib, and the language files' bundle as the build packs it.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "packed/inflate.h"
#include "packed/packed_bundle.h"

namespace kv::packed {
namespace {

namespace fs = std::filesystem;

std::span<const unsigned char> Bytes(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// zlib's raw DEFLATE stream of `data`.
std::string Deflate(const std::string& data, int level, int strategy) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    std::string out(data.size() + data.size() / 8 + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every kind of block zlib writes (stored, fixed and dynamic codes, with and without matches,
// long overlapping copies and distances across the whole window), whole and in part.
TEST(Inflate, DecodesWhatZlibWrites) {
    std::mt19937 random(7);
    std::string noise(70000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string text;
    while (text.size() < 200000)
        text += "\"KEY_" + std::to_string(random() % 500) + "\" = \"x\";\n";
    const std::vector<std::string> inputs = {
        "",    "a",  std::string(100000, 'z'),
        noise, text, ReadFile(fs::path(KV_SOURCE_DIR) / "src/res/lang/169_ru.lng")};
    const std::vector<std::pair<int, int>> settings = {
        {0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY},
        {9, Z_DEFAULT_STRATEGY}, {9, Z_FIXED},
        {9, Z_HUFFMAN_ONLY},     {9, Z_RLE}};
    for (const std::string& input : inputs) {
        for (const auto& [level, strategy] : settings) {
            SCOPED_TRACE("size " + std::to_string(input.size()) + ", level " +
                         std::to_string(level) + ", strategy " + std::to_string(strategy));
            const std::string stream = Deflate(input, level, strategy);
            // Compared as booleans: a mismatch would print megabytes.
            EXPECT_TRUE(InflatePrefix(Bytes(stream), input.size()) == input);
            const size_t third = input.size() / 3;
            EXPECT_TRUE(InflatePrefix(Bytes(stream), third) == input.substr(0, third));
            EXPECT_FALSE(InflatePrefix(Bytes(stream), input.size() + 1));
            if (!input.empty()) {
                EXPECT_FALSE(InflatePrefix(Bytes(stream).first(stream.size() / 2), input.size()));
            }
        }
    }
}

TEST(Inflate, RefusesMalformedStreams) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"reserved block type", std::string("\x07", 1)},
        {"stored length without its complement", std::string("\x01\x02\x00\x00\x00xy", 7)},
        {"match before the first byte (fixed code, length 3, distance 1)",
         std::string("\x03\x02", 2)},
        {"empty", std::string()},
    };
    for (const auto& [what, stream] : cases) {
        EXPECT_EQ(InflatePrefix(Bytes(stream), 1), std::nullopt) << what;
    }
}

// The bundle the build makes of the language files gives back every file byte for byte.
TEST(PackedBundle, LanguageFilesUnpackExactly) {
    const std::string bundle = ReadFile(fs::path(KV_BINARY_DIR) / "tests/unit/languages.kvpk");
    ASSERT_FALSE(bundle.empty());
    int count = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(KV_SOURCE_DIR) / "src/res/lang")) {
        const int id = std::stoi(entry.path().filename().string());
        EXPECT_TRUE(UnpackEntry(Bytes(bundle), id) == ReadFile(entry.path())) << id;
        ++count;
    }
    EXPECT_EQ(count, 43);
    EXPECT_EQ(UnpackEntry(Bytes(bundle), 135), std::nullopt);
    EXPECT_EQ(UnpackEntry(Bytes(bundle.substr(0, bundle.size() / 2)), 178), std::nullopt);
    EXPECT_EQ(UnpackEntry(Bytes("KVPK" + bundle.substr(4, 8)), 145), std::nullopt);
    EXPECT_EQ(UnpackEntry(Bytes("XVPK" + bundle.substr(4)), 145), std::nullopt);
}

}  // namespace
}  // namespace kv::packed
