#pragma once

// A show's frames: a slide's frame with its buttons and stop action, the
// closing frames, the movie's length as frames are added, the file. Both
// forms compose through these, the image deck's slides and the made ones.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "driver/compose/movielength.h"
#include "driver/compose/slidetransition.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/encode/narration.h"
#include "hf/hfaction.h"
#include "hf/hfbutton.h"
#include "hf/hfmovie.h"
#include "swf/fswfstream.h"

// Its tag, set in the first frame once the slides are in: a short header and RGB.
constexpr uint64_t kBackgroundTagBytes = 2 + 3;

// Everything one slide run needs besides the slide itself.
struct ShowParts {
    SlideLayout layout;
    int32_t slideCount;
    const std::vector<int32_t>& stopTable;
    const std::vector<std::vector<size_t>>& stopPositions;
    const std::vector<uint8_t>& forwardImage;
    const std::vector<uint8_t>& backwardImage;
    const HFActionStop& stopAction;
    bool keys;
    bool stopLast;  // the last slide waits too
    // With keys: the backward button that answers them. Buttons stay on stage
    // until removed and every one on stage hears a key, so a frame that makes
    // its own takes this one off first; kept alive to be removed.
    mutable std::unique_ptr<HFButton> keyBackward;
    // With narration: each slide's encoded sound by index, none for a silent
    // slide. Null without narration.
    const std::vector<std::optional<EncodedNarration>>* narrations = nullptr;
    // MadeShowRequest::replaceSlides; the slide on stage and what lies over
    // it, kept alive to be removed.
    bool replace = false;
    mutable std::vector<std::unique_ptr<HFObject>> onStage{};
    // Shared faces are made at their first use and kept for the whole show: a
    // button defines its faces at its first addition, and only the first
    // button to use a face finds it undefined.
    ButtonFaces faces = ButtonFaces::kEachFrame;
    mutable std::unique_ptr<ButtonFace> forwardFace{};
    mutable std::unique_ptr<ButtonFace> backwardFace{};
    // With transitions: slide i's own frame by index, where it stands whole,
    // stops, is gone back to and speaks; the frames before it, after the
    // slide before's, show the transition. Empty: slide i's frame is i.
    std::vector<int32_t> ownFrames{};
    uint32_t frameRate = kSlideFrameRate;
    // Made at the first transition or timed slide and kept for the show: the
    // rectangle over the area that transitions clip and mask with, one timer
    // a wait, and the timer on stage, which the next frame takes off.
    mutable int32_t areaRectangle = -1;
    mutable std::map<int32_t, std::unique_ptr<PageTimer>> timers{};
    mutable PageTimer* timerOnStage = nullptr;

    int32_t FrameOf(int32_t slide) const
    {
        return ownFrames.empty() ? slide : ownFrames[static_cast<size_t>(slide)];
    }
    // A stop-file entry (a slide index) as a frame: past the last slide, as
    // far past its own frame (the closing frames follow it).
    int32_t FrameOfEntry(int32_t entry) const
    {
        if (ownFrames.empty() || entry < 0) return entry;
        if (entry < slideCount) return FrameOf(entry);
        // Wrapped as the entry's own low bits would be.
        return static_cast<int32_t>(int64_t{ownFrames.back()} + entry - (slideCount - 1));
    }
    // The frames the slides take, their transitions included.
    int32_t SlideFrames() const
    {
        return ownFrames.empty() ? std::max(slideCount, 0) : ownFrames.back() + 1;
    }

    // The forward or backward face for a frame: the show's when shared, else
    // `own`, the frame's. Made when there is none yet.
    ButtonFace& Face(bool forward, std::unique_ptr<ButtonFace>& own) const
    {
        std::unique_ptr<ButtonFace>& face =
            faces == ButtonFaces::kShared ? (forward ? forwardFace : backwardFace) : own;
        if (!face) face = std::make_unique<ButtonFace>(layout, forward, forward ? forwardImage : backwardImage);
        return *face;
    }
};

// A PNG slide whose header has been read; it is decoded and compressed just
// before it is composed, and becomes a LosslessSlide then.
struct PNGSlideFile {
    std::string name;
    uint64_t fileSize = 0;  // bytes, for the progress report
};

// One slide as the movie gets it, with its size in pixels: a JPEG left in
// its file, or its bytes kept in memory; a PNG, compressed when its turn comes;
// or a lossless bitmap made elsewhere (a PDF page).
struct SlideSource {
    SlideSize size;
    // Slides are never taken off the stage, so one with transparent pixels
    // would show the slide before it through them.
    bool mayBeTransparent = false;
    std::variant<FSWFFileRegion, const std::vector<uint8_t>*, PNGSlideFile, LosslessSlide> image;
    // MadeSlide::placement, MadeSlide::drawing and MadeSlide::over.
    std::optional<SlidePlacement> placement;
    std::unique_ptr<HFObject> drawing;
    std::vector<std::unique_ptr<HFObject>> over;
    // MadeSlide::transition and MadeSlide::seconds.
    std::optional<SlideTransition> transition;
    std::optional<double> seconds;
};

// A matte keeps the slide before from showing in the bands of one that does not cover the area.
bool NeedsMatte(const SlideSource& source, SlideSize area);

// The slide's own frame (frame n - 1 without transitions): the slide at depth n (on a matte when it needs one), the
// forward button, and for each stop position naming the frame a Stop action
// (not on the last slide) and a backward button to the previous stop point
// (unless that is the same frame as the position before it).
// With a transition (and a slide before), the frames before it show that;
// a timed slide stops and its timer plays on.
void ComposeSlide(HFMovie& movie, int32_t n, SlideSource& source, const ShowParts& show);

// Slide n, `named`, took the movie past its longest; the slides before it came to `before` bytes.
ConverterError MovieTooLong(int32_t n, const std::string& named, const MovieLengthTally& tally, uint64_t before);

// Adds the frames of slide n (its transition's and its own) to the tally;
// refuses the deck once it is too long.
void CountSlideFrame(HFMovie& movie, int32_t n, const ShowParts& show, MovieLengthTally& tally,
                     const std::string& named);

// After the last slide: the background colour, the closing frame, the movie's
// size (the slide area and a band of 40 pixels below it for the buttons), the file.
void FinishAndWrite(HFMovie& movie, const ShowParts& show, const std::string& outputFile, MovieLengthTally& tally);

// Each narrated slide's sound, decoded and encoded on every core, by slide index.
std::vector<std::optional<EncodedNarration>> EncodeSlideNarrations(const std::vector<std::string>& files,
                                                                   const NarrationSettings& settings);

// Narrated slides, by number, that are no stop point (the last left out):
// their narration plays on into the slides after them.
std::vector<int32_t> NarrationPlaysOn(const std::vector<std::optional<EncodedNarration>>& narrations,
                                      const std::vector<std::vector<size_t>>& stopPositions, int32_t slideCount);
