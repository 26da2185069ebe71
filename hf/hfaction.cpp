#include "hf/hfaction.h"

#include <memory>

#include "swf/faction.h"
#include "swf/fct.h"

void HFActionGetURL::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(std::make_unique<FActionGetURL>(FString(url), FString(target)));
}

void HFActionGetURL::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(std::make_unique<FActionGetURL>(FString(url), FString(target)));
}

void HFActionGotoFrame::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(std::make_unique<FActionGotoFrame>(static_cast<uint16_t>(frameIndex)));
}

void HFActionGotoFrame::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(std::make_unique<FActionGotoFrame>(static_cast<uint16_t>(frameIndex)));
}

void HFActionPlay::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(std::make_unique<FActionPlay>());
}

void HFActionPlay::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(std::make_unique<FActionPlay>());
}

void HFActionStop::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(std::make_unique<FActionStop>());
}

void HFActionStop::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(std::make_unique<FActionStop>());
}

void HFActionStopSounds::AddToCondition(FActionCondition& condition) const
{
    condition.AddAction(std::make_unique<FActionStopSounds>());
}

void HFActionStopSounds::AddToDoAction(FCTDoAction& doAction) const
{
    doAction.AddAction(std::make_unique<FActionStopSounds>());
}
