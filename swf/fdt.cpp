#include "swf/fdt.h"

#include "base/fassert.h"

#include <utility>

uint16_t FDT::ID() const
{
    FAssertionFailed("0", __FILE__, __LINE__);
}

namespace {
// The ID lent to this thread's next define tag, if any.
struct LentID {
    bool lent = false;
    uint16_t id = 0;
    uint32_t epoch = 0;
};
thread_local LentID lentID;
}  // namespace

uint16_t FDT::DrawCharacterID()
{
    if (lentID.lent) {
        lentID.lent = false;
        idEpoch = lentID.epoch;
        return lentID.id;
    }
    idEpoch = FCharacterIDEpoch();
    return NextCharacterID();
}

FLentCharacterID::FLentCharacterID(const FDT& from)
{
    F_ASSERT(!lentID.lent, "!lentID.lent (one loan at a time)");
    F_ASSERT(from.IDEpoch().has_value(), "from.IDEpoch().has_value()");
    lentID = LentID{true, from.ID(), *from.IDEpoch()};
}

FLentCharacterID::~FLentCharacterID()
{
    lentID = LentID{};
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
