#pragma once

#include "base/fversion.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "hf/hfobject.h"
#include "swf/faction.h"

class HFAction;

// A button drawn from four existing objects (up, over, down, hit; one object
// may serve as several) with one condition record for all its pointer
// actions, and one more for each key it answers. The state objects are
// borrowed: the caller keeps them alive until the button's first addition and
// destroys them.
class HFButton : public HFObject {
public:
    HFButton(HFObject& up, HFObject& over, HFObject& down, HFObject& hit);

    // Adds the transition (FButtonTransition, codes 1 to 9; others add no
    // bit) to the one condition record and appends the action's record to it.
    // Only before the button's first addition to a frame.
    void AddAction(const HFAction& action, int32_t transitionCode);

    // Appends the action's record to the condition record of the key (1 to
    // 127: 1 Left, 2 Right, 16 Page Up, 17 Page Down, printable keys their
    // ASCII code), made at the first action for that key. Key records follow
    // the pointer record in the order their keys first came. Only before the
    // button's first addition to a frame.
    void AddKeyAction(const HFAction& action, uint32_t keyCode);

    // First time: the states' define tags (never placed), then the
    // DefineButton2. Every time: the placement, whatever `defineOnly` says.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::array<HFObject*, 4> states;  // borrowed: up, over, down, hit
    std::unique_ptr<FActionCondition> condition;  // goes to the DefineButton2
    struct KeyCondition {
        uint32_t keyCode;
        std::unique_ptr<FActionCondition> record;  // goes to the DefineButton2 after `condition`
    };
    std::vector<KeyCondition> keyConditions;
};
