// The PDF deck module alone: every page of a PDF rendered and encoded to JPEG
// at one pixel size, on all cores, timed; and the measurements behind its
// choices (chroma sampling, optimised tables, what a thread's own document costs).
//
//   pdfrender deck.pdf [--size WxH] [--threads N] [--quality N] [--sampling 444|420]
//             [--optimize] [--out DIR]     time the whole deck (JPEGs to DIR when given)
//   pdfrender deck.pdf --compare [--size WxH] [--quality N]
//                                          4:4:4 against 4:2:0 and optimised tables: bytes, time, PSNR
//   pdfrender deck.pdf --opening           opening a thread's document (a cloned context and the file)

#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "driver/core/error.h"
#include "driver/pdf/rasterpages.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct JPEGError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

// RGB rows of a JPEG file (the measurement's own reader; exits on a bad file).
std::vector<uint8_t> DecodeRGB(const std::vector<uint8_t>& jpeg)
{
    std::vector<uint8_t> rgb;
    jpeg_decompress_struct info {};
    JPEGError error {};
    info.err = jpeg_std_error(&error.manager);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    rgb.resize(size_t{info.output_width} * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.data() + size_t{info.output_scanline} * info.output_width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

// Peak signal-to-noise ratio of the RGB channels over a rectangle, in dB.
double PSNR(const std::vector<uint8_t>& rgba, const std::vector<uint8_t>& rgb, int32_t width, int32_t x0, int32_t y0,
            int32_t x1, int32_t y1)
{
    double sum = 0;
    size_t count = 0;
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c)]) -
                                 double(rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)]);
                sum += d * d;
                ++count;
            }
    const double mse = sum / double(count);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

void Compare(const PDFDeck& deck, PixelSize size, int32_t quality)
{
    struct Variant {
        const char* name;
        JPEGSettings settings;
        size_t bytes = 0;
        double seconds = 0, page = 0, text = 0;
    };
    std::vector<Variant> variants = {
        {"4:2:0", {quality, ChromaSampling::Half, false}},
        {"4:2:0 optimised", {quality, ChromaSampling::Half, true}},
        {"4:4:4", {quality, ChromaSampling::Full, false}},
        {"4:4:4 optimised", {quality, ChromaSampling::Full, true}},
    };
    double renderSeconds = 0;
    const int32_t pages = deck.PageCount();
    for (int32_t page = 0; page < pages; ++page) {
        const Clock::time_point start = Clock::now();
        const std::vector<uint8_t> rgba = deck.RenderRGBA(page, size);
        renderSeconds += Seconds(start);
        // The red subtitle: 80 to 460 points across, 110 to 150 down, of a 960 x 540 page.
        const double scale = size.width / deck.SizeOf(page).width;
        const auto px = [&](double points) { return static_cast<int32_t>(points * scale); };
        for (Variant& variant : variants) {
            const Clock::time_point encodeStart = Clock::now();
            const std::vector<uint8_t> jpeg =
                EncodeJPEG(rgba.data(), size.width, size.height, size_t(size.width) * 4, PixelLayout::RGBA,
                           variant.settings);
            variant.seconds += Seconds(encodeStart);
            variant.bytes += jpeg.size();
            const std::vector<uint8_t> rgb = DecodeRGB(jpeg);
            variant.page += PSNR(rgba, rgb, size.width, 0, 0, size.width, size.height);
            variant.text += PSNR(rgba, rgb, size.width, px(80), px(110), px(460), px(150));
        }
    }
    std::printf("%d pages at %d x %d, quality %d; rendering %.1f ms a page\n", pages, size.width, size.height, quality,
                1000 * renderSeconds / pages);
    std::printf("%-16s %12s %14s %14s %16s\n", "sampling", "bytes", "encode ms/pg", "PSNR page dB", "PSNR red text dB");
    for (const Variant& variant : variants)
        std::printf("%-16s %12zu %14.2f %14.2f %16.2f\n", variant.name, variant.bytes, 1000 * variant.seconds / pages,
                    variant.page / pages, variant.text / pages);
}

void Opening(const PDFDeck& deck)
{
    constexpr int kTimes = 50;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kTimes; ++i) deck.OpenAnother();
    std::printf("opening a thread's document of '%s': %.3f ms\n", deck.FileName().c_str(),
                1000 * Seconds(start) / kTimes);
}

bool ParseSize(const std::string& text, PixelSize& size)
{
    return std::sscanf(text.c_str(), "%dx%d", &size.width, &size.height) == 2 && size.width > 0 && size.height > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pdfrender deck.pdf [--size WxH] [--threads N] [--quality N] [--sampling 444|420]\n"
                             "                 [--optimize] [--out DIR] [--compare] [--opening]\n");
        return 2;
    }
    PixelSize size{1280, 720};
    int32_t threads = 0;
    PageEncoding encoding;
    std::string outputFolder;
    bool compare = false, opening = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (argument == "--size" && ParseSize(value, size)) {
            ++i;
        } else if (argument == "--threads") {
            threads = std::atoi(value.c_str()), ++i;
        } else if (argument == "--quality") {
            encoding.jpeg.quality = std::atoi(value.c_str()), ++i;
        } else if (argument == "--sampling" && (value == "444" || value == "420")) {
            encoding.jpeg.sampling = value == "444" ? ChromaSampling::Full : ChromaSampling::Half, ++i;
        } else if (argument == "--optimize") {
            encoding.jpeg.optimizeCoding = true;
        } else if (argument == "--out") {
            outputFolder = value, ++i;
        } else if (argument == "--compare") {
            compare = true;
        } else if (argument == "--opening") {
            opening = true;
        } else {
            std::fprintf(stderr, "pdfrender: unknown argument '%s'\n", argument.c_str());
            return 2;
        }
    }
    try {
        const Clock::time_point start = Clock::now();
        const PDFDeck deck(argv[1]);
        if (compare) {
            Compare(deck, size, encoding.jpeg.quality);
            return 0;
        }
        if (opening) {
            Opening(deck);
            return 0;
        }
        // Every page at the same size, as for a deck of one page size.
        const std::vector<PixelSize> sizes(static_cast<size_t>(deck.PageCount()), size);
        size_t bytes = 0;
        RenderPDFPages(
            deck, sizes, encoding,
            [&](int32_t page, EncodedPage&& encoded) {
                bytes += encoded.jpeg.size();
                if (!outputFolder.empty()) {
                    std::ofstream file(outputFolder + "/page" + std::to_string(page + 1) + ".jpg", std::ios::binary);
                    file.write(reinterpret_cast<const char*>(encoded.jpeg.data()),
                               static_cast<std::streamsize>(encoded.jpeg.size()));
                }
            },
            threads);
        std::printf("%d pages at %d x %d in %.3f s, %zu JPEG bytes\n", deck.PageCount(), size.width, size.height,
                    Seconds(start), bytes);
    } catch (const ConverterError& error) {
        std::fprintf(stderr, "pdfrender: %s\n", error.what());
        return error.ExitStatus();
    }
    return 0;
}
