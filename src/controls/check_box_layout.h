#pragma once
// The owner-drawn check box's arithmetic, free of Windows: which button styles it takes over,
// which image shows a state, where the box and the caption lie within an item, which state a
// click leads to and where the strokes of the check mark go.

#include <array>
#include <cstdint>

#include "controls/rect.h"

namespace kv::controls {

// `r` with every side moved inwards by `by` pixels.
Rect Shrunk(Rect r, int by);

inline constexpr int kBoxSize = 10;
inline constexpr int kCaptionIndent = kBoxSize + 5;

// What a button style makes of the control; only check boxes and radio buttons are drawn.
struct ButtonRoles {
    bool threeState = false;
    bool checkBox = false;
    bool radio = false;

    bool Drawn() const { return checkBox || radio; }
};
ButtonRoles RolesOfStyle(std::uint32_t style);
// The style with the button type made owner-drawn; every other bit is kept.
std::uint32_t OwnerDrawStyle(std::uint32_t style);

enum class CaptionAlign { Left, Centre, Right };
CaptionAlign CaptionAlignOfStyle(std::uint32_t style);
bool TextOnLeft(std::uint32_t style);

// Images come in pairs, the second of each under the mouse: unchecked, checked, indeterminate.
int ImageIndex(bool hover, int state);

struct CheckBoxLayout {
    Rect box;
    Rect caption;
};
// The box (10 pixels, or the size of the control's images) is centred vertically in an item higher
// than the box, on the item's left (caption 5 pixels after it) or, for text on the left, on its
// right (caption over the whole item).
CheckBoxLayout LayOut(Rect item, bool textOnLeft, int boxSize = kBoxSize);

// A radio button only ever turns itself on; a check box cycles through two or three states.
int NextState(int state, bool radio, bool threeState);

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};
// One stroke of the check mark: a short line down to `corner`, then a long one up to `to`
// (whose last pixel is left out, as line drawing does).
struct Stroke {
    Point from;
    Point corner;
    Point to;
};
// Three parallel strokes make a mark 3 pixels thick inside the box's inner area.
std::array<Stroke, 3> CheckMarkStrokes(Rect inner);

}  // namespace kv::controls
