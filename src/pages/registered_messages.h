#pragma once
// Registered window messages through which the main window, the download page and other
// processes talk to each other. The names are shared with other programs: never change them.
// Every one carries wParam 0 and lParam 0.

#include <windows.h>

inline constexpr wchar_t kAppMessageName[] = L"Kestrova KVProInstaller";
inline constexpr wchar_t kRestoreMainWndName[] = L"KVProInstallerRestoreMainWnd";
inline constexpr wchar_t kCloseMainWndName[] = L"KVProInstallerCloseMainWnd";
inline constexpr wchar_t kHideMainWndName[] = L"KVProInstallerHideMainWnd";
inline constexpr wchar_t kProgressMessageName[] = L"Fetchwing_87acb65f-a435-46b0-a3de-02b4c59caba7";

// Registered during static initialisation, before the program's entry code runs.
extern const UINT g_uRestoreMainWnd;  // rebuild the pages and show the edition choice again
extern const UINT g_uCloseMainWnd;    // close the main window
extern const UINT g_uHideMainWnd;     // hide the main window while the setup runs

// The download worker's progress report to the download page; registered by the page.
extern UINT g_uProgressMessage;

// Posts `message` to every top-level window of the desktop, this program's and others'.
inline void BroadcastMessage(UINT message) {
    ::PostMessageW(HWND_BROADCAST, message, 0, 0);
}
