#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <vector>

#include "hf/hfshape.h"

// A rectangle filled with an image and without outline. Its bitmap tag takes
// its character ID at construction; the rectangle's shape tag at its first
// addition to a frame, which appends the bitmap tag, the DefineShape3 and the
// placement.
class HFBitmap : public HFRectangle {
public:
    // A whole JPEG file of `imageWidth` x `imageHeight` pixels, borrowed until
    // the movie has been written.
    HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, int32_t imageWidth,
             int32_t imageHeight, const uint8_t* jpegData, int32_t jpegSize);
    // The same with the JPEG file left on disk until the movie is written.
    HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, int32_t imageWidth,
             int32_t imageHeight, FSWFFileRegion jpegFile);
    // A lossless image (DefineBitsLossless2 when `alpha` is set); pixels and
    // table are compressed here and not kept.
    HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
             int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
             const uint8_t* pixelData, const uint8_t* colorTable);
    // A lossless image whose table and pixels the caller has compressed (one
    // zlib stream, rows as the format lays them out); the bitmap tag takes the
    // bytes over.
    HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
             int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
             std::vector<uint8_t>&& compressedData);
    // The same stream left in files, in regions read in order when the movie
    // is written.
    HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
             int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
             std::vector<FSWFFileRegion> compressedPieces);
};
