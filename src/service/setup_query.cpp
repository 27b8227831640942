#include "service/setup_query.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <string_view>

#include "net/installer_downloader.h"
#include "service/envelope.h"

namespace {

constexpr std::string_view kRequestPassPhrase = "5e1f0c7a9b2d4e6f8a0c1e3b5d7f9a2c";
constexpr std::string_view kResponsePassPhrase = "b7d9e1f3a5c7e9b1d3f5a7c9e1b3d5f7";
constexpr std::string_view kProductCode = "kvPro";

std::string RequestText(unsigned char trial) {
    return std::string(kProductCode) + (trial != 0 ? "Trial" : "Paid");
}

// A new salt for every request, so no two request URLs are alike.
std::wstring RequestUrl(const std::wstring& serverUrl, unsigned char trial) {
    const std::string payload = SealPayload(RequestText(trial), kRequestPassPhrase);
    std::wstring url = serverUrl + L"?p=";
    for (unsigned char c : payload) url += static_cast<wchar_t>(c);  // base64 is ASCII
    return url;
}

// The opened text up to its first zero byte, from the thread's ANSI code page.
std::wstring WidenFromThreadCodePage(const std::string& text) {
    const std::string_view shown(text.c_str());
    if (shown.empty()) return {};
    const int length = static_cast<int>(shown.size());
    const int wideLength = MultiByteToWideChar(CP_THREAD_ACP, 0, shown.data(), length, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, shown.data(), length, wide.data(), wideLength) !=
        wideLength) {
        return {};
    }
    return wide;
}

// Only an http or https URL with a host is a location we can download from.
bool IsDownloadUrl(const std::wstring& url) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    if (url.empty() || !::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    const bool web =
        parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS;
    return web && parts.dwHostNameLength > 0;
}

// The location in a server's answer, or empty when the answer does not open to one.
std::wstring LocationOf(const unsigned char* body) {
    if (body == nullptr) return {};
    // The body is zero-terminated by the exchange.
    const std::optional<std::string> text =
        TryOpenPayload(reinterpret_cast<const char*>(body), kResponsePassPhrase);
    // A zero or control character inside would cut or bend the URL: the answer is damaged.
    if (!text || std::any_of(text->begin(), text->end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return {};
    }
    std::wstring url = WidenFromThreadCodePage(*text);
    return IsDownloadUrl(url) ? url : std::wstring();
}

}  // namespace

std::wstring QuerySetupLocation(const std::vector<std::wstring>& serverUrls, unsigned char trial,
                                const CancelToken& cancel) {
    try {
        CInstallerDownloader downloader;
        for (const std::wstring& serverUrl : serverUrls) {
            if (cancel.Cancelled()) break;
            if (!downloader.Download(RequestUrl(serverUrl, trial), L"", nullptr, cancel)) continue;
            // An answer we cannot read counts as no answer: the next server may do better.
            std::wstring location = LocationOf(downloader.BodyBuffer());
            if (!location.empty()) return location;
        }
    } catch (const std::exception&) {
        // out of memory: no location
    }
    return {};
}

std::wstring QuerySetupLocation(const std::vector<std::wstring>& serverUrls, unsigned char trial) {
    const CancelToken never;
    return QuerySetupLocation(serverUrls, trial, never);
}
