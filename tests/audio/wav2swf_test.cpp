#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "audio/wavbuilder.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"

namespace {


constexpr uint32_t kFrames = 1000;

// 1000 frames of 22050 Hz 16-bit mono: a rising and falling ramp.
std::string RampWAV()
{
    std::vector<int16_t> samples(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) samples[i] = static_cast<int16_t>((i % 200) * 150 - 15000);
    const wavtest::Bytes wav = wavtest::PcmWav(1, 22050, 16, wavtest::Samples16(samples));
    return std::string(wav.begin(), wav.end());
}

// ADPCM bytes of one mono packet of `frames` frames: the code-size field
// (2 bits), the first sample (16) and its index (6), then one code for every
// later frame, padded to whole bytes.
size_t MonoADPCMBytes(uint32_t frames, uint32_t codeBits) { return (2 + 16 + 6 + (frames - 1) * codeBits + 7) / 8; }

class Wav2Swf : public ::testing::Test {
protected:
    swftest::RunResult Run(const std::vector<std::string>& arguments) const
    {
        return scratch.Run(WAV2SWF_BINARY, arguments);
    }

    swftest::Scratch scratch{"wav2swf"};
};

TEST_F(Wav2Swf, WritesOneFrameWithTheSoundAsCharacterOneThenStop)
{
    scratch.Write("ramp.wav", RampWAV());
    const swftest::RunResult run = Run({"ramp.wav", "ramp.swf"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The reader's report, then the movie's own lines.
    EXPECT_NE(run.out.find("Format Chunk\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  22050 Samples Per Second\n"), std::string::npos);
    EXPECT_NE(run.out.find("Data Chunk\n"), std::string::npos);
    EXPECT_NE(run.out.find("Depth sorting: complete\n"), std::string::npos);

    const swftest::Movie movie = swftest::ParseFile((scratch / "ramp.swf").string());
    EXPECT_EQ(movie.frameCount, 1u);
    EXPECT_EQ(movie.frameRate, 12u);
    EXPECT_EQ(movie.ShowFrames(), 1u);
    const std::vector<swftest::Tag> frame = movie.Frame(0);
    ASSERT_EQ(frame.size(), 4u);
    EXPECT_EQ(frame[0].code, FTagCode::SoundStreamHead);
    EXPECT_EQ(frame[1].code, FTagCode::DefineSound);
    EXPECT_EQ(frame[2].code, FTagCode::StartSound);
    EXPECT_EQ(frame[3].code, FTagCode::DoAction);

    const std::vector<uint8_t>& define = frame[1].body;
    ASSERT_GE(define.size(), 8u);
    EXPECT_EQ(swftest::Little(define, 0, 2), 1u);       // character 1
    EXPECT_EQ(define[2], 0x1A);                          // ADPCM (1), 22050 Hz (2), 16-bit (1), mono (0)
    EXPECT_EQ(swftest::Little(define, 3, 4), kFrames);  // sample frames
    EXPECT_EQ(define.size(), 7 + MonoADPCMBytes(kFrames, 4));
    EXPECT_EQ(define[7] >> 6, 2);  // code-size field: 4-bit codes

    EXPECT_EQ(swftest::Little(frame[2].body, 0, 2), 1u);  // starts character 1
    EXPECT_EQ(frame[3].body, (std::vector<uint8_t>{
                                 0x07,  // Stop
                                 0x00,  // end of actions
                             }));
}

TEST_F(Wav2Swf, CodeSizeOptionSetsTheCodeSize)
{
    scratch.Write("ramp.wav", RampWAV());
    // Options go anywhere, as --bits N or --bits=N.
    const std::pair<uint32_t, std::vector<std::string>> runs[] = {
        {2u, {"--bits", "2", "ramp.wav", "ramp2.swf"}},
        {5u, {"ramp.wav", "--bits=5", "ramp5.swf"}},
        {3u, {"ramp.wav", "ramp3.swf", "--bits", "3"}},
    };
    for (const auto& [bits, arguments] : runs) {
        SCOPED_TRACE(bits);
        const std::string output = "ramp" + std::to_string(bits) + ".swf";
        const swftest::RunResult run = Run(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<swftest::Tag> frame = swftest::ParseFile((scratch / output).string()).Frame(0);
        ASSERT_EQ(frame.size(), 4u);
        const std::vector<uint8_t>& define = frame[1].body;
        ASSERT_GE(define.size(), 8u);
        EXPECT_EQ(define[2], 0x1A);  // the format byte does not depend on the code size
        EXPECT_EQ(define.size(), 7 + MonoADPCMBytes(kFrames, bits));
        EXPECT_EQ(define[7] >> 6, bits - 2);  // code-size field
    }
}

TEST_F(Wav2Swf, RefusedFileWritesNoMovie)
{
    scratch.Write("broken.wav", std::string("RIFX\4\0\0\0WAVE", 12));
    const swftest::RunResult run = Run({"broken.wav", "broken.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Not a RIFF format file\n");
    EXPECT_EQ(run.err, "wav2swf: 'broken.wav' refused: not a RIFF format file\n");
    EXPECT_FALSE(std::filesystem::exists(scratch / "broken.swf"));
}

TEST_F(Wav2Swf, FilesTheReaderRefusesForTheirRateGoTheNarrationWay)
{
    // 48 kHz stereo, 4800 frames: resampled to the rate asked, stereo kept when asked.
    std::vector<int16_t> samples(2 * 4800);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i % 300) * 100 - 15000);
    const wavtest::Bytes wav = wavtest::PcmWav(2, 48000, 16, wavtest::Samples16(samples));
    scratch.Write("high.wav", std::string(wav.begin(), wav.end()));
    struct Case {
        std::vector<std::string> arguments;
        uint8_t format;
        uint32_t frames;
    };
    const std::vector<Case> cases = {
        {{"high.wav", "high.swf"}, 0x1A, 2205},                                    // 22050 Hz mono
        {{"--rate", "11025", "--stereo", "high.wav", "high.swf"}, 0x17, 1102},  // 11025 Hz stereo
    };
    for (const Case& c : cases) {
        const swftest::RunResult run = Run(c.arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "Depth sorting: 0 shapes\nDepth sorting: complete\n");  // no WAV report
        const swftest::Movie movie = swftest::ParseFile((scratch / "high.swf").string());
        const std::vector<uint8_t> define = movie.Frame(0).at(1).body;
        EXPECT_EQ(define.at(2), c.format);
        EXPECT_NEAR(swftest::Little(define, 3, 4), c.frames, 1.0);
    }
    const swftest::RunResult bad = Run({"--rate", "48000", "high.wav", "high.swf"});
    EXPECT_EQ(bad.status, 2);
}

TEST_F(Wav2Swf, FileProblemsGiveStatusOne)
{
    swftest::RunResult run = Run({"missing.wav", "out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("wav2swf: cannot open 'missing.wav': ", 0), 0u) << run.err;
    EXPECT_FALSE(std::filesystem::exists(scratch / "out.swf"));

    scratch.Write("ramp.wav", RampWAV());
    run = Run({"ramp.wav", "no-such-folder/out.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("wav2swf: cannot write 'no-such-folder/out.swf': ", 0), 0u) << run.err;
}

TEST_F(Wav2Swf, BadArgumentsGiveUsageAndStatusTwo)
{
    scratch.Write("ramp.wav", RampWAV());
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"ramp.wav"},
        {"ramp.wav", "out.swf", "extra.swf"},
        {"--loud", "ramp.wav", "out.swf"},
        {"--bits", "1", "ramp.wav", "out.swf"},
        {"--bits", "6", "ramp.wav", "out.swf"},
        {"--bits", "x", "ramp.wav", "out.swf"},
        {"--bits", "4.0", "ramp.wav", "out.swf"},
        {"ramp.wav", "out.swf", "--bits"},
    };
    for (const auto& arguments : bad) {
        std::string shown;
        for (const std::string& argument : arguments) shown += argument + " ";
        SCOPED_TRACE(shown);
        const swftest::RunResult run = Run(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("wav2swf: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("usage: wav2swf [--bits N] [--rate HZ] [--stereo] INPUT OUTPUT.swf\n"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(scratch / "out.swf"));
    }

    const swftest::RunResult help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: wav2swf [--bits N] [--rate HZ] [--stereo] INPUT OUTPUT.swf\n", 0), 0u);
    EXPECT_EQ(help.err, "");
}

}  // namespace
