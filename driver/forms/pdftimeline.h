#pragma once

// A presentation PDF's transitions and page durations as a show's frames:
// which pages come on how, in how many frames, and each page's own frame.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/compose/slidetransition.h"
#include "driver/pdf/pagetransitions.h"

struct PDFTimeline {
    uint32_t frameRate;
    // Page i's own frame; empty when no page has a transition (frame i).
    std::vector<int32_t> ownFrames;
    // By page: how it comes on, and how long it is shown by itself.
    std::vector<std::optional<SlideTransition>> transitions;
    std::vector<std::optional<double>> seconds;
    // The transitions carried by how they are shown, most first
    // ("3 fade", "1 glitter as dissolve"), and the timed pages.
    std::vector<std::string> kinds;
    int32_t transitionCount = 0;
    int32_t timedPages = 0;
    // Transitions there were, left out because their frames would not fit
    // in one movie.
    bool transitionsLeftOut = false;
};

// `timings` by page (none when neither is carried); `transitions` and
// `durations` say which are. A page named in the stop-point file
// (`namedStops`, by page, null without a file) stops there however long it
// asks to be shown. The first page's transition is not shown: no page is
// before it.
PDFTimeline PlanTimeline(const std::vector<PageTiming>& timings, int32_t pages, bool transitions, bool durations,
                         const std::vector<std::vector<size_t>>* namedStops);

// The characters the transitions and timers of the first `pages` pages draw
// at most.
uint64_t TimelineCharacters(const PDFTimeline& timeline, int32_t pages);

// "7 transitions (3 fade, 2 wipe, 1 split, 1 glitter as dissolve), 2 timed
// pages, 4 links"; empty when there is nothing.
std::string CarriedSummary(const PDFTimeline& timeline, int32_t links);
