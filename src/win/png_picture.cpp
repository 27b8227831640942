#include "win/png_picture.h"

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "win/com_ptr.h"
#include "win/halved_pixels.h"
#include "win/png_pixels.h"
#include "win/threads.h"

namespace kv::win {

namespace gp = Gdiplus::DllExports;

namespace {

// Guards every session's start and the deferred session below.
SrwLock g_sessionLock;
GdiplusSession* g_deferredSession = nullptr;

}  // namespace

GdiplusSession::GdiplusSession() {
    Start();
}

GdiplusSession::GdiplusSession(Deferred) {
    ScopedLock lock(g_sessionLock);
    if (!g_deferredSession) g_deferredSession = this;
}

void GdiplusSession::Start() {
    ScopedLock lock(g_sessionLock);
    StartLocked();
}

void GdiplusSession::StartDeferred() {
    ScopedLock lock(g_sessionLock);
    if (g_deferredSession) g_deferredSession->StartLocked();
}

void GdiplusSession::StartLocked() {
    if (token_ != 0) return;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    {
        ScopedLock lock(g_sessionLock);
        if (g_deferredSession == this) g_deferredSession = nullptr;
    }
    if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

namespace {

struct ImageDisposer {
    void operator()(Gdiplus::GpBitmap* image) const { gp::GdipDisposeImage(image); }
};
using GdiplusBitmap = std::unique_ptr<Gdiplus::GpBitmap, ImageDisposer>;

// The bytes of resource `id` of `type`, or none.
std::span<const unsigned char> ResourceBytes(HMODULE module, int id, const wchar_t* type) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    const DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const unsigned char*>(data), size};
}

// The resource's bytes as a stream of their own, or null.
ComPtr<IStream> ResourceStream(HMODULE module, int id) {
    ComPtr<IStream> stream;
    const std::span<const unsigned char> bytes = ResourceBytes(module, id, L"PNG");
    if (bytes.empty()) return stream;
    *stream.Put() = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    return stream;
}

GdiplusBitmap Decode(HMODULE module, int id) {
    GdiplusSession::StartDeferred();
    ComPtr<IStream> stream = ResourceStream(module, id);
    Gdiplus::GpBitmap* image = nullptr;
    if (stream && gp::GdipCreateBitmapFromStream(stream.Get(), &image) != Gdiplus::Ok) {
        image = nullptr;
    }
    return GdiplusBitmap(image);
}

// The picture's width and height, or false when it has none or is implausibly large.
bool SizeOf(Gdiplus::GpBitmap* image, UINT* width, UINT* height) {
    return gp::GdipGetImageWidth(image, width) == Gdiplus::Ok &&
           gp::GdipGetImageHeight(image, height) == Gdiplus::Ok && *width > 0 && *height > 0 &&
           *width <= 16384 && *height <= 16384;
}

// A 32-bit top-down DIB section of `width` x `height`, or empty.
Bitmap NewDibSection(int width, int height, uint32_t** pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as GDI+ hands out rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits) return {};
    *pixels = static_cast<uint32_t*>(bits);
    return dib;
}

// Every pixel of the `width` x `height` picture, converted to `format` (32 bits a pixel),
// written into `target` row after row.
bool ReadPixels(Gdiplus::GpBitmap* image, UINT width, UINT height, Gdiplus::PixelFormat format,
                uint32_t* target) {
    Gdiplus::GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data{};
    data.Width = width;
    data.Height = height;
    data.Stride = static_cast<INT>(width * 4);
    data.PixelFormat = format;
    data.Scan0 = target;
    const UINT mode = Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf;
    if (gp::GdipBitmapLockBits(image, &whole, mode, format, &data) != Gdiplus::Ok) return false;
    gp::GdipBitmapUnlockBits(image, &data);
    return true;
}

// A 32-bit top-down DIB section of the decoded picture's size with its pixels in `format`
// (straight or premultiplied alpha), decoded straight into the section's memory.
Bitmap ToDibSection(Gdiplus::GpBitmap* image, Gdiplus::PixelFormat format, uint32_t** pixels,
                    int* width, int* height) {
    UINT w = 0;
    UINT h = 0;
    if (!SizeOf(image, &w, &h)) return {};
    Bitmap dib = NewDibSection(static_cast<int>(w), static_cast<int>(h), pixels);
    if (!dib || !ReadPixels(image, w, h, format, *pixels)) return {};
    ::GdiFlush();
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return dib;
}

// The picture at exactly half its size as a DIB section with premultiplied alpha: each pixel
// the average of a 2x2 block, the exact result of the shrink the pages need at 96 DPI.
Bitmap HalvedDibSection(Gdiplus::GpBitmap* image, uint32_t** pixels, int* width, int* height) {
    UINT w = 0;
    UINT h = 0;
    if (!SizeOf(image, &w, &h) || w < 2 || h < 2) return {};
    std::vector<uint32_t> full(static_cast<size_t>(w) * h);
    if (!ReadPixels(image, w, h, PixelFormat32bppPARGB, full.data())) return {};
    Bitmap dib = NewDibSection(static_cast<int>(w / 2), static_cast<int>(h / 2), pixels);
    if (!dib) return {};
    ::GdiFlush();
    HalvePixels(full.data(), static_cast<int>(w), static_cast<int>(h), *pixels);
    *width = static_cast<int>(w / 2);
    *height = static_cast<int>(h / 2);
    return dib;
}

struct GraphicsDeleter {
    void operator()(Gdiplus::GpGraphics* graphics) const { gp::GdipDeleteGraphics(graphics); }
};
struct AttributesDeleter {
    void operator()(Gdiplus::GpImageAttributes* attributes) const {
        gp::GdipDisposeImageAttributes(attributes);
    }
};

// `image` drawn anew at `width` x `height` with high-quality bicubic filtering; the edges are
// mirrored for the filter, so they do not fade into black. Null on failure.
GdiplusBitmap Resized(Gdiplus::GpBitmap* image, int width, int height) {
    UINT w = 0;
    UINT h = 0;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        gp::GdipGetImageWidth(image, &w) != Gdiplus::Ok ||
        gp::GdipGetImageHeight(image, &h) != Gdiplus::Ok) {
        return nullptr;
    }
    Gdiplus::GpBitmap* raw = nullptr;
    if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &raw) !=
        Gdiplus::Ok) {
        return nullptr;
    }
    GdiplusBitmap target(raw);
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    if (gp::GdipGetImageGraphicsContext(target.get(), &rawGraphics) != Gdiplus::Ok) return nullptr;
    std::unique_ptr<Gdiplus::GpGraphics, GraphicsDeleter> graphics(rawGraphics);
    Gdiplus::GpImageAttributes* rawAttributes = nullptr;
    if (gp::GdipCreateImageAttributes(&rawAttributes) != Gdiplus::Ok) return nullptr;
    std::unique_ptr<Gdiplus::GpImageAttributes, AttributesDeleter> attributes(rawAttributes);
    gp::GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
    gp::GdipSetCompositingMode(graphics.get(), Gdiplus::CompositingModeSourceCopy);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);
    gp::GdipSetPixelOffsetMode(graphics.get(), Gdiplus::PixelOffsetModeHighQuality);
    if (gp::GdipDrawImageRectRectI(graphics.get(), image, 0, 0, width, height, 0, 0,
                                   static_cast<INT>(w), static_cast<INT>(h), Gdiplus::UnitPixel,
                                   attributes.get(), nullptr, nullptr) != Gdiplus::Ok) {
        return nullptr;
    }
    return target;
}

enum class Alpha { kStraight, kPremultiplied };

// `png` as a DIB section at its own size or, when `size` is exactly half of it, averaged down
// to that; empty for any other size, which needs a filter.
Bitmap FromPngPixels(PngPixels& png, Alpha alpha, SIZE size, int* width, int* height) {
    const bool sized = size.cx > 0 && size.cy > 0;
    const bool halved = sized && size.cx * 2 == png.width && size.cy * 2 == png.height;
    if (sized && !halved && (size.cx != png.width || size.cy != png.height)) return {};
    // Straight pixels at their own size are the decoder's as they are; a 2x2 average needs them
    // premultiplied, so that the colour of clear pixels does not bleed into the edges.
    if (alpha == Alpha::kPremultiplied || halved) {
        for (uint32_t& pixel : png.argb) pixel = Premultiplied(pixel);
    }
    *width = halved ? png.width / 2 : png.width;
    *height = halved ? png.height / 2 : png.height;
    uint32_t* pixels = nullptr;
    Bitmap dib = NewDibSection(*width, *height, &pixels);
    if (!dib) return {};
    ::GdiFlush();
    const size_t count = static_cast<size_t>(*width) * static_cast<size_t>(*height);
    if (halved) {
        HalvePixels(png.argb.data(), png.width, png.height, pixels);
        if (alpha == Alpha::kStraight) {
            for (size_t i = 0; i < count; ++i) pixels[i] = Unpremultiplied(pixels[i]);
        }
    } else {
        std::copy_n(png.argb.data(), count, pixels);
    }
    return dib;
}

// The decoded resource, at its own size or, given a size, scaled to it: by a plain 2x2 average
// when the size is exactly half the picture's, otherwise with GDI+'s high-quality filter, which
// under Wine takes many times as long. The program's own decoder takes the pictures it can
// where no filter is needed; GDI+ (started only then) the rest.
Bitmap LoadPicture(HMODULE module, int id, Alpha alpha, int* width, int* height,
                   SIZE size = {0, 0}) {
    const std::span<const unsigned char> file = ResourceBytes(module, id, L"PNG");
    const std::optional<std::pair<int, int>> fileSize = PngSize(file);
    const bool needsFilter = size.cx > 0 && size.cy > 0 && fileSize &&
                             !(size.cx == fileSize->first && size.cy == fileSize->second) &&
                             !(size.cx * 2 == fileSize->first && size.cy * 2 == fileSize->second);
    if (!needsFilter) {
        if (std::optional<PngPixels> png = DecodePng(file)) {
            if (Bitmap dib = FromPngPixels(*png, alpha, size, width, height)) return dib;
        }
    }
    GdiplusBitmap image = Decode(module, id);
    UINT w = 0;
    UINT h = 0;
    if (!image || !SizeOf(image.get(), &w, &h)) return {};
    const Gdiplus::PixelFormat format =
        alpha == Alpha::kPremultiplied ? PixelFormat32bppPARGB : PixelFormat32bppARGB;
    uint32_t* pixels = nullptr;
    const bool sized = size.cx > 0 && size.cy > 0;
    if (!sized || (static_cast<UINT>(size.cx) == w && static_cast<UINT>(size.cy) == h)) {
        return ToDibSection(image.get(), format, &pixels, width, height);
    }
    if (static_cast<UINT>(size.cx) * 2 == w && static_cast<UINT>(size.cy) * 2 == h) {
        Bitmap dib = HalvedDibSection(image.get(), &pixels, width, height);
        if (dib && alpha == Alpha::kStraight) {
            const size_t count = static_cast<size_t>(*width) * static_cast<size_t>(*height);
            for (size_t i = 0; i < count; ++i) pixels[i] = Unpremultiplied(pixels[i]);
        }
        return dib;
    }
    image = Resized(image.get(), size.cx, size.cy);
    if (!image) return {};
    return ToDibSection(image.get(), format, &pixels, width, height);
}

// Icons take straight alpha; the AND mask stays all zero, the alpha channel decides.
Icon IconOfBitmap(const Bitmap& colour, int width, int height) {
    Bitmap mask(::CreateBitmap(width, height, 1, 1, nullptr));
    if (!mask) return {};
    ICONINFO info{TRUE, 0, 0, mask.Get(), colour.Get()};
    return Icon(::CreateIconIndirect(&info));
}

Icon IconOfPng(HMODULE module, int id, int* width, int* height, SIZE size = {0, 0}) {
    Bitmap colour = LoadPicture(module, id, Alpha::kStraight, width, height, size);
    if (!colour) return {};
    return IconOfBitmap(colour, *width, *height);
}

}  // namespace

Bitmap LoadPngResource(HMODULE module, int id) {
    return LoadPngResource(module, id, {0, 0});
}

Bitmap LoadPngResource(HMODULE module, int id, SIZE size) {
    int width = 0;
    int height = 0;
    return LoadPicture(module, id, Alpha::kPremultiplied, &width, &height, size);
}

Icon LoadPngIcon(HMODULE module, int id) {
    int width = 0;
    int height = 0;
    return IconOfPng(module, id, &width, &height);
}

Icon LoadIconResource(HMODULE module, int id, int size) {
    const std::span<const unsigned char> group = ResourceBytes(module, id, RT_GROUP_ICON);
    if (group.empty()) return {};
    const int entry = ::LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group.data()), TRUE, size,
                                                    size, LR_DEFAULTCOLOR);
    const std::span<const unsigned char> image = ResourceBytes(module, entry, RT_ICON);
    if (image.empty()) return {};
    if (std::optional<PngPixels> png = DecodePng(image);
        png && png->width == size && png->height == size) {
        int width = 0;
        int height = 0;
        const Bitmap colour = FromPngPixels(*png, Alpha::kStraight, {0, 0}, &width, &height);
        if (colour) return IconOfBitmap(colour, width, height);
    }
    // Another size, or an image that is no PNG of ours: the system scales and decodes it.
    return Icon(::CreateIconFromResourceEx(const_cast<BYTE*>(image.data()),
                                           static_cast<DWORD>(image.size()), TRUE, 0x00030000, size,
                                           size, LR_DEFAULTCOLOR));
}

ImageList LoadPngImageList(HMODULE module, int id, int size) {
    int width = 0;
    int height = 0;
    Icon icon = IconOfPng(module, id, &width, &height, {size, size});
    if (!icon) return {};
    ImageList list(::ImageList_Create(width, height, ILC_COLOR32, 1, 0));
    if (!list || ::ImageList_AddIcon(list.Get(), icon.Get()) < 0) return {};
    return list;
}

ImageList LoadImageStrip(HMODULE module, int id, int imageSize) {
    Bitmap strip(static_cast<HBITMAP>(
        ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    DIBSECTION dib{};
    if (!strip || ::GetObjectW(strip.Get(), sizeof(dib), &dib) != sizeof(dib) ||
        dib.dsBm.bmBitsPixel != 32 || dib.dsBm.bmHeight <= 0 || !dib.dsBm.bmBits ||
        imageSize <= 0) {
        return {};
    }
    const int count = dib.dsBm.bmWidth / dib.dsBm.bmHeight;
    // The section's rows lie bottom-up unless its height was given negative.
    const bool bottomUp = dib.dsBmih.biHeight > 0;
    auto* first = static_cast<BYTE*>(dib.dsBm.bmBits);
    const INT stride = dib.dsBm.bmWidthBytes;
    GdiplusSession::StartDeferred();
    Gdiplus::GpBitmap* raw = nullptr;
    if (count <= 0 ||
        gp::GdipCreateBitmapFromScan0(
            dib.dsBm.bmWidth, dib.dsBm.bmHeight, bottomUp ? -stride : stride, PixelFormat32bppARGB,
            bottomUp ? first + static_cast<size_t>(stride) * (dib.dsBm.bmHeight - 1) : first,
            &raw) != Gdiplus::Ok) {
        return {};
    }
    GdiplusBitmap source(raw);
    GdiplusBitmap scaled = Resized(source.get(), imageSize * count, imageSize);
    if (!scaled) return {};
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    Bitmap images = ToDibSection(scaled.get(), PixelFormat32bppARGB, &pixels, &width, &height);
    ImageList list(::ImageList_Create(imageSize, imageSize, ILC_COLOR32, count, 0));
    if (!images || !list || ::ImageList_Add(list.Get(), images.Get(), nullptr) < 0) return {};
    return list;
}

}  // namespace kv::win
