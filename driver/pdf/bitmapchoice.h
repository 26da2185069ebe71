#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "driver/encode/losslessbitmap.h"
#include "swf/fdt.h"

// A picture's define tag in whichever of two encodings is smaller: lossless
// (DefineBitsLossless, or DefineBitsLossless2 with alpha) or JPEG at
// `jpegQuality` (DefineBitsJPEG2, or DefineBitsJPEG3 with a zlib alpha plane).
// The JPEG is not tried where it cannot win: a picture of at most 256
// colours (flat drawings, whose edges JPEG blurs and which compress well
// lossless) or one whose lossless bytes are fewer than a JPEG's headers and
// tables take. An opaque photograph is encoded as a JPEG first, and
// losslessly only where a sample of its rows does not lose for certain. `rgba`: straight (not premultiplied) rows, width * 4 bytes.
// Draws one character ID, for the tag returned. The caller holds
// BitmapEncodingBytes(width, height, place) of the decode budget.
std::unique_ptr<FDT> SmallerBitmapTag(const std::vector<uint8_t>& rgba, int32_t width, int32_t height,
                                      int32_t jpegQuality, ColourNumbers place);

// A picture encoded, its tag not yet made (so that any thread may encode it).
struct JPEGContent {
    std::vector<uint8_t> jpeg;
};
struct JPEGAlphaContent {
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> zlibAlpha;  // the alpha plane, deflated
};
using BitmapContent = std::variant<JPEGContent, JPEGAlphaContent, LosslessSlide>;

// SmallerBitmapTag's choice, without the tag: draws no ID. Thread-safe.
BitmapContent SmallerBitmap(const std::vector<uint8_t>& rgba, int32_t width, int32_t height, int32_t jpegQuality,
                            ColourNumbers place);
// The tag of an encoded picture (drawing its ID as any tag does).
std::unique_ptr<FDT> BitmapTag(BitmapContent&& content);

// Where the lossless encoding keeps its colour numbers under a budget of
// `budgetBytes`, and what SmallerBitmapTag holds besides the pixels given.
struct BitmapEncoding {
    ColourNumbers place = ColourNumbers::kWhole;
    uint64_t bytes = 0;
};
BitmapEncoding BitmapEncodingBytes(int32_t width, int32_t height, uint64_t budgetBytes);

