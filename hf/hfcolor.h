#pragma once

#include "base/fversion.h"

#include <cstdint>

// A colour of the object model: red, green, blue, alpha, one byte each.
struct HFColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
};
