#pragma once
// The edition choice page's pictures, decoded on a thread of their own while the program sets
// up the rest of its start (sockets, the single-instance check, the window), so that the window
// appears sooner.

#include "win/handles.h"
#include "win/png_picture.h"
#include "win/threads.h"

struct EditionPictures {
    int dpi = 0;  // the DPI they are scaled for
    kv::win::Bitmap background;
    kv::win::ImageList trialPicture;
    kv::win::ImageList paidPicture;
};

// Decodes the pictures, at the system's DPI (the window's, unless it opens on a monitor of
// another), from its construction on; the edition page takes them. A DPI whose pictures need
// GDI+'s filter starts the program's deferred GDI+ session (win/png_picture.h), which must outlive
// the object. At most one exists at a time.
class EditionPicturesInAdvance {
  public:
    EditionPicturesInAdvance();
    EditionPicturesInAdvance(const EditionPicturesInAdvance&) = delete;
    EditionPicturesInAdvance& operator=(const EditionPicturesInAdvance&) = delete;
    // Waits for the decoding, should nobody have taken the pictures.
    ~EditionPicturesInAdvance();

  private:
    friend EditionPictures TakeEditionPictures(int dpi);
    EditionPictures Take();

    EditionPictures pictures_;
    kv::win::Thread worker_;
};

// The pictures for `dpi`: those decoded in advance when there are any left and they fit, else
// decoded now.
EditionPictures TakeEditionPictures(int dpi);
