#pragma once

#include <cstdint>
#include <string>

// One run of the converter, with every file name already resolved.
struct SlideShowRequest {
    std::string imagePrefix;
    int32_t slideCount = 0;
    std::string outputFile;
    std::string configFile;
    std::string forwardFile;
    std::string backwardFile;
};

// The largest slide count: the movie has slide count + 2 frames and the
// header's frame count is 16-bit.
constexpr int32_t kMaxSlideCount = 65533;

// Reads the stop points, the configuration, the button images and every slide,
// composes the show and writes it. Throws ConverterError on bad input or a
// failed write; the output file is then left as it was.
void GenerateSlideMovie(const SlideShowRequest& request);
