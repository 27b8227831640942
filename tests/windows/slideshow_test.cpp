// The download page's look and slideshow as a user sees them: slides advancing on their own,
// clicks on a dot or on the slide stopping the show, the controls at their pixel places, and the
// screen showing the picture, the white page and the selected dot.

#include <gtest/gtest.h>

#include <vector>

#include "download_run.h"
#include "res/ids/download_page_ids.h"
#include "service_client.h"

namespace kv::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// True when the checked dot stays `dot` for longer than the show's 3-second step.
bool Stays(const DownloadRun& run, int dot) {
    return !WaitUntil([&] { return run.CheckedDot() != dot; }, milliseconds(3600));
}

void ClickAt(HWND window, int x, int y) {
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Where a control lies in its parent's client area.
RECT PlaceOf(HWND parent, int id) {
    RECT place{};
    ::GetWindowRect(::GetDlgItem(parent, id), &place);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool IsWhite(COLORREF colour) {
    return GetRValue(colour) > 245 && GetGValue(colour) > 245 && GetBValue(colour) > 245;
}

bool IsRed(COLORREF colour) {
    return GetRValue(colour) > 150 && GetGValue(colour) < 110 && GetBValue(colour) < 110;
}

// Counts the pixels of a client rectangle of `window`, as the screen shows them, that match.
int CountPixels(HWND window, RECT area, bool (*matches)(COLORREF)) {
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    HDC screen = ::GetDC(nullptr);
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) count += matches(::GetPixel(screen, x, y));
    }
    ::ReleaseDC(nullptr, screen);
    return count;
}

int RedInDot(HWND page, int dot) {
    HWND control = ::GetDlgItem(page, IDC_SLIDE_DOT1 + dot - 1);
    RECT client{};
    ::GetClientRect(control, &client);
    return CountPixels(control, client, IsRed);
}

TEST(Slideshow, AdvancesStopsOnClicksAndShowsThePageAsDrawn) {
    DownloadRun run;
    // A transfer that lasts: the page stays as it is while the show runs.
    ASSERT_TRUE(service_client::Control(L"port=both&scope=files&trickle=1024:1000"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    ASSERT_TRUE(WaitUntil([&] { return run.CheckedDot() == 1; }, seconds(5)));
    const HWND page = run.DownloadPage();

    // Clicks beside or below the slide area leave the show running: 1, 2, 3, 1 every 3 s.
    ClickAt(page, 601, 100);
    ClickAt(page, 100, 201);
    for (int dot : {2, 3, 1}) {
        ASSERT_TRUE(WaitUntil([&] { return run.CheckedDot() == dot; }, seconds(4))) << dot;
    }

    // A click on the slide's corner advances once and stops the show.
    const int before = run.CheckedDot();
    const int next = before % 3 + 1;
    ClickAt(page, 600, 200);
    EXPECT_TRUE(WaitUntil([&] { return run.CheckedDot() == next; }, seconds(2)));
    EXPECT_TRUE(Stays(run, next));

    // A click on another dot shows its slide and keeps it.
    const int chosen = next % 3 + 1;
    ClickAt(::GetDlgItem(page, IDC_SLIDE_DOT1 + chosen - 1), 7, 6);
    EXPECT_TRUE(WaitUntil([&] { return run.CheckedDot() == chosen; }, seconds(2)));
    EXPECT_TRUE(Stays(run, chosen));

    // After a repaint the status line and the bar sit at their pixel places.
    ::InvalidateRect(page, nullptr, TRUE);
    EXPECT_TRUE(WaitUntil([&] { return !::GetUpdateRect(page, nullptr, FALSE); }));
    const RECT status = PlaceOf(page, IDC_STATUS_LINE);
    const RECT bar = PlaceOf(page, IDC_PROGRESS_BAR);
    EXPECT_EQ(std::vector<LONG>({status.left, status.top, status.right, status.bottom}),
              std::vector<LONG>({44, 238, 604, 277}));
    EXPECT_EQ(std::vector<LONG>({bar.left, bar.top, bar.right, bar.bottom}),
              std::vector<LONG>({162, 278, 485, 296}));

    // The screen: the slide's picture on the left of the top 240 rows, white under it and beside
    // the bar, and the selected dot filled while the others are rings.
    EXPECT_TRUE(WaitUntil([&] {
        return CountPixels(page, {10, 20, 190, 220}, [](COLORREF c) { return !IsWhite(c); }) >
               180 * 200 / 4;
    }));
    EXPECT_EQ(CountPixels(page, {0, 300, 150, 340}, [](COLORREF c) { return !IsWhite(c); }), 0);
    const int filled = RedInDot(page, chosen);
    for (int dot = 1; dot <= 3; ++dot) {
        if (dot != chosen) EXPECT_LT(RedInDot(page, dot), filled) << dot;
    }

    HWND box = run.Installer().AskToClose(run.Main());
    ASSERT_TRUE(box);
    Answer(box, IDYES);
    EXPECT_TRUE(run.Installer().WaitForExit());
}

}  // namespace
}  // namespace kv::test
