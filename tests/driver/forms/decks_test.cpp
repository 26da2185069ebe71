// Decks as presentation programs export them: headers read for each slide's
// size, slides of another size fitted into the slide area on a matte, file
// names found the way exporters write them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/input/jpegheader.h"
#include "driver/input/numberedfiles.h"
#include "driver/core/slidesize.h"
#include "driver/input/jpegfile.h"
#include "driver/compose/showcomposer.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/forms/imageform.h"
#include "support/converter_run.h"
#include "support/deck_request.h"
#include "support/png_file.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;
using swftest::TinyJPEG;

constexpr FTagCode DefineBitsJPEG2 = FTagCode::DefineBitsJPEG2;
constexpr FTagCode PlaceObject2 = FTagCode::PlaceObject2;
constexpr FTagCode DefineShape3 = FTagCode::DefineShape3;
constexpr FTagCode DefineBitsLossless = FTagCode::DefineBitsLossless;
constexpr FTagCode DefineBitsLossless2 = FTagCode::DefineBitsLossless2;

std::vector<FTagCode> Codes(const std::vector<Tag>& tags, size_t count)
{
    std::vector<FTagCode> codes;
    for (size_t i = 0; i < std::min(count, tags.size()); ++i) codes.push_back(tags[i].code);
    return codes;
}

// The second fill style of a bitmap-filled DefineShape3 (the first names no bitmap).
struct BitmapFill {
    uint32_t bitmapID;
    int32_t scaleX, scaleY, translateX, translateY;
};

BitmapFill SlideFill(const Tag& shape)
{
    swftest::BitReader bits(shape.body, 2);
    const uint32_t count = bits.Unsigned(5);
    for (int i = 0; i < 4; ++i) bits.Signed(count);
    bits.Align();
    EXPECT_EQ(bits.Byte(), 2u);
    auto fill = [&] {
        EXPECT_EQ(bits.Byte(), 0x41u);  // clipped bitmap
        BitmapFill read{bits.Word(), 0x10000, 0x10000, 0, 0};
        if (bits.Unsigned(1)) {
            const uint32_t n = bits.Unsigned(5);
            read.scaleX = bits.Signed(n);
            read.scaleY = bits.Signed(n);
        }
        if (bits.Unsigned(1)) bits.Unsigned(2 * bits.Unsigned(5));
        const uint32_t n = bits.Unsigned(5);
        read.translateX = bits.Signed(n);
        read.translateY = bits.Signed(n);
        bits.Align();
        return read;
    };
    fill();
    return fill();
}

// The colour of a DefineShape3 with one solid fill: RGBA.
std::vector<uint32_t> SolidFill(const Tag& shape)
{
    swftest::BitReader bits(shape.body, 2);
    const uint32_t count = bits.Unsigned(5);
    for (int i = 0; i < 4; ++i) bits.Signed(count);
    bits.Align();
    EXPECT_EQ(bits.Byte(), 1u);
    EXPECT_EQ(bits.Byte(), 0x00u);  // solid
    return {bits.Byte(), bits.Byte(), bits.Byte(), bits.Byte()};
}

// ---- Fit arithmetic ----

struct FitCase {
    SlideSize image, area;
    SlidePlacement placed;
};

TEST(Fit, WiderTallerSmallerAndEqualSlides)
{
    const FitCase cases[] = {
        // Of the area's size: today's rectangle.
        {{640, 480}, {640, 480}, {20, 20, 12800, 9600, true}},
        // Wider (Full HD in 4:3): full width, 7200 twips high, centred.
        {{1920, 1080}, {640, 480}, {20, 1220, 12800, 8400, false}},
        // Taller (portrait): full height, 7200 twips wide, centred.
        {{480, 640}, {640, 480}, {2820, 20, 10000, 9600, false}},
        // Smaller, scaled up: a square in 4:3.
        {{100, 100}, {640, 480}, {1620, 20, 11200, 9600, false}},
        // Another size of the area's aspect covers it exactly, up or down.
        {{320, 240}, {640, 480}, {20, 20, 12800, 9600, true}},
        {{1920, 1080}, {1280, 720}, {20, 20, 25600, 14400, true}},
        // A sliver keeps a pixel (drawn, as every slide, from one pixel in).
        {{65535, 1}, {640, 480}, {20, 4810, 12800, 4810, false}},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.image.width) + "x" + std::to_string(c.image.height));
        const SlidePlacement placed = FitSlide(c.image, c.area);
        EXPECT_EQ((std::vector<int32_t>{placed.xmin, placed.ymin, placed.xmax, placed.ymax}),
                  (std::vector<int32_t>{c.placed.xmin, c.placed.ymin, c.placed.xmax, c.placed.ymax}));
        EXPECT_EQ(placed.coversArea, c.placed.coversArea);
    }
}

TEST(Fit, StaysInsideTheAreaKeepsTheAspectAndIsCentred)
{
    const int32_t sides[] = {1, 3, 7, 99, 480, 640, 719, 1080, 1920, 4097, 65535};
    for (int32_t aw : {1, 3, 640, 1366}) {
        for (int32_t ah : {1, 7, 480, 767}) {
            for (int32_t w : sides) {
                for (int32_t h : sides) {
                    const SlidePlacement p = FitSlide({w, h}, {aw, ah});
                    const std::string what = std::to_string(w) + "x" + std::to_string(h) + " in " +
                                             std::to_string(aw) + "x" + std::to_string(ah);
                    ASSERT_GE(p.xmin, 20) << what;
                    ASSERT_GE(p.ymin, 20) << what;
                    ASSERT_LE(p.xmax, aw * 20) << what;
                    ASSERT_LE(p.ymax, ah * 20) << what;
                    ASSERT_LE(p.xmin, p.xmax) << what;
                    ASSERT_LE(p.ymin, p.ymax) << what;
                    // One side meets the area's edges; the bands either side
                    // of the other differ by at most a twip.
                    const int64_t width = p.xmax - p.xmin + 20, height = p.ymax - p.ymin + 20;
                    ASSERT_TRUE(width == aw * 20 || height == ah * 20) << what;
                    ASSERT_LE(std::abs((p.xmin - 20) - (aw * 20 - p.xmax)), 1) << what;
                    ASSERT_LE(std::abs((p.ymin - 20) - (ah * 20 - p.ymax)), 1) << what;
                    // The aspect within half a twip on the rounded side (or a sliver's pixel).
                    if (width > 20 && height > 20) {
                        ASSERT_LE(std::abs(width * h - height * w), std::max(w, h)) << what;
                    }
                    ASSERT_EQ(p.coversArea, width == aw * 20 && height == ah * 20) << what;
                    if (int64_t{w} * ah == int64_t{h} * aw) {
                        ASSERT_TRUE(p.coversArea) << what;
                    }
                }
            }
        }
    }
}

TEST(Fit, MattesCountInTheCharacterBudget)
{
    const std::vector<int32_t> noStops{0};
    EXPECT_EQ(CharacterIDsNeeded(3, noStops), 22u);
    EXPECT_EQ(CharacterIDsNeeded(3, noStops, 2), 24u);
    // 9362 slides are the most without stop points; one matte more does not fit.
    EXPECT_EQ(LargestSlideCountThatFits(noStops), 9362);
    EXPECT_EQ(CharacterIDsNeeded(9362, noStops), 65535u);
    EXPECT_EQ(CharacterIDsNeeded(9362, noStops, 1), 65536u);
}

// ---- Mattes and fitted slides in the movie ----

// A deck of slides of the given sizes in a 640 x 480 area, without stop points.
struct Converted {
    RunResult run;
    swftest::Movie movie;
    std::vector<std::vector<Tag>> frames;
};

Converted ConvertSizes(Scratch& deck, const std::vector<SlideSize>& sizes, std::vector<std::string> options = {})
{
    deck.MakeDeck("deck", 0, "");
    for (size_t i = 0; i < sizes.size(); ++i)
        deck.Write("deck" + std::to_string(i + 1) + ".jpg",
                   TinyJPEG(static_cast<char>('a' + i), 16, sizes[i].width, sizes[i].height));
    options.insert(options.end(), {"deck", std::to_string(sizes.size()), "out.swf"});
    Converted converted;
    converted.run = deck.Convert(options);
    if (converted.run.status == 0) {
        converted.movie = swftest::ParseFile((deck / "out.swf").string());
        converted.frames = swftest::Frames(converted.movie);
    }
    return converted;
}

TEST(Matte, MixedDeckShowsNoBandOfTheSlideBefore)
{
    Scratch deck("mixed");
    // Of the area's size, wider, taller, and larger of the same aspect.
    const Converted show = ConvertSizes(deck, {{640, 480}, {1920, 1080}, {480, 640}, {1280, 960}});
    ASSERT_EQ(show.run.status, 0) << show.run.err;
    EXPECT_EQ(show.run.err,
              "corvanex: 3 of 4 slides differ from the 640 x 480 slide area and were scaled to fit it "
              "('--size auto' takes the first slide's size)\n");
    const std::vector<FTagCode> plain{DefineBitsJPEG2, DefineShape3, PlaceObject2};
    const std::vector<FTagCode> matted{DefineShape3, PlaceObject2, DefineBitsJPEG2, DefineShape3, PlaceObject2};
    EXPECT_EQ(Codes(show.frames[0], 3), plain);
    EXPECT_EQ(Codes(show.frames[1], 5), matted);
    EXPECT_EQ(Codes(show.frames[2], 5), matted);
    EXPECT_EQ(Codes(show.frames[3], 3), plain);  // covers the area: no matte

    // The matte: the whole slide area in the background colour.
    const std::vector<Tag>& wider = show.frames[1];
    EXPECT_EQ(swftest::ShapeBounds(wider[0]), (std::vector<int32_t>{20, 12800, 20, 9600}));
    EXPECT_EQ(SolidFill(wider[0]), (std::vector<uint32_t>{0xCD, 0xCD, 0xCD, 0xFF}));
    // The slide: its rectangle and fill follow the image's true size.
    EXPECT_EQ(swftest::ShapeBounds(wider[3]), (std::vector<int32_t>{20, 12800, 1220, 8400}));
    const BitmapFill fill = SlideFill(wider[3]);
    EXPECT_EQ(fill.bitmapID, swftest::Word(wider[2], 0));
    EXPECT_EQ(fill.scaleX, static_cast<int32_t>(int64_t{12800 - 20 + 1} * 65536 / 1920));
    EXPECT_EQ(fill.scaleY, static_cast<int32_t>(int64_t{8400 - 1220 + 1} * 65536 / 1080));
    EXPECT_EQ(fill.translateX, 20);
    EXPECT_EQ(fill.translateY, 1220);
    EXPECT_EQ(swftest::ShapeBounds(show.frames[2][3]), (std::vector<int32_t>{2820, 10000, 20, 9600}));
    EXPECT_EQ(swftest::ShapeBounds(show.frames[3][1]), (std::vector<int32_t>{20, 12800, 20, 9600}));

    // The matte is defined before the slide's bitmap, so at the slide's
    // depth it sorts right below it, and above every slide before.
    const uint16_t matteID = swftest::Word(wider[0], 0), bitmapID = swftest::Word(wider[2], 0);
    EXPECT_LT(matteID, bitmapID);
    const auto depth = [](const Tag& place) { return swftest::Word(place, 1); };
    EXPECT_EQ(depth(show.frames[0][2]), 0);
    EXPECT_EQ(depth(wider[1]), 1);
    EXPECT_EQ(depth(wider[4]), 2);
    EXPECT_EQ(depth(show.frames[2][1]), 3);
    EXPECT_EQ(depth(show.frames[2][4]), 4);
    EXPECT_EQ(depth(show.frames[3][2]), 5);
}

TEST(Matte, SlidesOfTheAreaSizeAreDrawnAsAlways)
{
    Scratch deck("equal");
    const Converted show = ConvertSizes(deck, {{640, 480}, {640, 480}});
    ASSERT_EQ(show.run.status, 0) << show.run.err;
    EXPECT_EQ(show.run.err, "");
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(Codes(show.frames[f], 3), (std::vector<FTagCode>{DefineBitsJPEG2, DefineShape3, PlaceObject2}));
        const BitmapFill fill = SlideFill(show.frames[f][1]);
        EXPECT_EQ(fill.scaleX, (12800 - 20 + 1) * 65536 / 640);
        EXPECT_EQ(fill.scaleY, (9600 - 20 + 1) * 65536 / 480);
    }
}

TEST(Matte, AMatteThatWouldPassTheCharacterBudgetIsRefusedBeforeTheWrite)
{
    // 9362 slides fill the budget exactly; one of another size needs one more.
    Scratch deck("budget");
    deck.MakeDeck("deck", 9362, "");
    deck.Write("deck9362.jpg", TinyJPEG('w', 16, 800, 480));
    deck.Write("out.swf", swftest::TinyMovie());
    const RunResult run = deck.Convert({"deck", "9362", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "corvanex: a deck of 9362 slides with these stop points and 1 mattes under slides that do not fill the "
              "slide area needs more than 65535 characters; at most 9362 slides fit in one movie when every slide "
              "fills the area (--size auto, or slides of the area's size)\n");
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
}

// ---- --size auto ----

TEST(SizeAuto, TheFirstSlideGivesTheArea)
{
    Scratch deck("auto");
    const Converted show = ConvertSizes(deck, {{1920, 1080}, {1920, 1080}, {1024, 768}}, {"--size", "auto"});
    ASSERT_EQ(show.run.status, 0) << show.run.err;
    EXPECT_EQ(show.movie.xmax, 1920 * 20);
    EXPECT_EQ(show.movie.ymax, 1080 * 20 + 800);
    EXPECT_EQ(swftest::ShapeBounds(show.frames[0][1]), (std::vector<int32_t>{20, 38400, 20, 21600}));
    EXPECT_NE(show.run.err.find("1 of 3 slides differ from the 1920 x 1080 slide area"), std::string::npos);

    // The page has the movie's aspect.
    ASSERT_EQ(deck.Convert({"--size", "auto", "--html", "show.html", "deck", "3", "out.swf"}).status, 0);
    EXPECT_NE(swftest::Slurp(deck / "show.html").find("calc(100vh * 1920 / 1120)"), std::string::npos);

    // The configuration file is not read; a deck without slides has no size to take.
    fs::remove(deck / "config.txt");
    EXPECT_EQ(deck.Convert({"--size=auto", "deck", "1", "out.swf"}).status, 0);
    const RunResult none = deck.Convert({"--size", "auto", "deck", "0", "none.swf"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "corvanex: --size auto takes the slide size from the first slide, and the deck has none\n");
    EXPECT_FALSE(fs::exists(deck / "none.swf"));
}

// ---- File names as exporters write them ----

TEST(Discovery, NumberingOfEachExporter)
{
    Scratch deck("numbering");
    const auto find = [&](const std::string& prefix) {
        return FindFileNumbering((deck / prefix).string(), 1, SlideImageExtensions());
    };
    deck.Write("Slide1.JPG", "");     // PowerPoint
    deck.Write("talk.001.jpeg", "");  // Keynote
    deck.Write("talk-01.jpg", "");    // pdftoppm -jpeg
    deck.Write("shot_00001.PNG", "");
    for (const auto& [prefix, digits, extension] :
         {std::tuple{"Slide", 0, ".JPG"}, {"talk.", 3, ".jpeg"}, {"talk-", 2, ".jpg"}, {"shot_", 5, ".PNG"}}) {
        const std::optional<FileNumbering> found = find(prefix);
        ASSERT_TRUE(found) << prefix;
        EXPECT_EQ(found->digits, digits) << prefix;
#ifdef _WIN32
        // Names there are found whatever their case: the first extension of the list wins.
        const auto lower = [](std::string text) {
            for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return text;
        };
        EXPECT_EQ(lower(found->extension), lower(extension)) << prefix;
#else
        EXPECT_EQ(found->extension, extension) << prefix;
#endif
    }
    EXPECT_FALSE(find("other"));
    // The padding is a least width: numbers past it keep every digit.
    EXPECT_EQ((FileNumbering{"talk.", 3, ".jpeg"}.Name(7)), "talk.007.jpeg");
    EXPECT_EQ((FileNumbering{"talk.", 3, ".jpeg"}.Name(1234)), "talk.1234.jpeg");

    // The plain number and .jpg come first, so every name that worked before means the same.
    for (const char* name : {"deck01.jpg", "deck1.JPG", "deck1.jpeg", "deck1.png", "deck1.jpg"}) deck.Write(name, "");
    EXPECT_EQ(find("deck")->Name(1), (deck / "deck1.jpg").string());
    fs::remove(deck / "deck1.jpg");
    EXPECT_EQ(find("deck")->Name(1), (deck / "deck1.jpeg").string());
    fs::remove(deck / "deck1.jpeg");
    fs::remove(deck / "deck1.JPG");
    fs::remove(deck / "deck1.png");
    EXPECT_EQ(find("deck")->Name(1), (deck / "deck01.jpg").string());
}

TEST(Discovery, StopFileOfATrimmedPrefix)
{
    Scratch deck("stopname");
    const std::string at = deck.Path().string() + "/";
    EXPECT_EQ(StopFileCandidates(at + "talk."), (std::vector<std::string>{at + "talk..stp", at + "talk.stp"}));
    EXPECT_EQ(StopFileCandidates("talk"), std::vector<std::string>{"talk.stp"});
    EXPECT_EQ(FindStopFile(at + "talk."), std::nullopt);  // neither exists
    deck.Write("talk.stp", "");
    deck.Write("deck-.stp", "");
    deck.Write("deck.stp", "");
    EXPECT_EQ(FindStopFile(at + "talk."), at + "talk.stp");
    EXPECT_EQ(FindStopFile(at + "deck-"), at + "deck-.stp");  // the exact name wins
    EXPECT_EQ(FindStopFile(at + "talk"), at + "talk.stp");
    EXPECT_EQ(FindStopFile(at + "talkx"), std::nullopt);
}

TEST(Discovery, ExportedDecksConvert)
{
    Scratch deck("exported");
    deck.MakeDeck("unused", 0);
    for (int n = 1; n <= 3; ++n) {
        deck.Write("Slide" + std::to_string(n) + ".JPG", TinyJPEG('p'));
        deck.Write("talk." + std::string(n < 10 ? "00" : "0") + std::to_string(n) + ".jpeg", TinyJPEG('k'));
        deck.Write("talk-0" + std::to_string(n) + ".jpg", TinyJPEG('d'));
    }
    deck.Write("talk.stp", "0\n2\n");  // Keynote's and pdftoppm's decks share it
    deck.Write("stops.txt", "1\n");
    for (const auto& [prefix, stops] : {std::pair{"Slide", "stops.txt"}, {"talk.", ""}, {"talk-", ""}}) {
        SCOPED_TRACE(prefix);
        std::vector<std::string> arguments;
        if (*stops) arguments = {"--stops", stops};
        arguments.insert(arguments.end(), {prefix, "3", "out.swf"});
        const RunResult run = deck.Convert(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const swftest::Movie movie = swftest::ParseFile((deck / "out.swf").string());
        EXPECT_EQ(movie.frameCount, 5u);
    }
    // Without --stops, PowerPoint's deck has no Slide.stp: it stops on every slide.
    const RunResult run = deck.Convert({"Slide", "3", "out.swf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "corvanex: no stop-point file 'Slide.stp': the show stops on every slide but the last, which "
                       "plays on to the closing notice (--stop-last makes it wait)\n");
}

TEST(Discovery, TheFirstSlideFixesThePattern)
{
    Scratch deck("pattern");
    deck.MakeDeck("deck", 0, "");
    deck.Write("deck.001.jpeg", TinyJPEG());
    deck.Write("deck.002.jpg", TinyJPEG());
    deck.Write("out.swf", swftest::TinyMovie());
    RunResult run = deck.Convert({"deck.", "2", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: cannot open the slide image 'deck.002.jpeg': No such file or directory\n");
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());

    deck.Write("stops", "");
    run = deck.Convert({"--stops", "stops", "none", "2", "new.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "corvanex: cannot open the slide image 'none1.jpg': No such file or directory (nor a slide 1 numbered "
              "01 to 00001, or ending in .jpeg, .JPG, .JPEG, .png or .PNG)\n");
    EXPECT_FALSE(fs::exists(deck / "new.swf"));

    // A PNG deck's headers are read before anything is composed: one that
    // ends after its signature is refused by name.
    deck.Write("shot1.png", "\x89PNG\r\n\x1A\n");
    run = deck.Convert({"--stops", "stops", "shot", "1", "new.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: the slide image 'shot1.png' is not a PNG image that can be decoded: end of stream\n");
    EXPECT_FALSE(fs::exists(deck / "new.swf"));
}

// ---- JPEG headers ----

// A JPEG whose header runs past the first reads: APP1 segments in front.
std::string WithLargeAppSegments(const std::string& jpeg, int segments)
{
    std::string bytes = jpeg.substr(0, 2);
    for (int i = 0; i < segments; ++i) bytes += std::string("\xFF\xE1\xFF\xFF", 4) + std::string(65533, 'e');
    return bytes + jpeg.substr(2);
}

TEST(JPEGHeaderRead, SizeFromPrefixesAndWholeFiles)
{
    const std::string jpeg = TinyJPEG('x', 16, 1366, 768);
    const auto read = [](const std::string& bytes, size_t size, bool whole) {
        return ReadJPEGHeader(reinterpret_cast<const uint8_t*>(bytes.data()), size, whole);
    };
    const JPEGHeader full = read(jpeg, jpeg.size(), true);
    ASSERT_EQ(full.outcome, JPEGHeader::Outcome::kRead);
    EXPECT_EQ(full.width, 1366);
    EXPECT_EQ(full.height, 768);
    // Cut inside the header: more bytes needed from a prefix, broken at the file's end.
    EXPECT_EQ(read(jpeg, 30, false).outcome, JPEGHeader::Outcome::kIncomplete);
    const JPEGHeader cut = read(jpeg, 30, true);
    EXPECT_EQ(cut.outcome, JPEGHeader::Outcome::kBroken);
    EXPECT_FALSE(cut.message.empty());
    // A large segment skipped past the prefix also asks for more.
    const std::string large = WithLargeAppSegments(jpeg, 1);
    EXPECT_EQ(read(large, 8192, false).outcome, JPEGHeader::Outcome::kIncomplete);
    // Garbage after the start marker is libjpeg's to name.
    const std::string garbage = std::string("\xFF\xD8", 2) + "garbage after the start of image";
    const JPEGHeader broken = read(garbage, garbage.size(), true);
    EXPECT_EQ(broken.outcome, JPEGHeader::Outcome::kBroken);
    EXPECT_EQ(broken.message, "the file ends before its header is complete (JPEG datastream contains no image)");
}

TEST(JPEGHeaderRead, AHeaderBehindLargeSegmentsIsReadFromTheFile)
{
    Scratch deck("segments");
    deck.Write("big.jpg", WithLargeAppSegments(TinyJPEG('x', 16, 800, 600), 9));
    const JPEGFile file = ReadJPEGFile((deck / "big.jpg").string(), "slide image");
    EXPECT_EQ(file.size.width, 800);
    EXPECT_EQ(file.size.height, 600);
    EXPECT_EQ(static_cast<uint64_t>(file.region.size), fs::file_size(deck / "big.jpg"));
}

// ---- PNG decks ----

TEST(PNGDeck, EachSlideReachesTheMovieInItsFormOnAMatteWhereItMayBeTransparent)
{
    Scratch deck("png-deck");
    deck.MakeDeck("deck", 0, "");
    using swftest::PNGBytes;
    const auto translucent = [](int c) { return static_cast<uint8_t>(c * 31); };
    const std::string slides[] = {
        PNGBytes(swftest::Opaque(640, 480, 5), SPNG_COLOR_TYPE_TRUECOLOR),       // colour-mapped
        PNGBytes(swftest::Opaque(640, 480, 1000), SPNG_COLOR_TYPE_TRUECOLOR),    // 32-bit
        PNGBytes(swftest::Colours(640, 480, 9, translucent)),                    // with alpha, on a matte
        PNGBytes(swftest::Opaque(640, 480, 3)),  // an alpha channel, all opaque: a matte all the same
        PNGBytes(swftest::Opaque(320, 320, 2), SPNG_COLOR_TYPE_TRUECOLOR),       // scaled to fit, on a matte
    };
    for (size_t i = 0; i < std::size(slides); ++i) deck.Write("deck" + std::to_string(i + 1) + ".png", slides[i]);

    SlideShowRequest request = swftest::DeckRequest(deck, static_cast<int32_t>(std::size(slides)));
    std::vector<std::pair<int32_t, uint64_t>> progress;
    request.onSlideRead = [&](int32_t n, uint64_t bytes) { progress.emplace_back(n, bytes); };
    ::testing::internal::CaptureStdout();
    const SlideShowResult result = GenerateSlideMovie(request);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.scaledSlides, 1);
    // Reported as each slide is decoded, with the PNG bytes read so far.
    ASSERT_EQ(progress.size(), std::size(slides));
    EXPECT_EQ(progress.back(), (std::pair<int32_t, uint64_t>{5, fs::file_size(deck / "deck1.png") +
                                                                    fs::file_size(deck / "deck2.png") +
                                                                    fs::file_size(deck / "deck3.png") +
                                                                    fs::file_size(deck / "deck4.png") +
                                                                    fs::file_size(deck / "deck5.png")}));

    const std::vector<std::vector<Tag>> frames = swftest::Frames(swftest::ParseFile(request.outputFile));
    ASSERT_EQ(frames.size(), std::size(slides) + 2);
    struct Expected {
        FTagCode code;
        uint8_t format;
        bool matte;
        std::vector<int32_t> bounds;  // xmin, xmax, ymin, ymax
    };
    const std::vector<int32_t> area{20, 12800, 20, 9600};
    const Expected expected[] = {
        {DefineBitsLossless, 3, false, area},
        {DefineBitsLossless, 5, false, area},
        {DefineBitsLossless2, 3, true, area},
        {DefineBitsLossless, 3, true, area},
        {DefineBitsLossless, 3, true, {1620, 11200, 20, 9600}},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("slide " + std::to_string(i + 1));
        const std::vector<Tag>& frame = frames[i];
        const size_t at = expected[i].matte ? 2 : 0;
        ASSERT_GE(frame.size(), at + 3);
        if (expected[i].matte) {
            EXPECT_EQ(Codes(frame, 2), (std::vector<FTagCode>{DefineShape3, PlaceObject2}));
            EXPECT_EQ(swftest::ShapeBounds(frame[0]), area);
            EXPECT_EQ(SolidFill(frame[0]), (std::vector<uint32_t>{0xCD, 0xCD, 0xCD, 0xFF}));
        }
        const Tag& bitmap = frame[at];
        EXPECT_EQ(Codes({frame.begin() + static_cast<long>(at), frame.end()}, 3),
                  (std::vector<FTagCode>{expected[i].code, DefineShape3, PlaceObject2}));
        EXPECT_EQ(bitmap.body.at(2), expected[i].format);
        const SlideSize size = i == 4 ? SlideSize{320, 320} : SlideSize{640, 480};
        EXPECT_EQ(swftest::Word(bitmap, 3), size.width);
        EXPECT_EQ(swftest::Word(bitmap, 5), size.height);
        EXPECT_EQ(swftest::ShapeBounds(frame[at + 1]), expected[i].bounds);
        const BitmapFill fill = SlideFill(frame[at + 1]);
        EXPECT_EQ(fill.bitmapID, swftest::Word(bitmap, 0));
        EXPECT_EQ(fill.translateX, expected[i].bounds[0]);
        EXPECT_EQ(fill.translateY, expected[i].bounds[2]);
    }
}

TEST(PNGDeck, AnUndecodableSlideFailsTheRunAndLeavesTheOldMovie)
{
    Scratch deck("png-bad");
    deck.MakeDeck("deck", 0, "");
    const std::string good = swftest::PNGBytes(swftest::Opaque(640, 480, 70000));
    deck.Write("deck1.png", good);
    deck.Write("deck3.png", good);
    const std::string jpeg = TinyJPEG();
    // The stream's checksum, last in the last image data chunk (before its
    // checksum and the end chunk): the pixels decode, and were taken.
    std::string flipped = good;
    flipped[good.size() - 12 - 4 - 1] ^= 0x04;
    const struct {
        std::string bytes;
        std::string message;
    } cases[] = {
        // The header reads; the image data ends halfway.
        {good.substr(0, good.size() / 2), "is not a PNG image that can be decoded: end of stream"},
        // Refused by its header, before any slide is decoded.
        {jpeg, "is not a PNG image that can be decoded: invalid signature"},
        // A byte of the last image data flipped.
        {flipped, "is damaged: an image data chunk fails its checksum"},
    };
    for (const auto& c : cases) {
        deck.Write("deck2.png", c.bytes);
        deck.Write("out.swf", swftest::TinyMovie());
        const RunResult run = deck.Convert({"deck", "3", "out.swf"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "corvanex: the slide image 'deck2.png' " + c.message + "\n");
        EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
        fs::remove(deck / "out.swf");
        EXPECT_EQ(deck.Convert({"deck", "3", "out.swf"}).status, 1);
        EXPECT_FALSE(fs::exists(deck / "out.swf"));
    }
}

}  // namespace
