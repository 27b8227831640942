// The owner-drawn check box in a dialog: clicks, states, radio groups and what it draws, checked
// by sending the control its mouse messages and drawing its items into a bitmap.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <optional>
#include <map>

#include "adv_check_box_test.h"
#include "controls/adv_check_box.h"
#include "win/dialog.h"
#include "win/handles.h"

namespace {

class TestDialog : public kv::win::Dialog {
  public:
    TestDialog() : Dialog(IDD_CHECK_BOX_TEST) {}

    CAdvCheckBox radioOne, radioTwo, radioThree, nextGroup, threeState, twoState, disabled, push,
        dot;
    std::map<int, int> clicks;
    bool allAttached = false;

  protected:
    void BindControls() override {
        allAttached = true;
        const std::pair<CAdvCheckBox*, int> controls[] = {{&radioOne, IDC_RADIO_ONE},
                                                          {&radioTwo, IDC_RADIO_TWO},
                                                          {&radioThree, IDC_RADIO_THREE},
                                                          {&nextGroup, IDC_NEXT_GROUP_RADIO},
                                                          {&threeState, IDC_THREE_STATE},
                                                          {&twoState, IDC_TWO_STATE},
                                                          {&disabled, IDC_DISABLED},
                                                          {&push, IDC_PUSH},
                                                          {&dot, IDC_DOT}};
        for (auto [control, id] : controls) allAttached &= control->Attach(Item(id));
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_DRAWITEM && CAdvCheckBox::HandleDrawItem(lParam)) {
            result = TRUE;
            return true;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) ++clicks[LOWORD(wParam)];
        return false;
    }
};

void Press(const CAdvCheckBox& control, POINT down, POINT up) {
    ::SendMessageW(control.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
    ::SendMessageW(control.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
}
void Click(const CAdvCheckBox& control) {
    Press(control, {3, 3}, {3, 3});
}

LONG_PTR ButtonType(HWND window) {
    return ::GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK;
}

// A 32-bit bitmap to draw items into and read back pixel by pixel.
class Canvas {
  public:
    Canvas(int width, int height) : dc_(nullptr) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        selected_.emplace(dc_.Get(), bitmap_.Get());
    }
    HDC Dc() const { return dc_.Get(); }
    void Clear(COLORREF colour) {
        kv::win::Brush brush(::CreateSolidBrush(colour));
        RECT all{0, 0, 1000, 1000};
        ::FillRect(Dc(), &all, brush.Get());
    }
    COLORREF At(int x, int y) const { return ::GetPixel(Dc(), x, y); }

  private:
    kv::win::MemoryDC dc_;
    kv::win::Bitmap bitmap_;
    std::optional<kv::win::SelectedObject> selected_;
};

bool DrawInto(Canvas& canvas, const CAdvCheckBox& control, RECT item) {
    DRAWITEMSTRUCT draw{ODT_BUTTON, 0, 0, ODA_DRAWENTIRE, 0, control.Hwnd(), canvas.Dc(), item, 0};
    return CAdvCheckBox::HandleDrawItem(reinterpret_cast<LPARAM>(&draw));
}

// Four 10 x 10 images of one colour each, with a white (transparent) top-left pixel.
constexpr COLORREF kImageColours[] = {RGB(200, 0, 0), RGB(0, 150, 0), RGB(0, 0, 220),
                                      RGB(230, 160, 0)};
kv::win::ImageList MakeTestImages() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 40, -10, 1, 32, BI_RGB};
    void* bits = nullptr;
    kv::win::Bitmap strip(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* pixels = static_cast<DWORD*>(bits);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) {
            const COLORREF c = (x % 10 == 0 && y == 0) ? RGB(255, 255, 255) : kImageColours[x / 10];
            pixels[y * 40 + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    kv::win::ImageList list(::ImageList_Create(10, 10, ILC_COLOR32 | ILC_MASK, 4, 6));
    ::ImageList_AddMasked(list.Get(), strip.Get(), RGB(255, 255, 255));
    return list;
}

// Keeps the dialog on screen for a while when asked to, for a look at it.
void ShowForAWhile(HWND dialog) {
    const char* ms = std::getenv("KV_CHECK_BOX_SHOW_MS");
    if (!ms) return;
    ::InvalidateRect(dialog, nullptr, TRUE);
    const ULONGLONG end = ::GetTickCount64() + std::strtoul(ms, nullptr, 10);
    for (ULONGLONG now; (now = ::GetTickCount64()) < end;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

class AdvCheckBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        ASSERT_TRUE(dialog.Create(nullptr));
        dialog.Show(SW_SHOW);
    }
    TestDialog dialog;
};

TEST_F(AdvCheckBoxTest, ClicksTogglePressesThatLeaveDoNotAndRadiosClearOnlyTheirOwnGroup) {
    ASSERT_TRUE(dialog.allAttached);
    // Check boxes and radio buttons become owner-drawn with their other style bits kept; a
    // disabled one and a push button stay standard.
    EXPECT_EQ(ButtonType(dialog.radioOne.Hwnd()), BS_OWNERDRAW);
    EXPECT_EQ(ButtonType(dialog.threeState.Hwnd()), BS_OWNERDRAW);
    EXPECT_TRUE(::GetWindowLongPtrW(dialog.radioThree.Hwnd(), GWL_STYLE) & BS_LEFTTEXT);
    EXPECT_EQ(ButtonType(dialog.disabled.Hwnd()), BS_AUTOCHECKBOX);
    EXPECT_EQ(ButtonType(dialog.push.Hwnd()), BS_PUSHBUTTON);
    EXPECT_FALSE(CAdvCheckBox().Attach(dialog.radioOne.Hwnd()));  // already taken

    // Two states: 0, 1, 0, each click told to the parent.
    Click(dialog.twoState);
    EXPECT_EQ(dialog.twoState.State(), 1);
    Click(dialog.twoState);
    EXPECT_EQ(dialog.twoState.State(), 0);
    EXPECT_EQ(dialog.clicks[IDC_TWO_STATE], 2);
    // A press that ends outside, a release without a press, a press that lost the mouse: none
    // of them is a click.
    const HWND two = dialog.twoState.Hwnd();
    Press(dialog.twoState, {3, 3}, {-4, 3});
    EXPECT_EQ(dialog.twoState.State(), 0);
    ::SendMessageW(two, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(dialog.twoState.State(), 0);
    ::SendMessageW(two, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SetCapture(dialog.Hwnd());
    ::ReleaseCapture();
    ::SendMessageW(two, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(dialog.twoState.State(), 0);
    EXPECT_EQ(dialog.clicks[IDC_TWO_STATE], 2);

    // Three states: 0, 1, 2, 0.
    for (int expected : {1, 2, 0}) {
        Click(dialog.threeState);
        EXPECT_EQ(dialog.threeState.State(), expected);
    }

    // Radio buttons: on stays on; the group's other buttons of this kind turn off, while a
    // standard radio button and a check box of the group and the next group are left alone.
    ::CheckDlgButton(dialog.Hwnd(), IDC_PLAIN_RADIO, BST_CHECKED);
    dialog.twoState.Select();
    dialog.nextGroup.Select();
    dialog.radioOne.Select();
    dialog.radioThree.Select();
    EXPECT_EQ(dialog.radioOne.State(), 0);
    Click(dialog.radioTwo);
    Click(dialog.radioTwo);
    EXPECT_EQ(dialog.radioTwo.State(), 1);
    EXPECT_EQ(dialog.radioOne.State(), 0);
    EXPECT_EQ(dialog.radioThree.State(), 0);
    EXPECT_EQ(::IsDlgButtonChecked(dialog.Hwnd(), IDC_PLAIN_RADIO), BST_CHECKED);
    EXPECT_EQ(dialog.nextGroup.State(), 1);
    EXPECT_EQ(dialog.twoState.State(), 1);
    // A hidden radio button, which the group walk never comes back to, still returns.
    ::ShowWindow(dialog.radioOne.Hwnd(), SW_HIDE);
    dialog.radioOne.Select();
    EXPECT_EQ(dialog.radioTwo.State(), 0);
    ::ShowWindow(dialog.radioOne.Hwnd(), SW_SHOW);
}

TEST_F(AdvCheckBoxTest, DrawsTheBoxByHandOrFromImagesAtRowsOneToTenOfAThirteenPixelItem) {
    const COLORREF grey = RGB(128, 128, 128);
    const COLORREF frame = ::GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF mark = RGB(33, 161, 33);
    Canvas canvas(40, 13);
    const RECT item{0, 0, 15, 13};
    ::SetWindowPos(dialog.dot.Hwnd(), nullptr, 150, 112, 15, 13, SWP_NOZORDER);

    // By hand: the frame on rows 1 and 10, nothing drawn above, below or (no caption) beside.
    canvas.Clear(grey);
    ASSERT_TRUE(DrawInto(canvas, dialog.dot, item));
    EXPECT_EQ(canvas.At(0, 1), frame);
    EXPECT_EQ(canvas.At(9, 10), frame);
    EXPECT_EQ(canvas.At(5, 0), grey);
    EXPECT_EQ(canvas.At(5, 11), grey);
    EXPECT_EQ(canvas.At(12, 5), grey);
    EXPECT_EQ(canvas.At(5, 5), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    dialog.dot.Select();
    ASSERT_TRUE(DrawInto(canvas, dialog.dot, item));
    EXPECT_EQ(canvas.At(4, 5), mark);  // a radio button that is on: a filled centre

    // Standard buttons are not ours to draw.
    EXPECT_FALSE(DrawInto(canvas, dialog.disabled, item));
    EXPECT_FALSE(DrawInto(canvas, dialog.push, item));

    // From images: hover + 2 x state, drawn transparently at the box's corner.
    dialog.dot.SetImageList(MakeTestImages());
    ::SendMessageW(dialog.dot.Hwnd(), WM_MOUSEHOVER, 0, 0);
    canvas.Clear(grey);
    ASSERT_TRUE(DrawInto(canvas, dialog.dot, item));
    EXPECT_EQ(canvas.At(5, 5), kImageColours[3]);
    EXPECT_EQ(canvas.At(0, 1), grey);  // the images' white shows what lies beneath
    EXPECT_EQ(canvas.At(9, 10), kImageColours[3]);
    EXPECT_EQ(canvas.At(5, 11), grey);
    ::SendMessageW(dialog.dot.Hwnd(), WM_MOUSELEAVE, 0, 0);
    ASSERT_TRUE(DrawInto(canvas, dialog.dot, item));
    EXPECT_EQ(canvas.At(5, 5), kImageColours[2]);

    // For a look at both kinds of drawing: checked, indeterminate and hovered boxes.
    Click(dialog.twoState);
    Click(dialog.threeState);
    Click(dialog.threeState);
    dialog.radioTwo.Select();
    ::SendMessageW(dialog.radioThree.Hwnd(), WM_MOUSEHOVER, 0, 0);
    ShowForAWhile(dialog.Hwnd());
}

}  // namespace
