#include "analytics/measurement_query.h"

#include <cstdint>

#include "i18n/decimal_text.h"

namespace kv::analytics {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
// The application version reported with every event, as "major.minor".
constexpr int kVersionMajor = 7;
constexpr int kVersionMinor = 0;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point that starts at text[index]; index moves past it. Works for 16-bit wchar_t
// (surrogate pairs) and 32-bit wchar_t (one unit per code point) alike.
char32_t NextCodePoint(std::wstring_view text, size_t& index) {
    const char32_t unit = static_cast<char32_t>(text[index++]);
    if (IsHighSurrogate(unit) && index < text.size()) {
        const char32_t next = static_cast<char32_t>(text[index]);
        if (IsLowSurrogate(next)) {
            ++index;
            return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        }
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit > 0x10FFFF) return kReplacement;
    return unit;
}

// Up to four UTF-8 bytes of one code point; returns their count.
int EncodeUtf8(char32_t codePoint, uint8_t out[4]) {
    if (codePoint < 0x80) {
        out[0] = static_cast<uint8_t>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<uint8_t>(0xC0 | codePoint >> 6);
        out[1] = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<uint8_t>(0xE0 | codePoint >> 12);
        out[1] = static_cast<uint8_t>(0x80 | (codePoint >> 6 & 0x3F));
        out[2] = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<uint8_t>(0xF0 | codePoint >> 18);
    out[1] = static_cast<uint8_t>(0x80 | (codePoint >> 12 & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (codePoint >> 6 & 0x3F));
    out[3] = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
    return 4;
}

bool IsUnreserved(uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

void AppendEncodedByte(std::wstring& out, uint8_t byte) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    if (IsUnreserved(byte)) {
        out += static_cast<wchar_t>(byte);
        return;
    }
    out += L'%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

void AppendPair(std::wstring& out, std::wstring_view key, std::wstring_view value) {
    out += L'&';
    out += key;
    out += L'=';
    out += PercentEncode(value);
}

void AppendPairIfGiven(std::wstring& out, std::wstring_view key, std::wstring_view value) {
    if (!value.empty()) AppendPair(out, key, value);
}

std::wstring VersionText() {
    return kv::i18n::DecimalText(kVersionMajor) + L'.' + kv::i18n::DecimalText(kVersionMinor);
}

// The protocol's event names: a letter first, then letters, digits and "_", 40 at most.
std::string Ga4EventName(std::wstring_view category, std::wstring_view action) {
    std::wstring joined(category);
    if (!category.empty() && !action.empty()) joined += L'_';
    joined += action;
    std::string name;
    for (wchar_t c : joined) {
        const bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
        const bool digit = c >= L'0' && c <= L'9';
        if (name.empty() && !letter) continue;
        name += letter || digit ? static_cast<char>(c) : '_';
        if (name.size() == 40) break;
    }
    return name.empty() ? "event" : name;
}

void AppendParam(std::string& out, std::string_view key, std::wstring_view value) {
    if (value.empty()) return;
    if (out.back() != '{') out += ',';
    out += '"';
    out += key;
    out += "\":";
    out += JsonString(value);
}

}  // namespace

std::wstring PercentEncode(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (size_t index = 0; index < value.size();) {
        uint8_t bytes[4];
        const int count = EncodeUtf8(NextCodePoint(value, index), bytes);
        for (int i = 0; i < count; ++i) AppendEncodedByte(out, bytes[i]);
    }
    return out;
}

std::wstring BuildEventPart(std::wstring_view category, std::wstring_view action,
                            std::wstring_view label, std::wstring_view value) {
    std::wstring part = L"&av=" + VersionText() + L"&t=event";
    AppendPairIfGiven(part, L"ec", category);
    AppendPairIfGiven(part, L"ea", action);
    AppendPairIfGiven(part, L"el", label);
    AppendPairIfGiven(part, L"ev", value);
    return part;
}

std::wstring BuildCollectUrl(const HitIdentity& identity, std::wstring_view eventPart) {
    std::wstring url = L"http://";
    url += identity.host;
    url += L"/collect?v=1";
    AppendPair(url, L"tid", identity.trackingId);
    AppendPair(url, L"cid", identity.clientId);
    AppendPair(url, L"an", identity.appName);
    AppendPair(url, L"ul", identity.userLanguage);
    url += eventPart;
    return url;
}

std::wstring BuildGa4Url(std::wstring_view host, std::wstring_view measurementId,
                         std::wstring_view apiSecret) {
    std::wstring url = L"http://";
    url += host;
    url += L"/mp/collect?measurement_id=";
    url += PercentEncode(measurementId);
    url += L"&api_secret=";
    url += PercentEncode(apiSecret);
    return url;
}

std::string JsonString(std::wstring_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t index = 0; index < text.size();) {
        const char32_t codePoint = NextCodePoint(text, index);
        if (codePoint == U'"' || codePoint == U'\\') {
            out += '\\';
            out += static_cast<char>(codePoint);
        } else if (codePoint < 0x20) {
            out += "\\u00";
            out += kHex[codePoint >> 4];
            out += kHex[codePoint & 0x0F];
        } else {
            uint8_t bytes[4];
            const int count = EncodeUtf8(codePoint, bytes);
            out.append(reinterpret_cast<const char*>(bytes), count);
        }
    }
    return out + '"';
}

std::string BuildGa4Body(const HitIdentity& identity, std::wstring_view category,
                         std::wstring_view action, std::wstring_view label,
                         std::wstring_view value) {
    std::string body = "{\"client_id\":" + JsonString(identity.clientId) +
                       ",\"events\":[{\"name\":\"" + Ga4EventName(category, action) +
                       "\",\"params\":{";
    AppendParam(body, "category", category);
    AppendParam(body, "action", action);
    AppendParam(body, "label", label);
    AppendParam(body, "value", value);
    AppendParam(body, "app_name", identity.appName);
    AppendParam(body, "app_version", VersionText());
    AppendParam(body, "user_language", identity.userLanguage);
    return body + "}}]}";
}

}  // namespace kv::analytics
