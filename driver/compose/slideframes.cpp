#include "driver/compose/slideframes.h"
#include "driver/compose/whiterectangle.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/slidesize.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/fassert.h"
#include "hf/hfbitmap.h"
#include "hf/hfshape.h"
#include "hf/hfsound.h"
#include "hf/hftext.h"
#include "swf/fprimitives.h"

namespace {

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

// A sound's samples a second by its rate code: 5512.5 Hz doubled per step.
double NarrationRate(uint8_t rateCode)
{
    return 5512.5 * (1 << (rateCode & 3));
}

constexpr uint16_t kNoticeDepth = 1000;
const char* const kClosingText = "\nEnd of the slide show.";

// The frame after the last slide stays empty; the one after it shows the
// closing notice over the slide area and stops.
void ComposeClosingFrame(HFMovie& movie, const ShowParts& show)
{
    const int32_t k = show.SlideFrames() + 1;
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

bool NeedsMatte(const SlideSource& source, SlideSize area)
{
    return source.mayBeTransparent || !source.placement.value_or(FitSlide(source.size, area)).coversArea;
}

void ComposeSlide(HFMovie& movie, int32_t n, SlideSource& source, const ShowParts& show)
{
    const int32_t f = n - 1;  // the slide's index; its frame is `own`
    const int32_t own = show.FrameOf(f);
    // Its transition's first frame, else its own.
    const int32_t first = f == 0 ? 0 : show.FrameOf(f - 1) + 1;
    F_ASSERT(first == own || (source.transition && show.replace && f > 0),
             "first == own || (source.transition && show.replace && f > 0)");
    HFFrame& frame = *movie.Frame(own);
    HFFrame& arriving = *movie.Frame(first);
    const SlideLayout& layout = show.layout;
    if (show.timerOnStage) {
        arriving.RemoveObject(*show.timerOnStage);
        show.timerOnStage = nullptr;
    }
    // The slide a transition starts from: off the main timeline with what
    // lay over it, its character placed again in the transition.
    std::optional<TransitionSlide> leaving;
    if (show.replace) {
        if (first < own && !show.onStage.empty()) {
            const HFObject& old = *show.onStage.front();
            leaving = TransitionSlide{static_cast<uint16_t>(old.ID()), old.HasMatrix() ? old.Matrix() : nullptr};
        }
        for (const std::unique_ptr<HFObject>& shown : show.onStage) arriving.RemoveObject(*shown);
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
            source.drawing ? std::move(source.drawing)
                           : MakeSlideBitmap(source.placement.value_or(FitSlide(source.size, area)), source);
        slide->SetDepth(static_cast<uint16_t>(n));
        if (leaving) {
            // Defined where the transition starts, placed whole on its own frame.
            slide->SetDefineOnly(true);
            arriving.AddObject(*slide);
            slide->SetDefineOnly(false);
            const int32_t width = layout.width * FTwipsPerPixel, height = layout.height * FTwipsPerPixel;
            if (show.areaRectangle < 0) show.areaRectangle = DefineWhiteRectangle(arriving, movie, 0, 0, width, height);
            TransitionSprite transition(*source.transition, own - first, width, height,
                                        static_cast<uint16_t>(show.areaRectangle), std::move(*leaving),
                                        TransitionSlide{static_cast<uint16_t>(slide->ID()),
                                                        slide->HasMatrix() ? slide->Matrix() : nullptr});
            transition.SetDepth(static_cast<uint16_t>(n));
            arriving.AddObject(transition);
            frame.RemoveObject(transition);
        }
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
    // A timed slide waits as long as it is to be shown, or speaks if longer.
    if (source.seconds) {
        double seconds = *source.seconds;
        if (show.narrations) {
            if (const std::optional<EncodedNarration>& voice = (*show.narrations)[static_cast<size_t>(f)])
                seconds = std::max(seconds, voice->sampleCount / NarrationRate(voice->rateCode));
        }
        const auto frames = static_cast<int32_t>(
            std::clamp(std::lround(seconds * show.frameRate), 1L, static_cast<long>(kLongestTimer)));
        std::unique_ptr<PageTimer>& timer = show.timers[frames];
        if (!timer) timer = std::make_unique<PageTimer>(frames);
        timer->SetDepth(static_cast<uint16_t>(n));
        frame.AddObject(*timer);
        show.timerOnStage = timer.get();
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
    if (show.keys) {
        for (uint32_t key : {kKeyRight, kKeyPageDown, kKeySpace}) addKey(forward, HFActionPlay(), key);
        // Every forward button on stage hears these, and all go to the same frame.
        addKey(forward, HFActionGotoFrame(show.FrameOf(0)), kKeyHome);
        addKey(forward, HFActionGotoFrame(show.FrameOf(show.slideCount - 1)), kKeyEnd);
    }
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
    // A timed slide stops once, whatever names it, for its timer to play on.
    const bool timed = source.seconds.has_value();
    if (timed || (last && show.stopLast && positions.empty())) frame.AddAction(show.stopAction);
    for (size_t p : positions) {
        if (!timed && (!last || show.stopLast)) frame.AddAction(show.stopAction);
        // The record holds 16 bits; a file's entry beyond them goes where its low bits say.
        const uint16_t target = FrameNumberOfEntry(show.FrameOfEntry(ReturnTarget(show.stopTable, f, p)));
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

ConverterError MovieTooLong(int32_t n, const std::string& named, const MovieLengthTally& tally, uint64_t before)
{
    return ConverterError(named + " takes the movie past " + std::to_string(tally.Limit()) +
                              " bytes, the most a SWF header can give (the " + std::to_string(n - 1) +
                              " slides before it come to " + std::to_string(before) + " bytes)",
                          kExitFailure);
}

void CountSlideFrame(HFMovie& movie, int32_t n, const ShowParts& show, MovieLengthTally& tally,
                     const std::string& named)
{
    const uint64_t before = tally.Length();
    for (int32_t f = n == 1 ? 0 : show.FrameOf(n - 2) + 1; f <= show.FrameOf(n - 1); ++f) {
        if (!tally.AddFrame(*movie.Frame(f))) throw MovieTooLong(n, named, tally, before);
        KeepDefinitionsWritten(*movie.Frame(f));
    }
}

void FinishAndWrite(HFMovie& movie, const ShowParts& show, const std::string& outputFile, MovieLengthTally& tally)
{
    const uint64_t before = tally.Length();
    movie.Frame(0)->SetBackgroundColor(kBackgroundColor);
    if (show.timerOnStage) {
        movie.Frame(show.SlideFrames())->RemoveObject(*show.timerOnStage);
        show.timerOnStage = nullptr;
    }
    ComposeClosingFrame(movie, show);
    // The frames after the slides: the one before the closing frame, and that.
    bool fits = true;
    for (int32_t f = show.SlideFrames(); f < movie.FrameCount(); ++f) fits = tally.AddFrame(*movie.Frame(f)) && fits;
    if (!fits) throw MovieTooLong(std::max(show.slideCount, 0) + 1, "the closing frame", tally, before);
    movie.SetSize(show.layout.MovieWidth(), show.layout.MovieHeight());
    movie.SetFrameRate(show.frameRate);
    std::string reason;
    if (!movie.WriteMovie(outputFile, &reason))
        throw ConverterError("cannot write '" + outputFile + "': " + reason, kExitFailure);
}

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
