#include "hf/hfmovie.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "hf/hfshape.h"
#include "support/swf_reader.h"

namespace {

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + name;
}

swftest::Movie Written(HFMovie& movie, const std::string& name)
{
    testing::internal::CaptureStdout();  // the depth-sorting lines
    EXPECT_TRUE(movie.WriteMovie(TempPath(name)));
    testing::internal::GetCapturedStdout();
    return swftest::ParseFile(TempPath(name));
}

TEST(Movie, NewMovieHasNoFrames)
{
    HFMovie movie;
    const swftest::Movie file = Written(movie, "empty.swf");
    EXPECT_EQ(file.frameCount, 0u);
    ASSERT_EQ(file.tags.size(), 1u);  // End only
    EXPECT_EQ(file.xmax, 11000);      // the default size
    EXPECT_EQ(file.ymax, 8000);
    EXPECT_EQ(file.frameRate, 12u);
}

TEST(Movie, AskingForAFrameMakesEveryFrameBeforeIt)
{
    HFMovie movie;
    HFFrame* frame = movie.Frame(5);
    EXPECT_EQ(movie.FrameCount(), 6);
    // Frames come eight at a time beyond the one asked for: up to 12 exist already.
    EXPECT_EQ(movie.Frame(12), movie.Frame(12));
    EXPECT_EQ(movie.FrameCount(), 13);
    EXPECT_EQ(movie.Frame(5), frame);
    EXPECT_EQ(&frame->Movie(), &movie);
}

TEST(Movie, SixEmptyFrames)
{
    HFMovie movie;
    movie.Frame(5);
    const swftest::Movie file = Written(movie, "six.swf");
    EXPECT_EQ(file.frameCount, 6u);
    EXPECT_EQ(file.ShowFrames(), 6u);
    EXPECT_EQ(file.tags.size(), 7u);
}

TEST(Movie, WritingTwiceGivesAnEmptySecondMovie)
{
    HFMovie movie;
    movie.Frame(2);
    EXPECT_EQ(Written(movie, "first.swf").frameCount, 3u);
    EXPECT_EQ(movie.FrameCount(), 0);
    EXPECT_EQ(Written(movie, "second.swf").frameCount, 0u);
}

TEST(Movie, SizeAndFrameRateReachTheHeader)
{
    HFMovie movie;
    movie.Frame(2);
    movie.SetSize(12800, 10400);
    movie.SetFrameRate(24);
    const swftest::Movie file = Written(movie, "sized.swf");
    EXPECT_EQ(file.xmin, 0);
    EXPECT_EQ(file.xmax, 12800);
    EXPECT_EQ(file.ymin, 0);
    EXPECT_EQ(file.ymax, 10400);
    EXPECT_EQ(file.frameCount, 3u);
    EXPECT_EQ(file.frameRate, 24u);
}

TEST(Movie, TagsKeepTheirFrameAndOrder)
{
    const std::vector<uint8_t> tagA{0x00, 0x06};        // Protect
    const std::vector<uint8_t> tagB{0x02, 0x07, 0x00, 0x00};  // RemoveObject2 body 0
    HFMovie movie;
    movie.Frame(1)->Tags().push_back(std::make_unique<FTagRawData>(tagA.data(), 2));
    movie.Frame(1)->Tags().push_back(std::make_unique<FTagRawData>(tagB.data(), 4));
    const swftest::Movie file = Written(movie, "order.swf");
    EXPECT_TRUE(file.Frame(0).empty());
    ASSERT_EQ(file.Frame(1).size(), 2u);
    EXPECT_EQ(file.Frame(1)[0].code, FTagCode::Protect);
    EXPECT_EQ(file.Frame(1)[1].code, FTagCode::RemoveObject2);
}

TEST(Movie, FailedWriteIsReportedAndStillEmptiesTheMovie)
{
    HFMovie movie;
    movie.Frame(0);
    std::string error;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(movie.WriteMovie(TempPath("missing-folder/out.swf"), &error));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(movie.FrameCount(), 0);
}

// A frame index is never negative, and the header counts frames in 16 bits.
TEST(MovieDeathTest, FrameIndexOutsideTheHeadersCountStops)
{
    HFMovie movie;
    EXPECT_DEATH(movie.Frame(-1), "n >= 0");
    EXPECT_DEATH(movie.Frame(0xFFFF), "n < 0xFFFF \\(a movie holds at most 65535 frames\\)");
    movie.Frame(0xFFFE);
    EXPECT_EQ(movie.FrameCount(), 0xFFFF);
}

// The character-ID counter is the process's: writing movie A resets the IDs
// that movie B, built at the same time, goes on drawing, so B would define
// two characters under one ID. Writing B stops instead, and leaves no file.
TEST(MovieDeathTest, TwoMoviesBuiltSideBySideStop)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    FResetCharacterID();
    HFMovie a;
    HFMovie b;
    HFRectangle a1(0, 0, 20, 20), a2(0, 0, 20, 20), b1(0, 0, 20, 20), b2(0, 0, 20, 20), b3(0, 0, 20, 20);
    a.Frame(0)->AddObject(a1);  // ID 1
    a.Frame(0)->AddObject(a2);  // ID 2
    b.Frame(0)->AddObject(b1);  // ID 3
    Written(a, "side_a.swf");
    b.Frame(0)->AddObject(b2);  // ID 1 again
    b.Frame(0)->AddObject(b3);  // ID 2 again
    const std::string name = TempPath("side_b.swf");
    std::remove(name.c_str());
    EXPECT_DEATH(
        {
            testing::internal::CaptureStdout();
            b.WriteMovie(name);
        },
        "oldestIDEpoch >= FCharacterIDEpoch\\(\\) \\(one movie at a time");
    EXPECT_FALSE(std::ifstream(name).good());
}

}  // namespace
