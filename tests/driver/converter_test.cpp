// The converter as a process: what it writes and its command line. Bad input
// files and faults are rows of the robustness table.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/converter_run.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::Scratch;

TEST(Converter, WritesAMovieOfTheConfiguredSize)
{
    Scratch deck("valid");
    deck.MakeDeck("deck", 3, "0\n2\n");
    const swftest::RunResult run = deck.Convert({"deck", "3", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const swftest::Movie movie = swftest::ParseFile((deck / "out.swf").string());
    EXPECT_EQ(movie.version, 4u);
    EXPECT_EQ(movie.fileLength, fs::file_size(deck / "out.swf"));
    EXPECT_EQ(movie.xmax, 640 * 20);
    EXPECT_EQ(movie.ymax, 480 * 20 + 800);
    EXPECT_EQ(movie.frameRate, 12u);
    EXPECT_EQ(movie.frameCount, movie.ShowFrames());
    EXPECT_EQ(movie.tags.back().code, FTagCode::End);
}

TEST(Converter, FindsItsOwnFilesBesideTheBinary)
{
    // The build copies config.txt (640 x 480) and the button images beside the binary.
    Scratch deck("beside");
    deck.MakeDeck("deck", 1, "0\n", "100\n100\n");
    const swftest::RunResult run = deck.Convert({"deck", "1", "out.swf"}, false);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(swftest::ParseFile((deck / "out.swf").string()).xmax, 640 * 20);
}

TEST(Converter, LargeSlidesReadBackWithTheirSize)
{
    Scratch deck("hd");
    deck.MakeDeck("deck", 1, "0\n", "1920\n1080\n");
    ASSERT_EQ(deck.Convert({"deck", "1", "out.swf"}).status, 0);
    const swftest::Movie movie = swftest::ParseFile((deck / "out.swf").string());
    EXPECT_EQ(movie.xmax, 38400);
    EXPECT_EQ(movie.ymax, 22400);
}

TEST(Converter, BadSlideCountsAreRefused)
{
    Scratch deck("counts");
    deck.MakeDeck("deck", 1);
    // More bad counts are rows of the robustness table.
    for (const char* count : {"ten", "3x", "", " 1"}) {
        const swftest::RunResult run = deck.Convert({"deck", count, "out.swf"});
        EXPECT_EQ(run.status, 2) << count;
        EXPECT_NE(run.err.find(std::string("slide count '") + count + "'"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(deck / "out.swf")) << count;
    }
    EXPECT_EQ(deck.Convert({"deck", "0", "out.swf"}).status, 0);
    EXPECT_EQ(deck.Convert({"deck", "001", "out.swf"}).status, 0);
}

TEST(Converter, CommandLineHelpVersionAndUsage)
{
    Scratch deck("usage");
    swftest::RunResult run = deck.Run(CORVANEX_BINARY, {"deck", "3"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: corvanex"), std::string::npos);
    EXPECT_EQ(run.out, "");

    run = deck.Run(CORVANEX_BINARY, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: corvanex"), std::string::npos);
    for (const char* option : {"--config", "--forward", "--backward", "--help", "--version"})
        EXPECT_NE(run.out.find(option), std::string::npos) << option;

    run = deck.Run(CORVANEX_BINARY, {"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("corvanex ", 0), 0u);

    run = deck.Run(CORVANEX_BINARY, {"--frobnicate", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("unknown option '--frobnicate'"), std::string::npos);
}

TEST(Converter, SizesThatAreNotPositiveAreRefused)
{
    Scratch deck("config");
    deck.MakeDeck("deck", 1, "0\n", "640\n");  // the final line feed makes the height 0
    swftest::RunResult run = deck.Convert({"deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the configuration file 'config.txt' gives the slide height 0"), std::string::npos)
        << run.err;
    deck.Write("config.txt", "-3\n200");
    run = deck.Convert({"deck", "1", "out.swf"});
    EXPECT_NE(run.err.find("slide width -3"), std::string::npos) << run.err;
    deck.Write("config.txt", "640\r\n480\r\n");
    EXPECT_EQ(deck.Convert({"deck", "1", "out.swf"}).status, 0);
}

}  // namespace
