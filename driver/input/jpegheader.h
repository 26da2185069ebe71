#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the header of a JPEG says, read by libjpeg without decoding a pixel.
struct JPEGHeader {
    enum class Outcome {
        kRead,        // width and height are set
        kIncomplete,  // the bytes end before the header does: give more
        kBroken,      // libjpeg refused it; `message` says why
    };
    Outcome outcome = Outcome::kBroken;
    int32_t width = 0;   // pixels
    int32_t height = 0;  // pixels
    std::string message;
};

// Reads the header from the first `size` bytes of a JPEG. With `wholeFile`
// false the bytes are a prefix and a header running past them is incomplete;
// with it true, the file ends there and such a header is broken.
JPEGHeader ReadJPEGHeader(const uint8_t* bytes, size_t size, bool wholeFile);
