#include "driver/cli/options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/outputguard.h"
#include "driver/core/slidesize.h"
#include "driver/input/programfolder.h"
#include "driver/office/officename.h"

namespace {

// To add an option: a row here (its form, and an option it needs or is never
// given with, are data: the refusals and --help's groups come from them), a
// field in the form's request that ParseConverterCommandLine fills, a row in
// the option table of the user's guide.
constexpr std::string_view kPDFForm = "PDF";
// An office deck goes through the PDF form, and takes its options too.
constexpr std::string_view kOfficeForm = "office";
constexpr std::string_view kPicturePages =
    "pages drawn as pictures: add '--raster' (without it pages are vectors, and --size sets the slide area)";
constexpr std::string_view kVectorPages =
    "pages drawn as vectors: leave out '--raster' (with it every page is one picture, sized by --dpi or --size)";
constexpr std::string_view kNarrated = "the narration of '--narration'";

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
    {"--forward", "FILE", "forward button image, a JPEG", "forward.jpg beside the program"},
    {"--backward", "FILE", "backward button image, a JPEG", "backward.jpg beside the program"},
    {"--keys", "",
     "the forward button also answers Right, Page Down and Space, the\n"
     "backward button Left and Page Up; Home goes to the first slide and\n"
     "End to the last",
     "off, buttons answer clicks only"},
    {"--narration", "PREFIX",
     "narrate slide n (a PDF's page n) with PREFIX<n>.wav, .flac, .ogg or\n"
     ".mp3 (either case, numbered as the slides are); it starts when the\n"
     "slide appears and stops at a click on either button; a slide without\n"
     "a file is silent",
     "no narration"},
    {"--bits", "N", "ADPCM code size of the narration, 2 to 5 bits a sample", "4", false, {}, "--narration", {},
     kNarrated},
    {"--narration-rate", "HZ", "sample rate of the narration: 5512, 11025, 22050 or 44100", "22050", false, {},
     "--narration", {}, kNarrated},
    {"--narration-stereo", "", "keep stereo narration files in stereo", "mixed down to mono", false, {},
     "--narration", {}, kNarrated},
    {"--html", "FILE",
     "also write an HTML page that plays the movie in a browser through the\n"
     "Ruffle web player, fitted to the window (F: full screen); the player\n"
     "the converter was built with goes beside it when its folder has none",
     "no page"},
    {"--ruffle", "URL", "where the page loads the player's script from, with --html",
     "ruffle/ruffle.js, beside the page", false, {}, "--html", {}, "the page of '--html'"},
    {"--help", "", "print this text and exit", "", true},
    {"--version", "", "print the version and exit", "", true},
    {"--raster", "",
     "every page as a picture, as pdftoppm would draw it; for pages that\n"
     "must look exactly as the PDF does and vectors cannot say (the default\n"
     "draws each page as vectors, sharp at any zoom, and only what vectors\n"
     "cannot hold as a picture)",
     "pages as vectors", false, kPDFForm},
    {"--dpi", "N",
     "with --raster: the slide area is the first page's size at N dots per\n"
     "inch (1 to 2400), when neither --size nor --config is given",
     "96", false, kPDFForm, "--raster", {}, kPicturePages},
    {"--quality", "N",
     "JPEG quality, 1 to 100, of the pages with --raster; else of the\n"
     "pictures on vector pages kept as JPEG (each the smaller of lossless\n"
     "and JPEG) and of pages drawn whole as pictures",
     "90", false, kPDFForm, {}, "--lossless", "JPEG pages, not with '--lossless'"},
    {"--lossless", "", "with --raster: pages as lossless bitmaps instead of JPEG", "off", false, kPDFForm, "--raster",
     {}, kPicturePages},
    {"--max-image-dpi", "N",
     "without --raster: store each picture on a page with at most N pixels\n"
     "an inch of the page it covers (1 to 2400), scaled down to that when\n"
     "it has more",
     "twice the pixels it covers on the stage", false, kPDFForm, {}, "--raster", kVectorPages},
    {"--no-annotations", "",
     "draw each page's content alone: no annotations (stamps, notes, form\n"
     "fields) and no link borders; links stay buttons",
     "drawn as a viewer shows them", false, kPDFForm},
    {"--no-transitions", "",
     "show each page at once, without the transition the PDF gives it\n"
     "(the movie then stays at 12 frames a second)",
     "the PDF's transitions, at 24 frames a second", false, kPDFForm},
    {"--no-timings", "",
     "ignore how long the PDF asks each page to be shown: every page waits\n"
     "for a click as the stop points say",
     "a page with a duration goes on by itself after it", false, kPDFForm},
    {"--keep-pdf", "FILE",
     "keep the PDF LibreOffice makes of the deck in FILE (written once the\n"
     "movie is)",
     "not kept", false, kOfficeForm},
    {"--office-timeout", "SECONDS",
     "stop LibreOffice, and the run, when it has not made the PDF after so\n"
     "many seconds (1 to 86400)",
     "300", false, kOfficeForm},
};

// The options of one form, in the table's order.
std::vector<OptionSpec> OptionsOfForm(std::string_view form)
{
    std::vector<OptionSpec> options;
    for (const OptionSpec& option : kOptions)
        if (option.form == form) options.push_back(option);
    return options;
}

const char* const kUsageLine = "usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n";

ConverterError UsageError(const std::string& message)
{
    return ConverterError(message + "\n" + kUsageLine + "('corvanex --help' lists the options)", kExitUsage);
}

// A deck of two arguments: a PDF, or an office deck LibreOffice makes one of.
enum class DeckForm { kImages, kPDF, kOffice };

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
           "\n"
           "   or: corvanex [options] <deck.pptx> <output-file>\n"
           "converts an office deck (.pptx, .ppt, .pps, .ppsx, .pot, .potx, .odp, .otp,\n"
           ".fodp or .key) to a PDF with LibreOffice, then that PDF as above, with the\n"
           "options of the PDF form: pages, slide transitions and links are kept,\n"
           "speaker notes and animations within a slide are not.\n"
           "\n" +
           OptionHelp(OptionsOfForm({})) + "\n" + OptionHelp(OptionsOfForm(kPDFForm), "options of the PDF form:") +
           "\n" + OptionHelp(OptionsOfForm(kOfficeForm), "options of office decks:") +
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

namespace {

// The refusals the table's rows give: an option of the other form, then one
// without the option it needs or beside one it is never given with.
void CheckOptionsFitTogether(const CommandLine& line, DeckForm form)
{
    for (const auto& [option, value] : line.options) {
        if (option->form == kPDFForm && form == DeckForm::kImages)
            throw UsageError("option '" + std::string(option->name) + "' is for a PDF deck (<deck.pdf> <output-file>)");
        if (option->form == kOfficeForm && form != DeckForm::kOffice) {
            throw UsageError("option '" + std::string(option->name) +
                             "' is for an office deck (<deck.pptx> <output-file>)");
        }
    }
    for (const OptionSpec& option : kOptions) {
        if (!line.Has(option.name)) continue;
        if ((!option.needs.empty() && !line.Has(option.needs)) || (!option.notWith.empty() && line.Has(option.notWith)))
            throw UsageError("option '" + std::string(option.name) + "' is for " + std::string(option.purpose));
    }
}

NarrationSettings ParseNarrationSettings(const CommandLine& line)
{
    NarrationSettings narration;
    if (const auto bits = line.Value("--bits")) {
        if (bits->size() != 1 || (*bits)[0] < '2' || (*bits)[0] > '5')
            throw UsageError("--bits '" + *bits + "' is not an ADPCM code size: give 2, 3, 4 or 5");
        narration.codeBits = (*bits)[0] - '0';
    }
    if (const auto rate = line.Value("--narration-rate")) {
        const bool digits = !rate->empty() && rate->size() <= 5 && rate->find_first_not_of("0123456789") == std::string::npos;
        if (!digits || NarrationRateCode(static_cast<uint32_t>(std::stoul(*rate))) < 0)
            throw UsageError("--narration-rate '" + *rate + "' is not a narration rate: give 5512, 11025, 22050 or 44100");
        narration.rate = static_cast<uint32_t>(std::stoul(*rate));
    }
    narration.stereo = line.Has("--narration-stereo");
    return narration;
}

// The PDF form's request; `deck` names its input in the refusal of a movie
// over it.
PDFShowRequest ParsePDFRequest(const CommandLine& line, const std::string& deck = "PDF")
{
    PDFShowRequest request;
    request.pdfFile = line.arguments[0];
    request.outputFile = line.arguments[1];
    if (SameFile(request.pdfFile, request.outputFile))
        throw UsageError("the movie '" + request.outputFile + "' would overwrite the " + deck);
    request.raster = line.Has("--raster");
    if (line.Has("--no-annotations")) request.parts = PageParts::ContentOnly;
    request.transitions = !line.Has("--no-transitions");
    request.timings = !line.Has("--no-timings");
    if (const auto maxImageDPI = line.Value("--max-image-dpi"))
        request.maxImageDPI = ParseWholeNumber("--max-image-dpi", *maxImageDPI, 1, kMaxDPIValue);
    if (line.Has("--lossless")) request.encoding.format = PageEncoding::Format::Lossless;
    if (const auto quality = line.Value("--quality"))
        request.encoding.jpeg.quality = ParseWholeNumber("--quality", *quality, 1, 100);
    if (const auto dpi = line.Value("--dpi")) {
        if ((line.Has("--size") && line.Value("--size") != "auto") || line.Has("--config"))
            throw UsageError("option '--dpi' sizes the slide area from the first page, not with '--size' or '--config'");
        request.dpi = ParseWholeNumber("--dpi", *dpi, 1, kMaxDPIValue);
    }
    // --size auto: the first page's size, as without it. The configuration
    // file is read only when named.
    if (const auto size = line.Value("--size"); size && *size != "auto") request.size = ParseSize(*size);
    request.configFile = line.Value("--config").value_or("");
    return request;
}

// The PDF form's request, its input made by LibreOffice; the kept PDF is an
// output, and may be no other.
OfficeShowRequest ParseOfficeRequest(const CommandLine& line, const std::optional<std::string>& htmlFile)
{
    OfficeShowRequest request;
    static_cast<PDFShowRequest&>(request) = ParsePDFRequest(line, "presentation");
    request.deckFile = request.pdfFile;
    request.pdfFile.clear();
    if (const auto seconds = line.Value("--office-timeout"))
        request.officeSeconds = ParseWholeNumber("--office-timeout", *seconds, 1, kMaxOfficeSeconds);
    request.keptPDF = line.Value("--keep-pdf").value_or("");
    if (!request.keptPDF.empty()) {
        const std::pair<std::string, std::string> others[] = {{request.deckFile, "presentation"},
                                                              {request.outputFile, "movie"},
                                                              {htmlFile.value_or(""), "page"}};
        for (const auto& [other, what] : others) {
            if (!other.empty() && SameFile(request.keptPDF, other))
                throw UsageError("the kept PDF '" + request.keptPDF + "' would overwrite the " + what);
        }
    }
    return request;
}

SlideShowRequest ParseImageRequest(const CommandLine& line)
{
    SlideShowRequest request;
    request.imagePrefix = line.arguments[0];
    request.slideCount = ParseSlideCount(line.arguments[1]);
    request.outputFile = line.arguments[2];
    if (const auto size = line.Value("--size")) {
        if (*size == "auto") {
            request.sizeAuto = true;
        } else {
            request.size = ParseSize(*size);
        }
    }
    request.configFile = line.Value("--config").value_or("");
    request.stopLast = line.Has("--stop-last");
    return request;
}

}  // namespace

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
    DeckForm form = DeckForm::kImages;
    if (arguments.size() == 2 && IsPDFName(arguments[0])) form = DeckForm::kPDF;
    if (arguments.size() == 2 && IsOfficeDeckName(arguments[0])) form = DeckForm::kOffice;
    const bool pdfForm = form != DeckForm::kImages;
    // The output named first, as some converters take it.
    if (arguments.size() == 2 && !pdfForm && (IsPDFName(arguments[1]) || IsOfficeDeckName(arguments[1]))) {
        throw UsageError(std::string("the first of two arguments must be the ") +
                         (IsPDFName(arguments[1]) ? "PDF" : "presentation") + ": 'corvanex " + arguments[1] + " " +
                         arguments[0] + "', not '" + arguments[0] + " " + arguments[1] + "'");
    }
    if (arguments.size() < 3 && !pdfForm) {
        command.action = ConverterCommand::Action::kUsage;
        return command;
    }
#ifndef CORVANEX_PDF
    if (form == DeckForm::kOffice) {
        throw ConverterError("built without PDF support, which office decks need: LibreOffice makes a PDF of the deck, "
                             "and the PDF form converts it",
                             kExitUsage);
    }
    if (pdfForm) throw ConverterError("built without PDF support", kExitUsage);
#endif
    if (arguments.size() > 3) {
        const std::string& extra = arguments[3];
        const char* hint = extra.rfind("-", 0) == 0 ? " (options go before the image prefix)" : "";
        throw UsageError("unexpected argument '" + extra + "' after the output file" + hint);
    }
    CheckOptionsFitTogether(line, form);
    command.htmlFile = line.Value("--html");
    command.playerScript = line.Value("--ruffle");
    const NarrationSettings narration = ParseNarrationSettings(line);
    // What both forms take alike.
    const auto common = [&](auto& request) {
        request.forwardFile = line.Value("--forward").value_or("");
        request.backwardFile = line.Value("--backward").value_or("");
        request.stopsFile = line.Value("--stops").value_or("");
        request.keys = line.Has("--keys");
        request.narrationPrefix = line.Value("--narration").value_or("");
        request.narration = narration;
    };
    if (form == DeckForm::kOffice) {
        command.request = ParseOfficeRequest(line, command.htmlFile);
    } else if (pdfForm) {
        command.request = ParsePDFRequest(line);
    } else {
        command.request = ParseImageRequest(line);
    }
    std::visit(common, command.request);
    if (command.htmlFile && SameFile(*command.htmlFile, command.OutputFile()))
        throw UsageError("the page '" + *command.htmlFile + "' would overwrite the movie");
    return command;
}

const std::string& ConverterCommand::OutputFile() const
{
    return std::visit([](const auto& request) -> const std::string& { return request.outputFile; }, request);
}

void ResolveProgramFiles(ConverterCommand& command, const std::string& programFolder)
{
    std::visit(
        [&](auto& request) {
            if (request.forwardFile.empty()) request.forwardFile = programFolder + "forward.jpg";
            if (request.backwardFile.empty()) request.backwardFile = programFolder + "backward.jpg";
        },
        command.request);
    // An image deck reads the configuration beside the program unless told
    // otherwise; a PDF deck only one it is given.
    if (auto* images = std::get_if<SlideShowRequest>(&command.request); images && images->configFile.empty())
        images->configFile = ConfigFileName(programFolder);
}
