#include "driver/forms/pdftimeline.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"

namespace {

struct Shown {
    std::optional<SlideTransition> transition;
    std::string name;  // how the summary names it
};

// What the show makes of a PDF's transition: the styles SWF has no
// drawing for are shown as the nearest it has.
Shown ShownAs(const PageTransition& asked)
{
    using Kind = SlideTransition::Kind;
    SlideTransition shown;
    shown.vertical = asked.vertical;
    shown.outward = asked.outward;
    // The moving styles go along the axes; a diagonal is Glitter's alone.
    shown.direction = asked.direction == 315 || asked.direction < 0 ? 0 : asked.direction;
    const auto as = [&](Kind kind, std::string name) {
        shown.kind = kind;
        return Shown{shown, std::move(name)};
    };
    switch (asked.style) {
    case TransitionStyle::Fade: return as(Kind::Fade, "fade");
    case TransitionStyle::Dissolve: return as(Kind::Fade, "dissolve");
    case TransitionStyle::Glitter: return as(Kind::Fade, "glitter as dissolve");
    case TransitionStyle::Wipe: return as(Kind::Wipe, "wipe");
    case TransitionStyle::Split: return as(Kind::Split, "split");
    case TransitionStyle::Blinds: return as(Kind::Blinds, "blinds");
    case TransitionStyle::Box: return as(Kind::Box, "box");
    case TransitionStyle::Cover: return as(Kind::Cover, "cover");
    case TransitionStyle::Uncover: return as(Kind::Uncover, "uncover");
    case TransitionStyle::Push: return as(Kind::Push, "push");
    case TransitionStyle::Fly:
        // Flown from nowhere, it scales in place: nearest is a fade.
        if (asked.direction < 0) return as(Kind::Fade, "fly as fade");
        return asked.outward ? as(Kind::Uncover, "fly as uncover") : as(Kind::Cover, "fly as cover");
    case TransitionStyle::Replace: break;
    }
    return Shown{};
}

}  // namespace

PDFTimeline PlanTimeline(const std::vector<PageTiming>& timings, int32_t pages, bool transitions, bool durations,
                         const std::vector<std::vector<size_t>>* namedStops)
{
    PDFTimeline timeline;
    timeline.frameRate = kSlideFrameRate;
    const auto count = static_cast<size_t>(std::max(pages, 0));
    timeline.transitions.resize(count);
    timeline.seconds.resize(count);
    if (timings.size() != count) return timeline;

    std::vector<int32_t> frames(count, 0);
    std::vector<std::string> names(count);
    int64_t allFrames = static_cast<int64_t>(count);
    for (size_t page = 1; transitions && page < count; ++page) {
        Shown shown = ShownAs(timings[page].transition);
        if (!shown.transition) continue;
        // The own frame completes the change, so a transition of one frame
        // or less is the page at once.
        const auto between =
            static_cast<int32_t>(std::lround(timings[page].transition.seconds * kTransitionFrameRate)) - 1;
        if (between < 1) continue;
        timeline.transitions[page] = shown.transition;
        frames[page] = between;
        names[page] = std::move(shown.name);
        allFrames += between;
    }
    if (allFrames > kMaxSlideCount) {
        std::fill(timeline.transitions.begin(), timeline.transitions.end(), std::nullopt);
        timeline.transitionsLeftOut = true;
    } else if (allFrames > static_cast<int64_t>(count)) {
        timeline.frameRate = kTransitionFrameRate;
        int32_t frame = -1;
        for (size_t page = 0; page < count; ++page) {
            frame += 1 + frames[page];
            timeline.ownFrames.push_back(frame);
            if (!timeline.transitions[page]) continue;
            ++timeline.transitionCount;
            auto kind = std::find_if(timeline.kinds.begin(), timeline.kinds.end(), [&](const std::string& named) {
                return named.substr(named.find(' ') + 1) == names[page];
            });
            if (kind == timeline.kinds.end()) {
                timeline.kinds.push_back("1 " + names[page]);
            } else {
                *kind = std::to_string(std::stoi(*kind) + 1) + " " + names[page];
            }
        }
        std::stable_sort(timeline.kinds.begin(), timeline.kinds.end(),
                         [](const std::string& a, const std::string& b) { return std::stoi(a) > std::stoi(b); });
    }
    for (size_t page = 0; durations && page < count; ++page) {
        if (!timings[page].seconds) continue;
        if (namedStops && !(*namedStops)[page].empty()) continue;
        timeline.seconds[page] = timings[page].seconds;
        ++timeline.timedPages;
    }
    return timeline;
}

uint64_t TimelineCharacters(const PDFTimeline& timeline, int32_t pages)
{
    uint64_t ids = 0;
    const auto first = static_cast<size_t>(std::clamp<int64_t>(pages, 0, static_cast<int64_t>(timeline.transitions.size())));
    for (size_t page = 0; page < first; ++page) {
        if (timeline.transitions[page]) ids += kTransitionCharacters;
        // At most one timer a page, however many share one.
        if (timeline.seconds[page]) ids += 1;
    }
    if (ids > 0) ids += 1;  // the area's rectangle
    return ids;
}

std::string CarriedSummary(const PDFTimeline& timeline, int32_t links)
{
    std::vector<std::string> parts;
    const auto counted = [](int32_t count, const std::string& one, const std::string& many) {
        return std::to_string(count) + " " + (count == 1 ? one : many);
    };
    if (timeline.transitionCount > 0) {
        std::string kinds;
        for (const std::string& kind : timeline.kinds) kinds += (kinds.empty() ? "" : ", ") + kind;
        parts.push_back(counted(timeline.transitionCount, "transition", "transitions") + " (" + kinds + ")");
    }
    if (timeline.timedPages > 0) parts.push_back(counted(timeline.timedPages, "timed page", "timed pages"));
    if (links > 0) parts.push_back(counted(links, "link", "links"));
    std::string line;
    for (const std::string& part : parts) line += (line.empty() ? "" : ", ") + part;
    return line;
}
