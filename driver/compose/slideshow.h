#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "driver/compose/movielength.h"
#include "driver/encode/narration.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"
#include "hf/hfobject.h"
#include "swf/fswfstream.h"

// One run of the converter, with every file name already resolved.
struct SlideShowRequest {
    // Slides are found as exporters name them (numbered plain or zero-padded,
    // several extensions; numberedfiles.h).
    std::string imagePrefix;
    int32_t slideCount = 0;
    std::string outputFile;
    std::string configFile;
    std::string forwardFile;
    std::string backwardFile;
    // The stop-point file; empty: found from the prefix (FindStopFile), and
    // when there is none the show stops on every slide (StopOnEveryPage).
    std::string stopsFile;
    // The slide size; when set, the configuration file is not read.
    std::optional<SlideSize> size;
    // The slide size is the first slide's, in pixels (then `size` and the
    // configuration file are not used).
    bool sizeAuto = false;
    // The forward button also answers Right, Page Down and Space, the
    // backward button Left and Page Up.
    bool keys = false;
    // The last slide waits for a click (which goes on to the closing notice)
    // instead of playing on to it.
    bool stopLast = false;
    // Narration: slide n speaks `narrationPrefix`<n> (numberedfiles.h,
    // FindNarrationFiles), found once the slide count is known and encoded
    // as `narration` says. Empty: no narration, and the movie is as it was
    // before narration existed (no StopSounds on the buttons).
    std::string narrationPrefix;
    NarrationSettings narration;
    // Called after each slide is read (a PNG slide once decoded and composed),
    // with the slides and bytes read so far.
    std::function<void(int32_t slides, uint64_t bytes)> onSlideRead;
    // The longest movie allowed (smaller only in tests): a deck that does not
    // fit is refused at the slide that crosses it.
    uint64_t movieLengthLimit = kLargestMovie;
};

// The key codes of button condition records.
constexpr uint32_t kKeyLeft = 1;
constexpr uint32_t kKeyRight = 2;
constexpr uint32_t kKeyPageUp = 16;
constexpr uint32_t kKeyPageDown = 17;
constexpr uint32_t kKeySpace = 32;

// The largest slide count: the movie has slide count + 2 frames and the
// header's frame count is 16-bit.
constexpr int32_t kMaxSlideCount = 65533;

// The most character IDs one movie can name.
constexpr uint64_t kMaxCharacterIDs = 0xFFFF;

// How a show's frames get their button faces (the two button images, each on
// a face shape with a hit shape). Each frame its own: as the original JPEG
// decks always had them. Shared: defined once, in the first frame that uses
// each, and every frame's buttons refer to them (every other show).
enum class ButtonFaces { kEachFrame, kShared };

// The number of character IDs a deck draws: three a slide (its bitmap and
// shape, and the forward button), one for each matte under a slide, each
// narrated slide's sound and each backward button, and one for the closing
// notice. Besides, with faces for each frame: four more a slide (the forward
// face's bitmap, face shape and hit shape; the backward face's bitmap, also
// where no backward button is made) and two for a frame's backward face and
// hit shapes where it has backward buttons. With shared faces: three for the forward face
// (its bitmap, face and hit shapes) and three for the backward face where any
// frame has a backward button.
uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount = 0,
                            int32_t soundCount = 0, ButtonFaces faces = ButtonFaces::kEachFrame);

// Where a slide image is drawn in the slide area, in twips. A slide of the
// area's size lies from (20, 20) to (width x 20, height x 20); another is
// scaled, its aspect kept, to fit inside that and centred.
struct SlidePlacement {
    int32_t xmin, ymin, xmax, ymax;
    // Whether the slide leaves no band of the area open (true for every
    // slide of the area's aspect).
    bool coversArea;
};
SlidePlacement FitSlide(SlideSize image, SlideSize area);

// The largest slide count whose IDs fit in one movie with this stop table.
int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable,
                                  ButtonFaces faces = ButtonFaces::kEachFrame);

// How the slides reach the movie. By their files: each is checked when it is
// read and copied from its file when the movie is written, so memory does not
// grow with the deck (PNG slides are compressed into an unnamed temporary
// file, see spillfile.h, and copied from there). In memory: each is read whole
// (a PNG slide compressed) and kept until the write, as the converter always
// did. Both give the same bytes.
enum class SlideHandover { kFiles, kInMemory };

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

// The stop table of a show that stops on every slide: 0, 0, 1, ..., slides - 1.
// Every slide but the last waits for a click (the last too where the show
// says so); every slide after the first has a backward button to the one
// before.
std::vector<int32_t> StopOnEveryPage(int32_t slides);

// A stop-file entry as a GotoFrame's 16-bit frame field holds it: its low 16
// bits, as the converter always wrote it.
uint16_t FrameNumberOfEntry(int32_t entry);

// Reads the stop points, the configuration, the button images and every
// slide's header, composes the show (PNG slides decoded and compressed on all
// cores as their turn comes) and writes it. Throws ConverterError on
// bad input or a failed write (a slide that changed after its check among
// them); the output file is then left as it was.
SlideShowResult GenerateSlideMovie(const SlideShowRequest& request, SlideHandover handover = SlideHandover::kFiles);

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
};

// A slide made in memory: a whole JPEG file, or a lossless bitmap.
struct MadeSlide {
    SlideSize size;  // pixels
    std::variant<std::vector<uint8_t>, LosslessSlide> image;
    // Placed instead of `image` when set: an object that draws the slide
    // where the slide area lies (a page's vector sprite).
    std::unique_ptr<HFObject> drawing;
    // Placed over the slide at its depth, in order (a page's links).
    std::vector<std::unique_ptr<HFObject>> over;
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
