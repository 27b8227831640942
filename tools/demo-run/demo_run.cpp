// kvpro-demo-run [--desktop NAME] STEP [SECONDS]: one step of a scripted run of the installer and
// the demo setup, done with window messages as a user's clicks would arrive. Waiting steps give
// up after SECONDS (60) with exit status 1; the other steps fail at once when their window is
// missing. --desktop looks for the windows on that desktop (e.g. a Wine virtual desktop's).
//
//   wait-edition    the edition choice shows        choose-trial / choose-paid   click it
//   wait-time-left  the bar moves and the time left shows
//   wait-ready      the Install button shows        install                      click it
//   wait-setup      the demo setup's window shows   finish / back                click it

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>

#include "../demo-setup/demo_setup_ids.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"

namespace {

struct Search {
    int controlId = 0;
    HWND page = nullptr;
};

// The page (a child of a top-level window) that holds a control with `controlId`.
BOOL CALLBACK FindInChildren(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    HWND control = ::GetDlgItem(child, search->controlId);
    if (control && ::GetParent(child) != nullptr) {
        search->page = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindInTopLevel(HWND window, LPARAM param) {
    ::EnumChildWindows(window, FindInChildren, param);
    return reinterpret_cast<Search*>(param)->page == nullptr;
}

HWND PageWith(int controlId) {
    Search search{controlId, nullptr};
    ::EnumWindows(FindInTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.page;
}

bool Shown(HWND window) {
    return window && ::IsWindowVisible(window);
}

std::wstring Text(HWND window) {
    wchar_t text[512] = L"";
    if (window) ::GetWindowTextW(window, text, 512);
    return text;
}

bool ShowsEditionChoice() {
    HWND page = PageWith(IDC_TRIAL_BUTTON);
    return Shown(page) && Shown(::GetAncestor(page, GA_ROOT));
}

bool ShowsTimeLeft() {
    HWND page = PageWith(IDC_STATUS_LINE);
    if (!Shown(page)) return false;
    const auto position = ::SendMessageW(::GetDlgItem(page, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0);
    // The time left follows the status text and is the one part of it with a number.
    const std::wstring status = Text(::GetDlgItem(page, IDC_STATUS_LINE));
    return position > 0 && status.find_first_of(L"0123456789") != std::wstring::npos &&
           !Shown(::GetDlgItem(page, IDC_INSTALL_BUTTON));
}

bool ShowsInstall() {
    HWND page = PageWith(IDC_STATUS_LINE);
    return Shown(page) && Shown(::GetDlgItem(page, IDC_INSTALL_BUTTON));
}

HWND DemoSetup() {
    return ::FindWindowW(kDemoSetupWindowClass, nullptr);
}

bool WaitFor(const std::function<bool()>& condition, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

bool Click(HWND parent, int controlId) {
    HWND button = parent ? ::GetDlgItem(parent, controlId) : nullptr;
    if (!button) return false;
    return ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                          reinterpret_cast<LPARAM>(button)) != FALSE;
}

int Usage() {
    std::fputs(
        "usage: kvpro-demo-run wait-edition|choose-trial|choose-paid|wait-time-left|"
        "wait-ready|install|wait-setup|finish|back [SECONDS]\n",
        stderr);
    return 2;
}

int Run(const std::wstring& step, int seconds) {
    if (step == L"wait-edition") return WaitFor(ShowsEditionChoice, seconds) ? 0 : 1;
    if (step == L"wait-time-left") return WaitFor(ShowsTimeLeft, seconds) ? 0 : 1;
    if (step == L"wait-ready") return WaitFor(ShowsInstall, seconds) ? 0 : 1;
    if (step == L"wait-setup") return WaitFor([] { return Shown(DemoSetup()); }, seconds) ? 0 : 1;
    if (step == L"choose-trial") return Click(PageWith(IDC_TRIAL_BUTTON), IDC_TRIAL_BUTTON) ? 0 : 1;
    if (step == L"choose-paid") return Click(PageWith(IDC_PAID_BUTTON), IDC_PAID_BUTTON) ? 0 : 1;
    if (step == L"install") return Click(PageWith(IDC_STATUS_LINE), IDC_INSTALL_BUTTON) ? 0 : 1;
    if (step == L"finish") return Click(DemoSetup(), IDC_DEMO_FINISH) ? 0 : 1;
    if (step == L"back") return Click(DemoSetup(), IDC_DEMO_BACK) ? 0 : 1;
    return Usage();
}

}  // namespace

// Windows are found only on the calling thread's desktop; this one has made none yet. A desktop
// that is still being created gets a few seconds.
bool UseDesktop(const wchar_t* name) {
    HDESK desktop = nullptr;
    WaitFor([&] { return (desktop = ::OpenDesktopW(name, 0, FALSE, GENERIC_ALL)) != nullptr; }, 10);
    if (desktop && ::SetThreadDesktop(desktop)) return true;
    std::fwprintf(stderr, L"kvpro-demo-run: cannot use the desktop %ls\n", name);
    return false;
}

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wstring(argv[1]) == L"--desktop") {
        if (!UseDesktop(argv[2])) return 2;
        argc -= 2;
        argv += 2;
    }
    if (argc < 2 || argc > 3) return Usage();
    const int seconds = argc == 3 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 60;
    const int status = Run(argv[1], seconds);
    if (status == 1) {
        HWND page = PageWith(IDC_STATUS_LINE);
        std::fwprintf(stderr, L"kvpro-demo-run %ls: not done; status line: %ls\n", argv[1],
                      Text(page ? ::GetDlgItem(page, IDC_STATUS_LINE) : nullptr).c_str());
    }
    return status;
}
