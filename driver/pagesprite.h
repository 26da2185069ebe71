#pragma once

#include <memory>
#include <vector>

#include "hf/hfobject.h"
#include "swf/fdtsprite.h"

// A page drawn as SWF content elsewhere (a PDF page's vector recording): the
// characters it draws and the sprite that places them, as one object of the
// show. The first addition appends the definitions, then the sprite, then
// places the sprite, untransformed, at the requested depth.
class PageSprite : public HFObject {
public:
    PageSprite(std::vector<std::unique_ptr<FTag>> definitions, std::unique_ptr<FDTDefineSprite> sprite);

    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::vector<std::unique_ptr<FTag>> definitions;  // moved to the frame at the first addition
    std::unique_ptr<FDTDefineSprite> sprite;
};
