#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "swf/fdtbitmaps.h"

// A DefineBitsJPEG2 that owns the JPEG bytes its base borrows: pictures made
// while recording live as long as their tag, however the movie is written.
struct OwnedJPEGBytes {
    std::vector<uint8_t> bytes;
};

class OwnedJPEGBitmap : private OwnedJPEGBytes, public FDTDefineBitsJPEG2 {
public:
    explicit OwnedJPEGBitmap(std::vector<uint8_t>&& jpeg)
        : OwnedJPEGBytes{std::move(jpeg)},
          FDTDefineBitsJPEG2(OwnedJPEGBytes::bytes.data(), static_cast<int32_t>(OwnedJPEGBytes::bytes.size()))
    {
    }
};

// A DefineBitsJPEG3 that owns its JPEG and its zlib-compressed alpha plane.
struct OwnedJPEGAlphaBytes {
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> alpha;
};

class OwnedJPEGAlphaBitmap : private OwnedJPEGAlphaBytes, public FDTDefineBitsJPEG3 {
public:
    OwnedJPEGAlphaBitmap(std::vector<uint8_t>&& jpeg, std::vector<uint8_t>&& zlibAlpha)
        : OwnedJPEGAlphaBytes{std::move(jpeg), std::move(zlibAlpha)},
          FDTDefineBitsJPEG3(OwnedJPEGAlphaBytes::jpeg.data(), static_cast<int32_t>(OwnedJPEGAlphaBytes::jpeg.size()),
                             OwnedJPEGAlphaBytes::alpha.data(), static_cast<int32_t>(OwnedJPEGAlphaBytes::alpha.size()))
    {
    }
};
