// corvanex: turns a numbered series of slide images into one SWF slide show.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "driver/cli/options.h"
#include "driver/core/outputguard.h"
#include "driver/output/playercopy.h"
#ifdef CORVANEX_PDF
#include "driver/forms/pdfform.h"
#endif
#include "driver/cli/progressline.h"
#include "driver/compose/showcomposer.h"
#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/forms/imageform.h"
#include "driver/input/configfiles.h"
#include "driver/input/programfolder.h"
#include "driver/output/htmlpage.h"

namespace {

// The page, and beside it the player it loads by default when its folder has
// none: a player named with --ruffle is the user's to place.
void CommitPage(PageWriter& pageFile, const ConverterCommand& command, const SlideShowResult& show,
                const std::string& directory)
{
    ShowPage page;
    page.movieUrl = MovieUrlFromPage(*command.htmlFile, command.outputFile);
    page.title = std::filesystem::path(command.outputFile).stem().string();
    page.playerScript = command.playerScript.value_or(kDefaultPlayerScript);
    page.width = show.area.width;
    page.height = show.area.height + 40;
    pageFile.Commit(ShowPageHtml(page));
    if (command.playerScript) return;
    const std::string warning = PutPlayerBesidePage(*command.htmlFile, FindInstalledPlayer(directory));
    if (!warning.empty()) std::fprintf(stderr, "corvanex: %s\n", warning.c_str());
}

// Stop-file entries that backward buttons return to but that no 16-bit frame
// number holds: the buttons go to their low 16 bits, as they always did.
void WarnOfReturnTargets(const SlideShowResult& show)
{
    const std::vector<int32_t>& values = show.returnTargetsOutOfRange;
    if (values.empty()) return;
    constexpr size_t kNamed = 8;  // a file of garbage could give many
    std::string list, frames;
    const size_t named = std::min(values.size(), kNamed);
    for (size_t i = 0; i < named; ++i) {
        const char* separator = i == 0 ? "" : i + 1 == values.size() ? " and " : ", ";
        list += separator + std::to_string(values[i]);
        frames += separator + std::to_string(FrameNumberOfEntry(values[i]));
    }
    if (values.size() > named) {
        list += " and " + std::to_string(values.size() - named) + " more";
        frames += ", ...";
    }
    std::fprintf(stderr,
                 "corvanex: in the stop-point file '%s', the return %s %s %s outside 0 to 65535; backward "
                 "buttons go to their low 16 bits (%s)\n",
                 show.stopsFile.c_str(), values.size() == 1 ? "frame" : "frames", list.c_str(),
                 values.size() == 1 ? "is" : "are", frames.c_str());
}

// Narrated slides that are no stop point: their narration plays on until a click.
void WarnOfNarrationPlayingOn(const SlideShowResult& show)
{
    const std::vector<int32_t>& on = show.narrationPlaysOn;
    if (on.empty()) return;
    std::string slides;
    for (size_t i = 0; i < on.size(); ++i)
        slides += (i == 0 ? "" : i + 1 == on.size() ? " and " : ", ") + std::to_string(on[i]);
    const bool one = on.size() == 1;
    std::fprintf(stderr,
                 "corvanex: %s %s %s narrated but not %s: %s narration plays on into the next slides "
                 "until a click\n",
                 one ? "slide" : "slides", slides.c_str(), one ? "is" : "are", one ? "a stop point" : "stop points",
                 one ? "its" : "their");
}

// An image deck without a stop-point file stops on every slide; one line says
// so, naming the files looked for, since a deck meant to play through would
// otherwise only show it when played.
void NoteStopsOnEverySlide(const SlideShowResult& show, bool stopLast)
{
    const std::vector<std::string>& tried = show.stopFilesTried;
    if (tried.empty()) return;
    std::string names;
    for (size_t i = 0; i < tried.size(); ++i) names += (i == 0 ? "'" : "' or '") + tried[i];
    std::fprintf(stderr, "corvanex: no stop-point file %s': the show stops on every slide%s\n", names.c_str(),
                 stopLast ? "" : " but the last, which plays on to the closing notice (--stop-last makes it wait)");
}

// The PDF form: the deck's own pages at the size they are shown; the
// configuration beside the program is not read.
int RunPDF(const ConverterCommand& command, const std::string& directory)
{
#ifdef CORVANEX_PDF
    PDFShowRequest request;
    request.pdfFile = command.pdfFile;
    request.outputFile = command.outputFile;
    request.forwardFile = command.forwardFile.value_or(directory + "forward.jpg");
    request.backwardFile = command.backwardFile.value_or(directory + "backward.jpg");
    if (command.stopsFile) request.stopsFile = *command.stopsFile;
    request.size = command.size;  // --size auto: the first page's size, as without it
    request.configFile = command.configFile.value_or("");
    request.dpi = command.dpi.value_or(kDefaultDPI);
    if (command.lossless) request.encoding.format = PageEncoding::Format::Lossless;
    if (command.quality) request.encoding.jpeg.quality = *command.quality;
    request.raster = command.raster;
    request.maxImageDPI = command.maxImageDPI.value_or(0);
    request.keys = command.keys;
    request.narrationPrefix = command.narrationPrefix.value_or("");
    request.narration = command.narration;
    // On a terminal only, once the page count is known.
    std::optional<ProgressLine> progress;
    if (isatty(STDERR_FILENO)) {
        const char* done = command.raster ? "rendered" : "drawn";
        request.onPageComposed = [&progress, done](int32_t pages, int32_t total, uint64_t bytes) {
            if (pages == 1 && total >= ProgressLine::kMinPages) progress.emplace(stderr, total, done, "pages");
            if (progress) progress->Update(pages, bytes);
        };
    }
    request.warn = [&progress](const std::string& message) {
        if (progress) progress->Break();  // the warning on a line of its own
        std::fprintf(stderr, "corvanex: %s\n", message.c_str());
    };
    request.tell = request.warn;
    // Made before the movie is written and filled after, as for image decks.
    std::optional<PageWriter> pageFile;
    if (command.htmlFile) pageFile.emplace(*command.htmlFile);
    const SlideShowResult show = GeneratePDFMovie(request);
    progress.reset();  // its line ended before any other
    WarnOfReturnTargets(show);
    WarnOfNarrationPlayingOn(show);
    if (pageFile) CommitPage(*pageFile, command, show, directory);
    return 0;
#else
    (void)command;
    (void)directory;
    throw ConverterError("built without PDF support", kExitUsage);
#endif
}

int Run(int argc, char** argv)
{
    const ConverterCommand command = ParseConverterCommandLine(CommandWords(argc, argv));
    switch (command.action) {
    case ConverterCommand::Action::kHelp: std::fputs(ConverterUsage().c_str(), stdout); return 0;
    case ConverterCommand::Action::kVersion: std::fputs(ConverterVersion().c_str(), stdout); return 0;
    case ConverterCommand::Action::kUsage: std::fputs(ConverterUsage().c_str(), stderr); return kExitUsage;
    case ConverterCommand::Action::kConvert: break;
    }

    // The outputs are checked before any input is read, and no input may be one of them.
    const OutputGuard guard(command.outputFile, command.htmlFile);
    const std::string directory = FindExecutableDirectory(argv[0]);
    if (!command.pdfFile.empty()) return RunPDF(command, directory);
    SlideShowRequest request;
    request.imagePrefix = command.imagePrefix;
    request.slideCount = command.slideCount;
    request.outputFile = command.outputFile;
    request.size = command.size;
    request.sizeAuto = command.sizeAuto;
    if (command.stopsFile) request.stopsFile = *command.stopsFile;
    request.configFile = command.configFile.value_or(ConfigFileName(directory));
    request.forwardFile = command.forwardFile.value_or(directory + "forward.jpg");
    request.backwardFile = command.backwardFile.value_or(directory + "backward.jpg");
    request.keys = command.keys;
    request.stopLast = command.stopLast;
    request.narrationPrefix = command.narrationPrefix.value_or("");
    request.narration = command.narration;

    // Standard output keeps the library's lines; progress goes to a terminal only.
    std::optional<ProgressLine> progress;
    if (request.slideCount >= ProgressLine::kMinSlides && isatty(STDERR_FILENO)) {
        progress.emplace(stderr, request.slideCount);
        request.onSlideRead = [&progress](int32_t slides, uint64_t bytes) { progress->Update(slides, bytes); };
    }
    // The page is sized to the movie, so it needs the slide size first; its
    // file is made before the movie is written and filled after.
    std::optional<PageWriter> pageFile;
    if (command.htmlFile) {
        if (!request.size && !request.sizeAuto) request.size = ReadConfig(request.configFile);
        pageFile.emplace(*command.htmlFile);
    }

    const SlideShowResult show = GenerateSlideMovie(request);
    progress.reset();  // its line ended before any other
    NoteStopsOnEverySlide(show, request.stopLast);
    WarnOfReturnTargets(show);
    if (show.scaledSlides > 0) {
        std::fprintf(stderr,
                     "corvanex: %d of %d slides differ from the %d x %d slide area and were scaled to fit it "
                     "('--size auto' takes the first slide's size)\n",
                     show.scaledSlides, request.slideCount, show.area.width, show.area.height);
    }
    WarnOfNarrationPlayingOn(show);

    if (pageFile) CommitPage(*pageFile, command, show, directory);
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
