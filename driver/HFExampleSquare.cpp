// corvanex: turns a numbered series of slide images into one SWF slide show.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/outputguard.h"
#ifdef CORVANEX_PDF
#include "driver/pdfshow.h"
#endif
#include "driver/progressline.h"
#include "driver/showpage.h"
#include "driver/slideinput.h"
#include "driver/slideshow.h"

namespace {

void CommitPage(PageWriter& pageFile, const ConverterCommand& command, const SlideShowResult& show)
{
    ShowPage page;
    page.movieUrl = MovieUrlFromPage(*command.htmlFile, command.outputFile);
    page.title = std::filesystem::path(command.outputFile).stem().string();
    page.playerScript = command.playerScript.value_or(kDefaultPlayerScript);
    page.width = show.area.width;
    page.height = show.area.height + 40;
    pageFile.Commit(ShowPageHtml(page));
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
    request.keys = command.keys;
    request.warn = [](const std::string& message) { std::fprintf(stderr, "corvanex: %s\n", message.c_str()); };
    request.tell = request.warn;
    // Made before the movie is written and filled after, as for image decks.
    std::optional<PageWriter> pageFile;
    if (command.htmlFile) pageFile.emplace(*command.htmlFile);
    const SlideShowResult show = GeneratePDFMovie(request);
    WarnOfReturnTargets(show);
    if (pageFile) CommitPage(*pageFile, command, show);
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
    WarnOfReturnTargets(show);
    if (show.scaledSlides > 0) {
        std::fprintf(stderr,
                     "corvanex: %d of %d slides differ from the %d x %d slide area and were scaled to fit it "
                     "('--size auto' takes the first slide's size)\n",
                     show.scaledSlides, request.slideCount, show.area.width, show.area.height);
    }
    if (!show.narrationPlaysOn.empty()) {
        std::string slides;
        const std::vector<int32_t>& on = show.narrationPlaysOn;
        for (size_t i = 0; i < on.size(); ++i)
            slides += (i == 0 ? "" : i + 1 == on.size() ? " and " : ", ") + std::to_string(on[i]);
        const bool one = on.size() == 1;
        std::fprintf(stderr,
                     "corvanex: %s %s %s narrated but not %s: %s narration plays on into the next slides "
                     "until a click\n",
                     one ? "slide" : "slides", slides.c_str(), one ? "is" : "are", one ? "a stop point" : "stop points",
                     one ? "its" : "their");
    }

    if (pageFile) CommitPage(*pageFile, command, show);
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
