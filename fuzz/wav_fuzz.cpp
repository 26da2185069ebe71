// The WAV reader on arbitrary bytes, then the event sound built from the same
// file (ADPCM encoding, resampling) and written as a tag. A file is either
// refused with a reason or gives a consistent format and whole sample frames.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "swf/fdtsounds.h"
#include "swf/fswfstream.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A read-only file over the input bytes (fmemopen refuses an empty buffer;
// /dev/null is an empty file that can seek and tell).
std::FILE* OpenBytes(const uint8_t* data, size_t size)
{
    if (size == 0) return std::fopen("/dev/null", "rb");
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's chunk report goes to standard output.
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<std::FILE, FileCloser> file(OpenBytes(data, size));
    if (!file) return 0;

    FSoundFormat fields;
    std::vector<uint8_t> samples;
    std::string refusal;
    const bool accepted = FDTDefineSound::ReadWAV(file.get(), fields, samples, &refusal);
    if (accepted != refusal.empty()) __builtin_trap();
    if (!accepted) {
        if (!samples.empty()) __builtin_trap();
    } else {
        if (fields.format != 1 || fields.rate > 3 || fields.size > 1 || fields.type > 1) __builtin_trap();
        const size_t frameBytes = (fields.size + 1u) * (fields.type + 1u);
        if (samples.size() != size_t{fields.sampleCount} * frameBytes) __builtin_trap();
    }

    // The same file through the tag: ReadWAV reads from the current position.
    std::rewind(file.get());
    FResetCharacterID();
    FDTDefineSound sound(file.get(), 2 + static_cast<int>(size % 4));
    if (sound.Refused() != !accepted || sound.SampleCount() != (accepted ? fields.sampleCount : 0)) __builtin_trap();
    FSWFStream stream;
    sound.Write(stream);
    std::vector<uint8_t> bytes(stream.Size());
    stream.WriteToMemory(bytes.data());
    return 0;
}
