#pragma once

// A decoder of SWF ADPCM sound data written from the format's description, to
// read back what the encoder writes:
//   code size - 2 (2 bits);
//   per packet of up to 4096 frames: per channel the first sample (signed
//   16 bits) and its step index (6 bits); then for each further frame one
//   code per channel: a sign bit and a magnitude, code-size bits in all.
// Decoding a code: the step of the current index, the magnitude bits from the
// top weighing step, step/2, step/4, ..., plus the step halved once more past
// the last magnitude bit; added or subtracted by the sign; clamped to 16
// bits; the index moves by the code size's adjustment of the magnitude.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace adpcmtest {

// Reads fields most significant bit first.
class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& bytes) : bytes(bytes) {}
    uint32_t Read(int n)
    {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            const size_t byte = position / 8;
            const uint32_t bit = byte < bytes.size() ? (bytes[byte] >> (7 - position % 8)) & 1 : 0;
            if (byte >= bytes.size()) overrun = true;
            value = value << 1 | bit;
            ++position;
        }
        return value;
    }
    int32_t ReadSigned(int n)
    {
        const uint32_t value = Read(n);
        return static_cast<int32_t>(value << (32 - n)) >> (32 - n);
    }
    size_t Position() const { return position; }
    bool Overrun() const { return overrun; }

private:
    const std::vector<uint8_t>& bytes;
    size_t position = 0;
    bool overrun = false;
};

constexpr int kSteps[89] = {
    7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60,
    66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408,
    449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272,
    2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442,
    11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

inline const std::vector<int>& IndexAdjust(int codeBits)
{
    static const std::vector<int> tables[4] = {
        {-1, 2},
        {-1, -1, 2, 4},
        {-1, -1, -1, -1, 2, 4, 6, 8},
        {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16}};
    return tables[codeBits - 2];
}

struct Decoded {
    int codeBits = 0;
    std::vector<int16_t> samples;  // interleaved by channel
    std::vector<int> firstIndices;  // each packet's step index per channel, in order
    bool overrun = false;           // the data ended before the frames did
};

inline Decoded Decode(const std::vector<uint8_t>& data, int channels, uint32_t frames)
{
    Decoded out;
    BitReader in(data);
    out.codeBits = static_cast<int>(in.Read(2)) + 2;
    const int bits = out.codeBits;
    const uint32_t signBit = 1u << (bits - 1);
    const std::vector<int>& adjust = IndexAdjust(bits);

    int32_t predicted[2] = {0, 0};
    int index[2] = {0, 0};
    for (uint32_t frame = 0; frame < frames; ++frame) {
        for (int c = 0; c < channels; ++c) {
            if (frame % 4096 == 0) {
                predicted[c] = in.ReadSigned(16);
                index[c] = static_cast<int>(in.Read(6));
                out.firstIndices.push_back(index[c]);
            } else {
                const uint32_t code = in.Read(bits);
                const uint32_t magnitude = code & (signBit - 1);
                int32_t step = kSteps[index[c]];
                int32_t difference = 0;
                for (uint32_t bit = signBit >> 1; bit != 0; bit >>= 1) {
                    if (magnitude & bit) difference += step;
                    step >>= 1;
                }
                difference += step;
                predicted[c] += (code & signBit) ? -difference : difference;
                predicted[c] = std::clamp(predicted[c], -32768, 32767);
                index[c] = std::clamp(index[c] + adjust[magnitude], 0, 88);
            }
            out.samples.push_back(static_cast<int16_t>(predicted[c]));
        }
    }
    out.overrun = in.Overrun();
    return out;
}

}  // namespace adpcmtest
