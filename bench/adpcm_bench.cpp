// ADPCM encoding speed: one minute of 44100 Hz 16-bit stereo at each code
// size. The "realtime" counter is the real-time factor: seconds of sound
// encoded per second of wall time.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "audio/fsound.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 60;
constexpr uint32_t kFrames = kRate * kSeconds;
constexpr uint8_t kStereo16At44100 = 3 * 4 + 2 + 1;

// Music-like material: two tones and some noise, so that codes vary.
const std::vector<int16_t>& OneMinute()
{
    static const std::vector<int16_t> samples = [] {
        std::vector<int16_t> s(size_t{kFrames} * 2);
        std::mt19937 random(1);
        std::uniform_int_distribution<int> noise(-600, 600);
        for (uint32_t i = 0; i < kFrames; ++i) {
            const double t = double(i) / kRate;
            s[2 * i] = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 220 * t) + noise(random));
            s[2 * i + 1] = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 330 * t) + noise(random));
        }
        return s;
    }();
    return samples;
}

void EncodeOneMinute(benchmark::State& state)
{
    const int codeBits = static_cast<int>(state.range(0));
    const std::vector<int16_t>& samples = OneMinute();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        out.clear();
        FADPCMEncoder encoder(kStereo16At44100, codeBits);
        encoder.Compress(samples.data(), kFrames, out);
        encoder.Flush(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime"] =
        benchmark::Counter(double(kSeconds) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(out.size());
}

BENCHMARK(EncodeOneMinute)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);

}  // namespace
