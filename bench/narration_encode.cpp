// Decodes, resamples and encodes narration files as the converter does, side
// by side on every core, and says how much came out: the narration side of
// a deck's conversion, for bench/narration-bench to time and measure.
//
//   narration_encode [--threads N] [--rate HZ] [--bits N] [--stereo] FILE...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "driver/core/error.h"
#include "driver/encode/narration.h"

int main(int argc, char** argv)
{
    NarrationSettings settings;
    unsigned threads = 0;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--threads" && i + 1 < argc) threads = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (argument == "--rate" && i + 1 < argc) settings.rate = static_cast<uint32_t>(std::atoi(argv[++i]));
        else if (argument == "--bits" && i + 1 < argc) settings.codeBits = std::atoi(argv[++i]);
        else if (argument == "--stereo") settings.stereo = true;
        else files.emplace_back(argument);
    }
    if (files.empty() || NarrationRateCode(settings.rate) < 0 || settings.codeBits < 2 || settings.codeBits > 5) {
        std::fprintf(stderr, "usage: narration_encode [--threads N] [--rate HZ] [--bits N] [--stereo] FILE...\n");
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    try {
        const std::vector<EncodedNarration> narrations = EncodeNarrations(files, settings, threads, nullptr);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        uint64_t frames = 0, bytes = 0;
        for (const EncodedNarration& narration : narrations) {
            frames += narration.sampleCount;
            bytes += static_cast<uint64_t>(narration.adpcm.size);
        }
        std::printf("%zu files, %.1f s of sound, %llu ADPCM bytes, encoded in %.2f s\n", files.size(),
                    static_cast<double>(frames) / settings.rate, static_cast<unsigned long long>(bytes), seconds);
    } catch (const ConverterError& error) {
        std::fprintf(stderr, "narration_encode: %s\n", error.what());
        return error.ExitStatus();
    }
    return 0;
}
