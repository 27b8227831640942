#pragma once
// Reading the reference service's request log in tests: the lines written since a mark, one
// field of a line, and polling with a deadline for lines to appear.

#include <chrono>
#include <string>
#include <vector>

namespace kv::test {

// Everything the log holds now; later calls of LinesSince see only what came after it.
size_t LogMark();
std::vector<std::string> LogLinesSince(size_t mark);
// Lines since `mark` that contain every one of `parts`.
std::vector<std::string> LogLinesSinceWith(size_t mark, const std::vector<std::string>& parts);

// Polls the log until at least `count` lines since `mark` contain every one of `parts`, or the
// deadline passes; returns the lines found at the end.
std::vector<std::string> WaitForLogLines(
    size_t mark, const std::vector<std::string>& parts, size_t count,
    std::chrono::milliseconds deadline = std::chrono::seconds(20));

// The text of a string field ("key":"value") of a JSON line, unescaped for quotes and
// backslashes; empty when the line has no such field.
std::string JsonField(const std::string& line, const std::string& key);

std::string Narrow(const std::wstring& text);  // ASCII only

}  // namespace kv::test
