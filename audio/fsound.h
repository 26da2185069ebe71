#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <vector>

// Compresses linear PCM to the ADPCM bit stream of the SWF sound tags (sound
// format 1): a 2-bit code-size field, then packets of 4096 sample frames, each
// opened per channel by the uncompressed first sample (16 bits) and a 6-bit
// step index, followed by one `nBits` code per channel and frame.
//
// The sound format code is laid out like the low four bits of the SWF sound
// format byte: bits 2-3 the rate code, bit 1 the size (0 = 8-bit unsigned,
// 1 = 16-bit signed samples), bit 0 the type (0 = mono, 1 = stereo).
//
// Compress may be called any number of times for one sound; the bytes do not
// depend on how the samples are split over the calls. Flush once at the end.
class FADPCMEncoder {
public:
    FADPCMEncoder(uint8_t soundFormat, int codeBits);
    FADPCMEncoder(const FADPCMEncoder&) = delete;
    FADPCMEncoder& operator=(const FADPCMEncoder&) = delete;
    // The encoder must have been flushed ("bitPos == 0").
    ~FADPCMEncoder();

    // Encodes `frameCount` frames of interleaved samples: 16-bit signed in
    // native byte order, or 8-bit unsigned, as the sound format code says.
    // The samples are borrowed for the call only.
    void Compress(const void* samples, uint32_t frameCount, std::vector<uint8_t>& output);

    // Writes out everything pending and pads the last byte with zero bits.
    void Flush(std::vector<uint8_t>& output);

    // Appends the low `n` bits (at most 16) of `value`, most significant first.
    void WriteBits(uint32_t value, int n, std::vector<uint8_t>& output);

    uint32_t BytesWritten() const { return bytesWritten; }

    static constexpr uint32_t kPacketFrames = 4096;

    // The bytes a whole sound of `frameCount` frames encodes to, known before
    // encoding: every frame holds one code per channel except each packet's
    // first, which holds the 22-bit sample and index instead.
    static uint64_t EncodedSize(uint64_t frameCount, uint32_t channels, int codeBits);

    // The smallest step index (at most 63, the 6-bit field's limit) whose step
    // reaches the distance between a packet's first two samples.
    static int EstimateIndex(int32_t first, int32_t next);

private:
    void Compress16(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output);
    void WritePacketStart(const int32_t* first, const int* index, std::vector<uint8_t>& output);
    // Codes `frameCount` frames inside one packet (none of them its first).
    void CodeFrames(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output);
    template <int kBits, int kChannels>
    void CodeFramesOf(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output);
    void MoveOutBytes(std::vector<uint8_t>& output);

    bool stereo;
    bool eightBit;
    int nBits;
    uint32_t channels;
    uint32_t frameCounter = 0;
    int32_t valpred[2] = {0, 0};
    int index[2] = {0, 0};

    // A packet whose first frame ended a call waits here for the next sample,
    // which its index estimate needs; the end of the sound gives it index 0.
    bool packetStartPending = false;
    int32_t pendingFirst[2] = {0, 0};

    uint32_t accumulator = 0;
    int bitPos = 0;
    uint32_t bytesWritten = 0;
};
