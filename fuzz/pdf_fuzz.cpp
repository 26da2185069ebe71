// A whole PDF-deck run over a fuzzed PDF, through the converter's own entry
// for a PDF deck: the input is the PDF, then four bytes that choose the run
// (a small stage or 1920 x 1080, vectors or now and then --raster, a cap on
// the pictures' resolution). The run must either write a well-formed movie or
// refuse with a message and leave no output, never crash. The seed corpus is
// made by pdf_seeds.cpp beside this file.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/scratch_folder.h"

#ifdef CORVANEX_PDF
#include "driver/forms/pdfform.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "tests/support/swf_reader.h"
#endif

namespace {

#ifdef CORVANEX_PDF

namespace fs = std::filesystem;

void Write(const fs::path& path, const uint8_t* data, size_t size)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A baseline grey JPEG header of `width` x `height` and a few bytes of scan:
// the buttons, which the converter reads no further than their header.
std::string ButtonJPEG(int width, int height)
{
    const auto word = [](int value) { return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; };
    std::string bytes = "\xFF\xD8";
    bytes += "\xFF\xDB" + word(67) + std::string(1, '\0') + std::string(64, '\x01');
    bytes += "\xFF\xC0" + word(11) + "\x08" + word(height) + word(width) + std::string("\x01\x01\x11\x00", 4);
    for (const char* tableClass : {"\x00", "\x10"})
        bytes += "\xFF\xC4" + word(20) + std::string(tableClass, 1) + "\x01" + std::string(16, '\0');
    bytes += "\xFF\xDA" + word(8) + std::string("\x01\x01\x00\x00\x3F\x00", 6);
    return bytes + std::string(8, 'x') + "\xFF\xD9";
}

// What the last four bytes choose. Taken from the end, so that a seed is a
// PDF any reader opens, with its choices after its %%EOF.
struct Run {
    bool raster = false;
    bool fullHD = false;
    int32_t maxImageDPI = 0;
    SlideSize stage;
};

constexpr size_t kChoiceBytes = 4;

Run Choose(const uint8_t* choice)
{
    Run run;
    run.raster = (choice[0] & 0x07) == 0x07;  // one in eight
    run.fullHD = (choice[0] & 0x08) != 0;
    if (choice[0] & 0x10) run.maxImageDPI = 36 + choice[3];
    // Small stages stay wide enough for the buttons (80 pixels), or the run
    // is refused before any page is drawn.
    run.stage = run.fullHD ? SlideSize{1920, 1080} : SlideSize{80 + choice[1], 8 + choice[2]};
    return run;
}

#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#ifdef CORVANEX_PDF
    if (size < kChoiceBytes) return 0;
    const size_t pdfSize = size - kChoiceBytes;
    const Run run = Choose(data + pdfSize);
    const FuzzFolder folder("pdf-fuzz");

    PDFShowRequest request;
    request.pdfFile = (folder / "deck.pdf").string();
    request.outputFile = (folder / "out.swf").string();
    request.forwardFile = (folder / "forward.jpg").string();
    request.backwardFile = (folder / "backward.jpg").string();
    request.size = run.stage;
    request.raster = run.raster;
    request.maxImageDPI = run.maxImageDPI;
    request.warn = [](const std::string&) {};
    request.tell = [](const std::string&) {};
    Write(request.pdfFile, data, pdfSize);
    const std::string button = ButtonJPEG(16, 16);
    Write(request.forwardFile, reinterpret_cast<const uint8_t*>(button.data()), button.size());
    Write(request.backwardFile, reinterpret_cast<const uint8_t*>(button.data()), button.size());

    try {
        GeneratePDFMovie(request);
    } catch (const ConverterError&) {
        if (fs::exists(request.outputFile)) __builtin_trap();  // a refused run writes nothing
        return 0;
    }
    // At least one page, the empty frame and the closing frame, every frame
    // shown; the length field is the file's.
    const std::vector<uint8_t> bytes = swftest::ReadFile(request.outputFile);
    const swftest::Movie movie = swftest::Parse(bytes);
    if (movie.fileLength != bytes.size() || movie.frameCount < 3 || movie.ShowFrames() != movie.frameCount)
        __builtin_trap();
#else
    (void)data;
    (void)size;
#endif
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the depth-sorting lines
    (void)quiet;
    return 0;
}
