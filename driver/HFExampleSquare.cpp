// corvanex: turns a numbered series of JPEG slides into one SWF slide show.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "driver/slideinput.h"
#include "driver/slideshow.h"

namespace {

const char* const kUsage =
    "usage: corvanex [options] <image-prefix> <slide-count> <output-file>\n"
    "\n"
    "Converts the slides <image-prefix>1.jpg ... <image-prefix><slide-count>.jpg into one\n"
    "SWF movie with forward and backward buttons, stopping on the frames listed in\n"
    "<image-prefix>.stp (one 0-based frame index per line).\n"
    "\n"
    "options:\n"
    "  --config FILE     slide width and height, one per line (default: config.txt beside the program)\n"
    "  --forward FILE    forward button image, a JPEG (default: forward.jpg beside the program)\n"
    "  --backward FILE   backward button image, a JPEG (default: backward.jpg beside the program)\n"
    "  --help            print this text and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "exit status: 0 success, 1 an input or output file failed, 2 wrong command line\n";

void Fail(const std::string& message, int status)
{
    std::fprintf(stderr, "corvanex: %s\n", message.c_str());
    std::exit(status);
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

int Run(int argc, char** argv)
{
    std::optional<std::string> config, forward, backward;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("corvanex %s\n", CORVANEX_VERSION);
            return 0;
        }
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument.size() < 2 || argument.substr(0, 2) != "--") break;
        std::optional<std::string>* target = argument == "--config"     ? &config
                                             : argument == "--forward"  ? &forward
                                             : argument == "--backward" ? &backward
                                                                        : nullptr;
        if (!target) throw ConverterError("unknown option '" + std::string(argument) + "'\n" + kUsage, kExitUsage);
        if (i + 1 >= argc) throw ConverterError("option '" + std::string(argument) + "' needs a file name", kExitUsage);
        *target = argv[++i];
    }
    if (argc - i < 3) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    const std::string directory = FindExecutableDirectory(argv[0]);
    SlideShowRequest request;
    request.imagePrefix = argv[i];
    request.slideCount = ParseSlideCount(argv[i + 1]);
    request.outputFile = argv[i + 2];
    request.configFile = config.value_or(ConfigFileName(directory));
    request.forwardFile = forward.value_or(directory + "forward.jpg");
    request.backwardFile = backward.value_or(directory + "backward.jpg");
    GenerateSlideMovie(request);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // Past a file-size limit a write should fail (and be reported), not kill us.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    try {
        return Run(argc, argv);
    } catch (const ConverterError& error) {
        Fail(error.what(), error.ExitStatus());
    } catch (const std::bad_alloc&) {
        Fail("out of memory", kExitFailure);
    }
    return 0;
}
