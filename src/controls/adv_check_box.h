#pragma once
// A dialog's check box, three-state check box or radio button drawn by its owner: a 10 x 10 box,
// from an image list or drawn by hand, beside the caption. The control keeps its own check state,
// shows when the mouse rests on it, and a radio button turns the others of its group off.
//
// The parent takes part in the drawing: its WM_DRAWITEM handler calls HandleDrawItem.

#include <windows.h>

#include "controls/check_box_layout.h"
#include "win/handles.h"
#include "win/subclassed_window.h"

class CAdvCheckBox : public kv::win::SubclassedWindow {
  public:
    CAdvCheckBox();
    ~CAdvCheckBox() override;

    // Takes over a button of a dialog; check boxes and radio buttons become owner-drawn, while a
    // disabled control or one of another type keeps its standard look. False when the window
    // cannot be taken over.
    bool Attach(HWND control);

    // Turns the control on (and, for a radio button, the rest of its group off).
    void Select();
    // Turns off the other radio buttons of this kind in this control's dialog group.
    void ClearGroup();
    // What a click does: the next state of a check box, or on for a radio button.
    void Toggle();
    // 0 unchecked, 1 checked, 2 indeterminate.
    int State() const { return state; }

    // Images of 10 x 10 pixels, index hover + 2 x state; the control owns the list.
    void SetImageList(kv::win::ImageList list);

    // For the parent's WM_DRAWITEM: draws the item when it is one of ours (then true).
    static bool HandleDrawItem(LPARAM drawItem);
    static CAdvCheckBox* FromHandle(HWND window);

  protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    void TakeRolesFromStyle();
    void TrackHover();
    void SetHover(bool on);
    bool OnButtonUp(LPARAM point);

    void Draw(HDC dc, const RECT& item) const;
    void DrawCaption(HDC dc, const kv::controls::Rect& area, DWORD style) const;
    void DrawBoxByHand(HDC dc, const kv::controls::Rect& box) const;
    void DrawCheckMark(HDC dc, const kv::controls::Rect& inner) const;

    COLORREF frameColour;
    COLORREF markColour;
    kv::win::ImageList imageList;
    bool hover = false;
    int state = 0;
    bool threeState = false;
    bool radio = false;
    bool checkBox = false;
    bool pressed = false;
};
