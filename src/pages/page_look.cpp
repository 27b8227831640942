#include "pages/page_look.h"

#include "pages/page_fonts.h"

namespace {
int g_highContrastOverride = -1;
}  // namespace

bool HighContrastOn() {
    if (g_highContrastOverride >= 0) return g_highContrastOverride != 0;
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void OverrideHighContrastForTesting(int on) {
    g_highContrastOverride = on;
}

UINT ReadingOrder(HDC dc) {
    return (::GetLayout(dc) & LAYOUT_RTL) ? DT_RTLREADING : 0;
}

COLORREF PageTextColour() {
    return HighContrastOn() ? ::GetSysColor(COLOR_WINDOWTEXT) : kPageTextColour;
}

HBRUSH PageBackgroundBrush(HBRUSH designBrush) {
    return HighContrastOn() ? ::GetSysColorBrush(COLOR_WINDOW) : designBrush;
}

UnmirroredPictures::UnmirroredPictures(HDC dc) : dc_(dc), previous_(::GetLayout(dc)) {
    if (previous_ & LAYOUT_RTL) ::SetLayout(dc_, 0);
}

UnmirroredPictures::~UnmirroredPictures() {
    if (previous_ & LAYOUT_RTL) ::SetLayout(dc_, previous_);
}
