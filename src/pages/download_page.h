#pragma once
// The download page: asks the download service where the setup file lies, downloads it with
// progress and retries, and offers to install it.

#include "pages/installer_page.h"
#include "res/ids/download_page_ids.h"

class CDownloadPage : public CInstallerPage {
  public:
    static constexpr UINT_PTR kSlideTimerId = 1005;
    static constexpr UINT kSlidePeriodMs = 3000;
    static constexpr UINT_PTR kStartTimerId = 1012;
    static constexpr UINT kStartDelayMs = 1000;

    CDownloadPage() : CInstallerPage(IDD_DOWNLOAD_PAGE) {}

    // Shows slide 1 to 3, or the next one for 0.
    void ShowSlide(int slide);
    // Stops the running attempt; `closing` when the main window is about to close.
    void Stop(bool closing);

    unsigned char m_bTrial = 1;
    bool m_bInstalled = false;
    bool m_bStopped = false;
    UINT_PTR m_uSlideTimer = 0;
    UINT_PTR m_uStartTimer = 0;

  protected:
    void BindControls() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    void StartDownload();

    kv::win::Control m_status;
    kv::win::Control m_btnRetry;
    kv::win::Control m_btnInstall;
    int m_nSlide = 1;
};
