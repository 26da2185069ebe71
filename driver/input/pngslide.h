#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/encode/losslessbitmap.h"

class DecodeBudget;
class SpillFile;

// PNG slides become lossless bitmaps (losslessbitmap.h).

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

// Decodes the PNG file (any colour type and depth, its transparency applied)
// and encodes it as above. Throws ConverterError naming the file when it
// cannot be read or decoded. Thread-safe.
// With `spill`, the compressed bytes go there as they are made (in pieces of
// at most a mebibyte while streamed), so that not even a slide whose rows
// compress badly is held in memory. The decoding's and encoding's memory is
// drawn from `budget` (null: the shared one).
LosslessSlide EncodePNGSlide(const std::string& name, int zlibLevel = kLosslessSlideLevel,
                             SpillFile* spill = nullptr, DecodeBudget* budget = nullptr);

