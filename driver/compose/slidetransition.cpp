#include "driver/compose/slidetransition.h"

#include <cmath>
#include <utility>
#include <vector>

#include "hf/hfmovie.h"
#include "swf/faction.h"
#include "swf/fct.h"
#include "swf/fdtsprite.h"

namespace {

// A rectangle of the slide area, in twips.
struct Band {
    double x, y, width, height;
};

// What of the slide on top shows at progress t (0 to 1) of a masked transition.
std::vector<Band> Revealed(const SlideTransition& transition, double t, double width, double height)
{
    using Kind = SlideTransition::Kind;
    std::vector<Band> bands;
    switch (transition.kind) {
    case Kind::Wipe:
        switch (transition.direction) {
        case 90: bands.push_back({0, height * (1 - t), width, height * t}); break;
        case 180: bands.push_back({width * (1 - t), 0, width * t, height}); break;
        case 270: bands.push_back({0, 0, width, height * t}); break;
        default: bands.push_back({0, 0, width * t, height}); break;
        }
        break;
    case Kind::Split: {
        // Inward the old slide is on top, in a band that closes.
        const double s = transition.outward ? t : 1 - t;
        if (transition.vertical) {
            bands.push_back({width * (1 - s) / 2, 0, width * s, height});
        } else {
            bands.push_back({0, height * (1 - s) / 2, width, height * s});
        }
        break;
    }
    case Kind::Box: {
        const double s = transition.outward ? t : 1 - t;
        bands.push_back({width * (1 - s) / 2, height * (1 - s) / 2, width * s, height * s});
        break;
    }
    case Kind::Blinds:
        for (int32_t i = 0; i < kBlindsBands; ++i) {
            if (transition.vertical) {
                bands.push_back({width * i / kBlindsBands, 0, width * t / kBlindsBands, height});
            } else {
                bands.push_back({0, height * i / kBlindsBands, width, height * t / kBlindsBands});
            }
        }
        break;
    default: break;
    }
    return bands;
}

bool Masked(SlideTransition::Kind kind)
{
    using Kind = SlideTransition::Kind;
    return kind == Kind::Wipe || kind == Kind::Split || kind == Kind::Blinds || kind == Kind::Box;
}

bool Moving(SlideTransition::Kind kind)
{
    using Kind = SlideTransition::Kind;
    return kind == Kind::Cover || kind == Kind::Uncover || kind == Kind::Push;
}

int32_t Twips(double value)
{
    return static_cast<int32_t>(std::lround(value));
}

// The area's rectangle scaled onto a band.
std::unique_ptr<FMatrix> BandMatrix(const Band& band, double width, double height)
{
    return std::make_unique<FMatrix>(true, Twips(65536 * band.width / width), Twips(65536 * band.height / height),
                                     false, 0, 0, Twips(band.x), Twips(band.y));
}

std::unique_ptr<FMatrix> Offset(double x, double y)
{
    return std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, Twips(x), Twips(y));
}

std::unique_ptr<FMatrix> CopyOf(const std::unique_ptr<FMatrix>& matrix)
{
    return matrix ? std::make_unique<FMatrix>(*matrix) : nullptr;
}

std::unique_ptr<FCTPlaceObject2> PlaceAt(uint16_t depth, uint16_t id, std::unique_ptr<FMatrix> matrix,
                                       std::unique_ptr<FCXForm> colour = nullptr, uint16_t clipDepth = 0)
{
    return std::make_unique<FCTPlaceObject2>(clipDepth != 0, false, true, false, depth, id, std::move(matrix),
                                             std::move(colour), 0, nullptr, clipDepth);
}

std::unique_ptr<FCTPlaceObject2> MoveAt(uint16_t depth, std::unique_ptr<FMatrix> matrix,
                                      std::unique_ptr<FCXForm> colour = nullptr)
{
    return std::make_unique<FCTPlaceObject2>(false, false, false, true, depth, 0, std::move(matrix),
                                             std::move(colour), 0, nullptr, 0);
}

std::unique_ptr<FCXForm> Alpha(double t)
{
    return std::make_unique<FCXFormWAlpha>(false, true, 256, 256, 256, Twips(256 * t), 0, 0, 0, 0);
}

// Ends a sprite's frame; the last also stops it, so that it never starts over.
void EndFrame(FDTDefineSprite& sprite, bool last)
{
    if (last) {
        auto stop = std::make_unique<FCTDoAction>();
        stop->AddAction(std::make_unique<FActionStop>());
        sprite.AddControlTag(std::move(stop));
    }
    sprite.AddControlTag(std::make_unique<FCTShowFrame>());
}

}  // namespace

TransitionSprite::TransitionSprite(SlideTransition transition, int32_t frames, int32_t width, int32_t height,
                                   uint16_t area, TransitionSlide oldSlide, TransitionSlide newSlide)
    : transition(transition),
      frames(frames),
      width(width),
      height(height),
      area(area),
      oldSlide(std::move(oldSlide)),
      newSlide(std::move(newSlide))
{
    // Only a slide placed as it was drawn can be moved by an offset.
    if (Moving(transition.kind) && (this->oldSlide.matrix || this->newSlide.matrix))
        this->transition.kind = SlideTransition::Kind::Fade;
}

void TransitionSprite::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        const double w = width, h = height;
        const auto progress = [&](int32_t k) { return (k + 1.0) / (frames + 1.0); };
        auto sprite = std::make_unique<FDTDefineSprite>();
        const SlideTransition::Kind kind = transition.kind;
        if (Masked(kind)) {
            // The bands are one sprite so that they clip as one: each its own
            // placement of the area's rectangle.
            auto mask = std::make_unique<FDTDefineSprite>();
            for (int32_t k = 0; k < frames; ++k) {
                const std::vector<Band> bands = Revealed(transition, progress(k), w, h);
                for (size_t b = 0; b < bands.size(); ++b) {
                    const auto depth = static_cast<uint16_t>(b + 1);
                    if (k == 0) {
                        mask->AddControlTag(PlaceAt(depth, area, BandMatrix(bands[b], w, h)));
                    } else {
                        mask->AddControlTag(MoveAt(depth, BandMatrix(bands[b], w, h)));
                    }
                }
                EndFrame(*mask, k == frames - 1);
            }
            const bool inward = (kind == SlideTransition::Kind::Split || kind == SlideTransition::Kind::Box) &&
                                !transition.outward;
            const TransitionSlide& under = inward ? newSlide : oldSlide;
            const TransitionSlide& over = inward ? oldSlide : newSlide;
            sprite->AddControlTag(PlaceAt(1, under.id, CopyOf(under.matrix)));
            sprite->AddControlTag(PlaceAt(2, mask->ID(), nullptr, nullptr, 3));
            sprite->AddControlTag(PlaceAt(3, over.id, CopyOf(over.matrix)));
            frame.Tags().push_back(std::move(mask));
            for (int32_t k = 0; k < frames; ++k) EndFrame(*sprite, k == frames - 1);
        } else if (Moving(kind)) {
            double dx = 1, dy = 0;
            if (transition.direction == 90) dx = 0, dy = -1;
            if (transition.direction == 180) dx = -1, dy = 0;
            if (transition.direction == 270) dx = 0, dy = 1;
            const bool oldMoves = kind != SlideTransition::Kind::Cover;
            const bool newMoves = kind != SlideTransition::Kind::Uncover;
            const TransitionSlide& under = kind == SlideTransition::Kind::Uncover ? newSlide : oldSlide;
            const TransitionSlide& over = kind == SlideTransition::Kind::Uncover ? oldSlide : newSlide;
            const auto at = [&](const TransitionSlide& slide, double t) {
                const bool moves = &slide == &oldSlide ? oldMoves : newMoves;
                const double by = !moves ? 0 : &slide == &oldSlide ? t : t - 1;
                return Offset(dx * w * by, dy * h * by);
            };
            // Moving slides stay in the slide area, off the buttons' band.
            sprite->AddControlTag(PlaceAt(1, area, nullptr, nullptr, 3));
            for (int32_t k = 0; k < frames; ++k) {
                const double t = progress(k);
                if (k == 0) {
                    sprite->AddControlTag(PlaceAt(2, under.id, at(under, t)));
                    sprite->AddControlTag(PlaceAt(3, over.id, at(over, t)));
                } else {
                    if (&under == &oldSlide ? oldMoves : newMoves) sprite->AddControlTag(MoveAt(2, at(under, t)));
                    if (&over == &oldSlide ? oldMoves : newMoves) sprite->AddControlTag(MoveAt(3, at(over, t)));
                }
                EndFrame(*sprite, k == frames - 1);
            }
        } else {
            sprite->AddControlTag(PlaceAt(1, oldSlide.id, CopyOf(oldSlide.matrix)));
            for (int32_t k = 0; k < frames; ++k) {
                if (k == 0) {
                    sprite->AddControlTag(PlaceAt(2, newSlide.id, CopyOf(newSlide.matrix), Alpha(progress(k))));
                } else {
                    sprite->AddControlTag(MoveAt(2, nullptr, Alpha(progress(k))));
                }
                EndFrame(*sprite, k == frames - 1);
            }
        }
        SetID(sprite->ID());
        frame.Tags().push_back(std::move(sprite));
        defined = true;
    }
    Place(frame, movie);
}

void PageTimer::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        auto sprite = std::make_unique<FDTDefineSprite>();
        for (int32_t k = 0; k < frames; ++k) sprite->AddControlTag(std::make_unique<FCTShowFrame>());
        // Its own Stop first: the actions after it speak to the main timeline.
        auto go = std::make_unique<FCTDoAction>();
        go->AddAction(std::make_unique<FActionStop>());
        go->AddAction(std::make_unique<FActionSetTarget>(FString("/")));
        go->AddAction(std::make_unique<FActionPlay>());
        go->AddAction(std::make_unique<FActionSetTarget>(FString("")));
        sprite->AddControlTag(std::move(go));
        sprite->AddControlTag(std::make_unique<FCTShowFrame>());
        SetID(sprite->ID());
        frame.Tags().push_back(std::move(sprite));
        defined = true;
    }
    Place(frame, movie);
}
