#pragma once
// The pages' geometry, free of Windows: every place and size is laid out for 96 DPI and scaled
// to the window's DPI when used, so the pages keep their proportions on every screen.

#include "controls/rect.h"

namespace kv::pages {

inline constexpr int kLayoutDpi = 96;

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

using PixelRect = kv::controls::Rect;

// A length of the 96-DPI layout at `dpi`, rounded to the nearest pixel (halves away from zero,
// as MulDiv does). A DPI of 0 or less counts as 96.
int Scaled(int length, int dpi);
PixelSize Scaled(PixelSize size, int dpi);
// Each edge is scaled on its own, so rectangles that touch at 96 DPI touch at every DPI.
PixelRect Scaled(PixelRect rect, int dpi);

// The em height in pixels of a font of `points` at `dpi` (points are 1/72 inch).
int FontPixelHeight(int points, int dpi);

// The page's texts, in pixels of the client area at 96 DPI.
inline constexpr PixelRect kEditionTitleRect{20, 70, 600, 100};
inline constexpr PixelRect kEditionSubtitleRect{20, 105, 600, 125};
inline constexpr PixelRect kSlideTitleRect{195, 70, 600, 100};
inline constexpr PixelRect kSlideSubtitleRect{195, 105, 600, 125};
inline constexpr PixelRect kSlideTextRect{195, 130, 600, 200};

// The smallest page that holds the layout: the pictures' width, and the buttons' bottom (335)
// with the margin the template's dialog units leave on Windows at 96 DPI. Where a system's
// dialog units make the page smaller (Wine's fonts at 200 %), the main window grows to this.
inline constexpr PixelSize kPageMinimumSize{640, 352};

// The pictures as the pages lay them out at 96 DPI (the program holds them at twice the size).
inline constexpr PixelSize kBackgroundSize{640, 372};
inline constexpr int kSlideShownHeight = 240;  // the slides' top part; the status area is below
inline constexpr int kButtonPictureSize = 32;
inline constexpr int kDotImageSize = 10;

// The slideshow's click area: points at or left of x and at or above y.
inline constexpr int kSlideAreaRight = 600;
inline constexpr int kSlideAreaBottom = 200;

}  // namespace kv::pages
