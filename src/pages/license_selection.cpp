#include "pages/license_selection.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "analytics/sender_google_analytics.h"
#include "i18n/texts.h"
#include "pages/edition_pictures.h"
#include "pages/page_fonts.h"
#include "pages/page_look.h"

namespace {

// The picture above the caption; the button keeps drawing its own caption below it.
void SetButtonPicture(const kv::win::Control& button, const kv::win::ImageList& picture) {
    BUTTON_IMAGELIST list{picture.Get(), {0, 6, 0, 0}, BUTTON_IMAGELIST_ALIGN_TOP};
    ::SendMessageW(button.Hwnd(), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list));
}

SIZE ClientSize(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// The picture (already at the window's DPI) at the origin. Where a system's dialog units make
// the page larger than the picture, its last column and row continue to the page's edges (the
// artwork keeps them plain).
void PaintBackground(HDC dc, HBITMAP background, SIZE page) {
    BITMAP size{};
    if (!::GetObjectW(background, sizeof(size), &size)) return;
    const int width = size.bmWidth;
    const int height = size.bmHeight;
    kv::win::MemoryDC picture(dc);
    kv::win::SelectedObject selected(picture.Get(), background);
    ::BitBlt(dc, 0, 0, width, height, picture.Get(), 0, 0, SRCCOPY);
    const int extraWidth = page.cx - width;
    const int extraHeight = page.cy - height;
    ::SetStretchBltMode(dc, COLORONCOLOR);
    if (extraWidth > 0) {
        ::StretchBlt(dc, width, 0, extraWidth, height, picture.Get(), width - 1, 0, 1, height,
                     SRCCOPY);
    }
    if (extraHeight > 0) {
        ::StretchBlt(dc, 0, height, std::max<int>(page.cx, width), extraHeight, picture.Get(), 0,
                     height - 1, width, 1, SRCCOPY);
    }
}

// How far inside the button its focus indicator lies, at 96 DPI.
constexpr int kFocusInset = 4;

// The keyboard's place on an edition button, once the keyboard is in use: the system's dotted
// rectangle, or in High Contrast a frame of two pixels in the system's highlight colour. The
// button draws no focus of its own beside its picture.
LRESULT DrawButtonFocus(const NMCUSTOMDRAW& draw, int inset) {
    if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYPOSTPAINT;
    if (draw.dwDrawStage != CDDS_POSTPAINT || !(draw.uItemState & CDIS_FOCUS))
        return CDRF_DODEFAULT;
    if (::SendMessageW(draw.hdr.hwndFrom, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) {
        return CDRF_DODEFAULT;
    }
    RECT focus = draw.rc;
    ::InflateRect(&focus, -inset, -inset);
    if (HighContrastOn()) {
        for (int ring = 0; ring < 2; ++ring) {
            ::FrameRect(draw.hdc, &focus, ::GetSysColorBrush(COLOR_HIGHLIGHT));
            ::InflateRect(&focus, -1, -1);
        }
    } else {
        ::DrawFocusRect(draw.hdc, &focus);
    }
    return CDRF_DODEFAULT;
}

}  // namespace

CLicenseSelection::CLicenseSelection() : CInstallerPage(IDD_LICENSE_SELECTION) {}

// The pictures are held at twice their 96-DPI size and scaled once for the window's DPI.
void CLicenseSelection::ScalePictures() {
    EditionPictures pictures = TakeEditionPictures(Dpi());
    m_imgBackground = std::move(pictures.background);
    m_pBackground = m_imgBackground.Get();
    // The buttons take the new lists before the old ones are destroyed.
    SetButtonPicture(m_btnTrial, pictures.trialPicture);
    SetButtonPicture(m_btnPaid, pictures.paidPicture);
    m_trialPicture = std::move(pictures.trialPicture);
    m_paidPicture = std::move(pictures.paidPicture);
}

void CLicenseSelection::ApplyDpi() {
    if (!HasWindow()) return;
    if (PicturesNeedScaling()) ScalePictures();
    m_btnTrial.SetFont(g_textFont.Get());
    m_btnPaid.SetFont(g_textFont.Get());
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CLicenseSelection::BindControls() {
    Bind(m_btnTrial, IDC_TRIAL_BUTTON);
    Bind(m_btnPaid, IDC_PAID_BUTTON);
}

BOOL CLicenseSelection::OnInitDialog() {
    m_btnTrial.SetText(GetText(L"I_WANT_TO_TRY"));
    m_btnTrial.SetFont(g_textFont.Get());
    m_btnPaid.SetText(GetText(L"I_HAVE_LICENSE_KEY"));
    m_btnPaid.SetFont(g_textFont.Get());
    // A new window (also after a Restore): its buttons need their pictures.
    m_nPictureDpi = Dpi();
    ScalePictures();
    m_strTitle = GetText(L"PLEASE_CHOOSE_YOUR_OPTION");
    m_strSubtitle = GetText(L"CHOOSE_CORRECT_OPTION");
    return TRUE;
}

bool CLicenseSelection::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    if (message == WM_PAINT) {
        OnPaint();
        return true;
    }
    if (message == WM_NOTIFY) {
        const auto* draw = reinterpret_cast<const NMCUSTOMDRAW*>(lParam);
        if (draw->hdr.code != NM_CUSTOMDRAW ||
            (draw->hdr.idFrom != IDC_TRIAL_BUTTON && draw->hdr.idFrom != IDC_PAID_BUTTON)) {
            return false;
        }
        result = DrawButtonFocus(*draw, Px(kFocusInset));
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDC_TRIAL_BUTTON) OnEditionChosen(1);
        if (LOWORD(wParam) == IDC_PAID_BUTTON) OnEditionChosen(0);
        return LOWORD(wParam) == IDC_TRIAL_BUTTON || LOWORD(wParam) == IDC_PAID_BUTTON;
    }
    return false;
}

void CLicenseSelection::OnPaint() {
    if (PicturesNeedScaling()) ScalePictures();
    kv::win::PaintDC dc(Hwnd());
    if (HighContrastOn()) {
        RECT client{};
        ::GetClientRect(Hwnd(), &client);
        ::FillRect(dc.Get(), &client, ::GetSysColorBrush(COLOR_WINDOW));
    } else if (m_pBackground) {
        // The background holds the logo: it reads left to right in every language.
        UnmirroredPictures unmirrored(dc.Get());
        PaintBackground(dc.Get(), m_pBackground, ClientSize(Hwnd()));
    }
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), PageTextColour());
    const UINT format = DT_CENTER | DT_WORDBREAK | ReadingOrder(dc.Get());
    RECT titleRect = Px(kv::pages::kEditionTitleRect);
    {
        kv::win::SelectedObject font(dc.Get(), g_titleFont.Get());
        ::DrawTextW(dc.Get(), m_strTitle.c_str(), -1, &titleRect, format);
    }
    RECT subtitleRect = Px(kv::pages::kEditionSubtitleRect);
    kv::win::SelectedObject font(dc.Get(), g_textFont.Get());
    ::DrawTextW(dc.Get(), m_strSubtitle.c_str(), -1, &subtitleRect, format);
}

// The switch to the download page comes first; the report leaves on a thread of its own and is
// sent whoever the parent is.
void CLicenseSelection::OnEditionChosen(unsigned char trial) {
    ::SendMessageW(::GetParent(Hwnd()), kEditionChosenMessage, trial, 0);
    SenderGoogleAnalytics().SendEvent(L"Downloader", trial ? L"Trial" : L"Paid", L"", L"");
}
