#include "json_log.h"

#include <chrono>
#include <cstdio>

namespace kvservice {

std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (unsigned char c : text) {
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
                if (c < 0x20 || c >= 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
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
