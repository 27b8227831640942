#include "service_client.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <sstream>

#include "net/downloader.h"

namespace service_client {

int Port(Server server) {
    const char* text = std::getenv(server == Server::Primary ? "KV_SERVICE_PRIMARY_PORT"
                                                             : "KV_SERVICE_SECONDARY_PORT");
    return text ? std::atoi(text) : 0;
}

bool Available() {
    return Port(Server::Primary) > 0 && Port(Server::Secondary) > 0;
}

std::wstring Url(const std::wstring& path, Server server) {
    return L"http://127.0.0.1:" + std::to_wstring(Port(server)) + path;
}

namespace {

// A GET of a service path into `downloader`. A test may have told the primary to refuse
// connections: the secondary, which shares the switches and the log, answers then.
bool GetFromEither(const std::wstring& path, Downloader& downloader) {
    return downloader.Download(Url(path, Server::Primary), L"", nullptr) ||
           downloader.Download(Url(path, Server::Secondary), L"", nullptr);
}

}  // namespace

bool Control(const std::wstring& query) {
    Downloader downloader;
    return GetFromEither(L"/_control?" + query, downloader);
}

bool ResetFaults() {
    return Control(L"port=both&reset=1");
}

std::vector<std::string> LogLines() {
    Downloader downloader;
    std::vector<std::string> lines;
    if (!GetFromEither(L"/_log", downloader)) return lines;
    std::istringstream in(reinterpret_cast<const char*>(downloader.BodyBuffer()));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::wstring ServiceFolder() {
    const char* dir = std::getenv("KV_SERVICE_DIR");
    if (!dir) return {};
    std::wstring path = L"Z:";
    for (const char* c = dir; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

std::wstring UniqueToken() {
    static std::atomic<int> counter{0};
    return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) +
           L"-" + std::to_wstring(++counter);
}

}  // namespace service_client
