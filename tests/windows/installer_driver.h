#pragma once
// Drives the installer from a separate test process: starts it, finds its windows by caption,
// class and control id, and waits for conditions instead of sleeping for fixed times.

#include <windows.h>

#include <chrono>
#include <string>

#include "wait_until.h"
#include "win/handles.h"

namespace kv::test {

inline constexpr wchar_t kMainCaption[] = L"Kestrova Pro Installer";
inline constexpr wchar_t kConfirmationCaption[] = L"KVProInstaller";

// The top-level window of process `pid` with this caption (and class, if given), or null.
HWND FindProcessWindow(DWORD pid, const wchar_t* caption, const wchar_t* className = nullptr);

// The text of a window, e.g. of a control found by id.
std::wstring WindowText(HWND window);

// Of the children of `parent`, the dialog (page) that holds a control with `controlId`.
HWND FindPageWithControl(HWND parent, int controlId);

void Broadcast(const wchar_t* registeredMessageName);

// Clicks a button of a message box, e.g. IDYES.
void Answer(HWND box, int button);
// A message box's text (its static control has the id 0xFFFF).
std::wstring BoxText(HWND box);

// Full path of a program built next to the tests (e.g. L"src/app/kvpro-installer.exe").
std::wstring BuiltProgram(const wchar_t* relativePath);

class InstallerProcess {
  public:
    // The loopback build by default: its usage events and queries stay on this machine.
    explicit InstallerProcess(
        std::wstring program = BuiltProgram(L"src/app/kvpro-installer-loopback.exe"));
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;
    // Ends a copy that the test left running, so that the next test starts clean.
    ~InstallerProcess();

    bool Start();
    // Starts the installer and waits for its main window; null when either fails.
    HWND StartAndWaitForMainWindow();
    // Ends the program at once, as the task manager would.
    void Terminate();
    // The main window, once it is visible.
    HWND WaitForMainWindow();
    bool WaitForExit(std::chrono::milliseconds timeout = kPatience);
    bool Running() const;
    DWORD ExitCode() const;
    DWORD Pid() const { return pid_; }

    // The close confirmation, once it is shown.
    HWND WaitForConfirmation();
    // Closes the main window as the close box does; returns the confirmation it asks.
    HWND AskToClose(HWND main);

  private:
    std::wstring program_;
    kv::win::KernelHandle process_;
    DWORD pid_ = 0;
};

}  // namespace kv::test
