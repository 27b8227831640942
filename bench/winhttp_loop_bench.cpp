// The yardstick for our downloads: the plainest WinHTTP loop there is. One synchronous request,
// WinHttpReadData straight into a 1 MiB buffer, each piece written to a file in the temporary
// folder, on one thread. Reports the throughput from sending the request to the last write.
//   winhttp_loop_bench.exe URL

#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <string>

#include "net/winhttp_handle.h"
#include "win/handles.h"

namespace {

constexpr DWORD kBufferBytes = 1u << 20;

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;
};

bool Crack(const wchar_t* url, Target& target) {
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url, 0, 0, &parts)) return false;
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.object = parts.lpszUrlPath;
    target.port = parts.nPort;
    return true;
}

// Returns the bytes stored, or -1 when the exchange failed.
double Fetch(const Target& target, HANDLE file) {
    net::WinHttpHandle session(::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return -1;
    net::WinHttpHandle connection(
        ::WinHttpConnect(session.Get(), target.host.c_str(), target.port, 0));
    if (!connection) return -1;
    net::WinHttpHandle request(::WinHttpOpenRequest(connection.Get(), L"GET", target.object.c_str(),
                                                    nullptr, WINHTTP_NO_REFERER,
                                                    WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request ||
        !::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.Get(), nullptr)) {
        return -1;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBufferBytes]);
    double total = 0;
    for (;;) {
        DWORD read = 0;
        if (!::WinHttpReadData(request.Get(), buffer.get(), kBufferBytes, &read)) return -1;
        if (read == 0) return total;
        DWORD written = 0;
        if (!::WriteFile(file, buffer.get(), read, &written, nullptr) || written != read) {
            return -1;
        }
        total += read;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Target target;
    if (argc < 2 || !Crack(argv[1], target)) {
        std::fprintf(stderr, "usage: winhttp_loop_bench URL\n");
        return 2;
    }
    wchar_t temp[MAX_PATH + 1] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"kvnet-loop-bench.bin";
    double bytes = -1;
    double seconds = 0;
    {
        kv::win::FileHandle file(
            ::CreateFileW(path.c_str(), FILE_WRITE_DATA, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (file) {
            const double start = Now();
            bytes = Fetch(target, file.Get());
            seconds = Now() - start;
        }
    }
    ::DeleteFileW(path.c_str());
    if (bytes <= 0) {
        std::printf("ok=0\n");
        return 1;
    }
    std::printf("ok=1 bytes=%.0f seconds=%.3f mib_per_s=%.1f\n", bytes, seconds,
                bytes / seconds / 1048576.0);
    return 0;
}
