#include "driver/cli/options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/outputguard.h"
#include "driver/core/slidesize.h"

namespace {

// To add an option: a row here, a field in ConverterCommand, a line in
// ParseConverterCommandLine, a row in README.md's table.
constexpr OptionSpec kOptions[] = {
    {"--config", "FILE",
     "slide width and height in pixels, one per line (in the PDF form read\n"
     "only when given)",
     "config.txt beside the program"},
    {"--size", "WxH",
     "slide size in pixels, instead of the configuration file; 'auto':\n"
     "the first slide's size",
     "from the configuration file"},
    {"--stops", "FILE",
     "the stop-point file; without one the show stops on every slide (in the\n"
     "PDF form <deck>.stp beside the PDF when it exists)",
     "<prefix>.stp (or, when missing, without a trailing ., - or _)"},
    {"--stop-last", "",
     "the last slide waits for a click too, which shows the closing notice\n"
     "(the PDF form always does so)",
     "the last slide plays on to the closing notice"},
    {"--raster", "",
     "PDF form: every page as a picture, as pdftoppm would draw it; for\n"
     "pages that must look exactly as the PDF does and vectors cannot say\n"
     "(the default draws each page as vectors, sharp at any zoom, and only\n"
     "what vectors cannot hold as a picture)",
     "pages as vectors"},
    {"--dpi", "N",
     "PDF form with --raster: the slide area is the first page's size at N\n"
     "dots per inch (1 to 2400), when neither --size nor --config is given",
     "96"},
    {"--quality", "N",
     "PDF form: JPEG quality, 1 to 100, of the pages with --raster; else of\n"
     "the pictures on vector pages kept as JPEG (each the smaller of lossless\n"
     "and JPEG) and of pages drawn whole as pictures",
     "90"},
    {"--lossless", "", "PDF form with --raster: pages as lossless bitmaps instead of JPEG", "off"},
    {"--max-image-dpi", "N",
     "PDF form without --raster: store each picture on a page with at most N\n"
     "pixels an inch of the page it covers (1 to 2400), scaled down to that\n"
     "when it has more",
     "twice the pixels it covers on the stage"},
    {"--forward", "FILE", "forward button image, a JPEG", "forward.jpg beside the program"},
    {"--backward", "FILE", "backward button image, a JPEG", "backward.jpg beside the program"},
    {"--keys", "",
     "the forward button also answers Right, Page Down and Space, the\n"
     "backward button Left and Page Up",
     "off, buttons answer clicks only"},
    {"--narration", "PREFIX",
     "narrate slide n (a PDF's page n) with PREFIX<n>.wav, .flac, .ogg or\n"
     ".mp3 (either case, numbered as the slides are); it starts when the\n"
     "slide appears and stops at a click on either button; a slide without\n"
     "a file is silent",
     "no narration"},
    {"--bits", "N", "ADPCM code size of the narration, 2 to 5 bits a sample", "4"},
    {"--narration-rate", "HZ", "sample rate of the narration: 5512, 11025, 22050 or 44100", "22050"},
    {"--narration-stereo", "", "keep stereo narration files in stereo", "mixed down to mono"},
    {"--html", "FILE",
     "also write an HTML page that plays the movie in a browser through the\n"
     "Ruffle web player, fitted to the window (F: full screen); the player\n"
     "the converter was built with goes beside it when its folder has none",
     "no page"},
    {"--ruffle", "URL", "where the page loads the player's script from, with --html",
     "ruffle/ruffle.js, beside the page"},
    {"--help", "", "print this text and exit", "", true},
    {"--version", "", "print the version and exit", "", true},
};

const char* const kUsageLine = "usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n";

ConverterError UsageError(const std::string& message)
{
    return ConverterError(message + "\n" + kUsageLine + "('corvanex --help' lists the options)", kExitUsage);
}

// Ends in ".pdf", in any case.
bool IsPDFName(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".pdf";
}

constexpr int32_t kMaxDPIValue = 2400;

int32_t ParseWholeNumber(const std::string& option, const std::string& text, int32_t low, int32_t high)
{
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    const long value = digits ? std::stol(text) : -1;
    if (value < low || value > high) {
        throw ConverterError("option '" + option + "' takes a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + ", not '" + text + "'",
                             kExitUsage);
    }
    return static_cast<int32_t>(value);
}

}  // namespace

std::span<const OptionSpec> ConverterOptionTable()
{
    return kOptions;
}

std::string ConverterUsage()
{
    return std::string(kUsageLine) +
           "\n"
           "Converts the slides <image-prefix>1.jpg ... <image-prefix><slide-count>.jpg into one\n"
           "SWF movie with forward and backward buttons, stopping on the frames listed in\n"
           "<image-prefix>.stp (one 0-based frame index per line); without that file, on\n"
           "every slide but the last.\n"
           "Slides are also found numbered 01, 001, 0001 or 00001 and ending in .jpeg, .JPG,\n"
           ".JPEG, .png or .PNG, as presentation programs export them: 'corvanex Slide 12\n"
           "talk.swf' reads Slide1.JPG ..., 'corvanex talk. 12 talk.swf' talk.001.jpeg ... with\n"
           "talk.stp, and 'corvanex talk- 12 talk.swf' talk-01.jpg ... (pdftoppm -jpeg). Slide 1\n"
           "fixes the numbering. PNG slides are kept pixel for pixel (lossless); the button\n"
           "images stay JPEG. A slide of another size than the slide area is scaled to fit it.\n"
           "With --narration voice/slide, slide n speaks voice/slide<n>.wav (or .flac, .ogg,\n"
           "or .mp3): 'corvanex --narration voice/slide Slide 12 talk.swf'.\n"
           "\n"
           "   or: corvanex [options] <deck.pdf> <output-file>\n"
           "makes every page of <deck.pdf> a slide, in order, drawn as vectors that stay\n"
           "sharp at any zoom: 'corvanex talk.pdf talk.swf' (a 16:9 deck gives a 1280 x 720\n"
           "stage). A page vectors cannot say is drawn as a picture; --raster draws every\n"
           "page as one, for pages that must look exactly as MuPDF draws them. Links to\n"
           "its pages and to http, https and mailto addresses become buttons; others are\n"
           "left out, with a line naming them. The show stops on every page unless\n"
           "talk.stp beside the PDF or --stops says otherwise; the last page waits for a\n"
           "click in any case.\n"
           "--narration voice/page narrates page n with voice/page<n>.wav (or .flac, ...).\n"
           "\n" +
           OptionHelp(kOptions) +
           "\n"
           "exit status: 0 success, 1 an input or output file failed, 2 wrong command line\n";
}

std::string ConverterVersion()
{
    return std::string("corvanex ") + CORVANEX_VERSION + "\n";
}

int32_t ParseSlideCount(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        throw ConverterError("slide count '" + text + "' is not a whole number of 0 or more", kExitUsage);
    const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size() - 1));
    if (digits.size() > 9 || std::stol(digits) > kMaxSlideCount) {
        throw ConverterError("slide count '" + text + "' is too large: a movie holds at most " +
                                 std::to_string(kMaxSlideCount) + " slides",
                             kExitUsage);
    }
    return static_cast<int32_t>(std::stol(digits));
}

SlideSize ParseSize(const std::string& text)
{
    const size_t x = text.find_first_of("xX");
    auto side = [&](const std::string& digits) {
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return 0L;
        return std::stol(digits);
    };
    const long width = x == std::string::npos ? 0 : side(text.substr(0, x));
    const long height = x == std::string::npos ? 0 : side(text.substr(x + 1));
    if (width < 1 || width > kMaxSlideSide || height < 1 || height > kMaxSlideSide) {
        throw ConverterError("--size '" + text + "' is not a slide size: give the width and height in pixels as WxH (" +
                                 "such as 640x480), each from 1 to " + std::to_string(kMaxSlideSide) + ", or 'auto'",
                             kExitUsage);
    }
    return SlideSize{static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

ConverterCommand ParseConverterCommandLine(const std::vector<std::string>& words)
{
    CommandLine line;
    try {
        line = ParseCommandLine(kOptions, words);
    } catch (const OptionError& error) {
        switch (error.kind) {
        case OptionError::Kind::kUnknown: throw UsageError("unknown option '" + error.name + "'");
        case OptionError::Kind::kNeedsValue: throw UsageError("option '" + error.name + "' needs a value");
        case OptionError::Kind::kTakesNoValue: throw UsageError("option '" + error.name + "' takes no value");
        }
        throw;
    }
    ConverterCommand command;
    if (line.ending) {
        command.action = line.ending->name == "--help" ? ConverterCommand::Action::kHelp
                                                        : ConverterCommand::Action::kVersion;
        return command;
    }
    const std::vector<std::string>& arguments = line.arguments;
    const bool pdfForm = arguments.size() == 2 && IsPDFName(arguments[0]);
    // The output named first, as some converters take it.
    if (arguments.size() == 2 && !pdfForm && IsPDFName(arguments[1])) {
        throw UsageError("the first of two arguments must be the PDF: 'corvanex " + arguments[1] + " " + arguments[0] +
                         "', not '" + arguments[0] + " " + arguments[1] + "'");
    }
    if (arguments.size() < 3 && !pdfForm) {
        command.action = ConverterCommand::Action::kUsage;
        return command;
    }
#ifndef CORVANEX_PDF
    if (pdfForm) throw ConverterError("built without PDF support", kExitUsage);
#endif
    if (arguments.size() > 3) {
        const std::string& extra = arguments[3];
        const char* hint = extra.rfind("-", 0) == 0 ? " (options go before the image prefix)" : "";
        throw UsageError("unexpected argument '" + extra + "' after the output file" + hint);
    }
    command.configFile = line.Value("--config");
    command.forwardFile = line.Value("--forward");
    command.backwardFile = line.Value("--backward");
    command.htmlFile = line.Value("--html");
    command.playerScript = line.Value("--ruffle");
    command.keys = line.Has("--keys");
    command.stopLast = line.Has("--stop-last");
    if (command.playerScript && !command.htmlFile) throw UsageError("option '--ruffle' is for the page of '--html'");
    command.narrationPrefix = line.Value("--narration");
    for (const char* option : {"--bits", "--narration-rate", "--narration-stereo"})
        if (line.Has(option) && !command.narrationPrefix)
            throw UsageError(std::string("option '") + option + "' is for the narration of '--narration'");
    if (const auto bits = line.Value("--bits")) {
        if (bits->size() != 1 || (*bits)[0] < '2' || (*bits)[0] > '5')
            throw UsageError("--bits '" + *bits + "' is not an ADPCM code size: give 2, 3, 4 or 5");
        command.narration.codeBits = (*bits)[0] - '0';
    }
    if (const auto rate = line.Value("--narration-rate")) {
        const bool digits = !rate->empty() && rate->size() <= 5 && rate->find_first_not_of("0123456789") == std::string::npos;
        if (!digits || NarrationRateCode(static_cast<uint32_t>(std::stoul(*rate))) < 0)
            throw UsageError("--narration-rate '" + *rate + "' is not a narration rate: give 5512, 11025, 22050 or 44100");
        command.narration.rate = static_cast<uint32_t>(std::stoul(*rate));
    }
    command.narration.stereo = line.Has("--narration-stereo");

    if (pdfForm) {
        command.pdfFile = arguments[0];
        command.outputFile = arguments[1];
        if (SameFile(command.pdfFile, command.outputFile))
            throw UsageError("the movie '" + command.outputFile + "' would overwrite the PDF");
        command.raster = line.Has("--raster");
        // Vector pages have no pixels to size or keep exact.
        if (!command.raster)
            for (const char* rasterOnly : {"--dpi", "--lossless"})
                if (line.Has(rasterOnly))
                    throw UsageError("option '" + std::string(rasterOnly) +
                                     "' is for pages drawn as pictures: add '--raster' (without it pages are "
                                     "vectors, and --size sets the slide area)");
        // Pages drawn whole as pictures have no pictures of their own.
        if (command.raster && line.Has("--max-image-dpi"))
            throw UsageError("option '--max-image-dpi' is for pages drawn as vectors: leave out '--raster' (with it "
                             "every page is one picture, sized by --dpi or --size)");
        if (const auto maxImageDPI = line.Value("--max-image-dpi"))
            command.maxImageDPI = ParseWholeNumber("--max-image-dpi", *maxImageDPI, 1, kMaxDPIValue);
        command.lossless = line.Has("--lossless");
        if (const auto quality = line.Value("--quality")) {
            if (command.lossless) throw UsageError("option '--quality' is for JPEG pages, not with '--lossless'");
            command.quality = ParseWholeNumber("--quality", *quality, 1, 100);
        }
        if (const auto dpi = line.Value("--dpi")) {
            if ((line.Has("--size") && line.Value("--size") != "auto") || line.Has("--config"))
                throw UsageError("option '--dpi' sizes the slide area from the first page, not with '--size' or '--config'");
            command.dpi = ParseWholeNumber("--dpi", *dpi, 1, kMaxDPIValue);
        }
    } else {
        for (const char* pdfOnly : {"--raster", "--quality", "--lossless", "--dpi", "--max-image-dpi"})
            if (line.Has(pdfOnly))
                throw UsageError("option '" + std::string(pdfOnly) + "' is for a PDF deck (<deck.pdf> <output-file>)");
        command.imagePrefix = arguments[0];
        command.slideCount = ParseSlideCount(arguments[1]);
        command.outputFile = arguments[2];
    }
    if (const auto size = line.Value("--size")) {
        if (*size == "auto") {
            command.sizeAuto = true;
        } else {
            command.size = ParseSize(*size);
        }
    }
    command.stopsFile = line.Value("--stops");
    if (command.htmlFile && SameFile(*command.htmlFile, command.outputFile))
        throw UsageError("the page '" + *command.htmlFile + "' would overwrite the movie");
    return command;
}
