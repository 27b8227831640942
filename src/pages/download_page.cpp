#include "pages/download_page.h"

#include <commctrl.h>
#include <windowsx.h>

#include "analytics/sender_google_analytics.h"
#include "i18n/texts.h"
#include "pages/registered_messages.h"
#include "service/service_hosts.h"
#include "win/png_picture.h"

std::wstring WidenProductName() {
    // Kept as narrow text and widened with the thread's code page, like the service's answers.
    const int length = static_cast<int>(sizeof(kProductName) - 1);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    const int written =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, kProductName, length, wide.data(), length);
    wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return wide;
}

CDownloadPage::CDownloadPage()
    : CInstallerPage(IDD_DOWNLOAD_PAGE), m_brushWhite(::CreateSolidBrush(RGB(255, 255, 255))) {
    g_uProgressMessage = ::RegisterWindowMessageW(kProgressMessageName);
    m_serverUrls.emplace_back(PrimaryServerUrl());
    m_serverUrls.emplace_back(SecondaryServerUrl());
}

CDownloadPage::~CDownloadPage() {
    // However the program ends, no job thread outlives the page, and no setup file that was
    // never installed outlives the program.
    EndJob();
    DeleteSetupFile();
}

void CDownloadPage::BindControls() {
    Bind(m_status, IDC_STATUS_LINE);
    Bind(m_btnRetry, IDC_RETRY_BUTTON);
    Bind(m_btnInstall, IDC_INSTALL_BUTTON);
    Bind(m_progress, IDC_PROGRESS_BAR);
    m_dot1.Attach(Item(IDC_SLIDE_DOT1));
    m_dot2.Attach(Item(IDC_SLIDE_DOT2));
    m_dot3.Attach(Item(IDC_SLIDE_DOT3));
}

BOOL CDownloadPage::OnInitDialog() {
    m_btnInstall.SetText(GetText(L"INSTALL"));
    m_btnRetry.SetText(GetText(L"TRY_AGAIN"));
    m_status.SetText(GetText(L"CHECKING_FOR_CONNECTION"));
    GiveDotsTheirImages();
    MakeControlsAccessible();
    m_btnRetry.Show(false);
    m_btnInstall.Show(false);
    SenderGoogleAnalytics().SendEvent(L"Downloader", L"Started", L"", L"");
    return TRUE;
}

bool CDownloadPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_TIMER:
            OnTimer(wParam);
            return false;  // the window's default processing follows every timer
        case WM_COMMAND:
            return HIWORD(wParam) == BN_CLICKED && OnClicked(LOWORD(wParam));
        case kJobEndedMessage:
        case kJobLocationFoundMessage:
            OnJobMessage(message, static_cast<unsigned>(wParam));
            return true;
        case WM_PAINT:
            OnPaint();
            return true;
        case WM_DRAWITEM:
            if (!CAdvCheckBox::HandleDrawItem(lParam) &&
                !DrawStatusLine(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
                return false;
            }
            result = TRUE;
            return true;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
            result = OnCtlColor(reinterpret_cast<HDC>(wParam), message == WM_CTLCOLORSTATIC);
            return true;
        case WM_LBUTTONDOWN:
            OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return false;  // the default processing follows
    }
    if (message == g_uProgressMessage && g_uProgressMessage != 0) {
        OnJobMessage(message, static_cast<unsigned>(wParam));
        return true;
    }
    return false;
}

bool CDownloadPage::OnClicked(int id) {
    switch (id) {
        case IDC_INSTALL_BUTTON:
            Send({SessionEvent::Kind::InstallClicked});
            return true;
        case IDC_RETRY_BUTTON:
            Send({SessionEvent::Kind::RetryClicked});
            return true;
        case IDC_SLIDE_DOT1:
        case IDC_SLIDE_DOT2:
        case IDC_SLIDE_DOT3:
            OnDotClicked(id - IDC_SLIDE_DOT1 + 1);
            return true;
    }
    return false;
}

void CDownloadPage::OnTimer(UINT_PTR id) {
    switch (id) {
        case kSlideTimerId:
            ShowSlide(0);
            break;
        case static_cast<UINT_PTR>(SessionTimer::Retry):
        case static_cast<UINT_PTR>(SessionTimer::Watchdog):
        case static_cast<UINT_PTR>(SessionTimer::TimeLeft):
        case static_cast<UINT_PTR>(SessionTimer::Start): {
            SessionEvent event{SessionEvent::Kind::TimerFired};
            event.timer = static_cast<SessionTimer>(id);
            Send(event);
            break;
        }
    }
}

void CDownloadPage::SetStatus(std::wstring_view text) {
    m_status.SetText(text);
}

void CDownloadPage::SetBar(int percent) {
    if (m_progress.Exists()) ::SendMessageW(m_progress.Hwnd(), PBM_SETPOS, percent, 0);
}

void CDownloadPage::ShowButton(int id, bool visible) {
    (id == IDC_INSTALL_BUTTON ? m_btnInstall : m_btnRetry).Show(visible);
    if (visible) OnButtonShown(id);
}
