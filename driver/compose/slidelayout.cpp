#include "driver/compose/slidelayout.h"
#include "driver/core/slidesize.h"

#include <algorithm>

SlidePlacement FitSlide(SlideSize image, SlideSize area)
{
    const int64_t areaWidth = int64_t{area.width} * FTwipsPerPixel;
    const int64_t areaHeight = int64_t{area.height} * FTwipsPerPixel;
    const int64_t w = std::max(image.width, 1), h = std::max(image.height, 1);
    // The side that meets the area's edge keeps its full length; the other is
    // rounded to the nearest twip, which never passes the area's edge (it is
    // at most the area's side before rounding) and meets it exactly when the
    // aspects are equal. A sliver keeps one pixel.
    int64_t width = areaWidth, height = areaHeight;
    if (w * area.height >= h * area.width) {
        height = std::max<int64_t>((2 * areaWidth * h + w) / (2 * w), FTwipsPerPixel);
    } else {
        width = std::max<int64_t>((2 * areaHeight * w + h) / (2 * h), FTwipsPerPixel);
    }
    const int64_t left = (areaWidth - width) / 2, top = (areaHeight - height) / 2;
    // Drawn from one pixel in, as a slide of the area's size always was.
    return SlidePlacement{static_cast<int32_t>(left + FTwipsPerPixel), static_cast<int32_t>(top + FTwipsPerPixel),
                          static_cast<int32_t>(left + width), static_cast<int32_t>(top + height),
                          width == areaWidth && height == areaHeight};
}
