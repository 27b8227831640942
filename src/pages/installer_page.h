#pragma once
// Common base of the main window's pages: a child dialog with a heading, a sub-heading and a
// background picture that the derived page paints in its own way.

#include <string>

#include "win/dialog.h"

class CInstallerPage : public kv::win::Dialog {
  public:
    using Dialog::Dialog;

  protected:
    std::wstring m_strTitle;
    std::wstring m_strSubtitle;
    HBITMAP m_pBackground = nullptr;  // not owned; may be null (no picture)
};
