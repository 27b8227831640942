#pragma once
// Common base of the main window's pages: a child dialog with a heading, a sub-heading and a
// background picture that the derived page paints in its own way. Pages lay themselves out for
// 96 DPI and scale every place, size and picture to the DPI of their window.

#include <string>

#include "pages/page_geometry.h"
#include "win/dialog.h"
#include "win/dpi.h"

class CInstallerPage : public kv::win::Dialog {
  public:
    using Dialog::Dialog;

    // The window's DPI has changed (the page fonts are already made anew): the page takes the
    // fonts, scales its pictures again and repaints.
    virtual void ApplyDpi() {}

  protected:
    int Dpi() const { return kv::win::WindowDpi(Hwnd()); }
    int Px(int length) const { return kv::pages::Scaled(length, Dpi()); }
    RECT Px(kv::pages::PixelRect rect) const {
        const kv::pages::PixelRect scaled = kv::pages::Scaled(rect, Dpi());
        return {scaled.left, scaled.top, scaled.right, scaled.bottom};
    }
    // True once when the pictures must be scaled for the window's DPI: the first time, and
    // after the DPI has changed. Scaling happens once per DPI, never at every paint.
    bool PicturesNeedScaling() {
        const int dpi = Dpi();
        if (dpi == m_nPictureDpi) return false;
        m_nPictureDpi = dpi;
        return true;
    }

    std::wstring m_strTitle;
    std::wstring m_strSubtitle;
    HBITMAP m_pBackground = nullptr;  // not owned; may be null (no picture)
    int m_nPictureDpi = 0;            // the DPI the pictures are scaled for; 0 not yet
};
