#pragma once
// The download page: a thin view of the download session (pages/download_session.h). It turns
// window messages (clicks, timers, the job's posts) into session events and applies the effects
// that the session returns to its controls and timers; each attempt runs as a download job
// (pages/download_job.h) on a thread of its own.
//
// The page's code is split by concern: download_page.cpp (the window: controls, messages,
// timers), download_workflow.cpp (events, effects and the job), download_page_view.cpp
// (painting and the slideshow), setup_launch.cpp (Install).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controls/adv_check_box.h"
#include "controls/announced_text.h"
#include "pages/download_job.h"
#include "pages/download_rules.h"
#include "pages/download_session.h"
#include "pages/installer_page.h"
#include "res/ids/download_page_ids.h"
#include "win/handles.h"
#include "win/taskbar_progress.h"

class CDownloadPage : public CInstallerPage {
  public:
    static constexpr UINT_PTR kSlideTimerId = 1005;
    static constexpr UINT kSlidePeriodMs = 3000;

    CDownloadPage();
    ~CDownloadPage() override;

    // Shows slide 1 to 3, or the next one for 0.
    void ShowSlide(int slide);
    // Decodes the shown slide's picture for the window's DPI ahead of its showing; the others
    // wait until first shown.
    void PrepareFirstSlide();
    void ApplyDpi() override;

    // The user chose an edition (1 trial, 0 paid): the first attempt starts a second later.
    void OnEditionChosen(unsigned char trial);
    // Before the main window rebuilds its pages, and before it closes: the running attempt ends
    // (its thread is waited for) and no setup file is left.
    void OnRestore();
    void OnClose();
    // Neither has the setup run for good nor was a transfer stopped: closing asks first.
    bool CloseNeedsQuestion() const { return m_session.CloseNeedsQuestion(); }
    // What the taskbar button should show of the download.
    TaskbarState Taskbar() const { return m_taskbar; }

    UINT_PTR m_uSlideTimer = 0;
    // The main window's taskbar button, or null; not owned.
    kv::win::TaskbarProgress* m_pTaskbar = nullptr;

  protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    // download_page.cpp: the window.
    bool OnClicked(int id);
    void OnTimer(UINT_PTR id);
    void SetStatus(std::wstring_view text);
    void SetBar(int percent);
    void ShowButton(int id, bool visible);

    // download_page_view.cpp: painting, layout and the slideshow.
    void OnPaint();
    void DrawSlideTexts(HDC dc);
    void MoveControlsToTheirPlaces();
    void OnLButtonDown(int x, int y);
    void OnDotClicked(int slide);
    void StopSlideshow();
    void GiveDotsTheirImages();
    void ScalePictures();
    // The slide's picture at the window's DPI, decoded at its first use.
    HBITMAP SlidePicture(int slide);
    void MakeControlsAccessible();
    // Draws the status line of a right-to-left language; false for any other item.
    bool DrawStatusLine(const DRAWITEMSTRUCT& item);
    void OnButtonShown(int id);
    LRESULT OnCtlColor(HDC dc, bool staticControl);

    // download_workflow.cpp: session events in, effects out, and the job.
    void Send(SessionEvent event);
    void Apply(const SessionEffects& effects);
    void ApplyTimer(const TimerChange& change);
    void ShowOnTaskbar();
    std::wstring StatusTextOf(const StatusText& status) const;
    void StartJob(unsigned attempt);
    void EndJob();
    void OnJobMessage(UINT message, unsigned attempt);
    void DeleteSetupFile();
    std::wstring GetTempFolder() const;

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
    DownloadSession m_session;
    // The running attempt, or the last one until the next starts; ended before the page is.
    std::unique_ptr<DownloadJob> m_job;
    // What the last failed attempt kept for the next one to resume from.
    PartialDownload m_partial;
    AuthenticodeStream m_partialDigest;
    std::wstring m_strSetupPath;
    // The complete file, held open with read-only sharing from its signature check until the
    // setup has started, so that nobody can replace it in between.
    kv::win::FileHandle m_hSetupFile;
    TaskbarState m_taskbar = TaskbarState::None;
    int m_nSlide = 1;
};

// The product's name, which the texts fill in and which is not translated.
std::wstring WidenProductName();
