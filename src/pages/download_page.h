#pragma once
// The download page: asks the download service where the setup file lies, downloads it on a
// worker thread with a progress bar, the time left and a stall watchdog, retries failed attempts
// after a visible countdown, and installs the file when the user asks.
//
// The page's code is split by concern: download_page.cpp (the window: controls, messages,
// timers), download_workflow.cpp (attempts, the worker, retries), setup_launch.cpp (Install).

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controls/adv_check_box.h"
#include "controls/announced_text.h"
#include "net/installer_downloader.h"
#include "pages/download_rules.h"
#include "pages/installer_page.h"
#include "pages/time_left_estimator.h"
#include "res/ids/download_page_ids.h"
#include "win/handles.h"
#include "win/taskbar_progress.h"

class CDownloadPage : public CInstallerPage {
  public:
    static constexpr UINT_PTR kRetryTimerId = 1002;
    static constexpr UINT kRetryPeriodMs = 1000;
    static constexpr UINT_PTR kWatchdogTimerId = 1003;
    static constexpr UINT kWatchdogPeriodMs = 10000;
    static constexpr UINT_PTR kSlideTimerId = 1005;
    static constexpr UINT kSlidePeriodMs = 3000;
    static constexpr UINT_PTR kStartTimerId = 1012;
    static constexpr UINT kStartDelayMs = 1000;

    CDownloadPage();
    ~CDownloadPage() override;

    // Shows slide 1 to 3, or the next one for 0.
    void ShowSlide(int slide);
    // Stops the running attempt; `closing` when the main window is about to close.
    void Stop(bool closing);

    unsigned char m_bTrial = 1;  // 1 trial edition, 0 paid edition
    bool m_bInstalled = false;   // the setup ran and did not ask to come back
    bool m_bStopped = false;     // a stop happened: closing needs no confirmation
    UINT_PTR m_uSlideTimer = 0;
    UINT_PTR m_uStartTimer = 0;
    // The main window's taskbar button, or null; not owned.
    kv::win::TaskbarProgress* m_pTaskbar = nullptr;

  protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    // Posted by the worker when its transfer has ended: wParam the attempt, lParam 1 on success.
    static constexpr UINT kDownloadDoneMessage = WM_APP + 2;

    enum class Phase { Waiting, Transferring, Ready, Countdown, Failed };

    // What one worker needs, handed over by value: it shares no strings with the page.
    struct DownloadJob {
        std::wstring url;
        std::wstring path;
        unsigned attempt;
    };

    // download_page.cpp: the window.
    bool OnClicked(int id);
    void OnTimer(UINT_PTR id);
    void SetStatus(std::wstring_view text);
    void SetBar(int percent);
    void ShowButton(int id, bool visible);
    void UpdateTimeLeft();
    void StartAttemptTimers();
    void StopAttemptTimers();

    // download_page_view.cpp: painting, layout and the slideshow.
    void OnPaint();
    void DrawSlideTexts(HDC dc);
    void MoveControlsToTheirPlaces();
    void OnLButtonDown(int x, int y);
    void OnDotClicked(int slide);
    void StopSlideshow();
    void GiveDotsTheirImages();
    void MakeControlsAccessible();
    void OnButtonShown(int id);
    LRESULT OnCtlColor(HDC dc, bool staticControl);

    // download_workflow.cpp: attempts, the worker and retries.
    void StartDownload();
    std::wstring QuerySetupLocation() const;
    bool StartWorker(DownloadJob job);
    static DWORD WINAPI WorkerEntry(void* job);
    void DownloadThreadProc(const DownloadJob& job);                          // worker thread
    static void OnDownloadProgress(int64_t announcedLength, int64_t stored);  // worker thread
    LRESULT OnProgressMessage();
    void OnDownloadDone(unsigned attempt, bool ok);
    void OnDownloadFailed();
    void OnRetry();
    void OnRetryTick();
    void CancelAndWaitForWorker();
    void DeleteSetupFile();
    bool HoldSignedSetupFile(const std::wstring& path);  // worker thread
    std::wstring GetTempFolder() const;
    std::wstring MakeUniquePath(const std::wstring& fullPath) const;

    // setup_launch.cpp: starts the setup and decides what comes after it.
    void Install();
    std::wstring GetReturnMarkerPath() const;

    kv::win::Control m_status;
    kv::win::Control m_btnRetry;
    kv::win::Control m_btnInstall;
    kv::win::Control m_progress;
    CAdvCheckBox m_dot1;
    CAdvCheckBox m_dot2;
    CAdvCheckBox m_dot3;
    AnnouncedText m_statusAnnouncer;  // screen readers hear every new status
    kv::win::Bitmap m_imgSlide1;
    kv::win::Bitmap m_imgSlide3;
    kv::win::Bitmap m_imgSlide2;
    std::wstring m_strSlideTitle;
    std::wstring m_strSlideSubtitle;
    std::wstring m_strSlideText;
    kv::win::Brush m_brushWhite;

    std::vector<std::wstring> m_serverUrls;
    CInstallerDownloader m_downloader;
    kv::win::KernelHandle m_hWorker;
    std::wstring m_strSetupUrl;
    std::wstring m_strSetupPath;  // UI thread only; the worker gets its own copy
    // The complete file, held open with read-only sharing from its signature check until the
    // setup has started, so that nobody can replace it in between.
    kv::win::FileHandle m_hSetupFile;
    bool m_bDownloadOk = false;
    Phase m_phase = Phase::Waiting;
    RetryCountdown m_retries;
    std::unique_ptr<TimeLeftEstimator> m_pEstimator;
    UINT_PTR m_uRetryTimer = 0;
    UINT_PTR m_uWatchdogTimer = 0;
    int m_nSlide = 1;

    // Numbers the attempts, so that the completion of an abandoned one is recognised and dropped.
    unsigned m_nAttempt = 0;

    // Shared with the worker.
    std::atomic<bool> m_bDownloading{false};  // the worker is inside the transfer
    std::atomic<bool> m_bCancel{false};       // stop mark: the worker must not start its transfer
    std::atomic<HWND> m_hNotifyWindow{nullptr};
    std::atomic<int> m_nTransferPercent{0};
    // A progress message is on its way: the worker posts the next one only after it was handled,
    // so a fast transfer cannot flood the queue ahead of the user's input.
    std::atomic<bool> m_bProgressPending{false};
};

// True when the file, read through this handle, carries the signature of one of the maker's
// accepted certificates.
bool IsSetupFileSigned(HANDLE file);

// The product's name, which the texts fill in and which is not translated.
std::wstring WidenProductName();

// The one download page of the process: the downloader's progress function carries no context.
extern CDownloadPage* g_pDownloadPage;
