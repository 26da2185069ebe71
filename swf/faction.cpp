#include "swf/faction.h"

#include <bit>

namespace {

enum : uint32_t {
    kActionPlay = 0x06,
    kActionStop = 0x07,
    kActionStopSounds = 0x09,
    kActionGotoFrame = 0x81,
    kActionGetURL = 0x83,
    kActionWaitForFrame = 0x8A,
    kActionSetTarget = 0x8B,
    kActionGotoLabel = 0x8C,
    kActionWaitForFrame2 = 0x8D,
    kActionPush = 0x96,
    kActionJump = 0x99,
    kActionGetURL2 = 0x9A,
    kActionIf = 0x9D,
    kActionGotoFrame2 = 0x9F,
};

// A record whose body is one zero-terminated string.
void WriteStringAction(FSWFStream& stream, uint32_t code, const FString& text)
{
    stream.WriteByte(code);
    stream.WriteWord(static_cast<uint32_t>(text.Length() + 1));
    text.Write(stream, true);
}

}  // namespace

void FActionGetURL::Write(FSWFStream& stream) const
{
    FSWFStream body;
    url.Write(body, true);
    target.Write(body, true);
    stream.WriteByte(kActionGetURL);
    stream.WriteWord(body.Size());
    stream.Append(body);
}

void FActionGetURL2::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionGetURL2);
    stream.WriteWord(1);
    stream.WriteByte(method);
}

void FActionGotoFrame::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionGotoFrame);
    stream.WriteWord(2);
    stream.WriteWord(frameIndex);
}

void FActionGotoFrame2::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionGotoFrame2);
    stream.WriteWord(1);
    stream.WriteByte(play);
}

void FActionGotoLabel::Write(FSWFStream& stream) const
{
    WriteStringAction(stream, kActionGotoLabel, label);
}

void FActionIf::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionIf);
    stream.WriteWord(2);
    stream.WriteWord(static_cast<uint16_t>(offset));
}

void FActionJump::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionJump);
    stream.WriteWord(2);
    stream.WriteWord(static_cast<uint16_t>(offset));
}

void FActionPush::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionPush);
    if (type == 0) {
        stream.WriteWord(static_cast<uint32_t>(text.Length() + 2));  // the type byte, the string, its zero
        stream.WriteByte(0);
        text.Write(stream, true);
        return;
    }
    stream.WriteWord(5);
    stream.WriteByte(1);
    stream.WriteDWord(std::bit_cast<uint32_t>(value));
}

void FActionSetTarget::Write(FSWFStream& stream) const
{
    WriteStringAction(stream, kActionSetTarget, targetName);
}

void FActionWaitForFrame::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionWaitForFrame);
    stream.WriteWord(3);
    stream.WriteWord(frameIndex);
    stream.WriteByte(skipCount & 0xFF);
}

void FActionWaitForFrame2::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionWaitForFrame2);
    stream.WriteWord(1);
    stream.WriteByte(skipCount);
}

void FActionPlay::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionPlay);
}

void FActionStop::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionStop);
}

void FActionStopSounds::Write(FSWFStream& stream) const
{
    stream.WriteByte(kActionStopSounds);
}

void FActionCondition::AddAction(std::unique_ptr<FActionRecord> action)
{
    if (action) actions.push_back(std::move(action));
}

void FActionCondition::AddCondition(int32_t code)
{
    // Code 1 is the highest transition bit, code 9 the lowest.
    if (code >= 1 && code <= 9) flags = static_cast<uint16_t>(flags | (0x0100u >> (code - 1)));
}

void FActionCondition::SetKeyCode(uint32_t key)
{
    flags = static_cast<uint16_t>(flags | (key << 9));
}

void FActionCondition::WriteActions(FSWFStream& stream) const
{
    for (const std::unique_ptr<FActionRecord>& action : actions) action->Write(stream);
}

void FActionCondition::Write(FSWFStream& stream) const
{
    FSWFStream body;
    body.WriteWord(flags);
    WriteActions(body);
    body.WriteByte(0);
    // The size field counts itself: it is the distance to the next record.
    stream.WriteWord(body.Size() + 2);
    stream.Append(body);
}

void FActionCondition::WriteLast(FSWFStream& stream) const
{
    stream.WriteWord(0);
    stream.WriteWord(flags);
    WriteActions(stream);
    stream.FlushBits();
    stream.WriteByte(0);
}
