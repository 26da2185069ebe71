#include "swf/fdt.h"

#include "base/fassert.h"

#include <utility>

uint16_t FDT::ID() const
{
    FAssertionFailed("0", __FILE__, __LINE__);
}

uint16_t FDT::DrawCharacterID()
{
    idEpoch = FCharacterIDEpoch();
    return NextCharacterID();
}

FDTWritten::FDTWritten(const FDT& tag, std::vector<uint8_t> bytes) : id(tag.ID()), bytes(std::move(bytes))
{
    TakeIDEpoch(tag);
}

std::unique_ptr<FDTWritten> FDTWritten::From(FDT& tag)
{
    if (!tag.IDEpoch()) return nullptr;
    FSWFStream written;
    tag.Write(written);
    if (!written.DeferredBlocks().empty() || !written.IsAligned()) return nullptr;
    std::vector<uint8_t> bytes(written.Buffer(), written.Buffer() + written.ByteCount());
    return std::make_unique<FDTWritten>(tag, std::move(bytes));
}

void FDTWritten::Write(FSWFStream& stream)
{
    for (const uint8_t byte : bytes) stream.WriteByte(byte);
}
