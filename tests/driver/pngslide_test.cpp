#include "driver/pngslide.h"

#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/orderedpool.h"
#include "driver/slideinput.h"
#include "hf/hfmovie.h"
#include "support/movie_folder.h"
#include "support/swf_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
    int32_t width;
    int32_t height;
    Bytes rgba;  // straight alpha, rows back to back
    uint32_t At(int32_t x, int32_t y) const
    {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
};

// `colours` distinct colours over a width x height picture, with alpha
// `alpha(i)` for colour i.
template <class Alpha>
Picture Colours(int32_t width, int32_t height, int colours, Alpha alpha)
{
    Picture picture{width, height, Bytes(static_cast<size_t>(width) * height * 4)};
    for (int32_t i = 0; i < width * height; ++i) {
        const int c = i % colours;
        uint8_t* p = &picture.rgba[static_cast<size_t>(i) * 4];
        p[0] = static_cast<uint8_t>(c * 7), p[1] = static_cast<uint8_t>(c / 37 * 50), p[2] = static_cast<uint8_t>(255 - c);
        p[3] = alpha(c);
    }
    return picture;
}
Picture Opaque(int32_t width, int32_t height, int colours)
{
    return Colours(width, height, colours, [](int) { return uint8_t{255}; });
}

// A PNG file of the picture, made by an independent encoder.
std::string WritePNG(const std::string& name, const Picture& picture, uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA)
{
    Bytes pixels;
    const int channels = colorType == SPNG_COLOR_TYPE_TRUECOLOR ? 3 : colorType == SPNG_COLOR_TYPE_GRAYSCALE ? 1 : 4;
    for (size_t i = 0; i < picture.rgba.size(); i += 4)
        pixels.insert(pixels.end(), picture.rgba.begin() + static_cast<long>(i), picture.rgba.begin() + static_cast<long>(i) + channels);
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header{static_cast<uint32_t>(picture.width), static_cast<uint32_t>(picture.height), 8, colorType, 0, 0, 0};
    spng_set_ihdr(encoder, &header);
    EXPECT_EQ(spng_encode_image(encoder, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    size_t size = 0;
    int error = 0;
    void* png = spng_get_png_buffer(encoder, &size, &error);
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(png), static_cast<std::streamsize>(size));
    std::free(png);
    spng_ctx_free(encoder);
    return path;
}

Bytes Inflate(const Bytes& compressed, size_t size)
{
    Bytes out(size + 1);
    uLongf outSize = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(out.data(), &outSize, compressed.data(), static_cast<uLong>(compressed.size())), Z_OK);
    out.resize(outSize);
    return out;
}

uint32_t Premultiplied(uint32_t rgba)
{
    const double a = rgba >> 24;
    uint32_t out = rgba & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= static_cast<uint32_t>(std::lround(((rgba >> shift) & 0xFF) * a / 255.0)) << shift;
    return out;
}

// The pixels the slide's payload shows, as premultiplied RGBA, read the way
// the format lays them out: colour table and padded rows, or ARGB.
std::vector<uint32_t> Shown(const LosslessSlide& slide)
{
    const size_t w = static_cast<size_t>(slide.width), h = static_cast<size_t>(slide.height);
    std::vector<uint32_t> pixels;
    if (slide.format == 5) {
        const Bytes raw = Inflate(slide.zlibData, w * h * 4);
        EXPECT_EQ(raw.size(), w * h * 4);
        for (size_t i = 0; i + 3 < raw.size(); i += 4)
            pixels.push_back(raw[i + 1] | raw[i + 2] << 8 | raw[i + 3] << 16 | static_cast<uint32_t>(raw[i]) << 24);
        return pixels;
    }
    const size_t entry = slide.alpha ? 4 : 3, stride = (w + 3) / 4 * 4;
    const size_t tableBytes = slide.colorTableEntries * entry;
    const Bytes raw = Inflate(slide.zlibData, tableBytes + stride * h);
    EXPECT_EQ(raw.size(), tableBytes + stride * h);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            const uint8_t index = raw.at(tableBytes + y * stride + x);
            EXPECT_LT(index, slide.colorTableEntries);
            const uint8_t* p = &raw.at(index * entry);
            pixels.push_back(p[0] | p[1] << 8 | p[2] << 16 | (slide.alpha ? static_cast<uint32_t>(p[3]) << 24 : 0xFF000000u));
        }
        for (size_t x = w; x < stride; ++x) EXPECT_EQ(raw.at(tableBytes + y * stride + x), 0) << "row padding";
    }
    return pixels;
}

void ExpectShows(const LosslessSlide& slide, const Picture& picture)
{
    ASSERT_EQ(slide.width, picture.width);
    ASSERT_EQ(slide.height, picture.height);
    const std::vector<uint32_t> shown = Shown(slide);
    ASSERT_EQ(shown.size(), picture.rgba.size() / 4);
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x)
            ASSERT_EQ(shown[static_cast<size_t>(y) * picture.width + x], Premultiplied(picture.At(x, y))) << x << ", " << y;
}

TEST(PNGSlides, FewOpaqueColoursAreColourMappedWithPaddedRows)
{
    // 5 pixels a row: three bytes of padding each.
    const Picture picture = Opaque(5, 3, 4);
    const std::string path = WritePNG("few.png", picture, SPNG_COLOR_TYPE_TRUECOLOR);
    const LosslessSlide slide = EncodePNGSlide(path);
    EXPECT_EQ(slide.format, 3);
    EXPECT_FALSE(slide.alpha);
    EXPECT_EQ(slide.colorTableEntries, 4u);
    ExpectShows(slide, picture);

    // The header alone gives the size.
    const PNGInfo info = ReadPNGHeader(path);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    swftest::Discard(path);
}

TEST(PNGSlides, TheColourCountDecidesWhateverThePNGsType)
{
    // A grey PNG in all 256 levels: 256 colours, as a table.
    Picture grey{20, 20, Bytes(20 * 20 * 4, 255)};
    for (size_t i = 0; i < 400; ++i) grey.rgba[i * 4] = grey.rgba[i * 4 + 1] = grey.rgba[i * 4 + 2] = static_cast<uint8_t>(i % 256);
    const std::string path = WritePNG("grey.png", grey, SPNG_COLOR_TYPE_GRAYSCALE);
    const LosslessSlide slide = EncodePNGSlide(path);
    EXPECT_EQ(slide.format, 3);
    EXPECT_EQ(slide.colorTableEntries, 256u);
    ExpectShows(slide, grey);
    swftest::Discard(path);

    // 256 colours are mapped, 257 are not.
    EXPECT_EQ(EncodeLosslessRGBA(Opaque(16, 17, 256).rgba.data(), 16, 17).format, 3);
    const Picture many = Opaque(16, 17, 257);
    const LosslessSlide full = EncodeLosslessRGBA(many.rgba.data(), 16, 17);
    EXPECT_EQ(full.format, 5);
    EXPECT_FALSE(full.alpha);
    EXPECT_EQ(full.colorTableEntries, 0u);
    ExpectShows(full, many);
}

TEST(PNGSlides, TranslucentPixelsGiveAlphaPremultiplied)
{
    // Colour-mapped: RGBA entries, premultiplied. Alpha 0 and partial both.
    const Picture mapped = Colours(7, 5, 9, [](int c) { return static_cast<uint8_t>(c * 31); });
    const std::string path = WritePNG("alpha.png", mapped);
    const LosslessSlide slide = EncodePNGSlide(path);
    EXPECT_EQ(slide.format, 3);
    EXPECT_TRUE(slide.alpha);
    ExpectShows(slide, mapped);
    swftest::Discard(path);

    // 32-bit: premultiplied ARGB. One translucent pixel among opaque ones is enough.
    Picture wide = Opaque(40, 10, 400);
    wide.rgba[4 * 399 + 3] = 128;
    const LosslessSlide argb = EncodeLosslessRGBA(wide.rgba.data(), 40, 10);
    EXPECT_EQ(argb.format, 5);
    EXPECT_TRUE(argb.alpha);
    ExpectShows(argb, wide);
}

TEST(PNGSlides, SlideBecomesALosslessBitmapTag)
{
    HFMovie movie;
    const Picture picture = Opaque(8, 2, 3);
    std::unique_ptr<HFBitmap> bitmap = MakeLosslessBitmap(EncodeLosslessRGBA(picture.rgba.data(), 8, 2), 20, 20, 179, 59);
    movie.Frame(0)->AddObject(*bitmap);
    const std::string path = ::testing::TempDir() + "png_slide.swf";
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(movie.WriteMovie(path));
    ::testing::internal::GetCapturedStdout();
    const swftest::Movie read = swftest::ParseFile(path);
    swftest::Discard(path);
    const swftest::Tag tag = read.Frame(0).at(0);
    EXPECT_EQ(tag.code, FTagCode::DefineBitsLossless);
    EXPECT_EQ(tag.body.at(2), 3);                        // format
    EXPECT_EQ(swftest::Word(tag, 3), 8);                 // width
    EXPECT_EQ(swftest::Word(tag, 5), 2);                 // height
    EXPECT_EQ(tag.body.at(7), 2);                        // three entries, less one
}

void ExpectRefused(const std::string& path, const std::string& problem)
{
    for (int reader = 0; reader < 2; ++reader) {
        try {
            reader == 0 ? (void)EncodePNGSlide(path) : (void)ReadPNGHeader(path);
            ADD_FAILURE() << path << " accepted";
        } catch (const ConverterError& error) {
            EXPECT_EQ(error.ExitStatus(), kExitFailure);
            EXPECT_NE(std::string(error.what()).find("'" + path + "'"), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(problem), std::string::npos) << error.what();
        }
    }
}

TEST(PNGSlides, BadFilesAreRefusedNamingThem)
{
    const std::string missing = ::testing::TempDir() + "missing.png";
    ExpectRefused(missing, "cannot open the slide image");

    const std::string jpeg = ::testing::TempDir() + "photo.png";
    std::ofstream(jpeg, std::ios::binary) << "\xFF\xD8\xFF\xE0 not a PNG at all";
    ExpectRefused(jpeg, "is not a PNG image");
    swftest::Discard(jpeg);

    // Cut inside the image data: the header reads, the pixels do not.
    const std::string path = WritePNG("cut.png", Colours(64, 64, 4096, [](int c) { return static_cast<uint8_t>(c); }));
    std::ifstream whole(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
    EXPECT_EQ(ReadPNGHeader(path).width, 64);
    try {
        (void)EncodePNGSlide(path);
        ADD_FAILURE() << "a cut PNG decoded";
    } catch (const ConverterError& error) {
        EXPECT_NE(std::string(error.what()).find("'" + path + "' is not a PNG image that can be decoded"), std::string::npos)
            << error.what();
    }
    swftest::Discard(path);
}

TEST(OrderedPool, ResultsArriveInOrderWithFewInFlight)
{
    std::atomic<int> inFlight = 0, mostInFlight = 0;
    std::vector<size_t> order;
    RunOrdered(
        40,
        [&](size_t i) {
            const int now = ++inFlight;
            for (int seen = mostInFlight; now > seen && !mostInFlight.compare_exchange_weak(seen, now);) {}
            // Later indices finish first, so results wait for the caller.
            std::this_thread::sleep_for(std::chrono::microseconds(200 * ((40 - i) % 7)));
            return i * 10;
        },
        [&](size_t i, size_t result) {
            EXPECT_EQ(result, i * 10);
            order.push_back(i);
            --inFlight;
        },
        3);
    ASSERT_EQ(order.size(), 40u);
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
    EXPECT_LE(mostInFlight, 4);  // workers + 1
}

TEST(OrderedPool, TheFirstFailureInOrderIsRethrownAndStopsTheRest)
{
    std::atomic<size_t> started = 0;
    std::vector<size_t> taken;
    try {
        RunOrdered(
            1000,
            [&](size_t i) -> int {
                ++started;
                // Index 6 fails at once, index 5 only later: 5 is still the one reported.
                if (i == 5) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (i == 5 || i == 6) throw ConverterError("slide " + std::to_string(i), kExitFailure);
                return 0;
            },
            [&](size_t i, int) { taken.push_back(i); }, 2);
        ADD_FAILURE() << "no failure";
    } catch (const ConverterError& error) {
        EXPECT_STREQ(error.what(), "slide 5");
    }
    EXPECT_EQ(taken, (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_LE(started, 8u);  // nothing past the window of the failure

    // A failure of the caller's own stops the workers as well.
    EXPECT_THROW(RunOrdered(
                     1000, [](size_t i) { return i; },
                     [](size_t i, size_t) {
                         if (i == 3) throw std::runtime_error("take");
                     },
                     2),
                 std::runtime_error);
}

}  // namespace
