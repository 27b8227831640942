#include "pages/slideshow.h"

#include "pages/page_geometry.h"

int ChooseSlide(int requested, int current) {
    if (requested != 0) return requested;
    return current >= kSlideCount || current < 1 ? 1 : current + 1;
}

SlideTexts TextsOfSlide(int slide) {
    switch (slide) {
        case 2:
            return {L"SYSTEM_INTERFACE", L"SYSTEM_INTERFACE_DESCR"};
        case 3:
            return {L"FULL_CUSTOMIZATION", L"FULL_CUSTOMIZATION_DESCR"};
        default:
            return {L"PROFESSIONAL_TOOL", L"PROFESSIONAL_TOOL_DESCR"};
    }
}

bool InSlideArea(int x, int y, int dpi) {
    return x <= kv::pages::Scaled(kv::pages::kSlideAreaRight, dpi) &&
           y <= kv::pages::Scaled(kv::pages::kSlideAreaBottom, dpi);
}
