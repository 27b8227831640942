// The download page's decisions: time left, retries, the bar, the local file's name and what is
// handed to the setup.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "pages/download_rules.h"
#include "pages/page_geometry.h"
#include "pages/slideshow.h"
#include "pages/time_left_estimator.h"

namespace {

TEST(TimeLeft, EstimatesFromTheAverageGainOverFiveSeconds) {
    TimeLeftEstimator estimator;
    // The window starts with five zero gains: the first seconds count as seconds without gain.
    EXPECT_EQ(estimator.EstimateSeconds(2), 245);
    EXPECT_EQ(estimator.EstimateSeconds(4), 120);
    EXPECT_EQ(estimator.EstimateSeconds(6), 78);

    estimator.Reset();
    for (int percent : {10, 20, 30, 40}) estimator.EstimateSeconds(percent);
    EXPECT_EQ(estimator.EstimateSeconds(50), 5);

    estimator.Reset();
    EXPECT_EQ(estimator.EstimateSeconds(1), 495);

    // Five ticks without gain: (100 - p) x 1000 seconds, no division by zero.
    for (int i = 0; i < 5; ++i) estimator.EstimateSeconds(30);
    EXPECT_EQ(estimator.EstimateSeconds(30), 70000);
    EXPECT_EQ(estimator.EstimateSeconds(100), 0);
}

TEST(TimeLeft, ShowsHoursAboveAnHourAndMinutesAboveAMinute) {
    struct Case {
        int seconds;
        const wchar_t* key;
        int number;
    };
    for (const Case& c :
         {Case{495, L"MINUTES_LEFT", 8}, Case{3600, L"MINUTES_LEFT", 60},
          Case{3601, L"HOURS_LEFT", 1}, Case{7199, L"HOURS_LEFT", 1}, Case{60, L"SECONDS_LEFT", 60},
          Case{61, L"MINUTES_LEFT", 1}, Case{0, L"SECONDS_LEFT", 0}}) {
        const TimeLeftText text = ChooseTimeLeftText(c.seconds);
        EXPECT_EQ(text.key, c.key) << c.seconds;
        EXPECT_EQ(text.number, c.number) << c.seconds;
    }
}

TEST(ProgressBar, FollowsTheBytesAndNeverDividesByZero) {
    EXPECT_EQ(ProgressPercent(3000, 1000), 33);
    EXPECT_EQ(ProgressPercent(3000, 3000), 100);
    EXPECT_EQ(ProgressPercent(3000, 4000), 100);
    EXPECT_EQ(ProgressPercent(0, 5000), 0);  // no length announced: the bar stays at 0
    EXPECT_EQ(ProgressPercent(-1, 5000), 0);
    EXPECT_NEAR(ProgressPercent(LLONG_MAX, LLONG_MAX / 2), 50, 1);  // no overflow
}

TEST(SetupFile, NamesUrlsAndTheSetupsCommandLine) {
    EXPECT_EQ(WithNumberMark(L"KVProInstaller.exe"), L"KVProInstaller().exe");
    EXPECT_EQ(WithNumberMark(L"Setup(1).exe"), L"Setup(1).exe");
    EXPECT_EQ(WithNumberMark(L"noextension"), L"noextension");
    EXPECT_EQ(NumberedCandidate(L"KVProInstaller().exe", 1), L"KVProInstaller.exe");
    EXPECT_EQ(NumberedCandidate(L"KVProInstaller().exe", 2), L"KVProInstaller(2).exe");
    EXPECT_EQ(NumberedCandidate(L"KVProInstaller().exe", 12), L"KVProInstaller(12).exe");
    EXPECT_EQ(FileNamePart(L"C:\\temp\\KVProInstaller.exe"), L"KVProInstaller.exe");

    EXPECT_EQ(TempFolderFrom(L"C:\\temp\\", 8, 260), L"C:\\temp\\");
    EXPECT_EQ(TempFolderFrom(L"", 0, 260), L"C:\\");
    EXPECT_EQ(TempFolderFrom(L"", 300, 260), L"C:\\");

    EXPECT_TRUE(IsWebUrl(L"http://127.0.0.1:47801/files/setup.exe"));
    EXPECT_TRUE(IsWebUrl(L"HTTPS://dl.example/setup.exe"));
    for (const wchar_t* bad : {L"", L"http://", L"ftp://host/setup.exe", L"file:///C:/setup.exe",
                               L"C:\\setup.exe", L"garbage\x0001"}) {
        EXPECT_FALSE(IsWebUrl(bad)) << bad;
    }

    EXPECT_EQ(SetupParameters(1), L"/glic 1");
    EXPECT_EQ(SetupParameters(7), L"/glic 1");
    EXPECT_EQ(SetupParameters(0), L"/glic 2");
    EXPECT_EQ(ReturnMarkerPath(L"C:\\temp\\"),
              L"C:\\temp\\a37f9de0-c0f3-4cd9-968a-4613a0a3e142.dat");
}

}  // namespace

namespace {

TEST(Slideshow, AdvancesInARingAndOnlyTheSlideAreaStopsIt) {
    int slide = 1;
    std::vector<int> shown;
    for (int i = 0; i < 4; ++i) shown.push_back(slide = ChooseSlide(0, slide));
    EXPECT_EQ(shown, (std::vector<int>{2, 3, 1, 2}));
    EXPECT_EQ(ChooseSlide(3, 1), 3);
    EXPECT_EQ(ChooseSlide(0, 7), 1);  // a value out of range starts the ring again
    // Each slide has its own texts; one out of range shows the first slide's.
    const auto title = [](int slide) { return TextsOfSlide(slide).subtitleKey; };
    EXPECT_TRUE(title(1) != title(2) && title(2) != title(3) && title(3) != title(1));
    EXPECT_EQ(title(0), title(1));
    EXPECT_TRUE(InSlideArea(600, 200, 96));
    EXPECT_TRUE(InSlideArea(0, 0, 96));
    EXPECT_FALSE(InSlideArea(601, 100, 96));
    EXPECT_FALSE(InSlideArea(100, 201, 96));
    // The area grows with the window's DPI.
    EXPECT_TRUE(InSlideArea(900, 300, 144));
    EXPECT_FALSE(InSlideArea(901, 300, 144));
    EXPECT_TRUE(InSlideArea(1200, 400, 192));
    EXPECT_FALSE(InSlideArea(1200, 401, 192));
}

// Lengths round to the nearest pixel, halves away from zero; rectangles scale edge by edge, so
// neighbours stay neighbours and a picture's area meets the texts' areas as at 96 DPI.
TEST(PageGeometry, ScalesLengthsAndRectanglesToTheWindowsDpi) {
    using kv::pages::PixelRect;
    using kv::pages::Scaled;
    EXPECT_EQ(Scaled(640, 96), 640);
    EXPECT_EQ(Scaled(640, 0), 640);  // unknown DPI: the layout's own
    EXPECT_EQ(Scaled(15, 144), 23);  // 22.5
    EXPECT_EQ(Scaled(13, 144), 20);  // 19.5
    EXPECT_EQ(Scaled(-13, 144), -20);
    EXPECT_EQ(Scaled(1, 120), 1);      // 1.25
    EXPECT_EQ(Scaled(297, 120), 371);  // 371.25
    EXPECT_EQ(Scaled(240, 192), 480);
    EXPECT_EQ(kv::pages::FontPixelHeight(14, 96), 19);  // 18.67
    EXPECT_EQ(kv::pages::FontPixelHeight(11, 144), 22);
    EXPECT_EQ(kv::pages::FontPixelHeight(10, 192), 27);  // 26.67
    EXPECT_EQ(Scaled(kv::pages::kBackgroundSize, 144), (kv::pages::PixelSize{960, 558}));

    // 195 at 120 DPI is 243.75 and 600 is 750: the width follows from the edges.
    const PixelRect text = Scaled(kv::pages::kSlideTextRect, 120);
    EXPECT_EQ(text, (PixelRect{244, 163, 750, 250}));
    EXPECT_EQ(text.Width(), 506);
    // A dot and the gap after it touch at every DPI, whatever the rounding does to each width.
    for (int dpi : {96, 120, 144, 168, 192, 240}) {
        const PixelRect dot = Scaled(PixelRect{297, 188, 312, 201}, dpi);
        const PixelRect gap = Scaled(PixelRect{312, 188, 317, 201}, dpi);
        EXPECT_EQ(dot.right, gap.left) << dpi;
        EXPECT_EQ(dot.bottom, Scaled(201, dpi)) << dpi;
    }
}

}  // namespace
