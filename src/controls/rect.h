#pragma once
// A rectangle of pixels, free of Windows: left and top inside, right and bottom just outside, as
// in a RECT. The check box's layout and the pages' geometry both measure with it.

namespace kv::controls {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

}  // namespace kv::controls
