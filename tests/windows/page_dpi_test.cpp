// The installer at the system's DPI (page_dpi_test.sh runs this at 96, 144 and 192): both pages
// lay themselves out and paint their pictures at that scale. The heading band fills its rows
// to the page's right edge, the download page's controls sit at their places scaled, the slide
// fills its area and fades into the white page, the dots show their images, and the slideshow's
// click area has grown with the page; a DPI change message moves the window and lays the pages
// out again. One installer run checks everything at one DPI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "installer_driver.h"
#include "pages/page_geometry.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"

namespace kv::test {
namespace {

using kv::pages::PixelRect;
using std::chrono::seconds;

int ExpectedDpi() {
    const char* value = std::getenv("KV_EXPECTED_DPI");
    return value ? std::atoi(value) : 96;
}

// The screen's colour at a client point of `window`, or white beyond the screen's edge.
COLORREF ScreenAt(HWND window, int x, int y) {
    POINT point{x, y};
    ::ClientToScreen(window, &point);
    if (point.x >= ::GetSystemMetrics(SM_CXSCREEN) || point.y >= ::GetSystemMetrics(SM_CYSCREEN)) {
        return CLR_INVALID;
    }
    HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, point.x, point.y);
    ::ReleaseDC(nullptr, screen);
    return colour;
}

bool IsWhite(COLORREF c) {
    return GetRValue(c) > 245 && GetGValue(c) > 245 && GetBValue(c) > 245;
}
bool IsNavy(COLORREF c) {
    return GetRValue(c) < 80 && GetGValue(c) < 110 && GetBValue(c) > 50 && GetBValue(c) < 160;
}
bool IsOrange(COLORREF c) {
    return GetRValue(c) > 200 && GetGValue(c) > 90 && GetGValue(c) < 160 && GetBValue(c) < 90;
}
bool IsRed(COLORREF c) {
    return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110;
}

// Counts the points of a client rectangle that match, on a grid of `step` pixels, on screen.
int Count(HWND window, PixelRect area, bool (*matches)(COLORREF), int step = 4) {
    int count = 0;
    for (int y = area.top; y < area.bottom; y += step) {
        for (int x = area.left; x < area.right; x += step) {
            const COLORREF colour = ScreenAt(window, x, y);
            count += colour != CLR_INVALID && matches(colour);
        }
    }
    return count;
}

PixelRect PlaceOf(HWND page, int id) {
    RECT place{};
    ::GetWindowRect(::GetDlgItem(page, id), &place);
    ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&place), 2);
    return {place.left, place.top, place.right, place.bottom};
}

int CheckedDot(HWND page) {
    for (int dot = 1; dot <= 3; ++dot) {
        HWND control = ::GetDlgItem(page, IDC_SLIDE_DOT1 + dot - 1);
        if (::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) return dot;
    }
    return 0;
}

void ClickAt(HWND window, int x, int y) {
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Waits until the window has painted: a point that must not stay the erased page's colour.
bool WaitForPaint(HWND window, int x, int y, bool (*painted)(COLORREF)) {
    return WaitUntil([&] {
        const COLORREF colour = ScreenAt(window, x, y);
        return colour != CLR_INVALID && painted(colour);
    });
}

// WM_DPICHANGED carries a pointer to the suggested rectangle, which is not carried over between
// processes: the rectangle is written into the installer's memory, as the system would hand it.
bool SendDpiChanged(DWORD pid, HWND window, int dpi, const RECT& suggested) {
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    const bool written =
        remote && ::WriteProcessMemory(process, remote, &suggested, sizeof(RECT), nullptr);
    if (written) {
        ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(remote));
    }
    if (remote) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return written;
}

TEST(PagesAtTheSystemsDpi, LayOutAndPaintAtThatScale) {
    // Our own coordinates must not be scaled behind our back: this process sees real pixels.
    ::SetProcessDPIAware();
    const int dpi = ExpectedDpi();
    {
        HDC screen = ::GetDC(nullptr);
        ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), dpi) << "the prefix's LogPixels";
        ::ReleaseDC(nullptr, screen);
    }
    auto px = [dpi](int length) { return kv::pages::Scaled(length, dpi); };

    InstallerProcess installer;
    const HWND main = installer.StartAndWaitForMainWindow();
    ASSERT_TRUE(main);
    HWND edition = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (edition = FindPageWithControl(main, IDC_TRIAL_BUTTON)); }));
    RECT client{};
    ::GetClientRect(edition, &client);
    // The template's dialog units make the page at least as large as the scaled layout: as wide
    // as the pictures, and as high as the buttons' bottom.
    EXPECT_GE(client.right, px(640));
    EXPECT_GE(client.bottom, px(335));

    // The edition page: the heading band and its orange rule at their scaled rows, across the
    // picture and, where the page is wider, on to its right edge.
    ASSERT_TRUE(WaitForPaint(edition, px(300), px(20), IsNavy));
    for (int x : {px(5), px(320), px(630), static_cast<int>(client.right) - 2}) {
        const COLORREF band = ScreenAt(edition, x, px(27));
        const COLORREF rule = ScreenAt(edition, x, px(55) + 1);
        EXPECT_TRUE(band == CLR_INVALID || IsNavy(band)) << "band at x " << x;
        EXPECT_TRUE(rule == CLR_INVALID || IsOrange(rule)) << "rule at x " << x;
    }
    EXPECT_FALSE(IsNavy(ScreenAt(edition, px(320), px(60) + 2)));

    // The download page, which the program builds once the first page is painted.
    HWND download = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (download = FindPageWithControl(main, IDC_STATUS_LINE)); }));
    ::PostMessageW(edition, WM_COMMAND, MAKEWPARAM(IDC_TRIAL_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(edition, IDC_TRIAL_BUTTON)));
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(download) && CheckedDot(download); }));
    ::InvalidateRect(download, nullptr, TRUE);
    ASSERT_TRUE(WaitForPaint(download, px(100), px(120), [](COLORREF c) { return !IsWhite(c); }));

    const struct {
        int id;
        PixelRect at96;
    } places[] = {
        {IDC_SLIDE_DOT1, {297, 188, 312, 201}},     {IDC_SLIDE_DOT3, {337, 188, 352, 201}},
        {IDC_STATUS_LINE, {44, 238, 604, 277}},     {IDC_PROGRESS_BAR, {162, 278, 485, 296}},
        {IDC_INSTALL_BUTTON, {254, 312, 395, 335}},
    };
    // The page moves its controls after painting the picture.
    EXPECT_TRUE(WaitUntil([&] {
        return PlaceOf(download, IDC_INSTALL_BUTTON) ==
               kv::pages::Scaled(PixelRect{254, 312, 395, 335}, dpi);
    }));
    for (const auto& place : places) {
        EXPECT_EQ(PlaceOf(download, place.id), kv::pages::Scaled(place.at96, dpi)) << place.id;
    }

    // The slide fills the left of its area and fades into white at its right end and below it
    // (left of the status line and the buttons).
    const PixelRect picture{px(10), px(20), px(190), px(220)};
    const int points = ((picture.Width() + 3) / 4) * ((picture.Height() + 3) / 4);
    EXPECT_GT(Count(download, picture, [](COLORREF c) { return !IsWhite(c); }), points / 4);
    EXPECT_EQ(Count(download, {px(636), 0, px(700), px(240)},
                    [](COLORREF c) {
                        return GetRValue(c) < 225 || GetGValue(c) < 225 || GetBValue(c) < 225;
                    }),
              0);
    EXPECT_EQ(
        Count(download, {0, px(240), px(40), px(320)}, [](COLORREF c) { return !IsWhite(c); }), 0);
    // A dot stops the show: the slide then changes only on clicks. The selected dot is filled,
    // the others are rings, at the images' scaled size.
    ::PostMessageW(download, WM_COMMAND, MAKEWPARAM(IDC_SLIDE_DOT2, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(download, IDC_SLIDE_DOT2)));
    ASSERT_TRUE(WaitUntil([&] { return CheckedDot(download) == 2; }, seconds(3)));
    auto redIn = [&](int id) { return Count(download, PlaceOf(download, id), IsRed, 1); };
    EXPECT_TRUE(WaitUntil([&] { return redIn(IDC_SLIDE_DOT2) > px(10) * px(10) / 3; }))
        << redIn(IDC_SLIDE_DOT2);
    EXPECT_LT(redIn(IDC_SLIDE_DOT2), px(10) * px(10));
    EXPECT_LT(redIn(IDC_SLIDE_DOT1), redIn(IDC_SLIDE_DOT2));
    EXPECT_GT(redIn(IDC_SLIDE_DOT1), px(10));  // a ring, drawn at the scaled size

    // The click area's corner, scaled, advances the show; a point beside it does nothing.
    ClickAt(download, px(600) + 1, px(100));
    ClickAt(download, px(600), px(200));
    EXPECT_TRUE(WaitUntil([&] { return CheckedDot(download) == 3; }, seconds(3)));
    EXPECT_EQ(CheckedDot(download), 3);

    // A move to a screen of another DPI: the window takes the rectangle the system suggests and
    // lays its pages out again (here the DPI stays the same, so the layout must too).
    ::PostMessageW(download, WM_COMMAND, MAKEWPARAM(IDC_SLIDE_DOT1, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(download, IDC_SLIDE_DOT1)));
    ASSERT_TRUE(WaitUntil([&] { return CheckedDot(download) == 1; }, seconds(3)));
    RECT frame{};
    ::GetWindowRect(main, &frame);
    RECT suggested{frame.left + 8, frame.top + 6, frame.right + 8 + px(20), frame.bottom + 6};
    ASSERT_TRUE(SendDpiChanged(installer.Pid(), main, dpi, suggested));
    RECT moved{};
    ::GetWindowRect(main, &moved);
    EXPECT_EQ(
        std::vector<LONG>({moved.left, moved.top, moved.right, moved.bottom}),
        std::vector<LONG>({suggested.left, suggested.top, suggested.right, suggested.bottom}));
    RECT mainClient{};
    RECT pageClient{};
    ::GetClientRect(main, &mainClient);
    ::GetClientRect(download, &pageClient);
    EXPECT_EQ(pageClient.right, mainClient.right);
    EXPECT_EQ(pageClient.bottom, mainClient.bottom);
    // The first slide's disc, painted again.
    EXPECT_TRUE(WaitForPaint(download, px(100), px(120), [](COLORREF c) { return !IsWhite(c); }));
    EXPECT_EQ(PlaceOf(download, IDC_STATUS_LINE),
              kv::pages::Scaled(PixelRect{44, 238, 604, 277}, dpi));

    installer.Terminate();
}

}  // namespace
}  // namespace kv::test
