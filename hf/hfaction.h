#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>

class FActionCondition;
class FActionRecord;
class FCTDoAction;

// A high-level action: a small value that appends a new action record each
// time it is added to a frame (HFFrame::AddAction) or a button
// (HFButton::AddAction). Nothing keeps a pointer to it, so one action may be
// added to many frames and buttons and destroyed right after.
class HFAction {
public:
    // Appends a new record to a button's condition record.
    void AddToCondition(FActionCondition& condition) const;
    // Appends a new record to a frame's DoAction tag.
    void AddToDoAction(FCTDoAction& doAction) const;

    // A new record of this action, owned by the caller.
    virtual std::unique_ptr<FActionRecord> MakeRecord() const = 0;

protected:
    HFAction() = default;
    HFAction(const HFAction&) = default;
    HFAction& operator=(const HFAction&) = default;
    // Actions are owned by their creators as plain values, never deleted through the base.
    ~HFAction() = default;
};

// Loads a URL into a target window (none: the empty target). Both strings are
// borrowed and copied into each record made.
class HFActionGetURL : public HFAction {
public:
    explicit HFActionGetURL(const char* url, const char* target = "") : url(url), target(target) {}
    std::unique_ptr<FActionRecord> MakeRecord() const override;

private:
    const char* url;     // borrowed
    const char* target;  // borrowed
};

// Goes to a frame of the movie by its index.
class HFActionGotoFrame : public HFAction {
public:
    explicit HFActionGotoFrame(int32_t frameIndex) : frameIndex(frameIndex) {}  // 0 is the first frame
    std::unique_ptr<FActionRecord> MakeRecord() const override;

private:
    int32_t frameIndex;
};

// Plays the movie on.
class HFActionPlay : public HFAction {
public:
    std::unique_ptr<FActionRecord> MakeRecord() const override;
};

// Stops the movie at its frame.
class HFActionStop : public HFAction {
public:
    std::unique_ptr<FActionRecord> MakeRecord() const override;
};

// Silences every sound playing (a narration, say) without stopping the timeline.
class HFActionStopSounds : public HFAction {
public:
    std::unique_ptr<FActionRecord> MakeRecord() const override;
};
