#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "audio/adpcmdecoder.h"
#include "audio/fresample.h"
#include "audio/fsound.h"
#include "audio/wavbuilder.h"
#include "driver/encode/narration.h"
#include "driver/core/error.h"
#include "support/region_bytes.h"
#include "support/swf_reader.h"

namespace {

using wavtest::Bytes;

struct Tone {
    double frequency;  // Hz
    double amplitude;  // full scale 1
};

// The tones summed, evaluated exactly at frame `n` of a `rate` Hz signal.
double ToneSum(const std::vector<Tone>& tones, double rate, size_t n)
{
    double value = 0;
    for (const Tone& tone : tones) value += tone.amplitude * std::sin(2 * std::numbers::pi * tone.frequency * n / rate);
    return value;
}

// Interleaved float frames, one tone list per channel.
std::vector<float> Signal(const std::vector<std::vector<Tone>>& channels, double rate, size_t frames)
{
    std::vector<float> out(frames * channels.size());
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels.size(); ++c)
            out[f * channels.size() + c] = static_cast<float>(ToneSum(channels[c], rate, f));
    return out;
}

std::vector<int16_t> To16(const std::vector<float>& samples)
{
    std::vector<int16_t> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) out[i] = static_cast<int16_t>(std::lround(samples[i] * 32767.0));
    return out;
}

// The amplitude of the component at `frequency` (Hann-windowed DFT at that
// one frequency), channel `channel` of interleaved samples.
template <typename Sample>
double Amplitude(const std::vector<Sample>& samples, uint32_t channels, uint32_t channel, double rate,
                 double frequency, double fullScale)
{
    const size_t frames = samples.size() / channels;
    std::complex<double> sum = 0;
    double weights = 0;
    for (size_t n = 0; n < frames; ++n) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / (frames - 1));
        const double phase = -2 * std::numbers::pi * frequency * n / rate;
        sum += w * (samples[n * channels + channel] / fullScale) * std::polar(1.0, phase);
        weights += w;
    }
    return 2 * std::abs(sum) / weights;
}

using swftest::RegionBytes;

class Narration : public ::testing::Test {
protected:
    std::string Path(const std::string& name)
    {
        const std::string path = ::testing::TempDir() + "narration_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
        made.push_back(path);
        return path;
    }
    void TearDown() override
    {
        for (const std::string& path : made) std::remove(path.c_str());
    }

    std::string WriteBytes(const std::string& name, const Bytes& bytes)
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string WriteWAV16(const std::string& name, uint32_t channels, uint32_t rate,
                           const std::vector<int16_t>& samples)
    {
        return WriteBytes(name, wavtest::PcmWav(channels, rate, 16, wavtest::Samples16(samples)));
    }

    // Through libsndfile's own writer: FLAC, Ogg Vorbis, float or 24-bit WAV.
    std::string WriteWithLibsndfile(const std::string& name, int format, uint32_t channels, uint32_t rate,
                                    const std::vector<float>& samples)
    {
        const std::string path = Path(name);
        SF_INFO info{};
        info.samplerate = static_cast<int>(rate);
        info.channels = static_cast<int>(channels);
        info.format = format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        if (!file) return path;
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
        sf_close(file);
        return path;
    }

    // The 16-bit PCM the encoder would get.
    std::vector<int16_t> Pcm(const std::string& path, const NarrationSettings& settings, uint32_t* channels = nullptr)
    {
        std::vector<int16_t> out;
        DecodeNarrationPcm(path, settings, [&](const int16_t* samples, size_t frames, uint32_t count) {
            out.insert(out.end(), samples, samples + frames * count);
            if (channels) *channels = count;
        });
        return out;
    }

    std::vector<std::string> made;
};

// Runs `encode` and expects a ConverterError of status 1 naming the file and saying `problem`.
void ExpectRefused(const std::string& path, const std::string& problem)
{
    try {
        EncodeNarration(path, NarrationSettings{});
        ADD_FAILURE() << path << " was taken";
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        EXPECT_NE(std::string(error.what()).find("'" + path + "'"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(problem), std::string::npos) << error.what();
    }
}

TEST_F(Narration, WAVAtTheNarrationRateIsTheLibrarysOwnEncoding)
{
    // Two packets and a bit, 22050 Hz mono 16-bit: no mixing, no resampling.
    std::vector<int16_t> samples(9000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05) + ((i * 7919) % 1000) - 500);
    const std::string path = WriteWAV16("mono.wav", 1, 22050, samples);

    for (int bits = 2; bits <= 5; ++bits) {
        NarrationSettings settings;
        settings.codeBits = bits;
        const EncodedNarration narration = EncodeNarration(path, settings);
        std::vector<uint8_t> expected;
        FADPCMEncoder encoder(2 * 4 + 2, bits);
        encoder.Compress(samples.data(), 9000, expected);
        encoder.Flush(expected);
        EXPECT_EQ(RegionBytes(narration.adpcm), expected) << bits << " bits";
        EXPECT_EQ(narration.sampleCount, 9000u);
        EXPECT_EQ(narration.rateCode, 2);
        EXPECT_FALSE(narration.stereo);
        // The reader's report, each line under the file's name.
        EXPECT_NE(narration.report.find(path + ":\n" + path + ": ----- Chunk ID"), std::string::npos);
        EXPECT_NE(narration.report.find(path + ": Data Chunk\n"), std::string::npos) << narration.report;
        EXPECT_NE(narration.report.find(path + ":   22050 Samples Per Second\n"), std::string::npos);
    }
}

TEST_F(Narration, ResampledWithoutAliasing)
{
    // A 14 kHz tone folds to 22050 - 14000 = 8050 Hz when resampled naively.
    const std::vector<Tone> tones = {{1000, 0.25}, {14000, 0.5}};
    const std::vector<float> stereo = Signal({tones, tones}, 44100, 44100);
    const std::vector<float> mono48 = Signal({tones}, 48000, 48000);
    const std::vector<std::string> files = {
        WriteWAV16("stereo44.wav", 2, 44100, To16(stereo)),  // the library's reader
        WriteWAV16("mono48.wav", 1, 48000, To16(mono48)),    // refused by it for the rate: libsndfile
        WriteWithLibsndfile("float48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, mono48),
        WriteWithLibsndfile("stereo44.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, stereo),
        WriteWithLibsndfile("stereo44.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, stereo),
    };
    for (const std::string& path : files) {
        const EncodedNarration narration = EncodeNarration(path, NarrationSettings{});
        EXPECT_EQ(narration.rateCode, 2);
        EXPECT_NEAR(narration.sampleCount, 22050.0, 2.0) << path;
        EXPECT_TRUE(narration.report.empty() == (path.find("stereo44.wav") == std::string::npos)) << path;
        const adpcmtest::Decoded decoded = adpcmtest::Decode(RegionBytes(narration.adpcm), 1, narration.sampleCount);
        ASSERT_FALSE(decoded.overrun);
        EXPECT_NEAR(Amplitude(decoded.samples, 1, 0, 22050, 1000, 32768), 0.25, 0.02) << path;
        EXPECT_LT(Amplitude(decoded.samples, 1, 0, 22050, 8050, 32768), 0.005) << path;
    }

    // The measure sees folding where it happens: the library's linear resampler.
    const std::vector<int16_t> mono = To16(Signal({tones}, 44100, 44100));
    Bytes bytes(mono.size() * 2);
    std::memcpy(bytes.data(), mono.data(), bytes.size());
    const Bytes linear = FResampleLinear(bytes, 1, 2, 44100, 22050);
    std::vector<int16_t> folded(linear.size() / 2);
    std::memcpy(folded.data(), linear.data(), linear.size());
    EXPECT_GT(Amplitude(folded, 1, 0, 22050, 8050, 32768), 0.05);
}

TEST_F(Narration, SignalToNoiseAgainstTheIdealResample)
{
    // Content up to 16 kHz; the ideal at 22050 Hz keeps what lies below the
    // resampler's pass band edge and nothing above the output's Nyquist rate.
    const std::vector<Tone> left = {{440, 0.15}, {3000, 0.1}, {9000, 0.1}, {14000, 0.1}};
    const std::vector<Tone> right = {{1000, 0.15}, {5000, 0.1}, {7500, 0.1}, {16000, 0.1}};
    const std::vector<Tone> wide = {{500, 0.15}, {2500, 0.1}, {7000, 0.1}, {9500, 0.1}, {12000, 0.1}, {16000, 0.1}};
    struct Case {
        std::string path;
        std::function<double(size_t)> ideal;  // at output frame n
    };
    const double out = 22050;
    auto below = [](const std::vector<Tone>& tones) {
        std::vector<Tone> kept;
        for (const Tone& tone : tones)
            if (tone.frequency < 10000) kept.push_back(tone);
        return kept;
    };
    const std::vector<Case> cases = {
        {WriteWAV16("stereo44.wav", 2, 44100, To16(Signal({left, right}, 44100, 3 * 44100))),
         [&](size_t n) { return (ToneSum(below(left), out, n) + ToneSum(below(right), out, n)) / 2; }},
        {WriteWAV16("wide48.wav", 1, 48000, To16(Signal({wide}, 48000, 3 * 48000))),
         [&](size_t n) { return ToneSum(below(wide), out, n); }},
    };
    for (const Case& c : cases) {
        const std::vector<int16_t> pcm = Pcm(c.path, NarrationSettings{});
        const EncodedNarration narration = EncodeNarration(c.path, NarrationSettings{});
        const adpcmtest::Decoded decoded = adpcmtest::Decode(RegionBytes(narration.adpcm), 1, narration.sampleCount);
        ASSERT_EQ(pcm.size(), narration.sampleCount);
        // Away from the edges, where the filter meets the signal's start and end.
        double signal = 0, noise = 0, adpcmNoise = 0;
        for (size_t n = 2000; n + 2000 < pcm.size(); ++n) {
            const double ideal = c.ideal(n) * 32767.0;
            signal += ideal * ideal;
            noise += (pcm[n] - ideal) * (pcm[n] - ideal);
            adpcmNoise += (decoded.samples[n] - ideal) * (decoded.samples[n] - ideal);
        }
        const double snr = 10 * std::log10(signal / noise);
        const double adpcmSnr = 10 * std::log10(signal / adpcmNoise);
        std::printf("%s: resampled %.1f dB, after 4-bit ADPCM %.1f dB\n", c.path.c_str(), snr, adpcmSnr);
        RecordProperty(c.path.substr(c.path.rfind('_') + 1) + "_snr_db", static_cast<int>(snr));
        EXPECT_GT(snr, 60.0) << c.path;
    }
}

TEST_F(Narration, ChannelsMixedDownUnlessStereoIsAsked)
{
    // Four channels (refused by the library's reader, read by libsndfile) at
    // the narration rate: no resampling, so the means come out exactly.
    std::vector<float> four;
    for (int f = 0; f < 100; ++f)
        for (float value : {1000.0f, 2000.0f, 3000.0f, 6000.0f}) four.push_back(value / 32768.0f);
    const std::string quad = WriteWithLibsndfile("quad.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 22050, four);
    uint32_t channels = 0;
    std::vector<int16_t> pcm = Pcm(quad, NarrationSettings{}, &channels);
    EXPECT_EQ(channels, 1u);
    EXPECT_EQ(pcm, std::vector<int16_t>(100, 3000));

    NarrationSettings stereo;
    stereo.stereo = true;
    pcm = Pcm(quad, stereo, &channels);
    EXPECT_EQ(channels, 2u);
    ASSERT_EQ(pcm.size(), 200u);
    EXPECT_EQ(pcm[0], 2000);  // channels 0 and 2
    EXPECT_EQ(pcm[1], 4000);  // channels 1 and 3

    // Stereo through the library's reader: (L + R) / 2, or both kept.
    std::vector<int16_t> pairs;
    for (int f = 0; f < 100; ++f) pairs.insert(pairs.end(), {1000, -3000});
    const std::string two = WriteWAV16("two.wav", 2, 22050, pairs);
    EXPECT_EQ(Pcm(two, NarrationSettings{}), std::vector<int16_t>(100, -1000));
    EXPECT_EQ(Pcm(two, stereo), pairs);
    EXPECT_TRUE(EncodeNarration(two, stereo).stereo);

    // A mono file stays mono when stereo is asked.
    const std::string one = WriteWAV16("one.wav", 1, 22050, std::vector<int16_t>(100, 5));
    const EncodedNarration mono = EncodeNarration(one, stereo);
    EXPECT_FALSE(mono.stereo);
    EXPECT_EQ(static_cast<uint64_t>(mono.adpcm.size), FADPCMEncoder::EncodedSize(100, 1, 4));
}

TEST_F(Narration, EveryRateAndMP3)
{
    const std::vector<Tone> tone = {{300, 0.3}};
    const std::string path = WriteWAV16("tone.wav", 1, 16000, To16(Signal({tone}, 16000, 16000)));
    const uint32_t rates[] = {5512, 11025, 22050, 44100};
    for (int code = 0; code < 4; ++code) {
        NarrationSettings settings;
        settings.rate = rates[code];
        const EncodedNarration narration = EncodeNarration(path, settings);
        EXPECT_EQ(narration.rateCode, code);
        EXPECT_NEAR(narration.sampleCount, rates[code], 2.0);
    }

    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg to make an MP3";
    const std::string mp3 = Path("tone.mp3");
    const std::string command = "ffmpeg -v error -y -i '" + path + "' -c:a libmp3lame -b:a 64k '" + mp3 + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const EncodedNarration narration = EncodeNarration(mp3, NarrationSettings{});
    // The encoder's padding may add a frame or two at either end.
    EXPECT_NEAR(narration.sampleCount, 22050.0, 2000.0);
    const adpcmtest::Decoded decoded = adpcmtest::Decode(RegionBytes(narration.adpcm), 1, narration.sampleCount);
    EXPECT_NEAR(Amplitude(decoded.samples, 1, 0, 22050, 300, 32768), 0.3, 0.05);
}

TEST_F(Narration, BadFilesAreRefusedNamingThem)
{
    ExpectRefused(Path("missing.wav"), "cannot be opened");
    ExpectRefused(WriteBytes("empty.mp3", {}), "is empty");
    ExpectRefused(WriteBytes("empty.wav", {}), "is empty");
    ExpectRefused(WriteBytes("noise.flac", Bytes(1000, 0x5A)), "cannot be decoded");
    ExpectRefused(WriteBytes("noise.ogg", Bytes(1000, 0x5A)), "cannot be decoded");
    // WAV files the reader refuses for their structure: with its reason.
    ExpectRefused(WriteBytes("text.wav", Bytes(1000, 'x')), "refused: not a RIFF format file");
    Bytes truncated = wavtest::PcmWav(1, 22050, 16, Bytes(1000, 0));
    truncated.resize(truncated.size() - 100);
    ExpectRefused(WriteBytes("truncated.wav", truncated), "refused: data chunk truncated");
    const Bytes formatOnly = wavtest::Riff({wavtest::Chunk("fmt ", wavtest::FormatBody(1, 1, 22050, 16))});
    ExpectRefused(WriteBytes("nodata.wav", formatOnly),
                  "refused: no data chunk");
    // Taken by the reader or by libsndfile, but without a sample.
    ExpectRefused(WriteBytes("silent.wav", wavtest::PcmWav(1, 22050, 16, {})), "has no samples");
    ExpectRefused(WriteWithLibsndfile("silent48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, {}),
                  "has no samples");
}

TEST_F(Narration, DecodedSideBySideInFileOrder)
{
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(
            WriteWAV16("slide" + std::to_string(i) + ".wav", 1, 22050, std::vector<int16_t>(1000 + i, 100)));
    files.push_back(WriteWithLibsndfile("slide5.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100,
                                        std::vector<float>(2000, 0.1f)));

    const std::string report = Path("report.txt");
    std::FILE* out = std::fopen(report.c_str(), "w+");
    ASSERT_NE(out, nullptr);
    const std::vector<EncodedNarration> narrations = EncodeNarrations(files, NarrationSettings{}, 3, out);
    std::string printed(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    printed.resize(std::fread(printed.data(), 1, printed.size(), out));
    std::fclose(out);

    ASSERT_EQ(narrations.size(), 6u);
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(narrations[i].sampleCount, 1000u + i);
        expected += narrations[i].report;
    }
    EXPECT_EQ(narrations[5].sampleCount, 1000u);
    EXPECT_EQ(printed, expected);
    // Each worker's narrations lie back to back in its one temporary file, which
    // every region names at its final size; each reads back as encoded alone.
    std::set<const FSWFOpenFile*> spills;
    for (size_t i = 0; i < narrations.size(); ++i) {
        const FSWFFileRegion& region = narrations[i].adpcm;
        spills.insert(region.file.get());
        EXPECT_EQ(RegionBytes(region), RegionBytes(EncodeNarration(files[i], NarrationSettings{}).adpcm)) << i;
    }
    EXPECT_LE(spills.size(), 3u);  // one a worker

    // The first failure in file order is the one thrown.
    files.insert(files.begin() + 2, WriteBytes("broken.wav", Bytes(10, 'x')));
    files.insert(files.begin() + 4, Path("missing.flac"));
    try {
        EncodeNarrations(files, NarrationSettings{}, 3, nullptr);
        ADD_FAILURE() << "taken";
    } catch (const ConverterError& error) {
        EXPECT_NE(std::string(error.what()).find("broken.wav"), std::string::npos) << error.what();
    }
}

// A refusal's whole message, with nothing of the decoder's own on standard error.
std::string RefusalQuietly(const std::string& path)
{
    ::testing::internal::CaptureStderr();
    std::string message;
    try {
        EncodeNarration(path, NarrationSettings{});
        message = "taken";
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        message = error.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << path;
    return message;
}

bool CanWriteMP3()
{
    SF_INFO info{};
    info.samplerate = 44100, info.channels = 1, info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    return sf_format_check(&info) != 0;
}

TEST_F(Narration, NotANumberIsSilenceAndInfinityFullScale)
{
    // Through the resampler (48 kHz) a NaN would spread over every sample
    // after it; as silence the tone goes on.
    std::vector<float> tone = Signal({{{440, 0.3}}}, 48000, 48000);
    tone[1000] = std::numeric_limits<float>::quiet_NaN();
    tone[2000] = std::numeric_limits<float>::infinity();
    tone[3000] = -std::numeric_limits<float>::infinity();
    const std::string path = WriteWithLibsndfile("nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, tone);
    const std::vector<int16_t> pcm = Pcm(path, NarrationSettings{});
    ASSERT_NEAR(static_cast<double>(pcm.size()), 22050.0, 2.0);
    EXPECT_NEAR(Amplitude(pcm, 1, 0, 22050, 440, 32768), 0.3, 0.01);
    size_t longestSilence = 0;
    for (size_t i = 0, run = 0; i < pcm.size(); ++i) {
        run = pcm[i] == 0 ? run + 1 : 0;
        longestSilence = std::max(longestSilence, run);
    }
    EXPECT_LT(longestSilence, 3u) << "a gap in the tone";
    // At the narration rate the samples themselves: 0, and full scale.
    std::vector<float> flat(100, 0.25f);
    flat[10] = std::numeric_limits<float>::quiet_NaN();
    flat[20] = std::numeric_limits<float>::infinity();
    const std::vector<int16_t> same =
        Pcm(WriteWithLibsndfile("nan22.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 22050, flat), NarrationSettings{});
    ASSERT_EQ(same.size(), 100u);
    EXPECT_EQ(same[9], 8192);
    EXPECT_EQ(same[10], 0);
    EXPECT_EQ(same[20], 32767);
}

TEST_F(Narration, TheTemporaryFileLiesInTMPDIR)
{
    const std::string wav = WriteWAV16("short.wav", 1, 22050, std::vector<int16_t>(500, 7));
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved ? saved : "";
    const std::string folder = ::testing::TempDir() + "narration_tmpdir";
    ::mkdir(folder.c_str(), 0700);
    ::setenv("TMPDIR", folder.c_str(), 1);
    const EncodedNarration narration = EncodeNarration(wav, NarrationSettings{});
    char target[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(narration.adpcm.file->Descriptor());
    const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(size, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(size)).rfind(folder + "/", 0), 0u) << target;
    EXPECT_EQ(RegionBytes(narration.adpcm).size(), static_cast<size_t>(narration.adpcm.size));

    // A TMPDIR that is not there is named.
    ::setenv("TMPDIR", (folder + "/missing").c_str(), 1);
    try {
        EncodeNarration(wav, NarrationSettings{});
        ADD_FAILURE() << "no temporary file, yet encoded";
    } catch (const ConverterError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot make a temporary file for the narration in '" + folder +
                                                 "/missing' (set TMPDIR to another folder): No such file or directory");
    }
    if (saved) {
        ::setenv("TMPDIR", savedValue.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    ::rmdir(folder.c_str());
}

TEST_F(Narration, DamagedFilesAreNamedAndTheDecodersKeepQuiet)
{
    const std::vector<float> tone = Signal({{{440, 0.3}}}, 44100, 100000);
    const std::string flac = WriteWithLibsndfile("whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, tone);
    const std::string ogg = WriteWithLibsndfile("whole.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 44100, tone);
    const auto half = [&](const std::string& path, const std::string& name) {
        const Bytes whole = swftest::ReadFile(path);
        return WriteBytes(name, Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
    };
    const std::string halfFlac = half(flac, "half.flac");
    EXPECT_EQ(RefusalQuietly(halfFlac),
              "narration '" + halfFlac + "' is damaged: decoding stopped after 49152 frames (flac decoder lost sync)");
    const std::string halfOgg = half(ogg, "half.ogg");
    EXPECT_EQ(RefusalQuietly(halfOgg),
              "narration '" + halfOgg + "' is damaged or cut short: none of its samples can be decoded");

    if (!CanWriteMP3()) GTEST_SKIP() << "libsndfile here writes no MP3";
    const std::string mp3 = WriteWithLibsndfile("whole.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 44100, tone);
    const Bytes whole = swftest::ReadFile(mp3);
    // Not MP3 at all, and MP3 frames giving way to noise.
    const std::string noise = WriteBytes("noise.mp3", Bytes(1000, 'Z'));
    EXPECT_EQ(RefusalQuietly(noise).rfind("narration '" + noise + "' cannot be decoded: it is not an MP3 file, or is damaged (", 0), 0u)
        << RefusalQuietly(noise);
    Bytes damaged = whole;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 2000; ++i) damaged[i] = static_cast<uint8_t>(i * 37);
    const std::string broken = WriteBytes("damaged.mp3", damaged);
    EXPECT_EQ(RefusalQuietly(broken).rfind("narration '" + broken + "' is damaged: decoding stopped after ", 0), 0u)
        << RefusalQuietly(broken);

    // Cut short without an error: taken, with a warning naming it, in file order.
    const std::string cut = half(mp3, "half.mp3");
    const std::string warnings = Path("warnings.txt");
    std::FILE* out = std::fopen(warnings.c_str(), "w+");
    ASSERT_NE(out, nullptr);
    ::testing::internal::CaptureStderr();
    const std::vector<EncodedNarration> taken = EncodeNarrations({mp3, cut}, NarrationSettings{}, 2, nullptr, out);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    std::rewind(out);
    char line[1000] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    std::fclose(out);
    EXPECT_EQ(std::string(line).rfind("corvanex: warning: narration '" + cut + "' ends early: ", 0), 0u) << line;
    EXPECT_NE(std::string(line).find(" of the 100000 frames its header counts could be decoded\n"), std::string::npos) << line;
    EXPECT_EQ(taken[0].warnings, "");
    EXPECT_NEAR(taken[0].sampleCount, 50000.0, 2.0);
    EXPECT_LT(taken[1].sampleCount, 40000u);
}

TEST_F(Narration, ALengthTooLongIsRefusedBeforeAnythingIsEncoded)
{
    // A FLAC file whose header counts 2^36 - 1 frames: refused at once.
    const std::string small =
        WriteWithLibsndfile("long.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 44100, std::vector<float>(5000, 0.1f));
    Bytes flac = swftest::ReadFile(small);
    ASSERT_GE(flac.size(), 26u);
    flac[21] |= 0x0F;  // the stream information's total-samples field
    for (size_t i = 22; i < 26; ++i) flac[i] = 0xFF;
    const std::string claimed = WriteBytes("claimed.flac", flac);
    size_t given = 0;
    try {
        DecodeNarrationPcm(claimed, NarrationSettings{}, [&](const int16_t*, size_t frames, uint32_t) { given += frames; });
        ADD_FAILURE() << "taken";
    } catch (const ConverterError& error) {
        EXPECT_EQ(std::string(error.what()), "narration '" + claimed + "' is too long for one SWF sound");
    }
    EXPECT_EQ(given, 0u);

    // A WAV file the library's reader takes, its data chunk 4 GiB less a
    // little (a sparse file): 2^31 frames at 5512 Hz are 2^34 at 44100.
    Bytes wav = wavtest::PcmWav(1, 5512, 16, Bytes(16, 0));
    const uint32_t dataSize = 0xFFFFFF00u;
    const size_t sizeAt = wav.size() - 16 - 4;
    for (int i = 0; i < 4; ++i) wav[sizeAt + static_cast<size_t>(i)] = static_cast<uint8_t>(dataSize >> (8 * i));
    const std::string big = WriteBytes("big.wav", wav);
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(sizeAt + 4 + dataSize)), 0);
    NarrationSettings fast;
    fast.rate = 44100;
    given = 0;
    try {
        DecodeNarrationPcm(big, fast, [&](const int16_t*, size_t frames, uint32_t) { given += frames; });
        ADD_FAILURE() << "taken";
    } catch (const ConverterError& error) {
        EXPECT_EQ(std::string(error.what()), "narration '" + big + "' is too long for one SWF sound");
    }
    EXPECT_EQ(given, 0u);
}

TEST_F(Narration, AFailureStopsTheNarrationsAfterIt)
{
    // Ten files of a minute each after a broken one, on two workers: the
    // broken one fails at once, the file beside it stops at its next block,
    // the rest are never started.
    const std::string minute = WriteWithLibsndfile("minute.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100,
                                                   Signal({{{440, 0.3}}, {{660, 0.3}}}, 44100, 44100 * 60));
    const auto start = std::chrono::steady_clock::now();
    EncodeNarration(minute, NarrationSettings{});
    const auto alone = std::chrono::steady_clock::now() - start;

    std::vector<std::string> files(11, minute);
    files[0] = WriteBytes("broken.wav", Bytes(10, 'x'));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_THROW(EncodeNarrations(files, NarrationSettings{}, 2, nullptr), ConverterError);
    const auto taken = std::chrono::steady_clock::now() - before;
    // All ten would take five times as long as one.
    EXPECT_LT(taken, alone * 2) << std::chrono::duration<double>(taken).count() << " s against "
                                << std::chrono::duration<double>(alone).count() << " s for one";
}

}  // namespace
