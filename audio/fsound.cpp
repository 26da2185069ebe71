#include "audio/fsound.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/fassert.h"

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

uint64_t FADPCMEncoder::EncodedSize(uint64_t frameCount, uint32_t channels, int codeBits)
{
    if (frameCount == 0) return 0;
    const uint64_t packets = (frameCount + kPacketFrames - 1) / kPacketFrames;
    const auto bits = static_cast<uint64_t>(codeBits);
    const uint64_t total = 2 + channels * (frameCount * bits + packets * (22 - bits));
    return (total + 7) / 8;
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

    if (packetStartPending) {
        int estimate[2] = {0, 0};
        for (uint32_t c = 0; c < channels; ++c) estimate[c] = EstimateIndex(pendingFirst[c], LoadSample(samples, c));
        packetStartPending = false;
        WritePacketStart(pendingFirst, estimate, output);
    }

    uint32_t frame = 0;
    while (frame < frameCount) {
        // Frames are numbered from 1; a packet starts at each number that is 1 modulo 4096.
        const uint32_t codedInPacket = frameCounter % kPacketFrames;
        if (codedInPacket != 0) {
            // The rest of the packet, or of the call: codes only.
            const uint32_t run = std::min(frameCount - frame, kPacketFrames - codedInPacket);
            CodeFrames(samples + 2 * static_cast<size_t>(frame) * channels, run, output);
            frameCounter += run;
            frame += run;
            continue;
        }
        ++frameCounter;
        const uint32_t base = frame * channels;
        int32_t sample[2] = {0, 0};
        for (uint32_t c = 0; c < channels; ++c) sample[c] = LoadSample(samples, base + c);
        if (frame + 1 == frameCount) {
            // The estimate needs the next frame, which the next call brings.
            packetStartPending = true;
            pendingFirst[0] = sample[0];
            pendingFirst[1] = sample[1];
            return;
        }
        int estimate[2] = {0, 0};
        for (uint32_t c = 0; c < channels; ++c)
            estimate[c] = EstimateIndex(sample[c], LoadSample(samples, base + channels + c));
        WritePacketStart(sample, estimate, output);
        ++frame;
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

void FADPCMEncoder::CodeFrames(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output)
{
    // One loop for each code size and channel count, so that the inner steps
    // unroll and the two channels' independent chains overlap.
    switch (nBits * 2 + (stereo ? 1 : 0)) {
    case 4: CodeFramesOf<2, 1>(samples, frameCount, output); break;
    case 5: CodeFramesOf<2, 2>(samples, frameCount, output); break;
    case 6: CodeFramesOf<3, 1>(samples, frameCount, output); break;
    case 7: CodeFramesOf<3, 2>(samples, frameCount, output); break;
    case 8: CodeFramesOf<4, 1>(samples, frameCount, output); break;
    case 9: CodeFramesOf<4, 2>(samples, frameCount, output); break;
    case 10: CodeFramesOf<5, 1>(samples, frameCount, output); break;
    default: CodeFramesOf<5, 2>(samples, frameCount, output); break;
    }
}

namespace {

// One sample's code (sign bit and magnitude), updating the channel's
// prediction and step index. The magnitude bits weigh step, step/2, ...; the
// prediction moves by the weights taken plus the step halved once more.
template <int kBits>
inline uint32_t CodeSample(int32_t sample, int32_t& predicted, int& stepIndex)
{
    int32_t diff = sample - predicted;
    const uint32_t sign = diff < 0 ? 1u << (kBits - 1) : 0u;
    diff = diff < 0 ? -diff : diff;

    int32_t step = kStepSizeTable[stepIndex];
    uint32_t code = 0;
    int32_t delta = 0;
    for (int bit = kBits - 2; bit >= 0; --bit) {
        const int32_t take = diff >= step ? -1 : 0;
        code |= static_cast<uint32_t>(take & 1) << bit;
        diff -= step & take;
        delta += step & take;
        step >>= 1;
    }
    delta += step;

    predicted = std::clamp(sign ? predicted - delta : predicted + delta, -32768, 32767);
    stepIndex = std::clamp(stepIndex + kIndexAdjust[kBits - 2][code], 0, 88);
    return code | sign;
}

}  // namespace

template <int kBits, int kChannels>
void FADPCMEncoder::CodeFramesOf(const uint8_t* samples, uint32_t frameCount, std::vector<uint8_t>& output)
{
    // Room for every byte the run can complete, written through a pointer;
    // the vector is cut back to what was written at the end.
    const size_t start = output.size();
    output.resize(start + (static_cast<size_t>(frameCount) * kChannels * kBits + 32) / 8 + 4);
    uint8_t* out = output.data() + start;
    uint32_t bits = accumulator;
    int pending = bitPos;
    // Each channel's state in locals of its own: the two chains run side by side.
    int32_t predicted0 = valpred[0], predicted1 = valpred[1];
    int stepIndex0 = index[0], stepIndex1 = index[1];

    // As WriteBits: whole bytes leave only when the next code would not fit.
    auto put = [&](uint32_t code) {
        if (pending + kBits > 32) {
            while (pending > 7) {
                *out++ = static_cast<uint8_t>(bits >> (pending - 8));
                pending -= 8;
            }
        }
        bits = (bits << kBits) | code;
        pending += kBits;
    };
    for (uint32_t frame = 0; frame < frameCount; ++frame) {
        const uint32_t code0 = CodeSample<kBits>(LoadSample(samples, frame * kChannels), predicted0, stepIndex0);
        if constexpr (kChannels == 2) {
            const uint32_t code1 = CodeSample<kBits>(LoadSample(samples, frame * 2 + 1), predicted1, stepIndex1);
            put(code0);
            put(code1);
        } else {
            put(code0);
        }
    }

    valpred[0] = predicted0;
    valpred[1] = predicted1;
    index[0] = stepIndex0;
    index[1] = stepIndex1;
    accumulator = bits;
    bitPos = pending;
    const auto written = static_cast<size_t>(out - (output.data() + start));
    bytesWritten += static_cast<uint32_t>(written);
    output.resize(start + written);
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
