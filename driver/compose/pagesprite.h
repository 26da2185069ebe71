#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hf/hfobject.h"
#include "swf/fdtsprite.h"

// A page drawn as SWF content elsewhere (a PDF page's vector recording): the
// characters it draws and the sprite that places them, as one object of the
// show. A page may draw beyond its own edges (content outside a PDF's crop
// box), so the sprite is shown through a clip of the page's rectangle: an
// outer sprite holds the clip layer, the same rectangle drawn white as the
// page's paper, and the page's sprite over that. The first
// addition appends the definitions, the page's sprite, the clip's shape and
// the outer sprite, then (unless define-only) places the outer sprite,
// untransformed, at the requested depth.
class PageSprite : public HFObject {
public:
    struct Area {
        int32_t xmin, ymin, xmax, ymax;  // twips
    };

    PageSprite(std::vector<std::unique_ptr<FTag>> definitions, std::unique_ptr<FDTDefineSprite> sprite, Area area);

    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::vector<std::unique_ptr<FTag>> definitions;  // moved to the frame at the first addition
    std::unique_ptr<FDTDefineSprite> sprite;
    Area area;
};

// The characters a page sprite draws when it is first added: the clip's
// shape and the outer sprite.
constexpr uint32_t kPageSpriteCharacters = 2;
