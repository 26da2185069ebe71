// PNG slides on arbitrary bytes: a file is either refused naming it, or gives
// a lossless bitmap payload whose form and size agree with the picture.

#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/input/pngslide.h"
#include "driver/core/error.h"

namespace {

std::string InputFile()
{
    static const std::string name = "/tmp/png_fuzz_" + std::to_string(getpid()) + ".png";
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name = InputFile();
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    try {
        const PNGInfo header = ReadPNGHeader(name);
        const LosslessSlide slide = EncodePNGSlide(name);
        if (slide.width != header.width || slide.height != header.height) std::abort();
        const size_t w = static_cast<size_t>(slide.width), h = static_cast<size_t>(slide.height);
        size_t expected = w * h * 4;
        if (slide.format == 3) {
            if (slide.colorTableEntries < 1 || slide.colorTableEntries > 256) std::abort();
            expected = slide.colorTableEntries * (slide.alpha ? 4 : 3) + (w + 3) / 4 * 4 * h;
        } else if (slide.format != 5 || slide.colorTableEntries != 0) {
            std::abort();
        }
        std::vector<uint8_t> raw(expected + 1);
        uLongf rawSize = static_cast<uLongf>(raw.size());
        if (uncompress(raw.data(), &rawSize, slide.zlibData.data(), static_cast<uLong>(slide.zlibData.size())) != Z_OK ||
            rawSize != expected)
            std::abort();
        // Format 3 indices stay inside the table.
        if (slide.format == 3) {
            const size_t table = slide.colorTableEntries * (slide.alpha ? 4 : 3);
            for (size_t i = table; i < expected; ++i)
                if (raw[i] >= slide.colorTableEntries) std::abort();
        }
    } catch (const ConverterError& error) {
        if (std::string(error.what()).find("'" + name + "'") == std::string::npos) std::abort();
    }
    return 0;
}
