#include "pages/edition_pictures.h"

#include <utility>

#include "pages/page_geometry.h"
#include "res/ids/license_selection_ids.h"
#include "win/dpi.h"
#include "win/png_picture.h"

namespace {

EditionPicturesInAdvance* g_inAdvance = nullptr;

// The pictures are held at twice their 96-DPI size and scaled once for the DPI.
EditionPictures Decode(int dpi) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const kv::pages::PixelSize background = kv::pages::Scaled(kv::pages::kBackgroundSize, dpi);
    const int pictureSize = kv::pages::Scaled(kv::pages::kButtonPictureSize, dpi);
    EditionPictures pictures;
    pictures.dpi = dpi;
    pictures.background = kv::win::LoadPngResource(module, IDB_EDITION_BACKGROUND,
                                                   {background.width, background.height});
    pictures.trialPicture = kv::win::LoadPngImageList(module, IDB_TRIAL_PICTURE, pictureSize);
    pictures.paidPicture = kv::win::LoadPngImageList(module, IDB_PAID_PICTURE, pictureSize);
    return pictures;
}

}  // namespace

EditionPicturesInAdvance::EditionPicturesInAdvance() {
    // Without a thread the page decodes its pictures itself.
    if (worker_.Start([this] { pictures_ = Decode(kv::win::WindowDpi(nullptr)); })) {
        g_inAdvance = this;
    }
}

EditionPicturesInAdvance::~EditionPicturesInAdvance() {
    if (g_inAdvance == this) g_inAdvance = nullptr;
    worker_.Join();
}

EditionPictures EditionPicturesInAdvance::Take() {
    worker_.Join();  // GDI objects, made on the worker, belong to the process
    g_inAdvance = nullptr;
    return std::move(pictures_);
}

EditionPictures TakeEditionPictures(int dpi) {
    if (g_inAdvance) {
        EditionPictures pictures = g_inAdvance->Take();
        if (pictures.dpi == dpi) return pictures;
    }
    return Decode(dpi);
}
