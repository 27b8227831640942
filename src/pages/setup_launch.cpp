// Install: starts the downloaded setup with the edition's option, waits for it, and then either
// brings the edition choice back (the setup left its return marker) or ends the program.

#include <windows.h>
#include <shellapi.h>

#include "analytics/sender_google_analytics.h"
#include "pages/download_page.h"
#include "pages/registered_messages.h"

namespace {

// Starts the file; the process handle, or none when nothing started.
kv::win::KernelHandle StartSetup(const std::wstring& path, const std::wstring& parameters) {
    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS;
    launch.lpVerb = L"open";
    launch.lpFile = path.c_str();
    launch.lpParameters = parameters.c_str();
    launch.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&launch)) return {};
    return kv::win::KernelHandle(launch.hProcess);
}

// Waits for the process to end. Messages sent to this thread's windows are answered meanwhile:
// a setup that broadcasts with SendMessage (as installers do after changing the environment)
// would otherwise hang, and this program with it. Posted messages and input wait.
void WaitAnsweringSentMessages(HANDLE process) {
    for (;;) {
        const DWORD woke =
            ::MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1) return;  // ended, or the wait itself failed
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// True when the marker was there and readable; it is then deleted.
bool TakeReturnMarker(const std::wstring& path) {
    kv::win::FileHandle marker(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker) return false;
    marker.Reset();
    ::DeleteFileW(path.c_str());
    return true;
}

}  // namespace

void CDownloadPage::Install() {
    // Checked again on the handle held since the first check: what starts is what was signed.
    if (!IsSetupFileSigned(m_hSetupFile.Get())) return Send({SessionEvent::Kind::InstallRefused});
    SenderGoogleAnalytics().SendEvent(L"Downloader", L"Finished", L"", L"");
    const std::wstring parameters = SetupParameters(m_session.Trial());
    ::SendMessageW(::GetParent(Hwnd()), g_uHideMainWnd, 0, 0);
    if (kv::win::KernelHandle setup = StartSetup(m_strSetupPath, parameters)) {
        WaitAnsweringSentMessages(setup.Get());
    }
    SessionEvent ended{SessionEvent::Kind::SetupEnded};
    ended.returned = TakeReturnMarker(GetReturnMarkerPath());
    Send(ended);  // deletes the file
    BroadcastMessage(ended.returned ? g_uRestoreMainWnd : g_uCloseMainWnd);
    EndDialog(IDOK);
}

std::wstring CDownloadPage::GetReturnMarkerPath() const {
    return ReturnMarkerPath(GetTempFolder());
}
