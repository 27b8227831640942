// kvpro-envelope: seals and opens download-service payloads for the people who run the service.
//
//   kvpro-envelope seal --phrase HEX [--salt HEX] [TEXT]
//   kvpro-envelope open --phrase HEX [PAYLOAD]
//
// Without TEXT or PAYLOAD the input is read from standard input (one trailing line break is
// dropped). The result is written to standard output as one line. Malformed input gives a
// message on standard error and exit status 2.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "service/envelope.h"

namespace {

constexpr int kUsageError = 2;
constexpr size_t kHexDigitsOf16Bytes = 32;

struct Arguments {
    std::string command;
    std::string phrase;
    std::optional<std::string> salt;
    std::optional<std::string> input;
};

int Fail(const std::string& message) {
    std::cerr << "kvpro-envelope: " << message << "\n";
    return kUsageError;
}

void PrintUsage() {
    std::cerr << "usage: kvpro-envelope seal --phrase HEX [--salt HEX] [TEXT]\n"
                 "       kvpro-envelope open --phrase HEX [PAYLOAD]\n"
                 "HEX is 32 hexadecimal digits (16 bytes).\n";
}

bool IsHex16(const std::string& text) {
    if (text.size() != kHexDigitsOf16Bytes) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::optional<Arguments> Parse(int argc, char** argv, std::string& error) {
    Arguments args;
    if (argc < 2) {
        error = "missing command";
        return std::nullopt;
    }
    args.command = argv[1];
    if (args.command != "seal" && args.command != "open") {
        error = "unknown command '" + args.command + "'";
        return std::nullopt;
    }
    bool havePhrase = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--phrase" || arg == "--salt") && i + 1 < argc) {
            (arg == "--phrase" ? args.phrase : args.salt.emplace()) = argv[++i];
            havePhrase = havePhrase || arg == "--phrase";
        } else if (arg.rfind("--", 0) == 0) {
            error = "unknown or incomplete option '" + arg + "'";
            return std::nullopt;
        } else if (!args.input) {
            args.input = arg;
        } else {
            error = "more than one text given";
            return std::nullopt;
        }
    }
    if (!havePhrase) {
        error = "--phrase is required";
    } else if (!IsHex16(args.phrase)) {
        error = "the pass phrase must be exactly 32 hexadecimal digits";
    } else if (args.salt && args.command != "seal") {
        error = "--salt only applies to seal";
    } else if (args.salt && !IsHex16(*args.salt)) {
        error = "the salt must be exactly 32 hexadecimal digits";
    }
    if (!error.empty()) return std::nullopt;
    return args;
}

std::string ReadStandardInput() {
    std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

// The envelope skips stray characters; the tool is stricter, so that a mangled payload is
// reported instead of opening to garbage.
std::string CheckPayload(const std::string& payload) {
    size_t significant = 0;
    bool padding = false;
    for (char c : payload) {
        const bool alphabet = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/';
        if (c == '=') {
            padding = true;
        } else if (alphabet && !padding) {
            ++significant;
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            return "the payload is not base64";
        }
    }
    const size_t bytes = significant * 6 / 8;
    if (bytes < 32 || bytes % 16 != 0) {
        return "the payload must hold a 16-byte salt and whole 16-byte blocks";
    }
    return std::string();
}

unsigned char g_salt[16];
void GivenSalt(unsigned char salt[16]) {
    std::memcpy(salt, g_salt, sizeof g_salt);
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Arguments> args = Parse(argc, argv, error);
    if (!args) {
        PrintUsage();
        return Fail(error);
    }
    const std::string input = args->input ? *args->input : ReadStandardInput();
    std::string result;
    if (args->command == "seal") {
        SaltSource salt = DefaultSalt;
        if (args->salt) {
            const std::vector<unsigned char> bytes = HexToBytes(*args->salt);
            std::memcpy(g_salt, bytes.data(), sizeof g_salt);
            salt = GivenSalt;
        }
        result = SealPayload(input, args->phrase, salt);
        if (result.empty()) return Fail("sealing failed");
    } else {
        const std::string problem = CheckPayload(input);
        if (!problem.empty()) return Fail(problem);
        const std::optional<std::string> opened = TryOpenPayload(input.c_str(), args->phrase);
        if (!opened) return Fail("the payload does not open under this phrase");
        result = *opened;
    }
    std::cout << result << "\n";
    return std::cout.good() ? 0 : 1;
}
