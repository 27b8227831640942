// The download page's look: the slide picture and its texts at the top, the status line, the
// bar and one button below, and the slideshow with its three dots.

#include <windows.h>
#include <commctrl.h>

#include "i18n/texts.h"
#include "pages/download_page.h"
#include "pages/page_fonts.h"
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

void DrawTextIn(HDC dc, HFONT font, const std::wstring& text, RECT box) {
    kv::win::SelectedObject selected(dc, font);
    ::DrawTextW(dc, text.c_str(), -1, &box, DT_WORDBREAK);
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
    if (m_pBackground) {
        // Only the top of each slide picture is shown; the status area lies below it.
        const kv::pages::PixelSize shown = kv::pages::Scaled(
            kv::pages::PixelSize{kv::pages::kBackgroundSize.width, kv::pages::kSlideShownHeight},
            Dpi());
        kv::win::MemoryDC picture(dc.Get());
        kv::win::SelectedObject selected(picture.Get(), m_pBackground);
        ::BitBlt(dc.Get(), 0, 0, shown.width, shown.height, picture.Get(), 0, 0, SRCCOPY);
    }
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), kPageTextColour);
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
