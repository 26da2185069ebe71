#include "driver/forms/imageform.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "base/futf8names.h"
#include "driver/compose/slideframes.h"
#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/orderedpool.h"
#include "driver/core/spillfile.h"
#include "driver/input/configfiles.h"
#include "driver/input/jpegfile.h"
#include "driver/input/numberedfiles.h"
#include "driver/input/pngslide.h"
#include "driver/compose/showcomposer.h"
#include "driver/compose/slidelayout.h"
#include "driver/core/slidesize.h"
#include "hf/hfaction.h"
#include "hf/hfmovie.h"

namespace {

std::string ExtensionList()
{
    std::string list;
    const std::vector<std::string>& extensions = SlideImageExtensions();
    for (size_t i = 1; i < extensions.size(); ++i)
        list += (i == 1 ? "" : i + 1 == extensions.size() ? " or " : ", ") + extensions[i];
    return list;
}

bool IsFolder(const std::string& name)
{
    std::error_code error;
    return std::filesystem::is_directory(FPathFromUTF8(name), error);
}

// The numbering slide 1 fixes for the deck.
FileNumbering FindSlideNumbering(const std::string& prefix)
{
    std::optional<FileNumbering> numbering = FindFileNumbering(prefix, 1, SlideImageExtensions());
    if (!numbering && IsFolder(prefix)) {
        // The folder the slides are in, without the start of their names.
        std::string message = "cannot open the slide image '" + SlideFileName(prefix, 1) + "': the image prefix '" +
                              prefix + "' is a folder";
        if (const std::optional<FirstNumberedFile> first = FindFirstNumberedFile(prefix, SlideImageExtensions())) {
            message += "; its first slide file is '" + first->name + "', so the prefix may be '" + first->prefix + "'";
        } else {
            message += " with no slide file in it (a name ending in a number and .jpg, " + ExtensionList() + ")";
        }
        throw ConverterError(message, kExitFailure);
    }
    if (!numbering) {
        throw ConverterError("cannot open the slide image '" + SlideFileName(prefix, 1) +
                                 "': No such file or directory (nor a slide 1 numbered 01 to 00001, or ending in " +
                                 ExtensionList() + ")",
                             kExitFailure);
    }
    return *numbering;
}

std::string SlideImageNamed(int32_t n, const std::string& file)
{
    return "slide " + std::to_string(n) + ", the slide image '" + file + "',";
}

// PNG slides are decoded and compressed on every core, each composed in order
// as soon as it is ready: decoded pixels exist only for the slides being
// compressed; compressed ones go to `spill` as they are made (without one,
// they are held until the movie is written).
void ComposePNGSlides(HFMovie& movie, std::vector<SlideSource>& slides, const ShowParts& show,
                      const std::function<void(int32_t, uint64_t)>& onSlideRead, SpillFile* spill,
                      MovieLengthTally& tally)
{
    // Names copied out first: workers read them while slides change.
    std::vector<std::string> names;
    std::vector<uint64_t> fileSizes;
    names.reserve(slides.size());
    fileSizes.reserve(slides.size());
    for (const SlideSource& slide : slides) {
        names.push_back(std::get<PNGSlideFile>(slide.image).name);
        fileSizes.push_back(std::get<PNGSlideFile>(slide.image).fileSize);
    }
    uint64_t bytesRead = 0;
    RunOrdered(
        slides.size(), [&names, spill](size_t i) { return EncodePNGSlide(names[i], kLosslessSlideLevel, spill); },
        [&](size_t i, LosslessSlide&& encoded) {
            SlideSource& source = slides[i];
            // The matte and the character budget were settled from the header.
            if (encoded.width != source.size.width || encoded.height != source.size.height ||
                (encoded.alpha && !source.mayBeTransparent)) {
                throw ConverterError("the slide image '" + names[i] + "' changed while it was being read", kExitFailure);
            }
            source.image = std::move(encoded);
            ComposeSlide(movie, static_cast<int32_t>(i + 1), source, show);
            CountSlideFrame(movie, static_cast<int32_t>(i + 1), show, tally, SlideImageNamed(static_cast<int32_t>(i + 1), names[i]));
            bytesRead += fileSizes[i];
            if (onSlideRead) onSlideRead(static_cast<int32_t>(i + 1), bytesRead);
        });
}

}  // namespace

SlideShowResult GenerateSlideMovie(const SlideShowRequest& request, SlideHandover handover)
{
    HFMovie movie;
    // A stop file that is there is read as it always was; without one, the
    // show stops on every slide, as a PDF deck's does.
    std::string stopsFile = request.stopsFile;
    if (stopsFile.empty()) stopsFile = FindStopFile(request.imagePrefix).value_or("");
    const std::vector<int32_t> stopTable =
        stopsFile.empty() ? StopOnEveryPage(request.slideCount) : ReadStopPoints(stopsFile);
    // The narration files are found (not yet decoded) before any slide is read.
    std::vector<std::string> narrationFiles;
    if (!request.narrationPrefix.empty())
        narrationFiles = FindNarrationFiles(request.narrationPrefix, request.slideCount);
    const auto sounds = static_cast<int32_t>(
        std::count_if(narrationFiles.begin(), narrationFiles.end(), [](const std::string& name) { return !name.empty(); }));
    // A PNG deck's buttons share their faces; a deck whose first slide is
    // not found is refused below, unless its size is first.
    std::optional<FileNumbering> firstSlide;
    if (request.slideCount > 0) firstSlide = FindFileNumbering(request.imagePrefix, 1, SlideImageExtensions());
    const ButtonFaces faces =
        firstSlide && IsPNGName(firstSlide->extension) ? ButtonFaces::kShared : ButtonFaces::kEachFrame;
    // Refused before any slide is read when the movie could not name its
    // characters even without mattes; how many mattes there are is known once
    // every slide's header has been read, and checked then.
    CheckCharacterBudget(request.slideCount, stopTable, 0, sounds, faces);
    // With --size auto, the first slide's, once its header is read.
    SlideSize configured;
    if (!request.sizeAuto) configured = request.size ? *request.size : ReadConfig(request.configFile);
    if (request.sizeAuto && request.slideCount <= 0)
        throw ConverterError("--size auto takes the slide size from the first slide, and the deck has none", kExitUsage);
    const std::vector<uint8_t> forwardImage = LoadWholeFile(request.forwardFile, "forward button image");
    CheckJPEG(forwardImage, request.forwardFile, "forward button image");
    const std::vector<uint8_t> backwardImage = LoadWholeFile(request.backwardFile, "backward button image");
    CheckJPEG(backwardImage, request.backwardFile, "backward button image");

    // Every slide's header first: the sizes decide the mattes, and with them
    // the characters the movie needs, before anything is composed. Handed over
    // by file, each slide stays on disk (and open, while descriptors last)
    // until the movie copies it in.
    const FileNumbering numbering = firstSlide                 ? *firstSlide
                                    : request.slideCount > 0 ? FindSlideNumbering(request.imagePrefix)
                                                             : FileNumbering{request.imagePrefix, 0, ".jpg"};
    // The first slide's name fixes the extension, so a deck is all PNG or all JPEG.
    const bool pngDeck = IsPNGName(numbering.extension);
    const size_t keptOpen =
        handover == SlideHandover::kFiles && !pngDeck ? SlideFilesKeptOpen(request.slideCount) : 0;
    std::vector<std::vector<uint8_t>> slidesInMemory;
    if (handover == SlideHandover::kInMemory) slidesInMemory.reserve(static_cast<size_t>(request.slideCount));
    std::vector<SlideSource> slides;
    slides.reserve(static_cast<size_t>(std::max(request.slideCount, 0)));
    uint64_t bytesRead = 0;
    for (int32_t n = 1; n <= request.slideCount; ++n) {
        const std::string name = numbering.Name(n);
        SlideSource source;
        if (pngDeck) {
            // Decoded when its turn comes to be composed, and reported as read then.
            const PNGInfo info = ReadPNGHeader(name);
            source.size = SlideSize{info.width, info.height};
            source.mayBeTransparent = info.mayBeTransparent;
            source.image = PNGSlideFile{name, info.fileSize};
        } else if (handover == SlideHandover::kInMemory) {
            slidesInMemory.push_back(LoadWholeFile(name, "slide image"));
            source.size = CheckJPEG(slidesInMemory.back(), name, "slide image");
            source.image = &slidesInMemory.back();
            bytesRead += slidesInMemory.back().size();
        } else {
            JPEGFile file = ReadJPEGFile(name, "slide image", static_cast<size_t>(n) <= keptOpen);
            source.size = file.size;
            bytesRead += static_cast<uint64_t>(file.region.size);
            source.image = std::move(file.region);
        }
        slides.push_back(std::move(source));
        if (!pngDeck && request.onSlideRead) request.onSlideRead(n, bytesRead);
    }

    SlideShowResult result;
    result.area = request.sizeAuto ? slides.front().size : configured;
    const auto mattes = std::count_if(slides.begin(), slides.end(),
                                      [&](const SlideSource& slide) { return NeedsMatte(slide, result.area); });
    CheckCharacterBudget(request.slideCount, stopTable, static_cast<int32_t>(mattes), sounds, faces);
    result.scaledSlides = static_cast<int32_t>(std::count_if(slides.begin(), slides.end(), [&](const SlideSource& slide) {
        return slide.size.width != result.area.width || slide.size.height != result.area.height;
    }));

    const std::vector<std::vector<size_t>> stopPositions = StopPositionsPerFrame(request.slideCount, stopTable);
    result.stopsFile = stopsFile;
    if (stopsFile.empty()) result.stopFilesTried = StopFileCandidates(request.imagePrefix);
    result.returnTargetsOutOfRange = ReturnTargetsOutOfRange(stopPositions, stopTable);
    const HFActionStop stopAction;
    ShowParts show{SlideLayout{result.area.width, result.area.height}, request.slideCount, stopTable,
                   stopPositions, forwardImage, backwardImage, stopAction, request.keys, request.stopLast, nullptr};
    show.faces = faces;
    // Encoded sounds wait in temporary files until the movie copies them in.
    std::vector<std::optional<EncodedNarration>> narrations;
    if (!request.narrationPrefix.empty()) {
        narrations = EncodeSlideNarrations(narrationFiles, request.narration);
        show.narrations = &narrations;
        result.narrationPlaysOn = NarrationPlaysOn(narrations, stopPositions, request.slideCount);
    }
    MovieLengthTally tally(request.movieLengthLimit, show.layout.MovieHeaderBytes() + kBackgroundTagBytes);
    if (pngDeck) {
        // Handed over by file, the compressed slides wait in a temporary file.
        std::unique_ptr<SpillFile> spill;
        if (handover == SlideHandover::kFiles) spill = std::make_unique<SpillFile>("compressed slides");
        ComposePNGSlides(movie, slides, show, request.onSlideRead, spill.get(), tally);
    } else {
        for (int32_t n = 1; n <= request.slideCount; ++n) {
            ComposeSlide(movie, n, slides[static_cast<size_t>(n - 1)], show);
            CountSlideFrame(movie, n, show, tally, SlideImageNamed(n, numbering.Name(n)));
        }
    }
    FinishAndWrite(movie, show, request.outputFile, tally);
    return result;
}
