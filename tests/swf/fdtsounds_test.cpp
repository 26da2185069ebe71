#include <gtest/gtest.h>

#include <vector>

#include "audio/adpcmdecoder.h"
#include "audio/wavbuilder.h"
#include "swf/fdtsounds.h"

namespace {

using wavtest::Bytes;

// Everything the tag writes, deferred blocks spliced in.
Bytes Written(FTag& tag, size_t* deferredBlocks = nullptr)
{
    FSWFStream stream;
    tag.Write(stream);
    if (deferredBlocks) *deferredBlocks = stream.DeferredBlocks().size();
    Bytes out(stream.Size());
    stream.WriteToMemory(out.data());
    return out;
}

// A DefineSound from WAV bytes, its printed report swallowed.
std::unique_ptr<FDTDefineSound> SoundFromWAV(const Bytes& wav, int codeBits)
{
    wavtest::File file = wavtest::TempFile(wav);
    testing::internal::CaptureStdout();
    auto sound = std::make_unique<FDTDefineSound>(file.get(), codeBits);
    testing::internal::GetCapturedStdout();
    return sound;
}

// The empty sound as character 1: ID, format byte 0, sample count 0, no data.
const Bytes kEmptySound = {
    0x87, 0x03,              // tag 14, length 7
    0x01, 0x00,              // character ID 1
    0x00,                    // format 0, rate 0, size 0, type 0
    0x00, 0x00, 0x00, 0x00,  // sample count 0
};

TEST(DefineSound, FromA22050HzSixteenBitMonoFileWithTwoBitCodes)
{
    FResetCharacterID();
    const auto sound = SoundFromWAV(wavtest::PcmWav(1, 22050, 16, Bytes(10, 0)), 2);
    size_t blocks = 0;
    EXPECT_EQ(Written(*sound, &blocks), (Bytes{
                                            0x8B, 0x03,              // tag 14, length 11
                                            0x01, 0x00,              // character ID 1
                                            0x1A,                    // ADPCM (1), 22050 Hz (2), 16-bit (1), mono (0)
                                            0x05, 0x00, 0x00, 0x00,  // 5 sample frames
                                            // code size 0 (2 bits), first sample 0, index 0,
                                            0x00, 0x00, 0x00,
                                            // then the codes of silence at 2 bits: 00 10 00 10
                                            0x22,
                                        }));
    EXPECT_EQ(blocks, 1u);  // the sound data is spliced in, not copied into the body
    EXPECT_FALSE(sound->Refused());
    EXPECT_EQ(sound->FormatCode(), 2 * 4 + 2 + 0);
    EXPECT_EQ(sound->SampleCount(), 5u);
}

TEST(DefineSound, FromSamplesInMemory)
{
    FResetCharacterID();
    const Bytes silence(5, 0x80);  // 8-bit unsigned: 128 is 0
    FDTDefineSound sound(2, 0, 0, 5, silence.data(), 5, 2);
    EXPECT_EQ(Written(sound), (Bytes{
                                  0x8B, 0x03,              // tag 14, length 11
                                  0x01, 0x00,              // character ID 1
                                  0x18,                    // ADPCM (1), 22050 Hz (2), 8-bit (0), mono (0)
                                  0x05, 0x00, 0x00, 0x00,  // 5 sample frames
                                  0x00, 0x00, 0x00, 0x22,  // as from 16-bit silence
                              }));

    // Stereo 16-bit: the data decodes back to the samples' shape, and the
    // body, now longer than 62 bytes, takes the long header.
    std::vector<int16_t> samples;
    for (int i = 0; i < 1000; ++i) {
        samples.push_back(static_cast<int16_t>(i * 10));   // left rises
        samples.push_back(static_cast<int16_t>(-i * 10));  // right falls
    }
    FDTDefineSound stereo(3, 1, 1, 1000, samples.data(), 4000, 5);
    EXPECT_EQ(stereo.ID(), 2);
    const Bytes out = Written(stereo);
    ASSERT_GT(out.size(), 13u);
    EXPECT_EQ(out[0], 0xBF);  // tag 14, long length
    EXPECT_EQ(out[1], 0x03);
    EXPECT_EQ(out[2] | out[3] << 8 | out[4] << 16 | out[5] << 24, static_cast<int>(out.size() - 6));
    EXPECT_EQ(out[8], 0x1F);  // ADPCM, 44100 Hz, 16-bit, stereo
    const adpcmtest::Decoded decoded = adpcmtest::Decode(stereo.SoundData(), 2, 1000);
    EXPECT_FALSE(decoded.overrun);
    EXPECT_EQ(decoded.codeBits, 5);
    EXPECT_NEAR(decoded.samples[2 * 999], 9990, 100);
    EXPECT_NEAR(decoded.samples[2 * 999 + 1], -9990, 100);
}

TEST(DefineSound, NoFileGivesTheEmptySound)
{
    FResetCharacterID();
    FDTDefineSound sound(nullptr, 4);
    size_t blocks = 1;
    EXPECT_EQ(Written(sound, &blocks), kEmptySound);
    EXPECT_EQ(blocks, 0u);
    EXPECT_FALSE(sound.Refused());
}

TEST(DefineSound, RefusedOrTruncatedFileGivesTheEmptySoundAndSaysWhy)
{
    Bytes truncated = wavtest::PcmWav(1, 22050, 16, Bytes(1000));
    truncated.resize(truncated.size() - 10);
    const std::vector<std::pair<Bytes, std::string>> files = {
        {wavtest::PcmWav(2, 48000, 16, Bytes(16)), "sample rate 48000 unsupported"},
        {truncated, "data chunk truncated: read 990 of 1000 bytes"},
        {Bytes{'R', 'I', 'F', 'X'}, "not a RIFF format file"},
    };
    for (const auto& [file, reason] : files) {
        FResetCharacterID();
        const auto sound = SoundFromWAV(file, 4);
        EXPECT_EQ(Written(*sound), kEmptySound) << reason;
        EXPECT_TRUE(sound->Refused());
        EXPECT_EQ(sound->Refusal(), reason);
        EXPECT_TRUE(sound->SoundData().empty());
    }
}

TEST(DefineSound, ZeroFramesWriteNoDataBlockAndTheMovieWrites)
{
    for (uint32_t bits : {8u, 16u}) {
        FResetCharacterID();
        const auto sound = SoundFromWAV(wavtest::PcmWav(1, 22050, bits, Bytes{}), 3);
        EXPECT_FALSE(sound->Refused());
        size_t blocks = 1;
        EXPECT_EQ(Written(*sound, &blocks), (Bytes{
                                                0x87, 0x03,  // tag 14, length 7
                                                0x01, 0x00,  // character ID 1
                                                static_cast<uint8_t>(bits == 16 ? 0x1A : 0x18),
                                                0x00, 0x00, 0x00, 0x00,  // no frames
                                            }));
        EXPECT_EQ(blocks, 0u);
    }
    // A zero-size deferred block would stop the file write.
    FSWFFile movie;
    movie.AddTag(std::make_unique<FDTDefineSound>(2, 1, 0, 0, nullptr, 0, 4));
    FSWFStream stream;
    movie.WriteBody(stream, 100, 100, 12);
    Bytes file(stream.Size());
    stream.WriteToMemory(file.data());
    EXPECT_EQ(file.size(), stream.ByteCount());
}

TEST(SoundStreamHead, WritesPlaybackByteThenADPCMSixteenBitStream)
{
    FDTSoundStreamHead head(0x0E, 1, 1000);
    EXPECT_EQ(Written(head), (Bytes{
                                 0x84, 0x04,  // tag 18, length 4
                                 0x0E,        // playback: 44100 Hz, 16-bit, mono
                                 0x13,        // ADPCM (0001), rate code 0, 16-bit, stereo
                                 0xE8, 0x03,  // 1000 samples
                             }));

    // With the stream's rate code; a count beyond 16 bits keeps its low 16 bits.
    FDTSoundStreamHead fast(0x0E, 3, 1, 70000);
    EXPECT_EQ(Written(fast), (Bytes{0x84, 0x04, 0x0E,
                                    0x1F,          // ADPCM (0001), rate code 3, 16-bit, stereo
                                    0x70, 0x11}));  // 70000 - 65536 = 0x1170
}

TEST(SoundStreamHead2, WritesTheStreamFieldsGiven)
{
    FDTSoundStreamHead2 head(0x0E, 1, 1, 1, 1000);
    EXPECT_EQ(Written(head), (Bytes{
                                 0x44, 0x0B,  // tag 45, length 4
                                 0x0E,        // playback byte
                                 0x13,        // compression 1, rate code 0, 16-bit, stereo
                                 0xE8, 0x03,  // 1000 samples
                             }));
    FDTSoundStreamHead2 rated(0x0A, 2, 2, 1, 0, 500);
    EXPECT_EQ(Written(rated), (Bytes{0x44, 0x0B, 0x0A,
                                     0x2A,  // compression 2 (0010), rate code 2, 16-bit, mono
                                     0xF4, 0x01}));
}

TEST(SoundStreamBlock, SplicesTheBorrowedBytes)
{
    const Bytes data = {1, 2, 3, 4, 5};
    FDTSoundStreamBlock block(5, data.data());
    size_t blocks = 0;
    EXPECT_EQ(Written(block, &blocks), (Bytes{0xC5, 0x04, 1, 2, 3, 4, 5}));  // tag 19, length 5
    EXPECT_EQ(blocks, 1u);

    // An empty block: an empty body, never a zero-size deferred block.
    FDTSoundStreamBlock empty(0, nullptr);
    EXPECT_EQ(Written(empty, &blocks), (Bytes{0xC0, 0x04}));
    EXPECT_EQ(blocks, 0u);
}

TEST(SoundTagsDeathTest, ObligationsStop)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(FDTSoundStreamHead(0x0E, 1, 1000).ID(), "Assertion failed: 0,");
    EXPECT_DEATH(FDTSoundStreamHead2(0x0E, 1, 1, 1, 1000).ID(), "Assertion failed: 0,");
    EXPECT_DEATH(FDTSoundStreamBlock(0, nullptr).ID(), "Assertion failed: 0,");
    EXPECT_DEATH(FDTDefineSound(nullptr, 6), "nBits >= 2 && nBits <= 5");
    const Bytes silence(4, 0x80);
    EXPECT_DEATH(FDTDefineSound(0, 0, 0, 4, silence.data(), 4, 1), "nBits >= 2 && nBits <= 5");
    EXPECT_DEATH(FDTSoundStreamHead(0x0E, 4, 1, 1000), "streamRate <= 3");
}

}  // namespace
