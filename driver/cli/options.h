#pragma once

// The converter's command line: its option table, the usage text built from
// it, and the checks that turn the words of a command line into a request.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "driver/cli/optiontable.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "driver/encode/narration.h"
#include "driver/forms/imageform.h"
#include "driver/forms/officeform.h"
#include "driver/forms/pdfform.h"

// Every option of the converter, in the order --help lists them (the options
// of every form, then those of the PDF form). The user's guide's option table
// lists the same, with the same defaults (a test holds it to this).
std::span<const OptionSpec> ConverterOptionTable();

// The whole --help text.
std::string ConverterUsage();

// "corvanex <version>\n", for --version.
std::string ConverterVersion();

// What a command line asks for: the form's request, and the page that plays
// its movie. The converter's own files that the command leaves out (the
// button images; an image deck's configuration file) are empty until
// ResolveProgramFiles names them.
struct ConverterCommand {
    enum class Action {
        kConvert,
        kHelp,
        kVersion,
        kUsage,  // too few arguments: the usage text on standard error, status 2
    };
    Action action = Action::kConvert;
    // An image deck (<image-prefix> <slide-count> <output-file>), a PDF deck
    // (<deck.pdf> <output-file>) or an office deck (<deck.pptx> <output-file>).
    std::variant<SlideShowRequest, PDFShowRequest, OfficeShowRequest> request;
    std::optional<std::string> htmlFile, playerScript;  // --html, --ruffle

    const std::string& OutputFile() const;
};

// The button images beside the program, and an image deck's configuration
// file, where the command names none.
void ResolveProgramFiles(ConverterCommand& command, const std::string& programFolder);

// Reads the words after the program's name. Throws ConverterError with status
// kExitUsage and the message the converter prints (after "corvanex: ").
ConverterCommand ParseConverterCommandLine(const std::vector<std::string>& words);

// The slide count: a whole non-negative decimal number up to kMaxSlideCount.
int32_t ParseSlideCount(const std::string& text);

// --size: WxH, each side a whole number of pixels from 1 to kMaxSlideSide.
SlideSize ParseSize(const std::string& text);
