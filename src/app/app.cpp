#include "app/app.h"

#include <winsock.h>
#include <commctrl.h>

#include "analytics/hit_queue.h"
#include "app/main_wnd.h"
#include "net/background_threads.h"
#include "pages/edition_pictures.h"
#include "pages/registered_messages.h"
#include "win/png_picture.h"

namespace {

// Windows Sockets 1.1 for the life of the program; nothing but version 1.1 is accepted.
class WinsockSession {
  public:
    WinsockSession() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
        ok_ = started_ && data.wVersion == MAKEWORD(1, 1);
    }
    ~WinsockSession() {
        if (started_) ::WSACleanup();
    }
    bool Ok() const { return ok_; }

  private:
    bool started_ = false;
    bool ok_ = false;
};

// Libraries are looked for in the system folder only: the program usually runs from Downloads,
// where a library under a system library's name may have been left. Every library that is not
// one Windows always takes from the system folder is delay-loaded, so none is loaded before this.
void RestrictLibrarySearch() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    // Looked up by name: systems without it still run, with the current folder at least removed.
    const auto setDefaultDirectories =
        reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDirectories) setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");
}

void ShowSocketsError() {
    wchar_t text[256] = L"";
    ::LoadStringW(::GetModuleHandleW(nullptr), kIdsSocketsInitFailed, text, 256);
    ::MessageBoxW(nullptr, text, nullptr, MB_OK);
}

}  // namespace

bool CFetchwingApp::InitInstance() {
    WinsockSession sockets;
    if (!sockets.Ok()) {
        ShowSocketsError();
        return false;
    }

    m_uAppMessage = ::RegisterWindowMessageW(kAppMessageName);
    m_hMutex.Reset(::CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        BroadcastMessage(m_uAppMessage);
        return false;
    }

    // Visual styles come from the manifest (common controls 6); nothing else to set up here.
    CMainWnd mainWindow;
    m_pMainWnd = &mainWindow;
    mainWindow.DoModal();
    m_pMainWnd = nullptr;
    return false;
}

CFetchwingApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictLibrarySearch();
    // Before the pictures' thread starts: loading libraries is done one at a time, and the
    // window needs these first.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The pages load their pictures when they are built; GDI+ outlives every page. It is started
    // by the first picture that needs it, if any: at 96 and 192 DPI the program decodes all of
    // them itself, and GDI+ first scales the slides' dots, after the window shows.
    kv::win::GdiplusSession gdiplus{kv::win::GdiplusSession::Deferred{}};
    EditionPicturesInAdvance editionPictures;
    theApp.InitInstance();
    kv::analytics::StopUsageEvents(2000);  // no usage-event request outlives the program's end
    net::JoinTrackedThreads(3000);  // transfers left inside WinHTTP end within their time-outs
    return 0;
}
