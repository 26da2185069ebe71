// Narrated decks: the recordings found by number, the sound tags of a
// narrated frame, the buttons that silence a slide, and bad recordings refused
// before anything is written.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "audio/fsound.h"
#include "audio/wavbuilder.h"
#include "driver/input/numberedfiles.h"
#include "driver/cli/options.h"
#include "driver/compose/stoptable.h"
#include "driver/encode/narration.h"
#include "driver/core/error.h"
#include "support/button_records.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"

namespace {

namespace fs = std::filesystem;
using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

using enum FTagCode;

// A tone of `frames` frames at `rate`, the same in every channel.
std::vector<float> Tone(uint32_t rate, uint32_t channels, size_t frames, double frequency = 440)
{
    std::vector<float> samples(frames * channels);
    for (size_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            samples[f * channels + c] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * f / rate));
    return samples;
}

void WriteWAV(const Scratch& deck, const std::string& name, uint32_t rate, size_t frames)
{
    std::vector<int16_t> samples;
    for (float s : Tone(rate, 1, frames)) samples.push_back(static_cast<int16_t>(std::lround(s * 32767)));
    const wavtest::Bytes bytes = wavtest::PcmWav(1, rate, 16, wavtest::Samples16(samples));
    deck.Write(name, std::string(bytes.begin(), bytes.end()));
}

void WriteWithLibsndfile(const Scratch& deck, const std::string& name, int format, uint32_t rate, uint32_t channels,
                         size_t frames)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.format = format;
    SNDFILE* file = sf_open((deck / name).string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const std::vector<float> samples = Tone(rate, channels, frames);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

std::vector<FTagCode> SoundCodes(const std::vector<Tag>& frame)
{
    std::vector<FTagCode> codes;
    for (const Tag& tag : frame)
        if (tag.code == SoundStreamHead || tag.code == DefineSound || tag.code == StartSound) codes.push_back(tag.code);
    return codes;
}

const Tag& Find(const std::vector<Tag>& frame, FTagCode code)
{
    for (const Tag& tag : frame)
        if (tag.code == code) return tag;
    throw std::runtime_error("no such tag in the frame");
}

struct DefinedSound {
    uint16_t id;
    uint32_t rateCode, stereo, sampleCount, codeBits;
    size_t dataSize;
};

DefinedSound ReadDefineSound(const Tag& tag)
{
    const uint8_t flags = tag.body.at(2);
    EXPECT_EQ(flags >> 4, 1) << "ADPCM";
    EXPECT_EQ((flags >> 1) & 1, 1) << "16-bit";
    return {swftest::Word(tag, 0), static_cast<uint32_t>((flags >> 2) & 3), static_cast<uint32_t>(flags & 1),
            swftest::Little(tag.body, 3, 4), static_cast<uint32_t>(tag.body.at(7) >> 6) + 2, tag.body.size() - 7};
}

// Four slides, stopping on frames 0 and 1; slides 1 and 3 narrated (a 22050 Hz
// WAV and a 44.1 kHz stereo FLAC), 2 and 4 silent.
void MakeNarratedDeck(const Scratch& deck)
{
    deck.MakeDeck("deck", 4, "0\n1\n");
    fs::create_directories(deck / "voice");
    WriteWAV(deck, "voice/v1.wav", 22050, 11025);
    WriteWithLibsndfile(deck, "voice/v3.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 8820);
}

swftest::Movie Convert(const Scratch& deck, const std::vector<std::string>& options, RunResult* run = nullptr)
{
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"deck", "4", "out.swf"});
    const RunResult result = deck.Convert(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    if (run) *run = result;
    return swftest::ParseFile((deck / "out.swf").string());
}

TEST(NarratedDeck, ANarratedFrameDefinesItsSoundAndStartsIt)
{
    Scratch deck("narrated");
    MakeNarratedDeck(deck);
    RunResult run;
    const auto frames = swftest::Frames(Convert(deck, {"--narration", "voice/v"}, &run));
    ASSERT_GE(frames.size(), 4u);
    const std::vector<FTagCode> sound{SoundStreamHead, DefineSound, StartSound};
    EXPECT_EQ(SoundCodes(frames[0]), sound);
    EXPECT_EQ(SoundCodes(frames[2]), sound);
    EXPECT_TRUE(SoundCodes(frames[1]).empty());
    EXPECT_TRUE(SoundCodes(frames[3]).empty());

    // The WAV at the narration rate: its samples as they are.
    const DefinedSound first = ReadDefineSound(Find(frames[0], DefineSound));
    EXPECT_EQ(first.rateCode, 2u);
    EXPECT_EQ(first.stereo, 0u);
    EXPECT_EQ(first.sampleCount, 11025u);
    EXPECT_EQ(first.codeBits, 4u);
    EXPECT_EQ(first.dataSize, FADPCMEncoder::EncodedSize(11025, 1, 4));
    // The stereo FLAC at twice the rate: mixed down and resampled.
    const DefinedSound third = ReadDefineSound(Find(frames[2], DefineSound));
    EXPECT_EQ(third.stereo, 0u);
    EXPECT_NEAR(third.sampleCount, 4410, 1);
    EXPECT_EQ(third.dataSize, FADPCMEncoder::EncodedSize(third.sampleCount, 1, 4));

    // Each StartSound names its frame's sound and does not stack a second copy.
    for (size_t f : {0u, 2u}) {
        const Tag& start = Find(frames[f], StartSound);
        EXPECT_EQ(swftest::Word(start, 0), ReadDefineSound(Find(frames[f], DefineSound)).id);
        EXPECT_EQ(start.body.at(2), 0x10) << "sync-no-multiple, nothing else";
    }
    // The WAV reader's report, each line naming the file.
    EXPECT_NE(run.out.find("voice/v1.wav: Data Chunk\n"), std::string::npos) << run.out;
    // Slide 3 plays on into slide 4; slide 4, the last, is not named.
    EXPECT_NE(run.err.find("slide 3 is narrated but not a stop point"), std::string::npos) << run.err;
}

TEST(NarratedDeck, RateAndCodeSizeAsAsked)
{
    Scratch deck("narratedrate");
    MakeNarratedDeck(deck);
    const auto frames = swftest::Frames(
        Convert(deck, {"--narration", "voice/v", "--bits", "3", "--narration-rate", "11025", "--narration-stereo"}));
    const DefinedSound first = ReadDefineSound(Find(frames[0], DefineSound));
    EXPECT_EQ(first.rateCode, 1u);
    EXPECT_EQ(first.codeBits, 3u);
    EXPECT_NEAR(first.sampleCount, 5513, 1);
    EXPECT_EQ(first.stereo, 0u) << "a mono file stays mono";
    const DefinedSound third = ReadDefineSound(Find(frames[2], DefineSound));
    EXPECT_EQ(third.stereo, 1u);
    EXPECT_EQ(third.dataSize, FADPCMEncoder::EncodedSize(third.sampleCount, 2, 3));
}

TEST(NarratedDeck, EveryButtonStopsSoundsFirstOnClickAndKey)
{
    Scratch deck("narratedbuttons");
    MakeNarratedDeck(deck);
    for (const bool narrated : {true, false}) {
        std::vector<std::string> options{"--keys"};
        if (narrated) options.insert(options.end(), {"--narration", "voice/v"});
        size_t buttons = 0;
        for (const auto& frame : swftest::Frames(Convert(deck, options))) {
            for (const Tag& tag : frame) {
                if (tag.code != DefineButton2) continue;
                ++buttons;
                const auto conditions = swftest::ButtonConditions(tag);
                EXPECT_GE(conditions.size(), 3u) << "a click record and two or three keys";
                for (const swftest::ButtonCondition& condition : conditions) {
                    ASSERT_GE(condition.actions.size(), 2u);
                    // StopSounds (09), then the move (Play 06 or GotoFrame 81).
                    if (narrated) {
                        EXPECT_EQ(condition.actions[0], 0x09);
                        EXPECT_TRUE(condition.actions[1] == 0x06 || condition.actions[1] == 0x81);
                    } else {
                        EXPECT_TRUE(condition.actions[0] == 0x06 || condition.actions[0] == 0x81);
                    }
                }
            }
        }
        EXPECT_EQ(buttons, 4u + 2u) << "four forward, two backward";
    }
}

// ---- Finding the files ----

std::vector<std::string> Found(const Scratch& deck, const std::string& prefix, int32_t slides)
{
    std::vector<std::string> found = FindNarrationFiles((deck / prefix).string(), slides);
    for (std::string& name : found)
        if (!name.empty()) name = fs::path(name).filename().string();
    return found;
}

std::string Refusal(const Scratch& deck, const std::string& prefix, int32_t slides)
{
    try {
        FindNarrationFiles((deck / prefix).string(), slides);
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        return error.what();
    }
    return "(accepted)";
}

TEST(NarrationFiles, PaddingFixedByTheFirstFileExtensionPerSlide)
{
    Scratch deck("narrationnames");
    for (const char* name : {"v02.wav", "v02.flac", "v03.OGG", "v4.wav", "v04.mp3", "v_notes.txt", "v05.txt"})
        deck.Write(name, "x");
    // Slide 2 fixes two digits; v4.wav is of another padding; .wav before .flac.
    EXPECT_EQ(Found(deck, "v", 4), (std::vector<std::string>{"", "v02.wav", "v03.OGG", "v04.mp3"}));
    // A folder as the prefix.
    fs::create_directories(deck / "voice");
    deck.Write("voice/1.WAV", "x");
    EXPECT_EQ(Found(deck, "voice/", 2), (std::vector<std::string>{"1.WAV", ""}));
}

TEST(NarrationFiles, AStrayNumberOrNoFileIsRefused)
{
    Scratch deck("narrationstray");
    for (const char* name : {"a1.wav", "a12.mp3", "a13.wav"}) deck.Write(name, "x");
    EXPECT_NE(Refusal(deck, "a", 12).find("'" + (deck / "a13.wav").string() + "' numbers no slide of the 12 slides"),
              std::string::npos);
    EXPECT_EQ(Found(deck, "a", 13).size(), 13u);
    // Under two digits, b5.wav is another padding and left alone; b00.wav is no slide.
    for (const char* name : {"b01.wav", "b5.wav", "b00.wav"}) deck.Write(name, "x");
    EXPECT_NE(Refusal(deck, "b", 4).find("b00.wav' numbers no slide"), std::string::npos);
    // Only files beyond the deck.
    deck.Write("c7.ogg", "x");
    EXPECT_NE(Refusal(deck, "c", 3).find("c7.ogg' numbers no slide of the 3 slides"), std::string::npos);
    EXPECT_NE(Refusal(deck, "none", 3).find("no narration file found for"), std::string::npos);
    EXPECT_NE(Refusal(deck, "missing-folder/v", 3).find("no narration file found"), std::string::npos);
}

// ---- The command line ----

TEST(NarrationOptions, SettingsOnlyWithNarrationAndOnlyValidValues)
{
    const auto refusal = [](std::vector<std::string> words) {
        words.insert(words.end(), {"deck", "3", "out.swf"});
        try {
            ParseConverterCommandLine(words);
        } catch (const ConverterError& error) {
            EXPECT_EQ(error.ExitStatus(), kExitUsage);
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    for (const char* option : {"--bits", "--narration-rate"})
        EXPECT_EQ(refusal({option, "4"}).rfind(std::string("option '") + option + "' is for the narration", 0), 0u);
    EXPECT_EQ(refusal({"--narration-stereo"}).rfind("option '--narration-stereo' is for the narration", 0), 0u);
    for (const char* bits : {"1", "6", "04", "x"})
        EXPECT_EQ(refusal({"--narration", "v", "--bits", bits}).rfind("--bits '", 0), 0u) << bits;
    for (const char* rate : {"48000", "22051", "0", "-1", "220500"})
        EXPECT_EQ(refusal({"--narration", "v", "--narration-rate", rate}).rfind("--narration-rate '", 0), 0u) << rate;

    const ConverterCommand command = ParseConverterCommandLine(
        {"--narration", "voice/v", "--bits=2", "--narration-rate", "5512", "--narration-stereo", "d", "1", "o.swf"});
    const SlideShowRequest& narrated = std::get<SlideShowRequest>(command.request);
    EXPECT_EQ(narrated.narrationPrefix, "voice/v");
    EXPECT_EQ(narrated.narration.codeBits, 2);
    EXPECT_EQ(narrated.narration.rate, 5512u);
    EXPECT_TRUE(narrated.narration.stereo);
    const ConverterCommand plain = ParseConverterCommandLine({"d", "1", "o.swf"});
    const SlideShowRequest& silent = std::get<SlideShowRequest>(plain.request);
    EXPECT_TRUE(silent.narrationPrefix.empty());
    EXPECT_EQ(silent.narration.codeBits, 4);
    EXPECT_EQ(silent.narration.rate, 22050u);
}

TEST(NarrationOptions, EachSoundCountsInTheCharacterBudget)
{
    EXPECT_EQ(CharacterIDsNeeded(10, {0, 4}, 1, 3), CharacterIDsNeeded(10, {0, 4}, 1) + 3);
}

// ---- Bad recordings ----

TEST(NarratedDeck, BadRecordingsAreRefusedBeforeAnythingIsWritten)
{
    Scratch deck("narrationbad");
    deck.MakeDeck("deck", 4, "0\n1\n");
    WriteWAV(deck, "v1.wav", 22050, 1000);
    const std::string riffWithoutData =
        [] { const wavtest::Bytes b = wavtest::Riff({wavtest::Chunk("fmt ", wavtest::FormatBody(1, 1, 22050, 16))});
             return std::string(b.begin(), b.end()); }();
    const struct {
        const char* name;
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"v2.wav", "", "is empty"},
        {"v2.mp3", "not a sound at all, only words", "cannot be decoded"},
        {"v2.wav", riffWithoutData, "refused"},
        {"v2.flac", "fLaC garbage", "cannot be decoded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        deck.Write("out.swf", swftest::TinyMovie());
        deck.Write(c.name, c.bytes);
        const RunResult run = deck.Convert({"--narration", "v", "deck", "4", "out.swf"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(std::string("narration '") + c.name + "' " + c.problem), std::string::npos) << run.err;
        EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
        fs::remove(deck / c.name);
    }
    // A stray number, through the converter.
    deck.Write("v9.wav", "x");
    const RunResult stray = deck.Convert({"--narration", "v", "deck", "4", "out.swf"});
    EXPECT_EQ(stray.status, 1);
    EXPECT_NE(stray.err.find("'v9.wav' numbers no slide of the 4 slides"), std::string::npos) << stray.err;
    EXPECT_EQ(swftest::Slurp(deck / "out.swf"), swftest::TinyMovie());
}

}  // namespace
