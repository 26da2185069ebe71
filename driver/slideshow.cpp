#include "driver/slideshow.h"

#include <algorithm>
#include <vector>

#include "driver/slideinput.h"
#include "hf/hfmovie.h"

namespace {

constexpr uint64_t kMaxCharacterIDs = 0xFFFF;

// For each frame index, how many backward buttons its stop positions make:
// a position makes one when its entry differs from the entry before it.
std::vector<uint32_t> BackwardButtonsPerFrame(int32_t slideCount, const std::vector<int32_t>& stopTable)
{
    std::vector<uint32_t> buttons(static_cast<size_t>(std::max(slideCount, 0)), 0);
    for (size_t p = 1; p < stopTable.size(); ++p) {
        const int32_t frame = stopTable[p];
        if (frame >= 0 && frame < slideCount && stopTable[p] != stopTable[p - 1]) ++buttons[static_cast<size_t>(frame)];
    }
    return buttons;
}

}  // namespace

uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable)
{
    uint64_t ids = 7 * static_cast<uint64_t>(std::max(slideCount, 0)) + 1;  // + the closing notice
    for (uint32_t buttons : BackwardButtonsPerFrame(slideCount, stopTable))
        if (buttons > 0) ids += 3 + (buttons - 1);
    return ids;
}

int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable)
{
    int32_t low = 0;  // fits
    int32_t high = kMaxSlideCount + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (CharacterIDsNeeded(middle, stopTable) <= kMaxCharacterIDs ? low : high) = middle;
    }
    return low;
}

void GenerateSlideMovie(const SlideShowRequest& request)
{
    HFMovie movie;
    const std::vector<int32_t> stopTable = ReadStopPoints(request.imagePrefix + ".stp");
    // Refused before any slide is read: the movie could not name its characters.
    if (CharacterIDsNeeded(request.slideCount, stopTable) > kMaxCharacterIDs) {
        throw ConverterError("a deck of " + std::to_string(request.slideCount) +
                                 " slides with these stop points needs more than 65535 characters; "
                                 "at most " + std::to_string(LargestSlideCountThatFits(stopTable)) +
                                 " slides fit in one movie",
                             kExitFailure);
    }
    const SlideSize size = ReadConfig(request.configFile);
    const std::vector<uint8_t> forwardImage = LoadWholeFile(request.forwardFile, "forward button image");
    CheckJPEG(forwardImage, request.forwardFile, "forward button image");
    const std::vector<uint8_t> backwardImage = LoadWholeFile(request.backwardFile, "backward button image");
    CheckJPEG(backwardImage, request.backwardFile, "backward button image");

    // The movie refers to each slide's bytes until it is written.
    std::vector<std::vector<uint8_t>> slides;
    slides.reserve(static_cast<size_t>(request.slideCount));
    for (int32_t n = 1; n <= request.slideCount; ++n) {
        const std::string name = SlideFileName(request.imagePrefix, n);
        slides.push_back(LoadWholeFile(name, "slide image"));
        CheckJPEG(slides.back(), name, "slide image");
    }

    // The slide area and a band of 40 pixels below it for the buttons.
    movie.SetSize(size.width * 20, size.height * 20 + 800);
    std::string reason;
    if (!movie.WriteMovie(request.outputFile, &reason))
        throw ConverterError("cannot write '" + request.outputFile + "': " + reason, kExitFailure);
}
