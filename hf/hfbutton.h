#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "hf/hfobject.h"
#include "swf/faction.h"

class HFAction;

// A button drawn from four existing objects (up, over, down, hit; one object
// may serve as several) with one condition record for all its actions. The
// state objects are borrowed: the caller keeps them alive until the button's
// first addition and destroys them.
class HFButton : public HFObject {
public:
    HFButton(HFObject& up, HFObject& over, HFObject& down, HFObject& hit);

    // Adds the transition (codes 1 to 9; others add no bit) to the one
    // condition record and appends the action's record to it. Only before the
    // button's first addition to a frame.
    void AddAction(const HFAction& action, int32_t transitionCode);

    // First time: the states' define tags (never placed), then the
    // DefineButton2. Every time: the placement, whatever `defineOnly` says.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::array<HFObject*, 4> states;  // borrowed: up, over, down, hit
    std::unique_ptr<FActionCondition> condition;  // goes to the DefineButton2
};
