#include "driver/input/pngslide.h"

#include <gtest/gtest.h>
#include <spng.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/decodebudget.h"
#include "driver/core/orderedpool.h"
#include "driver/core/error.h"
#include "driver/core/spillfile.h"
#include "hf/hfmovie.h"
#include "support/converter_run.h"
#include "support/movie_folder.h"
#include "support/png_file.h"
#include "support/region_bytes.h"
#include "support/swf_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

using swftest::Colours;
using swftest::Opaque;
using swftest::Picture;

// A PNG file of the picture, made by an independent encoder.
// A file of this process's under the tests' folder: test programs running
// side by side (ctest -j, memcheck's shards) write files of the same names.
std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "corvanex-png-" + std::to_string(swftest::ProcessId()) + "-" + name;
}

std::string WritePNG(const std::string& name, const Picture& picture, uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA,
                     const spng_trns* transparency = nullptr)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << swftest::PNGBytes(picture, colorType, transparency);
    return path;
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
        const Bytes raw = swftest::Inflate(slide.zlibData, w * h * 4);
        EXPECT_EQ(raw.size(), w * h * 4);
        // Without alpha the first byte of each pixel is reserved, 0.
        size_t reservedSet = 0;
        for (size_t i = 0; i + 3 < raw.size(); i += 4) {
            reservedSet += !slide.alpha && raw[i] != 0;
            const uint32_t alpha = slide.alpha ? raw[i] : 255;
            pixels.push_back(raw[i + 1] | raw[i + 2] << 8 | raw[i + 3] << 16 | alpha << 24);
        }
        EXPECT_EQ(reservedSet, 0u) << "opaque pixels with their reserved byte set";
        return pixels;
    }
    const size_t entry = slide.alpha ? 4 : 3, stride = (w + 3) / 4 * 4;
    const size_t tableBytes = slide.colorTableEntries * entry;
    const Bytes raw = swftest::Inflate(slide.zlibData, tableBytes + stride * h);
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
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint32_t expected = Premultiplied(picture.At(x, y));
            if (shown[static_cast<size_t>(y) * picture.width + x] != expected) {
                ASSERT_EQ(shown[static_cast<size_t>(y) * picture.width + x], expected) << x << ", " << y;
            }
        }
    }
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

    // The header alone gives the size, and no way to be transparent.
    const PNGInfo info = ReadPNGHeader(path);
    EXPECT_EQ(info.width, 5);
    EXPECT_EQ(info.height, 3);
    EXPECT_FALSE(info.mayBeTransparent);
    EXPECT_EQ(info.fileSize, swftest::ReadFile(path).size());
    swftest::Discard(path);
}

TEST(PNGSlides, AnAlphaChannelOrATransparencyChunkMayMakeASlideTransparent)
{
    // Whether pixels use it or not: the matte is decided before decoding.
    const std::string rgba = WritePNG("rgba.png", Opaque(4, 4, 2));
    EXPECT_TRUE(ReadPNGHeader(rgba).mayBeTransparent);
    EXPECT_FALSE(EncodePNGSlide(rgba).alpha);
    swftest::Discard(rgba);

    // Truecolour with its first colour transparent (c = 0: 0, 0, 255).
    spng_trns transparency{};
    transparency.red = 0, transparency.green = 0, transparency.blue = 255;
    const std::string keyed = WritePNG("keyed.png", Opaque(4, 4, 2), SPNG_COLOR_TYPE_TRUECOLOR, &transparency);
    EXPECT_TRUE(ReadPNGHeader(keyed).mayBeTransparent);
    const LosslessSlide slide = EncodePNGSlide(keyed);
    EXPECT_TRUE(slide.alpha);
    EXPECT_EQ(Shown(slide).at(0), 0u);  // premultiplied: nothing left of the colour
    swftest::Discard(keyed);
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
    const std::string path = TempPath("png_slide.swf");
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
    const std::string missing = TempPath("missing.png");
    ExpectRefused(missing, "cannot open the slide image");

    const std::string jpeg = TempPath("photo.png");
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

TEST(PNGSlides, A257thColourLateInThePictureKeepsTheRowsBefore)
{
    // Rows are mapped to colour numbers as they come; the 257th colour, in
    // the middle of row 15, turns the slide to 32-bit from there. The rows
    // before are rebuilt from their numbers, translucent colours among them.
    Picture late = Colours(30, 20, 256, [](int c) { return static_cast<uint8_t>(c % 5 == 0 ? c : 255); });
    uint8_t* odd = &late.rgba[(15 * 30 + 13) * 4];
    odd[0] = 1, odd[1] = 2, odd[2] = 3, odd[3] = 255;
    const LosslessSlide fromPixels = EncodeLosslessRGBA(late.rgba.data(), 30, 20);
    EXPECT_EQ(fromPixels.format, 5);
    EXPECT_TRUE(fromPixels.alpha);
    ExpectShows(fromPixels, late);

    const std::string rgba = WritePNG("late.png", late);
    ExpectShows(EncodePNGSlide(rgba), late);
    swftest::Discard(rgba);

    // Decoded as RGB when the file cannot be transparent.
    Picture opaque = late;
    for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;
    const std::string rgb = WritePNG("late_rgb.png", opaque, SPNG_COLOR_TYPE_TRUECOLOR);
    const LosslessSlide fromRGB = EncodePNGSlide(rgb);
    EXPECT_EQ(fromRGB.format, 5);
    EXPECT_FALSE(fromRGB.alpha);
    ExpectShows(fromRGB, opaque);
    swftest::Discard(rgb);
}

TEST(PNGSlides, ATranslucentPixelLateInA32BitSlideGivesThePixelsBeforeTheirAlpha)
{
    // Opaque rows are written with the reserved byte 0 until a translucent
    // pixel turns up: then those before it take alpha 255, both the ones
    // still waiting for zlib and (past the first 256 KiB) the ones it has.
    for (const int32_t lateRow : {1, 599}) {
        Picture picture = Opaque(300, 600, 1000);
        picture.rgba[(static_cast<size_t>(lateRow) * 300 + 7) * 4 + 3] = 100;
        const LosslessSlide slide = EncodeLosslessRGBA(picture.rgba.data(), 300, 600);
        EXPECT_EQ(slide.format, 5);
        EXPECT_TRUE(slide.alpha);
        ExpectShows(slide, picture);
    }
    // An alpha channel no pixel uses leaves the slide opaque, its reserved bytes 0.
    const Picture opaque = Opaque(300, 600, 1000);
    const std::string path = WritePNG("opaque_rgba.png", opaque);
    const LosslessSlide slide = EncodePNGSlide(path);
    EXPECT_EQ(slide.format, 5);
    EXPECT_FALSE(slide.alpha);
    ExpectShows(slide, opaque);
    swftest::Discard(path);
}

TEST(LosslessPictures, CompressedWholeInTheir32BitFormTheyShowTheSamePixels)
{
    // A picture held whole (a PDF page's) is compressed whole by libdeflate
    // in its 32-bit form too: turned 32-bit by a 257th colour in its last
    // row, turned translucent in its first or last, and opaque.
    Picture lateColour = Opaque(300, 600, 256);
    for (int c = 0; c < 3; ++c) lateColour.rgba[(599 * 300 + 3) * 4 + static_cast<size_t>(c)] = static_cast<uint8_t>(c + 1);
    std::vector<Picture> pictures{lateColour, Opaque(300, 600, 1000)};
    for (const int32_t lateRow : {0, 599}) {
        Picture translucent = Opaque(300, 600, 1000);
        translucent.rgba[(static_cast<size_t>(lateRow) * 300 + 7) * 4 + 3] = 100;
        pictures.push_back(translucent);
    }
    for (const Picture& picture : pictures) {
        const LosslessSlide slide = EncodeLosslessPicture(picture.rgba.data(), 300, 600, ColourNumbers::kWhole);
        EXPECT_EQ(slide.format, 5);
        ExpectShows(slide, picture);
        // Streamed where the budget has it so, by zlib: the same pixels.
        ExpectShows(EncodeLosslessPicture(picture.rgba.data(), 300, 600, ColourNumbers::kMemory), picture);
    }
}

// The slide with its stream read back from the spill file's pieces.
LosslessSlide ReadBackSpilled(const LosslessSlide& slide)
{
    LosslessSlide copy = slide;
    copy.spilled.clear();
    for (const FSWFFileRegion& piece : slide.spilled) {
        const std::vector<uint8_t> bytes = swftest::RegionBytes(piece, 4096);
        copy.zlibData.insert(copy.zlibData.end(), bytes.begin(), bytes.end());
    }
    return copy;
}

TEST(PNGSlides, CompressedWholeOrStreamedIntoTheSpillFileTheyShowTheSamePixels)
{
    // However the budget has the colour numbers kept (in memory and the
    // slide compressed whole by libdeflate; in memory and streamed through
    // zlib; in a file of their own, read back), the slide and its copy in the
    // spill file read back through zlib to the same pixels.
    uint32_t state = 7;
    Picture noise{700, 700, std::vector<uint8_t>(700 * 700 * 4)};
    for (uint8_t& byte : noise.rgba) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    for (size_t i = 3; i < noise.rgba.size(); i += 4) noise.rgba[i] = 255;
    // A translucent pixel in the last row: the rows streamed before it, more
    // than a spill piece of them, are read back from the file and mended.
    Picture lateAlpha = noise;
    lateAlpha.rgba[(699 * 700 + 5) * 4 + 3] = 128;
    // Colour numbers of more than a mebibyte, so that spilled ones are read
    // back from the file as well as from memory.
    const Picture mapped = Opaque(1500, 800, 200);
    Picture lateColour = mapped;  // rebuilt from its spilled numbers at the last row
    lateColour.rgba[(799 * 1500 + 3) * 4] = 77;
    SpillFile spill("slides");
    for (const Picture* picture : std::initializer_list<const Picture*>{&noise, &lateAlpha, &mapped, &lateColour}) {
        const uint64_t inMemory = LosslessEncodingBytes(picture->width, picture->height, ColourNumbers::kMemory);
        DecodeBudget tiny(1), middling(2 * inMemory + 1);
        ASSERT_EQ(ColourNumbersFor(picture->width, picture->height, SharedDecodeBudget().Capacity()), ColourNumbers::kWhole);
        ASSERT_EQ(ColourNumbersFor(picture->width, picture->height, middling.Capacity()), ColourNumbers::kMemory);
        ASSERT_EQ(ColourNumbersFor(picture->width, picture->height, tiny.Capacity()), ColourNumbers::kSpilled);
        const std::string path = WritePNG("spilled.png", *picture);
        for (DecodeBudget* budget : {&SharedDecodeBudget(), &middling, &tiny}) {
            SCOPED_TRACE("budget " + std::to_string(budget->Capacity()) + ", picture " + std::to_string(picture->width));
            ExpectShows(EncodeLosslessRGBA(picture->rgba.data(), picture->width, picture->height, kLosslessSlideLevel, budget),
                        *picture);
            const LosslessSlide spilled = EncodePNGSlide(path, kLosslessSlideLevel, &spill, budget);
            EXPECT_TRUE(spilled.zlibData.empty());
            ASSERT_FALSE(spilled.spilled.empty());
            // Compressed whole, one piece; streamed, a piece a mebibyte.
            if (spilled.format == 5) {
                EXPECT_GE(spilled.spilled.size(), picture == &lateColour ? 1u : 2u);
            } else {
                EXPECT_EQ(spilled.spilled.size(), 1u);
            }
            ExpectShows(ReadBackSpilled(spilled), *picture);
            EXPECT_EQ(budget->Held(), 0u);
        }
        swftest::Discard(path);
    }
}

TEST(PNGSlides, AnInterlacedPictureDrawsItsDecodeFromTheBudget)
{
    // Decoded whole, it needs its pixels besides the encoding's own: more
    // than the budget, so it is served alone, as the whole budget.
    const Picture picture = Opaque(64, 64, 300);
    const std::string path = TempPath("interlaced_budget.png");
    std::ofstream(path, std::ios::binary) << swftest::PNGBytes(picture, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, nullptr, true);
    DecodeBudget budget(64 * 64 * 4);
    std::atomic<bool> done{false};
    DecodeBudget::Share other = budget.Take(1);
    std::thread decoding([&] {
        ExpectShows(EncodePNGSlide(path, kLosslessSlideLevel, nullptr, &budget), picture);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load()) << "decoded beside other work";
    other.Release();
    decoding.join();
    EXPECT_TRUE(done.load());
    // The same picture not interlaced is encoded a row at a time, beside the other work.
    const std::string rows = WritePNG("rows_budget.png", picture);
    other = budget.Take(1);
    ExpectShows(EncodePNGSlide(rows, kLosslessSlideLevel, nullptr, &budget), picture);
    swftest::Discard(rows);
    swftest::Discard(path);
}

TEST(PNGSlides, EveryRowFilterIsUndoneWhetherInflatedWholeOrRowByRow)
{
    // 8-bit RGB and RGBA files are decoded by the converter itself: inflated
    // at once where the budget allows (a budget of 1 byte does not), else a
    // piece at a time, rows across the pieces' edges.
    DecodeBudget tiny(1);
    Picture picture = Colours(97, 41, 700, [](int c) { return static_cast<uint8_t>(c % 7 == 0 ? 90 : 255); });
    for (size_t i = 0; i < picture.rgba.size(); i += 4)  // smooth runs, so the filters have work to do
        picture.rgba[i] = static_cast<uint8_t>(i / 4 % 97 * 2);
    Picture opaque = picture;
    for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;
    const int filters[] = {SPNG_FILTER_CHOICE_NONE, SPNG_FILTER_CHOICE_SUB, SPNG_FILTER_CHOICE_UP,
                           SPNG_FILTER_CHOICE_AVG, SPNG_FILTER_CHOICE_PAETH, SPNG_FILTER_CHOICE_ALL};
    for (const int filter : filters) {
        for (const bool alpha : {false, true}) {
            const Picture& shown = alpha ? picture : opaque;
            const uint8_t type = alpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR;
            std::vector<uint8_t> pixels;
            for (size_t i = 0; i < shown.rgba.size(); i += 4)
                pixels.insert(pixels.end(), shown.rgba.begin() + static_cast<long>(i),
                              shown.rgba.begin() + static_cast<long>(i) + (alpha ? 4 : 3));
            spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
            spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
            spng_set_option(encoder, SPNG_FILTER_CHOICE, filter);
            spng_ihdr header{97, 41, 8, type, 0, 0, 0};
            spng_set_ihdr(encoder, &header);
            ASSERT_EQ(spng_encode_image(encoder, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
            size_t size = 0;
            int error = 0;
            void* png = spng_get_png_buffer(encoder, &size, &error);
            const std::string path = TempPath("filtered.png");
            std::ofstream(path, std::ios::binary).write(static_cast<const char*>(png), static_cast<std::streamsize>(size));
            std::free(png);
            spng_ctx_free(encoder);
            SCOPED_TRACE("filter choice " + std::to_string(filter) + (alpha ? " RGBA" : " RGB"));
            ExpectShows(EncodePNGSlide(path), shown);
            ExpectShows(EncodePNGSlide(path, kLosslessSlideLevel, nullptr, &tiny), shown);
            swftest::Discard(path);
        }
    }
}

TEST(PNGSlides, DamagedImageDataIsRefusedByName)
{
    // The last image-data chunk holds the last rows and the compressed
    // stream's own checksum, which follow the last pixel.
    const Picture picture = Opaque(64, 64, 4096);
    const std::string good = swftest::PNGBytes(picture);
    const size_t at = swftest::LastImageDataChunk(good);
    uint32_t length = 0;
    for (size_t i = 0; i < 4; ++i) length = length << 8 | static_cast<uint8_t>(good[at + i]);
    ASSERT_GT(length, 100u);
    const size_t data = at + 8;

    std::string flipped = good;  // the chunk's checksum fails
    flipped[data + length - 2] ^= 0x10;
    std::string trailer = good;  // the stream's checksum, the chunk's made to match
    trailer[data + length - 1] ^= 0x01;
    swftest::RewriteChunk(trailer, at, length);
    std::string unfinished = good;  // half the stream, in a well-formed chunk
    unfinished.erase(data + length / 2, length - length / 2);
    swftest::RewriteChunk(unfinished, at, length / 2);
    const std::string cut = good.substr(0, data + length);  // ends before the chunk's checksum
    // A zlib header that asks for a preset dictionary (FDICT, with the
    // dictionary's checksum after it), which PNG has no way to give.
    std::string dictionary = good;
    const size_t first = good.find("IDAT") - 4;
    uint32_t firstLength = 0;
    for (size_t i = 0; i < 4; ++i) firstLength = firstLength << 8 | static_cast<uint8_t>(good[first + i]);
    const unsigned cmf = static_cast<uint8_t>(good[first + 8]);
    unsigned flg = (static_cast<uint8_t>(good[first + 9]) & 0xC0) | 0x20;
    flg += 31 - (cmf << 8 | flg) % 31;
    dictionary[first + 9] = static_cast<char>(flg);
    dictionary.insert(first + 10, "\x12\x34\x56\x78", 4);
    swftest::RewriteChunk(dictionary, first, firstLength + 4);

    const struct {
        const std::string* bytes;
        std::string problem;
    } cases[] = {
        {&flipped, "is damaged: an image data chunk fails its checksum"},
        {&trailer, "is damaged: its image data fails its checksum"},
        {&unfinished, "is damaged: its image data ends before the picture does"},
        {&cut, "is not a PNG image that can be decoded: end of stream"},
        {&dictionary, "is damaged: its image data asks for a preset dictionary, which PNG does not allow"},
    };
    const std::string path = TempPath("damaged.png");
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << *c.bytes;
        try {
            (void)EncodePNGSlide(path);
            ADD_FAILURE() << "accepted: " << c.problem;
        } catch (const ConverterError& error) {
            EXPECT_EQ(std::string(error.what()), "the slide image '" + path + "' " + c.problem);
            EXPECT_EQ(error.ExitStatus(), kExitFailure);
        }
    }
    // The same file undamaged decodes.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << good;
    ExpectShows(EncodePNGSlide(path), picture);
    swftest::Discard(path);
}

TEST(PNGSlides, EveryRowFilterUnfiltersAlike)
{
    // 8-bit RGB and RGBA rows are unfiltered by the converter itself: each
    // filter alone, in both pixel sizes, over a picture whose rows differ.
    Picture picture = Colours(37, 9, 300, [](int c) { return static_cast<uint8_t>(255 - c % 7 * 30); });
    for (size_t i = 0; i < picture.rgba.size(); i += 5) picture.rgba[i] = static_cast<uint8_t>(i * 13);
    Picture opaque = picture;
    for (size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;
    const int choices[] = {SPNG_FILTER_CHOICE_NONE, SPNG_FILTER_CHOICE_SUB, SPNG_FILTER_CHOICE_UP,
                           SPNG_FILTER_CHOICE_AVG, SPNG_FILTER_CHOICE_PAETH};
    for (const int choice : choices) {
        for (const uint8_t type : {SPNG_COLOR_TYPE_TRUECOLOR, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA}) {
            const Picture& shown = type == SPNG_COLOR_TYPE_TRUECOLOR ? opaque : picture;
            std::vector<uint8_t> pixels;
            for (size_t i = 0; i < shown.rgba.size(); i += 4)
                pixels.insert(pixels.end(), shown.rgba.begin() + static_cast<long>(i),
                              shown.rgba.begin() + static_cast<long>(i) + (type == SPNG_COLOR_TYPE_TRUECOLOR ? 3 : 4));
            spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
            spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
            spng_set_option(encoder, SPNG_FILTER_CHOICE, choice);
            spng_ihdr header{37, 9, 8, type, 0, 0, 0};
            spng_set_ihdr(encoder, &header);
            ASSERT_EQ(spng_encode_image(encoder, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
            size_t size = 0;
            int error = 0;
            void* png = spng_get_png_buffer(encoder, &size, &error);
            const std::string path = TempPath("filtered.png");
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                .write(static_cast<const char*>(png), static_cast<std::streamsize>(size));
            std::free(png);
            spng_ctx_free(encoder);
            SCOPED_TRACE("filter choice " + std::to_string(choice) + ", colour type " + std::to_string(type));
            ExpectShows(EncodePNGSlide(path), shown);
            swftest::Discard(path);
        }
    }
}

TEST(PNGSlides, InterlacedAndIndexedFilesDecodeAlike)
{
    // Interlaced rows come in passes over the whole picture.
    const Picture picture = Colours(23, 17, 300, [](int c) { return static_cast<uint8_t>(255 - c % 3); });
    std::vector<uint8_t> rgbaBytes = picture.rgba;
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header{23, 17, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 0, 0, SPNG_INTERLACE_ADAM7};
    spng_set_ihdr(encoder, &header);
    ASSERT_EQ(spng_encode_image(encoder, rgbaBytes.data(), rgbaBytes.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    size_t size = 0;
    int error = 0;
    void* png = spng_get_png_buffer(encoder, &size, &error);
    const std::string interlaced = TempPath("interlaced.png");
    std::ofstream(interlaced, std::ios::binary).write(static_cast<const char*>(png), static_cast<std::streamsize>(size));
    std::free(png);
    spng_ctx_free(encoder);
    const LosslessSlide slide = EncodePNGSlide(interlaced);
    EXPECT_EQ(slide.format, 5);
    EXPECT_TRUE(slide.alpha);
    ExpectShows(slide, picture);
    swftest::Discard(interlaced);

    // An indexed file whose palette has a transparent entry.
    const Picture few = Colours(9, 4, 3, [](int c) { return static_cast<uint8_t>(c == 1 ? 0 : 255); });
    std::vector<uint8_t> indices;
    for (size_t i = 0; i < few.rgba.size() / 4; ++i) indices.push_back(static_cast<uint8_t>(i % 3));
    encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr indexed{9, 4, 8, SPNG_COLOR_TYPE_INDEXED, 0, 0, 0};
    spng_set_ihdr(encoder, &indexed);
    spng_plte palette{};
    spng_trns transparency{};
    palette.n_entries = 3;
    transparency.n_type3_entries = 3;
    for (uint32_t c = 0; c < 3; ++c) {
        const uint32_t colour = few.At(static_cast<int32_t>(c), 0);
        palette.entries[c] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour >> 16), 0};
        transparency.type3_alpha[c] = static_cast<uint8_t>(colour >> 24);
    }
    spng_set_plte(encoder, &palette);
    spng_set_trns(encoder, &transparency);
    ASSERT_EQ(spng_encode_image(encoder, indices.data(), indices.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    png = spng_get_png_buffer(encoder, &size, &error);
    const std::string path = TempPath("indexed.png");
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(png), static_cast<std::streamsize>(size));
    std::free(png);
    spng_ctx_free(encoder);
    const LosslessSlide mapped = EncodePNGSlide(path);
    EXPECT_EQ(mapped.format, 3);
    EXPECT_TRUE(mapped.alpha);
    ExpectShows(mapped, few);
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
