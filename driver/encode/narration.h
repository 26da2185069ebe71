#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "swf/ffileregion.h"

// A slide's recorded voice, decoded and compressed to the ADPCM an event
// sound carries (HFSound takes the result over).
//
// WAV files the library's own reader takes are read by it; everything else
// (FLAC, Ogg Vorbis, MP3, and WAV files the reader refuses for their rate,
// sample format or channel count) by libsndfile. Both feed one path: mixed
// down to the channels asked, resampled band-limited to the narration rate
// when the file's rate differs, and encoded as it is decoded, so no file's
// PCM is ever held whole.

struct NarrationSettings {
    uint32_t rate = 22050;  // 5512, 11025, 22050 or 44100
    bool stereo = false;    // keep two channels when the file has them
    int codeBits = 4;       // ADPCM code size, 2 to 5
};

// The SWF rate code (0 to 3) of a narration rate; -1 for any other rate.
int NarrationRateCode(uint32_t rate);

struct EncodedNarration {
    uint8_t rateCode = 0;
    bool stereo = false;
    uint32_t sampleCount = 0;  // frames at the narration rate
    // The ADPCM data, in an unnamed temporary file held open until the last
    // region naming it is gone: written there as it is made, so that no
    // narration's sound is held in memory, and copied into the movie when it
    // is written (HFSound takes the region).
    FSWFFileRegion adpcm;
    // The WAV reader's report, each line prefixed with the file's name; empty
    // for files libsndfile read. Printing it is the caller's, so that reports
    // of files decoded side by side come out in order.
    std::string report;
    // Warnings of the converter's own, one a line, each naming the file (a
    // file that decoded but ended before the length its header gives).
    std::string warnings;
};

// Decodes and encodes one file. Throws ConverterError (status 1) naming the
// file when it cannot be opened or decoded, is empty, has no channels or no
// samples, is damaged where its decoder reports an error, is too long for a
// sound (found from its header's length before any is encoded, when it gives
// one), or is a WAV file refused for its structure (with the reader's reason).
// The encoded sound waits in a temporary file in TMPDIR (else /tmp).
EncodedNarration EncodeNarration(const std::string& name, const NarrationSettings& settings);

// The samples the encoder would be given, mixed down and resampled: blocks
// of `frames` frames of `channels` interleaved 16-bit samples. For measuring
// the path before ADPCM; throws as EncodeNarration, returns the report.
using NarrationPcmSink = std::function<void(const int16_t* samples, size_t frames, uint32_t channels)>;
std::string DecodeNarrationPcm(const std::string& name, const NarrationSettings& settings,
                               const NarrationPcmSink& pcm);

// Encodes the files on `threads` threads (0: one per core), results in the
// order of the files. Each file's report is written to `report` and its
// warnings, prefixed with the program's name, to `warnings` (when given) in
// file order; when files fail, those of the files before the first failure
// are written and its error is thrown. A failure stops the files after it,
// running or not.
std::vector<EncodedNarration> EncodeNarrations(const std::vector<std::string>& names,
                                               const NarrationSettings& settings, unsigned threads = 0,
                                               std::FILE* report = stdout, std::FILE* warnings = stderr);
