// The program's pictures as the pages load them from the built program: every PNG decodes at its
// size with its transparency, the slides stay light where the page writes, the dots bitmap holds
// its four images on the white mask, and a missing or mistyped picture gives nothing.

#include <gtest/gtest.h>

#include <cstdint>

#include "installer_driver.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"
#include "res/ids/main_wnd_ids.h"
#include "win/png_picture.h"

namespace {

struct Pixels {
    int width = 0;
    int height = 0;
    const uint32_t* bits = nullptr;  // top-down rows, 0xAARRGGBB
    uint32_t At(int x, int y) const { return bits[y * width + x]; }
};

Pixels Read(const kv::win::Bitmap& picture) {
    DIBSECTION dib{};
    if (::GetObjectW(picture.Get(), sizeof(dib), &dib) != sizeof(dib) ||
        dib.dsBm.bmBitsPixel != 32) {
        return {};
    }
    return {dib.dsBm.bmWidth, dib.dsBm.bmHeight, static_cast<const uint32_t*>(dib.dsBm.bmBits)};
}

bool Light(uint32_t argb) {
    return (argb >> 24) == 255 && ((argb >> 16) & 0xFF) >= 200 && ((argb >> 8) & 0xFF) >= 200 &&
           (argb & 0xFF) >= 200;
}

class ProgramModule {
  public:
    ProgramModule()
        : module_(::LoadLibraryExW(
              kv::test::BuiltProgram(L"src/app/kvpro-installer-loopback.exe").c_str(), nullptr,
              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ProgramModule() {
        if (module_) ::FreeLibrary(module_);
    }
    HMODULE Get() const { return module_; }

  private:
    HMODULE module_;
};

TEST(Pictures, EveryPictureLoadsAtItsSizeAndMissingOnesGiveNothing) {
    kv::win::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Ok());
    ProgramModule program;
    ASSERT_TRUE(program.Get());

    for (int id : {IDB_EDITION_BACKGROUND, IDB_SLIDE1, IDB_SLIDE2, IDB_SLIDE3}) {
        kv::win::Bitmap picture = kv::win::LoadPngResource(program.Get(), id);
        ASSERT_TRUE(picture) << id;
        const Pixels pixels = Read(picture);
        ASSERT_TRUE(pixels.bits) << id;
        EXPECT_EQ(pixels.width, 640) << id;
        EXPECT_EQ(pixels.height, 372) << id;
        // Where the page writes its dark texts the picture is opaque and light.
        EXPECT_TRUE(Light(pixels.At(400, 110))) << id;
        EXPECT_TRUE(Light(pixels.At(590, 180))) << id;
    }

    for (int id : {IDB_TRIAL_PICTURE, IDB_PAID_PICTURE}) {
        kv::win::Bitmap picture = kv::win::LoadPngResource(program.Get(), id);
        const Pixels pixels = Read(picture);
        ASSERT_TRUE(pixels.bits) << id;
        EXPECT_EQ(pixels.width, 32) << id;
        EXPECT_EQ(pixels.height, 32) << id;
        // A transparent corner premultiplies to nothing at all; the middle is solid.
        EXPECT_EQ(pixels.At(0, 0), 0u) << id;
        EXPECT_EQ(pixels.At(16, 16) >> 24, 255u) << id;
        EXPECT_TRUE(kv::win::LoadPngIcon(program.Get(), id)) << id;
        kv::win::ImageList list = kv::win::LoadPngImageList(program.Get(), id);
        int width = 0;
        int height = 0;
        ASSERT_TRUE(list) << id;
        EXPECT_TRUE(::ImageList_GetIconSize(list.Get(), &width, &height));
        EXPECT_EQ(width, 32);
        EXPECT_EQ(::ImageList_GetImageCount(list.Get()), 1);
    }

    // Ring, ring under the mouse, dot, dot under the mouse: 10 pixels each, on white.
    kv::win::Bitmap dots(static_cast<HBITMAP>(::LoadImageW(
        program.Get(), MAKEINTRESOURCEW(IDB_SLIDE_DOTS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP size{};
    ASSERT_TRUE(::GetObjectW(dots.Get(), sizeof(size), &size));
    EXPECT_EQ(size.bmWidth, 40);
    EXPECT_EQ(size.bmHeight, 10);
    EXPECT_EQ(size.bmBitsPixel, 32);
    kv::win::MemoryDC dc(nullptr);
    kv::win::SelectedObject selected(dc.Get(), dots.Get());
    for (int image = 0; image < 4; ++image) {
        const COLORREF middle = ::GetPixel(dc.Get(), image * 10 + 5, 5);
        const COLORREF edge = ::GetPixel(dc.Get(), image * 10 + 5, 1);
        EXPECT_EQ(::GetPixel(dc.Get(), image * 10, 0), RGB(255, 255, 255)) << image;
        EXPECT_GT(GetRValue(edge), 150) << image;
        EXPECT_LT(GetGValue(edge), 120) << image;
        EXPECT_EQ(middle == RGB(255, 255, 255), image < 2) << image;
    }

    // The icon's images are PNGs: each size the system asks for loads, opaque in the middle of
    // the disc and clear in the corner.
    for (int size : {16, 24, 32, 48, 64}) {
        kv::win::Icon icon(static_cast<HICON>(::LoadImageW(
            program.Get(), MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon) << size;
        kv::win::Bitmap canvas(::CreateBitmap(size, size, 1, 32, nullptr));
        kv::win::MemoryDC iconDc(nullptr);
        kv::win::SelectedObject drawn(iconDc.Get(), canvas.Get());
        ::PatBlt(iconDc.Get(), 0, 0, size, size, WHITENESS);
        EXPECT_TRUE(::DrawIconEx(iconDc.Get(), 0, 0, icon.Get(), size, size, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(::GetPixel(iconDc.Get(), 0, 0), RGB(255, 255, 255)) << size;
        EXPECT_NE(::GetPixel(iconDc.Get(), size / 2, size * 3 / 20), RGB(255, 255, 255)) << size;
    }

    EXPECT_FALSE(kv::win::LoadPngResource(program.Get(), 999));
    EXPECT_FALSE(kv::win::LoadPngResource(program.Get(), IDB_SLIDE_DOTS));  // not a PNG resource
    EXPECT_FALSE(kv::win::LoadPngImageList(nullptr, 999));
}

}  // namespace
