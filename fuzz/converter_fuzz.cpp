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
#include <vector>

#include "driver/core/error.h"
#include "driver/input/numberedfiles.h"
#include "driver/forms/imageform.h"
#include "fuzz/scratch_folder.h"
#include "tests/support/swf_reader.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The header of a baseline grey JPEG of the given size, then `scan` as its
// data and the end marker: the converter reads no further than the header.
std::string JPEGHeader(uint16_t width, uint16_t height, const std::string& scan)
{
    const auto word = [](int value) { return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; };
    std::string bytes = "\xFF\xD8";
    bytes += "\xFF\xDB" + word(67) + std::string(1, '\0') + std::string(64, '\x01');
    bytes += "\xFF\xC0" + word(11) + "\x08" + word(height) + word(width) + std::string("\x01\x01\x11\x00", 4);
    for (const char* tableClass : {"\x00", "\x10"})
        bytes += "\xFF\xC4" + word(20) + std::string(tableClass, 1) + "\x01" + std::string(16, '\0');
    bytes += "\xFF\xDA" + word(8) + std::string("\x01\x01\x00\x00\x3F\x00", 6);
    return bytes + scan + "\xFF\xD9";
}

// A JPEG that passes the checks (so that runs reach the composition), or
// JPEG-looking bytes, or any.
std::string Image(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: {
        const auto width = input.ConsumeIntegralInRange<uint16_t>(1, 64);
        const auto height = input.ConsumeIntegralInRange<uint16_t>(1, 64);
        return JPEGHeader(width, height, input.ConsumeRandomLengthString(8));
    }
    case 1: return "\xFF\xD8" + input.ConsumeRandomLengthString(64);
    default: return input.ConsumeRandomLengthString(64);
    }
}

// A stop file of numbers as people and programs write them, or any bytes.
// The numbers are mostly frames of the deck and, around them, values below 0
// and beyond 16 bits, so that such entries become the return frames of
// backward buttons; some are zero-padded or signed.
std::string StopFile(FuzzedDataProvider& input)
{
    if (input.ConsumeBool()) return input.ConsumeRandomLengthString(64);
    std::string text;
    const int lines = input.ConsumeIntegralInRange(0, 10);
    for (int line = 0; line < lines; ++line) {
        int64_t value = 0;
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: value = input.ConsumeIntegralInRange(-1, 7); break;
        case 1: value = input.ConsumeIntegralInRange(65530, 70000); break;
        case 2: value = input.ConsumeIntegralInRange(-99999, 99999); break;  // fits in a line's six characters
        default: value = input.ConsumeIntegral<int32_t>(); break;             // cut at six characters
        }
        std::string number = std::to_string(value < 0 ? -value : value);
        number.insert(0, input.ConsumeIntegralInRange<size_t>(0, 2), '0');
        const char* const signs[] = {"", "+", "-"};  // -0 is 0
        text += value < 0 ? "-" : signs[input.ConsumeIntegralInRange(0, value == 0 ? 2 : 1)];
        text += number;
        if (line + 1 < lines || input.ConsumeBool()) text += "\n";
    }
    return text;
}

// Every file of one run, from the input.
struct FuzzedDeck {
    bool keys = false;
    bool stopLast = false;
    std::string stops, config, forward, backward;
    std::vector<std::string> slides;
};

FuzzedDeck ConsumeDeck(FuzzedDataProvider& input)
{
    FuzzedDeck deck;
    deck.slides.resize(input.ConsumeIntegralInRange<size_t>(0, 6));
    deck.keys = input.ConsumeBool();
    deck.stopLast = input.ConsumeBool();
    deck.stops = StopFile(input);
    deck.config = input.ConsumeBool() ? input.ConsumeRandomLengthString(32)
                                      : std::to_string(input.ConsumeIntegralInRange(1, 65535)) + "\n" +
                                            std::to_string(input.ConsumeIntegralInRange(1, 65535));
    deck.forward = Image(input);
    deck.backward = Image(input);
    for (std::string& slide : deck.slides) slide = Image(input);
    return deck;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const FuzzFolder folder("fuzz");
    const FuzzedDeck deck = ConsumeDeck(input);
    const auto slides = static_cast<int32_t>(deck.slides.size());

    SlideShowRequest request;
    request.imagePrefix = (folder / "deck").string();
    request.slideCount = slides;
    request.outputFile = (folder / "out.swf").string();
    request.configFile = (folder / "config.txt").string();
    request.forwardFile = (folder / "forward.jpg").string();
    request.backwardFile = (folder / "backward.jpg").string();
    request.keys = deck.keys;
    request.stopLast = deck.stopLast;

    Write(folder / "deck.stp", deck.stops);
    Write(request.configFile, deck.config);
    Write(request.forwardFile, deck.forward);
    Write(request.backwardFile, deck.backward);
    for (int32_t n = 1; n <= slides; ++n)
        Write(SlideFileName(request.imagePrefix, n), deck.slides[static_cast<size_t>(n - 1)]);

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
