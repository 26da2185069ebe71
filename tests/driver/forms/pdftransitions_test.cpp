// A PDF's page transitions and durations in the movie: the frames between
// pages and what moves in them, each page's own frame (where stops, backward
// buttons, links and Home and End land), the timers of timed pages, the bounds
// on what a file asks, and the movie of --no-transitions --no-timings.

#include <gtest/gtest.h>

#ifdef CORVANEX_PDF

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/wavbuilder.h"
#include "driver/pdf/pagetransitions.h"
#include "support/converter_run.h"
#include "support/placements.h"
#include "support/swf_reader.h"
#include "tests/support/hand_pdf.h"

namespace {

using swftest::Placement;
using swftest::RunResult;
using swftest::Scratch;
using swftest::Sprite;
using swftest::Tag;

// 720 x 540 points at 96 dpi: a slide area of 960 x 720 pixels.
constexpr int32_t kWidth = 960 * 20, kHeight = 720 * 20;

// A page of one colour, with more of the page dictionary's entries.
handpdf::Page Page(const std::string& entries, const std::string& colour = "0 0 1")
{
    return handpdf::Page{colour + " rg 0 0 720 540 re f\n", "", "0 0 720 540", entries};
}

struct Converted {
    RunResult run;
    swftest::Movie movie;
    std::vector<std::vector<Tag>> frames;
};

Converted Convert(const Scratch& folder, const std::vector<handpdf::Page>& pages, std::vector<std::string> options = {},
                  const std::vector<std::string>& extra = {})
{
    folder.Write("deck.pdf", handpdf::PDF(pages, extra));
    std::vector<std::string> arguments{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.insert(arguments.end(), {"deck.pdf", "deck.swf"});
    Converted converted;
    converted.run = folder.Convert(arguments, false);
    EXPECT_EQ(converted.run.status, 0) << converted.run.err;
    if (converted.run.status != 0) return converted;
    converted.movie = swftest::ParseFile((folder / "deck.swf").string());
    converted.frames = swftest::Frames(converted.movie);
    return converted;
}

std::vector<Tag> Only(const std::vector<Tag>& tags, FTagCode code)
{
    std::vector<Tag> found;
    for (const Tag& tag : tags)
        if (tag.code == code) found.push_back(tag);
    return found;
}

// The character a frame's first placement puts on stage: a page, where a
// page's frame starts.
uint16_t FirstPlaced(const std::vector<Tag>& frame)
{
    for (const Tag& tag : frame) {
        if (tag.code != FTagCode::PlaceObject2) continue;
        const Placement place = swftest::ReadPlacement(tag);
        if (place.character) return *place.character;
    }
    ADD_FAILURE() << "no placement";
    return 0;
}

// The transition starting in this frame: its sprite is the last defined there.
Sprite TransitionIn(const std::vector<Tag>& frame)
{
    const std::vector<Tag> sprites = Only(frame, FTagCode::DefineSprite);
    if (sprites.empty()) throw std::runtime_error("no transition in the frame");
    return swftest::ReadSprite(sprites.back());
}

std::vector<Placement> PlacementsOf(const std::vector<Tag>& tags)
{
    std::vector<Placement> places;
    for (const Tag& tag : Only(tags, FTagCode::PlaceObject2)) places.push_back(swftest::ReadPlacement(tag));
    return places;
}

Scratch Folder(const std::string& name)
{
    Scratch folder(name);
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    return folder;
}

TEST(PDFTransitions, FadesRaiseTheNewPagesAlphaOverTheOldUntilItsOwnFrame)
{
    const Scratch folder = Folder("fades");
    const Converted show = Convert(folder, {Page(""), Page("/Trans << /S /Fade /D 0.5 >>", "0 1 0"),
                                            Page("/Trans << /S /Dissolve >>", "1 0 0")});
    // 24 frames a second: half a second is 11 frames and the page's own, the
    // default second 23 and its own; then the closing frames.
    EXPECT_EQ(show.movie.frameRate, 24u);
    ASSERT_EQ(show.frames.size(), 1u + 12 + 24 + 2);
    EXPECT_EQ(show.run.err, "corvanex: pages: 3 vector, 0 partly raster, 0 raster\n"
                            "corvanex: carried from the PDF: 2 transitions (1 fade, 1 dissolve)\n");

    const struct {
        int32_t first, own, between;
    } pages[] = {{1, 12, 11}, {13, 36, 23}};
    uint16_t before = FirstPlaced(show.frames[0]);
    for (const auto& [first, own, between] : pages) {
        const std::vector<Tag>& starts = show.frames[static_cast<size_t>(first)];
        // The page before leaves the main timeline as the transition starts.
        ASSERT_FALSE(Only(starts, FTagCode::RemoveObject).empty());
        EXPECT_EQ(swftest::Word(Only(starts, FTagCode::RemoveObject)[0], 0), before);
        const Sprite fade = TransitionIn(starts);
        ASSERT_EQ(fade.frameCount, between);
        const uint16_t page = FirstPlaced(show.frames[static_cast<size_t>(own)]);
        const std::vector<std::vector<Tag>> steps = fade.Frames();
        ASSERT_EQ(steps.size(), static_cast<size_t>(between));
        for (int32_t k = 0; k < between; ++k) {
            const std::vector<Placement> places = PlacementsOf(steps[static_cast<size_t>(k)]);
            const auto alpha = static_cast<int32_t>(std::lround(256.0 * (k + 1) / (between + 1)));
            if (k == 0) {
                // The old page under the new, both by the IDs they stand on stage by.
                ASSERT_EQ(places.size(), 2u);
                EXPECT_EQ(places[0].character, before);
                EXPECT_EQ(places[0].depth, 1);
                EXPECT_EQ(places[1].character, page);
                EXPECT_EQ(places[1].depth, 2);
                EXPECT_EQ(places[1].alphaMultiply, alpha);
            } else {
                ASSERT_EQ(places.size(), 1u) << k;
                EXPECT_TRUE(places[0].move);
                EXPECT_EQ(places[0].depth, 2);
                EXPECT_EQ(places[0].alphaMultiply, alpha) << k;
            }
        }
        // Its last frame stops it; its own frame takes it off and shows the page whole.
        EXPECT_EQ(Only(steps.back(), FTagCode::DoAction).size(), 1u);
        for (int32_t f = first + 1; f < own; ++f) EXPECT_TRUE(show.frames[static_cast<size_t>(f)].empty()) << f;
        const std::vector<Tag>& whole = show.frames[static_cast<size_t>(own)];
        EXPECT_EQ(swftest::Word(Only(whole, FTagCode::RemoveObject).at(0), 0), fade.id);
        EXPECT_TRUE(PlacementsOf(whole).at(0).alphaMultiply == std::nullopt);
        before = page;
    }
}

TEST(PDFTransitions, MaskedOnesRevealThroughBandsOfTheAreasRectangle)
{
    const Scratch folder = Folder("masks");
    // Halfway, frame 11 of 23; inward ones close over the old page.
    const double h = kHeight, w = kWidth;
    struct Band {
        double x, y, width, height;
    };
    std::vector<Band> blinds;
    for (int i = 0; i < 6; ++i) blinds.push_back({0, h * i / 6, w, h / 12});
    const struct {
        std::string trans;
        bool newOnTop;
        std::vector<Band> bands;
    } cases[] = {
        {"/S /Wipe", true, {{0, 0, w / 2, h}}},
        {"/S /Wipe /Di 90", true, {{0, h / 2, w, h / 2}}},
        {"/S /Wipe /Di 180", true, {{w / 2, 0, w / 2, h}}},
        {"/S /Split /Dm /V /M /O", true, {{w / 4, 0, w / 2, h}}},
        {"/S /Split /Dm /H /M /I", false, {{0, h / 4, w, h / 2}}},
        {"/S /Box /M /O", true, {{w / 4, h / 4, w / 2, h / 2}}},
        {"/S /Box /M /I", false, {{w / 4, h / 4, w / 2, h / 2}}},
        {"/S /Blinds /Dm /H", true, blinds},
    };
    for (const auto& [trans, newOnTop, bands] : cases) {
        const Converted show = Convert(folder, {Page(""), Page("/Trans << " + trans + " >>", "0 1 0")});
        ASSERT_EQ(show.frames.size(), 1u + 24 + 2) << trans;
        const uint16_t oldPage = FirstPlaced(show.frames[0]), newPage = FirstPlaced(show.frames[24]);
        const std::vector<Tag> sprites = Only(show.frames[1], FTagCode::DefineSprite);
        ASSERT_GE(sprites.size(), 2u) << trans;
        const Sprite mask = swftest::ReadSprite(sprites[sprites.size() - 2]);
        const Sprite transition = swftest::ReadSprite(sprites.back());
        const std::vector<Placement> layers = PlacementsOf(transition.Frames().at(0));
        ASSERT_EQ(layers.size(), 3u) << trans;
        EXPECT_EQ(layers[0].character, newOnTop ? oldPage : newPage) << trans;
        EXPECT_EQ(layers[1].character, mask.id) << trans;
        EXPECT_EQ(layers[1].clipDepth, 3) << trans;
        EXPECT_EQ(layers[2].character, newOnTop ? newPage : oldPage) << trans;

        ASSERT_EQ(mask.frameCount, 23) << trans;
        const std::vector<Placement> halfway = PlacementsOf(mask.Frames().at(11));
        ASSERT_EQ(halfway.size(), bands.size()) << trans;
        for (size_t b = 0; b < bands.size(); ++b) {
            EXPECT_TRUE(halfway[b].move) << trans;
            EXPECT_NEAR(halfway[b].scaleX, 65536 * bands[b].width / w, 1) << trans << " band " << b;
            EXPECT_NEAR(halfway[b].scaleY, 65536 * bands[b].height / h, 1) << trans << " band " << b;
            EXPECT_NEAR(halfway[b].translateX, bands[b].x, 1) << trans << " band " << b;
            EXPECT_NEAR(halfway[b].translateY, bands[b].y, 1) << trans << " band " << b;
        }
    }
}

TEST(PDFTransitions, MovingOnesSlideThePagesInsideTheSlideArea)
{
    const Scratch folder = Folder("moving");
    const struct {
        std::string trans;
        bool oldOnTop;
        // Halfway: where the page under and the one over lie.
        int32_t underX, underY, overX, overY;
    } cases[] = {
        {"/S /Push /Di 270", false, 0, kHeight / 2, 0, -kHeight / 2},
        {"/S /Cover", false, 0, 0, -kWidth / 2, 0},
        {"/S /Uncover /Di 180", true, 0, 0, -kWidth / 2, 0},
        {"/S /Fly /M /O", true, 0, 0, kWidth / 2, 0},
    };
    for (const auto& [trans, oldOnTop, underX, underY, overX, overY] : cases) {
        const Converted show = Convert(folder, {Page(""), Page("/Trans << " + trans + " >>", "0 1 0")});
        ASSERT_EQ(show.frames.size(), 1u + 24 + 2) << trans;
        const uint16_t oldPage = FirstPlaced(show.frames[0]), newPage = FirstPlaced(show.frames[24]);
        const std::vector<std::vector<Tag>> steps = TransitionIn(show.frames[1]).Frames();
        ASSERT_EQ(steps.size(), 23u);
        const std::vector<Placement> first = PlacementsOf(steps[0]);
        ASSERT_EQ(first.size(), 3u) << trans;
        EXPECT_EQ(first[0].clipDepth, 3) << trans;  // the slide area's rectangle
        EXPECT_EQ(first[1].character, oldOnTop ? newPage : oldPage) << trans;
        EXPECT_EQ(first[2].character, oldOnTop ? oldPage : newPage) << trans;
        int32_t at[4] = {0, 0, 0, 0};  // the latest under, over
        for (size_t k = 0; k <= 11; ++k) {
            for (const Placement& place : PlacementsOf(steps[k])) {
                if (place.depth < 2) continue;
                at[(place.depth - 2) * 2] = place.translateX;
                at[(place.depth - 2) * 2 + 1] = place.translateY;
            }
        }
        EXPECT_EQ(at[0], underX) << trans;
        EXPECT_EQ(at[1], underY) << trans;
        EXPECT_EQ(at[2], overX) << trans;
        EXPECT_EQ(at[3], overY) << trans;
    }
}

// The GotoFrame targets of a frame's DefineButton2 tags, every condition's.
std::vector<std::pair<uint16_t, uint16_t>> Gotos(const std::vector<Tag>& frame)
{
    std::vector<std::pair<uint16_t, uint16_t>> targets;  // condition flags, frame
    for (const Tag& button : Only(frame, FTagCode::DefineButton2)) {
        size_t at = 3 + swftest::Word(button, 3);
        for (;;) {
            const uint16_t size = swftest::Word(button, at);
            const uint16_t flags = swftest::Word(button, at + 2);
            for (size_t a = at + 4; button.body.at(a) != 0;) {
                const uint8_t code = button.body[a];
                if (code == 0x81) targets.push_back({flags, swftest::Word(button, a + 3)});
                a += code >= 0x80 ? 3 + swftest::Word(button, a + 1) : 1;
            }
            if (size == 0) break;
            at += size;
        }
    }
    return targets;
}

TEST(PDFTransitions, StopsBackwardButtonsLinksAndHomeAndEndLandOnPagesOwnFrames)
{
    const Scratch folder = Folder("ownframes");
    folder.Write("deck.stp", "0\n1\n2\n3\n");
    const std::string fade = "/Trans << /S /Fade /D 0.5 >>";
    // Page 4 links to page 2 (object 5).
    const Converted show = Convert(
        folder, {Page(""), Page(fade), Page(fade), Page("/Annots [" + std::to_string(handpdf::FirstExtraObject(4)) + " 0 R]")},
        {"--keys", "--stops", "deck.stp"}, {"<< /Type /Annot /Subtype /Link /Rect [100 100 300 300] /Dest [5 0 R /Fit] >>"});
    // Own frames 0, 12, 24, 25; the empty frame and the notice.
    ASSERT_EQ(show.frames.size(), 28u);
    constexpr uint16_t kClick = 0x0008, kHome = 3 << 9, kEnd = 4 << 9;
    const struct {
        size_t frame;
        uint16_t backTo;
    } pages[] = {{0, 0}, {12, 0}, {24, 12}, {25, 24}};
    for (const auto& [frame, backTo] : pages) {
        EXPECT_FALSE(Only(show.frames[frame], FTagCode::DoAction).empty()) << frame;
        const auto gotos = Gotos(show.frames[frame]);
        EXPECT_NE(std::find(gotos.begin(), gotos.end(), std::pair<uint16_t, uint16_t>{kHome, 0}), gotos.end()) << frame;
        EXPECT_NE(std::find(gotos.begin(), gotos.end(), std::pair<uint16_t, uint16_t>{kEnd, 25}), gotos.end()) << frame;
        EXPECT_NE(std::find(gotos.begin(), gotos.end(), std::pair<uint16_t, uint16_t>{kClick, backTo}), gotos.end())
            << frame;
    }
    // The link's button: its click goes to page 2's own frame.
    const auto last = Gotos(show.frames[25]);
    EXPECT_EQ(std::count(last.begin(), last.end(), std::pair<uint16_t, uint16_t>{kClick, 12}), 1);
    // The transitions' frames hold no stop and no button.
    for (size_t f : {1u, 11u, 13u, 23u}) EXPECT_TRUE(Only(show.frames[f], FTagCode::DoAction).empty()) << f;
    EXPECT_EQ(Only(show.frames[27], FTagCode::DefineEditText).size(), 1u);
}

// The actions of a timer's last frame: stop itself, then play the main timeline.
const std::vector<uint8_t> kTimerGoes = {0x07, 0x8B, 0x02, 0x00, '/', 0x00, 0x06, 0x8B, 0x01, 0x00, 0x00, 0x00};

struct Timer {
    size_t frame;  // where it is defined
    uint16_t id;
    int32_t waits;  // frames: its frame count less its last
};

std::vector<Timer> Timers(const Converted& show)
{
    std::vector<Timer> timers;
    for (size_t f = 0; f < show.frames.size(); ++f) {
        for (const Tag& tag : Only(show.frames[f], FTagCode::DefineSprite)) {
            const Sprite sprite = swftest::ReadSprite(tag);
            const std::vector<Tag> go = Only(sprite.Frames().back(), FTagCode::DoAction);
            if (go.size() == 1 && go[0].body == kTimerGoes) timers.push_back({f, sprite.id, sprite.frameCount - 1});
        }
    }
    return timers;
}

std::vector<int32_t> TimerWaits(const Converted& show)
{
    std::vector<int32_t> waits;
    for (const Timer& timer : Timers(show)) waits.push_back(timer.waits);
    return waits;
}

TEST(PDFTimings, ATimedPageStopsWithATimerThatPlaysOnAndTheNextFrameTakesOff)
{
    const Scratch folder = Folder("timed");
    const Converted show = Convert(folder, {Page(""), Page("/Dur 2"), Page("/Dur 2"), Page("/Dur 0.5")});
    // No transition: 12 frames a second and a frame a page.
    EXPECT_EQ(show.movie.frameRate, 12u);
    ASSERT_EQ(show.frames.size(), 6u);
    // One timer for the two pages of two seconds.
    const std::vector<Timer> timers = Timers(show);
    ASSERT_EQ(timers.size(), 2u);
    EXPECT_EQ(timers[0].frame, 1u);
    EXPECT_EQ(timers[0].waits, 24);
    EXPECT_EQ(timers[1].frame, 3u);
    EXPECT_EQ(timers[1].waits, 6);
    for (size_t f : {1u, 2u, 3u}) {
        const uint16_t timer = f < 3 ? timers[0].id : timers[1].id;
        // One Stop, whatever the stop table says, and the timer placed.
        EXPECT_EQ(Only(show.frames[f], FTagCode::DoAction).size(), 1u) << f;
        const std::vector<Placement> places = PlacementsOf(show.frames[f]);
        EXPECT_TRUE(std::any_of(places.begin(), places.end(), [&](const Placement& place) {
            return place.character == timer;
        })) << f;
        // Off in the next frame, the empty frame after the last page too.
        const std::vector<Tag> removed = Only(show.frames[f + 1], FTagCode::RemoveObject);
        ASSERT_FALSE(removed.empty()) << f;
        EXPECT_EQ(swftest::Word(removed[0], 0), timer) << f;
    }
    EXPECT_TRUE(Only(show.frames[0], FTagCode::DoAction).size() == 1);
    EXPECT_EQ(show.run.err, "corvanex: pages: 4 vector, 0 partly raster, 0 raster\n"
                            "corvanex: carried from the PDF: 3 timed pages\n");

    // Named in a stop file, a page waits for its click instead.
    folder.Write("named.stp", "0\n1\n");
    EXPECT_EQ(TimerWaits(Convert(folder, {Page(""), Page("/Dur 2"), Page("/Dur 1")}, {"--stops", "named.stp"})),
              (std::vector<int32_t>{12}));
    // With transitions the wait is counted at 24 frames a second.
    EXPECT_EQ(TimerWaits(Convert(folder, {Page(""), Page("/Dur 2 /Trans << /S /Fade >>")})), (std::vector<int32_t>{48}));
    EXPECT_TRUE(TimerWaits(Convert(folder, {Page(""), Page("/Dur 2")}, {"--no-timings"})).empty());
}

TEST(PDFTimings, ANarratedTimedPageWaitsForTheLongerOfItsDurationAndItsNarration)
{
    const Scratch folder = Folder("timednarrated");
    std::filesystem::create_directories(folder / "voice");
    // Three seconds of silence at the narration rate.
    const auto wav = wavtest::PcmWav(1, 22050, 16, wavtest::Samples16(std::vector<int16_t>(3 * 22050, 0)));
    folder.Write("voice/v2.wav", std::string(wav.begin(), wav.end()));
    EXPECT_EQ(TimerWaits(Convert(folder, {Page(""), Page("/Dur 1"), Page("/Dur 5")}, {"--narration", "voice/v"})),
              (std::vector<int32_t>{36, 60}));
    // No stop point of the file, but it waits for its narration to end: not
    // one whose narration plays on into the next pages.
    folder.Write("first.stp", "0\n");
    const Converted show = Convert(folder, {Page(""), Page("/Dur 1"), Page("")}, {"--narration", "voice/v", "--stops", "first.stp"});
    EXPECT_EQ(TimerWaits(show), (std::vector<int32_t>{36}));
    EXPECT_EQ(show.run.err.find("narrated but not"), std::string::npos) << show.run.err;
    folder.Write("voice/v3.wav", std::string(wav.begin(), wav.end()));
    EXPECT_NE(Convert(folder, {Page(""), Page("/Dur 1"), Page(""), Page("")}, {"--narration", "voice/v", "--stops", "first.stp"})
                  .run.err.find("slide 3 is narrated but not a stop point"),
              std::string::npos);
}

TEST(PDFTransitions, WithoutTransitionsAndTimingsTheMovieIsThatOfTheSamePagesWithoutThem)
{
    const Scratch folder = Folder("without");
    const std::vector<handpdf::Page> plain = {Page(""), Page("", "0 1 0"), Page("", "1 0 0")};
    const std::vector<handpdf::Page> presented = {Page("/Dur 3"), Page("/Trans << /S /Wipe >> /Dur 2", "0 1 0"),
                                                  Page("/Trans << /S /Push /Di 270 /D 3 >>", "1 0 0")};
    for (const std::string form : {"", "--raster"}) {
        std::vector<std::string> options;
        if (!form.empty()) options.push_back(form);
        Convert(folder, plain, options);
        const std::vector<uint8_t> expected = swftest::ReadFile((folder / "deck.swf").string());
        options.insert(options.end(), {"--no-transitions", "--no-timings"});
        const Converted show = Convert(folder, presented, options);
        EXPECT_EQ(swftest::ReadFile((folder / "deck.swf").string()), expected) << form;
        // Nothing was carried, so nothing is said of it.
        EXPECT_EQ(show.run.err.find("carried"), std::string::npos) << show.run.err;
    }
}

TEST(PDFTransitions, WhatAFileAsksIsBoundedAndWhatIsNoTransitionShowsThePageAtOnce)
{
    const Scratch folder = Folder("hostile");
    const struct {
        std::string entries;
        size_t frames;     // of the movie
        uint32_t rate;     // a second
        int32_t timerWaits;  // -1: none
    } cases[] = {
        {"/Trans << /S /Fade /D 1000000000 >>", 1 + 240 + 2, 24, -1},  // ten seconds at most
        {"/Trans << /S /Fade /D -5 >>", 1 + 24 + 2, 24, -1},           // not a length: the default
        {"/Trans << /S /Fade /D (long) >>", 1 + 24 + 2, 24, -1},
        {"/Trans << /S /Wipe /Di 1000000 >>", 1 + 24 + 2, 24, -1},
        {"/Trans << /S /Fade /D 0 >>", 4, 12, -1},
        {"/Trans << /S /Fade /D 0.0000001 >>", 4, 12, -1},
        {"/Trans << /S /Bogus >>", 4, 12, -1},
        {"/Trans << /S 7 >>", 4, 12, -1},
        {"/Trans 5", 4, 12, -1},
        {"/Trans [/S /Fade]", 4, 12, -1},
        {"/Trans << >>", 4, 12, -1},
        {"/Dur -3", 4, 12, -1},
        {"/Dur (3)", 4, 12, -1},
        {"/Dur 0", 4, 12, 1},                                         // on after a frame
        {"/Dur 1000000000000000000000000000000", 4, 12, 600 * 12},   // ten minutes at most
    };
    for (const auto& [entries, frames, rate, timerWaits] : cases) {
        const Converted show = Convert(folder, {Page(""), Page(entries)});
        EXPECT_EQ(show.frames.size(), frames) << entries;
        EXPECT_EQ(show.movie.frameRate, rate) << entries;
        EXPECT_EQ(TimerWaits(show), timerWaits < 0 ? std::vector<int32_t>{} : std::vector<int32_t>{timerWaits})
            << entries;
    }
    EXPECT_EQ(BoundedSeconds(std::nan(""), 10, 1), 1);
    EXPECT_EQ(BoundedSeconds(-HUGE_VAL, 10, 1), 1);
    EXPECT_EQ(BoundedSeconds(HUGE_VAL, 10, 1), 1);
    EXPECT_EQ(BoundedSeconds(1e30, 10, 1), 10);
    EXPECT_EQ(BoundedSeconds(2.5, 10, 1), 2.5);
}

TEST(PDFTransitions, TransitionsThatWouldPassTheMoviesFramesAreLeftOutWithALine)
{
    const Scratch folder = Folder("toomany");
    // 280 transitions of ten seconds: 239 frames each, more than 65535 in all.
    std::vector<handpdf::Page> pages(281, Page("/Trans << /S /Fade /D 10 >>"));
    const Converted show = Convert(folder, pages, {"--raster", "--size", "80x45"});
    EXPECT_EQ(show.movie.frameRate, 12u);
    EXPECT_EQ(show.frames.size(), 281u + 2);
    EXPECT_EQ(show.run.err, "corvanex: the PDF 'deck.pdf': its transitions are left out: with them the movie would "
                            "have more than 65535 frames\n");
}

TEST(PDFTransitions, TheLineOfWhatWasCarriedCountsKindsMostFirst)
{
    const Scratch folder = Folder("carried");
    const Converted show = Convert(
        folder,
        {Page("/Trans << /S /Wipe >>"), Page("/Trans << /S /Fade >>"), Page("/Trans << /S /Glitter /Di 315 >>"),
         Page("/Trans << /S /Wipe /Di 270 >> /Dur 4"),
         Page("/Trans << /S /Fade >> /Annots [" + std::to_string(handpdf::FirstExtraObject(5)) + " 0 R]")},
        {"--raster"}, {"<< /Type /Annot /Subtype /Link /Rect [100 100 300 300] /Dest [3 0 R /Fit] >>"});
    // The first page's transition has no page before it.
    EXPECT_EQ(show.run.err,
              "corvanex: carried from the PDF: 4 transitions (2 fade, 1 glitter as dissolve, 1 wipe), 1 timed page, "
              "1 link\n");
}

}  // namespace

#endif
