#pragma once

// A show whose slides are made by the converter (the pages of a PDF),
// composed slide by slide as they come.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "driver/compose/movielength.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/slidetransition.h"
#include "driver/core/slidesize.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/encode/narration.h"
#include "hf/hfobject.h"
#include "swf/fswfstream.h"

// What a written show came to.
struct SlideShowResult {
    SlideSize area;              // the slide area in pixels
    int32_t scaledSlides = 0;    // slides of another size than the area
    // Narrated slides, by number, that are not stop points (the last slide
    // left out): their narration plays on into the slides after them.
    std::vector<int32_t> narrationPlaysOn;
    // The stop-point file read (empty for a made table), and the entries of it
    // that backward buttons return to but that are no 16-bit frame number, in
    // the file's order, each once: the buttons go to their low 16 bits.
    std::string stopsFile;
    std::vector<int32_t> returnTargetsOutOfRange;
    // An image deck without a stop-point file: the names looked for (the
    // show then stops on every slide). Empty when a file was read.
    std::vector<std::string> stopFilesTried;
};

// A show whose slides are made by the converter (the pages of a PDF) rather
// than found as files: everything but the slides, resolved.
struct MadeShowRequest {
    std::string outputFile;
    std::string forwardFile;
    std::string backwardFile;
    std::vector<int32_t> stopTable;
    SlideSize area;
    int32_t slideCount = 0;
    bool keys = false;
    bool stopLast = false;  // as in SlideShowRequest
    // Where the stop table came from, for the result; empty when made.
    std::string stopsFile;
    // Narration: slide n speaks narrationFiles[n - 1] ("" for a silent one),
    // encoded as `narration` says, as GenerateSlideMovie narrates. Empty: none.
    std::vector<std::string> narrationFiles;
    NarrationSettings narration;
    // How messages name slide n ("page 3 of the PDF 'talk.pdf'"); unset: "slide n".
    std::function<std::string(int32_t)> describeSlide;
    uint64_t movieLengthLimit = kLargestMovie;  // as SlideShowRequest's
    // Each slide takes the one before it (and what lay over it) off the stage
    // before it is placed, so a player's display list does not grow with the
    // slide number; no slide then needs a matte.
    bool replaceSlides = false;
    // Slides with transitions (replaceSlides only): slide i's own frame by
    // index, the frames between two own frames showing the later slide's
    // transition (ShowParts::ownFrames); empty: frame i. The frames a second.
    std::vector<int32_t> ownFrames;
    uint32_t frameRate = kSlideFrameRate;
};

// A slide made in memory: a whole JPEG file, or a lossless bitmap.
struct MadeSlide {
    SlideSize size;  // pixels
    std::variant<std::vector<uint8_t>, LosslessSlide> image;
    // Placed instead of `image` when set: an object that draws the slide
    // where the slide area lies (a page's vector sprite).
    std::unique_ptr<HFObject> drawing;
    // Where `image` lies, in twips; unset: where FitSlide puts a slide image
    // of its size (the first design's rectangle, from one pixel in).
    std::optional<SlidePlacement> placement;
    // Placed over the slide at its depth, in order (a page's links).
    std::vector<std::unique_ptr<HFObject>> over;
    // How it comes on after the slide before, in the frames the request's
    // ownFrames leave before its own; none: at once.
    std::optional<SlideTransition> transition;
    // Shown this many seconds (or as long as its narration speaks, if
    // longer), then the show goes on by itself; it stops whatever the stop
    // table says, and a click goes on at once.
    std::optional<double> seconds;
};

// Composes a made show slide by slide, in order, as the slides come, and
// writes it. Its buttons share their faces (ButtonFaces::kShared). The caller
// has checked the character budget (mattes included: a slide gets one where
// FitSlide says it does not cover the area). Each
// slide's bytes go to an unnamed temporary file as it is added, so memory
// does not grow with the deck; one that takes the movie past its longest is
// refused as it is added.
class MadeShowComposer {
public:
    // Reads and checks the button images and encodes the narration; throws
    // ConverterError.
    explicit MadeShowComposer(MadeShowRequest request);
    ~MadeShowComposer();
    MadeShowComposer(const MadeShowComposer&) = delete;
    MadeShowComposer& operator=(const MadeShowComposer&) = delete;

    // The next slide (1, 2, ... up to the request's slide count).
    void Add(MadeSlide&& slide);
    // Define tags the slides use that are only complete once every slide is
    // in (the fonts of vector pages): any time before Write, they go first in
    // the first frame.
    void AddLeadingDefinitions(std::vector<std::unique_ptr<FTag>> tags);
    // Once every slide is in: the closing frame, then the file. Throws
    // ConverterError when it cannot be written (the old file then stays).
    // The movie's length so far, its closing frames not yet counted.
    uint64_t MovieLength() const;
    SlideShowResult Write();

private:
    struct State;
    std::unique_ptr<State> state;
};
