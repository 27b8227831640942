#include "app/main_wnd.h"

#include <algorithm>

#include "pages/registered_messages.h"
#include "i18n/texts.h"
#include "pages/page_fonts.h"
#include "pages/page_geometry.h"
#include "win/dpi.h"
#include "res/ids/main_wnd_ids.h"

namespace {

constexpr int kRegularFontId = 183;
constexpr int kBoldFontId = 184;
constexpr wchar_t kConfirmationCaption[] = L"KVProInstaller";

// Font files added to the process's private font table, each once, removed at process exit.
class PrivateFonts {
  public:
    void AddFromResource(int id) {
        if (added_[id - kRegularFontId]) return;
        HMODULE module = ::GetModuleHandleW(nullptr);
        HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"BINARY");
        HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
        void* bytes = loaded ? ::LockResource(loaded) : nullptr;
        if (!bytes) return;  // missing: the face is then taken from whatever the system has
        DWORD count = 0;
        added_[id - kRegularFontId] = kv::win::MemoryFont(
            ::AddFontMemResourceEx(bytes, ::SizeofResource(module, found), nullptr, &count));
    }

  private:
    kv::win::MemoryFont added_[2];
};

PrivateFonts g_privateFonts;

kv::win::Font CreatePageFont(const wchar_t* face, int resourceId, int points, int dpi) {
    g_privateFonts.AddFromResource(resourceId);
    LOGFONTW font{};
    font.lfHeight = -kv::pages::FontPixelHeight(points, dpi);
    font.lfWeight = FW_NORMAL;  // the boldness comes from the face "Roboto Bold"
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfQuality = CLEARTYPE_NATURAL_QUALITY;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return kv::win::Font(::CreateFontIndirectW(&font));
}

}  // namespace

CMainWnd::CMainWnd()
    : Dialog(IDD_MAIN_WINDOW),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON))) {}

BOOL CMainWnd::OnInitDialog() {
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    CreatePageFonts();
    GrowToHoldTheLayout();
    CreateEditionPage();
    FitPagesToClient();
    m_editionPage.Show(SW_SHOW);
    // The download page is not needed before an edition is chosen: it is built, and reports the
    // start, once the window shows the edition page. A timer comes only when nothing is left to
    // paint, so the first page is on the screen by then.
    StartTimer(kDownloadPageTimerId, 0);
    return TRUE;
}

// At the window's DPI: made again when the window moves to a screen of another DPI.
void CMainWnd::CreatePageFonts() {
    const int dpi = kv::win::WindowDpi(Hwnd());
    g_titleFont = CreatePageFont(L"Roboto Bold", kBoldFontId, kTitleFontPoints, dpi);
    g_subtitleFont = CreatePageFont(L"Roboto Bold", kBoldFontId, kSubtitleFontPoints, dpi);
    g_textFont = CreatePageFont(L"Roboto Regular", kRegularFontId, kTextFontPoints, dpi);
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
    // Its first slide is needed as soon as it shows; the others are decoded when first shown.
    m_downloadPage.PrepareFirstSlide();
}

void CMainWnd::ShowDownloadPage(unsigned char trial) {
    EnsureDownloadPage();
    m_editionPage.Show(SW_HIDE);
    m_downloadPage.Show(SW_SHOW);
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
            result = reinterpret_cast<LRESULT>(m_hIcon);
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
            // question; Enter (IDOK) on the frame has nothing to confirm.
            if (LOWORD(wParam) == IDCANCEL) ::SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
            return LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK;
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
}

void CMainWnd::OnClose() {
    EnsureDownloadPage();  // a window closed at once has still reported its start
    if (m_downloadPage.CloseNeedsQuestion()) {
        const std::wstring question(GetText(L"INSTALL_NOT_COMPLETED"));
        if (::MessageBoxW(Hwnd(), question.c_str(), kConfirmationCaption,
                          MB_YESNO | MB_ICONERROR) == IDNO) {
            return;
        }
    }
    m_downloadPage.OnClose();  // with or without the question: nothing is left running
    EndDialog(IDCANCEL);
}
