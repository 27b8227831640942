#include "demo_record.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "win/handles.h"

namespace kv::demo {
namespace {

constexpr wchar_t kReturnMarkerName[] = L"a37f9de0-c0f3-4cd9-968a-4613a0a3e142.dat";

DWORD ParentProcessId() {
    win::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    }
    return 0;
}

struct WindowCount {
    DWORD process = 0;
    int windows = 0;
    int visible = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
    auto* count = reinterpret_cast<WindowCount*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == count->process) {
        ++count->windows;
        if (::IsWindowVisible(window)) ++count->visible;
    }
    return TRUE;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

std::wstring Environment(const wchar_t* name) {
    std::vector<wchar_t> value(32768);
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    return n > 0 && n < value.size() ? std::wstring(value.data(), n) : std::wstring();
}

}  // namespace

std::wstring Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    // The program's name is quoted or ends at the first blank.
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

int EditionOf(const std::wstring& arguments) {
    if (arguments == L"/glic 1") return 1;
    if (arguments == L"/glic 2") return 2;
    return 0;
}

std::wstring OwnPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

std::wstring InstallerVisible() {
    WindowCount count;
    count.process = ParentProcessId();
    if (count.process != 0) ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    if (count.windows == 0) return L"unknown";
    return count.visible > 0 ? L"1" : L"0";
}

void Record(const std::wstring& line) {
    const std::wstring path = Environment(L"KV_DEMO_SETUP_RECORD");
    if (path.empty()) return;
    win::FileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::string text = Utf8(line) + "\n";
    DWORD written = 0;
    ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool LeaveReturnMarker() {
    wchar_t temp[MAX_PATH + 1] = L"";
    if (::GetTempPathW(MAX_PATH, temp) == 0) return false;
    const std::wstring path = std::wstring(temp) + kReturnMarkerName;
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

}  // namespace kv::demo
