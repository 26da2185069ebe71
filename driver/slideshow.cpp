#include "driver/slideshow.h"

#include <vector>

#include "driver/slideinput.h"
#include "hf/hfmovie.h"

void GenerateSlideMovie(const SlideShowRequest& request)
{
    HFMovie movie;
    const std::vector<int32_t> stopTable = ReadStopPoints(request.imagePrefix + ".stp");
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
