#include "driver/pagesprite.h"

#include <utility>

#include "hf/hfmovie.h"

PageSprite::PageSprite(std::vector<std::unique_ptr<FTag>> definitions, std::unique_ptr<FDTDefineSprite> sprite)
    : definitions(std::move(definitions)), sprite(std::move(sprite))
{
    SetID(this->sprite->ID());
}

void PageSprite::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        for (std::unique_ptr<FTag>& tag : definitions) frame.Tags().push_back(std::move(tag));
        definitions.clear();
        frame.Tags().push_back(std::move(sprite));
        defined = true;
    }
    Place(frame, movie);
}
