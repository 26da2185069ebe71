#include "hf/hfaction.h"

#include "base/fassert.h"
#include "swf/faction.h"
#include "swf/fct.h"

void HFAction::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(MakeRecord());
}

void HFAction::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(MakeRecord());
}

std::unique_ptr<FActionRecord> HFActionGetURL::MakeRecord() const
{
    return std::make_unique<FActionGetURL>(FString(url), FString(target));
}

std::unique_ptr<FActionRecord> HFActionGotoFrame::MakeRecord() const
{
    // The record holds 16 bits: a wider index would jump to another frame.
    F_ASSERT(frameIndex >= 0 && frameIndex <= 0xFFFF, "frameIndex >= 0 && frameIndex <= 0xFFFF");
    return std::make_unique<FActionGotoFrame>(static_cast<uint16_t>(frameIndex));
}

std::unique_ptr<FActionRecord> HFActionPlay::MakeRecord() const
{
    return std::make_unique<FActionPlay>();
}

std::unique_ptr<FActionRecord> HFActionStop::MakeRecord() const
{
    return std::make_unique<FActionStop>();
}

std::unique_ptr<FActionRecord> HFActionStopSounds::MakeRecord() const
{
    return std::make_unique<FActionStopSounds>();
}
