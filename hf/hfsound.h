#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfobject.h"
#include "swf/fdtsounds.h"

// An event sound: added to a frame it defines its sound (the first time) and
// starts it there. Never placed on the stage, so it gets no place tag.
//
// The sound is compressed when the object is built and takes its character ID
// then. The first frame that receives the object takes the DefineSound over;
// what the object reports about the sound stays valid after that.
class HFSound : public HFObject {
public:
    // Encodes an open RIFF WAVE file with `codeBits`-bit ADPCM codes (2 to 5),
    // printing the WAV reader's report. A null or refused file gives the
    // empty sound, which is still defined and started; see Refused.
    HFSound(std::FILE* file, int codeBits);
    // Encodes samples in memory, interleaved by channel (16-bit signed when
    // `size` is 1, 8-bit unsigned when 0); they are borrowed for the
    // constructor only and `dataSize` is unused.
    HFSound(uint8_t rate, uint8_t size, uint8_t type, uint32_t sampleCount, const void* samples,
            uint32_t dataSize, int codeBits);
    // Takes over sound data encoded elsewhere, as FDTDefineSound does:
    // `sampleCount` frames of 16-bit samples at the rate code's rate.
    HFSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, std::vector<uint8_t> encoded);
    // The same with the encoded data in a file region, read when the movie is written.
    HFSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, FSWFFileRegion encoded);
    ~HFSound() override;

    // First time: SoundStreamHead and DefineSound. Every time: a StartSound
    // that does not restart the sound while it plays.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

    const FSoundFormat& Format() const { return format; }
    // Whether the WAV reader refused the file, and why.
    bool Refused() const { return !refusal.empty(); }
    const std::string& Refusal() const { return refusal; }

private:
    explicit HFSound(std::unique_ptr<FDTDefineSound> sound);

    std::unique_ptr<FDTDefineSound> sound;  // until a frame takes it over
    FSoundFormat format;
    std::string refusal;
};
