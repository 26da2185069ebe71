#include "driver/compose/showcomposer.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

#include "base/fassert.h"
#include "driver/compose/slideframes.h"
#include "driver/core/error.h"
#include "driver/core/spillfile.h"
#include "driver/input/jpegfile.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"
#include "hf/hfaction.h"
#include "hf/hfmovie.h"

struct MadeShowComposer::State {
    explicit State(MadeShowRequest made)
        : request(std::move(made)),
          stopPositions(StopPositionsPerFrame(request.slideCount, request.stopTable)),
          forwardImage(LoadWholeFile(request.forwardFile, "forward button image")),
          backwardImage(LoadWholeFile(request.backwardFile, "backward button image")),
          narrations(CheckedButtonsThenNarrations()),
          show{SlideLayout{request.area.width, request.area.height},
               request.slideCount,
               request.stopTable,
               stopPositions,
               forwardImage,
               backwardImage,
               stopAction,
               request.keys,
               request.stopLast,
               nullptr,
               request.narrationFiles.empty() ? nullptr : &narrations,
               request.replaceSlides,
               {},
               ButtonFaces::kShared,
               nullptr,
               nullptr,
               request.ownFrames,
               request.frameRate},
          tally(request.movieLengthLimit, show.layout.MovieHeaderBytes() + kBackgroundTagBytes)
    {
    }

    // The buttons are checked before any narration is decoded, as for image decks.
    std::vector<std::optional<EncodedNarration>> CheckedButtonsThenNarrations() const
    {
        CheckJPEG(forwardImage, request.forwardFile, "forward button image");
        CheckJPEG(backwardImage, request.backwardFile, "backward button image");
        if (request.narrationFiles.empty()) return {};
        return EncodeSlideNarrations(request.narrationFiles, request.narration);
    }

    HFMovie movie;
    const MadeShowRequest request;
    const std::vector<std::vector<size_t>> stopPositions;
    const std::vector<uint8_t> forwardImage;
    const std::vector<uint8_t> backwardImage;
    // Encoded sounds wait in temporary files until the movie copies them in.
    const std::vector<std::optional<EncodedNarration>> narrations;
    const HFActionStop stopAction;
    const ShowParts show;
    MovieLengthTally tally;
    // Every slide's bytes wait here until the movie is written; made with the first.
    std::unique_ptr<SpillFile> spill;
    // Definitions every slide may use (the vector pages' fonts), known only
    // once the last slide is in: they open frame 0 when the movie is written.
    std::vector<std::unique_ptr<FTag>> leadingDefinitions;
    int32_t added = 0;
    int32_t scaled = 0;
    // Slides that wait for their narration to end (and then go on).
    std::vector<int32_t> timed;
};

MadeShowComposer::MadeShowComposer(MadeShowRequest request) : state(std::make_unique<State>(std::move(request))) {}

MadeShowComposer::~MadeShowComposer() = default;

void MadeShowComposer::Add(MadeSlide&& slide)
{
    F_ASSERT(state->added < state->request.slideCount, "state->added < state->request.slideCount");
    const int32_t n = state->added + 1;
    const std::string named = state->request.describeSlide ? state->request.describeSlide(n) : "slide " + std::to_string(n);
    if (!state->spill) state->spill = std::make_unique<SpillFile>("made slides");
    SlideSource source;
    source.size = slide.size;
    if (slide.drawing) {
        // Drawn by its own object: there is no picture to keep.
    } else if (auto* jpeg = std::get_if<std::vector<uint8_t>>(&slide.image)) {
        if (jpeg->empty() || jpeg->size() > SpillFile::kLargestPiece)
            throw ConverterError(named + " makes a JPEG of " + std::to_string(jpeg->size()) +
                                     " bytes; a slide's JPEG is 1 byte to 1 GiB",
                                 kExitFailure);
        source.image = state->spill->Append(jpeg->data(), jpeg->size(), named);
    } else {
        LosslessSlide& lossless = std::get<LosslessSlide>(slide.image);
        for (size_t at = 0; at < lossless.zlibData.size(); at += SpillFile::kLargestPiece) {
            const size_t part = std::min(lossless.zlibData.size() - at, SpillFile::kLargestPiece);
            lossless.spilled.push_back(state->spill->Append(lossless.zlibData.data() + at, part, named));
        }
        lossless.zlibData = {};
        source.image = std::move(lossless);
    }
    source.placement = slide.placement;
    source.drawing = std::move(slide.drawing);
    source.over = std::move(slide.over);
    source.transition = slide.transition;
    source.seconds = slide.seconds;
    if (slide.seconds) state->timed.push_back(n);
    // Nothing of the slide's image is held in memory from here.
    slide.image = std::vector<uint8_t>{};
    const SlideSize area = state->request.area;
    if (slide.size.width != area.width || slide.size.height != area.height) ++state->scaled;
    ComposeSlide(state->movie, n, source, state->show);
    state->added = n;
    CountSlideFrame(state->movie, n, state->show, state->tally, named);
}

uint64_t MadeShowComposer::MovieLength() const { return state->tally.Length(); }

void MadeShowComposer::AddLeadingDefinitions(std::vector<std::unique_ptr<FTag>> tags)
{
    for (std::unique_ptr<FTag>& tag : tags) state->leadingDefinitions.push_back(std::move(tag));
}

SlideShowResult MadeShowComposer::Write()
{
    F_ASSERT(state->added == state->request.slideCount, "state->added == state->request.slideCount");
    // The leading definitions count toward the movie's length like any frame's tags.
    const uint64_t before = state->tally.Length();
    if (!state->tally.AddTags(state->leadingDefinitions))
        throw MovieTooLong(1, "the fonts of the pages", state->tally, before);
    HFTagList& first = state->movie.Frame(0)->Tags();
    first.insert(first.begin(), std::make_move_iterator(state->leadingDefinitions.begin()),
                 std::make_move_iterator(state->leadingDefinitions.end()));
    state->leadingDefinitions.clear();
    FinishAndWrite(state->movie, state->show, state->request.outputFile, state->tally);
    SlideShowResult result;
    result.area = state->request.area;
    result.scaledSlides = state->scaled;
    result.narrationPlaysOn = NarrationPlaysOn(state->narrations, state->stopPositions, state->request.slideCount);
    std::erase_if(result.narrationPlaysOn, [&](int32_t n) {
        return std::find(state->timed.begin(), state->timed.end(), n) != state->timed.end();
    });
    if (!state->request.stopsFile.empty()) {
        result.stopsFile = state->request.stopsFile;
        result.returnTargetsOutOfRange = ReturnTargetsOutOfRange(state->stopPositions, state->request.stopTable);
    }
    return result;
}
