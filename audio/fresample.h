#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <vector>

// Converts interleaved PCM from one sample rate to another by linear
// interpolation between neighbouring frames. Rates are given in any common
// unit (half-hertz lets 5512.5 Hz be exact). Samples are 8-bit unsigned or
// 16-bit signed in native byte order; the frame count of the result is the
// input's scaled by the rates, rounded to the nearest frame.
std::vector<uint8_t> FResampleLinear(const std::vector<uint8_t>& samples, uint32_t channels,
                                     uint32_t bytesPerSample, uint64_t fromRate, uint64_t toRate);
