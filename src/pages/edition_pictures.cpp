#include "pages/edition_pictures.h"

#include <system_error>
#include <utility>

#include "res/ids/license_selection_ids.h"
#include "win/png_picture.h"

namespace {

EditionPicturesInAdvance* g_inAdvance = nullptr;

EditionPictures Decode() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    EditionPictures pictures;
    pictures.background = kv::win::LoadPngResource(module, IDB_EDITION_BACKGROUND);
    pictures.trialPicture = kv::win::LoadPngImageList(module, IDB_TRIAL_PICTURE);
    pictures.paidPicture = kv::win::LoadPngImageList(module, IDB_PAID_PICTURE);
    return pictures;
}

}  // namespace

EditionPicturesInAdvance::EditionPicturesInAdvance() {
    try {
        worker_ = std::thread([this] { pictures_ = Decode(); });
        g_inAdvance = this;
    } catch (const std::system_error&) {
        // no thread: the page decodes its pictures itself
    }
}

EditionPicturesInAdvance::~EditionPicturesInAdvance() {
    if (g_inAdvance == this) g_inAdvance = nullptr;
    if (worker_.joinable()) worker_.join();
}

EditionPictures EditionPicturesInAdvance::Take() {
    worker_.join();  // GDI objects, made on the worker, belong to the process
    g_inAdvance = nullptr;
    return std::move(pictures_);
}

EditionPictures TakeEditionPictures() {
    return g_inAdvance ? g_inAdvance->Take() : Decode();
}
