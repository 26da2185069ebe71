// The converter as a process: what it writes, what it refuses, and that a
// failed run leaves no output behind.

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
    EXPECT_EQ(movie.tags.back().code, 0u);
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

TEST(Converter, MissingInputFilesAreNamed)
{
    struct Case {
        const char* missing;
        const char* message;
    };
    for (const Case& c : {Case{"deck.stp", "cannot open the stop-point file 'deck.stp'"},
                          Case{"config.txt", "cannot open the configuration file 'config.txt'"},
                          Case{"forward.jpg", "cannot open the forward button image 'forward.jpg'"},
                          Case{"backward.jpg", "cannot open the backward button image 'backward.jpg'"},
                          Case{"deck2.jpg", "cannot open the slide image 'deck2.jpg'"}}) {
        Scratch deck("missing");
        deck.MakeDeck("deck", 3);
        fs::remove(deck / c.missing);
        const swftest::RunResult run = deck.Convert({"deck", "3", "out.swf"});
        EXPECT_EQ(run.status, 1) << c.missing;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(deck / "out.swf")) << c.missing;
    }
}

TEST(Converter, AMissingStopFileSaysWhatAnEmptyOneDoes)
{
    Scratch deck("nostops");
    deck.MakeDeck("deck", 1);
    fs::remove(deck / "deck.stp");
    EXPECT_NE(deck.Convert({"deck", "1", "out.swf"}).err.find("an empty file gives a show without stop points"),
              std::string::npos);
    deck.Write("deck.stp", "");
    EXPECT_EQ(deck.Convert({"deck", "1", "out.swf"}).status, 0);
}

TEST(Converter, BadSlideCountsAreRefused)
{
    Scratch deck("counts");
    deck.MakeDeck("deck", 1);
    for (const char* count : {"ten", "3x", "-1", "", " 1", "65534", "99999999999"}) {
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

TEST(Converter, UnwritableOutputLeavesTheOldFileUnchanged)
{
    Scratch deck("unwritable");
    deck.MakeDeck("deck", 1);
    swftest::RunResult run = deck.Convert({"deck", "1", "no-such-folder/out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write 'no-such-folder/out.swf'"), std::string::npos) << run.err;

    fs::create_directory(deck / "folder.swf");
    run = deck.Convert({"deck", "1", "folder.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write 'folder.swf'"), std::string::npos) << run.err;

    const std::string precious = swftest::TinyMovie();
    deck.Write("out.swf", precious);
    fs::remove(deck / "deck1.jpg");
    run = deck.Convert({"deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), precious);

    // A write that fails part-way (file-size limit) leaves no partial file either.
    deck.MakeDeck("deck", 1);
    run = deck.Run(CORVANEX_BINARY,
                   {"--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg", "deck",
                    "1", "out.swf"},
                   "ulimit -f 0; ");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), precious);
    for (const auto& entry : fs::directory_iterator(deck.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".corvanex-"), std::string::npos);
}

TEST(Converter, EmptyAndForeignImagesAreRefusedBeforeWriting)
{
    Scratch deck("images");
    deck.MakeDeck("deck", 2);
    deck.Write("deck2.jpg", "");
    swftest::RunResult run = deck.Convert({"deck", "2", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the slide image 'deck2.jpg' is empty"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(deck / "out.swf"));

    deck.Write("deck2.jpg", "GIF89a");
    run = deck.Convert({"deck", "2", "out.swf"});
    EXPECT_NE(run.err.find("the slide image 'deck2.jpg' is not a JPEG image"), std::string::npos) << run.err;

    deck.MakeDeck("deck", 2);
    deck.Write("forward.jpg", "not a jpeg");
    run = deck.Convert({"deck", "2", "out.swf"});
    EXPECT_NE(run.err.find("the forward button image 'forward.jpg' is not a JPEG image"), std::string::npos);

    deck.MakeDeck("deck", 2);
    fs::remove(deck / "deck1.jpg");
    fs::create_directory(deck / "deck1.jpg");
    run = deck.Convert({"deck", "2", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("'deck1.jpg': it is a directory"), std::string::npos) << run.err;
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
