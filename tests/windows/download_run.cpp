#include "download_run.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "pages/download_session.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"
#include "service_client.h"
#include "test_files.h"
#include "win/handles.h"

namespace kv::test {

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::wstring ReturnMarker() {
    return TempFolder() + L"a37f9de0-c0f3-4cd9-968a-4613a0a3e142.dat";
}

namespace {

// The tests' displays have no window manager, and Wine's X11 driver waits two seconds for one to
// confirm each hidden window of a managed program: a closing installer would linger for four.
// For these tests the installer's windows are Wine's own (unmanaged); other tests keep the
// default.
class UnmanagedInstallerWindows : public ::testing::Environment {
  public:
    void SetUp() override {
        kv::win::RegistryKey key;
        HKEY created = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &created, nullptr) != ERROR_SUCCESS) {
            return;
        }
        key.Reset(created);
        static constexpr wchar_t kNo[] = L"N";
        ::RegSetValueExW(key.Get(), L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNo),
                         sizeof kNo);
    }
    void TearDown() override {
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kProgramKey);  // only when nothing else is left in it
    }

  private:
    static constexpr wchar_t kProgramKey[] =
        L"Software\\Wine\\AppDefaults\\kvpro-installer-loopback.exe";
    static constexpr wchar_t kKey[] =
        L"Software\\Wine\\AppDefaults\\kvpro-installer-loopback.exe\\X11 Driver";
};

[[maybe_unused]] const ::testing::Environment* const kUnmanaged =
    ::testing::AddGlobalTestEnvironment(new UnmanagedInstallerWindows);

void ServeDemoSetup(const wchar_t* variant) {
    std::wstring source = BuiltProgram(L"tools/demo-setup/kvpro-demo-setup-");
    source += variant;
    source += L".exe";
    const std::wstring files = service_client::ServiceFolder() + L"\\files\\";
    ::CopyFileW(source.c_str(), (files + L"kvpro-trial-setup.exe").c_str(), FALSE);
    ::CopyFileW(source.c_str(), (files + L"kvpro-setup.exe").c_str(), FALSE);
}

}  // namespace

DownloadRun::DownloadRun(const wchar_t* variant, std::wstring program)
    : installer_(std::move(program)) {
    service_client::ResetFaults();
    service_client::Control(L"port=both&scope=files&reset=1");
    service_client::Control(L"port=both&scope=query&reset=1");
    service_client::Control(L"port=both&answer=");
    for (const std::wstring& file : SetupFiles()) ::DeleteFileW(file.c_str());
    ::DeleteFileW(ReturnMarker().c_str());
    ServeDemoSetup(variant);
    record_ =
        TempFolder() + L"kv-demo-record-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ::DeleteFileW(record_.c_str());
    // The installer inherits it, and the setup it starts inherits it from the installer.
    ::SetEnvironmentVariableW(L"KV_DEMO_SETUP_RECORD", record_.c_str());
}

DownloadRun::~DownloadRun() {
    if (installer_.Running()) {
        installer_.Terminate();
        installer_.WaitForExit();
    }
    for (const std::wstring& file : SetupFiles()) ::DeleteFileW(file.c_str());
    ::DeleteFileW(ReturnMarker().c_str());
    ::DeleteFileW(record_.c_str());
}

bool DownloadRun::Start() {
    main_ = installer_.StartAndWaitForMainWindow();
    return main_ && WaitUntil([&] { return EditionPage() && DownloadPage(); });
}

HWND DownloadRun::EditionPage() const {
    return FindPageWithControl(main_, IDC_TRIAL_BUTTON);
}

HWND DownloadRun::DownloadPage() const {
    return FindPageWithControl(main_, IDC_STATUS_LINE);
}

void DownloadRun::Choose(bool trial) {
    const int id = trial ? IDC_TRIAL_BUTTON : IDC_PAID_BUTTON;
    HWND page = EditionPage();
    ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(page, id)));
}

void DownloadRun::Click(int controlId) {
    HWND page = DownloadPage();
    ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(page, controlId)));
}

void DownloadRun::HurryCountdown() const {
    ::PostMessageW(DownloadPage(), WM_TIMER, static_cast<WPARAM>(SessionTimer::Retry), 0);
}

std::wstring DownloadRun::Status() const {
    return WindowText(::GetDlgItem(DownloadPage(), IDC_STATUS_LINE));
}

int DownloadRun::Bar() const {
    return static_cast<int>(
        ::SendMessageW(::GetDlgItem(DownloadPage(), IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

bool DownloadRun::Visible(int controlId) const {
    return ::IsWindowVisible(::GetDlgItem(DownloadPage(), controlId)) != FALSE;
}

int DownloadRun::CheckedDot() const {
    const HWND page = DownloadPage();
    for (int dot = 1; dot <= 3; ++dot) {
        HWND control = ::GetDlgItem(page, IDC_SLIDE_DOT1 + dot - 1);
        if (::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) return dot;
    }
    return 0;
}

bool DownloadRun::WaitForStatus(const std::wstring& start,
                                std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Status().rfind(start, 0) == 0; }, timeout);
}

std::vector<std::wstring> DownloadRun::SetupFiles() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW entry;
    const std::wstring folder = TempFolder();
    HANDLE search = ::FindFirstFileW((folder + L"KVProInstaller*.exe").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        files.push_back(folder + entry.cFileName);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return files;
}

std::vector<std::string> DownloadRun::Record() const {
    std::vector<std::string> lines;
    const std::string text = test_files::Contents(record_);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace kv::test
