// Drives the running loopback installer through one download and reports the throughput as the
// user sees it (from "Downloading the setup files..." to "Setup files are ready...") and the
// installer's working set, idle and peak, and how quickly its main window answers a sent
// message (WM_NULL) while idle and during the transfer: the median and the 99th percentile.
// The installer is ended afterwards, and the downloaded file deleted.
//   page_bench.exe FILE_BYTES

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"
#include "win/handles.h"

namespace {

struct PageSearch {
    int controlId;
    HWND found;
};

BOOL CALLBACK MatchPage(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<PageSearch*>(context);
    if (::GetDlgItem(window, search->controlId)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindPage(HWND main, int controlId) {
    PageSearch search{controlId, nullptr};
    ::EnumChildWindows(main, MatchPage, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int BarPosition(HWND page) {
    return static_cast<int>(::SendMessageW(::GetDlgItem(page, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

std::wstring StatusOf(HWND page) {
    wchar_t text[512] = L"";
    ::GetWindowTextW(::GetDlgItem(page, IDC_STATUS_LINE), text, 512);
    return text;
}

bool StartsWith(const std::wstring& text, const wchar_t* start) {
    return text.rfind(start, 0) == 0;
}

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

SIZE_T WorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// Milliseconds until the window has handled a WM_NULL; a window that stays busy for 2 s counts
// as 2000.
double RoundTripMs(HWND window) {
    const double start = Now();
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
    return (Now() - start) * 1000.0;
}

// The value below which `share` of the samples lie; 0 without samples.
double Percentile(std::vector<double> samples, double share) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(share * double(samples.size())));
    return samples[index];
}

// The page of a terminated installer leaves its file behind.
void DeleteDownloadedFiles() {
    wchar_t temp[MAX_PATH + 1] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((std::wstring(temp) + L"KVProInstaller*.exe").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        ::DeleteFileW((std::wstring(temp) + entry.cFileName).c_str());
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: page_bench FILE_BYTES\n");
        return 2;
    }
    const double bytes = std::wcstod(argv[1], nullptr);
    HWND main = nullptr;
    for (int i = 0; i < 400 && !main; ++i, ::Sleep(50)) {
        main = ::FindWindowW(nullptr, L"Kestrova Pro Installer");
    }
    DWORD pid = 0;
    if (main) ::GetWindowThreadProcessId(main, &pid);
    kv::win::KernelHandle process(::OpenProcess(
        PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    HWND editionPage = main ? FindPage(main, IDC_TRIAL_BUTTON) : nullptr;
    // The download page is built once the first page is on the screen.
    HWND downloadPage = nullptr;
    for (int i = 0; i < 100 && main && !downloadPage; ++i, ::Sleep(50)) {
        downloadPage = FindPage(main, IDC_STATUS_LINE);
    }
    if (!process || !editionPage || !downloadPage) {
        std::fprintf(stderr, "installer not found\n");
        return 1;
    }
    ::Sleep(500);
    const SIZE_T idle = WorkingSet(process.Get());
    std::vector<double> idleTrips;
    for (int i = 0; i < 100; ++i, ::Sleep(2)) idleTrips.push_back(RoundTripMs(main));
    std::vector<double> busyTrips;
    SIZE_T peak = idle;
    ::PostMessageW(editionPage, WM_COMMAND, MAKEWPARAM(IDC_TRIAL_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(editionPage, IDC_TRIAL_BUTTON)));

    double started = 0;
    double transferred = 0;  // the bar full: every byte is in the file
    double finished = 0;     // the file checked and offered
    const double deadline = Now() + 600;
    while (Now() < deadline) {
        const std::wstring status = StatusOf(downloadPage);
        if (!started && StartsWith(status, L"Downloading the setup files")) started = Now();
        if (started && !transferred && BarPosition(downloadPage) == 100) transferred = Now();
        if (StartsWith(status, L"Setup files are ready")) {
            finished = Now();
            break;
        }
        if (StartsWith(status, L"Download failed") || StartsWith(status, L"Kestrova Pro Down"))
            break;
        const SIZE_T now = WorkingSet(process.Get());
        if (now > peak) peak = now;
        if (started) busyTrips.push_back(RoundTripMs(main));
        ::Sleep(25);  // an observer polling faster competes with the transfer for the Wine server
    }
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 5000);
    DeleteDownloadedFiles();
    if (!started || !finished) {
        std::printf("ok=0\n");
        return 1;
    }
    // The transfer is what compares with a bare loop; "ready" adds the signature check.
    const double seconds = (transferred ? transferred : finished) - started;
    const double readySeconds = finished - started;
    std::printf(
        "ok=1 bytes=%.0f seconds=%.3f mib_per_s=%.1f ready_seconds=%.3f ready_mib_per_s=%.1f "
        "idle_ws_kib=%zu peak_ws_kib=%zu "
        "idle_rtt_median_ms=%.2f rtt_median_ms=%.2f rtt_p99_ms=%.2f rtt_max_ms=%.2f "
        "rtt_samples=%zu\n",
        bytes, seconds, bytes / seconds / 1048576.0, readySeconds, bytes / readySeconds / 1048576.0,
        idle / 1024, peak / 1024, Percentile(idleTrips, 0.5), Percentile(busyTrips, 0.5),
        Percentile(busyTrips, 0.99), Percentile(busyTrips, 1.0), busyTrips.size());
    return 0;
}
