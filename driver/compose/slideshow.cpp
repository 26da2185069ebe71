#include "driver/compose/slideshow.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "base/fassert.h"
#include "driver/input/numberedfiles.h"
#include "driver/core/orderedpool.h"
#include "driver/input/pngslide.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"
#include "driver/input/configfiles.h"
#include "driver/input/jpegfile.h"
#include "driver/core/spillfile.h"
#include "hf/hfaction.h"
#include "hf/hfbitmap.h"
#include "hf/hfbutton.h"
#include "hf/hfmovie.h"
#include "hf/hfshape.h"
#include "hf/hfsound.h"
#include "hf/hftext.h"
#include "swf/fprimitives.h"
#include "swf/fswfstream.h"

namespace {

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

// The frame a backward button of stop position p on frame f returns to, as
// the stop file gives it: the first frame's return to the start.
int32_t ReturnTarget(const std::vector<int32_t>& stopTable, int32_t f, size_t p)
{
    return f == 0 ? 0 : stopTable[p - 1];
}

// The return targets that backward buttons take to 16 bits, in the file's order, each once.
std::vector<int32_t> ReturnTargetsOutOfRange(const std::vector<std::vector<size_t>>& stopPositions,
                                             const std::vector<int32_t>& stopTable)
{
    std::vector<size_t> entries;
    for (size_t f = 0; f < stopPositions.size(); ++f) {
        for (size_t p : stopPositions[f]) {
            const int32_t target = ReturnTarget(stopTable, static_cast<int32_t>(f), p);
            if (MakesBackwardButton(stopTable, p) && target != FrameNumberOfEntry(target)) entries.push_back(p - 1);
        }
    }
    std::sort(entries.begin(), entries.end());
    std::vector<int32_t> values;
    for (size_t entry : entries)
        if (std::find(values.begin(), values.end(), stopTable[entry]) == values.end()) values.push_back(stopTable[entry]);
    return values;
}

constexpr uint16_t kBackwardButtonDepth = 200;
constexpr uint16_t kForwardButtonDepth = 500;
constexpr int32_t kButtonImagePixels = 30;
const HFColor kHitAreaColor{255, 255, 255, 255};
const HFColor kBackgroundColor{0xCD, 0xCD, 0xCD, 0xFF};
// Its tag, set in the first frame once the slides are in: a short header and RGB.
constexpr uint64_t kBackgroundTagBytes = 2 + 3;

// Where one slide frame puts its pieces, in twips: the slide from (20, 20),
// the buttons in the band below it, 10 pixels to either side of the centre.
struct SlideLayout {
    int32_t width;   // pixels
    int32_t height;  // pixels

    // The movie's frame: the slide area and the band of 40 pixels below it.
    int32_t MovieWidth() const { return width * FTwipsPerPixel; }
    int32_t MovieHeight() const { return height * FTwipsPerPixel + 800; }
    uint64_t MovieHeaderBytes() const { return FSWFFile::HeaderSize(MovieWidth(), MovieHeight()); }

    int32_t Middle() const { return width * FTwipsPerPixel / 2; }
    int32_t ButtonTop() const { return height * FTwipsPerPixel + 100; }
    int32_t ButtonBottom() const { return height * FTwipsPerPixel + 700; }
    HFRectangle ForwardArea() const { return HFRectangle(Middle() + 200, ButtonTop(), Middle() + 800, ButtonBottom()); }
    HFRectangle BackwardArea() const { return HFRectangle(Middle() - 800, ButtonTop(), Middle() - 200, ButtonBottom()); }
};

// A button's look: its image as the bitmap fill of a face shape (up, over and
// down), and a solid hit shape over the same area.
struct ButtonFace {
    ButtonFace(const SlideLayout& layout, bool forward, const std::vector<uint8_t>& image)
        : face(forward ? layout.ForwardArea() : layout.BackwardArea()),
          hit(forward ? layout.ForwardArea() : layout.BackwardArea())
    {
        face.SetJPEGBitmapFill(kButtonImagePixels, kButtonImagePixels, image.data(), static_cast<int32_t>(image.size()));
        hit.SetSolidFill(kHitAreaColor);
    }

    HFRectangle face;
    HFRectangle hit;
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
    // MadeSlide::drawing and MadeSlide::over.
    std::unique_ptr<HFObject> drawing;
    std::vector<std::unique_ptr<HFObject>> over;
};

// A matte keeps the slide before from showing in the bands of one that does not cover the area.
bool NeedsMatte(const SlideSource& source, SlideSize area)
{
    return source.mayBeTransparent || !FitSlide(source.size, area).coversArea;
}

std::unique_ptr<HFBitmap> MakeSlideBitmap(const SlidePlacement& at, SlideSource& source)
{
    // A PNG slide is composed once compressed.
    F_ASSERT(!std::holds_alternative<PNGSlideFile>(source.image), "!std::holds_alternative<PNGSlideFile>(source.image)");
    const SlideSize size = source.size;
    struct Maker {
        const SlidePlacement& at;
        SlideSize size;
        std::unique_ptr<HFBitmap> operator()(FSWFFileRegion& file) const
        {
            return std::make_unique<HFBitmap>(at.xmin, at.ymin, at.xmax, at.ymax, size.width, size.height,
                                              std::move(file));
        }
        std::unique_ptr<HFBitmap> operator()(const std::vector<uint8_t>* bytes) const
        {
            return std::make_unique<HFBitmap>(at.xmin, at.ymin, at.xmax, at.ymax, size.width, size.height,
                                              bytes->data(), static_cast<int32_t>(bytes->size()));
        }
        std::unique_ptr<HFBitmap> operator()(const PNGSlideFile&) const { return nullptr; }  // checked above
        // The bitmap tag takes the compressed bytes over: the movie holds them from here.
        std::unique_ptr<HFBitmap> operator()(LosslessSlide& slide) const
        {
            return MakeLosslessBitmap(std::move(slide), at.xmin, at.ymin, at.xmax, at.ymax);
        }
    };
    return std::visit(Maker{at, size}, source.image);
}

// Frame n - 1: the slide at depth n (on a matte when it needs one), the
// forward button, and for each stop position naming the frame a Stop action
// (not on the last slide) and a backward button to the previous stop point
// (unless that is the same frame as the position before it).
void ComposeSlide(HFMovie& movie, int32_t n, SlideSource& source, const ShowParts& show)
{
    const int32_t f = n - 1;
    HFFrame& frame = *movie.Frame(f);
    const SlideLayout& layout = show.layout;
    if (show.replace) {
        for (const std::unique_ptr<HFObject>& shown : show.onStage) frame.RemoveObject(*shown);
        show.onStage.clear();
    }
    {
        const SlideSize area{layout.width, layout.height};
        if (!show.replace && NeedsMatte(source, area)) {
            // Added before the slide's bitmap takes its ID, so that at the
            // same requested depth the matte sorts below the slide.
            HFRectangle matte(FTwipsPerPixel, FTwipsPerPixel, area.width * FTwipsPerPixel, area.height * FTwipsPerPixel);
            matte.SetSolidFill(kBackgroundColor);
            matte.SetLineWidth(0);
            matte.SetDepth(static_cast<uint16_t>(n));
            frame.AddObject(matte);
        }
        std::unique_ptr<HFObject> slide =
            source.drawing ? std::move(source.drawing) : MakeSlideBitmap(FitSlide(source.size, area), source);
        slide->SetDepth(static_cast<uint16_t>(n));
        frame.AddObject(*slide);
        // Over the slide: at its depth, drawn after it.
        for (std::unique_ptr<HFObject>& object : source.over) {
            object->SetDepth(static_cast<uint16_t>(n));
            frame.AddObject(*object);
        }
        if (show.replace) {
            show.onStage.push_back(std::move(slide));
            for (std::unique_ptr<HFObject>& object : source.over) show.onStage.push_back(std::move(object));
        }
    }
    // The narration starts as the slide appears; a StartSound that finds it
    // still playing (the viewer came back without a click) does not stack a copy.
    if (show.narrations) {
        if (const std::optional<EncodedNarration>& voice = (*show.narrations)[static_cast<size_t>(f)]) {
            HFSound sound(1, voice->rateCode, voice->stereo, voice->sampleCount, voice->adpcm);
            frame.AddObject(sound);
        }
    }
    // With narration, leaving a slide by either button silences it first.
    const HFActionStopSounds stopSounds;
    const auto addClick = [&](HFButton& button, const HFAction& action) {
        if (show.narrations) button.AddAction(stopSounds, FButtonTransition::kOverDownToOverUp);
        button.AddAction(action, FButtonTransition::kOverDownToOverUp);
    };
    const auto addKey = [&](HFButton& button, const HFAction& action, uint32_t key) {
        if (show.narrations) button.AddKeyAction(stopSounds, key);
        button.AddKeyAction(action, key);
    };

    std::unique_ptr<ButtonFace> ownForward;
    ButtonFace& forwardFace = show.Face(true, ownForward);
    HFButton forward(forwardFace.face, forwardFace.face, forwardFace.face, forwardFace.hit);
    forward.SetDepth(kForwardButtonDepth);
    addClick(forward, HFActionPlay());
    if (show.keys)
        for (uint32_t key : {kKeyRight, kKeyPageDown, kKeySpace}) addKey(forward, HFActionPlay(), key);
    frame.AddObject(forward);

    // A frame's own backward face takes its bitmap's ID on every slide, also
    // where no backward button is made; a shared one is made at the show's
    // first backward button.
    std::unique_ptr<ButtonFace> ownBackward;
    if (show.faces == ButtonFaces::kEachFrame) show.Face(false, ownBackward);

    // Of several backward buttons in one frame the last lies on top and takes
    // the clicks; it alone answers the keys.
    const std::vector<size_t>& positions = show.stopPositions[static_cast<size_t>(f)];
    const auto makesButton = [&](size_t p) { return MakesBackwardButton(show.stopTable, p); };
    const auto lastButton = std::find_if(positions.rbegin(), positions.rend(), makesButton);
    // The last slide plays on to the closing notice, unless it is to wait;
    // then it waits whether or not the stop file names it, and its forward
    // button's Play goes on to the notice.
    const bool last = n == show.slideCount;
    if (last && show.stopLast && positions.empty()) frame.AddAction(show.stopAction);
    for (size_t p : positions) {
        if (!last || show.stopLast) frame.AddAction(show.stopAction);
        // The record holds 16 bits; a file's entry beyond them goes where its low bits say.
        const uint16_t target = FrameNumberOfEntry(ReturnTarget(show.stopTable, f, p));
        if (!makesButton(p)) continue;
        ButtonFace& backwardFace = show.Face(false, ownBackward);
        auto backward =
            std::make_unique<HFButton>(backwardFace.face, backwardFace.face, backwardFace.face, backwardFace.hit);
        backward->SetDepth(kBackwardButtonDepth);
        addClick(*backward, HFActionGotoFrame(target));
        if (show.keys && p == *lastButton) {
            for (uint32_t key : {kKeyLeft, kKeyPageUp}) addKey(*backward, HFActionGotoFrame(target), key);
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
    HFEditText notice(FTwipsPerPixel, FTwipsPerPixel, layout.width * FTwipsPerPixel, layout.height * FTwipsPerPixel,
                      kClosingText);
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

uint16_t FrameNumberOfEntry(int32_t entry)
{
    return static_cast<uint16_t>(entry);
}

std::vector<int32_t> StopOnEveryPage(int32_t slides)
{
    std::vector<int32_t> table{0};
    for (int32_t slide = 0; slide < slides; ++slide) table.push_back(slide);
    return table;
}

uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount,
                            int32_t soundCount, ButtonFaces faces)
{
    const auto slides = static_cast<uint64_t>(std::max(slideCount, 0));
    const bool shared = faces == ButtonFaces::kShared;
    uint64_t ids = (shared ? 3 : 7) * slides + 1;  // + the closing notice
    if (shared && slides > 0) ids += 3;             // the forward face
    ids += static_cast<uint64_t>(std::max(matteCount, 0));
    ids += static_cast<uint64_t>(std::max(soundCount, 0));
    bool anyBackward = false;
    for (const std::vector<size_t>& positions : StopPositionsPerFrame(slideCount, stopTable)) {
        const auto buttons = std::count_if(positions.begin(), positions.end(),
                                           [&](size_t p) { return MakesBackwardButton(stopTable, p); });
        if (buttons == 0) continue;
        anyBackward = true;
        ids += static_cast<uint64_t>(buttons);
        if (!shared) ids += 2;  // the frame's backward face and hit shapes
    }
    if (shared && anyBackward) ids += 3;  // the backward face
    return ids;
}

int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable, ButtonFaces faces)
{
    int32_t low = 0;  // fits
    int32_t high = kMaxSlideCount + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (CharacterIDsNeeded(middle, stopTable, 0, 0, faces) <= kMaxCharacterIDs ? low : high) = middle;
    }
    return low;
}

SlidePlacement FitSlide(SlideSize image, SlideSize area)
{
    const int64_t areaWidth = int64_t{area.width} * FTwipsPerPixel;
    const int64_t areaHeight = int64_t{area.height} * FTwipsPerPixel;
    const int64_t w = std::max(image.width, 1), h = std::max(image.height, 1);
    // The side that meets the area's edge keeps its full length; the other is
    // rounded to the nearest twip, which never passes the area's edge (it is
    // at most the area's side before rounding) and meets it exactly when the
    // aspects are equal. A sliver keeps one pixel.
    int64_t width = areaWidth, height = areaHeight;
    if (w * area.height >= h * area.width) {
        height = std::max<int64_t>((2 * areaWidth * h + w) / (2 * w), FTwipsPerPixel);
    } else {
        width = std::max<int64_t>((2 * areaHeight * w + h) / (2 * h), FTwipsPerPixel);
    }
    const int64_t left = (areaWidth - width) / 2, top = (areaHeight - height) / 2;
    // Drawn from one pixel in, as a slide of the area's size always was.
    return SlidePlacement{static_cast<int32_t>(left + FTwipsPerPixel), static_cast<int32_t>(top + FTwipsPerPixel),
                          static_cast<int32_t>(left + width), static_cast<int32_t>(top + height),
                          width == areaWidth && height == areaHeight};
}

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
    return std::filesystem::is_directory(name, error);
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

// Slide n, `named`, took the movie past its longest; the slides before it came to `before` bytes.
ConverterError MovieTooLong(int32_t n, const std::string& named, const MovieLengthTally& tally, uint64_t before)
{
    return ConverterError(named + " takes the movie past " + std::to_string(tally.Limit()) +
                              " bytes, the most a SWF header can give (the " + std::to_string(n - 1) +
                              " slides before it come to " + std::to_string(before) + " bytes)",
                          kExitFailure);
}

// Adds the frame of slide n to the tally; refuses the deck once it is too long.
void CountSlideFrame(HFMovie& movie, int32_t n, MovieLengthTally& tally, const std::string& named)
{
    const uint64_t before = tally.Length();
    if (!tally.AddFrame(*movie.Frame(n - 1))) throw MovieTooLong(n, named, tally, before);
    KeepDefinitionsWritten(*movie.Frame(n - 1));
}

std::string SlideImageNamed(int32_t n, const std::string& file)
{
    return "slide " + std::to_string(n) + ", the slide image '" + file + "',";
}

// After the last slide: the background colour, the closing frame, the movie's
// size (the slide area and a band of 40 pixels below it for the buttons), the file.
void FinishAndWrite(HFMovie& movie, const ShowParts& show, const std::string& outputFile, MovieLengthTally& tally)
{
    const uint64_t before = tally.Length();
    movie.Frame(0)->SetBackgroundColor(kBackgroundColor);
    ComposeClosingFrame(movie, show);
    // The frames after the slides: the one before the closing frame, and that.
    bool fits = true;
    for (int32_t f = std::max(show.slideCount, 0); f < movie.FrameCount(); ++f) fits = tally.AddFrame(*movie.Frame(f)) && fits;
    if (!fits) throw MovieTooLong(std::max(show.slideCount, 0) + 1, "the closing frame", tally, before);
    movie.SetSize(show.layout.MovieWidth(), show.layout.MovieHeight());
    std::string reason;
    if (!movie.WriteMovie(outputFile, &reason))
        throw ConverterError("cannot write '" + outputFile + "': " + reason, kExitFailure);
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
            CountSlideFrame(movie, static_cast<int32_t>(i + 1), tally, SlideImageNamed(static_cast<int32_t>(i + 1), names[i]));
            bytesRead += fileSizes[i];
            if (onSlideRead) onSlideRead(static_cast<int32_t>(i + 1), bytesRead);
        });
}

// Each narrated slide's sound, decoded and encoded on every core, by slide index.
std::vector<std::optional<EncodedNarration>> EncodeSlideNarrations(const std::vector<std::string>& files,
                                                                   const NarrationSettings& settings)
{
    std::vector<std::string> names;
    for (const std::string& name : files)
        if (!name.empty()) names.push_back(name);
    std::vector<EncodedNarration> encoded = EncodeNarrations(names, settings);
    std::vector<std::optional<EncodedNarration>> bySlide(files.size());
    size_t next = 0;
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i].empty()) bySlide[i] = std::move(encoded[next++]);
    return bySlide;
}

// Narrated slides, by number, that are no stop point (the last left out):
// their narration plays on into the slides after them.
std::vector<int32_t> NarrationPlaysOn(const std::vector<std::optional<EncodedNarration>>& narrations,
                                      const std::vector<std::vector<size_t>>& stopPositions, int32_t slideCount)
{
    std::vector<int32_t> slides;
    for (int32_t n = 1; n < slideCount && static_cast<size_t>(n) <= narrations.size(); ++n) {
        if (narrations[static_cast<size_t>(n - 1)] && stopPositions[static_cast<size_t>(n - 1)].empty())
            slides.push_back(n);
    }
    return slides;
}

void CheckCharacterBudget(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount,
                          int32_t soundCount, ButtonFaces faces)
{
    if (CharacterIDsNeeded(slideCount, stopTable, matteCount, soundCount, faces) <= kMaxCharacterIDs) return;
    std::string message = "a deck of " + std::to_string(slideCount) + " slides with these stop points";
    if (matteCount > 0) message += " and " + std::to_string(matteCount) + " mattes under slides that do not fill the slide area";
    if (soundCount > 0) message += " and " + std::to_string(soundCount) + " narrated slides";
    message += " needs more than 65535 characters; at most " + std::to_string(LargestSlideCountThatFits(stopTable, faces)) +
               " slides fit in one movie";
    if (matteCount > 0) message += " when every slide fills the area (--size auto, or slides of the area's size)";
    if (soundCount > 0) message += (matteCount > 0 ? " and" : " when") + std::string(" no slide is narrated");
    throw ConverterError(message, kExitFailure);
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
            CountSlideFrame(movie, n, tally, SlideImageNamed(n, numbering.Name(n)));
        }
    }
    FinishAndWrite(movie, show, request.outputFile, tally);
    return result;
}

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
               ButtonFaces::kShared},
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
    source.drawing = std::move(slide.drawing);
    source.over = std::move(slide.over);
    // Nothing of the slide's image is held in memory from here.
    slide.image = std::vector<uint8_t>{};
    const SlideSize area = state->request.area;
    if (slide.size.width != area.width || slide.size.height != area.height) ++state->scaled;
    ComposeSlide(state->movie, n, source, state->show);
    state->added = n;
    CountSlideFrame(state->movie, n, state->tally, named);
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
    if (!state->request.stopsFile.empty()) {
        result.stopsFile = state->request.stopsFile;
        result.returnTargetsOutOfRange = ReturnTargetsOutOfRange(state->stopPositions, state->request.stopTable);
    }
    return result;
}
