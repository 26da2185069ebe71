#include "driver/slideshow.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "driver/slideinput.h"
#include "hf/hfaction.h"
#include "hf/hfbitmap.h"
#include "hf/hfbutton.h"
#include "hf/hfmovie.h"
#include "hf/hfshape.h"
#include "hf/hftext.h"
#include "swf/fprimitives.h"

namespace {

constexpr uint64_t kMaxCharacterIDs = 0xFFFF;

// The stop positions that name each frame, in ascending order.
std::vector<std::vector<size_t>> StopPositionsPerFrame(int32_t slideCount, const std::vector<int32_t>& stopTable)
{
    std::vector<std::vector<size_t>> positions(static_cast<size_t>(std::max(slideCount, 0)));
    for (size_t p = 1; p < stopTable.size(); ++p) {
        const int32_t frame = stopTable[p];
        if (frame >= 0 && frame < slideCount) positions[static_cast<size_t>(frame)].push_back(p);
    }
    return positions;
}

// A stop position makes a backward button when its entry differs from the one before it.
bool MakesBackwardButton(const std::vector<int32_t>& stopTable, size_t p)
{
    return stopTable[p] != stopTable[p - 1];
}

constexpr int32_t kTwipsPerPixel = 20;
constexpr int32_t kClickTransition = 6;  // released over the button
constexpr uint16_t kBackwardButtonDepth = 200;
constexpr uint16_t kForwardButtonDepth = 500;
constexpr int32_t kButtonImagePixels = 30;
const HFColor kHitAreaColor{255, 255, 255, 255};
const HFColor kBackgroundColor{0xCD, 0xCD, 0xCD, 0xFF};

// Where one slide frame puts its pieces, in twips: the slide from (20, 20),
// the buttons in the band below it, 10 pixels to either side of the centre.
struct SlideLayout {
    int32_t width;   // pixels
    int32_t height;  // pixels

    int32_t Middle() const { return width * kTwipsPerPixel / 2; }
    int32_t ButtonTop() const { return height * kTwipsPerPixel + 100; }
    int32_t ButtonBottom() const { return height * kTwipsPerPixel + 700; }
    HFRectangle ForwardArea() const { return HFRectangle(Middle() + 200, ButtonTop(), Middle() + 800, ButtonBottom()); }
    HFRectangle BackwardArea() const { return HFRectangle(Middle() - 800, ButtonTop(), Middle() - 200, ButtonBottom()); }
};

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
    // With keys: the backward button that answers them. Buttons stay on stage
    // until removed and every one on stage hears a key, so a frame that makes
    // its own takes this one off first; kept alive to be removed.
    mutable std::unique_ptr<HFButton> keyBackward;
};

// One slide as the movie gets it: its file, or its bytes kept in memory.
struct SlideImage {
    FSWFFileRegion file;
    const std::vector<uint8_t>* bytes = nullptr;  // set for the in-memory handover
};

// Frame n - 1: the slide at depth n, the forward button, and for each stop
// position naming the frame a Stop action (not on the last slide) and a
// backward button to the previous stop point (unless that is the same frame
// as the position before it).
void ComposeSlide(HFMovie& movie, int32_t n, SlideImage image, const ShowParts& show)
{
    const int32_t f = n - 1;
    HFFrame& frame = *movie.Frame(f);
    const SlideLayout& layout = show.layout;
    {
        const int32_t right = layout.width * kTwipsPerPixel, bottom = layout.height * kTwipsPerPixel;
        const std::unique_ptr<HFBitmap> slide =
            image.bytes ? std::make_unique<HFBitmap>(20, 20, right, bottom, layout.width, layout.height,
                                                     image.bytes->data(), static_cast<int32_t>(image.bytes->size()))
                        : std::make_unique<HFBitmap>(20, 20, right, bottom, layout.width, layout.height,
                                                     std::move(image.file));
        slide->SetDepth(static_cast<uint16_t>(n));
        frame.AddObject(*slide);
    }

    HFRectangle forwardFace = layout.ForwardArea();
    HFRectangle forwardHit = layout.ForwardArea();
    forwardFace.SetJPEGBitmapFill(kButtonImagePixels, kButtonImagePixels, show.forwardImage.data(),
                                  static_cast<int32_t>(show.forwardImage.size()));
    forwardHit.SetSolidFill(kHitAreaColor);
    HFButton forward(forwardFace, forwardFace, forwardFace, forwardHit);
    forward.SetDepth(kForwardButtonDepth);
    forward.AddAction(HFActionPlay(), kClickTransition);
    if (show.keys)
        for (uint32_t key : {kKeyRight, kKeyPageDown, kKeySpace}) forward.AddKeyAction(HFActionPlay(), key);
    frame.AddObject(forward);

    // The backward face takes its bitmap's ID on every slide, also where no
    // backward button is made.
    HFRectangle backwardFace = layout.BackwardArea();
    HFRectangle backwardHit = layout.BackwardArea();
    backwardFace.SetJPEGBitmapFill(kButtonImagePixels, kButtonImagePixels, show.backwardImage.data(),
                                   static_cast<int32_t>(show.backwardImage.size()));
    backwardHit.SetSolidFill(kHitAreaColor);

    // Of several backward buttons in one frame the last lies on top and takes
    // the clicks; it alone answers the keys.
    const std::vector<size_t>& positions = show.stopPositions[static_cast<size_t>(f)];
    const auto makesButton = [&](size_t p) { return MakesBackwardButton(show.stopTable, p); };
    const auto lastButton = std::find_if(positions.rbegin(), positions.rend(), makesButton);
    for (size_t p : positions) {
        if (n != show.slideCount) frame.AddAction(show.stopAction);  // the last slide plays on
        const int32_t target = n == 1 ? 0 : show.stopTable[p - 1];
        if (!makesButton(p)) continue;
        auto backward = std::make_unique<HFButton>(backwardFace, backwardFace, backwardFace, backwardHit);
        backward->SetDepth(kBackwardButtonDepth);
        backward->AddAction(HFActionGotoFrame(target), kClickTransition);
        if (show.keys && p == *lastButton) {
            for (uint32_t key : {kKeyLeft, kKeyPageUp}) backward->AddKeyAction(HFActionGotoFrame(target), key);
            if (show.keyBackward) frame.RemoveObject(*show.keyBackward);
            frame.AddObject(*backward);
            show.keyBackward = std::move(backward);
            continue;
        }
        frame.AddObject(*backward);
    }
}

constexpr uint16_t kNoticeDepth = 1000;
const char* const kClosingText = "\nEnd of the slide show.";

// The frame after the last slide stays empty; the one after it shows the
// closing notice over the slide area and stops.
void ComposeClosingFrame(HFMovie& movie, const ShowParts& show)
{
    const int32_t k = std::max(show.slideCount, 0) + 1;
    const SlideLayout& layout = show.layout;
    HFEditText notice(20, 20, layout.width * kTwipsPerPixel, layout.height * kTwipsPerPixel, kClosingText);
    // The fill calls leave an edit text's tag as it is; they are kept so that
    // the notice is built the way it always was.
    notice.SetSolidFill(HFColor{0xC0, 0xC0, 0xC0, 0xFF});
    notice.SetEditable(false);
    notice.ClearFill();
    notice.SetTextColor(FColor(0xff0000ffu, true));
    // Slides above depth 1000 would cover the notice; at an equal depth the
    // notice still comes out on top, its character ID being the last drawn.
    notice.SetDepth(static_cast<uint16_t>(std::max<int32_t>(kNoticeDepth, show.slideCount)));
    HFFrame& frame = *movie.Frame(k);
    frame.AddObject(notice);
    frame.AddAction(show.stopAction);
}

}  // namespace

uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable)
{
    uint64_t ids = 7 * static_cast<uint64_t>(std::max(slideCount, 0)) + 1;  // + the closing notice
    for (const std::vector<size_t>& positions : StopPositionsPerFrame(slideCount, stopTable)) {
        const auto buttons = std::count_if(positions.begin(), positions.end(),
                                           [&](size_t p) { return MakesBackwardButton(stopTable, p); });
        if (buttons > 0) ids += 3 + static_cast<uint64_t>(buttons - 1);
    }
    return ids;
}

int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable)
{
    int32_t low = 0;  // fits
    int32_t high = kMaxSlideCount + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (CharacterIDsNeeded(middle, stopTable) <= kMaxCharacterIDs ? low : high) = middle;
    }
    return low;
}

void GenerateSlideMovie(const SlideShowRequest& request, SlideHandover handover)
{
    HFMovie movie;
    const std::vector<int32_t> stopTable = ReadStopPoints(request.imagePrefix + ".stp");
    // Refused before any slide is read: the movie could not name its characters.
    if (CharacterIDsNeeded(request.slideCount, stopTable) > kMaxCharacterIDs) {
        throw ConverterError("a deck of " + std::to_string(request.slideCount) +
                                 " slides with these stop points needs more than 65535 characters; "
                                 "at most " + std::to_string(LargestSlideCountThatFits(stopTable)) +
                                 " slides fit in one movie",
                             kExitFailure);
    }
    const SlideSize size = request.size ? *request.size : ReadConfig(request.configFile);
    const std::vector<uint8_t> forwardImage = LoadWholeFile(request.forwardFile, "forward button image");
    CheckJPEG(forwardImage, request.forwardFile, "forward button image");
    const std::vector<uint8_t> backwardImage = LoadWholeFile(request.backwardFile, "backward button image");
    CheckJPEG(backwardImage, request.backwardFile, "backward button image");

    const std::vector<std::vector<size_t>> stopPositions = StopPositionsPerFrame(request.slideCount, stopTable);
    const HFActionStop stopAction;
    const ShowParts show{SlideLayout{size.width, size.height}, request.slideCount, stopTable, stopPositions,
                         forwardImage, backwardImage, stopAction, request.keys, nullptr};

    // Handed over by file, each slide is checked here and stays on disk (and
    // open, while descriptors last) until the movie copies it in.
    const size_t keptOpen = handover == SlideHandover::kFiles ? SlideFilesKeptOpen(request.slideCount) : 0;
    std::vector<std::vector<uint8_t>> slidesInMemory;
    if (handover == SlideHandover::kInMemory) slidesInMemory.reserve(static_cast<size_t>(request.slideCount));
    uint64_t bytesRead = 0;
    for (int32_t n = 1; n <= request.slideCount; ++n) {
        const std::string name = SlideFileName(request.imagePrefix, n);
        SlideImage image;
        if (handover == SlideHandover::kInMemory) {
            slidesInMemory.push_back(LoadWholeFile(name, "slide image"));
            CheckJPEG(slidesInMemory.back(), name, "slide image");
            image.bytes = &slidesInMemory.back();
        } else {
            image.file = CheckJPEGFile(name, "slide image", static_cast<size_t>(n) <= keptOpen);
        }
        bytesRead += image.bytes ? image.bytes->size() : static_cast<uint64_t>(image.file.size);
        ComposeSlide(movie, n, std::move(image), show);
        if (request.onSlideRead) request.onSlideRead(n, bytesRead);
    }
    movie.Frame(0)->SetBackgroundColor(kBackgroundColor);
    ComposeClosingFrame(movie, show);

    // The slide area and a band of 40 pixels below it for the buttons.
    movie.SetSize(size.width * 20, size.height * 20 + 800);
    std::string reason;
    if (!movie.WriteMovie(request.outputFile, &reason))
        throw ConverterError("cannot write '" + request.outputFile + "': " + reason, kExitFailure);
}
