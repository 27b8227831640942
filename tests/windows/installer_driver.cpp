#include "installer_driver.h"

#include <vector>

namespace kv::test {
namespace {

struct WindowSearch {
    DWORD pid;
    const wchar_t* caption;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchTopLevelWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || WindowText(window) != search->caption) return TRUE;
    if (search->className) {
        wchar_t name[64] = L"";
        ::GetClassNameW(window, name, 64);
        if (std::wstring(name) != search->className) return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* caption, const wchar_t* className) {
    WindowSearch search{pid, caption, className, nullptr};
    ::EnumWindows(MatchTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(length + 1, L'\0');
    text.resize(::GetWindowTextW(window, text.data(), length + 1));
    return text;
}

HWND FindPageWithControl(HWND parent, int controlId) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgItem(child, controlId)) return child;
    }
    return nullptr;
}

void Broadcast(const wchar_t* registeredMessageName) {
    ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(registeredMessageName), 0, 0);
}

void Answer(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
}

std::wstring BoxText(HWND box) {
    return WindowText(::GetDlgItem(box, 0xFFFF));
}

std::wstring BuiltProgram(const wchar_t* relativePath) {
    const std::string binaryDir = KV_BINARY_DIR;
    std::wstring path(binaryDir.begin(), binaryDir.end());
    path += L"/";
    path += relativePath;
    for (auto& c : path) c = c == L'/' ? L'\\' : c;
    return path;
}

InstallerProcess::InstallerProcess(std::wstring program) : program_(std::move(program)) {}

InstallerProcess::~InstallerProcess() {
    if (Running()) {
        Terminate();
        ::WaitForSingleObject(process_.Get(), 5000);
    }
}

void InstallerProcess::Terminate() {
    if (process_) ::TerminateProcess(process_.Get(), 1);
}

HWND InstallerProcess::StartAndWaitForMainWindow() {
    return Start() ? WaitForMainWindow() : nullptr;
}

bool InstallerProcess::Start() {
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program_ + L"\"";
    if (!::CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        return false;
    }
    kv::win::KernelHandle thread(info.hThread);
    process_.Reset(info.hProcess);
    pid_ = info.dwProcessId;
    return true;
}

HWND InstallerProcess::WaitForMainWindow() {
    HWND window = nullptr;
    WaitUntil([&] {
        window = FindProcessWindow(pid_, kMainCaption);
        return window && ::IsWindowVisible(window);
    });
    return window;
}

HWND InstallerProcess::WaitForConfirmation() {
    HWND box = nullptr;
    WaitUntil([&] {
        box = FindProcessWindow(pid_, kConfirmationCaption, L"#32770");
        return box && ::IsWindowVisible(box);
    });
    return box;
}

HWND InstallerProcess::AskToClose(HWND main) {
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    return WaitForConfirmation();
}

bool InstallerProcess::WaitForExit(std::chrono::milliseconds timeout) {
    return process_ && ::WaitForSingleObject(process_.Get(), static_cast<DWORD>(timeout.count())) ==
                           WAIT_OBJECT_0;
}

bool InstallerProcess::Running() const {
    return process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

DWORD InstallerProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
}

}  // namespace kv::test
