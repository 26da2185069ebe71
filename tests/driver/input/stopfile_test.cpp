// Stop files through the real binary: entries that are no 16-bit frame number,
// entries written with signs and leading zeros, and how the last slide ends
// the show (--stop-last).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/button_records.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"

namespace {

using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

const std::vector<uint8_t> kStop{0x07, 0x00};
const std::vector<uint8_t> kPlay{0x06, 0x00};

std::vector<Tag> Only(const std::vector<Tag>& frame, FTagCode code)
{
    std::vector<Tag> tags;
    std::copy_if(frame.begin(), frame.end(), std::back_inserter(tags), [&](const Tag& tag) { return tag.code == code; });
    return tags;
}

// Per slide frame: how many Stop actions it has and where its backward buttons go.
struct FrameStops {
    int stops = 0;
    std::vector<int> backward;
    bool operator==(const FrameStops&) const = default;
};

void PrintTo(const FrameStops& frame, std::ostream* out)
{
    *out << "{" << frame.stops << " stops, back to";
    for (int target : frame.backward) *out << " " << target;
    *out << "}";
}

std::vector<FrameStops> SlideStops(const std::vector<std::vector<Tag>>& frames, size_t slides)
{
    std::vector<FrameStops> all;
    for (size_t f = 0; f < slides; ++f) {
        FrameStops these;
        for (const Tag& action : Only(frames[f], FTagCode::DoAction)) {
            EXPECT_EQ(action.body, kStop) << "frame " << f;
            ++these.stops;
        }
        const std::vector<Tag> buttons = Only(frames[f], FTagCode::DefineButton2);
        for (size_t b = 1; b < buttons.size(); ++b) {  // [0]: forward
            const std::vector<uint8_t> click = swftest::ButtonConditions(buttons[b]).at(0).actions;
            EXPECT_EQ(click.at(0), 0x81) << "frame " << f;  // GotoFrame
            these.backward.push_back(click.at(3) | click.at(4) << 8);
        }
        all.push_back(these);
    }
    return all;
}

struct Converted {
    RunResult run;
    std::vector<std::vector<Tag>> frames;
    std::string bytes;
};

Converted Convert(const Scratch& deck, int slides, std::vector<std::string> options = {})
{
    Converted converted;
    options.insert(options.end(), {"deck", std::to_string(slides), "out.swf"});
    converted.run = deck.Convert(options);
    EXPECT_EQ(converted.run.status, 0) << converted.run.err;
    converted.frames = swftest::Frames(swftest::ParseFile((deck / "out.swf").string()));
    converted.bytes = swftest::Slurp(deck / "out.swf");
    return converted;
}

struct OutOfRange {
    const char* name;
    const char* stops;
    int slides;
    std::vector<FrameStops> frames;
    const char* warning;  // the line on standard error, empty for none
};

void PrintTo(const OutOfRange& row, std::ostream* out) { *out << row.name; }

class StopFileOutOfRange : public ::testing::TestWithParam<OutOfRange> {};

// A return frame outside 0 to 65535 goes where its low 16 bits say, as the
// converter always wrote it, with one line naming the file and the entries;
// an entry outside the range that only names a stop frame names none.
TEST_P(StopFileOutOfRange, ReturnFramesTakeTheirLow16BitsWithOneWarning)
{
    const OutOfRange& row = GetParam();
    Scratch deck(std::string("stops-") + row.name);
    deck.MakeDeck("deck", row.slides, row.stops, "40\n30\n");
    const Converted show = Convert(deck, row.slides);
    EXPECT_EQ(SlideStops(show.frames, static_cast<size_t>(row.slides)), row.frames);
    EXPECT_EQ(show.run.err, row.warning);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StopFileOutOfRange,
    ::testing::Values(
        // Entries -1, 1, 70000, 3, -1, 0: frame 1 returns to -1, frame 3 to 70000,
        // frame 0 (the final 0) to the start; the second -1 stops nothing.
        OutOfRange{"NegativeAndAbove16Bits", "-1\n1\n70000\n3\n-1\n", 5,
                   {{1, {0}}, {1, {65535}}, {0, {}}, {1, {4464}}, {0, {}}},
                   "corvanex: in the stop-point file 'deck.stp', the return frames -1 and 70000 are outside 0 to "
                   "65535; backward buttons go to their low 16 bits (65535 and 4464)\n"},
        // A line is cut at six characters: 1234567 gives 123456, then 7, the
        // last slide's frame, which returns to 123456.
        OutOfRange{"SevenDigitLine", "1234567\n", 8,
                   {{1, {0}}, {}, {}, {}, {}, {}, {}, {0, {57920}}},
                   "corvanex: in the stop-point file 'deck.stp', the return frame 123456 is outside 0 to 65535; "
                   "backward buttons go to their low 16 bits (57920)\n"},
        // Entries -5, 1, -5, 2, -9, 0, 0: two frames returning to -5 name it
        // once; the first frame's button returns to the start, not to the
        // entry before it (-9).
        OutOfRange{"SameValueTwiceAndTheFirstFrame", "-5\n1\n-5\n2\n-9\n0\n", 3,
                   {{2, {0}}, {1, {65531}}, {0, {65531}}},
                   "corvanex: in the stop-point file 'deck.stp', the return frame -5 is outside 0 to 65535; "
                   "backward buttons go to their low 16 bits (65531)\n"},
        // Entries outside the range in stop positions only: no frame matches them.
        OutOfRange{"OnlyAsStopFrames", "0\n-1\n99999\n", 3, {{1, {0}}, {0, {}}, {0, {}}}, ""}),
    [](const ::testing::TestParamInfo<OutOfRange>& info) { return std::string(info.param.name); });

// The atoi rule reads a sign and leading zeros; -0 is 0. Such a file gives the
// movie of its plain numbers, without a warning.
TEST(StopFile, SignedAndZeroPaddedEntriesGiveThePlainNumbersMovie)
{
    Scratch deck("stops-signed");
    deck.MakeDeck("deck", 8, "007\n+3\n-0\n+07\n", "40\n30\n");
    const Converted signedShow = Convert(deck, 8);
    EXPECT_EQ(signedShow.run.err, "");
    // Entries 7, 3, 0, 7, 0: frame 3 returns to 7, frame 0 (named twice) to
    // the start, the last slide (named by the entry 7) to 0.
    EXPECT_EQ(SlideStops(signedShow.frames, 8),
              (std::vector<FrameStops>{{2, {0, 0}}, {}, {}, {1, {7}}, {}, {}, {}, {0, {0}}}));
    deck.Write("deck.stp", "7\n3\n0\n7\n");
    EXPECT_EQ(Convert(deck, 8).bytes, signedShow.bytes);
}

// The tags of a frame but its actions, as code and body.
std::vector<std::pair<FTagCode, std::vector<uint8_t>>> AllButActions(const std::vector<Tag>& frame)
{
    std::vector<std::pair<FTagCode, std::vector<uint8_t>>> tags;
    for (const Tag& tag : frame)
        if (tag.code != FTagCode::DoAction) tags.emplace_back(tag.code, tag.body);
    return tags;
}

// --stop-last: the last slide gets a Stop whether or not the file names it
// (one for each entry that does), its forward button still plays on to the
// closing notice, and nothing else in the movie changes.
TEST(StopFile, StopLastMakesTheLastSlideWait)
{
    for (const std::string stops : {"0\n1\n", "0\n3\n", "0\n3\n3\n"}) {
        SCOPED_TRACE("stops " + stops);
        Scratch deck("stops-last");
        deck.MakeDeck("deck", 4, stops, "40\n30\n");
        const Converted plain = Convert(deck, 4);
        const Converted waiting = Convert(deck, 4, {"--stop-last"});
        EXPECT_EQ(waiting.run.err, "");
        ASSERT_EQ(waiting.frames.size(), 6u);  // four slides, the empty frame, the closing notice
        for (size_t f = 0; f < 6; ++f) {
            EXPECT_EQ(AllButActions(waiting.frames[f]), AllButActions(plain.frames[f])) << "frame " << f;
            if (f != 3) {
                EXPECT_EQ(waiting.frames[f].size(), plain.frames[f].size()) << "frame " << f;
            }
        }
        const FrameStops last = SlideStops(waiting.frames, 4)[3];
        EXPECT_EQ(SlideStops(plain.frames, 4)[3].stops, 0);
        EXPECT_EQ(last.stops, std::max<int>(1, static_cast<int>(std::count(stops.begin(), stops.end(), '3'))));
        // Play from a Stop goes on: through the empty frame to the notice, which stops.
        const std::vector<Tag> buttons = Only(waiting.frames[3], FTagCode::DefineButton2);
        EXPECT_EQ(swftest::ButtonConditions(buttons.at(0)), (std::vector<swftest::ButtonCondition>{{0x0008, kPlay}}));
        EXPECT_EQ(Only(waiting.frames[5], FTagCode::DoAction).at(0).body, kStop);
        EXPECT_EQ(waiting.bytes.size(), plain.bytes.size() + 4 * static_cast<size_t>(last.stops));  // header, 07, 00
    }
}

}  // namespace
