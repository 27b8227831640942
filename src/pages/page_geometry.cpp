#include "pages/page_geometry.h"

#include <cstdint>

namespace kv::pages {

int Scaled(int length, int dpi) {
    if (dpi <= 0) dpi = kLayoutDpi;
    const int64_t product = static_cast<int64_t>(length) * dpi;
    const int64_t half = kLayoutDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kLayoutDpi
                                         : -((-product + half) / kLayoutDpi));
}

int FontPixelHeight(int points, int dpi) {
    if (dpi <= 0) dpi = kLayoutDpi;
    return static_cast<int>((static_cast<int64_t>(points) * dpi + 36) / 72);
}

PixelSize Scaled(PixelSize size, int dpi) {
    return {Scaled(size.width, dpi), Scaled(size.height, dpi)};
}

PixelRect Scaled(PixelRect rect, int dpi) {
    return {Scaled(rect.left, dpi), Scaled(rect.top, dpi), Scaled(rect.right, dpi),
            Scaled(rect.bottom, dpi)};
}

}  // namespace kv::pages
