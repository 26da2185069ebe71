#include "driver/narration.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include <unistd.h>

#include "audio/fsound.h"
#include "driver/slideinput.h"
#include "base/fassert.h"
#include "swf/fdtsounds.h"

namespace {

constexpr uint32_t kNarrationRates[] = {5512, 11025, 22050, 44100};
// Frames decoded, mixed and resampled at a time: the only PCM ever held.
constexpr size_t kBlockFrames = 8192;
// A DefineSound's length field is signed 32-bit and counts the 7 bytes
// before the sound data too.
constexpr uint64_t kLargestSoundData = 0x7FFFFFFF - 7;

ConverterError Failure(const std::string& name, const std::string& problem)
{
    return ConverterError("narration '" + name + "' " + problem, kExitFailure);
}

int16_t ToSample16(float value)
{
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// An unnamed temporary file that encoded sound goes to as it is made. One
// holds the narrations of one worker back to back; its regions get the
// file's final size once every narration is in.
class SpillFile {
public:
    SpillFile()
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> temporary(std::tmpfile(), &std::fclose);
        const int descriptor = temporary ? ::dup(::fileno(temporary.get())) : -1;
        if (descriptor < 0)
            throw ConverterError(std::string("cannot make a temporary file for the narration: ") + std::strerror(errno),
                                 kExitFailure);
        file = std::make_shared<const FSWFOpenFile>(descriptor);
    }

    void Append(const std::vector<uint8_t>& bytes, const std::string& name)
    {
        std::string error;
        if (!WriteAllToDescriptor(file->Descriptor(), bytes.data(), bytes.size(), &error))
            throw Failure(name, "cannot be kept in a temporary file: " + error);
        size += bytes.size();
    }

    uint64_t Size() const { return size; }
    const std::shared_ptr<const FSWFOpenFile>& File() const { return file; }

private:
    std::shared_ptr<const FSWFOpenFile> file;
    uint64_t size = 0;
};

// Encoded bytes kept in memory before they go to the spill file.
constexpr size_t kSpillBytes = size_t{256} << 10;

// Takes PCM at the file's rate and channel count, block by block, and
// encodes it: mixed down, resampled when the rate differs, ADPCM-encoded.
class NarrationEncoder {
public:
    NarrationEncoder(const std::string& name, uint32_t sourceRate, uint32_t sourceChannels,
                     const NarrationSettings& settings, const NarrationPcmSink* pcmSink, SpillFile& spill)
        : name(name),
          pcmSink(pcmSink),
          spill(spill),
          spillStart(spill.Size()),
          sourceChannels(sourceChannels),
          channels(settings.stereo && sourceChannels >= 2 ? 2 : 1),
          codeBits(settings.codeBits),
          rateCode(static_cast<uint8_t>(NarrationRateCode(settings.rate))),
          encoder(static_cast<uint8_t>(rateCode * 4 + 2 + (channels - 1)), settings.codeBits)
    {
        if (sourceRate != settings.rate) {
            soxr_error_t error = nullptr;
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            resampler.reset(soxr_create(sourceRate, settings.rate, channels, &error, &io, &quality, nullptr));
            if (!resampler || error) throw Failure(name, std::string("cannot be resampled: ") + (error ? error : ""));
        }
    }

    NarrationEncoder(const NarrationEncoder&) = delete;
    NarrationEncoder& operator=(const NarrationEncoder&) = delete;
    ~NarrationEncoder()
    {
        // The encoder insists on being flushed, even when the file failed.
        if (!finished) encoder.Flush(adpcm);
    }

    // Interleaved 16-bit samples: straight to the encoder when nothing is to
    // be mixed or resampled, so that the ADPCM is the library's own for them.
    void Add(const int16_t* samples, size_t frames)
    {
        if (!resampler && sourceChannels == channels) {
            Encode(samples, frames);
            return;
        }
        floats.resize(frames * sourceChannels);
        for (size_t i = 0; i < floats.size(); ++i) floats[i] = samples[i] / 32768.0f;
        Add(floats.data(), frames);
    }

    // 8-bit unsigned samples, widened as the library's encoder widens them.
    void Add(const uint8_t* samples, size_t frames)
    {
        widened.resize(frames * sourceChannels);
        for (size_t i = 0; i < widened.size(); ++i) widened[i] = static_cast<int16_t>((samples[i] - 128) * 256);
        Add(widened.data(), frames);
    }

    // Interleaved samples, full scale at 1.
    void Add(const float* samples, size_t frames)
    {
        const float* mixed = samples;
        if (sourceChannels != channels) {
            mix.resize(frames * channels);
            MixDown(samples, frames, mix.data());
            mixed = mix.data();
        }
        if (resampler) {
            Resample(mixed, frames);
        } else {
            EncodeFloats(mixed, frames);
        }
    }

    EncodedNarration Finish()
    {
        if (resampler) Resample(nullptr, 0);
        if (frameCount == 0) throw Failure(name, "has no samples");
        encoder.Flush(adpcm);
        finished = true;
        spill.Append(adpcm, name);
        adpcm.clear();
        EncodedNarration result;
        result.rateCode = rateCode;
        result.stereo = channels == 2;
        result.sampleCount = static_cast<uint32_t>(frameCount);
        result.adpcm.path = "the temporary copy of narration '" + name + "'";
        result.adpcm.file = spill.File();
        result.adpcm.offset = spillStart;
        result.adpcm.size = static_cast<int32_t>(spill.Size() - spillStart);
        result.adpcm.fileSize = spill.Size();
        result.adpcm.unnamed = true;
        return result;
    }

private:
    struct SoxrDeleter {
        void operator()(soxr_t resampler) const { soxr_delete(resampler); }
    };

    // To mono: the mean of all channels ((L + R) / 2 for stereo). To stereo
    // from more channels: the even-numbered ones left, the odd ones right.
    void MixDown(const float* in, size_t frames, float* out) const
    {
        for (size_t f = 0; f < frames; ++f) {
            const float* frame = in + f * sourceChannels;
            if (channels == 1) {
                float sum = 0;
                for (uint32_t c = 0; c < sourceChannels; ++c) sum += frame[c];
                out[f] = sum / static_cast<float>(sourceChannels);
            } else {
                float sums[2] = {0, 0};
                for (uint32_t c = 0; c < sourceChannels; ++c) sums[c & 1] += frame[c];
                out[2 * f] = sums[0] / static_cast<float>((sourceChannels + 1) / 2);
                out[2 * f + 1] = sums[1] / static_cast<float>(sourceChannels / 2);
            }
        }
    }

    // Streams `frames` frames through the resampler; a null `in` drains it at
    // the end of the file.
    void Resample(const float* in, size_t frames)
    {
        resampled.resize(kBlockFrames * channels);
        size_t taken = 0;
        for (;;) {
            size_t used = 0;
            size_t made = 0;
            const soxr_error_t error =
                in ? soxr_process(resampler.get(), in + taken * channels, frames - taken, &used, resampled.data(),
                                  kBlockFrames, &made)
                   : soxr_process(resampler.get(), nullptr, 0, nullptr, resampled.data(), kBlockFrames, &made);
            if (error) throw Failure(name, std::string("cannot be resampled: ") + error);
            taken += used;
            EncodeFloats(resampled.data(), made);
            if (in ? taken >= frames && made < kBlockFrames : made == 0) return;
        }
    }

    void EncodeFloats(const float* samples, size_t frames)
    {
        converted.resize(frames * channels);
        for (size_t i = 0; i < converted.size(); ++i) converted[i] = ToSample16(samples[i]);
        Encode(converted.data(), frames);
    }

    void Encode(const int16_t* samples, size_t frames)
    {
        if (frames == 0) return;
        frameCount += frames;
        // The sample count is 32-bit and the sound's data must fit its tag.
        if (frameCount > std::numeric_limits<uint32_t>::max() ||
            FADPCMEncoder::EncodedSize(frameCount, channels, codeBits) > kLargestSoundData)
            throw Failure(name, "is too long for one SWF sound");
        if (pcmSink) {
            (*pcmSink)(samples, frames, channels);
            return;
        }
        encoder.Compress(samples, static_cast<uint32_t>(frames), adpcm);
        if (adpcm.size() >= kSpillBytes) {
            spill.Append(adpcm, name);
            adpcm.clear();
        }
    }

    const std::string& name;
    const NarrationPcmSink* pcmSink;
    SpillFile& spill;
    uint64_t spillStart;
    uint32_t sourceChannels;
    uint32_t channels;
    int codeBits;
    uint8_t rateCode;
    std::unique_ptr<soxr, SoxrDeleter> resampler;
    FADPCMEncoder encoder;
    std::vector<uint8_t> adpcm;
    uint64_t frameCount = 0;
    bool finished = false;
    std::vector<float> floats, mix, resampled;
    std::vector<int16_t> widened, converted;
};

std::string Lowercase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

bool HasWAVExtension(const std::string& name)
{
    return name.size() >= 4 && Lowercase(std::string_view(name).substr(name.size() - 4)) == ".wav";
}

std::string PrefixLines(const std::string& text, const std::string& name)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.append(name).append(1, ':');
        if (end > start) out.append(1, ' ').append(text, start, end - start);
        out.append(1, '\n');
        start = end + 1;
    }
    return out;
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};

// Through the library's reader; nothing when it refuses the file's encoding,
// which libsndfile is then asked to read.
std::optional<EncodedNarration> ThroughWAVReader(std::FILE* file, const std::string& name,
                                                 const NarrationSettings& settings, const NarrationPcmSink* pcm,
                                                 SpillFile& spill)
{
    FWAVStreamInfo info;
    std::optional<NarrationEncoder> encoder;
    std::vector<int16_t> sixteen;
    const FWAVBlockSink sink = [&](const uint8_t* samples, uint32_t frames) {
        if (!encoder) encoder.emplace(name, info.sampleRate, info.channels, settings, pcm, spill);
        if (info.fields.size == 1) {
            sixteen.resize(size_t{frames} * info.channels);
            std::memcpy(sixteen.data(), samples, sixteen.size() * sizeof(int16_t));
            encoder->Add(sixteen.data(), frames);
        } else {
            encoder->Add(samples, frames);
        }
    };
    const bool accepted = FDTDefineSound::ReadWAVBlocks(file, sink, info);
    if (!accepted && info.encodingRefused) return std::nullopt;
    if (!accepted) throw Failure(name, "refused: " + info.refusal);
    if (!encoder) throw Failure(name, "has no samples");
    EncodedNarration result = encoder->Finish();
    result.report = PrefixLines(info.report, name);
    return result;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

EncodedNarration ThroughLibsndfile(const std::string& name, const NarrationSettings& settings,
                                   const NarrationPcmSink* pcm, SpillFile& spill)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(name.c_str(), SFM_READ, &info));
    if (!file) throw Failure(name, std::string("cannot be decoded: ") + sf_strerror(nullptr));
    if (info.channels <= 0) throw Failure(name, "has no channels");
    if (info.samplerate <= 0) throw Failure(name, "has no sample rate");

    NarrationEncoder encoder(name, static_cast<uint32_t>(info.samplerate), static_cast<uint32_t>(info.channels),
                             settings, pcm, spill);
    std::vector<float> block(kBlockFrames * static_cast<size_t>(info.channels));
    for (;;) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), kBlockFrames);
        if (got <= 0) break;
        encoder.Add(block.data(), static_cast<size_t>(got));
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw Failure(name, std::string("cannot be decoded: ") + sf_strerror(file.get()));
    return encoder.Finish();
}

}  // namespace

int NarrationRateCode(uint32_t rate)
{
    for (int code = 0; code < 4; ++code)
        if (kNarrationRates[code] == rate) return code;
    return -1;
}

namespace {

EncodedNarration Narrate(const std::string& name, const NarrationSettings& settings, const NarrationPcmSink* pcm,
                         SpillFile& spill)
{
    F_ASSERT(NarrationRateCode(settings.rate) >= 0 && settings.codeBits >= 2 && settings.codeBits <= 5,
             "NarrationRateCode(settings.rate) >= 0 && settings.codeBits >= 2 && settings.codeBits <= 5");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
    if (!file) throw Failure(name, std::string("cannot be opened: ") + std::strerror(errno));
    if (std::fgetc(file.get()) == EOF) throw Failure(name, "is empty");
    std::rewind(file.get());

    if (HasWAVExtension(name)) {
        if (auto read = ThroughWAVReader(file.get(), name, settings, pcm, spill)) return std::move(*read);
    }
    file.reset();
    return ThroughLibsndfile(name, settings, pcm, spill);
}

}  // namespace

EncodedNarration EncodeNarration(const std::string& name, const NarrationSettings& settings)
{
    SpillFile spill;
    return Narrate(name, settings, nullptr, spill);
}

std::string DecodeNarrationPcm(const std::string& name, const NarrationSettings& settings,
                               const NarrationPcmSink& pcm)
{
    SpillFile spill;
    return Narrate(name, settings, &pcm, spill).report;
}

std::vector<EncodedNarration> EncodeNarrations(const std::vector<std::string>& names,
                                               const NarrationSettings& settings, unsigned threads,
                                               std::FILE* report)
{
    std::vector<EncodedNarration> results(names.size());
    std::vector<std::exception_ptr> failures(names.size());
    std::atomic<size_t> next{0};
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>(threads, names.size())));
    // One temporary file per worker, its narrations back to back.
    std::vector<std::optional<SpillFile>> spills(threads);
    auto work = [&](unsigned worker) {
        for (size_t i = next++; i < names.size(); i = next++) {
            try {
                if (!spills[worker]) spills[worker].emplace();
                results[i] = Narrate(names[i], settings, nullptr, *spills[worker]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    {
        std::vector<std::jthread> workers;
        for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work, t);
        work(0);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (failures[i]) std::rethrow_exception(failures[i]);
        if (report) std::fputs(results[i].report.c_str(), report);
    }
    // The files have stopped growing: their regions name their final size.
    for (EncodedNarration& result : results)
        for (const auto& spill : spills)
            if (spill && spill->File() == result.adpcm.file) result.adpcm.fileSize = spill->Size();
    return results;
}
