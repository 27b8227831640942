#include "faults.h"

#include <charconv>
#include <sstream>

namespace kvservice {
namespace {

bool ParseInt(const std::string& text, int64_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseFlag(const std::string& text, bool& value) {
    if (text == "1" || text == "true" || text.empty()) {
        value = true;
    } else if (text == "0" || text == "false") {
        value = false;
    } else {
        return false;
    }
    return true;
}

bool IsFaultName(const std::string& name) {
    static const char* const kNames[] = {"status", "cut",      "stall",    "trickle",   "length",
                                         "empty",  "nolength", "garble",   "emptytext", "noheaders",
                                         "refuse", "chunked",  "noranges", "newetag",   "badrange"};
    for (const char* known : kNames) {
        if (name == known) return true;
    }
    return false;
}

bool ApplyOne(const std::string& name, const std::string& value, Faults& f) {
    int64_t number = 0;
    if (name == "status") {
        if (!ParseInt(value, number) || number < 0 || number > 999) return false;
        f.status = static_cast<int>(number);
        return true;
    }
    if (name == "cut") {
        // "bytes", or "percent%" of the whole file
        if (!value.empty() && value.back() == '%') {
            if (!ParseInt(value.substr(0, value.size() - 1), number) || number < 0 || number > 100)
                return false;
            f.cutPercent = static_cast<int>(number);
            f.cutAfter = -1;
            return true;
        }
        f.cutPercent = -1;
        return ParseInt(value, f.cutAfter);
    }
    if (name == "stall") return ParseInt(value, f.stallAfter);
    if (name == "trickle") {
        // "bytes" or "bytes:delayMs"
        const size_t colon = value.find(':');
        if (!ParseInt(value.substr(0, colon), f.trickleBytes) || f.trickleBytes < 0) return false;
        f.trickleDelayMs = 100;
        return colon == std::string::npos || ParseInt(value.substr(colon + 1), f.trickleDelayMs);
    }
    if (name == "length") {
        f.contentLength = value;
        return true;
    }
    if (name == "empty") return ParseFlag(value, f.emptyBody);
    if (name == "nolength") return ParseFlag(value, f.noLength);
    if (name == "garble") return ParseFlag(value, f.garble);
    if (name == "emptytext") return ParseFlag(value, f.emptyText);
    if (name == "noheaders") return ParseFlag(value, f.noHeaders);
    if (name == "refuse") return ParseFlag(value, f.refuse);
    if (name == "chunked") return ParseFlag(value, f.chunked);
    if (name == "noranges") return ParseFlag(value, f.noRanges);
    if (name == "newetag") return ParseFlag(value, f.newValidator);
    if (name == "badrange") return ParseFlag(value, f.badRange);
    return false;
}

}  // namespace

int64_t Faults::CutPoint(int64_t fileSize) const {
    if (cutPercent >= 0) return fileSize * cutPercent / 100;
    return cutAfter;
}

bool Faults::Any() const {
    return !Describe().empty();
}

std::string Faults::Describe() const {
    std::ostringstream out;
    auto item = [&out](const char* name, const std::string& value) {
        if (out.tellp() > 0) out << ',';
        out << name << '=' << value;
    };
    if (status) item("status", std::to_string(status));
    if (emptyBody) item("empty", "1");
    if (noLength) item("nolength", "1");
    if (cutAfter >= 0) item("cut", std::to_string(cutAfter));
    if (cutPercent >= 0) item("cut", std::to_string(cutPercent) + "%");
    if (stallAfter >= 0) item("stall", std::to_string(stallAfter));
    if (trickleBytes > 0)
        item("trickle", std::to_string(trickleBytes) + ":" + std::to_string(trickleDelayMs));
    if (garble) item("garble", "1");
    if (emptyText) item("emptytext", "1");
    if (noHeaders) item("noheaders", "1");
    if (refuse) item("refuse", "1");
    if (!contentLength.empty()) item("length", contentLength);
    if (chunked) item("chunked", "1");
    if (noRanges) item("noranges", "1");
    if (newValidator) item("newetag", "1");
    if (badRange) item("badrange", "1");
    return out.str();
}

bool ApplyFaultParameters(const std::multimap<std::string, std::string>& params, Faults& faults,
                          std::string& error, bool strict) {
    if (auto reset = params.find("reset"); reset != params.end() && reset->second != "0") {
        faults = Faults{};
    }
    static const char* const kIgnored[] = {"reset", "port", "p"};
    for (const auto& [name, value] : params) {
        bool ignored = false;
        for (const char* skip : kIgnored) ignored = ignored || name == skip;
        if (ignored || (!strict && !IsFaultName(name))) continue;
        if (!ApplyOne(name, value, faults)) {
            error = name + "=" + value;
            return false;
        }
    }
    return true;
}

bool ApplyFaultText(const std::string& text, Faults& faults, std::string& error) {
    std::multimap<std::string, std::string> params;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        params.emplace(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
    }
    return ApplyFaultParameters(params, faults, error);
}

}  // namespace kvservice
