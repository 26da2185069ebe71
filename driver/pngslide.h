#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfbitmap.h"

// PNG slides become lossless bitmaps. The converter decodes and compresses
// them apart from the movie (on all cores, see orderedpool.h); the movie then
// holds only the compressed bytes.

struct PNGInfo {
    int32_t width = 0;   // pixels
    int32_t height = 0;
    // The file can carry transparency: its colour type has alpha, or it has a
    // tRNS chunk. Whether any pixel uses it is known only once decoded.
    bool mayBeTransparent = false;
    uint64_t fileSize = 0;  // bytes
};

// The size and transparency from the chunks before the image data; no pixel is
// decoded. Throws ConverterError naming the file when it cannot be opened, is
// not a PNG image (or one broken before its image data) or is larger than a
// bitmap can be.
PNGInfo ReadPNGHeader(const std::string& name);

// An image encoded as the payload of a lossless bitmap tag.
struct LosslessSlide {
    uint8_t format = 5;     // 3: 8-bit colour-mapped, 5: 32-bit
    bool alpha = false;     // DefineBitsLossless2: some pixel is not opaque
    int32_t width = 0;      // pixels
    int32_t height = 0;
    // Colour-table entries for format 3 (1 to 256), 0 for format 5: the count
    // the bitmap tag takes, which writes it less one.
    uint32_t colorTableEntries = 0;
    // The colour table (RGB, or RGBA with alpha) and the pixels (rows padded
    // to 32 bits for format 3; ARGB for format 5), as one zlib stream. Colours
    // are premultiplied by their alpha, as the player composites them.
    std::vector<uint8_t> zlibData;
};

// The zlib level slides are compressed at. Without the PNG filters the raw
// rows need zlib's lazy matching to find the row above: the fast levels give
// colour-mapped slides 1.5 to 2.5 times their size at this one, and level 9
// takes four times as long for a fifth less.
constexpr int kLosslessSlideLevel = 6;

// Straight (not premultiplied) RGBA8 pixels, rows back to back. Format 3 when
// the picture has at most 256 distinct colours, else 5. Thread-safe.
LosslessSlide EncodeLosslessRGBA(const uint8_t* rgba, int32_t width, int32_t height,
                                 int zlibLevel = kLosslessSlideLevel);

// Decodes the PNG file (any colour type and depth, its transparency applied)
// and encodes it as above. Throws ConverterError naming the file when it
// cannot be read or decoded. Thread-safe.
LosslessSlide EncodePNGSlide(const std::string& name, int zlibLevel = kLosslessSlideLevel);

// The slide as a bitmap filling (xmin, ymin)–(xmax, ymax) twips, its bitmap
// tag taking the compressed bytes over.
std::unique_ptr<HFBitmap> MakeLosslessBitmap(LosslessSlide&& slide, int32_t xmin, int32_t ymin,
                                             int32_t xmax, int32_t ymax);
