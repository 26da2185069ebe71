// The command line in-process: the option table's parser and help layout, the
// converter's messages and exit status for every way a command line goes
// wrong, and README.md's option table against the converter's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/cli/options.h"
#include "driver/cli/optiontable.h"
#include "driver/core/error.h"

namespace {

using Words = std::vector<std::string>;

constexpr OptionSpec kTable[] = {
    {"--name", "VALUE", "takes a value", "none"},
    {"--flag", "", "a flag", ""},
    {"--stop", "", "ends the command line", "", true},
};

OptionError::Kind ErrorOf(const Words& words, OptionSyntax syntax = {})
{
    try {
        ParseCommandLine(kTable, words, syntax);
    } catch (const OptionError& error) {
        return error.kind;
    }
    ADD_FAILURE() << "no error";
    return OptionError::Kind::kUnknown;
}

TEST(OptionTable, ValuesFlagsAndTheEndOfTheOptions)
{
    CommandLine line = ParseCommandLine(kTable, {"--name", "a", "--flag", "--name=b=c", "x", "--flag", "y"});
    EXPECT_EQ(line.Value("--name"), "b=c");  // the last one given; '=' splits once
    EXPECT_TRUE(line.Has("--flag"));
    EXPECT_EQ(line.options.size(), 3u);
    EXPECT_EQ(line.arguments, (Words{"x", "--flag", "y"}));  // the first argument ends the options

    line = ParseCommandLine(kTable, {"--", "--flag", "-"});
    EXPECT_FALSE(line.Has("--flag"));
    EXPECT_EQ(line.arguments, (Words{"--flag", "-"}));
    EXPECT_EQ(ParseCommandLine(kTable, {"-x", "--flag"}).arguments, (Words{"-x", "--flag"}));

    // Anywhere, with "-" as the prefix: options between the arguments, "-x" an option.
    line = ParseCommandLine(kTable, {"x", "--flag", "y", "--name", "v", "--", "--flag"}, {"-", true});
    EXPECT_EQ(line.arguments, (Words{"x", "y", "--flag"}));
    EXPECT_EQ(line.Value("--name"), "v");
    EXPECT_EQ(ErrorOf({"x", "-x"}, {"-", true}), OptionError::Kind::kUnknown);
}

TEST(OptionTable, AnEndingOptionStopsTheReading)
{
    const CommandLine line = ParseCommandLine(kTable, {"--flag", "--stop", "--bogus", "--name"});
    ASSERT_NE(line.ending, nullptr);
    EXPECT_EQ(line.ending->name, "--stop");
    EXPECT_TRUE(line.arguments.empty());
    EXPECT_EQ(ErrorOf({"--bogus", "--stop"}), OptionError::Kind::kUnknown);
    EXPECT_EQ(ErrorOf({"--stop=1"}), OptionError::Kind::kTakesNoValue);
}

TEST(OptionTable, RefusalsNameTheOptionAndKeepTheArgument)
{
    EXPECT_EQ(ErrorOf({"--name"}), OptionError::Kind::kNeedsValue);
    EXPECT_EQ(ErrorOf({"--name", ""}), OptionError::Kind::kNeedsValue);
    EXPECT_EQ(ErrorOf({"--name="}), OptionError::Kind::kNeedsValue);
    EXPECT_EQ(ErrorOf({"--flag=yes"}), OptionError::Kind::kTakesNoValue);
    try {
        ParseCommandLine(kTable, {"--fla=g"});
        FAIL();
    } catch (const OptionError& error) {
        EXPECT_EQ(error.kind, OptionError::Kind::kUnknown);
        EXPECT_EQ(error.name, "--fla");
        EXPECT_EQ(error.argument, "--fla=g");
    }
}

TEST(OptionTable, HelpPutsDescriptionsInOneColumnAndDefaultsWhereTheyFit)
{
    constexpr OptionSpec table[] = {
        {"--a", "N", "first line\nsecond line", "short"},
        {"--longer", "", "x", std::string_view("a default too long to go on the line of its description, which is long "
                                               "itself")},
        {"--b", "", "no default", ""},
    };
    EXPECT_EQ(OptionHelp(table),
              "options:\n"
              "  --a N      first line\n"
              "             second line (default: short)\n"
              "  --longer   x\n"
              "             (default: a default too long to go on the line of its description, which is long itself)\n"
              "  --b        no default\n");
}

// The converter's refusals: the message after "corvanex: " and status 2.
std::string Refusal(const Words& words)
{
    try {
        ParseConverterCommandLine(words);
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitUsage) << error.what();
        return error.what();
    }
    return "accepted";
}

TEST(ConverterCommandLine, EveryRefusalKeepsItsMessage)
{
    const std::string usage =
        "\nusage: corvanex [options] <image-prefix> <slide-count> <output-file>\n"
        "('corvanex --help' lists the options)";
    const std::pair<Words, std::string> cases[] = {
        {{"--bogus", "d", "1", "o.swf"}, "unknown option '--bogus'" + usage},
        {{"--bogus=1", "d", "1", "o.swf"}, "unknown option '--bogus'" + usage},
        {{"-", "d", "1"}, "slide count 'd' is not a whole number of 0 or more"},
        {{"d", "1", "o.swf", "--size"}, "unexpected argument '--size' after the output file (options go before the "
                                        "image prefix)" + usage},
        {{"d", "1", "o.swf", "more"}, "unexpected argument 'more' after the output file" + usage},
        {{"--config"}, "option '--config' needs a value" + usage},
        {{"--html=", "d", "1", "o.swf"}, "option '--html' needs a value" + usage},
        {{"--keys=yes", "d", "1", "o.swf"}, "option '--keys' takes no value" + usage},
        {{"--version=2"}, "option '--version' takes no value" + usage},
        {{"--ruffle", "r.js", "d", "x", "o.swf"}, "option '--ruffle' is for the page of '--html'" + usage},
        {{"d", "+1", "o.swf"}, "slide count '+1' is not a whole number of 0 or more"},
        {{"d", "65534", "o.swf"}, "slide count '65534' is too large: a movie holds at most 65533 slides"},
        {{"--size", "640x0", "d", "x", "o.swf"}, "slide count 'x' is not a whole number of 0 or more"},
        {{"--size", "640x0", "d", "1", "o.swf"},
         "--size '640x0' is not a slide size: give the width and height in pixels as WxH (such as 640x480), each "
         "from 1 to 65535, or 'auto'"},
        {{"--html", "./o.swf", "d", "1", "o.swf"}, "the page './o.swf' would overwrite the movie" + usage},
    };
    for (const auto& [words, message] : cases) EXPECT_EQ(Refusal(words), message) << words[0];
}

TEST(ConverterCommandLine, WhatACommandLineAsksFor)
{
    using Action = ConverterCommand::Action;
    EXPECT_EQ(ParseConverterCommandLine({"--help", "--bogus"}).action, Action::kHelp);
    EXPECT_EQ(ParseConverterCommandLine({"--keys", "--version"}).action, Action::kVersion);
    EXPECT_EQ(ParseConverterCommandLine({"d", "1"}).action, Action::kUsage);
    EXPECT_EQ(ParseConverterCommandLine({"--keys", "--", "d", "1"}).action, Action::kUsage);

    const ConverterCommand command = ParseConverterCommandLine(
        {"--keys", "--size=1X2", "--config", "c.txt", "--forward", "f.jpg", "--backward=b.jpg", "--html", "p.html",
         "--ruffle", "r.js", "--", "--deck", "007", "out.swf"});
    EXPECT_EQ(command.action, Action::kConvert);
    EXPECT_EQ(command.imagePrefix, "--deck");
    EXPECT_EQ(command.slideCount, 7);
    EXPECT_EQ(command.outputFile, "out.swf");
    ASSERT_TRUE(command.size);
    EXPECT_EQ(command.size->width, 1);
    EXPECT_EQ(command.size->height, 2);
    EXPECT_EQ(command.configFile, "c.txt");
    EXPECT_EQ(command.forwardFile, "f.jpg");
    EXPECT_EQ(command.backwardFile, "b.jpg");
    EXPECT_EQ(command.htmlFile, "p.html");
    EXPECT_EQ(command.playerScript, "r.js");
    EXPECT_TRUE(command.keys);

    const ConverterCommand plain = ParseConverterCommandLine({"d", "0", "o.swf"});
    EXPECT_FALSE(plain.keys || plain.size || plain.configFile || plain.htmlFile || plain.playerScript);
}

TEST(ConverterCommandLine, UsageTextListsTheTable)
{
    const std::string usage = ConverterUsage();
    EXPECT_EQ(usage.rfind("usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n\n", 0), 0u);
    EXPECT_NE(usage.find("\n" + OptionHelp(ConverterOptionTable()) + "\n"), std::string::npos);
    EXPECT_EQ(ConverterVersion(), std::string("corvanex ") + CORVANEX_VERSION + "\n");
}

// README.md's option table: a row per option of the converter, in the table's
// order, with its value's name and its default as --help gives it.
TEST(ConverterCommandLine, ReadmeListsTheOptionsOfTheTable)
{
    std::ifstream readme(std::filesystem::path(CORVANEX_SOURCE_DIR) / "README.md");
    ASSERT_TRUE(readme);
    const std::regex row(R"(\| `(--[a-z-]+)(?: ([A-Za-z]+))?` \|\s*([^|]*?)\s*\| [^|]+ \|)");
    std::vector<std::string> rows;
    for (std::string line; std::getline(readme, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, row)) continue;
        const std::string defaultText = std::regex_replace(match[3].str(), std::regex("`"), "");
        rows.push_back(match[1].str() + "|" + match[2].str() + "|" + defaultText);
    }
    std::vector<std::string> table;
    for (const OptionSpec& option : ConverterOptionTable())
        table.push_back(std::string(option.name) + "|" + std::string(option.value) + "|" + std::string(option.defaultText));
    EXPECT_EQ(rows, table);
}

}  // namespace
