#pragma once
// The download page's slideshow, free of Windows: which slide comes next, what each slide says,
// and which clicks on the page stop the show.

#include <string_view>

struct SlideTexts {
    std::wstring_view subtitleKey;
    std::wstring_view descriptionKey;
};

inline constexpr int kSlideCount = 3;

// Slide `requested` (1 to 3), or for 0 the one after `current` (3 is followed by 1).
int ChooseSlide(int requested, int current);
// The text keys of a slide; any number but 2 and 3 counts as slide 1.
SlideTexts TextsOfSlide(int slide);
// A click on the page at this client point (pixels of a window at `dpi`) advances the show and
// stops it.
bool InSlideArea(int x, int y, int dpi);
