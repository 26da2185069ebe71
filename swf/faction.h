#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/fprimitives.h"
#include "swf/fswfstream.h"

// The SWF 4 action records. Each writes itself at the stream's current byte
// position: one code byte, and for codes from 0x80 on a UI16 length of the
// bytes that follow. Values wider than their field are truncated to it.
class FActionRecord {
public:
    FActionRecord() = default;
    FActionRecord(const FActionRecord&) = delete;
    FActionRecord& operator=(const FActionRecord&) = delete;
    virtual ~FActionRecord() = default;
    virtual void Write(FSWFStream& stream) const = 0;
};

// Loads `url` into the window or frame named by `target`.
class FActionGetURL : public FActionRecord {
public:
    FActionGetURL(FString url, FString target) : url(std::move(url)), target(std::move(target)) {}
    void Write(FSWFStream& stream) const override;

private:
    FString url;
    FString target;
};

// Loads the URL and target taken from the stack; `method` 0 none, 1 GET, 2 POST.
class FActionGetURL2 : public FActionRecord {
public:
    explicit FActionGetURL2(uint8_t method) : method(method) {}
    void Write(FSWFStream& stream) const override;

private:
    uint8_t method;
};

// Goes to a frame by its index.
class FActionGotoFrame : public FActionRecord {
public:
    explicit FActionGotoFrame(uint16_t frameIndex) : frameIndex(frameIndex) {}  // 0 is the first frame
    void Write(FSWFStream& stream) const override;

private:
    uint16_t frameIndex;
};

// Goes to the frame taken from the stack, and plays on when `play` is 1.
class FActionGotoFrame2 : public FActionRecord {
public:
    explicit FActionGotoFrame2(uint8_t play) : play(play) {}
    void Write(FSWFStream& stream) const override;

private:
    uint8_t play;
};

// Goes to the frame of that label (FCTFrameLabel).
class FActionGotoLabel : public FActionRecord {
public:
    explicit FActionGotoLabel(FString label) : label(std::move(label)) {}
    void Write(FSWFStream& stream) const override;

private:
    FString label;
};

// Branches by `offset` bytes, counted from the end of this record, when the
// value taken from the stack is true.
class FActionIf : public FActionRecord {
public:
    explicit FActionIf(int16_t offset) : offset(offset) {}
    void Write(FSWFStream& stream) const override;

private:
    int16_t offset;
};

// Branches by `offset` bytes, counted from the end of this record, always.
class FActionJump : public FActionRecord {
public:
    explicit FActionJump(int16_t offset) : offset(offset) {}
    void Write(FSWFStream& stream) const override;

private:
    int16_t offset;
};

// Pushes a string (type 0) or a single-precision number (type 1).
class FActionPush : public FActionRecord {
public:
    explicit FActionPush(FString text) : text(std::move(text)), value(0), type(0) {}
    explicit FActionPush(float value) : text(""), value(value), type(1) {}
    void Write(FSWFStream& stream) const override;

private:
    FString text;
    float value;
    uint8_t type;
};

// Directs the following actions at the named sprite; an empty name means the movie itself.
class FActionSetTarget : public FActionRecord {
public:
    explicit FActionSetTarget(FString targetName) : targetName(std::move(targetName)) {}
    void Write(FSWFStream& stream) const override;

private:
    FString targetName;
};

// Skips `skipCount` actions while frame `frameIndex` has not been loaded.
class FActionWaitForFrame : public FActionRecord {
public:
    FActionWaitForFrame(uint16_t frameIndex, uint16_t skipCount) : frameIndex(frameIndex), skipCount(skipCount) {}
    void Write(FSWFStream& stream) const override;  // the skip count in 8 bits

private:
    uint16_t frameIndex;
    uint16_t skipCount;
};

// As FActionWaitForFrame, the frame taken from the stack.
class FActionWaitForFrame2 : public FActionRecord {
public:
    explicit FActionWaitForFrame2(uint8_t skipCount) : skipCount(skipCount) {}
    void Write(FSWFStream& stream) const override;

private:
    uint8_t skipCount;
};

// Plays the timeline on from the current frame.
class FActionPlay : public FActionRecord {
public:
    void Write(FSWFStream& stream) const override;
};

// Stops the timeline at the current frame.
class FActionStop : public FActionRecord {
public:
    void Write(FSWFStream& stream) const override;
};

// Silences every sound playing, event sounds included; the timeline runs on.
class FActionStopSounds : public FActionRecord {
public:
    void Write(FSWFStream& stream) const override;
};

// The transition codes of FActionCondition::AddCondition and
// HFButton::AddAction: the pointer's moves between the button's states, each
// one bit of a condition record.
namespace FButtonTransition {
inline constexpr int32_t kOverDownToIdle = 1;     // pressed over the button, pointer leaves (menu tracking)
inline constexpr int32_t kIdleToOverDown = 2;     // pointer enters while the mouse button is held (menu tracking)
inline constexpr int32_t kOutDownToIdle = 3;      // pressed over the button, released outside it
inline constexpr int32_t kOutDownToOverDown = 4;  // pressed, pointer comes back over the button
inline constexpr int32_t kOverDownToOutDown = 5;  // pressed, pointer leaves the button
inline constexpr int32_t kOverDownToOverUp = 6;   // released over the button: a click
inline constexpr int32_t kOverUpToOverDown = 7;   // pressed over the button
inline constexpr int32_t kOverUpToIdle = 8;       // pointer leaves the button
inline constexpr int32_t kIdleToOverUp = 9;       // pointer enters the button
}  // namespace FButtonTransition

// A button's condition record: the transitions (and optional key) on which
// its actions run. Owns the actions.
class FActionCondition {
public:
    FActionCondition() = default;

    void AddAction(std::unique_ptr<FActionRecord> action);  // a null record is ignored
    // Codes 1 to 9 (FButtonTransition) set one transition bit each (1:
    // OverDownToIdle, 0x0100, down to 9: IdleToOverUp, 0x0001); any other code
    // changes nothing.
    void AddCondition(int32_t code);
    // ORs the key code into bits 9 to 15.
    void SetKeyCode(uint32_t key);

    // As a record that another condition record follows: its size field gives
    // the distance to the next one.
    void Write(FSWFStream& stream) const;
    // As the button's last condition record: size field 0.
    void WriteLast(FSWFStream& stream) const;

    uint16_t Flags() const { return flags; }
    size_t ActionCount() const { return actions.size(); }

private:
    void WriteActions(FSWFStream& stream) const;

    std::vector<std::unique_ptr<FActionRecord>> actions;
    uint16_t flags = 0;
};
