// corvanex: turns a numbered series of slide images into one SWF slide show.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "driver/progressline.h"
#include "driver/showpage.h"
#include "driver/slideinput.h"
#include "driver/slideshow.h"

namespace {

const char* const kUsageLine = "usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n";

// Every option with its default; the manual page corvanex.1 says the same.
const char* const kOptions =
    "options:\n"
    "  --config FILE     slide width and height in pixels, one per line\n"
    "                    (default: config.txt beside the program)\n"
    "  --size WxH        slide size in pixels, instead of the configuration file; 'auto':\n"
    "                    the first slide's size (default: from the configuration file)\n"
    "  --stops FILE      the stop-point file (default: <image-prefix>.stp; for a prefix ending\n"
    "                    in '.', '-' or '_' without that character when that file is missing)\n"
    "  --forward FILE    forward button image, a JPEG (default: forward.jpg beside the program)\n"
    "  --backward FILE   backward button image, a JPEG (default: backward.jpg beside the program)\n"
    "  --keys            the forward button also answers Right, Page Down and Space, the\n"
    "                    backward button Left and Page Up (default: off, buttons answer clicks only)\n"
    "  --html FILE       also write an HTML page that plays the movie in a browser through the\n"
    "                    Ruffle web player (default: no page)\n"
    "  --ruffle URL      where the page loads the player's script from, with --html\n"
    "                    (default: ruffle/ruffle.js, beside the page)\n"
    "  --help            print this text and exit\n"
    "  --version         print the version and exit\n";

std::string Usage()
{
    return std::string(kUsageLine) +
           "\n"
           "Converts the slides <image-prefix>1.jpg ... <image-prefix><slide-count>.jpg into one\n"
           "SWF movie with forward and backward buttons, stopping on the frames listed in\n"
           "<image-prefix>.stp (one 0-based frame index per line).\n"
           "Slides are also found numbered 01, 001, 0001 or 00001 and ending in .jpeg, .JPG,\n"
           "or .JPEG, as presentation programs export them: 'corvanex Slide 12 talk.swf' reads\n"
           "Slide1.JPG ..., 'corvanex talk. 12 talk.swf' talk.001.jpeg ... with talk.stp, and\n"
           "'corvanex talk- 12 talk.swf' talk-01.jpg ... (pdftoppm -jpeg). Slide 1 fixes the\n"
           "numbering. A slide of another size than the slide area is scaled to fit it.\n"
           "\n" +
           kOptions +
           "\n"
           "exit status: 0 success, 1 an input or output file failed, 2 wrong command line\n";
}

std::string UsageError(const std::string& message)
{
    return message + "\n" + kUsageLine + "('corvanex --help' lists the options)";
}

// A whole non-negative decimal number and nothing else.
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

// WxH, each side a whole number of pixels from 1 to the largest slide side.
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

struct Options {
    std::optional<std::string> config, forward, backward, size, stops, html, ruffle;
    bool keys = false;
};

// Options come before the three arguments, as --name VALUE or --name=VALUE;
// "--" ends them. Returns the index of the first argument.
int ParseOptions(int argc, char** argv, Options& options, bool& done)
{
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") return i + 1;
        if (argument.size() < 2 || argument.substr(0, 2) != "--") return i;
        const size_t equals = argument.find('=');
        const std::string name(argument.substr(0, equals));
        if (name == "--help" || name == "--version" || name == "--keys") {
            if (equals != std::string_view::npos)
                throw ConverterError(UsageError("option '" + name + "' takes no value"), kExitUsage);
            if (name == "--keys") {
                options.keys = true;
                continue;
            }
            if (name == "--help") {
                std::fputs(Usage().c_str(), stdout);
            } else {
                std::printf("corvanex %s\n", CORVANEX_VERSION);
            }
            done = true;
            return i;
        }
        std::optional<std::string>* target = name == "--config"     ? &options.config
                                             : name == "--size"     ? &options.size
                                             : name == "--stops"    ? &options.stops
                                             : name == "--forward"  ? &options.forward
                                             : name == "--backward" ? &options.backward
                                             : name == "--html"     ? &options.html
                                             : name == "--ruffle"   ? &options.ruffle
                                                                    : nullptr;
        if (!target) throw ConverterError(UsageError("unknown option '" + name + "'"), kExitUsage);
        if (equals != std::string_view::npos) {
            *target = std::string(argument.substr(equals + 1));
        } else if (i + 1 < argc) {
            *target = argv[++i];
        } else {
            throw ConverterError(UsageError("option '" + name + "' needs a value"), kExitUsage);
        }
        if ((*target)->empty()) throw ConverterError(UsageError("option '" + name + "' needs a value"), kExitUsage);
    }
    return i;
}

bool SameFile(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code error;
    return fs::weakly_canonical(fs::absolute(a, error), error) == fs::weakly_canonical(fs::absolute(b, error), error);
}

int Run(int argc, char** argv)
{
    Options options;
    bool done = false;
    const int i = ParseOptions(argc, argv, options, done);
    if (done) return 0;
    if (argc - i < 3) {
        std::fputs(Usage().c_str(), stderr);
        return kExitUsage;
    }
    if (argc - i > 3) {
        const std::string extra = argv[i + 3];
        const char* hint = extra.rfind("-", 0) == 0 ? " (options go before the image prefix)" : "";
        throw ConverterError(UsageError("unexpected argument '" + extra + "' after the output file" + hint), kExitUsage);
    }
    if (options.ruffle && !options.html)
        throw ConverterError(UsageError("option '--ruffle' is for the page of '--html'"), kExitUsage);

    const std::string directory = FindExecutableDirectory(argv[0]);
    SlideShowRequest request;
    request.imagePrefix = argv[i];
    request.slideCount = ParseSlideCount(argv[i + 1]);
    request.outputFile = argv[i + 2];
    if (options.size && *options.size == "auto") {
        request.sizeAuto = true;
    } else if (options.size) {
        request.size = ParseSize(*options.size);
    }
    if (options.stops) request.stopsFile = *options.stops;
    if (options.html && SameFile(*options.html, request.outputFile)) {
        throw ConverterError(UsageError("the page '" + *options.html + "' would overwrite the movie"), kExitUsage);
    }
    request.configFile = options.config.value_or(ConfigFileName(directory));
    request.forwardFile = options.forward.value_or(directory + "forward.jpg");
    request.backwardFile = options.backward.value_or(directory + "backward.jpg");
    request.keys = options.keys;

    // Standard output keeps the library's lines; progress goes to a terminal only.
    std::optional<ProgressLine> progress;
    if (request.slideCount >= ProgressLine::kMinSlides && isatty(STDERR_FILENO)) {
        progress.emplace(stderr, request.slideCount);
        request.onSlideRead = [&progress](int32_t slides, uint64_t bytes) { progress->Update(slides, bytes); };
    }
    // The page is sized to the movie, so it needs the slide size first; its
    // file is made before the movie is written and filled after.
    std::optional<PageWriter> pageFile;
    if (options.html) {
        if (!request.size && !request.sizeAuto) request.size = ReadConfig(request.configFile);
        pageFile.emplace(*options.html);
    }

    const SlideShowResult show = GenerateSlideMovie(request);
    progress.reset();  // its line ended before any other
    if (show.scaledSlides > 0) {
        std::fprintf(stderr,
                     "corvanex: %d of %d slides differ from the %d x %d slide area and were scaled to fit it "
                     "('--size auto' takes the first slide's size)\n",
                     show.scaledSlides, request.slideCount, show.area.width, show.area.height);
    }

    if (pageFile) {
        ShowPage page;
        page.movieUrl = MovieUrlFromPage(*options.html, request.outputFile);
        page.title = std::filesystem::path(request.outputFile).stem().string();
        page.playerScript = options.ruffle.value_or(kDefaultPlayerScript);
        page.width = show.area.width;
        page.height = show.area.height + 40;
        pageFile->Commit(ShowPageHtml(page));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // Past a file-size limit a write should fail (and be reported), not kill us.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    int status = 0;
    try {
        status = Run(argc, argv);
    } catch (const ConverterError& error) {
        std::fprintf(stderr, "corvanex: %s\n", error.what());
        status = error.ExitStatus();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "corvanex: out of memory\n");
        status = kExitFailure;
    }
    return status;
}
