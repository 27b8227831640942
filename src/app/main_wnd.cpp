#include "app/main_wnd.h"

#include <algorithm>

#include "pages/registered_messages.h"
#include "i18n/texts.h"
#include "pages/page_fonts.h"
#include "pages/page_geometry.h"
#include "win/dpi.h"
#include "win/png_picture.h"
#include "res/ids/main_wnd_ids.h"

namespace {

constexpr wchar_t kConfirmationCaption[] = L"KVProInstaller";

}  // namespace

CMainWnd::CMainWnd()
    : Dialog(IDD_MAIN_WINDOW),
      m_icon(kv::win::LoadIconResource(::GetModuleHandleW(nullptr), IDI_APPLICATION_ICON,
                                       ::GetSystemMetrics(SM_CXICON))) {
    // A right-to-left language mirrors every window of the process, the question included.
    if (TextsReadRightToLeft()) ::SetProcessDefaultLayout(LAYOUT_RTL);
}

BOOL CMainWnd::OnInitDialog() {
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.Get()));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.Get()));

    AddEmbeddedFonts(::GetModuleHandleW(nullptr));
    CreatePageFonts();
    GrowToHoldTheLayout();
    m_taskbar.SetWindow(Hwnd());
    m_downloadPage.m_pTaskbar = &m_taskbar;
    CreateEditionPage();
    FitPagesToClient();
    GiveControlsAReadableFont(m_editionPage.Hwnd());
    m_editionPage.Show(SW_SHOW);
    ShowFocusCues();
    // The download page is not needed before an edition is chosen: it is built, and reports the
    // start, once the window shows the edition page. A timer comes only when nothing is left to
    // paint, so the first page is on the screen by then.
    StartTimer(kDownloadPageTimerId, 0);
    return TRUE;
}

// At the window's DPI: made again when the window moves to a screen of another DPI.
void CMainWnd::CreatePageFonts() {
    ::CreatePageFonts(kv::win::WindowDpi(Hwnd()),
                      reinterpret_cast<HFONT>(::SendMessageW(Hwnd(), WM_GETFONT, 0, 0)),
                      AllTexts());
}

// The system suggests a rectangle that keeps the window's place and scales its size; the pages
// follow with fonts, pictures and layout of the new DPI.
void CMainWnd::OnDpiChanged(const RECT& suggested) {
    ::SetWindowPos(Hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    CreatePageFonts();
    GrowToHoldTheLayout();
    FitPagesToClient();
    m_editionPage.ApplyDpi();
    m_downloadPage.ApplyDpi();
}

// The template's dialog units give the window its size; a page smaller than the layout at the
// window's DPI would cut off its buttons, so the window grows (never shrinks) to hold it.
void CMainWnd::GrowToHoldTheLayout() {
    const kv::pages::PixelSize needed =
        kv::pages::Scaled(kv::pages::kPageMinimumSize, kv::win::WindowDpi(Hwnd()));
    RECT client{};
    RECT frame{};
    ::GetClientRect(Hwnd(), &client);
    ::GetWindowRect(Hwnd(), &frame);
    const int growWidth = std::max(0, needed.width - static_cast<int>(client.right));
    const int growHeight = std::max(0, needed.height - static_cast<int>(client.bottom));
    if (growWidth == 0 && growHeight == 0) return;
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left + growWidth,
                   frame.bottom - frame.top + growHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Each page covers the main window's client area.
void CMainWnd::FitPagesToClient() {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    for (const kv::win::Dialog* page : {static_cast<const kv::win::Dialog*>(&m_editionPage),
                                        static_cast<const kv::win::Dialog*>(&m_downloadPage)}) {
        if (!page->HasWindow()) continue;
        ::SetWindowPos(page->Hwnd(), nullptr, 0, 0, client.right, client.bottom,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CMainWnd::CreateEditionPage() {
    m_editionPage.Create(Hwnd());
    ::SetParent(m_editionPage.Hwnd(), Hwnd());
}

void CMainWnd::EnsureDownloadPage() {
    StopTimer(kDownloadPageTimerId);
    if (m_downloadPage.HasWindow()) return;
    m_downloadPage.Create(Hwnd());  // its template is not visible: it stays hidden
    ::SetParent(m_downloadPage.Hwnd(), Hwnd());
    FitPagesToClient();
    GiveControlsAReadableFont(m_downloadPage.Hwnd());
    // Its first slide is needed as soon as it shows; the others are decoded when first shown.
    m_downloadPage.PrepareFirstSlide();
}

void CMainWnd::ShowDownloadPage(unsigned char trial) {
    EnsureDownloadPage();
    m_editionPage.Show(SW_HIDE);
    m_downloadPage.Show(SW_SHOW);
    FocusFirstControlOf(m_downloadPage.Hwnd());
    m_downloadPage.StopTimer(CDownloadPage::kSlideTimerId);
    m_downloadPage.ShowSlide(1);
    m_downloadPage.m_uSlideTimer =
        m_downloadPage.StartTimer(CDownloadPage::kSlideTimerId, CDownloadPage::kSlidePeriodMs);
    m_downloadPage.OnEditionChosen(trial);
}

bool CMainWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_PAINT:
            if (!::IsIconic(Hwnd())) return false;
            PaintMinimised();
            return true;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_icon.Get());
            return true;
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_TIMER:
            if (wParam != kDownloadPageTimerId) return false;
            EnsureDownloadPage();
            return true;
        case WM_DPICHANGED:
            if (lParam) OnDpiChanged(*reinterpret_cast<const RECT*>(lParam));
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
    ::DrawIcon(dc.Get(), x, y, m_icon.Get());
}

void CMainWnd::OnRestore() {
    // The running attempt ends first: a job of the old page must not go on beside the next one.
    m_downloadPage.OnRestore();
    m_editionPage.DestroyWindow();
    m_downloadPage.DestroyWindow();
    CreateEditionPage();
    EnsureDownloadPage();
    m_editionPage.Show(SW_SHOW);
    ::UpdateWindow(m_editionPage.Hwnd());
    ::UpdateWindow(Hwnd());
    Show(SW_SHOWNORMAL);
    FocusFirstControlOf(m_editionPage.Hwnd());
    ShowFocusCues();
}

// The dialog manager hands Enter to this window; the button it means is on the shown page: the
// focused push button (which the dialog manager names IDOK until it has been made the default
// one, as at the start), else the page's visible button of that id (Install is IDOK).
void CMainWnd::OnEnter(int id) {
    HWND target = ::GetFocus();
    const bool focusedPushButton =
        target && ::IsChild(Hwnd(), target) &&
        (::SendMessageW(target, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
    if (!focusedPushButton) {
        const HWND page =
            ::IsWindowVisible(m_downloadPage.Hwnd()) ? m_downloadPage.Hwnd() : m_editionPage.Hwnd();
        target = ::GetDlgItem(page, id);
    }
    if (target && ::IsWindowVisible(target) && ::IsWindowEnabled(target)) {
        ::SendMessageW(target, BM_CLICK, 0, 0);
    }
}

// The keyboard focus goes to the shown page's first control, or to this window when the page has
// none that takes it. Hiding a page leaves the focus on its control, and keys typed into a hidden
// control would reach nobody: a character even sends the dialog manager's search for a mnemonic
// round the hidden page for ever.
void CMainWnd::FocusFirstControlOf(HWND page) {
    const HWND first = ::GetNextDlgTabItem(page, nullptr, FALSE);
    if (first && ::IsChild(page, first) && ::IsWindowVisible(first)) {
        ::SendMessageW(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    } else {
        ::SetFocus(Hwnd());
    }
}

// The focus rectangle stays visible from the start, not only after the first key press.
void CMainWnd::ShowFocusCues() {
    ::SendMessageW(Hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void CMainWnd::OnClose() {
    EnsureDownloadPage();  // a window closed at once has still reported its start
    if (m_downloadPage.CloseNeedsQuestion()) {
        const std::wstring question(GetText(L"INSTALL_NOT_COMPLETED"));
        const UINT reading = TextsReadRightToLeft() ? MB_RTLREADING | MB_RIGHT : 0;
        if (::MessageBoxW(Hwnd(), question.c_str(), kConfirmationCaption,
                          MB_YESNO | MB_ICONERROR | reading) == IDNO) {
            return;
        }
    }
    m_downloadPage.OnClose();  // with or without the question: nothing is left running
    EndDialog(IDCANCEL);
}
