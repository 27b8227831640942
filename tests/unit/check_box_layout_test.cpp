// The owner-drawn check box's arithmetic: which buttons it takes over, images, layout, states.

#include <gtest/gtest.h>

#include "controls/check_box_layout.h"

namespace kv::controls {
namespace {

TEST(CheckBoxStyles, OnlyCheckBoxesAndRadioButtonsAreTakenOverAndKeepTheirOtherBits) {
    struct Case {
        std::uint32_t type;
        bool threeState, checkBox, radio;
    };
    const Case cases[] = {
        {0x0, false, false, false},  // push button
        {0x1, false, false, false},  // default push button
        {0x2, false, true, false},  {0x3, false, true, false},  {0x4, false, false, true},
        {0x5, true, true, false},   {0x6, true, true, false},   {0x9, false, false, true},
        {0x7, false, false, false},  // group box: shares bits with both three-state types
        {0xB, false, false, false},  // already owner-drawn
        {0xD, false, false, false}, {0xE, false, false, false}, {0xF, false, false, false},
    };
    for (const Case& c : cases) {
        const ButtonRoles roles = RolesOfStyle(0x50010000u | 0x20 | c.type);
        EXPECT_EQ(roles.threeState, c.threeState) << c.type;
        EXPECT_EQ(roles.checkBox, c.checkBox) << c.type;
        EXPECT_EQ(roles.radio, c.radio) << c.type;
    }
    // Radio type 4 has the bit the owner-draw type lacks; the text side, alignment and window
    // bits stay.
    EXPECT_EQ(OwnerDrawStyle(0x50010324u), 0x5001032Bu);
    EXPECT_EQ(OwnerDrawStyle(0x00000006u), 0x0000000Bu);
    EXPECT_TRUE(TextOnLeft(0x20));
    EXPECT_EQ(CaptionAlignOfStyle(0x300), CaptionAlign::Centre);
    EXPECT_EQ(CaptionAlignOfStyle(0x200), CaptionAlign::Right);
    EXPECT_EQ(CaptionAlignOfStyle(0x100), CaptionAlign::Left);
}

TEST(CheckBoxStates, ClicksCycleAndImagesFollowStateAndHover) {
    EXPECT_EQ(NextState(0, false, false), 1);
    EXPECT_EQ(NextState(1, false, false), 0);
    EXPECT_EQ(NextState(0, false, true), 1);
    EXPECT_EQ(NextState(1, false, true), 2);
    EXPECT_EQ(NextState(2, false, true), 0);
    EXPECT_EQ(NextState(0, true, false), 1);
    EXPECT_EQ(NextState(1, true, false), 1);  // a radio button that is on stays on
    int index = 0;
    for (int state = 0; state <= 2; ++state)
        for (bool hover : {false, true}) EXPECT_EQ(ImageIndex(hover, state), index++);
}

TEST(CheckBoxLayout, BoxIsCentredInTallItemsBesideTheCaption) {
    // 13 pixels high: rows 1 to 10.
    CheckBoxLayout l = LayOut({0, 0, 15, 13}, false);
    EXPECT_EQ(l.box, (Rect{0, 1, 10, 11}));
    EXPECT_EQ(l.caption, (Rect{15, 0, 15, 13}));
    // Odd spare rows round the top down; an item no higher than the box keeps its height.
    EXPECT_EQ(LayOut({0, 0, 100, 16}, false).box, (Rect{0, 3, 10, 13}));
    EXPECT_EQ(LayOut({0, 0, 100, 8}, false).box, (Rect{0, 0, 10, 8}));
    // Text on the left: the box on the right, the caption over the whole item.
    l = LayOut({0, 0, 100, 20}, true);
    EXPECT_EQ(l.box, (Rect{90, 5, 100, 15}));
    EXPECT_EQ(l.caption, (Rect{0, 0, 100, 20}));
    // Images scaled for 200 %: a 20-pixel box in the 30 x 26 item of a dot, the caption after it.
    l = LayOut({0, 0, 30, 26}, false, 20);
    EXPECT_EQ(l.box, (Rect{0, 3, 20, 23}));
    EXPECT_EQ(l.caption.left, 25);
}

TEST(CheckBoxLayout, CheckMarkStaysInsideTheInnerArea) {
    const Rect inner{1, 2, 9, 10};  // the 8 x 8 inside of a box at rows 1 to 10
    for (const Stroke& s : CheckMarkStrokes(inner)) {
        for (Point p : {s.from, s.corner}) {
            EXPECT_GE(p.x, inner.left);
            EXPECT_LT(p.x, inner.right);
            EXPECT_GE(p.y, inner.top);
            EXPECT_LT(p.y, inner.bottom);
        }
        EXPECT_LT(s.to.y, s.from.y);      // the long arm rises
        EXPECT_GE(s.corner.y, s.from.y);  // the short one does not rise
    }
}

}  // namespace
}  // namespace kv::controls
