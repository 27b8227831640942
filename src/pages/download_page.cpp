#include "pages/download_page.h"

#include "i18n/texts.h"

void CDownloadPage::BindControls() {
    Bind(m_status, IDC_STATUS_LINE);
    Bind(m_btnRetry, IDC_RETRY_BUTTON);
    Bind(m_btnInstall, IDC_INSTALL_BUTTON);
}

BOOL CDownloadPage::OnInitDialog() {
    m_btnInstall.SetText(GetText(L"INSTALL"));
    m_btnRetry.SetText(GetText(L"TRY_AGAIN"));
    m_status.SetText(GetText(L"CHECKING_FOR_CONNECTION"));
    m_btnRetry.Show(false);
    m_btnInstall.Show(false);
    return TRUE;
}

bool CDownloadPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (message == WM_TIMER) {
        if (wParam == kSlideTimerId) ShowSlide(0);
        if (wParam == kStartTimerId) {
            StopTimer(kStartTimerId);
            StartDownload();
        }
        return false;  // the window's default processing follows every timer
    }
    return false;
}

void CDownloadPage::ShowSlide(int slide) {
    m_nSlide = slide != 0 ? slide : (m_nSlide % 3) + 1;
    if (HasWindow()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CDownloadPage::StartDownload() {
    m_status.SetText(GetText(L"DOWNLOADING_SETUP"));
}

void CDownloadPage::Stop(bool closing) {
    m_bStopped = closing;
}
