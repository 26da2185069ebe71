#include "driver/compose/linkbutton.h"

#include <utility>

#include "driver/compose/whiterectangle.h"
#include "hf/hfaction.h"
#include "hf/hfmovie.h"
#include "swf/fdtbuttons.h"

namespace {

const char* const kNewWindow = "_blank";

}  // namespace

std::unique_ptr<LinkButton> LinkButton::ToURI(Area area, std::string uri)
{
    return std::make_unique<LinkButton>(area, std::move(uri), 0);
}

std::unique_ptr<LinkButton> LinkButton::ToFrame(Area area, int32_t frame)
{
    return std::make_unique<LinkButton>(area, std::string(), frame);
}

void LinkButton::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        const uint16_t hit = DefineWhiteRectangle(frame, movie, area.xmin, area.ymin, area.xmax, area.ymax);
        auto condition = std::make_unique<FActionCondition>();
        condition->AddCondition(FButtonTransition::kOverDownToOverUp);
        if (uri.empty()) {
            HFActionGotoFrame(targetFrame).AddToCondition(*condition);
        } else {
            HFActionGetURL(uri.c_str(), kNewWindow).AddToCondition(*condition);
        }
        auto tag = std::make_unique<FDTDefineButton2>(false);
        SetID(tag->ID());
        // The hit state alone: up, over and down draw nothing.
        tag->AddButtonRecord(std::make_unique<FButtonRecord2>(
            true, false, false, false, hit, 1, FMatrix(),
            std::make_unique<FCXFormWAlpha>(false, false, 0, 0, 0, 0, 0, 0, 0, 0)));
        tag->AddCondition(std::move(condition));
        frame.Tags().push_back(std::move(tag));
        defined = true;
    }
    Place(frame, movie);
}
