#include "swf/fdtsounds.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstring>
#include <limits>
#include <utility>

#include "audio/fresample.h"
#include "audio/fsound.h"
#include "base/fassert.h"

namespace {

constexpr uint32_t FourCC(const char (&id)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(id[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(id[3])) << 24;
}

constexpr uint64_t kUnknownLength = std::numeric_limits<uint64_t>::max();
// RIFF sizes of all ones mean "up to the end of the file" (written by
// programs that stream WAV and cannot seek back to fill the size in).
constexpr uint32_t kSizeToEnd = 0xFFFFFFFF;

// Little-endian fields from a file, at positions counted from where the file
// stood when the reader was made. Short reads are remembered, never past the end.
class RiffReader {
public:
    explicit RiffReader(std::FILE* fp) : fp(fp)
    {
        const long start = std::ftell(fp);
        base = start > 0 ? start : 0;
        if (start >= 0 && std::fseek(fp, 0, SEEK_END) == 0) {
            const long end = std::ftell(fp);
            if (end >= base) length = static_cast<uint64_t>(end - base);
            std::fseek(fp, base, SEEK_SET);
        }
    }

    // Bytes from the start to the end of the file; kUnknownLength when the
    // file cannot tell.
    uint64_t Length() const { return length; }
    uint64_t Remaining(uint64_t position) const
    {
        if (length == kUnknownLength) return kUnknownLength;
        return position < length ? length - position : 0;
    }

    bool Seek(uint64_t position)
    {
        if (position > static_cast<uint64_t>(std::numeric_limits<long>::max() - base) ||
            std::fseek(fp, static_cast<long>(base + static_cast<long>(position)), SEEK_SET) != 0) {
            failed = true;
        }
        return !failed;
    }

    size_t Read(uint8_t* destination, size_t count)
    {
        const size_t got = std::fread(destination, 1, count, fp);
        if (got != count) failed = true;
        return got;
    }

    uint32_t U32()
    {
        uint8_t b[4] = {0, 0, 0, 0};
        Read(b, 4);
        return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
    }

    uint16_t U16()
    {
        uint8_t b[2] = {0, 0};
        Read(b, 2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }

    bool Failed() const { return failed; }

private:
    std::FILE* fp;
    long base = 0;
    uint64_t length = kUnknownLength;
    bool failed = false;
};

const char* FormatTagName(uint32_t tag)
{
    switch (tag) {
    case 1: return "WAVE_FORMAT_PCM\n";
    case 2: return "WAVE_FORMAT_ADPCM\n";
    case 5: return "WAVE_FORMAT_IBM_CVSD\n";
    case 6: return "WAVE_FORMAT_ALAW\n";
    case 7: return "WAVE_FORMAT_MULAW\n";
    case 16: return "WAVE_FORMAT_OKI_ADPCM";
    case 17: return "WAVE_FORMAT_DVI_ADPCM or WAVE_FORMAT_IMA_ADPCM\n";
    case 21: return "WAVE_FORMAT_DIGISTD\n";
    case 22: return "WAVE_FORMAT_DIGIFIX\n";
    case 32: return "WAVE_FORMAT_YAMAHA_ADPCM\n";
    case 33: return "WAVE_FORMAT_SONARC\n";
    case 34: return "WAVE_FORMAT_DSPGROUP_TRUESPEECH\n";
    case 35: return "WAVE_FORMAT_ECHOSC1\n";
    case 36: return "WAVE_FORMAT_AUDIOFILE_AF18\n";
    case 257: return "IBM_FORMAT_MULAW\n";
    case 258: return "IBM_FORMAT_ALAW\n";
    case 259: return "IBM_FORMAT_ADPCM\n";
    case 512: return "WAVE_FORMAT_CREATIVE_ADPCM\n";
    default: return "WAVE_FORMAT_UNKNOWN";
    }
}

// The rate of each rate code in half-hertz, so that 5512.5 Hz is exact.
uint64_t RateCodeHalfHertz(uint8_t rateCode) { return uint64_t{11025} << rateCode; }

// Reads one WAV file; each refusal prints its line and keeps the reason.
class WAVReader {
public:
    WAVReader(std::FILE* fp, FSoundFormat& fields, std::vector<uint8_t>& samples)
        : in(fp), fields(fields), samples(samples)
    {
    }

    // Hands the data chunk over block by block, unresampled, instead of
    // collecting it; the report goes to `report` instead of standard output.
    // `found` learns the file's rate and channel count as soon as they are read,
    // before the first block.
    void StreamTo(const FWAVBlockSink* blockSink, FWAVStreamInfo* found)
    {
        sink = blockSink;
        info = found;
        report = &found->report;
    }

    bool Read();
    const std::string& Reason() const { return reason; }
    bool EncodingRefused() const { return encodingRefused; }

private:
    bool Refuse(std::string why)
    {
        reason = std::move(why);
        return false;
    }
    // A refusal of how the samples are coded, not of the file's structure.
    bool RefuseEncoding(std::string why)
    {
        encodingRefused = true;
        return Refuse(std::move(why));
    }
    template <typename... Args>
    void Say(const char* format, Args... args)
    {
        if (!report) {
            std::printf(format, args...);
            return;
        }
        char line[128];
        const int length = std::snprintf(line, sizeof line, format, args...);
        if (length > 0) report->append(line, std::min(static_cast<size_t>(length), sizeof line - 1));
    }
    void Say(const char* text)
    {
        if (report) report->append(text);
        else std::fputs(text, stdout);
    }
    bool StreamDataChunk(uint64_t bodyPosition, uint32_t size);
    bool ReadFormatChunk(uint64_t bodyPosition, uint32_t size);
    bool ReadDataChunk(uint64_t bodyPosition, uint32_t size);
    void Resample();

    RiffReader in;
    FSoundFormat& fields;
    std::vector<uint8_t>& samples;
    std::string reason;
    bool encodingRefused = false;
    const FWAVBlockSink* sink = nullptr;
    FWAVStreamInfo* info = nullptr;
    std::string* report = nullptr;
    bool formatSeen = false;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t bitsPerSample = 0;
};

bool WAVReader::Read()
{
    if (in.U32() != FourCC("RIFF") || in.Failed()) {
        Say("Not a RIFF format file\n");
        return Refuse("not a RIFF format file");
    }
    const uint32_t riffSize = in.U32();
    const uint64_t riffEnd = riffSize == kSizeToEnd ? in.Length() : uint64_t{8} + riffSize;
    if (in.U32() != FourCC("WAVE") || in.Failed()) {
        Say("Not a WAVE file\n");
        return Refuse("not a WAVE file");
    }

    // Positions and sizes in 64 bits: no 32-bit size can wrap a position back,
    // so every chunk moves the reader on by at least its 8-byte header.
    uint64_t chunkPosition = 12;
    while (chunkPosition < riffEnd) {
        in.Seek(chunkPosition);
        const uint32_t id = in.U32();
        const uint32_t size = in.U32();
        if (in.Failed()) break;  // no whole chunk header left in the file
        const uint64_t body = chunkPosition + 8;
        // Chunks are padded to an even length.
        const uint64_t next = body + size + (size & 1);

        Say("\n----- Chunk ID %lx, Size %lu -----\n", static_cast<unsigned long>(id),
                    static_cast<unsigned long>(size));
        if (id == FourCC("fmt ")) {
            if (!ReadFormatChunk(body, size)) return false;
        } else if (id == FourCC("data")) {
            return ReadDataChunk(body, size);
        } else {
            Say("Unknown Chunk\n");
        }
        chunkPosition = next;
    }
    return Refuse("no data chunk");
}

bool WAVReader::ReadFormatChunk(uint64_t bodyPosition, uint32_t size)
{
    Say("Format Chunk\n");
    // What the file really holds of the chunk: a size may claim more.
    const uint64_t held = std::min<uint64_t>(size, in.Remaining(bodyPosition));
    if (held < 16) {
        Say("Format Chunk too short\n");
        return Refuse("format chunk too short");
    }

    Say("Common Fields:\n");
    const uint32_t formatTag = in.U16();
    Say("  Format Tag %04lXh:  ", static_cast<unsigned long>(formatTag));
    Say(FormatTagName(formatTag));

    channels = in.U16();
    Say("  %u Channels\n", static_cast<unsigned>(channels));
    if (channels != 1 && channels != 2) {
        Say("Channel count %u unsupported\n", static_cast<unsigned>(channels));
        return RefuseEncoding("channel count " + std::to_string(channels) + " unsupported (mono or stereo only)");
    }
    fields.type = static_cast<uint8_t>(channels - 1);
    if (info) info->channels = channels;

    sampleRate = in.U32();
    if (info) info->sampleRate = sampleRate;
    Say("  %u Samples Per Second\n", static_cast<unsigned>(sampleRate));
    switch (sampleRate / 5000) {
    case 1: fields.rate = 0; break;
    case 2: fields.rate = 1; break;
    case 4: fields.rate = 2; break;
    case 8: fields.rate = 3; break;
    default:
        Say("Sample rate %u unsupported\n", static_cast<unsigned>(sampleRate));
        return RefuseEncoding("sample rate " + std::to_string(sampleRate) + " unsupported");
    }

    const uint32_t averageBytesPerSecond = in.U32();
    Say("  %u Average Bytes Per Second\n", static_cast<unsigned>(averageBytesPerSecond));
    const uint32_t blockAlign = in.U16();
    Say("  Block Align %u\n", static_cast<unsigned>(blockAlign));

    Say("Format Specific Fields:\n");
    bitsPerSample = in.U16();
    Say("  %u Bits Per Sample\n", static_cast<unsigned>(bitsPerSample));
    fields.size = bitsPerSample == 16 ? 1 : 0;

    if (formatTag != 1) {
        // The extra-information size exists only in chunks of 18 bytes or more.
        const uint32_t extra = held >= 18 ? in.U16() : 0;
        Say("  %d Bytes of extra information\n", static_cast<int>(extra));
        Say("  NOT YET SUPPORTED\n");
        char tag[8];
        std::snprintf(tag, sizeof tag, "%04X", static_cast<unsigned>(formatTag));
        return RefuseEncoding(std::string("compressed format ") + tag + "h unsupported (PCM only)");
    }
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        Say("Bits per sample %u unsupported\n", static_cast<unsigned>(bitsPerSample));
        return RefuseEncoding(std::to_string(bitsPerSample) + " bits per sample unsupported (8 or 16 only)");
    }
    formatSeen = true;
    return true;
}

bool WAVReader::ReadDataChunk(uint64_t bodyPosition, uint32_t size)
{
    Say("Data Chunk\n");
    if (!formatSeen) {
        Say("Warning Format Chunk not defined before Data Chunk\n");
        return Refuse("data chunk before the format chunk");
    }

    if (sink) return StreamDataChunk(bodyPosition, size);

    // Never allocate more than the file holds: a size may claim more.
    const bool toEnd = size == kSizeToEnd;
    const uint64_t wanted = toEnd ? in.Remaining(bodyPosition) : size;
    constexpr size_t kBlock = size_t{1} << 20;
    uint64_t got = 0;
    in.Seek(bodyPosition);
    while (got < wanted && !in.Failed()) {
        const size_t block = static_cast<size_t>(std::min<uint64_t>(kBlock, wanted - got));
        samples.resize(static_cast<size_t>(got) + block);
        got += in.Read(samples.data() + got, block);
    }
    samples.resize(static_cast<size_t>(got));
    if (got < wanted && !(toEnd && wanted == kUnknownLength)) {
        Say("Warning Read %lu of %lu bytes\n", static_cast<unsigned long>(got),
                    static_cast<unsigned long>(size));
        return Refuse("data chunk truncated: read " + std::to_string(got) + " of " + std::to_string(size) +
                      " bytes");
    }

    const uint32_t frameBytes = (bitsPerSample / 8) * channels;
    const uint64_t frames = std::min<uint64_t>(got / frameBytes, std::numeric_limits<uint32_t>::max());
    samples.resize(static_cast<size_t>(frames * frameBytes));  // no partial frame at the end
    if (bitsPerSample == 16 && std::endian::native == std::endian::big) {
        for (size_t i = 0; i + 1 < samples.size(); i += 2) std::swap(samples[i], samples[i + 1]);
    }
    fields.sampleCount = static_cast<uint32_t>(frames);
    Resample();
    return true;
}

bool WAVReader::StreamDataChunk(uint64_t bodyPosition, uint32_t size)
{
    const bool toEnd = size == kSizeToEnd;
    const uint64_t wanted = toEnd ? in.Remaining(bodyPosition) : size;
    const uint32_t frameBytes = (bitsPerSample / 8) * channels;
    // What the file holds of it: a size claiming more is refused as truncated.
    const uint64_t present = std::min(wanted, in.Remaining(bodyPosition));
    if (info && present != kUnknownLength) info->dataFrames = present / frameBytes;
    // Whole frames per block; a frame split by a block waits for the next.
    std::vector<uint8_t> block(size_t{16384} * frameBytes);
    size_t held = 0;
    uint64_t got = 0;
    uint64_t frames = 0;
    in.Seek(bodyPosition);
    while (got < wanted && !in.Failed()) {
        const size_t room = static_cast<size_t>(std::min<uint64_t>(block.size() - held, wanted - got));
        const size_t read = in.Read(block.data() + held, room);
        got += read;
        held += read;
        const size_t whole = held / frameBytes * frameBytes;
        if (whole == 0) continue;
        if (bitsPerSample == 16 && std::endian::native == std::endian::big) {
            for (size_t i = 0; i + 1 < whole; i += 2) std::swap(block[i], block[i + 1]);
        }
        // The sample count is 32-bit: frames past it are left out, as whole reads leave them.
        const uint64_t room32 = std::numeric_limits<uint32_t>::max() - frames;
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(whole / frameBytes, room32));
        if (count > 0) (*sink)(block.data(), count);
        frames += count;
        std::memmove(block.data(), block.data() + whole, held - whole);
        held -= whole;
    }
    if (got < wanted && !(toEnd && wanted == kUnknownLength)) {
        Say("Warning Read %lu of %lu bytes\n", static_cast<unsigned long>(got), static_cast<unsigned long>(size));
        return Refuse("data chunk truncated: read " + std::to_string(got) + " of " + std::to_string(size) +
                      " bytes");
    }
    fields.sampleCount = static_cast<uint32_t>(frames);
    return true;
}

void WAVReader::Resample()
{
    // The rate codes only name four rates; a file more than 1 % off its code's
    // rate would play at the wrong speed and pitch.
    const uint64_t target = RateCodeHalfHertz(fields.rate);
    const uint64_t source = uint64_t{2} * sampleRate;
    const uint64_t offBy = source > target ? source - target : target - source;
    if (offBy * 100 <= target) return;

    if (target % 2) {
        Say("Resampling %u Hz to %lu.5 Hz\n", static_cast<unsigned>(sampleRate),
                    static_cast<unsigned long>(target / 2));
    } else {
        Say("Resampling %u Hz to %lu Hz\n", static_cast<unsigned>(sampleRate),
                    static_cast<unsigned long>(target / 2));
    }
    samples = FResampleLinear(samples, channels, bitsPerSample / 8, source, target);
    fields.sampleCount = static_cast<uint32_t>(samples.size() / ((bitsPerSample / 8) * channels));
}

}  // namespace

bool FDTDefineSound::ReadWAV(std::FILE* fp, FSoundFormat& fields, std::vector<uint8_t>& samples,
                             std::string* refusal)
{
    F_ASSERT(fp, "fp");
    fields = FSoundFormat{};
    fields.format = 1;  // the tag always compresses to ADPCM
    samples.clear();

    WAVReader reader(fp, fields, samples);
    const bool accepted = reader.Read();
    if (!accepted) {
        samples.clear();
        samples.shrink_to_fit();
    }
    if (refusal) *refusal = reader.Reason();
    return accepted;
}

bool FDTDefineSound::ReadWAVBlocks(std::FILE* fp, const FWAVBlockSink& blocks, FWAVStreamInfo& info)
{
    F_ASSERT(fp, "fp");
    info = FWAVStreamInfo{};
    info.fields.format = 1;
    std::vector<uint8_t> unused;
    WAVReader reader(fp, info.fields, unused);
    reader.StreamTo(&blocks, &info);
    const bool accepted = reader.Read();
    info.refusal = reader.Reason();
    info.encodingRefused = reader.EncodingRefused();
    return accepted;
}

FDTDefineSound::FDTDefineSound(std::FILE* file, int codeBits) : characterID(DrawCharacterID())
{
    F_ASSERT(codeBits >= 2 && codeBits <= 5, "nBits >= 2 && nBits <= 5");
    if (!file) return;

    std::vector<uint8_t> samples;
    if (!ReadWAV(file, fields, samples, &refusal)) {
        // A refused file is the empty sound: nothing half filled.
        fields = FSoundFormat{};
        return;
    }
    Encode(samples.data(), codeBits);
}

FDTDefineSound::FDTDefineSound(uint8_t rate, uint8_t size, uint8_t type, uint32_t sampleCount,
                               const void* samples, uint32_t /*dataSize*/, int codeBits)
    : characterID(DrawCharacterID())
{
    F_ASSERT(codeBits >= 2 && codeBits <= 5, "nBits >= 2 && nBits <= 5");
    F_ASSERT(rate <= 3 && size <= 1 && type <= 1, "rate <= 3 && size <= 1 && type <= 1");
    F_ASSERT(samples != nullptr || sampleCount == 0, "samples != nullptr || sampleCount == 0");
    fields.format = 1;
    fields.rate = rate;
    fields.size = size;
    fields.type = type;
    fields.sampleCount = sampleCount;
    Encode(samples, codeBits);
}

FDTDefineSound::FDTDefineSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount,
                               std::vector<uint8_t> encoded)
    : characterID(DrawCharacterID()), soundData(std::move(encoded))
{
    F_ASSERT(format <= 15 && rate <= 3, "format <= 15 && rate <= 3");
    // ADPCM data opens with its code size (2 bits, code size - 2), which
    // with the frame count fixes its length. No frames, no data.
    const int codeBits = soundData.empty() ? 2 : (soundData[0] >> 6) + 2;
    F_ASSERT(format != 1 || soundData.size() == FADPCMEncoder::EncodedSize(sampleCount, stereo ? 2 : 1, codeBits),
             "encoded.size() == ADPCM size of sampleCount frames");
    fields.format = format;
    fields.rate = rate;
    fields.size = 1;
    fields.type = stereo ? 1 : 0;
    fields.sampleCount = sampleCount;
}

FDTDefineSound::FDTDefineSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount,
                               FSWFFileRegion encoded)
    : characterID(DrawCharacterID())
{
    F_ASSERT(format <= 15 && rate <= 3, "format <= 15 && rate <= 3");
    const uint32_t channels = stereo ? 2 : 1;
    const auto size = static_cast<uint64_t>(std::max(encoded.size, 0));
    bool fits = format != 1;
    for (int codeBits = 2; codeBits <= 5 && !fits; ++codeBits)
        fits = size == FADPCMEncoder::EncodedSize(sampleCount, channels, codeBits);
    F_ASSERT(fits, "encoded.size() == ADPCM size of sampleCount frames");
    fields.format = format;
    fields.rate = rate;
    fields.size = 1;
    fields.type = stereo ? 1 : 0;
    fields.sampleCount = sampleCount;
    if (size > 0) soundRegion = std::move(encoded);
}

void FDTDefineSound::Encode(const void* samples, int codeBits)
{
    soundData.clear();
    // No frames, no data: a zero-size deferred block cannot be written.
    if (fields.sampleCount == 0) return;

    const uint64_t channels = fields.type + 1u;
    const uint64_t bits = 2 + uint64_t{fields.sampleCount} * channels * static_cast<uint64_t>(codeBits) +
                          (uint64_t{fields.sampleCount} / FADPCMEncoder::kPacketFrames + 1) * channels * 22;
    soundData.reserve(static_cast<size_t>(bits / 8 + 1));

    FADPCMEncoder encoder(fields.Code(), codeBits);
    encoder.Compress(samples, fields.sampleCount, soundData);
    encoder.Flush(soundData);
}

void FDTDefineSound::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteBits(fields.format, 4);
    body.WriteBits(fields.rate, 2);
    body.WriteBits(fields.size, 1);
    body.WriteBits(fields.type, 1);
    body.WriteDWord(fields.sampleCount);
    if (!soundData.empty()) {
        F_ASSERT(soundData.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max()),
                 "soundData.size() <= 0x7FFFFFFF");
        body.AppendData(soundData.data(), static_cast<int32_t>(soundData.size()));
    }
    if (soundRegion) body.AppendFileRegion(*soundRegion);
    stream.AppendTag(FTagCode::DefineSound, body.Size(), &body);
}

FDTSoundStreamHead::FDTSoundStreamHead(uint8_t playbackFormat, uint8_t streamType, uint32_t streamSampleCount)
    : FDTSoundStreamHead(playbackFormat, 0, streamType, streamSampleCount)
{
}

FDTSoundStreamHead::FDTSoundStreamHead(uint8_t playbackFormat, uint8_t streamRate, uint8_t streamType,
                                       uint32_t streamSampleCount)
    : playbackFormat(playbackFormat),
      streamRate(streamRate),
      streamType(streamType),
      streamSampleCount(static_cast<uint16_t>(streamSampleCount))
{
    F_ASSERT(streamRate <= 3, "streamRate <= 3");
}

namespace {

// The body of either stream head: SoundStreamHead's is SoundStreamHead2's
// with the compression and the sample size fixed.
void WriteStreamHead(FSWFStream& stream, FTagCode code, uint8_t playbackFormat, uint8_t compression, uint8_t rate,
                     uint8_t size, uint8_t type, uint16_t sampleCount)
{
    FSWFStream body;
    body.WriteByte(playbackFormat);
    body.WriteBits(compression, 4);
    body.WriteBits(rate, 2);
    body.WriteBits(size, 1);
    body.WriteBits(type, 1);
    body.WriteWord(sampleCount);
    stream.AppendTag(code, body.Size(), &body);
}

constexpr uint8_t kADPCM = 1;
constexpr uint8_t kSixteenBit = 1;

}  // namespace

void FDTSoundStreamHead::Write(FSWFStream& stream)
{
    WriteStreamHead(stream, FTagCode::SoundStreamHead, playbackFormat, kADPCM, streamRate, kSixteenBit, streamType,
                    streamSampleCount);
}

FDTSoundStreamHead2::FDTSoundStreamHead2(uint8_t playbackFormat, uint8_t streamCompression, uint8_t streamSize,
                                         uint8_t streamType, uint32_t streamSampleCount)
    : FDTSoundStreamHead2(playbackFormat, streamCompression, 0, streamSize, streamType, streamSampleCount)
{
}

FDTSoundStreamHead2::FDTSoundStreamHead2(uint8_t playbackFormat, uint8_t streamCompression, uint8_t streamRate,
                                         uint8_t streamSize, uint8_t streamType, uint32_t streamSampleCount)
    : playbackFormat(playbackFormat),
      streamCompression(streamCompression),
      streamRate(streamRate),
      streamSize(streamSize),
      streamType(streamType),
      streamSampleCount(static_cast<uint16_t>(streamSampleCount))
{
    F_ASSERT(streamRate <= 3, "streamRate <= 3");
}

void FDTSoundStreamHead2::Write(FSWFStream& stream)
{
    WriteStreamHead(stream, FTagCode::SoundStreamHead2, playbackFormat, streamCompression, streamRate, streamSize,
                    streamType, streamSampleCount);
}

FDTSoundStreamBlock::FDTSoundStreamBlock(uint32_t size, const uint8_t* data) : size(size), data(data)
{
    F_ASSERT(size <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()), "size <= 0x7FFFFFFF");
    F_ASSERT(data != nullptr || size == 0, "data != nullptr || size == 0");
}

void FDTSoundStreamBlock::Write(FSWFStream& stream)
{
    FSWFStream body;
    // An empty block has an empty body: a zero-size deferred block cannot be written.
    if (size > 0) body.AppendData(data, static_cast<int32_t>(size));
    stream.AppendTag(FTagCode::SoundStreamBlock, body.Size(), &body);
}
