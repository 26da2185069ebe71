#include "driver/compose/pagesprite.h"

#include <utility>

#include "driver/compose/whiterectangle.h"
#include "hf/hfmovie.h"
#include "swf/fct.h"

PageSprite::PageSprite(std::vector<std::unique_ptr<FTag>> definitions, std::unique_ptr<FDTDefineSprite> sprite,
                       Area area)
    : definitions(std::move(definitions)), sprite(std::move(sprite)), area(area)
{
}

void PageSprite::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        for (std::unique_ptr<FTag>& tag : definitions) frame.Tags().push_back(std::move(tag));
        definitions.clear();
        const uint16_t page = sprite->ID();
        frame.Tags().push_back(std::move(sprite));
        const uint16_t paper = DefineWhiteRectangle(frame, movie, area.xmin, area.ymin, area.xmax, area.ymax);
        auto outer = std::make_unique<FDTDefineSprite>();
        // The clip at depth 1 masks what lies at depths 2 and 3: the same
        // white rectangle drawn as the paper (a page that paints no
        // background of its own is white, as a viewer shows it), then the page.
        outer->AddControlTag(
            std::make_unique<FCTPlaceObject2>(true, false, true, false, 1, paper, nullptr, nullptr, 0, nullptr, 3));
        outer->AddControlTag(
            std::make_unique<FCTPlaceObject2>(false, false, true, false, 2, paper, nullptr, nullptr, 0, nullptr, 0));
        outer->AddControlTag(
            std::make_unique<FCTPlaceObject2>(false, false, true, false, 3, page, nullptr, nullptr, 0, nullptr, 0));
        outer->AddControlTag(std::make_unique<FCTShowFrame>());
        SetID(outer->ID());
        frame.Tags().push_back(std::move(outer));
        defined = true;
    }
    if (!defineOnly) Place(frame, movie);
}
