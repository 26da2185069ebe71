// The PNG deck benchmark: makes a deck of slide-like PNG pictures (a title
// bar, lines of anti-aliased "text", a bar chart; every fourth slide on a
// gradient background) and one slide that is mostly a photograph, then times
// the converter's PNG encoding of the whole deck through its worker pool.
//
//   png_deck_bench make DIR [COUNT [WIDTH HEIGHT]]   writes DIR/slide1.png ... and DIR/photo.png
//   png_deck_bench encode DIR COUNT [LEVEL [WORKERS]]  encodes them, keeping the results as a movie would
//   png_deck_bench repeating DIR COUNT [SIDE]      writes DIR/slide1.png ...: one row of noise repeated, SIDE x SIDE
//
// `encode` prints one line of key=value pairs: wall and CPU seconds (and CPU
// milliseconds a slide of each form, on its thread), peak
// resident memory, the PNG and encoded byte totals, how many slides took the
// colour-mapped form, and the photo slide's sizes.
#include <spng.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "driver/core/orderedpool.h"
#include "driver/input/pngslide.h"

namespace {

struct Canvas {
    int width;
    int height;
    std::vector<uint8_t> rgb;

    void Blend(int x, int y, const uint8_t colour[3], int coverage, int of)
    {
        if (x < 0 || y < 0 || x >= width || y >= height || coverage <= 0) return;
        uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((colour[c] * coverage + p[c] * (of - coverage) + of / 2) / of);
    }
    void Fill(int x0, int y0, int x1, int y1, const uint8_t colour[3])
    {
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x1); ++x) Blend(x, y, colour, 1, 1);
    }
    // An axis-aligned box at quarter-pixel precision, its edges anti-aliased
    // by 4 x 4 supersampling (17 levels, as a renderer's coverage).
    void Box(double x0, double y0, double x1, double y1, const uint8_t colour[3])
    {
        const int qx0 = static_cast<int>(std::lround(x0 * 4)), qx1 = static_cast<int>(std::lround(x1 * 4));
        const int qy0 = static_cast<int>(std::lround(y0 * 4)), qy1 = static_cast<int>(std::lround(y1 * 4));
        for (int y = qy0 / 4; y <= qy1 / 4; ++y) {
            const int cy = std::clamp(std::min(qy1, y * 4 + 4) - std::max(qy0, y * 4), 0, 4);
            for (int x = qx0 / 4; x <= qx1 / 4; ++x) {
                const int cx = std::clamp(std::min(qx1, x * 4 + 4) - std::max(qx0, x * 4), 0, 4);
                Blend(x, y, colour, cx * cy, 16);
            }
        }
    }
};

// Words of glyphs made of strokes, in lines from (x, y), `size` pixels tall.
void Text(Canvas& canvas, std::mt19937& random, double x, double y, double size, double right, int lines,
          const uint8_t colour[3])
{
    const double stroke = size / 9, glyph = size * 0.55;
    for (int line = 0; line < lines; ++line) {
        double pen = x;
        const double base = y + line * size * 1.6;
        const double end = right - (random() % 5) * size;
        while (pen < end) {
            const int letters = 2 + static_cast<int>(random() % 8);
            for (int l = 0; l < letters && pen < end; ++l, pen += glyph + stroke) {
                const unsigned shape = random();
                const double top = (shape & 1) ? base : base + size * 0.3;
                if (shape & 2) canvas.Box(pen, top, pen + stroke, base + size, colour);
                if (shape & 4) canvas.Box(pen + glyph - stroke, base + size * 0.3, pen + glyph, base + size, colour);
                if (shape & 8) canvas.Box(pen, base + size * 0.3, pen + glyph, base + size * 0.3 + stroke, colour);
                if (shape & 16) canvas.Box(pen, base + size - stroke, pen + glyph, base + size, colour);
                if ((shape & 30) == 0) canvas.Box(pen + glyph / 2 - stroke / 2, top, pen + glyph / 2 + stroke / 2, base + size, colour);
            }
            pen += glyph;  // the space
        }
    }
}

Canvas Slide(int index, int width, int height)
{
    std::mt19937 random(static_cast<unsigned>(index) * 7919u + 17u);
    Canvas canvas{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, 255)};
    const double u = width / 1920.0;
    static const uint8_t kThemes[4][3] = {{31, 78, 121}, {146, 43, 33}, {30, 110, 60}, {90, 60, 130}};
    const uint8_t* theme = kThemes[index % 4];
    if (index % 4 == 3) {
        // A gradient background: many colours, the 32-bit form.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &canvas.rgb[(static_cast<size_t>(y) * width + x) * 3];
                p[0] = static_cast<uint8_t>(235 + 20 * x / width);
                p[1] = static_cast<uint8_t>(240 + 15 * y / height);
                p[2] = 250;
            }
    }
    canvas.Fill(0, 0, width, static_cast<int>(150 * u), theme);
    const uint8_t white[3] = {255, 255, 255}, ink[3] = {40, 40, 40};
    Text(canvas, random, 80 * u, 45 * u, 60 * u, width * 0.7, 1, white);
    const bool chart = index % 2 == 0;
    const double textRight = chart ? width * 0.5 : width - 80 * u;
    Text(canvas, random, 100 * u, 230 * u, 34 * u, textRight, chart ? 12 : 16, ink);
    if (chart) {
        const double left = width * 0.56, bottom = height - 120 * u, top = 260 * u, right = width - 90 * u;
        const uint8_t grid[3] = {210, 210, 210}, axis[3] = {80, 80, 80};
        for (int g = 0; g <= 5; ++g) {
            const double gy = bottom - (bottom - top) * g / 5;
            canvas.Box(left, gy, right, gy + 1.5 * u, grid);
        }
        static const uint8_t kBars[6][3] = {{68, 114, 196}, {237, 125, 49}, {165, 165, 165},
                                            {255, 192, 0}, {91, 155, 213}, {112, 173, 71}};
        const int bars = 4 + static_cast<int>(random() % 5);
        const double slot = (right - left) / bars;
        for (int b = 0; b < bars; ++b) {
            const double barTop = bottom - (bottom - top) * (0.2 + 0.8 * (random() % 1000) / 1000.0);
            canvas.Box(left + slot * (b + 0.2), barTop, left + slot * (b + 0.8), bottom, kBars[b % 6]);
            Text(canvas, random, left + slot * (b + 0.2), bottom + 20 * u, 22 * u, left + slot * (b + 0.8), 1, ink);
        }
        canvas.Box(left, top, left + 3 * u, bottom, axis);
        canvas.Box(left, bottom, right, bottom + 3 * u, axis);
    }
    Text(canvas, random, 80 * u, height - 60 * u, 20 * u, width * 0.3, 1, ink);  // footer
    return canvas;
}

// A photograph over most of a slide: smooth light, texture and sensor grain.
Canvas Photo(int width, int height)
{
    Canvas canvas = Slide(1, width, height);
    std::mt19937 random(4242);
    std::normal_distribution<double> grain(0.0, 3.0);
    const int x0 = width / 10, y0 = height / 6, x1 = width * 9 / 10, y1 = height * 19 / 20;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double fx = x / 300.0, fy = y / 300.0;
            const double light = 0.5 + 0.25 * std::sin(fx * 1.3 + 0.7) * std::cos(fy * 0.9) + 0.15 * std::sin(fx * 7.1 + fy * 5.3);
            const double texture = 0.08 * std::sin(x * 0.31 + std::sin(y * 0.05) * 4) * std::cos(y * 0.27);
            uint8_t* p = &canvas.rgb[(static_cast<size_t>(y) * width + x) * 3];
            const double tint[3] = {1.0, 0.85, 0.7};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(255 * (light + texture) * tint[c] + grain(random), 0.0, 255.0));
        }
    return canvas;
}

void WritePNG(const std::string& path, const Canvas& canvas)
{
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    spng_set_png_file(encoder, file);
    spng_ihdr header{static_cast<uint32_t>(canvas.width), static_cast<uint32_t>(canvas.height), 8,
                     SPNG_COLOR_TYPE_TRUECOLOR, 0, 0, 0};
    spng_set_ihdr(encoder, &header);
    if (const int error = spng_encode_image(encoder, canvas.rgb.data(), canvas.rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), spng_strerror(error));
        std::exit(1);
    }
    spng_ctx_free(encoder);
    std::fclose(file);
}

uint64_t FileSize(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

double CPUSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCPUSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

std::string SlidePath(const std::string& dir, size_t i)
{
    return dir + "/slide" + std::to_string(i + 1) + ".png";
}

// A side x side picture of one row of noise repeated: a small PNG (every row
// after the first filtered to zeros by the row above), but a bitmap whose
// 32-bit rows lie further apart than deflate's 32 KiB window reaches (side
// 8192 and up), so that each slide compresses to about its noise: three
// quarters of its 32-bit pixels (the reserved bytes still shrink), some
// 250 MiB a slide at the default 9216.
void WriteRepeatingPNG(const std::string& path, uint32_t side, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> row(size_t{side} * 3);
    for (uint8_t& byte : row) byte = static_cast<uint8_t>(random());
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    spng_set_png_file(encoder, file);
    spng_set_option(encoder, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP);
    spng_ihdr header{side, side, 8, SPNG_COLOR_TYPE_TRUECOLOR, 0, 0, 0};
    spng_set_ihdr(encoder, &header);
    int error = spng_encode_image(encoder, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    for (uint32_t y = 0; y < side && error == 0; ++y) {
        error = spng_encode_row(encoder, row.data(), row.size());
        if (error == SPNG_EOI) error = 0;
    }
    if (error) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), spng_strerror(error));
        std::exit(1);
    }
    spng_ctx_free(encoder);
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "make") {
        const size_t count = args.size() > 2 ? std::stoul(args[2]) : 200;
        const int width = args.size() > 4 ? std::stoi(args[3]) : 1920;
        const int height = args.size() > 4 ? std::stoi(args[4]) : 1080;
        RunOrdered(
            count + 1,
            [&](size_t i) {
                if (i == count)
                    WritePNG(args[1] + "/photo.png", Photo(width, height));
                else
                    WritePNG(SlidePath(args[1], i), Slide(static_cast<int>(i), width, height));
                return 0;
            },
            [](size_t, int) {});
        return 0;
    }
    if (args.size() >= 3 && args[0] == "repeating") {
        const size_t count = std::stoul(args[2]);
        const uint32_t side = args.size() > 3 ? static_cast<uint32_t>(std::stoul(args[3])) : 9216;
        for (size_t i = 0; i < count; ++i) WriteRepeatingPNG(SlidePath(args[1], i), side, static_cast<unsigned>(i + 1));
        return 0;
    }
    if (args.size() >= 3 && args[0] == "encode") {
        const std::string& dir = args[1];
        const size_t count = std::stoul(args[2]);
        const int level = args.size() > 3 ? std::stoi(args[3]) : kLosslessSlideLevel;
        const unsigned workers = args.size() > 4 ? static_cast<unsigned>(std::stoul(args[4])) : 0;
        std::vector<LosslessSlide> movie;  // the compressed slides, held as the movie holds them
        uint64_t pngBytes = 0, encodedBytes = 0;
        size_t mapped = 0;
        std::vector<double> slideSeconds(count);  // each slide's decoding and encoding, on its thread
        double formSeconds[2] = {0, 0};
        const double cpuStart = CPUSeconds();
        const auto start = std::chrono::steady_clock::now();
        RunOrdered(
            count,
            [&](size_t i) {
                const double t = ThreadCPUSeconds();
                LosslessSlide slide = EncodePNGSlide(SlidePath(dir, i), level);
                slideSeconds[i] = ThreadCPUSeconds() - t;
                return slide;
            },
            [&](size_t i, LosslessSlide slide) {
                pngBytes += FileSize(SlidePath(dir, i));
                encodedBytes += slide.zlibData.size();
                mapped += slide.format == 3;
                formSeconds[slide.format == 3 ? 0 : 1] += slideSeconds[i];
                movie.push_back(std::move(slide));
            },
            workers);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CPUSeconds() - cpuStart;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const LosslessSlide photo = EncodePNGSlide(dir + "/photo.png", level);
        std::printf("slides=%zu level=%d workers=%u wall_s=%.3f cpu_s=%.3f peak_rss_mib=%.1f png_bytes=%llu "
                    "encoded_bytes=%llu ratio=%.3f colour_mapped=%zu mapped_ms=%.1f argb_ms=%.1f photo_png=%llu photo_encoded=%zu photo_ratio=%.2f\n",
                    count, level, workers ? workers : DefaultWorkerCount(), wall, cpu, usage.ru_maxrss / 1024.0,
                    static_cast<unsigned long long>(pngBytes), static_cast<unsigned long long>(encodedBytes),
                    pngBytes ? static_cast<double>(encodedBytes) / pngBytes : 0.0, mapped,
                    mapped ? 1000 * formSeconds[0] / mapped : 0.0, mapped < count ? 1000 * formSeconds[1] / (count - mapped) : 0.0,
                    static_cast<unsigned long long>(FileSize(dir + "/photo.png")), photo.zlibData.size(),
                    static_cast<double>(photo.zlibData.size()) / FileSize(dir + "/photo.png"));
        return 0;
    }
    if (args.size() >= 3 && args[0] == "profile") {
        // One thread: the CPU time of decoding alone, then of encoding decoded
        // pixels, apart for each form.
        const std::string& dir = args[1];
        const size_t count = std::stoul(args[2]);
        const int level = args.size() > 3 ? std::stoi(args[3]) : kLosslessSlideLevel;
        double decodeSeconds = 0, encodeSeconds[2] = {0, 0};
        uint64_t bytes[2] = {0, 0}, pngBytes[2] = {0, 0};
        size_t slides[2] = {0, 0};
        for (size_t i = 0; i < count; ++i) {
            const std::string path = SlidePath(dir, i);
            std::FILE* file = std::fopen(path.c_str(), "rb");
            double t = CPUSeconds();
            spng_ctx* decoder = spng_ctx_new(0);
            spng_set_png_file(decoder, file);
            spng_ihdr header{};
            spng_get_ihdr(decoder, &header);
            size_t size = 0;
            spng_decoded_image_size(decoder, SPNG_FMT_RGBA8, &size);
            std::vector<uint8_t> rgba(size);
            spng_decode_image(decoder, rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
            spng_ctx_free(decoder);
            std::fclose(file);
            decodeSeconds += CPUSeconds() - t;
            t = CPUSeconds();
            const LosslessSlide slide = EncodeLosslessRGBA(rgba.data(), static_cast<int32_t>(header.width),
                                                           static_cast<int32_t>(header.height), level);
            const int form = slide.format == 3 ? 0 : 1;
            encodeSeconds[form] += CPUSeconds() - t;
            bytes[form] += slide.zlibData.size();
            pngBytes[form] += FileSize(path);
            ++slides[form];
        }
        std::printf("level=%d decode_ms=%.1f mapped: n=%zu encode_ms=%.1f ratio=%.3f  argb: n=%zu encode_ms=%.1f ratio=%.3f\n",
                    level, 1000 * decodeSeconds / count, slides[0], slides[0] ? 1000 * encodeSeconds[0] / slides[0] : 0.0,
                    pngBytes[0] ? static_cast<double>(bytes[0]) / pngBytes[0] : 0.0, slides[1],
                    slides[1] ? 1000 * encodeSeconds[1] / slides[1] : 0.0,
                    pngBytes[1] ? static_cast<double>(bytes[1]) / pngBytes[1] : 0.0);
        return 0;
    }
    std::fprintf(stderr, "usage: png_deck_bench make DIR [COUNT [WIDTH HEIGHT]]\n"
                         "       png_deck_bench repeating DIR COUNT [SIDE]\n"
                         "       png_deck_bench encode DIR COUNT [LEVEL [WORKERS]]\n");
    return 2;
}
