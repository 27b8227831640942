#pragma once
// Drives the loopback installer through a download against the reference service: serves a
// demo setup, chooses an edition, and reads what the user sees on the download page.

#include <windows.h>

#include <string>
#include <vector>

#include "installer_driver.h"

namespace kv::test {

inline constexpr wchar_t kDownloading[] = L"Downloading the setup files...";
inline constexpr wchar_t kReady[] = L"Setup files are ready. Click Install to continue.";
inline constexpr wchar_t kRetrying[] = L"Download failed. Retrying... ";
inline constexpr wchar_t kCantDownload[] = L"Kestrova Pro Downloader can't download";

class DownloadRun {
  public:
    // Starts from a clean temporary folder and service; `variant` names the demo setup served
    // for both editions ("quiet", "return", "broadcast").
    explicit DownloadRun(
        const wchar_t* variant = L"quiet",
        std::wstring program = BuiltProgram(L"src/app/kvpro-installer-loopback.exe"));
    ~DownloadRun();

    bool Start();
    // Clicks an edition on the edition choice page.
    void Choose(bool trial);
    void Click(int controlId);
    // One tick of the retry countdown's timer, as the timer itself would give it a second later.
    void HurryCountdown() const;

    std::wstring Status() const;
    int Bar() const;
    bool Visible(int controlId) const;
    // The slideshow dot that is on (1 to 3), or 0 when none is.
    int CheckedDot() const;
    bool WaitForStatus(const std::wstring& start,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

    // KVProInstaller*.exe in the temporary folder.
    std::vector<std::wstring> SetupFiles() const;
    // What the demo setups recorded, one line per event.
    std::vector<std::string> Record() const;

    InstallerProcess& Installer() { return installer_; }
    HWND Main() const { return main_; }
    HWND EditionPage() const;
    HWND DownloadPage() const;

  private:
    InstallerProcess installer_;
    HWND main_ = nullptr;
    std::wstring record_;
};

std::wstring TempFolder();
std::wstring ReturnMarker();

}  // namespace kv::test
