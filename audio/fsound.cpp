#include "audio/fsound.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "swf/fassert.h"

namespace {

// The IMA ADPCM step sizes.
constexpr int kStepSizeTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Index adjustments per code size, indexed by the code without its sign bit.
constexpr int kIndexAdjust2[] = {-1, 2};
constexpr int kIndexAdjust3[] = {-1, -1, 2, 4};
constexpr int kIndexAdjust4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kIndexAdjust5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
constexpr const int* kIndexAdjust[] = {kIndexAdjust2, kIndexAdjust3, kIndexAdjust4, kIndexAdjust5};

// 16-bit samples are read byte-wise so that any buffer may hold them.
inline int32_t LoadSample(const uint8_t* samples, uint32_t position)
{
    int16_t value;
    std::memcpy(&value, samples + 2 * static_cast<size_t>(position), sizeof value);
    return value;
}

}  // namespace

FADPCMEncoder::FADPCMEncoder(uint8_t soundFormat, int codeBits)
    : stereo((soundFormat & 1) != 0),
      eightBit((soundFormat & 2) == 0),
      nBits(codeBits),
      channels(stereo ? 2 : 1)
{
    // Only these code sizes have an index table.
    F_ASSERT(nBits >= 2 && nBits <= 5, "nBits >= 2 && nBits <= 5");
}

FADPCMEncoder::~FADPCMEncoder()
{
    F_ASSERT(bitPos == 0 && !packetStartPending, "bitPos == 0");
}

int FADPCMEncoder::EstimateIndex(int32_t first, int32_t next)
{
    const int32_t difference = std::abs(first - next);
    int estimate = 0;
    while (estimate < 63 && kStepSizeTable[estimate] < difference) ++estimate;
    return estimate;
}

void FADPCMEncoder::Compress(const void* samples, uint32_t frameCount, std::vector<uint8_t>& output)
{
    const auto* bytes = static_cast<const uint8_t*>(samples);
    if (!eightBit) {
        Compress16(bytes, frameCount, output);
        return;
    }
    // 8-bit samples go through a fixed buffer of one packet's worth of frames.
    int16_t converted[kPacketFrames * 2];
    while (frameCount > 0) {
        const uint32_t chunk = std::min(frameCount, kPacketFrames);
        const uint32_t count = chunk * channels;
        for (uint32_t i = 0; i < count; ++i) converted[i] = static_cast<int16_t>((bytes[i] - 128) * 256);
        Compress16(reinterpret_cast<const uint8_t*>(converted), chunk, output);
        bytes += count;
        frameCount -= chunk;
    }
}

void FADPCMEncoder::Compress16(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output)
{
    if (frameCount == 0) return;
    // The code-size field comes once, before the first frame of the sound.
    if (frameCounter == 0) WriteBits(static_cast<uint32_t>(nBits - 2), 2, output);

    int32_t sample[2] = {0, 0};
    if (packetStartPending) {
        int estimate[2] = {0, 0};
        for (uint32_t c = 0; c < channels; ++c) estimate[c] = EstimateIndex(pendingFirst[c], LoadSample(samples, c));
        packetStartPending = false;
        WritePacketStart(pendingFirst, estimate, output);
    }

    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        ++frameCounter;
        const uint32_t base = frame * channels;
        for (uint32_t c = 0; c < channels; ++c) sample[c] = LoadSample(samples, base + c);

        if (frameCounter % kPacketFrames != 1) {
            CodeFrame(sample, output);
            continue;
        }
        if (frame + 1 == frameCount) {
            // The estimate needs the next frame, which the next call brings.
            packetStartPending = true;
            pendingFirst[0] = sample[0];
            pendingFirst[1] = sample[1];
            continue;
        }
        int estimate[2] = {0, 0};
        for (uint32_t c = 0; c < channels; ++c)
            estimate[c] = EstimateIndex(sample[c], LoadSample(samples, base + channels + c));
        WritePacketStart(sample, estimate, output);
    }
}

void FADPCMEncoder::WritePacketStart(const int32_t* first, const int* estimate, std::vector<uint8_t>& output)
{
    for (uint32_t c = 0; c < channels; ++c) {
        valpred[c] = first[c];
        WriteBits(static_cast<uint32_t>(first[c]) & 0xFFFF, 16, output);
        index[c] = estimate[c];
        WriteBits(static_cast<uint32_t>(estimate[c]), 6, output);
    }
}

void FADPCMEncoder::CodeFrame(const int32_t* sample, std::vector<uint8_t>& output)
{
    const int* indexAdjust = kIndexAdjust[nBits - 2];
    for (uint32_t c = 0; c < channels; ++c) {
        int32_t diff = sample[c] - valpred[c];
        int sign = 0;
        if (diff < 0) {
            sign = 1 << (nBits - 1);
            diff = -diff;
        }

        int32_t step = kStepSizeTable[index[c]];
        int code = 0;
        int32_t delta = 0;
        for (int mask = 1 << (nBits - 2); mask != 0; mask >>= 1) {
            if (diff >= step) {
                code |= mask;
                diff -= step;
                delta += step;
            }
            step >>= 1;
        }
        delta += step;

        int32_t predicted = sign ? valpred[c] - delta : valpred[c] + delta;
        if (predicted > 32767 || predicted < -32768) predicted = predicted >= 0 ? 32767 : -32768;
        valpred[c] = predicted;
        F_ASSERT(valpred[c] <= 32767 && valpred[c] >= -32768, "valpred[i] <=32767 && valpred[i] >= -32768");

        index[c] = std::clamp(index[c] + indexAdjust[code], 0, 88);
        WriteBits(static_cast<uint32_t>(code | sign), nBits, output);
    }
}

void FADPCMEncoder::MoveOutBytes(std::vector<uint8_t>& output)
{
    while (bitPos > 7) {
        output.push_back(static_cast<uint8_t>(accumulator >> (bitPos - 8)));
        bitPos -= 8;
        ++bytesWritten;
    }
}

void FADPCMEncoder::WriteBits(uint32_t value, int n, std::vector<uint8_t>& output)
{
    F_ASSERT(n <= 16, "n<=16");
    if (bitPos + n > 32) MoveOutBytes(output);
    accumulator = (accumulator << n) | (value & ((1u << n) - 1));
    bitPos += n;
}

void FADPCMEncoder::Flush(std::vector<uint8_t>& output)
{
    // A packet opened by the sound's last frame has no next sample: index 0.
    if (packetStartPending) {
        const int estimate[2] = {0, 0};
        packetStartPending = false;
        WritePacketStart(pendingFirst, estimate, output);
    }
    MoveOutBytes(output);
    if (bitPos > 0) {
        WriteBits(0, 8 - bitPos, output);
        MoveOutBytes(output);
    }
}
