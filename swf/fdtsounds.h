#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "swf/fdt.h"

// The sound-format fields of an event sound, in SWF terms.
struct FSoundFormat {
    uint8_t format = 0;  // 4 bits: 1 = ADPCM, the only format the library writes
    uint8_t rate = 0;    // 2 bits: 0 = 5512.5 Hz, 1 = 11025 Hz, 2 = 22050 Hz, 3 = 44100 Hz
    uint8_t size = 0;    // 1 bit: 0 = 8-bit, 1 = 16-bit samples
    uint8_t type = 0;    // 1 bit: 0 = mono, 1 = stereo
    uint32_t sampleCount = 0;  // sample frames (per channel)

    // Rate code x 4 + size x 2 + type, as the ADPCM encoder takes it.
    uint8_t Code() const { return static_cast<uint8_t>(rate * 4 + size * 2 + type); }
};

// Receives a WAV file's samples as they are read: `frames` whole frames,
// 16-bit signed in native byte order or 8-bit unsigned, interleaved.
using FWAVBlockSink = std::function<void(const uint8_t* samples, uint32_t frames)>;

// What a block-by-block read of a WAV file found.
struct FWAVStreamInfo {
    FSoundFormat fields;      // as ReadWAV fills them; the sample count of the frames handed over
    // The file's own rate (blocks are not resampled) and channel count, set
    // as soon as the format chunk gives them, so before the first block.
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    // The frames the data chunk holds by its size, also set before the first
    // block; 0 when its size is unknown (to the end of the file).
    uint64_t dataFrames = 0;
    std::string report;       // the reader's report, the lines ReadWAV prints
    std::string refusal;      // why the file was refused; empty when accepted
    // Refused for its rate, sample format or channel count (another decoder
    // may read it), rather than for being no WAV file or a broken one.
    bool encodingRefused = false;
};

// DefineSound (tag 14): a whole event sound, compressed to ADPCM when the tag
// is built. The tag owns the compressed bytes and hands them to the stream as
// a deferred block, so it must live until the movie has been written.
// An empty sound (no file, a refused file) has all fields zero and no data.
class FDTDefineSound : public FDT {
public:
    // Encodes an open RIFF WAVE file with `codeBits`-bit codes (2 to 5),
    // printing the reader's report. A null file gives the empty sound, as does
    // a file the reader refuses (see Refusal).
    FDTDefineSound(std::FILE* file, int codeBits);

    // Encodes `sampleCount` frames from memory, interleaved by channel: 16-bit
    // signed in native byte order when `size` is 1, 8-bit unsigned when 0.
    // The samples are borrowed for the constructor only; `dataSize` is unused.
    FDTDefineSound(uint8_t rate, uint8_t size, uint8_t type, uint32_t sampleCount, const void* samples,
                   uint32_t dataSize, int codeBits);

    // Takes over sound data encoded elsewhere (format 1, ADPCM, is the one the
    // library writes): `sampleCount` frames at the rate code's rate, of
    // 16-bit samples, mono or stereo. ADPCM data must be as long as the
    // encoder makes it for that many frames.
    FDTDefineSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, std::vector<uint8_t> encoded);
    // The same with the encoded data in a file region, read only when the
    // movie is written (a long sound need never be in memory). ADPCM data
    // must be as long as some code size (2 to 5) makes it.
    FDTDefineSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, FSWFFileRegion encoded);

    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

    const FSoundFormat& Format() const { return fields; }
    uint8_t FormatCode() const { return fields.Code(); }
    uint32_t SampleCount() const { return fields.sampleCount; }
    const std::vector<uint8_t>& SoundData() const { return soundData; }

    // Why the WAV file was refused; empty when it was accepted (or none given).
    bool Refused() const { return !refusal.empty(); }
    const std::string& Refusal() const { return refusal; }

    // Reads a RIFF WAVE file of 8- or 16-bit PCM, mono or stereo, from the
    // file's current position, printing a report of its chunks on standard
    // output. Fills `fields` (format 1 first) and `samples` (the data chunk,
    // 16-bit samples in native byte order; resampled to the rate code's rate
    // when the file's rate is more than 1 % off it). Returns false when the
    // file is refused; `refusal` (when given) then says why and `samples` is
    // emptied. A null file stops on "fp".
    static bool ReadWAV(std::FILE* fp, FSoundFormat& fields, std::vector<uint8_t>& samples,
                        std::string* refusal = nullptr);

    // As ReadWAV, but the data chunk goes to `blocks` piece by piece as it is
    // read, never held whole nor resampled, and the report is kept in `info`
    // rather than printed. Blocks handed over before a refusal (a truncated
    // data chunk) stay handed over.
    static bool ReadWAVBlocks(std::FILE* fp, const FWAVBlockSink& blocks, FWAVStreamInfo& info);

private:
    void Encode(const void* samples, int codeBits);

    uint16_t characterID;
    FSoundFormat fields;
    std::vector<uint8_t> soundData;
    std::optional<FSWFFileRegion> soundRegion;  // the data, when it lies in a file
    std::string refusal;
};

// SoundStreamHead (tag 18): announces ADPCM stream blocks of 16-bit samples.
// Defines no character: ID() stops on "0".
class FDTSoundStreamHead : public FDT {
public:
    // The stream's rate code is 0 (5512.5 Hz).
    FDTSoundStreamHead(uint8_t playbackFormat, uint8_t streamType, uint32_t streamSampleCount);
    // The stream's rate code (0 to 3) given, so that streams of any rate play
    // at their speed.
    FDTSoundStreamHead(uint8_t playbackFormat, uint8_t streamRate, uint8_t streamType,
                       uint32_t streamSampleCount);

    void Write(FSWFStream& stream) override;

private:
    uint8_t playbackFormat;
    uint8_t streamRate;
    uint8_t streamType;
    uint16_t streamSampleCount;  // the low 16 bits of the count given
};

// SoundStreamHead2 (tag 45): like SoundStreamHead with the stream's
// compression and size chosen. Defines no character: ID() stops on "0".
class FDTSoundStreamHead2 : public FDT {
public:
    // The stream's rate code is 0 (5512.5 Hz).
    FDTSoundStreamHead2(uint8_t playbackFormat, uint8_t streamCompression, uint8_t streamSize,
                        uint8_t streamType, uint32_t streamSampleCount);
    // The stream's rate code (0 to 3) given.
    FDTSoundStreamHead2(uint8_t playbackFormat, uint8_t streamCompression, uint8_t streamRate,
                        uint8_t streamSize, uint8_t streamType, uint32_t streamSampleCount);

    void Write(FSWFStream& stream) override;

private:
    uint8_t playbackFormat;
    uint8_t streamCompression;
    uint8_t streamRate;
    uint8_t streamSize;
    uint8_t streamType;
    uint16_t streamSampleCount;  // the low 16 bits of the count given
};

// SoundStreamBlock (tag 19): one block of already compressed stream data,
// borrowed: it must stay valid until the movie has been written.
class FDTSoundStreamBlock : public FDT {
public:
    FDTSoundStreamBlock(uint32_t size, const uint8_t* data);

    void Write(FSWFStream& stream) override;

private:
    uint32_t size;
    const uint8_t* data;
};
