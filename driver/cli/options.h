#pragma once

// The converter's command line: its option table, the usage text built from
// it, and the checks that turn the words of a command line into a request.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/cli/optiontable.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "driver/encode/narration.h"

// Every option of the converter, in the order --help lists them. README.md's
// option table lists the same, with the same defaults (a test holds it to this).
std::span<const OptionSpec> ConverterOptionTable();

// The whole --help text.
std::string ConverterUsage();

// "corvanex <version>\n", for --version.
std::string ConverterVersion();

// What a command line asks for. Option values are kept as given; file names
// that default to files beside the program are resolved by the caller.
struct ConverterCommand {
    enum class Action {
        kConvert,
        kHelp,
        kVersion,
        kUsage,  // too few arguments: the usage text on standard error, status 2
    };
    Action action = Action::kConvert;
    // The PDF form (two arguments, the first ending in .pdf): the deck; empty otherwise.
    std::string pdfFile;
    std::optional<int32_t> quality, dpi;  // PDF form; unset: the defaults
    std::optional<int32_t> maxImageDPI;   // PDF form, vector pages; unset: no cap
    bool lossless = false;                // PDF form
    bool raster = false;                  // PDF form: pages as pictures
    std::string imagePrefix;
    int32_t slideCount = 0;
    std::string outputFile;
    std::optional<std::string> configFile, stopsFile, forwardFile, backwardFile, htmlFile, playerScript;
    std::optional<SlideSize> size;
    bool sizeAuto = false;  // --size auto: the first slide's size
    bool keys = false;
    bool stopLast = false;  // --stop-last; the PDF form's last page always waits
    std::optional<std::string> narrationPrefix;  // --narration
    NarrationSettings narration;                 // --bits, --narration-rate, --narration-stereo
};

// Reads the words after the program's name. Throws ConverterError with status
// kExitUsage and the message the converter prints (after "corvanex: ").
ConverterCommand ParseConverterCommandLine(const std::vector<std::string>& words);

// The slide count: a whole non-negative decimal number up to kMaxSlideCount.
int32_t ParseSlideCount(const std::string& text);

// --size: WxH, each side a whole number of pixels from 1 to kMaxSlideSide.
SlideSize ParseSize(const std::string& text);
