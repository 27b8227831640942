#include "controls/check_box_layout.h"

namespace kv::controls {

namespace {
// The button styles this code reads; the values are the system's.
constexpr std::uint32_t kTypeMask = 0x0F;
constexpr std::uint32_t kCheckBox = 0x02;
constexpr std::uint32_t kAutoCheckBox = 0x03;
constexpr std::uint32_t kRadioButton = 0x04;
constexpr std::uint32_t kThreeState = 0x05;
constexpr std::uint32_t kAutoThreeState = 0x06;
constexpr std::uint32_t kAutoRadioButton = 0x09;
constexpr std::uint32_t kOwnerDraw = 0x0B;
constexpr std::uint32_t kLeftText = 0x20;
constexpr std::uint32_t kAlignMask = 0x300;
constexpr std::uint32_t kAlignRight = 0x200;
constexpr std::uint32_t kAlignCentre = 0x300;
}  // namespace

Rect Shrunk(Rect r, int by) {
    return {r.left + by, r.top + by, r.right - by, r.bottom - by};
}

ButtonRoles RolesOfStyle(std::uint32_t style) {
    // The type is a number, not a set of flags: a group box (7), a split button or a command
    // link shares bits with the three-state types but is none of them.
    ButtonRoles roles;
    switch (style & kTypeMask) {
        case kThreeState:
        case kAutoThreeState:
            roles.threeState = true;
            roles.checkBox = true;
            break;
        case kCheckBox:
        case kAutoCheckBox:
            roles.checkBox = true;
            break;
        case kRadioButton:
        case kAutoRadioButton:
            roles.radio = true;
            break;
        default:
            break;
    }
    return roles;
}

std::uint32_t OwnerDrawStyle(std::uint32_t style) {
    return (style & ~kTypeMask) | kOwnerDraw;
}

CaptionAlign CaptionAlignOfStyle(std::uint32_t style) {
    switch (style & kAlignMask) {
        case kAlignCentre:
            return CaptionAlign::Centre;
        case kAlignRight:
            return CaptionAlign::Right;
        default:
            return CaptionAlign::Left;
    }
}

bool TextOnLeft(std::uint32_t style) {
    return (style & kLeftText) != 0;
}

int ImageIndex(bool hover, int state) {
    return (hover ? 1 : 0) + 2 * state;
}

CheckBoxLayout LayOut(Rect item, bool textOnLeft, int boxSize) {
    CheckBoxLayout layout{item, item};
    Rect& box = layout.box;
    if (item.Height() > boxSize) {
        box.top = item.top + (item.Height() - boxSize) / 2;
        box.bottom = box.top + boxSize;
    }
    if (textOnLeft) {
        box.left = box.right - boxSize;
    } else {
        box.right = box.left + boxSize;
        layout.caption.left = item.left + boxSize + (kCaptionIndent - kBoxSize);
    }
    return layout;
}

int NextState(int state, bool radio, bool threeState) {
    if (radio) return 1;
    return (state + 1) % (threeState ? 3 : 2);
}

std::array<Stroke, 3> CheckMarkStrokes(Rect inner) {
    const int m = inner.Height() / 2 - 2;
    const Rect c = Shrunk(inner, 1);
    std::array<Stroke, 3> strokes;
    for (int i = 0; i < 3; ++i) {
        // The lowest stroke first, each next one a pixel higher.
        strokes[i] = {{c.left + 1, c.top + 2 - i + m},
                      {c.left + 3, c.bottom - 2 - i},
                      {c.right - 1, c.top + 2 - i}};
    }
    return strokes;
}

}  // namespace kv::controls
