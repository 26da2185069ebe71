#include "driver/encode/narration.h"

#include <mpg123.h>
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

#include "audio/fsound.h"
#include "base/fassert.h"
#include "base/futf8names.h"
#include "driver/core/error.h"
#include "driver/core/spillfile.h"
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
    // NaN, which no comparison clamps, would be undefined as an integer.
    if (std::isnan(value)) return 0;
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// Float samples as decoders give them: NaN is silence, infinities full scale,
// before the resampler would spread them over their neighbours.
void MakeFinite(float* samples, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::isnan(samples[i])) {
            samples[i] = 0;
        } else if (std::isinf(samples[i])) {
            samples[i] = samples[i] > 0 ? 1.0f : -1.0f;
        }
    }
}

// Thrown inside a narration whose result is no longer wanted (an earlier
// file failed); never leaves EncodeNarrations.
struct Cancelled {};

// Asked once a block: true when the narration should stop.
using StopCheck = std::function<bool()>;

// The frames a file of `frames` frames at `sourceRate` gives at `rate`.
uint64_t FramesAtRate(uint64_t frames, uint32_t sourceRate, uint32_t rate)
{
    return sourceRate == rate ? frames : static_cast<uint64_t>(static_cast<long double>(frames) * rate / sourceRate);
}

// Encoded sound goes to a temporary file as it is made. One holds the
// narrations of one worker back to back, each written by that worker alone,
// so a narration's pieces lie together; its regions get the file's final
// size once every narration is in.
constexpr const char* kSpillWhat = "narration";

// Encoded bytes kept in memory before they go to the spill file.
constexpr size_t kSpillBytes = size_t{256} << 10;

// Takes PCM at the file's rate and channel count, block by block, and
// encodes it: mixed down, resampled when the rate differs, ADPCM-encoded.
class NarrationEncoder {
public:
    // `frames`: the file's length in frames as its header gives it, when it
    // does: a file too long for a sound is refused before any of it is encoded.
    NarrationEncoder(const std::string& name, uint32_t sourceRate, uint32_t sourceChannels,
                     const NarrationSettings& settings, const NarrationPcmSink* pcmSink, SpillFile& spill,
                     const StopCheck* stop, std::optional<uint64_t> frames)
        : name(name),
          pcmSink(pcmSink),
          stop(stop),
          spill(spill),
          spillStart(spill.Size()),
          sourceChannels(sourceChannels),
          channels(settings.stereo && sourceChannels >= 2 ? 2 : 1),
          codeBits(settings.codeBits),
          rateCode(static_cast<uint8_t>(NarrationRateCode(settings.rate))),
          encoder(static_cast<uint8_t>(rateCode * 4 + 2 + (channels - 1)), settings.codeBits)
    {
        if (frames && TooLong(FramesAtRate(*frames, sourceRate, settings.rate))) throw Failure(name, kTooLong);
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
        Spill();
        EncodedNarration result;
        result.rateCode = rateCode;
        result.stereo = channels == 2;
        result.sampleCount = static_cast<uint32_t>(frameCount);
        result.adpcm = spill.Region(spillStart, spill.Size() - spillStart,
                                    "the temporary copy of narration '" + name + "'");
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

    // The sample count is 32-bit and the sound's data must fit its tag.
    bool TooLong(uint64_t frames) const
    {
        return frames > std::numeric_limits<uint32_t>::max() ||
               FADPCMEncoder::EncodedSize(frames, channels, codeBits) > kLargestSoundData;
    }

    void Encode(const int16_t* samples, size_t frames)
    {
        if (frames == 0) return;
        if (stop && (*stop)()) throw Cancelled{};
        frameCount += frames;
        if (TooLong(frameCount)) throw Failure(name, kTooLong);
        if (pcmSink) {
            (*pcmSink)(samples, frames, channels);
            return;
        }
        encoder.Compress(samples, static_cast<uint32_t>(frames), adpcm);
        if (adpcm.size() >= kSpillBytes) Spill();
    }

    void Spill()
    {
        spill.Append(adpcm.data(), adpcm.size(), "narration '" + name + "'");
        adpcm.clear();
    }

    static constexpr const char* kTooLong = "is too long for one SWF sound";

    const std::string& name;
    const NarrationPcmSink* pcmSink;
    const StopCheck* stop;
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
                                                 SpillFile& spill, const StopCheck* stop)
{
    FWAVStreamInfo info;
    std::optional<NarrationEncoder> encoder;
    std::vector<int16_t> sixteen;
    const FWAVBlockSink sink = [&](const uint8_t* samples, uint32_t frames) {
        if (!encoder) {
            std::optional<uint64_t> length;
            if (info.dataFrames > 0) length = info.dataFrames;
            encoder.emplace(name, info.sampleRate, info.channels, settings, pcm, spill, stop, length);
        }
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

// libsndfile's message without its "Error : " and full stop.
std::string SndfileProblem(SNDFILE* file)
{
    std::string text = sf_strerror(file);
    if (text.starts_with("Error : ")) text.erase(0, 8);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// The warning, for the report, of a file that decoded without an error but
// gave fewer frames than its header counts: cut short, most likely.
std::string ShortfallWarning(const std::string& name, uint64_t decoded, uint64_t counted)
{
    return "warning: narration '" + name + "' ends early: " + std::to_string(decoded) + " of the " +
           std::to_string(counted) + " frames its header counts could be decoded\n";
}

EncodedNarration ThroughLibsndfile(const std::string& name, const NarrationSettings& settings,
                                   const NarrationPcmSink* pcm, SpillFile& spill, const StopCheck* stop)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(name.c_str(), SFM_READ, &info));
    if (!file) {
        // The file was opened a moment ago: libsndfile's other messages (as
        // "does not exist") would mislead. Only its system errors say more.
        if (sf_error(nullptr) == SF_ERR_SYSTEM) throw Failure(name, "cannot be decoded: " + SndfileProblem(nullptr));
        if (sf_error(nullptr) == SF_ERR_UNSUPPORTED_ENCODING)
            throw Failure(name, "cannot be decoded: its sound encoding is not one that can be read");
        throw Failure(name, "cannot be decoded: it is not a WAV, FLAC, Ogg Vorbis or MP3 file, or is damaged");
    }
    if (info.channels <= 0) throw Failure(name, "has no channels");
    if (info.samplerate <= 0) throw Failure(name, "has no sample rate");

    // Ogg files whose length libsndfile cannot find give the largest count.
    std::optional<uint64_t> counted;
    if (info.frames >= 0 && info.frames < SF_COUNT_MAX) counted = static_cast<uint64_t>(info.frames);
    NarrationEncoder encoder(name, static_cast<uint32_t>(info.samplerate), static_cast<uint32_t>(info.channels),
                             settings, pcm, spill, stop, counted);
    std::vector<float> block(kBlockFrames * static_cast<size_t>(info.channels));
    uint64_t decoded = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), kBlockFrames);
        if (got <= 0) break;
        MakeFinite(block.data(), static_cast<size_t>(got) * static_cast<size_t>(info.channels));
        encoder.Add(block.data(), static_cast<size_t>(got));
        decoded += static_cast<uint64_t>(got);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw Failure(name, "is damaged: decoding stopped after " + std::to_string(decoded) +
                                " frames (" + SndfileProblem(file.get()) + ")");
    if (decoded == 0 && (!counted || *counted > 0))
        throw Failure(name, "is damaged or cut short: none of its samples can be decoded");
    EncodedNarration result = encoder.Finish();
    if (counted && decoded < *counted) result.warnings = ShortfallWarning(name, decoded, *counted);
    return result;
}

// MP3 files, decoded with libmpg123 here rather than through libsndfile: the
// decoder is kept quiet (it would print its notes on standard error) and its
// errors are its own.
struct Mpg123Closer {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

EncodedNarration ThroughMpg123(const std::string& name, const NarrationSettings& settings,
                               const NarrationPcmSink* pcm, SpillFile& spill, const StopCheck* stop)
{
    static const int initialised = mpg123_init();  // once; a no-op in newer versions
    (void)initialised;
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Closer> decoder(mpg123_new(nullptr, &error));
    if (!decoder) throw Failure(name, std::string("cannot be decoded: ") + mpg123_plain_strerror(error));
    mpg123_handle* mh = decoder.get();
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0);
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0);
    const auto problem = [mh] {
        std::string text = mpg123_plain_strerror(mpg123_errcode(mh));
        while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
        return text;
    };
    if (mpg123_open(mh, name.c_str()) != MPG123_OK) throw Failure(name, "cannot be decoded: " + problem());
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK)
        throw Failure(name, "cannot be decoded: it is not an MP3 file, or is damaged (" + problem() + ")");
    if (rate <= 0 || channels <= 0) throw Failure(name, "has no sample rate or no channels");
    // One format throughout: a file whose frames change it is refused below.
    mpg123_format_none(mh);
    if (mpg123_format(mh, rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK)
        throw Failure(name, "cannot be decoded: " + problem());

    // The length, when the file says it (an Info or Xing header) rather than
    // it being guessed from the file's size.
    std::optional<uint64_t> counted;
    long accurate = 0;
    double unused = 0;
    const off_t length = mpg123_length(mh);
    if (length >= 0 && mpg123_getstate(mh, MPG123_ACCURATE, &accurate, &unused) == MPG123_OK && accurate)
        counted = static_cast<uint64_t>(length);
    NarrationEncoder encoder(name, static_cast<uint32_t>(rate), static_cast<uint32_t>(channels), settings, pcm,
                             spill, stop, counted);
    std::vector<float> block(kBlockFrames * static_cast<size_t>(channels));
    uint64_t decoded = 0;
    for (;;) {
        size_t bytes = 0;
        const int status = mpg123_read(mh, block.data(), block.size() * sizeof(float), &bytes);
        const size_t frames = bytes / (sizeof(float) * static_cast<size_t>(channels));
        if (frames > 0) {
            MakeFinite(block.data(), frames * static_cast<size_t>(channels));
            encoder.Add(block.data(), frames);
            decoded += frames;
        }
        if (status == MPG123_DONE) break;
        if (status == MPG123_NEW_FORMAT) throw Failure(name, "cannot be decoded: its sample rate or channels change part way");
        if (status != MPG123_OK)
            throw Failure(name, "is damaged: decoding stopped after " + std::to_string(decoded) + " frames (" +
                                    problem() + ")");
    }
    if (decoded == 0) throw Failure(name, "is damaged or cut short: none of its samples can be decoded");
    EncodedNarration result = encoder.Finish();
    if (counted && decoded < *counted) result.warnings = ShortfallWarning(name, decoded, *counted);
    return result;
}

// MP3 by its name, or by its start: an ID3 tag or an MPEG audio frame's sync.
bool IsMP3(const std::string& name, std::FILE* file)
{
    if (name.size() >= 4 && Lowercase(std::string_view(name).substr(name.size() - 4)) == ".mp3") return true;
    unsigned char start[3] = {};
    const size_t got = std::fread(start, 1, sizeof start, file);
    std::rewind(file);
    if (got == 3 && std::memcmp(start, "ID3", 3) == 0) return true;
    return got >= 2 && start[0] == 0xFF && (start[1] & 0xE0) == 0xE0;
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
                         SpillFile& spill, const StopCheck* stop = nullptr)
{
    F_ASSERT(NarrationRateCode(settings.rate) >= 0 && settings.codeBits >= 2 && settings.codeBits <= 5,
             "NarrationRateCode(settings.rate) >= 0 && settings.codeBits >= 2 && settings.codeBits <= 5");
    std::unique_ptr<std::FILE, FileCloser> file(FOpenUTF8(name, "rb"));
    if (!file) throw Failure(name, std::string("cannot be opened: ") + std::strerror(errno));
    if (std::fgetc(file.get()) == EOF) throw Failure(name, "is empty");
    std::rewind(file.get());

    if (HasWAVExtension(name)) {
        if (auto read = ThroughWAVReader(file.get(), name, settings, pcm, spill, stop)) return std::move(*read);
    }
    const bool mp3 = IsMP3(name, file.get());
    file.reset();
    return mp3 ? ThroughMpg123(name, settings, pcm, spill, stop) : ThroughLibsndfile(name, settings, pcm, spill, stop);
}

}  // namespace

EncodedNarration EncodeNarration(const std::string& name, const NarrationSettings& settings)
{
    SpillFile spill(kSpillWhat);
    return Narrate(name, settings, nullptr, spill);
}

std::string DecodeNarrationPcm(const std::string& name, const NarrationSettings& settings,
                               const NarrationPcmSink& pcm)
{
    SpillFile spill(kSpillWhat);
    return Narrate(name, settings, &pcm, spill).report;
}

std::vector<EncodedNarration> EncodeNarrations(const std::vector<std::string>& names,
                                               const NarrationSettings& settings, unsigned threads,
                                               std::FILE* report, std::FILE* warnings)
{
    std::vector<EncodedNarration> results(names.size());
    std::vector<std::exception_ptr> failures(names.size());
    std::atomic<size_t> next{0};
    // The first file in order known to have failed: files after it are not
    // started, and those running stop at their next block. Files before it
    // run on, as one of them may fail too and be the one to report.
    std::atomic<size_t> firstFailed{names.size()};
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>(threads, names.size())));
    // One temporary file per worker, its narrations back to back.
    std::vector<std::optional<SpillFile>> spills(threads);
    auto work = [&](unsigned worker) {
        for (size_t i = next++; i < names.size() && i < firstFailed; i = next++) {
            const StopCheck stop = [&firstFailed, i] { return firstFailed.load(std::memory_order_relaxed) < i; };
            try {
                if (!spills[worker]) spills[worker].emplace(kSpillWhat);
                results[i] = Narrate(names[i], settings, nullptr, *spills[worker], &stop);
            } catch (const Cancelled&) {
            } catch (...) {
                failures[i] = std::current_exception();
                for (size_t seen = firstFailed; i < seen && !firstFailed.compare_exchange_weak(seen, i);) {}
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
        if (warnings && !results[i].warnings.empty()) std::fprintf(warnings, "corvanex: %s", results[i].warnings.c_str());
    }
    // The files have stopped growing: their regions name their final size.
    for (EncodedNarration& result : results)
        for (const auto& spill : spills)
            if (spill && spill->File() == result.adpcm.file) result.adpcm.fileSize = spill->Size();
    return results;
}
