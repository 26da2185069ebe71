#include "hf/hfmovie.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
