#include "audio/fresample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/fassert.h"

namespace {

int32_t Load(const uint8_t* samples, uint32_t bytesPerSample, uint64_t position)
{
    if (bytesPerSample == 1) return samples[position];
    int16_t value;
    std::memcpy(&value, samples + 2 * position, sizeof value);
    return value;
}

void Store(uint8_t* samples, uint32_t bytesPerSample, uint64_t position, int32_t value)
{
    if (bytesPerSample == 1) {
        samples[position] = static_cast<uint8_t>(value);
        return;
    }
    const auto narrowed = static_cast<int16_t>(value);
    std::memcpy(samples + 2 * position, &narrowed, sizeof narrowed);
}

}  // namespace

std::vector<uint8_t> FResampleLinear(const std::vector<uint8_t>& samples, uint32_t channels,
                                     uint32_t bytesPerSample, uint64_t fromRate, uint64_t toRate)
{
    F_ASSERT(channels > 0 && (bytesPerSample == 1 || bytesPerSample == 2) && fromRate > 0 && toRate > 0,
             "channels > 0 && (bytesPerSample == 1 || bytesPerSample == 2) && fromRate > 0 && toRate > 0");
    const uint64_t frameBytes = uint64_t{channels} * bytesPerSample;
    const uint64_t inFrames = samples.size() / frameBytes;
    if (inFrames == 0) return {};
    const uint64_t outFrames = (inFrames * toRate + fromRate / 2) / fromRate;

    std::vector<uint8_t> out(outFrames * frameBytes);
    for (uint64_t j = 0; j < outFrames; ++j) {
        // Output frame j sits at j * fromRate / toRate input frames.
        const uint64_t numerator = j * fromRate;
        const uint64_t before = std::min(numerator / toRate, inFrames - 1);
        const uint64_t after = std::min(before + 1, inFrames - 1);
        const double fraction = static_cast<double>(numerator % toRate) / static_cast<double>(toRate);
        for (uint32_t c = 0; c < channels; ++c) {
            const int32_t a = Load(samples.data(), bytesPerSample, before * channels + c);
            const int32_t b = Load(samples.data(), bytesPerSample, after * channels + c);
            const auto value = static_cast<int32_t>(std::lround(a + (b - a) * fraction));
            Store(out.data(), bytesPerSample, j * channels + c, value);
        }
    }
    return out;
}
