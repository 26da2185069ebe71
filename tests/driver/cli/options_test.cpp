// The converter's options, each through the real binary: what it changes in
// the movie or beside it, how a bad value is refused, and what --help and the
// manual page say about them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/converter_run.h"
#include "support/swf_reader.h"
#include "support/terminal_run.h"

namespace {

namespace fs = std::filesystem;
using swftest::RunResult;
using swftest::RunWithTerminal;
using swftest::Scratch;
using swftest::Tag;

const std::string kLibraryLines = "Depth sorting: complete\n";

// One condition record of a DefineButton2: its flags and action bytes (with
// the end byte).
struct Condition {
    uint16_t flags;
    std::vector<uint8_t> actions;
    bool operator==(const Condition&) const = default;
};

std::vector<Condition> Conditions(const Tag& button)
{
    std::vector<Condition> conditions;
    size_t at = 3 + swftest::Word(button, 3);  // the action offset counts from its own field
    for (;;) {
        const uint16_t size = swftest::Word(button, at);
        const size_t end = size == 0 ? button.body.size() : at + size;
        conditions.push_back({swftest::Word(button, at + 2),
                              std::vector<uint8_t>(button.body.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                                   button.body.begin() + static_cast<std::ptrdiff_t>(end))});
        if (size == 0) return conditions;
        at = end;
    }
}

std::vector<Tag> Buttons(const std::vector<Tag>& frame)
{
    std::vector<Tag> buttons;
    for (const Tag& tag : frame)
        if (tag.code == FTagCode::DefineButton2) buttons.push_back(tag);
    return buttons;
}

std::vector<uint8_t> GotoFrame(uint16_t frame)
{
    return {0x81, 0x02, 0x00, static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8), 0x00};
}
const std::vector<uint8_t> kPlay{0x06, 0x00};

uint16_t Key(uint16_t code)
{
    return static_cast<uint16_t>(code << 9);
}

swftest::Movie ConvertDeck(const Scratch& deck, const std::vector<std::string>& options, int slides = 5)
{
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"deck", std::to_string(slides), "out.swf"});
    const RunResult run = deck.Convert(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return swftest::ParseFile((deck / "out.swf").string());
}

TEST(Options, KeysGiveTheButtonsAKeyRecordEach)
{
    Scratch deck("keys");
    deck.MakeDeck("deck", 5, "0\n1\n3\n");  // stops on frames 0, 1 and 3
    const std::vector<std::vector<Tag>> frames = swftest::Frames(ConvertDeck(deck, {"--keys"}));

    // Click, Right, Page Down, Space; Home to the first slide, End to the last.
    const std::vector<Condition> forward{{0x0008, kPlay},         {Key(2), kPlay},         {Key(17), kPlay},
                                         {Key(32), kPlay},        {Key(3), GotoFrame(0)}, {Key(4), GotoFrame(4)}};
    for (int f = 0; f < 5; ++f) EXPECT_EQ(Conditions(Buttons(frames[f]).at(0)), forward) << "frame " << f;

    // Backward buttons: frame 0 back to 0, frame 1 to 0, frame 3 to 1 (click, Left, Page Up).
    const std::pair<int, uint16_t> backward[] = {{0, 0}, {1, 0}, {3, 1}};
    for (const auto& [f, target] : backward) {
        const std::vector<Tag> buttons = Buttons(frames[f]);
        ASSERT_EQ(buttons.size(), 2u) << "frame " << f;
        EXPECT_EQ(Conditions(buttons[1]),
                  (std::vector<Condition>{{0x0008, GotoFrame(target)}, {Key(1), GotoFrame(target)},
                                          {Key(16), GotoFrame(target)}}))
            << "frame " << f;
    }
}

TEST(Options, KeysTakeTheEarlierKeyBackwardButtonOffTheStage)
{
    Scratch deck("keysremove");
    deck.MakeDeck("deck", 5, "0\n1\n3\n");
    const std::vector<std::vector<Tag>> frames = swftest::Frames(ConvertDeck(deck, {"--keys"}));
    // Each frame that makes a backward button first removes the one before it,
    // by the character ID of that button.
    uint16_t previous = 0;
    for (int f = 0; f < 5; ++f) {
        std::vector<Tag> removals;
        for (const Tag& tag : frames[f])
            if (tag.code == FTagCode::RemoveObject) removals.push_back(tag);
        const std::vector<Tag> buttons = Buttons(frames[f]);
        if (buttons.size() < 2) {
            EXPECT_TRUE(removals.empty()) << "frame " << f;
            continue;
        }
        if (previous == 0) {
            EXPECT_TRUE(removals.empty()) << "frame " << f;
        } else {
            ASSERT_EQ(removals.size(), 1u) << "frame " << f;
            EXPECT_EQ(swftest::Word(removals[0], 0), previous) << "frame " << f;
        }
        previous = swftest::Word(buttons[1], 0);
    }
    EXPECT_NE(previous, 0);
}

TEST(Options, OfSeveralBackwardButtonsInAFrameTheTopOneAnswersTheKeys)
{
    Scratch deck("keysseveral");
    deck.MakeDeck("deck", 5, "0\n3\n1\n3");  // frame 3 gets buttons back to 0 and back to 1
    const std::vector<Tag> buttons = Buttons(swftest::Frames(ConvertDeck(deck, {"--keys"}))[3]);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(Conditions(buttons[1]), (std::vector<Condition>{{0x0008, GotoFrame(0)}}));
    EXPECT_EQ(Conditions(buttons[2]).size(), 3u);
    EXPECT_EQ(Conditions(buttons[2])[1], (Condition{Key(1), GotoFrame(1)}));
}

TEST(Options, WithoutKeysTheMovieIsWhatKeysAddTo)
{
    // The same deck with and without --keys: the same tags but the removals,
    // and every button the same but its key records.
    Scratch deck("nokeys");
    deck.MakeDeck("deck", 5, "0\n1\n3\n");
    const std::vector<std::vector<Tag>> plain = swftest::Frames(ConvertDeck(deck, {}));
    const std::vector<std::vector<Tag>> keys = swftest::Frames(ConvertDeck(deck, {"--keys"}));
    ASSERT_EQ(plain.size(), keys.size());
    for (size_t f = 0; f < plain.size(); ++f) {
        std::vector<Tag> kept;
        for (const Tag& tag : keys[f])
            if (tag.code != FTagCode::RemoveObject) kept.push_back(tag);
        ASSERT_EQ(plain[f].size(), kept.size()) << "frame " << f;
        for (size_t t = 0; t < kept.size(); ++t) {
            ASSERT_EQ(plain[f][t].code, kept[t].code) << "frame " << f << " tag " << t;
            if (kept[t].code != FTagCode::DefineButton2) {
                EXPECT_EQ(plain[f][t].body, kept[t].body) << "frame " << f << " tag " << t;
                continue;
            }
            const std::vector<Condition> plainConditions = Conditions(plain[f][t]);
            ASSERT_EQ(plainConditions.size(), 1u);
            EXPECT_EQ(plainConditions[0], Conditions(kept[t])[0]);
            for (const Condition& condition : plainConditions) EXPECT_EQ(condition.flags & 0xFE00, 0);
        }
    }
}

TEST(Options, SizeOverridesTheConfiguration)
{
    Scratch deck("size");
    deck.MakeDeck("deck", 1);  // config.txt says 640 x 480
    swftest::Movie movie = ConvertDeck(deck, {"--size", "320x240"}, 1);
    EXPECT_EQ(movie.xmax, 320 * 20);
    EXPECT_EQ(movie.ymax, 240 * 20 + 800);

    movie = ConvertDeck(deck, {"--size=1X65535"}, 1);
    EXPECT_EQ(movie.xmax, 20);

    // The configuration file is then not needed.
    fs::remove(deck / "config.txt");
    EXPECT_EQ(deck.Convert({"--size", "800x600", "deck", "1", "out.swf"}).status, 0);
    EXPECT_NE(deck.Convert({"deck", "1", "out.swf"}).err.find("configuration file 'config.txt'"), std::string::npos);
}

TEST(Options, BadSizesAreRefusedBeforeAnythingIsRead)
{
    Scratch deck("badsize");
    deck.MakeDeck("deck", 1);
    fs::remove(deck / "deck1.jpg");
    for (const char* size : {"0x480", "640x0", "640", "640x", "x480", "640x480x2", "65536x10", "-640x480", "+640x480",
                              "640 x 480", "6.4x4.8", "abc", "0640x480x"}) {
        const RunResult run = deck.Convert({"--size", size, "deck", "1", "out.swf"});
        EXPECT_EQ(run.status, 2) << size;
        EXPECT_EQ(run.err.rfind(std::string("corvanex: --size '") + size + "' is not a slide size", 0), 0u)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    const RunResult run = deck.Convert({"--size", "", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("option '--size' needs a value"), std::string::npos) << run.err;
    EXPECT_EQ(deck.Convert({"deck", "1", "out.swf", "--size"}).status, 2);
}

TEST(Options, HtmlWritesAPageThatPlaysTheMovieInItsAspect)
{
    Scratch deck("html");
    deck.MakeDeck("deck", 2);
    fs::create_directory(deck / "ruffle");  // a player of the user's, whatever the build has
    const RunResult run = deck.Convert({"--html", "show.html", "deck", "2", "out.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Depth sorting: 5 shapes\n" + kLibraryLines);  // nothing of the page on stdout
    EXPECT_EQ(run.err, "");
    const std::string page = swftest::Slurp(deck / "show.html");
    EXPECT_EQ(page.rfind("<!doctype html>", 0), 0u);
    EXPECT_NE(page.find("<title>out</title>"), std::string::npos);
    EXPECT_NE(page.find("<script src=\"ruffle/ruffle.js\"></script>"), std::string::npos);
    EXPECT_NE(page.find("var movie = \"out.swf\";"), std::string::npos);
    // Fitted to the window in the movie's aspect, the band of 40 pixels included.
    EXPECT_NE(page.find("width: min(100vw, calc(100vh * 640 / 520)); height: min(100vh, calc(100vw * 520 / 640));"),
              std::string::npos);
    EXPECT_NE(page.find("player.focus("), std::string::npos);
    EXPECT_EQ(page.find('@'), std::string::npos);  // every value filled in

    // With --size the page has that aspect.
    ASSERT_EQ(deck.Convert({"--size", "100x50", "--html", "show.html", "deck", "2", "out.swf"}).status, 0);
    EXPECT_NE(swftest::Slurp(deck / "show.html").find("calc(100vh * 100 / 90)"), std::string::npos);
}

TEST(Options, HtmlFindsTheMovieFromThePagesFolder)
{
    Scratch deck("htmlpath");
    deck.MakeDeck("deck", 1);
    fs::create_directories(deck / "site");
    fs::create_directories(deck / "movies");
    ASSERT_EQ(deck.Convert({"--html", "site/show.html", "--ruffle", "https://example.org/r/ruffle.js?v=1&x=<2>", "deck",
                            "1", "movies/a talk & \"more\".swf"})
                  .status,
              0);
    const std::string page = swftest::Slurp(deck / "site/show.html");
    EXPECT_NE(page.find("var movie = \"../movies/a%20talk%20%26%20%22more%22.swf\";"), std::string::npos) << page;
    EXPECT_NE(page.find("<script src=\"https://example.org/r/ruffle.js?v=1&amp;x=&lt;2&gt;\"></script>"),
              std::string::npos);
    EXPECT_NE(page.find("<title>a talk &amp; &quot;more&quot;</title>"), std::string::npos);

    // An absolute page name works as well.
    const std::string absolute = (deck / "site/abs.html").string();
    ASSERT_EQ(deck.Convert({"--html", absolute, "deck", "1", "out.swf"}).status, 0);
    EXPECT_NE(swftest::Slurp(absolute).find("var movie = \"../out.swf\";"), std::string::npos);
}

TEST(Options, HtmlFailuresAreReportedAndLeaveNoPage)
{
    Scratch deck("htmlfail");
    deck.MakeDeck("deck", 1);
    RunResult run = deck.Convert({"--html", "no-such-folder/show.html", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("corvanex: cannot write the page 'no-such-folder/show.html': ", 0), 0u) << run.err;
    EXPECT_FALSE(fs::exists(deck / "out.swf"));  // found out before the movie was written

    run = deck.Convert({"--html", "out.swf", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("the page 'out.swf' would overwrite the movie"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(deck / "out.swf"));

    run = deck.Convert({"--ruffle", "r.js", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("option '--ruffle' is for the page of '--html'"), std::string::npos) << run.err;

    // A run that fails on its input writes neither the movie nor the page.
    fs::remove(deck / "deck1.jpg");
    run = deck.Convert({"--html", "show.html", "deck", "1", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(deck / "show.html"));
    for (const auto& entry : fs::directory_iterator(deck.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".corvanex-"), std::string::npos);
}

TEST(Options, ErrorsGoToStandardErrorPrefixedAndNamingTheFile)
{
    Scratch deck("errors");
    deck.MakeDeck("deck", 2);
    fs::remove(deck / "deck2.jpg");
    const std::vector<std::vector<std::string>> failing{
        {"deck", "2", "out.swf"},
        {"--config", "nope.txt", "deck", "1", "out.swf"},
        {"--forward", "nope.jpg", "deck", "1", "out.swf"},
        {"--backward", "nope.jpg", "deck", "1", "out.swf"},
        {"nodeck", "1", "out.swf"},
        {"--bogus", "deck", "1", "out.swf"},
        {"deck", "1", "out.swf", "--keys"},
        {"--keys=yes", "deck", "1", "out.swf"},
    };
    const char* named[] = {"'deck2.jpg'", "'nope.txt'", "'nope.jpg'", "'nope.jpg'", "'nodeck1.jpg'",
                           "'--bogus'", "'--keys' after the output file (options go before", "'--keys'"};
    for (size_t i = 0; i < failing.size(); ++i) {
        const RunResult run = deck.Run(CORVANEX_BINARY, failing[i]);
        EXPECT_NE(run.status, 0) << i;
        EXPECT_EQ(run.out, "") << i;
        EXPECT_EQ(run.err.rfind("corvanex: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(named[i]), std::string::npos) << run.err;
    }
}

// The options --help lists, each with its value's name ("" for a flag).
std::vector<std::pair<std::string, std::string>> HelpOptions(const std::string& help)
{
    std::vector<std::pair<std::string, std::string>> options;
    const std::regex line(R"(\n  (--[a-z][a-z-]*)( [A-Zx]+)? )");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), line); it != std::sregex_iterator(); ++it)
        options.emplace_back((*it)[1].str(), (*it)[2].matched ? (*it)[2].str().substr(1) : "");
    return options;
}

TEST(Options, HelpListsEveryOptionWithItsDefault)
{
    Scratch deck("help");
    const RunResult run = deck.Run(CORVANEX_BINARY, {"--help"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    std::set<std::string> names;
    for (const auto& option : HelpOptions(run.out)) names.insert(option.first);
    EXPECT_EQ(names, (std::set<std::string>{"--config", "--size", "--stops", "--stop-last", "--raster", "--dpi", "--quality",
                                            "--lossless", "--max-image-dpi", "--no-annotations", "--no-transitions",
                                            "--no-timings", "--forward",
                                            "--backward", "--keys",
                                            "--narration", "--bits", "--narration-rate", "--narration-stereo", "--html",
                                            "--ruffle", "--help", "--version", "--keep-pdf", "--office-timeout"}));
    // Every option that takes part in a run says what it is when not given.
    // (--help and --version end the list of every form's options; the PDF
    // form's and the office decks' follow.)
    const size_t options = run.out.find("options:\n");
    const std::string list = run.out.substr(options, run.out.find("  --help") - options) +
                             run.out.substr(run.out.find("options of the PDF form:\n"));
    size_t count = 0;
    for (size_t at = list.find("(default: "); at != std::string::npos; at = list.find("(default: ", at + 1)) ++count;
    EXPECT_EQ(count, names.size() - 2) << list;
    EXPECT_NE(list.find("(default: ruffle/ruffle.js, beside the page)"), std::string::npos);
}

TEST(Options, ManualPageMatchesHelp)
{
#ifndef CORVANEX_MANUAL_PAGE
    GTEST_SKIP() << "built without help2man, so without the manual page";
#else
    Scratch deck("manual");
    const RunResult help = deck.Run(CORVANEX_BINARY, {"--help"});
    std::string manual = swftest::Slurp(CORVANEX_MANUAL_PAGE);
    ASSERT_FALSE(manual.empty());
    // Roff writes a hyphen as \- and sets fonts with \fX (and \, \/ around italics).
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    manual = std::regex_replace(manual, std::regex(R"(\\f[BIRP]|\\[,/])"), "");
    EXPECT_NE(manual.find(".SH SYNOPSIS\n.B corvanex\n[options] <image-prefix> <slide-count> <output-file>\n"),
              std::string::npos)
        << manual;
    for (const auto& [name, value] : HelpOptions(help.out)) {
        const std::string entry = ".TP\n" + name + (value.empty() ? "" : " " + value) + "\n";
        EXPECT_NE(manual.find(entry), std::string::npos) << "no entry " << entry;
    }
    // Every line of the option list, the defaults with them, says the same there.
    const size_t options = help.out.find("options:\n") + 9;
    std::istringstream list(help.out.substr(options, help.out.find("\n\n", options) - options));
    for (std::string line; std::getline(list, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, std::regex(R"((?:  --[a-z][a-z-]*(?: [A-Zx]+)?)? +(.*))"))) << line;
        const std::string text = match[1].str();
        EXPECT_NE(manual.find(text), std::string::npos) << "not in the manual page: " << text;
    }
    const RunResult version = deck.Run(CORVANEX_BINARY, {"--version"});
    EXPECT_NE(manual.find("\"" + version.out.substr(0, version.out.size() - 1) + "\""), std::string::npos)
        << "the manual page is not of " << version.out;
#endif
}

TEST(Options, ProgressLineOnATerminalForMoreThanFiftySlides)
{
    Scratch deck("progress");
    deck.MakeDeck("deck", 51);
    uint64_t bytes = 0;
    for (int n = 1; n <= 51; ++n) bytes += fs::file_size(deck / ("deck" + std::to_string(n) + ".jpg"));
    const std::vector<std::string> arguments{
        "--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg", "deck", "51", "out.swf"};

    RunResult run = RunWithTerminal(deck, arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("\rcorvanex: read 1 of 51 slides, " + std::to_string(bytes / 51) + " bytes", 0), 0u)
        << run.err;
    const std::string last = "\rcorvanex: read 51 of 51 slides, " + std::to_string(bytes) + " bytes\n";
    ASSERT_GE(run.err.size(), last.size());
    EXPECT_EQ(run.err.substr(run.err.size() - last.size()), last);  // ended before the library's lines
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
    EXPECT_EQ(run.out, "Depth sorting: 103 shapes\n" + kLibraryLines);  // stdout as without the terminal

    // Not on a terminal, or for 50 slides: nothing.
    run = deck.Convert({"deck", "51", "out.swf"});
    EXPECT_EQ(run.err, "");
    run = RunWithTerminal(deck, {"--config", "config.txt", "--forward", "forward.jpg", "--backward", "backward.jpg",
                                 "deck", "50", "out.swf"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

TEST(Options, ProgressLineIsEndedBeforeAnError)
{
    Scratch deck("progressfail");
    deck.MakeDeck("deck", 60);
    fs::remove(deck / "deck55.jpg");
    const RunResult run = RunWithTerminal(deck, {"--config", "config.txt", "--forward", "forward.jpg", "--backward",
                                                 "backward.jpg", "deck", "60", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\rcorvanex: read 54 of 60 slides"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("bytes\ncorvanex: cannot open the slide image 'deck55.jpg'"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace
