#include "driver/pdf/gradientfit.h"

#include <algorithm>
#include <cmath>

namespace {

// The largest channel difference between the samples from `from` to `to` and
// the straight line between those two.
double SpanError(const std::vector<RampColor>& samples, size_t from, size_t to)
{
    double worst = 0;
    for (size_t i = from + 1; i < to; ++i) {
        const double t = static_cast<double>(i - from) / static_cast<double>(to - from);
        for (size_t c = 0; c < 4; ++c) {
            const double line = samples[from][c] + (samples[to][c] - samples[from][c]) * t;
            worst = std::max(worst, std::fabs(line - samples[i][c]));
        }
    }
    return worst;
}

// Greedy: each stop reaches as far along as the tolerance lets it.
std::vector<size_t> GreedyStops(const std::vector<RampColor>& samples, double tolerance)
{
    std::vector<size_t> stops{0};
    const size_t last = samples.size() - 1;
    size_t from = 0;
    while (from < last) {
        size_t to = from + 1;
        while (to < last && SpanError(samples, from, to + 1) <= tolerance) ++to;
        stops.push_back(to);
        from = to;
    }
    return stops;
}

}  // namespace

GradientFit FitGradient(const std::vector<RampColor>& samples, size_t maxStops, double tolerance)
{
    maxStops = std::max<size_t>(maxStops, 2);
    std::vector<size_t> stops = GreedyStops(samples, tolerance);
    for (double loose = tolerance * 2; stops.size() > maxStops; loose *= 1.5) stops = GreedyStops(samples, std::max(loose, 0.5));
    GradientFit fit;
    const size_t last = samples.size() - 1;
    for (size_t k = 0; k < stops.size(); ++k) {
        const auto ratio = static_cast<uint8_t>(std::lround(255.0 * static_cast<double>(stops[k]) / static_cast<double>(last)));
        fit.stops.push_back({ratio, samples[stops[k]]});
        if (k > 0) fit.maxError = std::max(fit.maxError, SpanError(samples, stops[k - 1], stops[k]));
    }
    return fit;
}
