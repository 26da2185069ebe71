// A whole converter run over a fuzzed deck: the stop file, the configuration,
// the button images and the slides come from the input; the run must either
// write a well-formed movie or refuse with a message and leave no output,
// never crash.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/slideinput.h"
#include "driver/slideshow.h"
#include "tests/support/swf_reader.h"

namespace {

namespace fs = std::filesystem;

// A folder of this process's own for one input, gone when the input is done
// (libFuzzer may end the process without running exit handlers).
class Folder {
public:
    Folder() : path(fs::temp_directory_path() / ("corvanex-fuzz-" + std::to_string(getpid())))
    {
        fs::create_directories(path);
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path operator/(const char* name) const { return path / name; }

private:
    fs::path path;
};

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
    const Folder folder;
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
                                                  : std::to_string(input.ConsumeIntegralInRange(1, 65535)) + "\n" +
                                                        std::to_string(input.ConsumeIntegralInRange(1, 65535)));
    Write(request.forwardFile, Image(input));
    Write(request.backwardFile, Image(input));
    for (int32_t n = 1; n <= slides; ++n) Write(SlideFileName(request.imagePrefix, n), Image(input));

    try {
        GenerateSlideMovie(request);
    } catch (const ConverterError&) {
        if (fs::exists(request.outputFile)) __builtin_trap();  // a refused run writes nothing
        return 0;
    }
    // Slides, the empty frame and the closing frame; the length field is the file's.
    const std::vector<uint8_t> bytes = swftest::ReadFile(request.outputFile);
    const swftest::Movie movie = swftest::Parse(bytes);
    if (movie.fileLength != bytes.size() || movie.frameCount != static_cast<uint32_t>(slides) + 2 ||
        movie.ShowFrames() != movie.frameCount)
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the depth-sorting lines
    (void)quiet;
    return 0;
}
