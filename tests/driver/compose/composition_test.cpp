// The slide show's frames, read back tag by tag from the converter's output.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_run.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;
using swftest::Tag;

using enum FTagCode;

std::vector<FTagCode> Codes(const std::vector<Tag>& tags)
{
    std::vector<FTagCode> codes;
    for (const Tag& tag : tags) codes.push_back(tag.code);
    return codes;
}

// The tags the slide and its forward button give every slide frame.
const std::vector<FTagCode> kSlideAndForward{DefineBitsJPEG2, DefineShape3,  PlaceObject2, DefineBitsJPEG2,
                                             DefineShape3,    DefineShape3,  DefineButton2, PlaceObject2};
const std::vector<FTagCode> kStop{DoAction};
const std::vector<FTagCode> kFirstBackward{DefineBitsJPEG2, DefineShape3, DefineShape3, DefineButton2,
                                           PlaceObject2};

std::vector<FTagCode> Join(std::initializer_list<std::vector<FTagCode>> parts)
{
    std::vector<FTagCode> all;
    for (const std::vector<FTagCode>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Show {
    swftest::Movie movie;
    std::vector<std::vector<Tag>> frames;
    std::string printed;
};

Show Convert(const std::string& stops, int slides, const std::string& config = "640\n480\n")
{
    Scratch deck("compose");
    deck.MakeDeck("deck", slides, stops, config);
    const swftest::RunResult run = deck.Convert({"deck", std::to_string(slides), "out.swf"});
    EXPECT_EQ(run.status, 0) << run.err;
    Show show;
    show.movie = swftest::ParseFile((deck / "out.swf").string());
    show.frames = swftest::Frames(show.movie);
    show.printed = run.out;
    return show;
}

// The GotoFrame target of a backward button's DefineButton2 (its last action).
uint16_t GotoTarget(const Tag& button)
{
    const std::vector<uint8_t>& body = button.body;
    EXPECT_EQ(body[body.size() - 6], 0x81);  // GotoFrame
    return static_cast<uint16_t>(body[body.size() - 3] | body[body.size() - 2] << 8);
}

TEST(Composition, StopsWithAFinalLineFeed)
{
    // Entries 0, 2, 0: frame 0 stops with a button back to frame 0; frame 2 is
    // the last slide, so it does not stop but has a button back to frame 0.
    const Show show = Convert("0\n2\n", 3);
    ASSERT_GE(show.frames.size(), 3u);
    EXPECT_EQ(Codes(show.frames[0]), Join({kSlideAndForward, kStop, kFirstBackward, {SetBackgroundColor}}));
    EXPECT_EQ(Codes(show.frames[1]), kSlideAndForward);
    EXPECT_EQ(Codes(show.frames[2]), Join({kSlideAndForward, kFirstBackward}));
    EXPECT_EQ(GotoTarget(show.frames[0][12]), 0);
    EXPECT_EQ(GotoTarget(show.frames[2][11]), 0);
    // The Stop action: DoAction 07 00.
    EXPECT_EQ(show.frames[0][8].body, (std::vector<uint8_t>{0x07, 0x00}));
    // The background colour is written as RGB.
    EXPECT_EQ(show.frames[0].back().body, (std::vector<uint8_t>{0xCD, 0xCD, 0xCD}));
}

TEST(Composition, StopsWithoutAFinalLineFeed)
{
    const Show show = Convert("0\n2", 3);
    EXPECT_EQ(Codes(show.frames[0]), Join({kSlideAndForward, {SetBackgroundColor}}));
    EXPECT_EQ(Codes(show.frames[2]), Join({kSlideAndForward, kFirstBackward}));
}

TEST(Composition, NoSlides)
{
    const Show show = Convert("0\n", 0);
    ASSERT_GE(show.frames.size(), 1u);
    EXPECT_EQ(Codes(show.frames[0]), (std::vector<FTagCode>{SetBackgroundColor}));
}

TEST(Composition, OneStopForEachEntryAndNoButtonForARepeatedEntry)
{
    const Show show = Convert("0\n5\n5", 7);
    EXPECT_EQ(Codes(show.frames[5]), Join({kSlideAndForward, kStop, kFirstBackward, kStop}));
    EXPECT_EQ(GotoTarget(show.frames[5][12]), 0);
    // A second backward button in one frame defines only the button again.
    const Show twice = Convert("0\n5\n3\n5", 7);
    EXPECT_EQ(Codes(twice.frames[5]),
              Join({kSlideAndForward, kStop, kFirstBackward, kStop, {DefineButton2, PlaceObject2}}));
    EXPECT_EQ(GotoTarget(twice.frames[5][12]), 0);
    EXPECT_EQ(GotoTarget(twice.frames[5][15]), 3);
}

TEST(Composition, ButtonsSitInTheBandBelowTheSlide)
{
    const Show show = Convert("0\n1", 2);
    const std::vector<Tag>& frame = show.frames[1];
    ASSERT_EQ(Codes(frame), Join({kSlideAndForward, kFirstBackward}));
    EXPECT_EQ(swftest::ShapeBounds(frame[1]), (std::vector<int32_t>{20, 12800, 20, 9600}));       // the slide
    EXPECT_EQ(swftest::ShapeBounds(frame[4]), (std::vector<int32_t>{6600, 7200, 9700, 10300}));   // forward face
    EXPECT_EQ(swftest::ShapeBounds(frame[5]), (std::vector<int32_t>{6600, 7200, 9700, 10300}));   // forward hit area
    EXPECT_EQ(swftest::ShapeBounds(frame[9]), (std::vector<int32_t>{5600, 6200, 9700, 10300}));   // backward face
    EXPECT_EQ(swftest::ShapeBounds(frame[10]), (std::vector<int32_t>{5600, 6200, 9700, 10300}));  // backward hit area
}

TEST(Composition, DisplayDepthsAfterSorting)
{
    // Three slides, one backward button (frame 2): slides 0, 1, 2; the
    // backward button 3; the forward buttons 4, 5, 6 in frame order.
    const Show show = Convert("0\n2", 3);
    auto depthsOf = [](const std::vector<Tag>& frame) {
        std::vector<uint16_t> depths;
        for (const Tag& tag : frame)
            if (tag.code == PlaceObject2) depths.push_back(swftest::Word(tag, 1));
        return depths;
    };
    EXPECT_EQ(depthsOf(show.frames[0]), (std::vector<uint16_t>{0, 4}));
    EXPECT_EQ(depthsOf(show.frames[1]), (std::vector<uint16_t>{1, 5}));
    EXPECT_EQ(depthsOf(show.frames[2]), (std::vector<uint16_t>{2, 6, 3}));
    EXPECT_NE(show.printed.find("Depth sorting: complete\n"), std::string::npos);
}

TEST(Composition, CharacterIDsFollowConstructionWithGapsForUnusedBackwardFaces)
{
    // Per slide: slide bitmap, forward face bitmap, (face shape, hit shape,
    // button at definition), backward face bitmap; the slide's shape at its addition.
    const Show show = Convert("0", 2);
    std::vector<uint16_t> ids;
    for (const Tag& tag : show.frames[0])
        if (tag.code == DefineBitsJPEG2 || tag.code == DefineShape3 || tag.code == DefineButton2)
            ids.push_back(swftest::Word(tag, 0));
    // Slide bitmap 1, its shape 2; forward bitmap 3, face 4, hit 5, button 6;
    // the backward face's bitmap (7) is never written.
    EXPECT_EQ(ids, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(swftest::Word(show.frames[1][0], 0), 8);
}

TEST(Composition, FullHDSlideFillsItsArea)
{
    const Show show = Convert("0\n", 1, "1920\n1080\n");
    const Tag& shape = show.frames[0][1];
    EXPECT_EQ(swftest::ShapeBounds(shape), (std::vector<int32_t>{20, 38400, 20, 21600}));
    // After the bounds: fill style count 2, the placeholder bitmap fill, then
    // the slide's own: type 0x41, bitmap ID 1, matrix with scale (size x 65536) / pixels.
    swftest::BitReader bits(shape.body, 2);
    const uint32_t count = bits.Unsigned(5);
    for (int i = 0; i < 4; ++i) bits.Signed(count);
    bits.Align();
    EXPECT_EQ(bits.Unsigned(8), 2u);     // fill styles
    EXPECT_EQ(bits.Unsigned(8), 0x41u);  // clipped bitmap
    bits.Unsigned(16);
    bits.Unsigned(1);
    const uint32_t placeholderBits = bits.Unsigned(5);
    bits.Unsigned(2 * placeholderBits);
    bits.Unsigned(1);
    const uint32_t translateBits = bits.Unsigned(5);
    bits.Unsigned(2 * translateBits);
    bits.Align();
    EXPECT_EQ(bits.Unsigned(8), 0x41u);
    EXPECT_EQ(bits.Unsigned(8) | bits.Unsigned(8) << 8, 1u);  // the slide's bitmap
    ASSERT_EQ(bits.Unsigned(1), 1u);                            // has scale
    const uint32_t scaleBits = bits.Unsigned(5);
    EXPECT_EQ(bits.Signed(scaleBits), static_cast<int32_t>(int64_t{38400 - 20 + 1} * 65536 / 1920));
    EXPECT_EQ(bits.Signed(scaleBits), static_cast<int32_t>(int64_t{21600 - 20 + 1} * 65536 / 1080));
    EXPECT_EQ(bits.Unsigned(1), 0u);  // no rotation
    const uint32_t bits2 = bits.Unsigned(5);
    EXPECT_EQ(bits.Signed(bits2), 20);
    EXPECT_EQ(bits.Signed(bits2), 20);
    // The forward button sits in the band below the slide.
    EXPECT_EQ(swftest::ShapeBounds(show.frames[0][4]), (std::vector<int32_t>{19400, 20000, 21700, 22300}));
    EXPECT_EQ(show.movie.ymax, 22400);
}

TEST(Composition, DecksWhoseIDsDoNotFitAreRefusedBeforeReading)
{
    Scratch deck("budget");
    deck.MakeDeck("deck", 0, "0");
    // 9363 slides need 65542 IDs: refused before any slide is looked for.
    swftest::RunResult run = deck.Convert({"deck", "9363", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("at most 9362 slides"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(deck / "out.swf"));

    // 9362 slides fit exactly (65535 IDs with the closing notice).
    const std::string slide = swftest::TinyJPEG('s', 1);
    for (int n = 1; n <= 9362; ++n) deck.Write("deck" + std::to_string(n) + ".jpg", slide);
    run = deck.Convert({"deck", "9362", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    const swftest::Movie movie = swftest::ParseFile((deck / "out.swf").string());
    EXPECT_EQ(movie.frameCount, movie.ShowFrames());
}

}  // namespace

namespace {

uint16_t HighestDisplayDepth(const swftest::Movie& movie)
{
    uint16_t highest = 0;
    for (const Tag& tag : movie.tags)
        if (tag.code == PlaceObject2) highest = std::max(highest, swftest::Word(tag, 1));
    return highest;
}

TEST(ClosingFrame, EmptyFrameThenTheNoticeWhichStops)
{
    const Show show = Convert("0\n2\n", 3);
    EXPECT_EQ(show.movie.frameCount, 5u);
    ASSERT_EQ(show.frames.size(), 5u);
    EXPECT_TRUE(show.frames[3].empty());
    ASSERT_EQ(Codes(show.frames[4]), (std::vector<FTagCode>{DefineEditText, PlaceObject2, DoAction}));
    const std::vector<uint8_t>& notice = show.frames[4][0].body;
    // ID, bounds (20, 12800, 20, 9600 in 15 bits: 9 bytes), then the flag
    // bytes: has text, word wrap off, multiline, read-only; border, has layout.
    EXPECT_EQ(notice[11], 0x8C);
    EXPECT_EQ(notice[12], 0x28);
    EXPECT_EQ((std::vector<uint8_t>(notice.begin() + 13, notice.begin() + 17)),
              (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0xFF}));  // red text
    EXPECT_EQ(show.frames[4][2].body, (std::vector<uint8_t>{0x07, 0x00}));
    // The notice's placement is the top of the display list.
    EXPECT_EQ(swftest::Word(show.frames[4][1], 1), HighestDisplayDepth(show.movie));
}

TEST(ClosingFrame, NoSlides)
{
    const Show show = Convert("0\n", 0);
    EXPECT_EQ(show.movie.frameCount, 2u);
    EXPECT_EQ(Codes(show.frames[1]), (std::vector<FTagCode>{DefineEditText, PlaceObject2, DoAction}));
}

TEST(ClosingFrame, NoticeStaysOnTopOfMoreThanAThousandSlides)
{
    Scratch deck("thousand");
    deck.MakeDeck("deck", 0, "0");
    const std::string slide = swftest::TinyJPEG('s', 1);
    for (int n = 1; n <= 1003; ++n) deck.Write("deck" + std::to_string(n) + ".jpg", slide);
    ASSERT_EQ(deck.Convert({"deck", "1003", "out.swf"}).status, 0);
    const swftest::Movie movie = swftest::ParseFile((deck / "out.swf").string());
    const std::vector<std::vector<Tag>> frames = swftest::Frames(movie);
    ASSERT_EQ(frames.size(), 1005u);
    EXPECT_EQ(swftest::Word(frames[1004][1], 1), HighestDisplayDepth(movie));
}

}  // namespace
