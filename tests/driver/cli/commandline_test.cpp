// The command line in-process: the option table's parser and help layout, the
// converter's messages and exit status for every way a command line goes
// wrong, and the user's guide's option table against the converter's.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "driver/cli/options.h"
#include "driver/cli/optiontable.h"
#include "driver/core/error.h"
#include "driver/input/programfolder.h"

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

const std::string kUsage =
    "\nusage: corvanex [options] <image-prefix> <slide-count> <output-file>\n"
    "('corvanex --help' lists the options)";

TEST(ConverterCommandLine, EveryRefusalKeepsItsMessage)
{
    const std::string& usage = kUsage;
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
        {{"o.swf", "t.KEY"}, "the first of two arguments must be the presentation: 'corvanex t.KEY o.swf', not "
                             "'o.swf t.KEY'" + usage},
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
    ASSERT_TRUE(std::holds_alternative<SlideShowRequest>(command.request));
    const SlideShowRequest& images = std::get<SlideShowRequest>(command.request);
    EXPECT_EQ(images.imagePrefix, "--deck");
    EXPECT_EQ(images.slideCount, 7);
    EXPECT_EQ(images.outputFile, "out.swf");
    EXPECT_EQ(command.OutputFile(), "out.swf");
    ASSERT_TRUE(images.size);
    EXPECT_EQ(images.size->width, 1);
    EXPECT_EQ(images.size->height, 2);
    EXPECT_EQ(images.configFile, "c.txt");
    EXPECT_EQ(images.forwardFile, "f.jpg");
    EXPECT_EQ(images.backwardFile, "b.jpg");
    EXPECT_EQ(command.htmlFile, "p.html");
    EXPECT_EQ(command.playerScript, "r.js");
    EXPECT_TRUE(images.keys);

    // The files beside the program fill in only what the command left out.
    ConverterCommand plain = ParseConverterCommandLine({"d", "0", "o.swf"});
    const SlideShowRequest& bare = std::get<SlideShowRequest>(plain.request);
    EXPECT_FALSE(bare.keys || bare.size || !bare.configFile.empty() || plain.htmlFile || plain.playerScript);
    ResolveProgramFiles(plain, "prog/");
    EXPECT_EQ(bare.forwardFile, "prog/forward.jpg");
    EXPECT_EQ(bare.backwardFile, "prog/backward.jpg");
    EXPECT_EQ(bare.configFile, ConfigFileName("prog/"));
    ConverterCommand given = ParseConverterCommandLine({"--forward", "f.jpg", "d", "0", "o.swf"});
    ResolveProgramFiles(given, "prog/");
    EXPECT_EQ(std::get<SlideShowRequest>(given.request).forwardFile, "f.jpg");
}

#ifdef CORVANEX_PDF
// A PDF deck's command becomes its request, the configuration file read only when named.
TEST(ConverterCommandLine, APDFDeckAsksForItsOwnRequest)
{
    ConverterCommand command = ParseConverterCommandLine(
        {"--raster", "--dpi", "72", "--lossless", "--keys", "--stops", "s.stp", "--size", "auto", "talk.PDF", "o.swf"});
    ASSERT_TRUE(std::holds_alternative<PDFShowRequest>(command.request));
    ResolveProgramFiles(command, "prog/");
    const PDFShowRequest& pdf = std::get<PDFShowRequest>(command.request);
    EXPECT_EQ(pdf.pdfFile, "talk.PDF");
    EXPECT_EQ(command.OutputFile(), "o.swf");
    EXPECT_TRUE(pdf.raster && pdf.keys);
    EXPECT_EQ(pdf.dpi, 72);
    EXPECT_EQ(pdf.encoding.format, PageEncoding::Format::Lossless);
    EXPECT_EQ(pdf.stopsFile, "s.stp");
    EXPECT_FALSE(pdf.size);  // auto: the first page's size, as without it
    EXPECT_EQ(pdf.configFile, "");
    EXPECT_EQ(pdf.forwardFile, "prog/forward.jpg");

    const PDFShowRequest vectors =
        std::get<PDFShowRequest>(ParseConverterCommandLine({"--max-image-dpi", "150", "--quality", "60", "t.pdf", "o.swf"}).request);
    EXPECT_FALSE(vectors.raster);
    EXPECT_EQ(vectors.maxImageDPI, 150);
    EXPECT_EQ(vectors.encoding.jpeg.quality, 60);
}

// An office deck takes the PDF form's request and options, and its own.
TEST(ConverterCommandLine, AnOfficeDeckAsksForThePDFFormsRequest)
{
    ConverterCommand command = ParseConverterCommandLine({"--keep-pdf", "k.pdf", "--office-timeout", "5", "--raster",
                                                          "--keys", "--stops", "s.stp", "talk.PPTX", "o.swf"});
    ASSERT_TRUE(std::holds_alternative<OfficeShowRequest>(command.request));
    ResolveProgramFiles(command, "prog/");
    const OfficeShowRequest& office = std::get<OfficeShowRequest>(command.request);
    EXPECT_EQ(office.deckFile, "talk.PPTX");
    EXPECT_EQ(office.pdfFile, "");  // LibreOffice's, once made
    EXPECT_EQ(office.keptPDF, "k.pdf");
    EXPECT_EQ(office.officeSeconds, 5);
    EXPECT_EQ(command.OutputFile(), "o.swf");
    EXPECT_TRUE(office.raster && office.keys);
    EXPECT_EQ(office.stopsFile, "s.stp");
    EXPECT_EQ(office.forwardFile, "prog/forward.jpg");

    const OfficeShowRequest plain = std::get<OfficeShowRequest>(ParseConverterCommandLine({"t.odp", "o.swf"}).request);
    EXPECT_EQ(plain.keptPDF, "");
    EXPECT_EQ(plain.officeSeconds, kDefaultOfficeSeconds);

    const std::pair<Words, std::string> refusals[] = {
        {{"--keep-pdf", "./o.swf", "t.odp", "o.swf"}, "the kept PDF './o.swf' would overwrite the movie" + kUsage},
        {{"--keep-pdf", "./t.odp", "t.odp", "o.swf"}, "the kept PDF './t.odp' would overwrite the presentation" + kUsage},
        {{"--html", "p.html", "--keep-pdf", "p.html", "t.odp", "o.swf"},
         "the kept PDF 'p.html' would overwrite the page" + kUsage},
        {{"t.odp", "./t.odp"}, "the movie './t.odp' would overwrite the presentation" + kUsage},
        {{"--office-timeout", "0", "t.key", "o.swf"},
         "option '--office-timeout' takes a whole number from 1 to 86400, not '0'"},
        {{"--office-timeout", "86401", "t.key", "o.swf"},
         "option '--office-timeout' takes a whole number from 1 to 86400, not '86401'"},
        {{"--lossless", "t.pptx", "o.swf"}, "option '--lossless' is for pages drawn as pictures: add '--raster' "
                                            "(without it pages are vectors, and --size sets the slide area)" + kUsage},
    };
    for (const auto& [words, message] : refusals) EXPECT_EQ(Refusal(words), message) << words[1];
}
#else
TEST(ConverterCommandLine, AnOfficeDeckNeedsThePDFForm)
{
    EXPECT_EQ(Refusal({"talk.pptx", "o.swf"}), "built without PDF support, which office decks need: LibreOffice "
                                                "makes a PDF of the deck, and the PDF form converts it");
}
#endif

// What an option is for is the table's: every row that needs another option,
// or is never given with one, or belongs to the PDF form, refuses its misuse
// in the words of its own row.
TEST(ConverterCommandLine, TheTableSaysWhatEachOptionIsFor)
{
    const auto given = [](std::string_view name) {
        Words words{std::string(name)};
        for (const OptionSpec& option : ConverterOptionTable())
            if (option.name == name && !option.value.empty()) words.push_back("2");
        return words;
    };
    const auto inForm = [](Words words, bool pdf, bool office = false) {
        const Words deck = office ? Words{"t.odp", "o.swf"} : pdf ? Words{"t.pdf", "o.swf"} : Words{"d", "1", "o.swf"};
        words.insert(words.end(), deck.begin(), deck.end());
        return words;
    };
    int refusals = 0;
    for (const OptionSpec& option : ConverterOptionTable()) {
        const std::string isFor = "option '" + std::string(option.name) + "' is for ";
        const bool pdf = option.form == "PDF";
        const bool office = option.form == "office";
#ifndef CORVANEX_PDF
        if (pdf || office) continue;  // a build without the PDF form refuses every PDF deck alike
#endif
        if (!option.needs.empty()) {
            EXPECT_EQ(Refusal(inForm(given(option.name), pdf)), isFor + std::string(option.purpose) + kUsage);
            ++refusals;
        }
        if (!option.notWith.empty()) {
            Words both = given(option.name);
            for (const std::string& word : given(option.notWith)) both.push_back(word);
            EXPECT_EQ(Refusal(inForm(both, pdf)), isFor + std::string(option.purpose) + kUsage);
            ++refusals;
        }
        if (pdf) {
            EXPECT_EQ(Refusal(inForm(given(option.name), false)),
                      isFor + "a PDF deck (<deck.pdf> <output-file>)" + kUsage);
            ++refusals;
            // An office deck takes them as a PDF does.
            EXPECT_EQ(Refusal(inForm(given(option.name), true)), Refusal(inForm(given(option.name), false, true)));
        }
        if (office) {
            for (const bool pdfDeck : {false, true}) {
                EXPECT_EQ(Refusal(inForm(given(option.name), pdfDeck)),
                          isFor + "an office deck (<deck.pptx> <output-file>)" + kUsage);
                ++refusals;
            }
        }
    }
#ifdef CORVANEX_PDF
    EXPECT_EQ(refusals, 20);
#else
    EXPECT_EQ(refusals, 4);
#endif
}

TEST(ConverterCommandLine, UsageTextListsTheTable)
{
    const std::string usage = ConverterUsage();
    EXPECT_EQ(usage.rfind("usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n\n", 0), 0u);
    // Every form's options, then the PDF form's and the office decks' under
    // headings of their own.
    std::vector<OptionSpec> everyForm, pdfForm, officeForm;
    for (const OptionSpec& option : ConverterOptionTable())
        (option.form.empty() ? everyForm : option.form == "PDF" ? pdfForm : officeForm).push_back(option);
    ASSERT_FALSE(pdfForm.empty() || officeForm.empty());
    EXPECT_NE(usage.find("\n" + OptionHelp(everyForm) + "\n" + OptionHelp(pdfForm, "options of the PDF form:") + "\n" +
                         OptionHelp(officeForm, "options of office decks:") + "\n"),
              std::string::npos);
    EXPECT_EQ(ConverterVersion(), std::string("corvanex ") + CORVANEX_VERSION + "\n");
}

// The user's guide's option table (docs/guide.md): a row per option of the converter, in the table's
// order, with its value's name and its default as --help gives it.
TEST(ConverterCommandLine, ReadmeListsTheOptionsOfTheTable)
{
    std::ifstream readme(std::filesystem::path(CORVANEX_SOURCE_DIR) / "docs" / "guide.md");
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
