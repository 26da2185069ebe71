#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/wavbuilder.h"
#include "swf/fdtsounds.h"

namespace {

using namespace wavtest;
using Lines_ = std::vector<std::string>;

struct Result {
    bool accepted = false;
    FSoundFormat fields;
    Bytes samples;
    std::string refusal;
    Lines_ report;
};

Result Read(const Bytes& file)
{
    Result result;
    File fp = TempFile(file);
    EXPECT_TRUE(fp);
    testing::internal::CaptureStdout();
    result.accepted = FDTDefineSound::ReadWAV(fp.get(), result.fields, result.samples, &result.refusal);
    result.report = Lines(testing::internal::GetCapturedStdout());
    // A refusal always says why and keeps no samples; an acceptance says nothing.
    EXPECT_EQ(result.refusal.empty(), result.accepted) << result.refusal;
    if (!result.accepted) {
        EXPECT_TRUE(result.samples.empty());
    }
    return result;
}

// The chunk line, with the blank line before it.
Lines_ ChunkLines(const std::string& id, uint64_t size)
{
    return {"\n", "----- Chunk ID " + id + ", Size " + std::to_string(size) + " -----\n"};
}

Lines_ operator+(Lines_ a, const Lines_& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The report of a 16-byte PCM format chunk.
Lines_ PcmFormatLines(unsigned channels, unsigned rate, unsigned bits)
{
    return ChunkLines("20746d66", 16) + Lines_{
        "Format Chunk\n",
        "Common Fields:\n",
        "  Format Tag 0001h:  WAVE_FORMAT_PCM\n",
        "  " + std::to_string(channels) + " Channels\n",
        "  " + std::to_string(rate) + " Samples Per Second\n",
        "  " + std::to_string(rate * channels * bits / 8) + " Average Bytes Per Second\n",
        "  Block Align " + std::to_string(channels * bits / 8) + "\n",
        "Format Specific Fields:\n",
        "  " + std::to_string(bits) + " Bits Per Sample\n",
    };
}

Lines_ DataLines(uint64_t size) { return ChunkLines("61746164", size) + Lines_{"Data Chunk\n"}; }

TEST(WAVReader, RefusesAFileThatIsNotRIFF)
{
    const Result r = Read(Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.report, Lines_{"Not a RIFF format file\n"});
    EXPECT_EQ(r.fields.format, 1);  // set before anything is read
    EXPECT_FALSE(Read(Bytes{}).accepted);
}

TEST(WAVReader, RefusesARIFFFileThatIsNotWAVE)
{
    const Result r = Read(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.report, Lines_{"Not a WAVE file\n"});
}

TEST(WAVReader, Reads44100HzSixteenBitStereo)
{
    Bytes data(176400);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    const Result r = Read(PcmWav(2, 44100, 16, data));

    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.report, Lines_({
                            "\n",
                            "----- Chunk ID 20746d66, Size 16 -----\n",
                            "Format Chunk\n",
                            "Common Fields:\n",
                            "  Format Tag 0001h:  WAVE_FORMAT_PCM\n",
                            "  2 Channels\n",
                            "  44100 Samples Per Second\n",
                            "  176400 Average Bytes Per Second\n",
                            "  Block Align 4\n",
                            "Format Specific Fields:\n",
                            "  16 Bits Per Sample\n",
                            "\n",
                            "----- Chunk ID 61746164, Size 176400 -----\n",
                            "Data Chunk\n",
                        }));
    EXPECT_EQ(r.fields.format, 1);
    EXPECT_EQ(r.fields.rate, 3);
    EXPECT_EQ(r.fields.size, 1);
    EXPECT_EQ(r.fields.type, 1);
    EXPECT_EQ(r.fields.sampleCount, 44100u);
    EXPECT_EQ(r.samples, data);  // little-endian host: the bytes as they were
}

TEST(WAVReader, Reads11025HzEightBitMono)
{
    const Bytes data(1001, 0x80);
    const Result r = Read(PcmWav(1, 11025, 8, data));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.report, PcmFormatLines(1, 11025, 8) + DataLines(1001));
    EXPECT_EQ(r.fields.rate, 1);
    EXPECT_EQ(r.fields.size, 0);
    EXPECT_EQ(r.fields.type, 0);
    EXPECT_EQ(r.fields.sampleCount, 1001u);
    EXPECT_EQ(r.samples, data);
}

TEST(WAVReader, SkipsUnknownChunksPaddedToEvenLength)
{
    const Bytes data = Samples16({1, -1, 2, -2});
    const Result r = Read(Riff({
        Chunk("fmt ", FormatBody(1, 1, 22050, 16)),
        Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'}),  // odd: a pad byte follows
        Chunk("data", data),
    }));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.report, PcmFormatLines(1, 22050, 16) + ChunkLines("5453494c", 5) + Lines_{"Unknown Chunk\n"} +
                            DataLines(8));
    EXPECT_EQ(r.fields.sampleCount, 4u);
    EXPECT_EQ(r.samples, data);
}

TEST(WAVReader, RefusesDataBeforeTheFormatChunk)
{
    const Result r = Read(Riff({Chunk("data", Bytes(4)), Chunk("fmt ", FormatBody(1, 1, 22050, 16))}));
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.report, DataLines(4) + Lines_{"Warning Format Chunk not defined before Data Chunk\n"});
}

TEST(WAVReader, RefusesTruncatedDataWithTheBytesActuallyRead)
{
    Bytes file = PcmWav(1, 22050, 16, Bytes(1000, 1));
    file.resize(file.size() - 900);
    const Result r = Read(file);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.report, PcmFormatLines(1, 22050, 16) + DataLines(1000) + Lines_{"Warning Read 100 of 1000 bytes\n"});

    // A size that claims far more than the file holds allocates only what is there.
    const Result huge = Read(Riff({Chunk("fmt ", FormatBody(1, 1, 22050, 16)), Chunk("data", Bytes(8), 0x7FFFFFF0)}));
    EXPECT_FALSE(huge.accepted);
    EXPECT_EQ(huge.report.back(), "Warning Read 8 of 2147483632 bytes\n");
}

TEST(WAVReader, RefusesRatesOutsideTheFourBandsBeforeReadingTheBitDepth)
{
    for (unsigned rate : {48000u, 16000u, 4999u, 32000u}) {
        const Result r = Read(PcmWav(2, rate, 16, Bytes(16)));
        EXPECT_FALSE(r.accepted);
        const Lines_ expected = ChunkLines("20746d66", 16) + Lines_{
            "Format Chunk\n",
            "Common Fields:\n",
            "  Format Tag 0001h:  WAVE_FORMAT_PCM\n",
            "  2 Channels\n",
            "  " + std::to_string(rate) + " Samples Per Second\n",
            "Sample rate " + std::to_string(rate) + " unsupported\n",
        };
        EXPECT_EQ(r.report, expected);
        EXPECT_EQ(r.fields.size, 0);  // never read
        EXPECT_EQ(r.fields.type, 1);
    }
}

TEST(WAVReader, ResamplesRatesMoreThanOnePercentOffTheirCode)
{
    // 8000 Hz gets code 0 (5512.5 Hz): a ramp stays a ramp, 16000/11025 steps apart.
    std::vector<int16_t> ramp(8000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i);
    const Result r = Read(PcmWav(1, 8000, 16, Samples16(ramp)));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.report,
              PcmFormatLines(1, 8000, 16) + DataLines(16000) + Lines_{"Resampling 8000 Hz to 5512.5 Hz\n"});
    EXPECT_EQ(r.fields.rate, 0);
    EXPECT_EQ(r.fields.sampleCount, 5513u);  // 8000 x 5512.5 / 8000, rounded
    ASSERT_EQ(r.samples.size(), 2u * 5513);
    auto sample = [&](size_t i) { return static_cast<int16_t>(r.samples[2 * i] | r.samples[2 * i + 1] << 8); };
    EXPECT_EQ(sample(0), 0);
    EXPECT_EQ(sample(1), 1);      // 1.451
    EXPECT_EQ(sample(100), 145);  // 145.12
    EXPECT_EQ(sample(5512), 7999);

    // Stereo 8-bit at 40000 Hz goes up to 44100 Hz.
    const Result up = Read(PcmWav(2, 40000, 8, Bytes(2 * 400, 0x80)));
    ASSERT_TRUE(up.accepted);
    EXPECT_EQ(up.report.back(), "Resampling 40000 Hz to 44100 Hz\n");
    EXPECT_EQ(up.fields.sampleCount, 441u);
    EXPECT_EQ(up.samples, Bytes(2 * 441, 0x80));

    // Within 1 %: kept as it is.
    for (unsigned rate : {11000u, 5512u, 44000u}) {
        const Result near = Read(PcmWav(1, rate, 16, Bytes(200)));
        ASSERT_TRUE(near.accepted);
        EXPECT_EQ(near.report.back(), "Data Chunk\n") << rate;
        EXPECT_EQ(near.fields.sampleCount, 100u);
    }
}

TEST(WAVReader, RefusesChannelCountsOtherThanOneAndTwo)
{
    for (unsigned channels : {0u, 3u, 6u}) {
        const Result r = Read(PcmWav(channels, 22050, 16, Bytes(12)));
        EXPECT_FALSE(r.accepted);
        ASSERT_GE(r.report.size(), 2u);
        EXPECT_EQ(r.report[r.report.size() - 2], "  " + std::to_string(channels) + " Channels\n");
        EXPECT_EQ(r.report.back(), "Channel count " + std::to_string(channels) + " unsupported\n");
    }
}

TEST(WAVReader, RefusesBitDepthsOtherThanEightAndSixteen)
{
    for (unsigned bits : {24u, 32u, 4u, 0u}) {
        const Result r = Read(PcmWav(1, 22050, bits, Bytes(12)));
        EXPECT_FALSE(r.accepted);
        Lines_ expected = PcmFormatLines(1, 22050, bits);
        expected.push_back("Bits per sample " + std::to_string(bits) + " unsupported\n");
        EXPECT_EQ(r.report, expected);
    }
}

TEST(WAVReader, RefusesCompressedFormatsReadingTheExtraSizeOnlyWhenPresent)
{
    // 16-byte chunk: no extra-information size; the next chunk's header is not it.
    const Result shortChunk = Read(Riff({Chunk("fmt ", FormatBody(2, 1, 22050, 4)), Chunk("data", Bytes(8))}));
    EXPECT_FALSE(shortChunk.accepted);
    const Lines_ head = ChunkLines("20746d66", 16) + Lines_{
        "Format Chunk\n",
        "Common Fields:\n",
        "  Format Tag 0002h:  WAVE_FORMAT_ADPCM\n",
        "  1 Channels\n",
        "  22050 Samples Per Second\n",
        "  11025 Average Bytes Per Second\n",
        "  Block Align 0\n",
        "Format Specific Fields:\n",
        "  4 Bits Per Sample\n",
    };
    EXPECT_EQ(shortChunk.report, head + Lines_({"  0 Bytes of extra information\n", "  NOT YET SUPPORTED\n"}));

    // 18-byte chunk: the size is read from it.
    const Result longChunk = Read(Riff({Chunk("fmt ", FormatBody(2, 1, 22050, 4, 32)), Chunk("data", Bytes(8))}));
    EXPECT_FALSE(longChunk.accepted);
    EXPECT_EQ(longChunk.report.back(), "  NOT YET SUPPORTED\n");
    EXPECT_EQ(longChunk.report[longChunk.report.size() - 2], "  32 Bytes of extra information\n");
    EXPECT_EQ(longChunk.report[1], "----- Chunk ID 20746d66, Size 18 -----\n");
}

TEST(WAVReader, NamesFormatTagsSomeWithoutLineEnd)
{
    auto tagLine = [](uint32_t tag) {
        const Result r = Read(Riff({Chunk("fmt ", FormatBody(tag, 1, 22050, 16))}));
        EXPECT_FALSE(r.accepted);
        return r.report.size() > 4 ? r.report[4] : std::string();
    };
    EXPECT_EQ(tagLine(17), "  Format Tag 0011h:  WAVE_FORMAT_DVI_ADPCM or WAVE_FORMAT_IMA_ADPCM\n");
    EXPECT_EQ(tagLine(512), "  Format Tag 0200h:  WAVE_FORMAT_CREATIVE_ADPCM\n");
    EXPECT_EQ(tagLine(259), "  Format Tag 0103h:  IBM_FORMAT_ADPCM\n");
    // These two names end no line: the channel count follows on the same one.
    EXPECT_EQ(tagLine(16), "  Format Tag 0010h:  WAVE_FORMAT_OKI_ADPCM  1 Channels\n");
    EXPECT_EQ(tagLine(0xFFFE), "  Format Tag FFFEh:  WAVE_FORMAT_UNKNOWN  1 Channels\n");
}

TEST(WAVReader, SizesOfAllOnesMeanUpToTheEndOfTheFile)
{
    const Bytes data = Samples16({10, 20, 30, 40, 50, 60});
    const Result r = Read(Riff({Chunk("fmt ", FormatBody(1, 2, 44100, 16)), Chunk("data", data, 0xFFFFFFFF)}, 0xFFFFFFFF));
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.report, PcmFormatLines(2, 44100, 16) + DataLines(4294967295u));
    EXPECT_EQ(r.fields.sampleCount, 3u);
    EXPECT_EQ(r.samples, data);
}

TEST(WAVReader, EveryChunkMovesOnAndNothingIsReadPastTheEnd)
{
    // A format size that would wrap a 32-bit position back onto the same chunk.
    const Result wrap = Read(Riff({Chunk("fmt ", FormatBody(1, 1, 22050, 16), 0xFFFFFFF4), Chunk("data", Bytes(4))}));
    EXPECT_FALSE(wrap.accepted);
    EXPECT_EQ(wrap.refusal, "no data chunk");

    // A format chunk shorter than its fields, by its size or by the file's end.
    const Result small = Read(Riff({Chunk("fmt ", Bytes(14)), Chunk("data", Bytes(4))}));
    EXPECT_FALSE(small.accepted);
    EXPECT_EQ(small.report, ChunkLines("20746d66", 14) + Lines_({"Format Chunk\n", "Format Chunk too short\n"}));
    Bytes cut = Riff({Chunk("fmt ", FormatBody(1, 1, 22050, 16))});
    cut.resize(cut.size() - 6);
    const Result truncated = Read(cut);
    EXPECT_FALSE(truncated.accepted);
    EXPECT_EQ(truncated.report.back(), "Format Chunk too short\n");

    // A RIFF end beyond the file, and a chunk header cut short.
    Bytes ragged = Riff({Chunk("fmt ", FormatBody(1, 1, 22050, 16)), Bytes{'d', 'a', 't'}}, 1000);
    const Result r = Read(ragged);
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.report, PcmFormatLines(1, 22050, 16));
}

TEST(WAVReader, ZeroFramesAndPartialFrames)
{
    const Result empty = Read(PcmWav(1, 22050, 16, Bytes{}));
    ASSERT_TRUE(empty.accepted);
    EXPECT_EQ(empty.fields.sampleCount, 0u);
    EXPECT_TRUE(empty.samples.empty());

    // 7 bytes of 16-bit stereo: one whole frame; the rest is dropped.
    const Result partial = Read(PcmWav(2, 22050, 16, Bytes{1, 2, 3, 4, 5, 6, 7}));
    ASSERT_TRUE(partial.accepted);
    EXPECT_EQ(partial.fields.sampleCount, 1u);
    EXPECT_EQ(partial.samples, (Bytes{1, 2, 3, 4}));
}

TEST(WAVReaderDeathTest, NullFileStops)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    FSoundFormat fields;
    Bytes samples;
    EXPECT_DEATH(FDTDefineSound::ReadWAV(nullptr, fields, samples), "fp");
}

// Block by block: the samples and report of a whole read, but never the
// samples all at once, never resampled, and nothing printed.
TEST(WAVBlocks, GiveWhatAWholeReadGivesWithoutResampling)
{
    std::vector<int16_t> stereo(2 * 40000);
    for (size_t i = 0; i < stereo.size(); ++i) stereo[i] = static_cast<int16_t>(i * 31);
    struct Case {
        Bytes file;
        uint32_t rate;
        uint32_t channels;
        size_t frameBytes;
    };
    const std::vector<Case> cases = {
        {PcmWav(2, 44100, 16, Samples16(stereo)), 44100, 2, 4},
        {PcmWav(1, 8000, 8, Bytes(33333, 0x90)), 8000, 1, 1},  // whole reads resample this one
        {PcmWav(1, 22050, 16, Samples16(stereo)), 22050, 1, 2},
    };
    for (const Case& c : cases) {
        const Result whole = Read(c.file);
        ASSERT_TRUE(whole.accepted);
        File fp = TempFile(c.file);
        Bytes samples;
        size_t calls = 0;
        FWAVStreamInfo info;
        testing::internal::CaptureStdout();
        const bool accepted = FDTDefineSound::ReadWAVBlocks(
            fp.get(),
            [&](const uint8_t* block, uint32_t frames) {
                EXPECT_EQ(info.sampleRate, c.rate);  // known before the first block
                samples.insert(samples.end(), block, block + frames * c.frameBytes);
                ++calls;
            },
            info);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_TRUE(accepted);
        EXPECT_GT(calls, 1u);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.fields.sampleCount, samples.size() / c.frameBytes);
        // All but the resampling line of the whole read.
        EXPECT_EQ(Lines(info.report),
                  c.rate == 8000 ? Lines_(whole.report.begin(), whole.report.end() - 1) : whole.report);
        if (c.rate != 8000) EXPECT_EQ(samples, whole.samples);
        else EXPECT_EQ(samples, Bytes(33333, 0x90));
    }
}

TEST(WAVBlocks, TellRefusalsOfTheEncodingFromBrokenFiles)
{
    auto refusal = [](const Bytes& file) {
        File fp = TempFile(file);
        FWAVStreamInfo info;
        EXPECT_FALSE(FDTDefineSound::ReadWAVBlocks(fp.get(), [](const uint8_t*, uint32_t) {}, info));
        return std::make_pair(info.encodingRefused, info.refusal);
    };
    EXPECT_EQ(refusal(PcmWav(1, 48000, 16, Bytes(4, 0))),
              std::make_pair(true, std::string("sample rate 48000 unsupported")));
    EXPECT_TRUE(refusal(PcmWav(1, 44100, 24, Bytes(6, 0))).first);
    EXPECT_TRUE(refusal(PcmWav(4, 44100, 16, Bytes(8, 0))).first);
    EXPECT_TRUE(refusal(Riff({Chunk("fmt ", FormatBody(3, 1, 44100, 32, 0)), Chunk("data", Bytes(4, 0))})).first);
    EXPECT_EQ(refusal(Bytes(12, 'x')), std::make_pair(false, std::string("not a RIFF format file")));
    Bytes truncated = PcmWav(1, 22050, 16, Bytes(100, 0));
    truncated.resize(truncated.size() - 10);
    EXPECT_FALSE(refusal(truncated).first);
}

}  // namespace
