#pragma once
// What the pages' own painting follows besides their design: the reading direction of the
// language (a mirrored window) and the system's High Contrast setting.

#include <windows.h>

// True while the user has High Contrast on: the pages then paint in the system's colours and
// leave out their pictures.
bool HighContrastOn();
// Tests replace the system's setting: 1 on, 0 off, -1 the system's again.
void OverrideHighContrastForTesting(int on);

// DT_RTLREADING on a mirrored device context, else 0: texts of a right-to-left language.
UINT ReadingOrder(HDC dc);

// The colour of the pages' own texts: the design's, or the system's window text colour.
COLORREF PageTextColour();
// The brush behind the pages' texts and controls (the caller does not own it).
HBRUSH PageBackgroundBrush(HBRUSH designBrush);

// For one scope, a mirrored device context paints from the left as in a left-to-right language:
// pictures that hold a logo or text read the same, and lie in the same place, in every language.
class UnmirroredPictures {
  public:
    explicit UnmirroredPictures(HDC dc);
    UnmirroredPictures(const UnmirroredPictures&) = delete;
    UnmirroredPictures& operator=(const UnmirroredPictures&) = delete;
    ~UnmirroredPictures();

  private:
    HDC dc_;
    DWORD previous_;
};
