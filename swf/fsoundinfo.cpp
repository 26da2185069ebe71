#include "swf/fsoundinfo.h"

void FSoundEnvelope::Write(FSWFStream& stream) const
{
    stream.WriteDWord(position);
    stream.WriteWord(leftLevel);
    stream.WriteWord(rightLevel);
}

FSoundInfo::FSoundInfo(uint32_t syncFlags, bool hasEnvelope, bool hasLoops, bool hasOutPoint,
                       bool hasInPoint, uint32_t inPoint, uint32_t outPoint, uint16_t loopCount,
                       uint8_t envelopePointCount, std::optional<FSoundEnvelope> envelope)
    : syncFlags(syncFlags),
      // The flag promises envelope points: without a point it would announce
      // data that never follows.
      hasEnvelope(hasEnvelope && envelope.has_value()),
      hasLoops(hasLoops),
      hasOutPoint(hasOutPoint),
      hasInPoint(hasInPoint),
      inPoint(inPoint),
      outPoint(outPoint),
      loopCount(loopCount),
      envelopePointCount(envelopePointCount),
      envelope(std::move(envelope)) {}

void FSoundInfo::Write(FSWFStream& stream) const
{
    stream.WriteBits(syncFlags, 4);
    stream.WriteBits(hasEnvelope ? 1 : 0, 1);
    stream.WriteBits(hasLoops ? 1 : 0, 1);
    stream.WriteBits(hasOutPoint ? 1 : 0, 1);
    stream.WriteBits(hasInPoint ? 1 : 0, 1);
    if (hasInPoint) stream.WriteDWord(inPoint);
    if (hasOutPoint) stream.WriteDWord(outPoint);
    if (hasLoops) stream.WriteWord(loopCount);
    if (hasEnvelope) {
        stream.WriteByte(envelopePointCount);
        envelope->Write(stream);
    }
}
