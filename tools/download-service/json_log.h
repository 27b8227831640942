#pragma once
// The service's request log: one JSON object per line, appended and flushed as it is written so
// that a test can read it while the service runs.

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace kvservice {

// Builds one JSON object, field by field.
class JsonLine {
  public:
    JsonLine& Add(std::string_view key, std::string_view value);
    JsonLine& Add(std::string_view key, const char* value) {
        return Add(key, std::string_view(value));
    }
    JsonLine& Add(std::string_view key, int64_t value);
    JsonLine& Add(std::string_view key, int value) { return Add(key, int64_t{value}); }
    JsonLine& Add(std::string_view key, bool value);
    // A nested object.
    JsonLine& Add(std::string_view key, const JsonLine& object);
    std::string Text() const { return text_ + "}"; }

  private:
    void Key(std::string_view key);
    std::string text_ = "{";
};

std::string JsonEscape(std::string_view text);

class JsonLog {
  public:
    // An empty path discards the records.
    explicit JsonLog(const std::string& path);
    void Write(const JsonLine& line);
    bool IsOpen() const { return out_.is_open(); }

  private:
    std::mutex mutex_;
    std::ofstream out_;
};

}  // namespace kvservice
