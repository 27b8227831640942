#pragma once
// A static text whose changes screen readers announce: every new text raises the name-change
// event and, where the system has it, the live-region event, as a status line should.

#include "win/subclassed_window.h"

class AnnouncedText : public kv::win::SubclassedWindow {
  public:
    bool Attach(HWND control) { return Subclass(control); }

  protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
