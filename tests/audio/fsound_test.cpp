#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "audio/adpcmdecoder.h"
#include "audio/fsound.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Sound format codes: rate code 3 (44100 Hz) x 4 + size x 2 + type.
constexpr uint8_t kMono16 = 3 * 4 + 2 + 0;
constexpr uint8_t kStereo16 = 3 * 4 + 2 + 1;
constexpr uint8_t kMono8 = 3 * 4 + 0 + 0;
constexpr uint8_t kStereo8 = 3 * 4 + 0 + 1;

Bytes Encode(uint8_t format, int codeBits, const void* samples, uint32_t frames)
{
    Bytes out;
    FADPCMEncoder encoder(format, codeBits);
    encoder.Compress(samples, frames, out);
    encoder.Flush(out);
    return out;
}

// Encodes with one Compress call per piece, the pieces given in frames.
template <typename Sample>
Bytes EncodeInPieces(uint8_t format, int codeBits, const std::vector<Sample>& samples, int channels,
                     const std::vector<uint32_t>& pieces)
{
    Bytes out;
    FADPCMEncoder encoder(format, codeBits);
    size_t at = 0;
    for (uint32_t frames : pieces) {
        encoder.Compress(samples.data() + at, frames, out);
        at += static_cast<size_t>(frames) * channels;
    }
    encoder.Flush(out);
    return out;
}

std::vector<int16_t> Noise(size_t count, int amplitude, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-amplitude, amplitude);
    std::vector<int16_t> samples(count);
    for (int16_t& s : samples) s = static_cast<int16_t>(value(random));
    return samples;
}

std::vector<int16_t> Sine(size_t frames, int channels, double hertz, double amplitude)
{
    std::vector<int16_t> samples;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            // The right channel at a different pitch, so the channels differ.
            const double f = hertz * (c + 1) * 1.27;
            samples.push_back(static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * f * i / 44100.0))));
        }
    }
    return samples;
}

TEST(ADPCMEncoder, OnePacketOf4096MonoFramesWith4BitCodes)
{
    std::vector<int16_t> samples(4096);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i % 200 * 100 - 10000);
    const Bytes out = Encode(kMono16, 4, samples.data(), 4096);

    // 2 + 16 + 6 + 4095 x 4 = 16404 bits, padded to whole bytes.
    EXPECT_EQ(out.size(), 2051u);
    adpcmtest::BitReader in(out);
    EXPECT_EQ(in.Read(2), 2u);                  // code size 4 - 2
    EXPECT_EQ(in.ReadSigned(16), -10000);        // first sample
    EXPECT_EQ(in.Read(6), 28u);                  // index: step 107 is the first >= |-10000 - -9900|
}

TEST(ADPCMEncoder, SecondPacketStartsWithFrame4097)
{
    std::vector<int16_t> samples(4098, 0);
    samples[4096] = 1000;
    samples[4097] = 1100;

    // The 4097th frame is the last: its packet has no next sample, index 0.
    const Bytes last = Encode(kMono16, 4, samples.data(), 4097);
    EXPECT_EQ(last.size(), 2054u);  // 16404 + 16 + 6 bits, no code for the 4097th frame
    adpcmtest::BitReader a(last);
    a.Read(16404);
    EXPECT_EQ(a.ReadSigned(16), 1000);  // second packet's first sample
    EXPECT_EQ(a.Read(6), 0u);           // its index
    EXPECT_EQ(a.Read(2), 0u);           // padding

    const Bytes more = Encode(kMono16, 4, samples.data(), 4098);
    EXPECT_EQ(more.size(), 2054u);  // 16430 bits
    adpcmtest::BitReader b(more);
    b.Read(16404);
    EXPECT_EQ(b.ReadSigned(16), 1000);
    EXPECT_EQ(b.Read(6), 28u);  // |1000 - 1100| = 100: step 107
}

TEST(ADPCMEncoder, StereoPacketStartWritesLeftThenRightBeforeAnyCode)
{
    const std::vector<int16_t> samples = {1000, -5, 1000, 3000, 1000, 3000};
    const Bytes out = Encode(kStereo16, 3, samples.data(), 3);
    adpcmtest::BitReader in(out);
    EXPECT_EQ(in.Read(2), 1u);          // code size 3 - 2
    EXPECT_EQ(in.ReadSigned(16), 1000);  // left first sample
    EXPECT_EQ(in.Read(6), 0u);           // left index: no change
    EXPECT_EQ(in.ReadSigned(16), -5);    // right first sample
    EXPECT_EQ(in.Read(6), 63u);          // right index: 3005 is beyond step 2749 (index 62)
    EXPECT_EQ(in.Position(), 46u);
    // Two more frames of two 3-bit codes: 46 + 12 = 58 bits.
    EXPECT_EQ(out.size(), 8u);
}

TEST(ADPCMEncoder, IndexEstimateIsTheFirstStepReachingTheDistance)
{
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(5, 5), 0);
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(0, 7), 0);
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(0, 8), 1);
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(100, 0), 28);
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(0, 2749), 62);
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(0, 2750), 63);  // the 6-bit field's limit
    EXPECT_EQ(FADPCMEncoder::EstimateIndex(-32768, 32767), 63);
}

TEST(ADPCMEncoder, AnySplitOverCallsGivesTheBytesOfOneCall)
{
    const std::vector<int16_t> mono = Noise(9000, 3000, 1);
    const std::vector<int16_t> stereo = Noise(2 * 9000, 3000, 2);
    const std::vector<std::vector<uint32_t>> splits = {
        {3000, 3000, 3000},
        {4096, 4904},
        {4097, 4903},      // a packet opened by the last frame of a call
        {1, 8999},         // the very first frame alone
        {0, 0, 9000},      // empty calls before the first frame
        {4096, 1, 1, 4902},
        {8193, 0, 807},
    };
    for (int bits = 2; bits <= 5; ++bits) {
        const Bytes wholeMono = Encode(kMono16, bits, mono.data(), 9000);
        const Bytes wholeStereo = Encode(kStereo16, bits, stereo.data(), 9000);
        for (const auto& pieces : splits) {
            EXPECT_EQ(EncodeInPieces(kMono16, bits, mono, 1, pieces), wholeMono) << bits << " bits";
            EXPECT_EQ(EncodeInPieces(kStereo16, bits, stereo, 2, pieces), wholeStereo) << bits << " bits";
        }
    }
    // The 6000-frame case, cut in halves.
    EXPECT_EQ(EncodeInPieces(kMono16, 4, mono, 1, {3000, 3000}), Encode(kMono16, 4, mono.data(), 6000));
}

TEST(ADPCMEncoder, EncodedSizeIsKnownBeforeEncoding)
{
    const std::vector<int16_t> stereo = Noise(2 * 9000, 3000, 4);
    for (int bits = 2; bits <= 5; ++bits) {
        for (uint32_t frames : {0u, 1u, 2u, 4095u, 4096u, 4097u, 8192u, 9000u}) {
            const uint64_t mono = Encode(kMono16, bits, stereo.data(), frames).size();
            const uint64_t two = Encode(kStereo16, bits, stereo.data(), frames).size();
            EXPECT_EQ(mono, FADPCMEncoder::EncodedSize(frames, 1, bits)) << frames << " frames, " << bits << " bits";
            EXPECT_EQ(two, FADPCMEncoder::EncodedSize(frames, 2, bits)) << frames << " frames, " << bits << " bits";
        }
    }
    EXPECT_EQ(FADPCMEncoder::EncodedSize(4096, 1, 4), 2051u);
}

TEST(ADPCMEncoder, EightBitInputEncodesAsItsSixteenBitConversion)
{
    std::mt19937 random(3);
    std::vector<uint8_t> eight(2 * 10000);
    for (uint8_t& b : eight) b = static_cast<uint8_t>(random());
    std::vector<int16_t> sixteen(eight.size());
    for (size_t i = 0; i < eight.size(); ++i) sixteen[i] = static_cast<int16_t>((eight[i] - 128) * 256);

    EXPECT_EQ(Encode(kMono8, 4, eight.data(), 20000), Encode(kMono16, 4, sixteen.data(), 20000));
    EXPECT_EQ(Encode(kStereo8, 5, eight.data(), 10000), Encode(kStereo16, 5, sixteen.data(), 10000));
    // Split so that a packet start falls on the last frame of a 4096-frame chunk.
    EXPECT_EQ(EncodeInPieces(kMono8, 2, eight, 1, {1, 19999}), Encode(kMono16, 2, sixteen.data(), 20000));
}

TEST(ADPCMEncoder, CodeSizeFieldIsWrittenOnceAndNotForAnEmptySound)
{
    const std::vector<int16_t> samples = {0, 0, 0, 0, 0};
    // A sound of no frames has no bytes at all.
    EXPECT_TRUE(Encode(kMono16, 4, samples.data(), 0).empty());
    EXPECT_TRUE(Encode(kMono8, 4, samples.data(), 0).empty());
    // A first call with no frames must not write the field ahead of the real one.
    EXPECT_EQ(EncodeInPieces(kMono16, 2, samples, 1, {0, 5}), Encode(kMono16, 2, samples.data(), 5));
}

// A constant signal: with the first index 0 the codes follow from step 7.
// 4 bits: the final step 7>>3 = 0, nothing moves: all codes 0.
// 2 bits: the final step 7>>1 = 3 overshoots: +3, then -3 (sign bit 2): 0, 2, 0, 2.
// 3 bits: the final step 7>>2 = 1: 0, 4, 0, 4.
// 5 bits: the step reaches 0 before the last magnitude bit, and 0 >= 0: all codes 1.
TEST(ADPCMEncoder, ConstantSignalCodesPerCodeSize)
{
    const std::vector<int16_t> samples(9, 1234);
    const std::vector<std::vector<uint32_t>> expected = {
        {0, 2, 0, 2, 0, 2, 0, 2}, {0, 4, 0, 4, 0, 4, 0, 4}, {0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1}};
    for (int bits = 2; bits <= 5; ++bits) {
        const Bytes out = Encode(kMono16, bits, samples.data(), 9);
        adpcmtest::BitReader in(out);
        EXPECT_EQ(in.Read(2), static_cast<uint32_t>(bits - 2));
        EXPECT_EQ(in.ReadSigned(16), 1234);
        EXPECT_EQ(in.Read(6), 0u) << bits << " bits";
        std::vector<uint32_t> codes;
        for (int i = 0; i < 8; ++i) codes.push_back(in.Read(bits));
        EXPECT_EQ(codes, expected[bits - 2]) << bits << " bits";
    }
}

TEST(ADPCMEncoder, WriteBitsPacksMostSignificantFirstAndFlushPads)
{
    Bytes out;
    FADPCMEncoder encoder(kMono16, 4);
    encoder.WriteBits(0xABCD, 16, out);
    encoder.WriteBits(0x1234, 16, out);
    encoder.WriteBits(0xFFF5, 3, out);  // only the low 3 bits: 101
    encoder.Flush(out);
    EXPECT_EQ(out, (Bytes{0xAB, 0xCD, 0x12, 0x34, 0xA0}));
    EXPECT_EQ(encoder.BytesWritten(), 5u);
}

// Signal-to-noise ratio of the decoded sound against the input, in dB.
double SNR(const std::vector<int16_t>& input, const std::vector<int16_t>& decoded)
{
    double signal = 0;
    double noise = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        signal += double(input[i]) * input[i];
        const double error = double(input[i]) - decoded[i];
        noise += error * error;
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

TEST(ADPCMEncoder, DecodesBackWithSignalToNoiseRisingWithCodeSize)
{
    constexpr uint32_t kFrames = 3 * 44100 / 2;  // several packets
    struct Signal {
        const char* name;
        int channels;
        std::vector<int16_t> samples;
        double least5Bit;  // dB the 5-bit codes must reach
    };
    std::vector<int16_t> square(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) square[i] = (i / 60) % 2 ? 32767 : -32768;  // full scale: clamps
    const std::vector<Signal> signals = {
        {"sine 440 Hz mono", 1, Sine(kFrames, 1, 440 / 1.27, 16000), 45},
        {"sines stereo", 2, Sine(kFrames, 2, 1000, 12000), 30},
        {"noise mono", 1, Noise(kFrames, 8000, 4), 15},
        {"noise stereo", 2, Noise(2 * kFrames, 8000, 5), 15},
        // Edges no step can follow, clamped at both rails: poor, but still rising.
        {"square full scale", 1, square, 5},
    };
    for (const Signal& signal : signals) {
        double previous = -1e9;
        std::string figures;
        for (int bits = 2; bits <= 5; ++bits) {
            const uint8_t format = signal.channels == 2 ? kStereo16 : kMono16;
            const Bytes out = Encode(format, bits, signal.samples.data(), kFrames);
            const adpcmtest::Decoded decoded = adpcmtest::Decode(out, signal.channels, kFrames);
            ASSERT_FALSE(decoded.overrun) << signal.name << ", " << bits << " bits";
            ASSERT_EQ(decoded.codeBits, bits);
            ASSERT_EQ(decoded.samples.size(), signal.samples.size());
            // Each packet opens with its first sample as it was.
            for (uint32_t frame = 0; frame < kFrames; frame += 4096) {
                for (int c = 0; c < signal.channels; ++c) {
                    const size_t i = size_t{frame} * signal.channels + c;
                    EXPECT_EQ(decoded.samples[i], signal.samples[i]);
                }
            }
            const double snr = SNR(signal.samples, decoded.samples);
            EXPECT_GT(snr, previous + 1.5) << signal.name << ", " << bits << " bits";
            previous = snr;
            char line[64];
            std::snprintf(line, sizeof line, "  %d bits %6.2f dB", bits, snr);
            figures += line;
        }
        EXPECT_GT(previous, signal.least5Bit) << signal.name;
        std::printf("SNR %-18s%s\n", signal.name, figures.c_str());
    }
}

using ADPCMEncoderDeathTest = ::testing::Test;

TEST(ADPCMEncoderDeathTest, CodeSizesOutsideTwoToFiveStop)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(FADPCMEncoder(kMono16, 1), "nBits >= 2 && nBits <= 5");
    EXPECT_DEATH(FADPCMEncoder(kMono16, 6), "nBits >= 2 && nBits <= 5");
}

TEST(ADPCMEncoderDeathTest, OwnInvariantsStop)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            Bytes out;
            FADPCMEncoder encoder(kMono16, 4);
            encoder.WriteBits(1, 17, out);
        },
        "n<=16");
    EXPECT_DEATH(
        {
            Bytes out;
            FADPCMEncoder encoder(kMono16, 4);
            encoder.WriteBits(5, 3, out);
        },
        "bitPos == 0");
}

}  // namespace
