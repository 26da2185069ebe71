// ADPCM encoding speed: one minute of 44100 Hz 16-bit stereo at each code
// size. The "realtime" counter is the real-time factor: seconds of sound
// encoded per second of wall time. With ADPCM_BENCH_WAV naming a 44100 Hz
// 16-bit stereo WAV file, its first minute is the input (the comparison with
// ffmpeg feeds both encoders the same file).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "audio/fsound.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 60;
constexpr uint32_t kFrames = kRate * kSeconds;
constexpr uint8_t kStereo16At44100 = 3 * 4 + 2 + 1;

// The samples of the WAV file's data chunk, which must hold 44100 Hz 16-bit
// stereo PCM; empty (with a message) when it does not.
std::vector<int16_t> ReadWAV(const char* name)
{
    std::ifstream file(name, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto little = [&](size_t at, int count) {
        uint32_t value = 0;
        for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
        return value;
    };
    bool format = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.data() + at, 4);
        const uint32_t size = little(at + 4, 4);
        const size_t body = at + 8;
        if (body + size > bytes.size()) break;
        if (id == "fmt ")
            format = size >= 16 && little(body, 2) == 1 && little(body + 2, 2) == 2 && little(body + 4, 4) == kRate &&
                     little(body + 14, 2) == 16;
        if (id == "data" && format) {
            std::vector<int16_t> samples(size / 2);
            std::memcpy(samples.data(), bytes.data() + body, samples.size() * 2);
            return samples;
        }
        at = body + size + (size & 1);
    }
    std::fprintf(stderr, "adpcm_bench: %s is not a 44100 Hz 16-bit stereo WAV file\n", name);
    return {};
}

std::string inputName = "built-in";

// Music-like material: two tones and some noise, so that codes vary.
const std::vector<int16_t>& OneMinute()
{
    static const std::vector<int16_t> samples = [] {
        if (const char* name = std::getenv("ADPCM_BENCH_WAV")) {
            std::vector<int16_t> s = ReadWAV(name);
            if (s.size() >= size_t{kFrames} * 2) {
                s.resize(size_t{kFrames} * 2);
                inputName = name;
                return s;
            }
            std::fprintf(stderr, "adpcm_bench: %s holds less than a minute; using the built-in input\n", name);
        }
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
    state.SetLabel(inputName);
}

BENCHMARK(EncodeOneMinute)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);

}  // namespace
