// Writes a slide-like PDF deck (see tests/support/pdfmaker.h):
//   makepdf [--pages N] [--portrait N] [--rotated N] [--cropped N] [--numbered]
//           [--gradient] [--photo N] [--link FROM:TO] [--user PASSWORD] [--owner PASSWORD]
//           [--empty] output.pdf
// --portrait, --rotated, --cropped and --photo name a 1-based page and may be
// repeated. --gradient shades every page's background; --photo puts a photo
// (a made one: soft colour fields with grain, a 1280 x 720 JPEG of quality 85)
// in the chart's place. --link puts a link to page TO over page FROM's first
// colour block.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tests/support/pdfmaker.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: makepdf [--pages N] [--portrait N] [--rotated N] [--cropped N] [--numbered]\n"
                 "               [--gradient] [--photo N] [--link FROM:TO] [--user PASSWORD] [--owner PASSWORD]\n"
                 "               [--empty] output.pdf\n");
    return 2;
}

bool PageNumber(const char* text, int32_t& value)
{
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || number < 1 || number > 100000) return false;
    value = static_cast<int32_t>(number);
    return true;
}

// A photograph's worth of detail: soft colour fields and a grain no
// encoder can drop, as a camera gives.
std::string PhotoJPEG(int32_t width, int32_t height)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 27) - 16;
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            const int base[3] = {static_cast<int>(90 + 120 * u * (1 - v)), static_cast<int>(140 - 60 * v + 40 * u),
                                 static_cast<int>(200 - 130 * v)};
            for (int c = 0; c < 3; ++c)
                rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3 +
                    static_cast<size_t>(c)] = static_cast<uint8_t>(std::clamp(base[c] + grain, 0, 255));
        }
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + static_cast<size_t>(info.next_scanline) * static_cast<size_t>(width) * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string jpeg(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return jpeg;
}

}  // namespace

int main(int argc, char** argv)
{
    pdfmaker::DeckOptions options;
    bool empty = false;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        int32_t page = 0;
        if (argument == "--numbered") {
            options.numberedCorners = true;
        } else if (argument == "--empty") {
            empty = true;
        } else if (argument == "--link" && hasValue) {
            const std::string value = argv[++i];
            const size_t colon = value.find(':');
            int32_t to = 0;
            if (colon == std::string::npos || !PageNumber(value.substr(0, colon).c_str(), page) ||
                !PageNumber(value.substr(colon + 1).c_str(), to))
                return Usage();
            options.pageLinks[page] = to;
        } else if (argument == "--gradient") {
            options.gradientBackground = true;
        } else if (argument == "--photo" && hasValue && PageNumber(argv[i + 1], page)) {
            options.photoPages.insert(page), ++i;
        } else if (argument == "--pages" && hasValue && PageNumber(argv[i + 1], page)) {
            options.pages = page, ++i;
        } else if (argument == "--portrait" && hasValue && PageNumber(argv[i + 1], page)) {
            options.portraitPages.insert(page), ++i;
        } else if (argument == "--rotated" && hasValue && PageNumber(argv[i + 1], page)) {
            options.rotatedPages.insert(page), ++i;
        } else if (argument == "--cropped" && hasValue && PageNumber(argv[i + 1], page)) {
            options.croppedPages.insert(page), ++i;
        } else if (argument == "--user" && hasValue) {
            options.userPassword = argv[++i];
        } else if (argument == "--owner" && hasValue) {
            options.ownerPassword = argv[++i];
        } else if (output.empty() && !argument.starts_with("--")) {
            output = argument;
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();
    if (!options.photoPages.empty()) {
        options.photoWidth = 1280, options.photoHeight = 720;
        options.photoJPEG = PhotoJPEG(options.photoWidth, options.photoHeight);
    }
    const std::string pdf = empty ? pdfmaker::MakeEmptyDeck() : pdfmaker::MakeDeck(options);
    std::ofstream file(output, std::ios::binary);
    file << pdf;
    file.close();
    if (!file) {
        std::fprintf(stderr, "makepdf: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
