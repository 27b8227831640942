#include "controls/adv_check_box.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

using kv::controls::Rect;

RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// Solid fills go through an opaque text-background fill, which needs no brush.
void Fill(HDC dc, const Rect& r, COLORREF colour) {
    ::SetBkColor(dc, colour);
    const RECT area = ToRECT(r);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

// The outermost row and column on each side of `r`.
void Frame(HDC dc, const Rect& r, COLORREF colour) {
    Fill(dc, {r.left, r.top, r.right, r.top + 1}, colour);
    Fill(dc, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
    Fill(dc, {r.left, r.top, r.left + 1, r.bottom}, colour);
    Fill(dc, {r.right - 1, r.top, r.right, r.bottom}, colour);
}

// A warm glow over the inner area while the mouse rests on the control. Some of its pixels lie
// outside the area, on purpose: only the control's edge clips them.
void DrawHoverLook(HDC dc, const Rect& r) {
    Frame(dc, r, RGB(255, 203, 121));
    Frame(dc, kv::controls::Shrunk(r, 1), RGB(255, 204, 122));
    ::SetPixel(dc, r.left, r.top, RGB(254, 255, 255));
    for (int i = 1; i <= 9; ++i) {
        ::SetPixel(dc, r.left, r.top + i, RGB(255, 243, 217));
        ::SetPixel(dc, r.left + i, r.top, RGB(255, 243, 217));
        if (i >= 2) {
            ::SetPixel(dc, r.right - i, r.bottom - 2, RGB(254, 220, 139));
            ::SetPixel(dc, r.right - 2, r.bottom - i, RGB(254, 220, 139));
        }
        ::SetPixel(dc, r.left + i, r.top + 1, RGB(254, 220, 185));
        ::SetPixel(dc, r.left + 1, r.top + i, RGB(254, 220, 185));
    }
}

UINT DrawTextAlignment(DWORD style) {
    switch (kv::controls::CaptionAlignOfStyle(style)) {
        case kv::controls::CaptionAlign::Centre:
            return DT_CENTER;
        case kv::controls::CaptionAlign::Right:
            return DT_RIGHT;
        default:
            return DT_LEFT;
    }
}

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    return std::wstring(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

}  // namespace

CAdvCheckBox::CAdvCheckBox()
    : frameColour(::GetSysColor(COLOR_HIGHLIGHT)), markColour(RGB(33, 161, 33)) {}

CAdvCheckBox::~CAdvCheckBox() {
    // No message may reach this object once its members are gone.
    Unsubclass();
}

CAdvCheckBox* CAdvCheckBox::FromHandle(HWND window) {
    return dynamic_cast<CAdvCheckBox*>(SubclassedWindow::FromHandle(window));
}

bool CAdvCheckBox::Attach(HWND control) {
    if (!Subclass(control)) return false;
    TakeRolesFromStyle();
    return true;
}

void CAdvCheckBox::TakeRolesFromStyle() {
    threeState = radio = checkBox = false;
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE));
    // A disabled control keeps the standard look and behaviour of its type.
    if (style & WS_DISABLED) return;
    const kv::controls::ButtonRoles roles = kv::controls::RolesOfStyle(style);
    threeState = roles.threeState;
    checkBox = roles.checkBox;
    radio = roles.radio;
    if (!roles.Drawn()) return;
    ::SetWindowLongPtrW(Hwnd(), GWL_STYLE, kv::controls::OwnerDrawStyle(style));
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CAdvCheckBox::Select() {
    state = 1;
    if (radio) ClearGroup();
}

void CAdvCheckBox::Toggle() {
    state = kv::controls::NextState(state, radio, threeState);
    if (radio) ClearGroup();
}

void CAdvCheckBox::ClearGroup() {
    const HWND self = Hwnd();
    const HWND parent = self ? ::GetParent(self) : nullptr;
    if (!parent) return;
    // The walk skips hidden and disabled controls, so it may never come back to a control that
    // is one of them: it also stops at the first control it meets a second time.
    std::vector<HWND> met;
    for (HWND item = ::GetNextDlgGroupItem(parent, self, FALSE); item && item != self;
         item = ::GetNextDlgGroupItem(parent, item, FALSE)) {
        for (HWND seen : met)
            if (seen == item) return;
        met.push_back(item);
        CAdvCheckBox* other = FromHandle(item);
        if (!other || !other->radio) continue;
        other->state = 0;
        ::InvalidateRect(item, nullptr, TRUE);
    }
}

void CAdvCheckBox::SetImageList(kv::win::ImageList list) {
    imageList = std::move(list);
    if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CAdvCheckBox::TrackHover() {
    TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, Hwnd(), 1};
    ::_TrackMouseEvent(&track);
}

void CAdvCheckBox::SetHover(bool on) {
    hover = on;
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

bool CAdvCheckBox::OnButtonUp(LPARAM point) {
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const POINT at{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    return pressed && ::PtInRect(&client, at);
}

bool CAdvCheckBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            // What lies under the control shows through the images' transparent parts.
            result = TRUE;
            return true;
        case WM_MOUSEMOVE:
            TrackHover();
            return false;
        case WM_MOUSEHOVER:
            SetHover(true);
            result = 0;
            return true;
        case WM_MOUSELEAVE:
            SetHover(false);
            result = 0;
            return true;
        case WM_LBUTTONDOWN:
            result = CallDefault(message, wParam, lParam);
            pressed = true;
            return true;
        case WM_LBUTTONUP:
            // Toggled before the default handling, so that the click notification it sends
            // finds the new state.
            if (OnButtonUp(lParam)) Toggle();
            pressed = false;
            result = CallDefault(message, wParam, lParam);
            return true;
        case BM_GETCHECK:
            // An owner-drawn button keeps no check state of its own: ours answers, for
            // accessibility tools and for anybody asking from outside.
            result = state == 2 ? BST_INDETERMINATE : (state == 1 ? BST_CHECKED : BST_UNCHECKED);
            return true;
        case WM_CAPTURECHANGED:
            // A press that lost the mouse (another window took it) is no longer a click.
            pressed = false;
            return false;
        default:
            return false;
    }
}

bool CAdvCheckBox::HandleDrawItem(LPARAM drawItem) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(drawItem);
    if (!item || item->CtlType != ODT_BUTTON) return false;
    const CAdvCheckBox* self = FromHandle(item->hwndItem);
    if (!self || !(self->radio || self->checkBox)) return false;
    try {
        self->Draw(item->hDC, item->rcItem);
        // The keyboard's place, also on a control that only the mouse usually reaches.
        if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT)) {
            RECT focus = item->rcItem;
            ::DrawFocusRect(item->hDC, &focus);
        }
    } catch (...) {
        // Out of memory for the caption: the item stays as it was.
    }
    return true;
}

void CAdvCheckBox::Draw(HDC dc, const RECT& item) const {
    kv::win::SavedDC saved(dc);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE));
    // The images may be scaled for the window's DPI: the box takes their size.
    int boxSize = kv::controls::kBoxSize;
    int imageHeight = 0;
    if (imageList && ::ImageList_GetIconSize(imageList.Get(), &boxSize, &imageHeight)) {
        boxSize = imageHeight;
    } else {
        boxSize = kv::controls::kBoxSize;
    }
    const kv::controls::CheckBoxLayout layout = kv::controls::LayOut(
        {item.left, item.top, item.right, item.bottom}, kv::controls::TextOnLeft(style), boxSize);
    DrawCaption(dc, layout.caption, style);
    if (imageList) {
        ::ImageList_Draw(imageList.Get(), kv::controls::ImageIndex(hover, state), dc,
                         layout.box.left, layout.box.top, ILD_TRANSPARENT);
        return;
    }
    DrawBoxByHand(dc, layout.box);
}

void CAdvCheckBox::DrawCaption(HDC dc, const Rect& area, DWORD style) const {
    // A caption with no room beside the box (the slideshow's dots) is the control's name for
    // screen readers only. Scaled for the DPI, such a control may keep a sliver of a few pixels
    // beside its box: too narrow for a letter, it would show only the caption's background.
    TEXTMETRICW metrics{};
    if (area.Width() <= 0) return;
    if (::GetTextMetricsW(dc, &metrics) && area.Width() < metrics.tmAveCharWidth) return;
    const std::wstring caption = WindowText(Hwnd());
    if (caption.empty()) return;
    ::SetBkMode(dc, OPAQUE);
    RECT rect = ToRECT(area);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
                DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DrawTextAlignment(style));
}

void CAdvCheckBox::DrawBoxByHand(HDC dc, const Rect& box) const {
    const COLORREF paper = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    Frame(dc, box, frameColour);
    const Rect inner = kv::controls::Shrunk(box, 1);
    if (hover)
        DrawHoverLook(dc, inner);
    else
        Fill(dc, inner, paper);
    const Rect centre = kv::controls::Shrunk(inner, 2);
    if (state == 0)
        Fill(dc, centre, paper);
    else if (state == 2 || (state == 1 && radio))
        Fill(dc, centre, markColour);
    else if (state == 1)
        DrawCheckMark(dc, inner);
}

void CAdvCheckBox::DrawCheckMark(HDC dc, const Rect& inner) const {
    kv::win::Pen pen(::CreatePen(PS_SOLID, 1, markColour));
    kv::win::SelectedObject selected(dc, pen.Get());
    for (const kv::controls::Stroke& s : kv::controls::CheckMarkStrokes(inner)) {
        ::MoveToEx(dc, s.from.x, s.from.y, nullptr);
        ::LineTo(dc, s.corner.x, s.corner.y);
        ::LineTo(dc, s.to.x, s.to.y);
    }
}
