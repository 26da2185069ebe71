#pragma once

// The frames between two slides while one gives way to the other, and the
// clock that moves a timed slide on: sprites that place the slides'
// characters again (by ID, never a copy) and move them frame by frame.

#include <cstdint>
#include <memory>

#include "hf/hfobject.h"

// How the next slide comes on. Directions in degrees: 0 left to right, 90
// bottom to top, 180 right to left, 270 top to bottom.
struct SlideTransition {
    enum class Kind {
        Fade,     // the new slide's alpha rises over the old
        Wipe,     // an edge sweeps across in `direction`, the new slide behind it
        Split,    // two lines from the edges in (or from the centre out)
        Blinds,   // bands side by side each sweep across
        Box,      // a rectangle from the edges in (or the centre out)
        Cover,    // the new slide slides in over the old
        Uncover,  // the old slide slides off the new
        Push,     // the new slide pushes the old off
    };
    Kind kind = Kind::Fade;
    int32_t direction = 0;   // Wipe, Cover, Uncover, Push
    bool vertical = false;   // Split, Blinds: the lines run up and down
    bool outward = false;    // Split, Box: from the centre out
};

// The bands of Blinds.
constexpr int32_t kBlindsBands = 6;

// A slide's character as a transition places it.
struct TransitionSlide {
    uint16_t id;
    // Its placement's matrix, or none; a slide with one only fades.
    std::unique_ptr<FMatrix> matrix;
};

// One transition of `frames` frames, to be shown on the main timeline's
// frames between the old slide's own frame and the new one's: the old slide
// under (or, uncovered, over) the new, in the slide area of `width` x
// `height` twips. Frame k of them shows the change (k + 1) / (frames + 1)
// done, so the new slide's own frame completes it. `area` is a rectangle
// shape over the whole area (defined already): the clip of moving slides and,
// scaled, every band of a mask. Its first addition defines the sprites (a
// mask's sprite first), then places it; the slides must be defined before.
class TransitionSprite : public HFObject {
public:
    TransitionSprite(SlideTransition transition, int32_t frames, int32_t width, int32_t height, uint16_t area,
                     TransitionSlide oldSlide, TransitionSlide newSlide);

    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    SlideTransition transition;
    int32_t frames;
    int32_t width, height;
    uint16_t area;
    TransitionSlide oldSlide, newSlide;
};

// The characters a transition defines at most: its sprite and a mask's.
constexpr uint32_t kTransitionCharacters = 2;

// Stands on a timed slide's own frame, where the main timeline stops: after
// `frames` frames it plays the main timeline on, then stops itself. A click
// on the forward button plays on before that; the next frame takes it off.
// One timer serves every slide of the same wait.
class PageTimer : public HFObject {
public:
    explicit PageTimer(int32_t frames) : frames(frames) {}
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;
    int32_t Frames() const { return frames; }

private:
    int32_t frames;
};

// The longest wait a timer has, in frames: a sprite's frame count is 16-bit.
constexpr int32_t kLongestTimer = 0xFFFE;
