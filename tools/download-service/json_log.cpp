#include "json_log.h"

#include <chrono>
#include <cstdio>

namespace kvservice {

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when it is ill-formed.
size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

// Well-formed UTF-8 is kept as it is (JSON text is UTF-8); each byte that is not part of it
// becomes U+FFFD, so a reader never sees bytes re-read as Latin-1.
std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else if (c < 0x80) {
                    out += static_cast<char>(c);
                } else if (const size_t length = Utf8SequenceLength(text.substr(i))) {
                    out.append(text.substr(i, length));
                    i += length - 1;
                } else {
                    out += "\\ufffd";
                }
        }
    }
    return out;
}

void JsonLine::Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    text_ += '"';
    text_ += JsonEscape(key);
    text_ += "\":";
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view value) {
    Key(key);
    text_ += '"';
    text_ += JsonEscape(value);
    text_ += '"';
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, int64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, const JsonLine& object) {
    Key(key);
    text_ += object.Text();
    return *this;
}

JsonLog::JsonLog(const std::string& path) {
    if (!path.empty()) out_.open(path, std::ios::app);
}

void JsonLog::Write(const JsonLine& line) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::string text = line.Text();
    text.insert(1, "\"time_ms\":" + std::to_string(ms) + (text.size() > 2 ? "," : ""));
    std::lock_guard lock(mutex_);
    if (!out_.is_open()) return;
    out_ << text << '\n';
    out_.flush();
}

}  // namespace kvservice
