#include "service_log.h"

#include "service_client.h"
#include "wait_until.h"

namespace kv::test {

size_t LogMark() {
    return service_client::LogLines().size();
}

std::vector<std::string> LogLinesSince(size_t mark) {
    std::vector<std::string> lines = service_client::LogLines();
    if (mark >= lines.size()) return {};
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(mark), lines.end());
}

std::vector<std::string> LogLinesSinceWith(size_t mark, const std::vector<std::string>& parts) {
    std::vector<std::string> found;
    for (const std::string& line : LogLinesSince(mark)) {
        bool all = true;
        for (const std::string& part : parts) all = all && line.find(part) != std::string::npos;
        if (all) found.push_back(line);
    }
    return found;
}

std::vector<std::string> WaitForLogLines(size_t mark, const std::vector<std::string>& parts,
                                         size_t count, std::chrono::milliseconds deadline) {
    std::vector<std::string> found;
    WaitUntil([&] { return (found = LogLinesSinceWith(mark, parts)).size() >= count; }, deadline);
    return found;
}

std::string JsonField(const std::string& line, const std::string& key) {
    const std::string opening = "\"" + key + "\":\"";
    const size_t start = line.find(opening);
    if (start == std::string::npos) return {};
    std::string value;
    for (size_t i = start + opening.size(); i < line.size(); ++i) {
        if (line[i] == '"') break;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
    }
    return value;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);
    return out;
}

}  // namespace kv::test
