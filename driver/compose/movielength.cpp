#include "driver/compose/movielength.h"

#include <memory>

#include "hf/hfmovie.h"
#include "swf/fdt.h"
#include "swf/fswfstream.h"

namespace {

constexpr uint64_t kEndTagBytes = 2;
constexpr uint64_t kShowFrameBytes = 2;

}  // namespace

MovieLengthTally::MovieLengthTally(uint64_t limit, uint64_t otherBytes)
    : limit(limit), length(kEndTagBytes + otherBytes)
{
}

namespace {

// Writing a tag only records its payloads as deferred blocks: the bytes
// written here are the small ones.
uint64_t Written(const FSWFStream& scratch)
{
    uint64_t bytes = scratch.ByteCount();
    for (const FSWFDeferredBlock& block : scratch.DeferredBlocks()) bytes += static_cast<uint64_t>(block.size);
    return bytes;
}

}  // namespace

bool MovieLengthTally::AddFrame(HFFrame& frame)
{
    length += kShowFrameBytes;
    return AddTags(frame.Tags());
}

bool MovieLengthTally::AddTags(const std::vector<std::unique_ptr<FTag>>& tags)
{
    FSWFStream scratch;
    for (const std::unique_ptr<FTag>& tag : tags) tag->Write(scratch);
    length += Written(scratch);
    return length <= limit;
}

void KeepDefinitionsWritten(HFFrame& frame)
{
    for (std::unique_ptr<FTag>& tag : frame.Tags()) {
        auto* define = dynamic_cast<FDT*>(tag.get());
        if (!define || dynamic_cast<FDTWritten*>(define)) continue;
        if (std::unique_ptr<FDTWritten> written = FDTWritten::From(*define)) tag = std::move(written);
    }
}
