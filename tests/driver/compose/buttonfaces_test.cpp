// The button faces of a show: a JPEG deck's frames each define their own, as
// they always did; a PNG deck or a made show defines each face once and every
// frame's buttons refer to it. The character budget counts either exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/core/slidesize.h"
#include "driver/input/configfiles.h"
#include "driver/compose/showcomposer.h"
#include "driver/compose/stoptable.h"
#include "driver/forms/imageform.h"
#include "support/converter_run.h"
#include "support/deck_request.h"
#include "support/png_file.h"
#include "support/swf_reader.h"

namespace {

using swftest::Scratch;
using swftest::Tag;
using swftest::TinyJPEG;
using enum FTagCode;

bool IsDefinition(const Tag& tag)
{
    const char* name = FTagName(tag.code);
    return name && std::strncmp(name, "Define", 6) == 0;
}

// Past a MATRIX record.
void SkipMatrix(swftest::BitReader& bits)
{
    for (int part = 0; part < 2; ++part) {  // scale, rotation
        if (!bits.Unsigned(1)) continue;
        const uint32_t n = bits.Unsigned(5);
        bits.Signed(n);
        bits.Signed(n);
    }
    const uint32_t n = bits.Unsigned(5);
    bits.Signed(n);
    bits.Signed(n);
    bits.Align();
}

// The character IDs of a DefineButton2's records: up, over, down, hit, each
// record naming one state.
std::vector<uint16_t> ButtonStates(const Tag& button)
{
    swftest::BitReader bits(button.body, 5);  // after the ID, the flags and the action offset
    std::vector<uint16_t> states;
    while (const uint32_t flags = bits.Byte()) {
        EXPECT_EQ(flags & 0x0Fu, 1u << states.size());
        states.push_back(static_cast<uint16_t>(bits.Word()));
        bits.Word();  // depth
        SkipMatrix(bits);
        const uint32_t add = bits.Unsigned(1), multiply = bits.Unsigned(1), n = bits.Unsigned(4);
        for (uint32_t field = 0; field < (add + multiply) * 4; ++field) bits.Signed(n);
        bits.Align();
    }
    return states;
}

// The bitmap of a button face: the second fill style of its DefineShape3
// (the first names no bitmap); 0 for a shape of one solid fill.
uint16_t FaceBitmap(const Tag& shape)
{
    swftest::BitReader bits(shape.body, 2);
    const uint32_t count = bits.Unsigned(5);
    for (int i = 0; i < 4; ++i) bits.Signed(count);
    bits.Align();
    if (bits.Byte() != 2) return 0;
    EXPECT_EQ(bits.Byte(), 0x41u);
    bits.Word();
    SkipMatrix(bits);
    EXPECT_EQ(bits.Byte(), 0x41u);
    return static_cast<uint16_t>(bits.Word());
}

// A movie's definitions by ID, each with the frame it is in.
struct Definitions {
    std::map<uint16_t, Tag> tags;
    std::map<uint16_t, size_t> frames;
    uint16_t highest = 0;
};

Definitions DefinitionsOf(const swftest::Movie& movie)
{
    Definitions defined;
    const std::vector<std::vector<Tag>> frames = swftest::Frames(movie);
    for (size_t f = 0; f < frames.size(); ++f) {
        for (const Tag& tag : frames[f]) {
            if (!IsDefinition(tag)) continue;
            const uint16_t id = swftest::Word(tag, 0);
            EXPECT_FALSE(defined.tags.count(id)) << "ID " << id << " is defined twice";
            defined.tags[id] = tag;
            defined.frames[id] = f;
            defined.highest = std::max(defined.highest, id);
        }
    }
    return defined;
}

// A deck of `slides` slides of 640 x 480 (the last `odd` of them 320 x 320,
// on a matte), JPEG or PNG, with its stop file.
SlideShowRequest Deck(const Scratch& deck, int slides, const std::string& stops, bool png, int odd = 0)
{
    deck.MakeDeck("deck", 0, stops);
    for (int n = 1; n <= slides; ++n) {
        const bool small = n > slides - odd;
        const std::string name = "deck" + std::to_string(n) + (png ? ".png" : ".jpg");
        if (png)
            deck.Write(name, swftest::PNGBytes(swftest::Opaque(small ? 320 : 640, small ? 320 : 480, 3 + n),
                                               SPNG_COLOR_TYPE_TRUECOLOR));
        else
            deck.Write(name, TinyJPEG(static_cast<char>('a' + n), 16, small ? 320 : 640, small ? 320 : 480));
    }
    return swftest::DeckRequest(deck, slides);
}

// Stop entries 0 0 1 3 1 3 (no final line feed, which would add an entry
// 0): no backward button on slides 1 and 3, two each on 2 and 4.
const char* const kTwoButtonsOnSlides2And4 = "0\n0\n1\n3\n1\n3";

TEST(ButtonFaces, APNGDeckDefinesEachFaceOnceAndEveryFramesButtonsReferToIt)
{
    Scratch deck("faces-png");
    SlideShowRequest request = Deck(deck, 4, kTwoButtonsOnSlides2And4, true);
    request.keys = true;
    GenerateSlideMovie(request);
    const swftest::Movie movie = swftest::ParseFile(request.outputFile);
    const Definitions defined = DefinitionsOf(movie);

    // The two button images, each once, in the first frame that uses it.
    std::vector<uint16_t> jpegs;
    for (const auto& [id, tag] : defined.tags)
        if (tag.code == DefineBitsJPEG2) jpegs.push_back(id);
    ASSERT_EQ(jpegs.size(), 2u);
    // The image as its file holds it, between the empty table markers and an end marker.
    const auto image = [](const Tag& tag) { return std::string(tag.body.begin() + 6, tag.body.end() - 2); };
    const uint16_t forwardImage = jpegs[0], backwardImage = jpegs[1];
    EXPECT_EQ(image(defined.tags.at(forwardImage)), TinyJPEG('f'));
    EXPECT_EQ(image(defined.tags.at(backwardImage)), TinyJPEG('b'));
    EXPECT_EQ(defined.frames.at(forwardImage), 0u);
    EXPECT_EQ(defined.frames.at(backwardImage), 1u);  // slide 2 has the first backward button

    // Every frame makes its own buttons (one forward a slide, two backward on
    // slides 2 and 4), all drawn from the same two faces and hit shapes.
    std::vector<std::vector<uint16_t>> forward, backward;
    for (const auto& [id, tag] : defined.tags) {
        if (tag.code != DefineButton2) continue;
        const std::vector<uint16_t> states = ButtonStates(tag);
        ASSERT_EQ(states.size(), 4u);
        for (uint16_t state : states) {
            ASSERT_TRUE(defined.tags.count(state)) << state;
            EXPECT_LE(defined.frames.at(state), defined.frames.at(id));
            EXPECT_LT(state, id);
        }
        const uint16_t face = FaceBitmap(defined.tags.at(states[0]));
        (face == forwardImage ? forward : backward).push_back(states);
        EXPECT_EQ(FaceBitmap(defined.tags.at(states[3])), 0) << "the hit shape is solid";
    }
    ASSERT_EQ(forward.size(), 4u);
    ASSERT_EQ(backward.size(), 4u);
    for (const std::vector<std::vector<uint16_t>>* buttons : {&forward, &backward}) {
        for (const std::vector<uint16_t>& states : *buttons) {
            EXPECT_EQ(states, buttons->front());
            EXPECT_EQ(states[0], states[1]);
            EXPECT_EQ(states[0], states[2]);
            EXPECT_NE(states[0], states[3]);
        }
    }
    EXPECT_EQ(FaceBitmap(defined.tags.at(backward.front()[0])), backwardImage);
    // Slides, buttons, faces and hit shapes, the notice: no ID drawn and left unused.
    EXPECT_EQ(defined.tags.size(), defined.highest);
}

// Whatever the faces, the count is the highest ID the written movie uses (IDs
// are drawn from 1 and the closing notice draws the last).
TEST(CharacterBudget, CountsTheIDsAWrittenMovieUsesWithEitherFaces)
{
    struct Case {
        const char* stops;
        int odd;  // slides on a matte
        bool keys;
    };
    const Case cases[] = {
        {"0\n", 0, false},                      // no stop point: no backward button
        {"0\n0\n1\n2\n3\n", 1, false},          // a stop on every slide, and a return on the first
        {kTwoButtonsOnSlides2And4, 2, true},    // two buttons on a frame, frames without
        {"0\n3\n3\n-1\n70000\n", 0, false},     // a repeated entry, entries outside the deck
    };
    for (const Case& c : cases) {
        for (const bool png : {false, true}) {
            SCOPED_TRACE(std::string(png ? "PNG" : "JPEG") + " deck, stops " + c.stops);
            Scratch deck("faces-count");
            SlideShowRequest request = Deck(deck, 4, c.stops, png, c.odd);
            request.keys = c.keys;
            GenerateSlideMovie(request);
            const Definitions defined = DefinitionsOf(swftest::ParseFile(request.outputFile));
            const ButtonFaces faces = png ? ButtonFaces::kShared : ButtonFaces::kEachFrame;
            EXPECT_EQ(defined.highest,
                      CharacterIDsNeeded(4, ReadStopPoints((deck / "deck.stp").string()), c.odd, 0, faces));
            if (png) {
                EXPECT_EQ(defined.tags.size(), defined.highest);
            }
        }
    }
}

TEST(CharacterBudget, AMadeShowSharesItsFacesAndCountsThem)
{
    Scratch folder("faces-made");
    folder.MakeDeck("deck", 0, "");
    MadeShowRequest made;
    made.outputFile = (folder / "out.swf").string();
    made.forwardFile = (folder / "forward.jpg").string();
    made.backwardFile = (folder / "backward.jpg").string();
    made.stopTable = {0, 0, 1, 2, 1};
    made.area = SlideSize{640, 480};
    made.slideCount = 3;
    MadeShowComposer composer(made);
    for (int n = 1; n <= 3; ++n) {
        MadeSlide slide;
        slide.size = SlideSize{640, 480};
        const std::string jpeg = TinyJPEG(static_cast<char>('a' + n));
        slide.image = std::vector<uint8_t>(jpeg.begin(), jpeg.end());
        composer.Add(std::move(slide));
    }
    composer.Write();
    const Definitions defined = DefinitionsOf(swftest::ParseFile(made.outputFile));
    EXPECT_EQ(defined.highest, CharacterIDsNeeded(3, made.stopTable, 0, 0, ButtonFaces::kShared));
    EXPECT_EQ(defined.tags.size(), defined.highest);
    // Three slide images and the two button images.
    EXPECT_EQ(std::count_if(defined.tags.begin(), defined.tags.end(),
                            [](const auto& entry) { return entry.second.code == DefineBitsJPEG2; }),
              5);
}

TEST(CharacterBudget, APNGDeckIsRefusedOnlyPastTheSharedCount)
{
    // Three IDs a slide, four for the forward face and the notice: 21843 fit.
    Scratch deck("faces-budget");
    deck.MakeDeck("deck", 0, "0");
    deck.Write("deck1.png", swftest::PNGBytes(swftest::Opaque(640, 480, 2), SPNG_COLOR_TYPE_TRUECOLOR));
    const swftest::RunResult run = deck.Convert({"deck", "21844", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("a deck of 21844 slides with these stop points needs more than 65535 characters; at most "
                           "21843 slides fit"),
              std::string::npos)
        << run.err;
    // Past the JPEG deck's limit, a PNG deck goes on to look for its slides.
    const swftest::RunResult fits = deck.Convert({"deck", "9363", "out.swf"});
    EXPECT_NE(fits.err.find("deck2.png"), std::string::npos) << fits.err;
    EXPECT_FALSE(std::filesystem::exists(deck / "out.swf"));
}

}  // namespace
