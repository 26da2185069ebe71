#include "hf/hfbutton.h"

#include <algorithm>

#include "hf/hfaction.h"
#include "hf/hfmovie.h"
#include "base/fassert.h"
#include "swf/fdtbuttons.h"

HFButton::HFButton(HFObject& up, HFObject& over, HFObject& down, HFObject& hit)
    : states{&up, &over, &down, &hit}, condition(std::make_unique<FActionCondition>()) {}

void HFButton::AddAction(const HFAction& action, int32_t transitionCode)
{
    // The condition record belongs to the DefineButton2 once the button is defined.
    F_ASSERT(condition, "condition");
    condition->AddCondition(transitionCode);
    action.AddToCondition(*condition);
}

void HFButton::AddKeyAction(const HFAction& action, uint32_t keyCode)
{
    F_ASSERT(condition, "condition");
    // The key code has seven bits of the record's flags.
    F_ASSERT(keyCode >= 1 && keyCode <= 127, "keyCode >= 1 && keyCode <= 127");
    auto found = std::find_if(keyConditions.begin(), keyConditions.end(),
                              [keyCode](const KeyCondition& key) { return key.keyCode == keyCode; });
    if (found == keyConditions.end()) {
        keyConditions.push_back({keyCode, std::make_unique<FActionCondition>()});
        keyConditions.back().record->SetKeyCode(keyCode);
        found = keyConditions.end() - 1;
    }
    action.AddToCondition(*found->record);
}

void HFButton::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        // States are characters shown only through the button; an object
        // serving as several states is defined once.
        for (HFObject* state : states) {
            state->SetDefineOnly(true);
            state->AddToFrame(frame, movie);
        }
        auto tag = std::make_unique<FDTDefineButton2>(false);
        SetID(tag->ID());
        for (size_t i = 0; i < states.size(); ++i) {
            tag->AddButtonRecord(std::make_unique<FButtonRecord2>(
                i == 3, i == 2, i == 1, i == 0, static_cast<uint16_t>(states[i]->ID()), 1, FMatrix(),
                std::make_unique<FCXFormWAlpha>(false, false, 0, 0, 0, 0, 0, 0, 0, 0)));
        }
        tag->AddCondition(std::move(condition));
        for (KeyCondition& key : keyConditions) tag->AddCondition(std::move(key.record));
        keyConditions.clear();
        frame.Tags().push_back(std::move(tag));
        defined = true;
    }
    Place(frame, movie);
}
