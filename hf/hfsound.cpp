#include "hf/hfsound.h"

#include <utility>

#include "hf/hfmovie.h"
#include "swf/fct.h"
#include "swf/fsoundinfo.h"

namespace {

// Sync-no-multiple: a StartSound while the sound plays does not start it again.
constexpr uint32_t kSyncNoMultiple = 1;

}  // namespace

HFSound::HFSound(std::unique_ptr<FDTDefineSound> sound)
    : sound(std::move(sound)), format(this->sound->Format()), refusal(this->sound->Refusal())
{
    SetID(this->sound->ID());
}

HFSound::HFSound(std::FILE* file, int codeBits) : HFSound(std::make_unique<FDTDefineSound>(file, codeBits)) {}

HFSound::HFSound(uint8_t rate, uint8_t size, uint8_t type, uint32_t sampleCount, const void* samples,
                 uint32_t dataSize, int codeBits)
    : HFSound(std::make_unique<FDTDefineSound>(rate, size, type, sampleCount, samples, dataSize, codeBits))
{
}

HFSound::HFSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, std::vector<uint8_t> encoded)
    : HFSound(std::make_unique<FDTDefineSound>(format, rate, stereo, sampleCount, std::move(encoded)))
{
}

HFSound::HFSound(uint8_t format, uint8_t rate, bool stereo, uint32_t sampleCount, FSWFFileRegion encoded)
    : HFSound(std::make_unique<FDTDefineSound>(format, rate, stereo, sampleCount, std::move(encoded)))
{
}

HFSound::~HFSound() = default;

void HFSound::AddToFrame(HFFrame& frame, HFMovie& /*movie*/)
{
    if (!defined) {
        // The head's stream rate code stays 0: no stream blocks follow an
        // event sound, and players read the bytes as always written.
        frame.Tags().push_back(std::make_unique<FDTSoundStreamHead>(format.Code(), format.type, format.sampleCount));
        frame.Tags().push_back(std::move(sound));
        defined = true;
    }
    FSoundInfo info(kSyncNoMultiple, false, false, false, false, 0, 0, 0, 0, std::nullopt);
    frame.Tags().push_back(std::make_unique<FCTStartSound>(static_cast<uint16_t>(ID()), std::move(info)));
}
