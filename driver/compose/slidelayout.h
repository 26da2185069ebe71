#pragma once

// Where a show puts its pieces: the slide area, the slide in it, the buttons
// in the band below.

#include <cstdint>
#include <vector>

#include "driver/core/slidesize.h"
#include "hf/hfshape.h"
#include "swf/fswfstream.h"

// The key codes of button condition records.
constexpr uint32_t kKeyLeft = 1;
constexpr uint32_t kKeyRight = 2;
constexpr uint32_t kKeyHome = 3;
constexpr uint32_t kKeyEnd = 4;
constexpr uint32_t kKeyPageUp = 16;
constexpr uint32_t kKeyPageDown = 17;
constexpr uint32_t kKeySpace = 32;

// A show's frames a second; with transitions, enough for them to move smoothly.
constexpr uint32_t kSlideFrameRate = 12;
constexpr uint32_t kTransitionFrameRate = 24;

constexpr uint16_t kBackwardButtonDepth = 200;
constexpr uint16_t kForwardButtonDepth = 500;
constexpr int32_t kButtonImagePixels = 30;
inline const HFColor kHitAreaColor{255, 255, 255, 255};
inline const HFColor kBackgroundColor{0xCD, 0xCD, 0xCD, 0xFF};

// Where one slide frame puts its pieces, in twips: the slide from (20, 20),
// the buttons in the band below it, 10 pixels to either side of the centre.
struct SlideLayout {
    int32_t width;   // pixels
    int32_t height;  // pixels

    // The movie's frame: the slide area and the band of 40 pixels below it.
    int32_t MovieWidth() const { return width * FTwipsPerPixel; }
    int32_t MovieHeight() const { return height * FTwipsPerPixel + 800; }
    uint64_t MovieHeaderBytes() const { return FSWFFile::HeaderSize(MovieWidth(), MovieHeight()); }

    int32_t Middle() const { return width * FTwipsPerPixel / 2; }
    int32_t ButtonTop() const { return height * FTwipsPerPixel + 100; }
    int32_t ButtonBottom() const { return height * FTwipsPerPixel + 700; }
    HFRectangle ForwardArea() const { return HFRectangle(Middle() + 200, ButtonTop(), Middle() + 800, ButtonBottom()); }
    HFRectangle BackwardArea() const { return HFRectangle(Middle() - 800, ButtonTop(), Middle() - 200, ButtonBottom()); }
};

// A button's look: its image as the bitmap fill of a face shape (up, over and
// down), and a solid hit shape over the same area.
struct ButtonFace {
    ButtonFace(const SlideLayout& layout, bool forward, const std::vector<uint8_t>& image)
        : face(forward ? layout.ForwardArea() : layout.BackwardArea()),
          hit(forward ? layout.ForwardArea() : layout.BackwardArea())
    {
        face.SetJPEGBitmapFill(kButtonImagePixels, kButtonImagePixels, image.data(), static_cast<int32_t>(image.size()));
        hit.SetSolidFill(kHitAreaColor);
    }

    HFRectangle face;
    HFRectangle hit;
};

// Where a slide image is drawn in the slide area, in twips. A slide of the
// area's size lies from (20, 20) to (width x 20, height x 20); another is
// scaled, its aspect kept, to fit inside that and centred.
struct SlidePlacement {
    int32_t xmin, ymin, xmax, ymax;
    // Whether the slide leaves no band of the area open (true for every
    // slide of the area's aspect).
    bool coversArea;
};
SlidePlacement FitSlide(SlideSize image, SlideSize area);
