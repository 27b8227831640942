// Downloads one URL into the temporary folder with the installer's downloader and reports the
// throughput and the working set: idle (before the transfer) and peak.
//   download_bench.exe URL [FILE_NAME]

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "net/installer_downloader.h"

namespace {

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// The peak the system records, plus our own samples in case it doesn't keep one.
SIZE_T g_sampledPeak = 0;
int64_t g_calls = 0;

void SampleWorkingSet(int64_t, int64_t) {
    if (++g_calls % 64 == 0) {
        const SIZE_T now = WorkingSet();
        if (now > g_sampledPeak) g_sampledPeak = now;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: download_bench URL [FILE_NAME]\n");
        return 2;
    }
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring target = std::wstring(temp) + (argc > 2 ? argv[2] : L"kvnet-bench.bin");

    CInstallerDownloader downloader;
    const SIZE_T idle = WorkingSet();
    g_sampledPeak = idle;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const bool ok = downloader.Download(argv[1], target, &SampleWorkingSet);
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const SIZE_T peak =
        counters.PeakWorkingSetSize > g_sampledPeak ? counters.PeakWorkingSetSize : g_sampledPeak;
    DeleteFileW(target.c_str());

    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    const double bytes = double(downloader.ReceivedBytes());
    std::printf(
        "ok=%d bytes=%.0f seconds=%.3f mib_per_s=%.1f chunks=%lld idle_ws_kib=%zu "
        "peak_ws_kib=%zu sampled_peak_kib=%zu\n",
        ok ? 1 : 0, bytes, seconds, bytes / seconds / 1048576.0, static_cast<long long>(g_calls),
        idle / 1024, peak / 1024, g_sampledPeak / 1024);
    return ok ? 0 : 1;
}
