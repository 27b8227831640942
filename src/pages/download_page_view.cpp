// The download page's look: the slide picture and its texts at the top, the status line, the
// bar and one button below, and the slideshow with its three dots.

#include <windows.h>
#include <commctrl.h>

#include "i18n/decimal_text.h"
#include "i18n/texts.h"
#include "pages/download_page.h"
#include "pages/page_fonts.h"
#include "pages/page_look.h"
#include "pages/slideshow.h"
#include "win/png_picture.h"

namespace {

// In pixels of the page's client area at 96 DPI.
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
// own. In a mirrored page the artwork moves to the other side of the texts and keeps its
// orientation, so that the words in it read as drawn; the texts' background (no words) is
// mirrored with the page, so that it still meets the artwork with its own edge and fades out
// towards the far side instead of ending abruptly there.
constexpr int kSlideArtworkWidth = 195;

void PaintSlidePicture(HDC dc, HBITMAP slide, int dpi) {
    const kv::pages::PixelSize shown = kv::pages::Scaled(
        kv::pages::PixelSize{kv::pages::kBackgroundSize.width, kv::pages::kSlideShownHeight}, dpi);
    kv::win::MemoryDC picture(dc);
    kv::win::SelectedObject selected(picture.Get(), slide);
    const DWORD layout = ::GetLayout(dc);
    if (!(layout & LAYOUT_RTL)) {
        ::BitBlt(dc, 0, 0, shown.width, shown.height, picture.Get(), 0, 0, SRCCOPY);
        return;
    }
    const int artwork = kv::pages::Scaled(kSlideArtworkWidth, dpi);
    ::BitBlt(dc, artwork, 0, shown.width - artwork, shown.height, picture.Get(), artwork, 0,
             SRCCOPY);
    ::SetLayout(dc, layout | LAYOUT_BITMAPORIENTATIONPRESERVED);
    ::BitBlt(dc, 0, 0, artwork, shown.height, picture.Get(), 0, 0, SRCCOPY);
    ::SetLayout(dc, layout);
}

void DrawTextIn(HDC dc, HFONT font, const std::wstring& text, RECT box) {
    kv::win::SelectedObject selected(dc, font);
    ::DrawTextW(dc, text.c_str(), -1, &box, DT_WORDBREAK | ReadingOrder(dc));
}

}  // namespace

// The slides are held at twice their 96-DPI size. Each is decoded and scaled for the window's DPI
// when it is first shown at that DPI: the pages' first showing needs only one.
void CDownloadPage::ScalePictures() {
    for (kv::win::Bitmap* picture : {&m_imgSlide1, &m_imgSlide2, &m_imgSlide3}) picture->Reset();
    m_pBackground = SlidePicture(m_nSlide);
}

HBITMAP CDownloadPage::SlidePicture(int slide) {
    kv::win::Bitmap& picture = slide == 2 ? m_imgSlide2 : slide == 3 ? m_imgSlide3 : m_imgSlide1;
    if (!picture) {
        const int id = slide == 2 ? IDB_SLIDE2 : slide == 3 ? IDB_SLIDE3 : IDB_SLIDE1;
        const kv::pages::PixelSize size = kv::pages::Scaled(kv::pages::kBackgroundSize, Dpi());
        picture =
            kv::win::LoadPngResource(::GetModuleHandleW(nullptr), id, {size.width, size.height});
    }
    return picture.Get();
}

void CDownloadPage::PrepareFirstSlide() {
    if (PicturesNeedScaling()) ScalePictures();
}

void CDownloadPage::ApplyDpi() {
    if (!HasWindow()) return;
    if (PicturesNeedScaling()) ScalePictures();
    GiveDotsTheirImages();
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CDownloadPage::OnPaint() {
    if (PicturesNeedScaling()) ScalePictures();
    kv::win::PaintDC dc(Hwnd());
    // In High Contrast the page shows its texts on the system's background alone.
    if (m_pBackground && !HighContrastOn()) PaintSlidePicture(dc.Get(), m_pBackground, Dpi());
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), PageTextColour());
    DrawSlideTexts(dc.Get());
    MoveControlsToTheirPlaces();
}

void CDownloadPage::DrawSlideTexts(HDC dc) {
    DrawTextIn(dc, g_titleFont.Get(), m_strSlideTitle, Px(kv::pages::kSlideTitleRect));
    DrawTextIn(dc, g_subtitleFont.Get(), m_strSlideSubtitle, Px(kv::pages::kSlideSubtitleRect));
    DrawTextIn(dc, g_textFont.Get(), m_strSlideText, Px(kv::pages::kSlideTextRect));
}

void CDownloadPage::MoveControlsToTheirPlaces() {
    for (const Placement& place : kPlacements) {
        const RECT box = Px(
            kv::pages::PixelRect{place.x, place.y, place.x + place.width, place.y + place.height});
        ::SetWindowPos(Item(place.id), nullptr, box.left, box.top, box.right - box.left,
                       box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CDownloadPage::ShowSlide(int slide) {
    m_nSlide = ChooseSlide(slide, m_nSlide);
    const SlideTexts texts = TextsOfSlide(m_nSlide);
    m_pBackground = SlidePicture(m_nSlide);
    switch (m_nSlide) {
        case 2:
            m_dot2.Select();
            break;
        case 3:
            m_dot3.Select();
            break;
        default:
            m_dot1.Select();
            break;
    }
    m_strSlideTitle = WidenProductName();
    m_strSlideSubtitle = GetText(texts.subtitleKey);
    m_strSlideText = GetText(texts.descriptionKey);
    if (HasWindow()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CDownloadPage::GiveDotsTheirImages() {
    // Each dot owns its list; a Restore gives the new controls new lists. The bitmap holds the
    // images at twice their 96-DPI size.
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const int size = Px(kv::pages::kDotImageSize);
    for (CAdvCheckBox* dot : {&m_dot1, &m_dot2, &m_dot3}) {
        dot->SetImageList(kv::win::LoadImageStrip(module, IDB_SLIDE_DOTS, size));
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
    if (!InSlideArea(x, y, Dpi())) return;
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
        ::SetWindowTextW(dot->Hwnd(), (L"Slide " + kv::i18n::DecimalText(number++)).c_str());
    }
    ::SetWindowTextW(m_progress.Hwnd(), std::wstring(GetText(L"DOWNLOADING_SETUP")).c_str());
    m_statusAnnouncer.Attach(m_status.Hwnd());
    // A static control in a mirrored window may lay its sentence out left to right (Wine's does,
    // whatever its reading order: the full stop of a Hebrew sentence lands at its start). In a
    // right-to-left language the page draws the status line itself.
    if (TextsReadRightToLeft()) {
        const LONG style = ::GetWindowLongW(m_status.Hwnd(), GWL_STYLE);
        ::SetWindowLongW(m_status.Hwnd(), GWL_STYLE, (style & ~SS_TYPEMASK) | SS_OWNERDRAW);
    }
}

bool CDownloadPage::DrawStatusLine(const DRAWITEMSTRUCT& item) {
    if (item.CtlID != IDC_STATUS_LINE || item.CtlType != ODT_STATIC) return false;
    ::SetTextColor(item.hDC, ::GetSysColor(COLOR_WINDOWTEXT));
    const auto background = reinterpret_cast<HBRUSH>(OnCtlColor(item.hDC, true));
    ::FillRect(item.hDC, &item.rcItem, background);
    const int length = ::GetWindowTextLengthW(item.hwndItem);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(item.hwndItem, text.data(), length + 1)));
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    kv::win::SelectedObject selected(item.hDC, font);
    ::SetBkMode(item.hDC, TRANSPARENT);
    RECT box = item.rcItem;
    ::DrawTextW(item.hDC, text.c_str(), -1, &box,
                DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | ReadingOrder(item.hDC));
    return true;
}

// A button that appears takes the keyboard focus, so that Enter or Space acts on it at once.
// Install means the file is ready: a window in the background flashes its taskbar button.
void CDownloadPage::OnButtonShown(int id) {
    if (m_pTaskbar && id == IDC_INSTALL_BUTTON) m_pTaskbar->FlashIfInBackground();
    const HWND button = Item(id);
    const HWND top = ::GetAncestor(Hwnd(), GA_ROOT);
    if (!button || !top || !::IsWindowVisible(Hwnd())) return;
    ::SendMessageW(top, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}
