#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <optional>

#include "swf/fswfstream.h"

// One point of a sound's volume envelope.
class FSoundEnvelope {
public:
    // `position` in samples at 44 kHz; levels 0 to 32768.
    FSoundEnvelope(uint32_t position, uint16_t leftLevel, uint16_t rightLevel)
        : position(position), leftLevel(leftLevel), rightLevel(rightLevel) {}
    void Write(FSWFStream& stream) const;

private:
    uint32_t position;
    uint16_t leftLevel;
    uint16_t rightLevel;
};

// How an event sound is started: synchronisation, in and out points, loops
// and volume envelope. Only the parts whose flag is set are written.
class FSoundInfo {
public:
    // `syncFlags` is the four-bit field as written: two reserved zero bits,
    // sync-stop, sync-no-multiple. The point count is written unchanged, so a
    // caller giving an envelope gives the count 1.
    FSoundInfo(uint32_t syncFlags, bool hasEnvelope, bool hasLoops, bool hasOutPoint, bool hasInPoint,
               uint32_t inPoint, uint32_t outPoint, uint16_t loopCount, uint8_t envelopePointCount,
               std::optional<FSoundEnvelope> envelope);

    void Write(FSWFStream& stream) const;

private:
    uint32_t syncFlags;
    bool hasEnvelope;
    bool hasLoops;
    bool hasOutPoint;
    bool hasInPoint;
    uint32_t inPoint;
    uint32_t outPoint;
    uint16_t loopCount;
    uint8_t envelopePointCount;
    std::optional<FSoundEnvelope> envelope;
};
