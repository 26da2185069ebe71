#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hf/hfobject.h"

// A PDF link as an invisible button over its rectangle: only its hit area is
// drawn, so the page shows through, and a click (released over it) either
// opens a URI in a new window or goes to a frame of the show.
class LinkButton : public HFObject {
public:
    // Twips, in the slide area's space.
    struct Area {
        int32_t xmin, ymin, xmax, ymax;
    };

    static std::unique_ptr<LinkButton> ToURI(Area area, std::string uri);
    // `frame` from 0; the frame's own Stop, if any, holds the show there.
    static std::unique_ptr<LinkButton> ToFrame(Area area, int32_t frame);

    // First time: the hit rectangle (never placed) and the DefineButton2.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

    const std::string& URI() const { return uri; }
    int32_t TargetFrame() const { return targetFrame; }

    // Through ToURI or ToFrame: an empty `uri` goes to `frame`.
    LinkButton(Area area, std::string uri, int32_t frame) : area(area), uri(std::move(uri)), targetFrame(frame) {}

private:

    Area area;
    std::string uri;          // empty for a link to a frame
    int32_t targetFrame = 0;  // with an empty `uri`
};

// The characters a link button draws: its hit shape and the button.
constexpr int32_t kLinkButtonCharacters = 2;
