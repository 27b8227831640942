#include "app/main_wnd.h"

#include "pages/registered_messages.h"
#include "i18n/texts.h"
#include "pages/page_fonts.h"
#include "res/ids/main_wnd_ids.h"

namespace {

constexpr wchar_t kConfirmationCaption[] = L"KVProInstaller";

}  // namespace

CMainWnd::CMainWnd()
    : Dialog(IDD_MAIN_WINDOW),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON))) {
    // A right-to-left language mirrors every window of the process, the question included.
    if (TextsReadRightToLeft()) ::SetProcessDefaultLayout(LAYOUT_RTL);
}

BOOL CMainWnd::OnInitDialog() {
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    AddEmbeddedFonts(::GetModuleHandleW(nullptr));
    CreatePageFonts(Hwnd(), reinterpret_cast<HFONT>(::SendMessageW(Hwnd(), WM_GETFONT, 0, 0)),
                    AllTexts());

    m_taskbar.SetWindow(Hwnd());
    m_downloadPage.m_pTaskbar = &m_taskbar;
    CreatePages();
    m_editionPage.Show(SW_SHOW);
    ShowFocusCues();
    return TRUE;
}

void CMainWnd::CreatePages() {
    m_editionPage.Create(Hwnd());
    ::SetParent(m_editionPage.Hwnd(), Hwnd());
    m_downloadPage.Create(Hwnd());  // its template is not visible: it stays hidden
    ::SetParent(m_downloadPage.Hwnd(), Hwnd());
    GiveControlsAReadableFont(m_editionPage.Hwnd());
    GiveControlsAReadableFont(m_downloadPage.Hwnd());
}

void CMainWnd::ShowDownloadPage(unsigned char trial) {
    m_editionPage.Show(SW_HIDE);
    m_downloadPage.m_bTrial = trial;
    m_downloadPage.Show(SW_SHOW);
    m_downloadPage.StopTimer(CDownloadPage::kSlideTimerId);
    m_downloadPage.ShowSlide(1);
    m_downloadPage.m_uSlideTimer =
        m_downloadPage.StartTimer(CDownloadPage::kSlideTimerId, CDownloadPage::kSlidePeriodMs);
    m_downloadPage.m_uStartTimer =
        m_downloadPage.StartTimer(CDownloadPage::kStartTimerId, CDownloadPage::kStartDelayMs);
}

bool CMainWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_PAINT:
            if (!::IsIconic(Hwnd())) return false;
            PaintMinimised();
            return true;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_hIcon);
            return true;
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_COMMAND:
            // Escape (IDCANCEL) abandons the installation like the close box, with the same
            // question. Enter comes here as the command of the focused or default button, which
            // lies on a page: that button acts.
            if (LOWORD(wParam) == IDCANCEL) {
                ::SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
            } else if (HIWORD(wParam) == BN_CLICKED) {
                OnEnter(LOWORD(wParam));
            }
            return true;
    }
    if (message == kv::win::SystemTaskbarProgress::ButtonCreatedMessage() && message != 0) {
        m_taskbar.OnButtonCreated();
        return true;
    }
    if (message == kEditionChosenMessage) {
        ShowDownloadPage(static_cast<unsigned char>(wParam != 0));
        return true;
    }
    if (message == g_uRestoreMainWnd) {
        OnRestore();
        return true;
    }
    if (message == g_uCloseMainWnd) {
        ::SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
        return true;
    }
    if (message == g_uHideMainWnd) {
        Show(SW_HIDE);
        return true;
    }
    return false;
}

void CMainWnd::PaintMinimised() {
    kv::win::PaintDC dc(Hwnd());
    ::SendMessageW(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.Get(), x, y, m_hIcon);
}

void CMainWnd::OnRestore() {
    m_editionPage.DestroyWindow();
    m_downloadPage.DestroyWindow();
    CreatePages();
    m_editionPage.Show(SW_SHOW);
    ::UpdateWindow(m_editionPage.Hwnd());
    ::UpdateWindow(Hwnd());
    Show(SW_SHOWNORMAL);
    ShowFocusCues();
}

// The dialog manager hands Enter to this window; the button it means is on the shown page: the
// focused one if it has that id, else the page's visible button of that id (Install is IDOK).
void CMainWnd::OnEnter(int id) {
    HWND target = ::GetFocus();
    if (!target || !::IsChild(Hwnd(), target) || ::GetDlgCtrlID(target) != id) {
        const HWND page =
            ::IsWindowVisible(m_downloadPage.Hwnd()) ? m_downloadPage.Hwnd() : m_editionPage.Hwnd();
        target = ::GetDlgItem(page, id);
    }
    if (target && ::IsWindowVisible(target) && ::IsWindowEnabled(target)) {
        ::SendMessageW(target, BM_CLICK, 0, 0);
    }
}

// The focus rectangle stays visible from the start, not only after the first key press.
void CMainWnd::ShowFocusCues() {
    ::SendMessageW(Hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void CMainWnd::OnClose() {
    if (!m_downloadPage.m_bInstalled && !m_downloadPage.m_bStopped) {
        const std::wstring question(GetText(L"INSTALL_NOT_COMPLETED"));
        const UINT reading = TextsReadRightToLeft() ? MB_RTLREADING | MB_RIGHT : 0;
        if (::MessageBoxW(Hwnd(), question.c_str(), kConfirmationCaption,
                          MB_YESNO | MB_ICONERROR | reading) == IDNO) {
            return;
        }
        m_downloadPage.Stop(true);
    }
    EndDialog(IDCANCEL);
}
