#pragma once

#include <cstdint>

// A slide's size in pixels: the configuration file's, an image's, the area a
// show's slides are drawn in.
struct SlideSize {
    int32_t width = 300;  // pixels
    int32_t height = 200;
};
constexpr int32_t kMaxSlideSide = 65535;  // pixels
