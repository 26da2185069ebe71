// A whole converter run over a fuzzed deck: the stop file, the configuration,
// the button images and the slides come from the input; the run must either
// write a movie or refuse with a message, never crash.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/slideinput.h"
#include "driver/slideshow.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder()
{
    static const fs::path folder = [] {
        fs::path path = fs::temp_directory_path() / ("corvanex-fuzz-" + std::to_string(getpid()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

void Write(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Mostly JPEG-looking bytes, so that runs get past the image checks.
std::string Image(FuzzedDataProvider& input)
{
    std::string bytes = input.ConsumeBool() ? "\xFF\xD8" : "";
    return bytes + input.ConsumeRandomLengthString(64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const fs::path& folder = Folder();
    const int32_t slides = input.ConsumeIntegralInRange<int32_t>(0, 6);

    SlideShowRequest request;
    request.imagePrefix = (folder / "deck").string();
    request.slideCount = slides;
    request.outputFile = (folder / "out.swf").string();
    request.configFile = (folder / "config.txt").string();
    request.forwardFile = (folder / "forward.jpg").string();
    request.backwardFile = (folder / "backward.jpg").string();

    Write(folder / "deck.stp", input.ConsumeRandomLengthString(64));
    Write(request.configFile, input.ConsumeBool() ? input.ConsumeRandomLengthString(32)
                                                  : std::to_string(input.ConsumeIntegralInRange(1, 2000)) + "\n" +
                                                        std::to_string(input.ConsumeIntegralInRange(1, 2000)));
    Write(request.forwardFile, Image(input));
    Write(request.backwardFile, Image(input));
    for (int32_t n = 1; n <= slides; ++n) Write(SlideFileName(request.imagePrefix, n), Image(input));

    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the depth-sorting lines
    (void)quiet;
    try {
        GenerateSlideMovie(request);
    } catch (const ConverterError&) {
    }
    return 0;
}
