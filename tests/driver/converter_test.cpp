// The converter as a process: what it writes and its command line. Bad input
// files and faults are rows of the robustness table.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/wavbuilder.h"
#include "support/button_records.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"

#ifdef CORVANEX_PDF
#include "support/terminal_run.h"
#include "tests/support/pdfmaker.h"
#endif

namespace {

namespace fs = std::filesystem;
using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

// How many tags of `code` each frame holds, the closing pair left out.
std::vector<size_t> CountPerSlide(const fs::path& movie, FTagCode code)
{
    std::vector<std::vector<Tag>> frames = swftest::Frames(swftest::ParseFile(movie.string()));
    frames.resize(frames.size() - 2);
    std::vector<size_t> counts;
    for (const std::vector<Tag>& frame : frames)
        counts.push_back(static_cast<size_t>(
            std::count_if(frame.begin(), frame.end(), [code](const Tag& tag) { return tag.code == code; })));
    return counts;
}

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

TEST(Converter, AnImageDeckWithoutAStopFileStopsOnEverySlideButTheLast)
{
    // pdftoppm's names: talk-1.jpg ... with neither talk-.stp nor talk.stp.
    Scratch deck("nostops");
    deck.MakeDeck("talk-", 3);
    fs::remove(deck / "talk-.stp");
    deck.Write("every.stp", "0\n0\n1\n2");  // the table the converter makes, as a file
    RunResult run = deck.Convert({"talk-", "3", "made.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "corvanex: no stop-point file 'talk-.stp' or 'talk.stp': the show stops on every slide but "
                       "the last, which plays on to the closing notice (--stop-last makes it wait)\n");
    ASSERT_EQ(deck.Convert({"--stops", "every.stp", "talk-", "3", "file.swf"}).status, 0);
    EXPECT_EQ(swftest::Slurp(deck / "made.swf"), swftest::Slurp(deck / "file.swf"));
    EXPECT_EQ(CountPerSlide(deck / "made.swf", FTagCode::DoAction), (std::vector<size_t>{1, 1, 0}));

    // --stop-last: the last waits too; the line says every slide.
    run = deck.Convert({"--stop-last", "talk-", "3", "made.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "corvanex: no stop-point file 'talk-.stp' or 'talk.stp': the show stops on every slide\n");
    ASSERT_EQ(deck.Convert({"--stop-last", "--stops", "every.stp", "talk-", "3", "file.swf"}).status, 0);
    EXPECT_EQ(swftest::Slurp(deck / "made.swf"), swftest::Slurp(deck / "file.swf"));

    // A stop file that is there is read, with no line; one named by --stops must be there.
    deck.Write("talk.stp", "0\n2\n");
    run = deck.Convert({"talk-", "3", "out.swf"});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(CountPerSlide(deck / "out.swf", FTagCode::DoAction), (std::vector<size_t>{1, 0, 0}));
    run = deck.Convert({"--stops", "none.stp", "talk-", "3", "none.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("corvanex: cannot open the stop-point file 'none.stp': No such file or directory", 0), 0u)
        << run.err;
    EXPECT_FALSE(fs::exists(deck / "none.swf"));
}

TEST(Converter, APrefixThatIsAFolderNamesTheFirstSlideFileInIt)
{
    Scratch deck("folderprefix");
    deck.MakeDeck("unused", 0);
    fs::create_directories(deck / "slides");
    fs::create_directories(deck / "empty");
    // The lowest number, not the first name: b2 before a10.
    for (const char* name : {"a10.jpg", "b2.jpg", "notes.txt", "title.jpg"}) deck.Write(std::string("slides/") + name, "");
    deck.Write("empty/readme.txt", "");

    const std::pair<std::string, std::string> cases[] = {
        {"slides", "cannot open the slide image 'slides1.jpg': the image prefix 'slides' is a folder; its first slide "
                   "file is 'slides/b2.jpg', so the prefix may be 'slides/b'"},
        {"slides/", "cannot open the slide image 'slides/1.jpg': the image prefix 'slides/' is a folder; its first "
                    "slide file is 'slides/b2.jpg', so the prefix may be 'slides/b'"},
        {"empty", "cannot open the slide image 'empty1.jpg': the image prefix 'empty' is a folder with no slide file "
                  "in it (a name ending in a number and .jpg, .jpeg, .JPG, .JPEG, .png or .PNG)"},
    };
    for (const auto& [prefix, message] : cases) {
        const RunResult run = deck.Convert({"--stops", "unused.stp", prefix, "2", "out.swf"});
        EXPECT_EQ(run.status, 1) << prefix;
        EXPECT_EQ(run.err, "corvanex: " + message + "\n");
        EXPECT_FALSE(fs::exists(deck / "out.swf"));
    }
    // A folder whose name also starts a deck is no slip: the deck is read.
    fs::create_directories(deck / "talk");
    deck.Write("talk1.jpg", swftest::TinyJPEG());
    EXPECT_EQ(deck.Convert({"--stops", "unused.stp", "talk", "1", "out.swf"}).status, 0);
}

TEST(Converter, AMovieNamedBeforeThePDFIsRefusedSayingWhichComesFirst)
{
    Scratch deck("swapped");
    deck.MakeDeck("unused", 0);
    deck.Write("out.swf", swftest::TinyMovie());
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"out.swf", "deck.pdf"},
                                                      std::vector<std::string>{"--keys", "out.swf", "Deck.PDF"}}) {
        const RunResult run = deck.Run(CORVANEX_BINARY, arguments);
        const std::string& pdf = arguments.back();
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "corvanex: the first of two arguments must be the PDF: 'corvanex " + pdf +
                               " out.swf', not 'out.swf " + pdf + "'\nusage: corvanex [options] <image-prefix> "
                               "<slide-count> <output-file>\n('corvanex --help' lists the options)\n");
        EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
    }
}

#ifdef CORVANEX_PDF

// Converts `pdf` in the deck's folder with its button images.
RunResult ConvertPDF(const Scratch& deck, std::vector<std::string> arguments)
{
    std::vector<std::string> all{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return deck.Convert(all, false);
}

TEST(Converter, APDFDeckIsNarratedPageByPage)
{
    Scratch deck("pdfvoice");
    deck.MakeDeck("unused", 0);
    pdfmaker::DeckOptions options;
    options.pages = 3;
    deck.Write("talk.pdf", pdfmaker::MakeDeck(options));
    fs::create_directories(deck / "voice");
    const wavtest::Bytes wav = wavtest::PcmWav(1, 22050, 16, wavtest::Samples16(std::vector<int16_t>(2205, 1000)));
    for (const char* name : {"voice/page01.wav", "voice/page03.wav"}) deck.Write(name, std::string(wav.begin(), wav.end()));

    RunResult run = ConvertPDF(deck, {"--narration", "voice/page", "talk.pdf", "talk.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Every page is a stop point: no narration plays on.
    EXPECT_EQ(run.err, "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica': it is drawn with "
                       "'TeXGyreHeros-Regular'\n"
                       "corvanex: the PDF 'talk.pdf' does not embed the font 'Helvetica-Bold': it is drawn with "
                       "'TeXGyreHeros-Bold'\n"
                       "corvanex: pages: 3 vector, 0 partly raster, 0 raster\n");
    EXPECT_NE(run.out.find("voice/page03.wav: Data Chunk\n"), std::string::npos) << run.out;
    EXPECT_EQ(CountPerSlide(deck / "talk.swf", FTagCode::DefineSound), (std::vector<size_t>{1, 0, 1}));
    EXPECT_EQ(CountPerSlide(deck / "talk.swf", FTagCode::StartSound), (std::vector<size_t>{1, 0, 1}));
    // Every button silences the narration before it moves (the second frame's backward one here).
    const std::vector<Tag> frame = swftest::Frames(swftest::ParseFile((deck / "talk.swf").string()))[1];
    for (const Tag& tag : frame) {
        if (tag.code == FTagCode::DefineButton2) {
            EXPECT_EQ(swftest::ButtonConditions(tag).at(0).actions.at(0), 0x09);
        }
    }

    // The files follow the pages: one numbering a fourth page of three is refused.
    deck.Write("voice/page04.wav", std::string(wav.begin(), wav.end()));
    run = ConvertPDF(deck, {"--narration", "voice/page", "talk.pdf", "talk.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvanex: the narration file 'voice/page04.wav' numbers no page of the 3 pages\n");
    // A page that is not a stop point plays its narration on, and a line says so.
    fs::remove(deck / "voice/page04.wav");
    deck.Write("talk.stp", "0\n1");  // stops on page 2 only
    run = ConvertPDF(deck, {"--narration", "voice/page", "talk.pdf", "talk.swf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("slide 1 is narrated but not a stop point"), std::string::npos) << run.err;
}

TEST(Converter, APDFDeckShowsItsProgressOnATerminal)
{
    Scratch deck("pdfprogress");
    deck.MakeDeck("unused", 0);
    pdfmaker::DeckOptions options;
    options.pages = 11;
    deck.Write("talk.pdf", pdfmaker::MakeDeck(options));
    options.damagedPages = {5};
    deck.Write("damaged.pdf", pdfmaker::MakeDeck(options));
    options.pages = 10;
    options.damagedPages.clear();
    deck.Write("short.pdf", pdfmaker::MakeDeck(options));
    const std::vector<std::string> buttons{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    const auto withButtons = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), buttons.begin(), buttons.end());
        return arguments;
    };

    // The deck's standard fonts, not embedded, are named as its first page is drawn.
    const auto fontLines = [](const std::string& pdf) {
        return "corvanex: the PDF '" + pdf + "' does not embed the font 'Helvetica': it is drawn with " +
               "'TeXGyreHeros-Regular'\ncorvanex: the PDF '" + pdf +
               "' does not embed the font 'Helvetica-Bold': it is drawn with 'TeXGyreHeros-Bold'\n";
    };

    // Pages drawn as pictures count their pictures' bytes.
    RunResult run = swftest::RunWithTerminal(deck, withButtons({"--raster", "talk.pdf", "talk.swf"}));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.err.rfind(fontLines("talk.pdf"), 0), 0u) << run.err;
    run.err.erase(0, fontLines("talk.pdf").size());
    // The bytes are the pages' JPEGs: each slide's DefineBitsJPEG2 without its
    // ID, the empty tables before and the end marker after.
    uint64_t bytes = 0;
    const std::vector<std::vector<Tag>> frames = swftest::Frames(swftest::ParseFile((deck / "talk.swf").string()));
    for (size_t f = 0; f < 11; ++f) {
        const auto slide = std::find_if(frames[f].begin(), frames[f].end(),
                                        [](const Tag& tag) { return tag.code == FTagCode::DefineBitsJPEG2; });
        ASSERT_NE(slide, frames[f].end());
        bytes += slide->body.size() - 8;
    }
    EXPECT_EQ(run.err.rfind("\rcorvanex: rendered 1 of 11 pages, ", 0), 0u) << run.err;
    const std::string last = "\rcorvanex: rendered 11 of 11 pages, " + std::to_string(bytes) + " bytes\n";
    ASSERT_GE(run.err.size(), last.size());
    EXPECT_EQ(run.err.substr(run.err.size() - last.size()), last);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);

    // Ten pages: no line.
    run = swftest::RunWithTerminal(deck, withButtons({"--raster", "short.pdf", "short.swf"}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, fontLines("short.pdf"));

    // A warning while the line is shown ends it first; the line goes on below.
    run = swftest::RunWithTerminal(deck, withButtons({"--raster", "damaged.pdf", "damaged.swf"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(" bytes\ncorvanex: page 5 of the PDF 'damaged.pdf' is damaged ("), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("incomplete\n\rcorvanex: rendered "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - 6), "bytes\n");

    // Vector pages are counted as drawn, the summary line after the progress line.
    run = swftest::RunWithTerminal(deck, withButtons({"talk.pdf", "vector.swf"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind(fontLines("talk.pdf") + "\rcorvanex: drawn 1 of 11 pages, ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(" bytes\ncorvanex: pages: 11 vector, 0 partly raster, 0 raster\n"), std::string::npos)
        << run.err;
}

#endif

}  // namespace
