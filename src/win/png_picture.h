#pragma once
// PNG pictures from the program's resources (type "PNG"), decoded into plain GDI objects that the
// pages paint with BitBlt or hand to controls: by the program's own decoder (win/png_pixels.h)
// where no filter is needed, else with GDI+.

#include "win/handles.h"

namespace kv::win {

// GDI+ for as long as the object lives. Pictures that need GDI+ can be loaded only while a
// session exists, so the program keeps one from its start until every page is gone.
class GdiplusSession {
  public:
    // Started by Start() or, for the first such session, by the first picture that needs GDI+
    // (on whatever thread loads it): loading GDI+ need not hold up the window, and at 96 and
    // 192 DPI no picture of the program needs it.
    struct Deferred {};

    GdiplusSession();
    explicit GdiplusSession(Deferred);
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession();
    // Starts GDI+ unless it is started already.
    void Start();
    bool Ok() const { return token_ != 0; }

    // Starts the deferred session, if there is one and it is not started yet.
    static void StartDeferred();

  private:
    void StartLocked();  // Start() with the sessions' lock held

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

// The image of icon group `id` for `size` x `size` pixels. Its PNG images are decoded here: the
// system's decoder loads a dozen libraries first. Empty on failure.
Icon LoadIconResource(HMODULE module, int id, int size);

// A one-picture image list with the PNG scaled to `size` x `size` with its alpha, for a button's
// picture (BCM_SETIMAGELIST). Empty on failure.
ImageList LoadPngImageList(HMODULE module, int id, int size);

// A 32-bit bitmap resource of square images side by side, transparent where its alpha is 0, as
// an image list of those images scaled to `imageSize` pixels. Empty on failure.
ImageList LoadImageStrip(HMODULE module, int id, int imageSize);

}  // namespace kv::win
