#include "swf/fdt.h"

#include "base/fassert.h"

uint16_t FDT::ID() const
{
    FAssertionFailed("0", __FILE__, __LINE__);
}

uint16_t FDT::DrawCharacterID()
{
    idEpoch = CharacterIDEpoch();
    return NextCharacterID();
}
