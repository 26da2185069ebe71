// Pictures on PDF pages: the smaller of the lossless and JPEG encodings.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "driver/core/backgroundjobs.h"
#include "driver/pdf/bitmapchoice.h"
#include "driver/pdf/deferredbitmap.h"
#include "hf/shapetags.h"
#include "swf/fdt.h"

namespace {

// Straight RGBA from a function of the pixel.
template <typename Colour>
std::vector<uint8_t> Picture(int32_t width, int32_t height, Colour colour)
{
    std::vector<uint8_t> rgba;
    rgba.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            for (int shift : {24, 16, 8, 0}) rgba.push_back(static_cast<uint8_t>(c >> shift));
        }
    return rgba;
}

FTagCode CodeOf(std::unique_ptr<FDT> tag) { return shapetest::ReadTag(*tag).code; }

std::vector<uint8_t> Written(FDT& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return std::vector<uint8_t>(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

// A photograph's texture: smooth waves with grain, every pixel its own colour.
uint32_t Grain(int32_t x, int32_t y)
{
    uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
    h ^= h >> 13;
    const auto channel = [&](int base, int shift) { return static_cast<uint32_t>((base + ((h >> shift) & 31)) & 255); };
    return channel(x / 3 + 60, 0) << 24 | channel(y / 2 + 40, 5) << 16 | channel((x + y) / 4 + 90, 10) << 8 | 255;
}

}  // namespace

// The smaller encoding wins, whichever is tried first: a photograph is a
// JPEG (found without compressing it whole losslessly), a gradient of
// repeated rows with more than 256 colours and a flat drawing are lossless,
// as is a photograph too small for a JPEG's headers.
TEST(SmallerBitmapTag, ThePhotographIsAJPEGAndTheDrawingsAreLossless)
{
    const int32_t w = 320, h = 240;
    EXPECT_EQ(CodeOf(SmallerBitmapTag(Picture(w, h, Grain), w, h, 90, ColourNumbers::kWhole)),
              FTagCode::DefineBitsJPEG2);
    const auto gradient = [](int32_t x, int32_t) {
        return static_cast<uint32_t>(x % 256) << 24 | static_cast<uint32_t>(x / 2 % 256) << 16 | 0x80FFu;
    };
    EXPECT_EQ(CodeOf(SmallerBitmapTag(Picture(w, h, gradient), w, h, 90, ColourNumbers::kWhole)),
              FTagCode::DefineBitsLossless);
    const auto flat = [](int32_t x, int32_t y) { return (x / 40 + y / 40) % 2 ? 0xCC2020FFu : 0xFFFFFFFFu; };
    EXPECT_EQ(CodeOf(SmallerBitmapTag(Picture(w, h, flat), w, h, 90, ColourNumbers::kWhole)),
              FTagCode::DefineBitsLossless);
    // Tiny: no JPEG is smaller than its own headers and tables.
    EXPECT_EQ(CodeOf(SmallerBitmapTag(Picture(8, 8, Grain), 8, 8, 90, ColourNumbers::kWhole)),
              FTagCode::DefineBitsLossless);
    // With alpha the JPEG carries a plane of it.
    const auto translucent = [](int32_t x, int32_t y) { return (Grain(x, y) & 0xFFFFFF00u) | 0x80u; };
    EXPECT_EQ(CodeOf(SmallerBitmapTag(Picture(w, h, translucent), w, h, 90, ColourNumbers::kWhole)),
              FTagCode::DefineBitsJPEG3);
}

// A picture encoded on a worker is the tag encoded at once, byte for byte and
// under the ID it drew when it was made, in each of the four kinds; the IDs
// after it are drawn as if it had been encoded at once.
TEST(DeferredBitmapTag, WritesWhatTheTagMadeAtOnceWrites)
{
    const int32_t w = 160, h = 120;
    const auto flat = [](int32_t x, int32_t y) { return (x / 40 + y / 40) % 2 ? 0xCC2020FFu : 0xFFFFFFFFu; };
    const auto see = [](int32_t x, int32_t y) { return (x / 40 + y / 40) % 2 ? 0xCC202080u : 0xFFFFFF00u; };
    const auto translucent = [](int32_t x, int32_t y) { return (Grain(x, y) & 0xFFFFFF00u) | 0x80u; };
    BackgroundJobs jobs(1);
    FResetCharacterID();
    for (const std::vector<uint8_t>& rgba : {Picture(w, h, Grain), Picture(w, h, flat), Picture(w, h, see),
                                             Picture(w, h, translucent)}) {
        std::unique_ptr<FDT> deferred = SmallerBitmapTagOn(&jobs, std::vector<uint8_t>(rgba), w, h, 90,
                                                           ColourNumbers::kWhole);
        EXPECT_NE(dynamic_cast<DeferredBitmapTag*>(deferred.get()), nullptr);
        const uint16_t next = FLastCharacterID() + 1;
        std::unique_ptr<FDT> atOnce;
        {
            const FLentCharacterID loan(*deferred);
            atOnce = SmallerBitmapTag(rgba, w, h, 90, ColourNumbers::kWhole);
        }
        EXPECT_EQ(deferred->ID(), atOnce->ID());
        EXPECT_EQ(Written(*deferred), Written(*atOnce));
        EXPECT_EQ(Written(*deferred), Written(*atOnce));  // a second writing alike
        EXPECT_EQ(FLastCharacterID() + 1, next);
    }
}

#endif  // CORVANEX_PDF
