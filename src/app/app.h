#pragma once
// The application object: prepares the process, lets only one copy run on the machine and
// shows the main window modally. The process ends when the main window closes.

#include <windows.h>

#include "win/handles.h"

class CMainWnd;

class CFetchwingApp {
  public:
    CFetchwingApp() = default;
    virtual ~CFetchwingApp() = default;

    // Always false: the program runs no message loop outside the modal main window.
    virtual bool InitInstance();

    CMainWnd* MainWindow() const { return m_pMainWnd; }

  private:
    // Held (and owned by the main thread) until the process ends; a later copy sees it.
    kv::win::KernelHandle m_hMutex;
    UINT m_uAppMessage = 0;
    CMainWnd* m_pMainWnd = nullptr;
};

inline constexpr wchar_t kSingleInstanceMutexName[] =
    L"Global\\{a634eb23-8009-4d83-9ce9-50402f386837}";
inline constexpr int kIdsSocketsInitFailed = 103;
