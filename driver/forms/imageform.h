#pragma once

// The image form: a deck of numbered slide files (JPEG or PNG) read into a
// plan (the stop table, the slide area, every slide's header), then composed
// and written.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "driver/compose/movielength.h"
#include "driver/compose/showcomposer.h"
#include "driver/core/slidesize.h"
#include "driver/encode/narration.h"

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

// How the slides reach the movie. By their files: each is checked when it is
// read and copied from its file when the movie is written, so memory does not
// grow with the deck (PNG slides are compressed into an unnamed temporary
// file, see spillfile.h, and copied from there). In memory: each is read whole
// (a PNG slide compressed) and kept until the write, as the converter always
// did. Both give the same bytes.
enum class SlideHandover { kFiles, kInMemory };

// Reads the stop points, the configuration, the button images and every
// slide's header, composes the show (PNG slides decoded and compressed on all
// cores as their turn comes) and writes it. Throws ConverterError on
// bad input or a failed write (a slide that changed after its check among
// them); the output file is then left as it was.
SlideShowResult GenerateSlideMovie(const SlideShowRequest& request, SlideHandover handover = SlideHandover::kFiles);
