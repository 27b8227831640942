#pragma once
// PNG pictures from the program's resources (type "PNG"), decoded with GDI+ into plain GDI
// objects that the pages paint with BitBlt or hand to controls.

#include "win/handles.h"

namespace kv::win {

// GDI+ for as long as the object lives. Pictures can be loaded only while a session exists, so
// the program keeps one from its start until every page is gone.
class GdiplusSession {
  public:
    // Started later with Start(), on any thread: loading GDI+ need not hold up the window.
    struct Deferred {};

    GdiplusSession();
    explicit GdiplusSession(Deferred) {}
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession();
    // Starts GDI+ unless it is started already.
    void Start();
    bool Ok() const { return token_ != 0; }

  private:
    ULONG_PTR token_ = 0;
};

// The PNG resource `id` of `module` as a 32-bit top-down DIB section with premultiplied alpha
// (so AlphaBlend can use it; BitBlt of an opaque picture copies it as it is). Empty when the
// resource is missing or can't be decoded.
Bitmap LoadPngResource(HMODULE module, int id);
// The same, scaled to `size` with high-quality filtering (the pictures are drawn at twice the
// size the pages need at 96 DPI and shrunk once for the window's DPI).
Bitmap LoadPngResource(HMODULE module, int id, SIZE size);

// The same picture as an icon (icons keep straight alpha). Empty on failure.
Icon LoadPngIcon(HMODULE module, int id);

// A one-picture image list with the PNG scaled to `size` x `size` with its alpha, for a button's
// picture (BCM_SETIMAGELIST). Empty on failure.
ImageList LoadPngImageList(HMODULE module, int id, int size);

// A 32-bit bitmap resource of square images side by side, transparent where its alpha is 0, as
// an image list of those images scaled to `imageSize` pixels. Empty on failure.
ImageList LoadImageStrip(HMODULE module, int id, int imageSize);

}  // namespace kv::win
