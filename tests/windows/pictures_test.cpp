// The program's pictures as the pages load them from the built program: every PNG decodes at twice
// its 96-DPI size with its transparency, pixel for pixel as GDI+ decodes it, and scales to a DPI's
// size, the slides stay light where the page writes, the dots bitmap holds its four images on the
// white mask and scales to an image list, the icon's images look as the system's own loading
// makes them, and a missing or mistyped picture gives nothing.

#include <gtest/gtest.h>

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <cstdint>
#include <vector>

#include "installer_driver.h"
#include "res/ids/download_page_ids.h"
#include "res/ids/license_selection_ids.h"
#include "res/ids/main_wnd_ids.h"
#include "win/com_ptr.h"
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

// The PNG resource as GDI+ decodes it, premultiplied, or nothing.
std::vector<uint32_t> DecodedByGdiplus(HMODULE module, int id, UINT* width, UINT* height) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    if (!loaded) return {};
    kv::win::ComPtr<IStream> stream;
    *stream.Put() = ::SHCreateMemStream(static_cast<const BYTE*>(::LockResource(loaded)),
                                        ::SizeofResource(module, found));
    Gdiplus::GpBitmap* image = nullptr;
    namespace gp = Gdiplus::DllExports;
    if (!stream || gp::GdipCreateBitmapFromStream(stream.Get(), &image) != Gdiplus::Ok) return {};
    std::vector<uint32_t> pixels;
    if (gp::GdipGetImageWidth(image, width) == Gdiplus::Ok &&
        gp::GdipGetImageHeight(image, height) == Gdiplus::Ok) {
        pixels.resize(size_t{*width} * *height);
        Gdiplus::GpRect whole(0, 0, static_cast<INT>(*width), static_cast<INT>(*height));
        Gdiplus::BitmapData data{
            *width, *height, static_cast<INT>(*width * 4), PixelFormat32bppPARGB, pixels.data(), 0};
        if (gp::GdipBitmapLockBits(image, &whole,
                                   Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                   PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
            gp::GdipBitmapUnlockBits(image, &data);
        } else {
            pixels.clear();
        }
    }
    gp::GdipDisposeImage(image);
    return pixels;
}

// The icon drawn on white.
std::vector<COLORREF> OnWhite(HICON icon, int size) {
    kv::win::Bitmap canvas(::CreateBitmap(size, size, 1, 32, nullptr));
    kv::win::MemoryDC dc(nullptr);
    kv::win::SelectedObject drawn(dc.Get(), canvas.Get());
    ::PatBlt(dc.Get(), 0, 0, size, size, WHITENESS);
    std::vector<COLORREF> pixels;
    if (!::DrawIconEx(dc.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL)) return pixels;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) pixels.push_back(::GetPixel(dc.Get(), x, y));
    }
    return pixels;
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

    // The program's own decoder gives what GDI+ gives, to the pixel.
    for (int id : {IDB_EDITION_BACKGROUND, IDB_SLIDE1, IDB_SLIDE2, IDB_SLIDE3, IDB_TRIAL_PICTURE,
                   IDB_PAID_PICTURE}) {
        UINT width = 0;
        UINT height = 0;
        const std::vector<uint32_t> expected = DecodedByGdiplus(program.Get(), id, &width, &height);
        ASSERT_FALSE(expected.empty()) << id;
        kv::win::Bitmap picture = kv::win::LoadPngResource(program.Get(), id);
        const Pixels pixels = Read(picture);
        ASSERT_TRUE(pixels.bits) << id;
        ASSERT_EQ(pixels.width, static_cast<int>(width)) << id;
        ASSERT_EQ(pixels.height, static_cast<int>(height)) << id;
        size_t differing = 0;
        for (size_t i = 0; i < expected.size(); ++i) differing += pixels.bits[i] != expected[i];
        EXPECT_EQ(differing, 0u) << id;
    }

    for (int id : {IDB_EDITION_BACKGROUND, IDB_SLIDE1, IDB_SLIDE2, IDB_SLIDE3}) {
        // As held (twice the 96-DPI size), and as scaled for 150 %.
        for (const SIZE size : {SIZE{0, 0}, SIZE{960, 558}}) {
            kv::win::Bitmap picture = size.cx ? kv::win::LoadPngResource(program.Get(), id, size)
                                              : kv::win::LoadPngResource(program.Get(), id);
            ASSERT_TRUE(picture) << id;
            const Pixels pixels = Read(picture);
            ASSERT_TRUE(pixels.bits) << id;
            const int scale = size.cx ? 3 : 4;  // halves of a 96-DPI pixel
            EXPECT_EQ(pixels.width, 640 * scale / 2) << id;
            EXPECT_EQ(pixels.height, 372 * scale / 2) << id;
            // Where the page writes its dark texts the picture is opaque and light.
            EXPECT_TRUE(Light(pixels.At(400 * scale / 2, 110 * scale / 2))) << id;
            EXPECT_TRUE(Light(pixels.At(590 * scale / 2, 180 * scale / 2))) << id;
            // The edition page's heading band is dark from edge to edge, filtering included.
            if (id == IDB_EDITION_BACKGROUND) {
                for (int x : {0, pixels.width - 1}) EXPECT_FALSE(Light(pixels.At(x, 0))) << x;
            }
        }
    }

    for (int id : {IDB_TRIAL_PICTURE, IDB_PAID_PICTURE}) {
        kv::win::Bitmap picture = kv::win::LoadPngResource(program.Get(), id);
        const Pixels pixels = Read(picture);
        ASSERT_TRUE(pixels.bits) << id;
        EXPECT_EQ(pixels.width, 64) << id;
        EXPECT_EQ(pixels.height, 64) << id;
        // A transparent corner premultiplies to nothing at all; the middle is solid.
        EXPECT_EQ(pixels.At(0, 0), 0u) << id;
        EXPECT_EQ(pixels.At(32, 32) >> 24, 255u) << id;
        EXPECT_TRUE(kv::win::LoadPngIcon(program.Get(), id)) << id;
        kv::win::ImageList list = kv::win::LoadPngImageList(program.Get(), id, 48);
        int width = 0;
        int height = 0;
        ASSERT_TRUE(list) << id;
        EXPECT_TRUE(::ImageList_GetIconSize(list.Get(), &width, &height));
        EXPECT_EQ(width, 48);
        EXPECT_EQ(height, 48);
        EXPECT_EQ(::ImageList_GetImageCount(list.Get()), 1);
    }

    // Ring, ring under the mouse, dot, dot under the mouse: 20 pixels each, on white.
    kv::win::Bitmap dots(static_cast<HBITMAP>(::LoadImageW(
        program.Get(), MAKEINTRESOURCEW(IDB_SLIDE_DOTS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP size{};
    ASSERT_TRUE(::GetObjectW(dots.Get(), sizeof(size), &size));
    EXPECT_EQ(size.bmWidth, 80);
    EXPECT_EQ(size.bmHeight, 20);
    EXPECT_EQ(size.bmBitsPixel, 32);
    kv::win::MemoryDC dc(nullptr);
    kv::win::SelectedObject selected(dc.Get(), dots.Get());
    for (int image = 0; image < 4; ++image) {
        const COLORREF middle = ::GetPixel(dc.Get(), image * 20 + 10, 10);
        const COLORREF edge = ::GetPixel(dc.Get(), image * 20 + 10, 3);
        EXPECT_EQ(::GetPixel(dc.Get(), image * 20, 0), RGB(255, 255, 255)) << image;
        EXPECT_GT(GetRValue(edge), 150) << image;
        EXPECT_LT(GetGValue(edge), 120) << image;
        EXPECT_EQ(middle == RGB(255, 255, 255), image < 2) << image;
    }

    // Scaled for 150 %: four images of 15 pixels.
    kv::win::ImageList dotImages = kv::win::LoadImageStrip(program.Get(), IDB_SLIDE_DOTS, 15);
    ASSERT_TRUE(dotImages);
    int dotWidth = 0;
    int dotHeight = 0;
    EXPECT_TRUE(::ImageList_GetIconSize(dotImages.Get(), &dotWidth, &dotHeight));
    EXPECT_EQ(dotWidth, 15);
    EXPECT_EQ(dotHeight, 15);
    EXPECT_EQ(::ImageList_GetImageCount(dotImages.Get()), 4);

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
        EXPECT_TRUE(
            ::DrawIconEx(iconDc.Get(), 0, 0, icon.Get(), size, size, 0, nullptr, DI_NORMAL));
        EXPECT_EQ(::GetPixel(iconDc.Get(), 0, 0), RGB(255, 255, 255)) << size;
        EXPECT_NE(::GetPixel(iconDc.Get(), size / 2, size * 3 / 20), RGB(255, 255, 255))
            << size;  // The program decodes the image itself: it looks as the system's own loading
                      // makes it.
        kv::win::Icon own = kv::win::LoadIconResource(program.Get(), IDI_APPLICATION_ICON, size);
        ASSERT_TRUE(own) << size;
        EXPECT_EQ(OnWhite(own.Get(), size), OnWhite(icon.Get(), size)) << size;
    }

    EXPECT_FALSE(kv::win::LoadPngResource(program.Get(), 999));
    EXPECT_FALSE(kv::win::LoadImageStrip(program.Get(), IDB_SLIDE1, 10));   // not a bitmap
    EXPECT_FALSE(kv::win::LoadPngResource(program.Get(), IDB_SLIDE_DOTS));  // not a PNG resource
    EXPECT_FALSE(kv::win::LoadPngImageList(nullptr, 999, 32));
}

}  // namespace
