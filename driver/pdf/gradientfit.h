#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A colour ramp sampled at even steps, as MuPDF samples a shading's function,
// fitted with the few stops an SWF gradient holds (8 in DefineShape3): the
// stops lie on samples and the colours between them are interpolated.

using RampColor = std::array<double, 4>;  // red, green, blue, alpha: 0 to 255

struct GradientStop {
    uint8_t ratio = 0;  // 0 to 255 along the ramp
    RampColor color{};
};

struct GradientFit {
    std::vector<GradientStop> stops;
    double maxError = 0;  // the largest difference in any channel, in levels of 255
};

// The fewest stops (at most `maxStops`, at least 2) whose interpolation stays
// within `tolerance` levels of every sample; when no such set exists, the one
// of `maxStops` with the smallest error found by loosening the tolerance.
// `samples` has at least two entries; sample i lies at ratio 255 i / (n - 1).
GradientFit FitGradient(const std::vector<RampColor>& samples, size_t maxStops, double tolerance);
