// A deck too large for one movie is refused at the slide that takes it past
// the limit (a small one injected here), naming that slide.

#include "driver/compose/movielength.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "driver/compose/showcomposer.h"
#include "driver/forms/imageform.h"
#include "support/converter_run.h"
#include "support/deck_request.h"
#include "support/png_file.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;

// The length of the movie up to and including the end of each frame, as
// the tags' own headers give it.
std::vector<uint64_t> FrameEnds(const std::vector<uint8_t>& movie)
{
    const unsigned bits = movie.at(8) >> 3;
    size_t at = 8 + (5 + 4 * bits + 7) / 8 + 4;
    std::vector<uint64_t> ends;
    while (at + 2 <= movie.size()) {
        const unsigned codeAndLength = movie[at] | movie[at + 1] << 8;
        at += 2;
        uint64_t length = codeAndLength & 0x3F;
        if (length == 0x3F) {
            length = movie[at] | movie[at + 1] << 8 | movie[at + 2] << 16 | uint64_t{movie[at + 3]} << 24;
            at += 4;
        }
        at += length;
        if ((codeAndLength >> 6) == static_cast<unsigned>(FTagCode::ShowFrame)) ends.push_back(at);
    }
    return ends;
}

SlideShowRequest Request(const Scratch& deck, uint64_t limit)
{
    SlideShowRequest request = swftest::DeckRequest(deck, 4);
    request.movieLengthLimit = limit;
    return request;
}

std::string Refusal(const SlideShowRequest& request)
{
    try {
        GenerateSlideMovie(request);
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        FResetCharacterID();  // the refused movie is never written
        return error.what();
    }
    return "";
}

// At either size of header: a frame 1920 pixels wide needs fields wider than 15 bits.
TEST(MovieLength, AJPEGDeckIsRefusedAtTheSlideThatCrossesTheLimit)
{
    for (const std::string config : {"640\n480\n", "1920\n1080\n"}) {
        SCOPED_TRACE(config);
        Scratch deck("length");
        deck.MakeDeck("deck", 4, "0\n", config);
        for (int n = 1; n <= 4; ++n) deck.Write("deck" + std::to_string(n) + ".jpg", swftest::TinyJPEG('s', 1000 * n));
        GenerateSlideMovie(Request(deck, kLargestMovie));
        const std::vector<uint8_t> whole = swftest::ReadFile((deck / "out.swf").string());
        const std::vector<uint64_t> ends = FrameEnds(whole);
        ASSERT_EQ(ends.size(), 6u);  // four slides, the frame after them, the closing frame
        const uint64_t endTag = 2;
        ASSERT_EQ(ends.back() + endTag, whole.size());

        // Exactly the movie's length fits, and gives the same movie.
        deck.Write("out.swf", swftest::TinyMovie());
        EXPECT_EQ(Refusal(Request(deck, whole.size())), "");
        EXPECT_EQ(swftest::ReadFile((deck / "out.swf").string()), whole);

        // A byte less: the closing frames cross it.
        deck.Write("out.swf", swftest::TinyMovie());
        EXPECT_EQ(Refusal(Request(deck, whole.size() - 1)),
                  "the closing frame takes the movie past " + std::to_string(whole.size() - 1) +
                      " bytes, the most a SWF header can give (the 4 slides before it come to " +
                      std::to_string(ends[3] + endTag) + " bytes)");
        // Room for three slides: the fourth is named, and the old movie stays.
        const uint64_t three = ends[2] + endTag;
        EXPECT_EQ(Refusal(Request(deck, three)),
                  "slide 4, the slide image '" + (deck / "deck4.jpg").string() + "', takes the movie past " +
                      std::to_string(three) + " bytes, the most a SWF header can give (the 3 slides before it come to " +
                      std::to_string(three) + " bytes)");
        EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
    }
}

TEST(MovieLength, APNGDeckIsRefusedAsItsSlidesAreCompressed)
{
    Scratch deck("length-png");
    deck.MakeDeck("unused", 0, "0\n", "64\n48\n");
    // Backward buttons from slide 2 on: their shared face is defined in the
    // second frame and counted there.
    deck.Write("deck.stp", "0\n0\n1\n2\n3");
    for (int n = 1; n <= 4; ++n)
        deck.Write("deck" + std::to_string(n) + ".png", swftest::PNGBytes(swftest::Opaque(64, 48, 300 + n)));
    GenerateSlideMovie(Request(deck, kLargestMovie));
    const std::vector<uint8_t> whole = swftest::ReadFile((deck / "out.swf").string());
    const uint64_t one = FrameEnds(whole).at(0) + 2;
    fs::remove(deck / "out.swf");
    EXPECT_EQ(Refusal(Request(deck, whole.size())), "");
    EXPECT_EQ(swftest::ReadFile((deck / "out.swf").string()), whole);
    EXPECT_NE(Refusal(Request(deck, whole.size() - 1)).find("the closing frame takes the movie past"), std::string::npos);
    fs::remove(deck / "out.swf");
    std::vector<int32_t> read;
    SlideShowRequest request = Request(deck, one);
    request.onSlideRead = [&](int32_t n, uint64_t) { read.push_back(n); };
    EXPECT_EQ(Refusal(request), "slide 2, the slide image '" + (deck / "deck2.png").string() + "', takes the movie past " +
                                    std::to_string(one) + " bytes, the most a SWF header can give (the 1 slides before it come to " +
                                    std::to_string(one) + " bytes)");
    EXPECT_EQ(read, std::vector<int32_t>{1}) << "refused before the slides after it are composed";
    EXPECT_FALSE(fs::exists(deck / "out.swf"));
}

TEST(MovieLength, AMadeShowNamesItsSlidesAsTheCallerDoes)
{
    Scratch deck("length-made");
    deck.MakeDeck("deck", 0);
    MadeShowRequest made;
    made.outputFile = (deck / "out.swf").string();
    made.forwardFile = (deck / "forward.jpg").string();
    made.backwardFile = (deck / "backward.jpg").string();
    made.stopTable = {0};
    made.area = SlideSize{640, 480};
    made.slideCount = 3;
    made.describeSlide = [](int32_t n) { return "page " + std::to_string(n) + " of the PDF 'talk.pdf'"; };
    made.movieLengthLimit = 12000;
    MadeShowComposer composer(std::move(made));
    const auto page = [](char fill) {
        const std::string bytes = swftest::TinyJPEG(fill, 4000);
        MadeSlide slide;
        slide.size = SlideSize{640, 480};
        slide.image = std::vector<uint8_t>(bytes.begin(), bytes.end());
        return slide;
    };
    composer.Add(page('a'));
    composer.Add(page('b'));
    try {
        composer.Add(page('c'));
        FAIL() << "the third page fits";
    } catch (const ConverterError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("page 3 of the PDF 'talk.pdf' takes the movie past 12000 bytes", 0), 0u)
            << error.what();
    }
    FResetCharacterID();
}

}  // namespace
