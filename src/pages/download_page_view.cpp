// The download page's look: the slide picture and its texts at the top, the status line, the
// bar and one button below, and the slideshow with its three dots.

#include <windows.h>
#include <commctrl.h>

#include "i18n/texts.h"
#include "pages/download_page.h"
#include "pages/page_fonts.h"
#include "pages/page_look.h"
#include "pages/slideshow.h"

namespace {

// Only the top of each slide picture is shown; the status area lies below it.
constexpr int kSlideWidth = 640;
constexpr int kSlideShownHeight = 240;

// In pixels of the page's client area.
struct Placement {
    int id;
    int x, y, width, height;
};

// Where the controls go, whatever size the template's dialog units give them.
constexpr Placement kPlacements[] = {
    {IDC_SLIDE_DOT1, 297, 188, 15, 13},      {IDC_SLIDE_DOT2, 317, 188, 15, 13},
    {IDC_SLIDE_DOT3, 337, 188, 15, 13},      {IDC_STATUS_LINE, 44, 238, 560, 39},
    {IDC_PROGRESS_BAR, 162, 278, 323, 18},   {IDC_RETRY_BUTTON, 254, 312, 141, 23},
    {IDC_INSTALL_BUTTON, 254, 312, 141, 23},
};

// The artwork of a slide lies left of its texts (which start at x 195) and holds words of its
// own. In a mirrored page the artwork moves to the other side of the texts, but both parts keep
// their orientation, so that the words in it read as drawn.
constexpr int kSlideArtworkWidth = 195;

void PaintSlidePicture(HDC dc, HBITMAP slide) {
    kv::win::MemoryDC picture(dc);
    kv::win::SelectedObject selected(picture.Get(), slide);
    const DWORD layout = ::GetLayout(dc);
    if (!(layout & LAYOUT_RTL)) {
        ::BitBlt(dc, 0, 0, kSlideWidth, kSlideShownHeight, picture.Get(), 0, 0, SRCCOPY);
        return;
    }
    ::SetLayout(dc, layout | LAYOUT_BITMAPORIENTATIONPRESERVED);
    ::BitBlt(dc, 0, 0, kSlideArtworkWidth, kSlideShownHeight, picture.Get(), 0, 0, SRCCOPY);
    ::BitBlt(dc, kSlideArtworkWidth, 0, kSlideWidth - kSlideArtworkWidth, kSlideShownHeight,
             picture.Get(), kSlideArtworkWidth, 0, SRCCOPY);
    ::SetLayout(dc, layout);
}

void DrawTextIn(HDC dc, HFONT font, const std::wstring& text, RECT box) {
    kv::win::SelectedObject selected(dc, font);
    ::DrawTextW(dc, text.c_str(), -1, &box, DT_WORDBREAK | ReadingOrder(dc));
}

}  // namespace

void CDownloadPage::OnPaint() {
    kv::win::PaintDC dc(Hwnd());
    // In High Contrast the page shows its texts on the system's background alone.
    if (m_pBackground && !HighContrastOn()) PaintSlidePicture(dc.Get(), m_pBackground);
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), PageTextColour());
    DrawSlideTexts(dc.Get());
    MoveControlsToTheirPlaces();
}

void CDownloadPage::DrawSlideTexts(HDC dc) {
    DrawTextIn(dc, g_titleFont.Get(), m_strSlideTitle, {195, 70, 600, 100});
    DrawTextIn(dc, g_subtitleFont.Get(), m_strSlideSubtitle, {195, 105, 600, 125});
    DrawTextIn(dc, g_textFont.Get(), m_strSlideText, {195, 130, 600, 200});
}

void CDownloadPage::MoveControlsToTheirPlaces() {
    for (const Placement& place : kPlacements) {
        ::SetWindowPos(Item(place.id), nullptr, place.x, place.y, place.width, place.height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CDownloadPage::ShowSlide(int slide) {
    m_nSlide = ChooseSlide(slide, m_nSlide);
    const SlideTexts texts = TextsOfSlide(m_nSlide);
    switch (m_nSlide) {
        case 2:
            m_pBackground = m_imgSlide2.Get();
            m_dot2.Select();
            break;
        case 3:
            m_pBackground = m_imgSlide3.Get();
            m_dot3.Select();
            break;
        default:
            m_pBackground = m_imgSlide1.Get();
            m_dot1.Select();
            break;
    }
    m_strSlideTitle = WidenProductName();
    m_strSlideSubtitle = GetText(texts.subtitleKey);
    m_strSlideText = GetText(texts.descriptionKey);
    if (HasWindow()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CDownloadPage::GiveDotsTheirImages() {
    // Each dot owns its list; a Restore gives the new controls new lists.
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    for (CAdvCheckBox* dot : {&m_dot1, &m_dot2, &m_dot3}) {
        dot->SetImageList(kv::win::ImageList(
            ::ImageList_LoadImageW(module, MAKEINTRESOURCEW(IDB_SLIDE_DOTS), 10, 6,
                                   RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION)));
    }
}

void CDownloadPage::StopSlideshow() {
    StopTimer(kSlideTimerId);
}

void CDownloadPage::OnDotClicked(int slide) {
    StopSlideshow();
    ShowSlide(slide);
}

void CDownloadPage::OnLButtonDown(int x, int y) {
    if (!InSlideArea(x, y)) return;
    StopSlideshow();
    ShowSlide(0);
}

// The page's background below and beside the slide is white, and the status line is drawn on
// it; in High Contrast both take the system's colours.
LRESULT CDownloadPage::OnCtlColor(HDC dc, bool staticControl) {
    const HBRUSH brush = PageBackgroundBrush(m_brushWhite.Get());
    if (staticControl) {
        ::SetBkColor(dc, HighContrastOn() ? ::GetSysColor(COLOR_WINDOW) : RGB(255, 255, 255));
        if (HighContrastOn()) ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    return reinterpret_cast<LRESULT>(brush);
}

// Screen readers name a control by its window text: the dots get one (drawn nowhere, as they have
// no room for it) and so does the bar, whose value the system's proxy reads from its position.
void CDownloadPage::MakeControlsAccessible() {
    int number = 1;
    for (CAdvCheckBox* dot : {&m_dot1, &m_dot2, &m_dot3}) {
        ::SetWindowTextW(dot->Hwnd(), (L"Slide " + std::to_wstring(number++)).c_str());
    }
    ::SetWindowTextW(m_progress.Hwnd(), std::wstring(GetText(L"DOWNLOADING_SETUP")).c_str());
    m_statusAnnouncer.Attach(m_status.Hwnd());
}

// A button that appears takes the keyboard focus, so that Enter or Space acts on it at once. On
// the taskbar, Install means the file is ready (the button flashes if the window is in the
// background) and Retry that the attempts failed.
void CDownloadPage::OnButtonShown(int id) {
    if (m_pTaskbar) {
        const bool ready = id == IDC_INSTALL_BUTTON;
        m_pTaskbar->Show(ready ? kv::win::TaskbarState::None : kv::win::TaskbarState::Error, 0);
        if (ready) m_pTaskbar->FlashIfInBackground();
    }
    const HWND button = Item(id);
    const HWND top = ::GetAncestor(Hwnd(), GA_ROOT);
    if (!button || !top || !::IsWindowVisible(Hwnd())) return;
    ::SendMessageW(top, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}
