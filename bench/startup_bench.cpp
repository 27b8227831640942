// Start-up benchmark: starts each program RUNS times, in turns, and times it from the call that
// creates its process until one of its top-level windows is visible, and until every window it
// has is painted (no window of the process has a part left to paint). Each program is ended
// (TerminateProcess) once measured, and the next start waits until the machine has settled.
// Prints every run, then per program the medians and the fastest run, and the difference of the
// first program's medians to the last's (the yardstick, a program that only opens a window).
//   startup_bench.exe RUNS PROGRAM... YARDSTICK

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "win/handles.h"

namespace {

constexpr double kGiveUpMs = 10000;

double NowMs() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct WindowsOf {
    DWORD pid;
    std::vector<HWND> topLevel;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowsOf*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid) search->topLevel.push_back(window);
    return TRUE;
}

BOOL CALLBACK FindUnpainted(HWND window, LPARAM context) {
    if (!::IsWindowVisible(window) || !::GetUpdateRect(window, nullptr, FALSE)) return TRUE;
    *reinterpret_cast<bool*>(context) = true;
    return FALSE;
}

// A visible window with nothing left to paint in it or in any of its visible children.
bool IsPainted(HWND window) {
    bool unpainted = ::GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!unpainted) ::EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&unpainted));
    return !unpainted;
}

struct Timing {
    double visibleMs = -1;
    double paintedMs = -1;
};

// One start of `program`: polled every millisecond until a visible top-level window of its
// process is painted.
Timing TimeOneStart(const std::wstring& program) {
    Timing timing;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = NowMs();
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", program.c_str(), ::GetLastError());
        return timing;
    }
    kv::win::KernelHandle process(info.hProcess);
    kv::win::KernelHandle thread(info.hThread);
    while (NowMs() - start < kGiveUpMs) {
        WindowsOf windows{info.dwProcessId, {}};
        ::EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows.topLevel) {
            if (!::IsWindowVisible(window)) continue;
            if (timing.visibleMs < 0) timing.visibleMs = NowMs() - start;
            if (IsPainted(window)) timing.paintedMs = NowMs() - start;
        }
        if (timing.paintedMs >= 0) break;
        if (::WaitForSingleObject(process.Get(), 1) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "%ls ended before its window showed\n", program.c_str());
            return {};
        }
    }
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 5000);
    return timing;
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return -1;
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

double Fastest(const std::vector<double>& samples) {
    return samples.empty() ? -1 : *std::min_element(samples.begin(), samples.end());
}

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench RUNS PROGRAM... YARDSTICK\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(argv[1]));
    const std::vector<std::wstring> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> visible(programs.size()), painted(programs.size());
    // One unmeasured start each: the first start of a program reads its files from disk.
    for (const std::wstring& program : programs) TimeOneStart(program);
    for (int run = 1; run <= runs; ++run) {
        for (size_t i = 0; i < programs.size(); ++i) {
            ::Sleep(300);  // the previous program's end settles in the Wine server and X
            const Timing timing = TimeOneStart(programs[i]);
            std::printf("run %d %ls visible_ms=%.1f painted_ms=%.1f\n", run,
                        NameOf(programs[i]).c_str(), timing.visibleMs, timing.paintedMs);
            if (timing.visibleMs >= 0) visible[i].push_back(timing.visibleMs);
            if (timing.paintedMs >= 0) painted[i].push_back(timing.paintedMs);
        }
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        std::printf("median %ls visible_ms=%.1f painted_ms=%.1f (%zu runs)\n",
                    NameOf(programs[i]).c_str(), Median(visible[i]), Median(painted[i]),
                    visible[i].size());
        // On a busy machine the fastest run tells best what the program itself costs.
        std::printf("fastest %ls visible_ms=%.1f painted_ms=%.1f\n", NameOf(programs[i]).c_str(),
                    Fastest(visible[i]), Fastest(painted[i]));
    }
    const size_t last = programs.size() - 1;
    std::printf("difference %ls - %ls visible_ms=%.1f painted_ms=%.1f (goal <= 100)\n",
                NameOf(programs[0]).c_str(), NameOf(programs[last]).c_str(),
                Median(visible[0]) - Median(visible[last]),
                Median(painted[0]) - Median(painted[last]));
    return 0;
}
