#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

#include "audio/wavbuilder.h"
#include "hf/hfmovie.h"
#include "audio/fsound.h"
#include "hf/hfsound.h"
#include "support/movie_folder.h"
#include "support/swf_reader.h"

namespace {


using Bytes = std::vector<uint8_t>;

class Sound : public ::testing::Test {
protected:
    void SetUp() override
    {
        FResetCharacterID();
        path = ::testing::TempDir() + "sound_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
               ".swf";
    }
    void TearDown() override { swftest::Discard(path); }

    std::vector<std::vector<swftest::Tag>> Write()
    {
        ::testing::internal::CaptureStdout();
        const bool written = movie.WriteMovie(path);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(written);
        // A sound is never placed, so depth sorting finds nothing to sort.
        EXPECT_EQ(printed, "Depth sorting: 0 shapes\nDepth sorting: complete\n");
        return swftest::Frames(swftest::ParseFile(path));
    }

    // A sound from WAV bytes; `report` gets what the reader printed.
    static std::unique_ptr<HFSound> FromWAV(const Bytes& wav, int codeBits, std::string* report = nullptr)
    {
        wavtest::File file = wavtest::TempFile(wav);
        EXPECT_TRUE(file);
        ::testing::internal::CaptureStdout();
        auto sound = std::make_unique<HFSound>(file.get(), codeBits);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        if (report) *report = printed;
        return sound;
    }

    HFMovie movie;
    std::string path;
};

const Bytes kStartBody = {
    0x01, 0x00,  // sound character 1
    0x10,        // sound info: sync-no-multiple, nothing optional
};

TEST_F(Sound, DefinedInTheFirstFrameAndStartedInEvery)
{
    // 100 frames of 22050 Hz 16-bit mono.
    std::vector<int16_t> samples(100);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 300 - 15000);
    const auto sound = FromWAV(wavtest::PcmWav(1, 22050, 16, wavtest::Samples16(samples)), 2);
    EXPECT_FALSE(sound->Refused());
    EXPECT_EQ(sound->ID(), 1);  // taken when the sound was built
    EXPECT_EQ(sound->Format().sampleCount, 100u);

    movie.Frame(0)->AddObject(*sound);
    movie.Frame(5)->AddObject(*sound);
    EXPECT_TRUE(sound->Defined());

    const auto frames = Write();
    ASSERT_EQ(frames.size(), 6u);
    ASSERT_EQ(frames[0].size(), 3u);
    EXPECT_EQ(frames[0][0].code, FTagCode::SoundStreamHead);
    EXPECT_EQ(frames[0][0].body, (Bytes{
                                     0x0A,        // playback: 22050 Hz (2), 16-bit (1), mono (0)
                                     0x12,        // stream: ADPCM (1), rate code 0, 16-bit (1), mono (0)
                                     0x64, 0x00,  // stream sample count 100
                                 }));
    EXPECT_EQ(frames[0][1].code, FTagCode::DefineSound);
    ASSERT_GE(frames[0][1].body.size(), 7u);
    EXPECT_EQ(Bytes(frames[0][1].body.begin(), frames[0][1].body.begin() + 7), (Bytes{
                                                                                   0x01, 0x00,  // character 1
                                                                                   0x1A,  // ADPCM, 22050 Hz, 16-bit, mono
                                                                                   0x64, 0x00, 0x00, 0x00,  // 100 frames
                                                                               }));
    EXPECT_GT(frames[0][1].body.size(), 7u);  // and the compressed data
    EXPECT_EQ(frames[0][2].code, FTagCode::StartSound);
    EXPECT_EQ(frames[0][2].body, kStartBody);
    for (size_t f = 1; f < 5; ++f) EXPECT_TRUE(frames[f].empty()) << "frame " << f;
    ASSERT_EQ(frames[5].size(), 1u);
    EXPECT_EQ(frames[5][0].code, FTagCode::StartSound);
    EXPECT_EQ(frames[5][0].body, kStartBody);
}

TEST_F(Sound, RefusedFileIsStillDefinedAndStarted)
{
    std::string report;
    const auto sound = FromWAV(Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, 4, &report);
    EXPECT_EQ(report, "Not a RIFF format file\n");
    EXPECT_TRUE(sound->Refused());
    EXPECT_EQ(sound->Refusal(), "not a RIFF format file");
    EXPECT_EQ(sound->ID(), 1);
    movie.Frame(0)->AddObject(*sound);

    const auto frames = Write();
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_EQ(frames[0].size(), 3u);
    EXPECT_EQ(frames[0][0].code, FTagCode::SoundStreamHead);
    EXPECT_EQ(frames[0][0].body, (Bytes{
                                     0x00,        // playback: 5512.5 Hz, 8-bit, mono
                                     0x12,        // stream: ADPCM (1), 5512.5 Hz (0), 16-bit (1), mono (0)
                                     0x00, 0x00,  // no samples
                                 }));
    EXPECT_EQ(frames[0][1].code, FTagCode::DefineSound);
    EXPECT_EQ(frames[0][1].body, (Bytes{
                                     0x01, 0x00,              // character 1
                                     0x00,                    // the empty sound's format byte
                                     0x00, 0x00, 0x00, 0x00,  // no samples, and no data
                                 }));
    EXPECT_EQ(frames[0][2].code, FTagCode::StartSound);
    EXPECT_EQ(frames[0][2].body, kStartBody);
}

TEST_F(Sound, NoFileIsTheEmptySoundWithoutARefusal)
{
    ::testing::internal::CaptureStdout();
    HFSound sound(nullptr, 4);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(sound.Refused());
    EXPECT_EQ(sound.Refusal(), "");
    EXPECT_EQ(sound.Format().sampleCount, 0u);
}

// The stream head of an event sound, whose stream rate code is always 0 (no
// stream blocks follow it); the playback byte carries the sound's own format.
TEST_F(Sound, StreamHeadKeepsStreamRateCodeZero)
{
    const std::vector<uint8_t> samples(4097, 0x80);  // 11025 Hz 8-bit mono
    HFSound sound(1, 0, 0, 4097, samples.data(), 4097, 4);
    movie.Frame(0)->AddObject(sound);
    const auto frames = Write();
    ASSERT_EQ(frames.at(0).size(), 3u);
    EXPECT_EQ(frames[0][0].code, FTagCode::SoundStreamHead);
    EXPECT_EQ(frames[0][0].body, (Bytes{
                                     0x04,        // playback: 11025 Hz (1), 8-bit (0), mono (0)
                                     0x12,        // stream: ADPCM (1), rate code 0, 16-bit (1), mono (0)
                                     0x01, 0x10,  // stream sample count 4097
                                 }));
}

TEST_F(Sound, FromSamplesMayBeDestroyedOnceAdded)
{
    // 44100 Hz 16-bit stereo, 10 frames.
    std::vector<int16_t> samples(20, 1000);
    {
        HFSound sound(3, 1, 1, 10, samples.data(), 40, 3);
        EXPECT_EQ(sound.Format().Code(), 0x0F);
        movie.Frame(0)->AddObject(sound);
        movie.Frame(1)->AddObject(sound);
    }
    const auto frames = Write();
    ASSERT_EQ(frames.size(), 2u);
    ASSERT_EQ(frames[0].size(), 3u);
    EXPECT_EQ(frames[0][0].body, (Bytes{
                                     0x0F,        // playback: 44100 Hz (3), 16-bit (1), stereo (1)
                                     0x13,        // stream: ADPCM, rate code 0, 16-bit, stereo
                                     0x0A, 0x00,  // stream sample count 10
                                 }));
    EXPECT_EQ(frames[0][1].body.at(2), 0x1F);  // DefineSound: ADPCM, 44100 Hz, 16-bit, stereo
    ASSERT_EQ(frames[1].size(), 1u);
    EXPECT_EQ(frames[1][0].body, kStartBody);
}

TEST_F(Sound, EncodedElsewhereWritesTheTagsOfTheSameSoundEncodedHere)
{
    // 5000 frames of 11025 Hz stereo: two packets, so the hand-over keeps them whole.
    std::vector<int16_t> samples(2 * 5000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 7919) % 20000 - 10000);
    std::vector<uint8_t> encoded;
    FADPCMEncoder encoder(1 * 4 + 2 + 1, 5);
    encoder.Compress(samples.data(), 5000, encoded);
    encoder.Flush(encoded);

    // The same bytes in an unlinked file, read only when the movie is written.
    std::FILE* spill = std::tmpfile();
    ASSERT_NE(spill, nullptr);
    ASSERT_EQ(std::fwrite(encoded.data(), 1, encoded.size(), spill), encoded.size());
    std::fflush(spill);
    FSWFFileRegion region;
    region.path = "spilled sound";
    region.file = std::make_shared<const FSWFOpenFile>(dup(fileno(spill)));
    region.size = static_cast<int32_t>(encoded.size());
    region.fileSize = encoded.size();
    region.unnamed = true;
    std::fclose(spill);

    HFSound here(1, 1, 1, 5000, samples.data(), 0, 5);
    HFSound handedIn(1, 1, true, 5000, std::move(encoded));
    HFSound fromFile(1, 1, true, 5000, region);
    EXPECT_EQ(handedIn.Format().Code(), here.Format().Code());
    EXPECT_EQ(handedIn.ID(), 2);
    movie.Frame(0)->AddObject(here);
    movie.Frame(1)->AddObject(handedIn);
    movie.Frame(2)->AddObject(fromFile);
    const auto frames = Write();
    ASSERT_EQ(frames.size(), 3u);
    for (size_t f = 1; f < 3; ++f) {
        ASSERT_EQ(frames[f].size(), 3u);
        for (size_t t = 0; t < 3; ++t) {
            EXPECT_EQ(frames[f][t].code, frames[0][t].code);
            Bytes body = frames[f][t].body;
            if (t > 0) body[0] = 1;  // the DefineSound's and StartSound's character ID
            EXPECT_EQ(body, frames[0][t].body) << "frame " << f << ", tag " << t;
        }
    }
}

TEST(SoundDeathTest, EncodedDataOfAnotherLengthStops)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    // 4-bit codes (field 2) for 10 mono frames take 2 + 22 + 9 x 4 bits: 8 bytes.
    EXPECT_DEATH(HFSound(1, 2, false, 10, std::vector<uint8_t>(7, 0x80)), "ADPCM size of sampleCount frames");
    EXPECT_DEATH(HFSound(1, 2, false, 0, std::vector<uint8_t>(1, 0x80)), "ADPCM size of sampleCount frames");
    HFSound fits(1, 2, false, 10, std::vector<uint8_t>(8, 0x80));
    EXPECT_EQ(fits.Format().sampleCount, 10u);
}

}  // namespace
