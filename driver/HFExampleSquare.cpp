// corvanex: turns a numbered series of slide images into one SWF slide show.

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/futf8names.h"
#include "driver/cli/endreport.h"
#include "driver/cli/options.h"
#include "driver/cli/progressline.h"
#include "driver/core/error.h"
#include "driver/core/outputguard.h"
#include "driver/input/configfiles.h"
#include "driver/input/programfolder.h"
#include "driver/output/htmlpage.h"
#include "driver/output/playercopy.h"

namespace {

void PrintReport(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) std::fprintf(stderr, "corvanex: %s\n", line.c_str());
}

// The page, and beside it the player it loads by default when its folder has
// none: a player named with --ruffle is the user's to place.
void CommitPage(PageWriter& pageFile, const ConverterCommand& command, const SlideShowResult& show,
                const std::string& directory)
{
    ShowPage page;
    page.movieUrl = MovieUrlFromPage(*command.htmlFile, command.OutputFile());
    page.title = FUTF8FromPath(FPathFromUTF8(command.OutputFile()).stem());
    page.playerScript = command.playerScript.value_or(kDefaultPlayerScript);
    page.width = show.area.width;
    page.height = show.area.height + 40;
    pageFile.Commit(ShowPageHtml(page));
    if (command.playerScript) return;
    const std::string warning = PutPlayerBesidePage(*command.htmlFile, FindInstalledPlayer(directory));
    if (!warning.empty()) std::fprintf(stderr, "corvanex: %s\n", warning.c_str());
}

// The PDF form: the deck's own pages at the size they are shown; the
// configuration beside the program is not read. An office deck is made a PDF
// first.
template <typename Request>
int RunPDF(const ConverterCommand& command, Request request, const std::string& directory)
{
#ifdef CORVANEX_PDF
#ifdef __GLIBC__
    // A page's pixmaps and pictures, megabytes each, are made and freed over
    // and over: kept in the heap for the next, not mapped and unmapped (and
    // faulted in page by page) each time, which took a sixth of a real
    // deck's time. Up to 64 MiB stays unreturned.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    // On a terminal only, once the page count is known.
    std::optional<ProgressLine> progress;
    if (isatty(STDERR_FILENO)) {
        const char* done = request.raster ? "rendered" : "drawn";
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
    SlideShowResult show;
    if constexpr (std::is_same_v<Request, OfficeShowRequest>) {
        show = GenerateOfficeMovie(request);
    } else {
        show = GeneratePDFMovie(request);
    }
    progress.reset();  // its line ended before any other
    PrintReport(PDFDeckReport(show));
    if (pageFile) CommitPage(*pageFile, command, show, directory);
    return 0;
#else
    (void)command;
    (void)request;
    (void)directory;
    throw ConverterError("built without PDF support", kExitUsage);
#endif
}

int RunImages(const ConverterCommand& command, SlideShowRequest request, const std::string& directory)
{
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
    PrintReport(ImageDeckReport(show, request.slideCount, request.stopLast));
    if (pageFile) CommitPage(*pageFile, command, show, directory);
    return 0;
}

int Run(int argc, char** argv)
{
    ConverterCommand command = ParseConverterCommandLine(CommandWords(argc, argv));
    switch (command.action) {
    case ConverterCommand::Action::kHelp: std::fputs(ConverterUsage().c_str(), stdout); return 0;
    case ConverterCommand::Action::kVersion: std::fputs(ConverterVersion().c_str(), stdout); return 0;
    case ConverterCommand::Action::kUsage: std::fputs(ConverterUsage().c_str(), stderr); return kExitUsage;
    case ConverterCommand::Action::kConvert: break;
    }

    // The outputs are checked before any input is read, and no input may be one of them.
    const auto* office = std::get_if<OfficeShowRequest>(&command.request);
    std::optional<std::string> keptPDF;
    if (office && !office->keptPDF.empty()) keptPDF = office->keptPDF;
    const OutputGuard guard(command.OutputFile(), command.htmlFile, keptPDF);
    const std::string directory = FindExecutableDirectory(argv[0]);
    ResolveProgramFiles(command, directory);
    if (auto* pdf = std::get_if<PDFShowRequest>(&command.request)) return RunPDF(command, *pdf, directory);
    if (office) return RunPDF(command, *office, directory);
    return RunImages(command, std::get<SlideShowRequest>(command.request), directory);
}

}  // namespace

#ifdef _WIN32
// The arguments in UTF-16, as Windows gives them: a name outside the ANSI
// code page reaches the converter whole, in UTF-8 like every name inside it.
int wmain(int argc, wchar_t** wideArguments)
{
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) words.push_back(FUTF8FromWide(wideArguments[i]));
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    char** argv = arguments.data();
#else
int main(int argc, char** argv)
{
#endif
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
