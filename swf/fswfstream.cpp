#include "swf/fswfstream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/fassert.h"
#include "base/fatomicfile.h"
#include "swf/fdt.h"
#include "swf/ffileregion.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

void FSWFStream::CompleteCurrentByte()
{
    buffer.push_back(currentByte);
    currentByte = 0;
    bitsLeft = 8;
}

namespace {
// A value fits a field of `size` bits when it fits as unsigned, or when it is
// negative and its magnitude fits (two's complement in the field's low bits).
bool FitsField(uint32_t data, uint32_t size)
{
    const uint64_t fieldMax = (uint64_t{1} << size) - 1;
    const int64_t asSigned = static_cast<int32_t>(data);
    return data <= fieldMax || (asSigned < 0 && -asSigned <= static_cast<int64_t>(fieldMax));
}
}  // namespace

void FSWFStream::WriteBits(uint32_t data, uint32_t size)
{
    F_ASSERT(size <= 32, "size <= 32");
    F_ASSERT(FitsField(data, size), "( data <= (0x01<<size) - 1 ) || ( -(S32)(data) <= (0x01<<size) - 1 )");
    const uint64_t fieldMax = (uint64_t{1} << size) - 1;

    if (size == 0) return;
    // The partial byte's bits, then the field's, in one word; whole bytes go
    // out from its top and the rest becomes the new partial byte.
    const uint32_t pending = 8 - bitsLeft;
    const uint64_t field = data & fieldMax;
    const uint64_t bits = (static_cast<uint64_t>(currentByte) >> bitsLeft << size) | field;
    uint32_t count = pending + size;
    while (count >= 8) {
        count -= 8;
        buffer.push_back(static_cast<uint8_t>(bits >> count));
    }
    currentByte = static_cast<uint8_t>((bits & ((1u << count) - 1)) << (8 - count));
    bitsLeft = 8 - count;
}

// Byte and word fields refuse what a bit field of their width refuses: a
// value cut to its low bits would be another value in the file.
void FSWFStream::WriteByte(uint32_t value)
{
    F_ASSERT(FitsField(value, 8), "( value <= 0xFF ) || ( -(S32)(value) <= 0xFF )");
    if (bitsLeft == 8) {
        buffer.push_back(static_cast<uint8_t>(value));
        return;
    }
    WriteBits(value & 0xFF, 8);
}

void FSWFStream::WriteWord(uint32_t value)
{
    F_ASSERT(FitsField(value, 16), "( value <= 0xFFFF ) || ( -(S32)(value) <= 0xFFFF )");
    WriteByte(value & 0xFF);
    WriteByte((value >> 8) & 0xFF);
}

void FSWFStream::WriteDWord(uint32_t value)
{
    WriteByte(value & 0xFF);
    WriteByte((value >> 8) & 0xFF);
    WriteByte((value >> 16) & 0xFF);
    WriteByte((value >> 24) & 0xFF);
}

void FSWFStream::FlushBits()
{
    if (bitsLeft != 8) CompleteCurrentByte();
}

void FSWFStream::AppendData(const uint8_t* data, int32_t size)
{
    // Block positions are byte indices: a block recorded mid-byte would land
    // in the wrong place.
    F_ASSERT(bitsLeft == 8, "bitsLeft == 8");
    deferredBlocks.push_back({ByteCount(), data, size});
}

void FSWFStream::AppendFileRegion(const FSWFFileRegion& region)
{
    F_ASSERT(bitsLeft == 8, "bitsLeft == 8");
    F_ASSERT(region.offset + static_cast<uint64_t>(std::max(region.size, 0)) <= region.fileSize,
             "region.offset + region.size <= region.fileSize");
    deferredBlocks.push_back({ByteCount(), nullptr, region.size, &region});
}

uint32_t FSWFStream::Size() const
{
    uint64_t size = buffer.size();
    for (const FSWFDeferredBlock& block : deferredBlocks) size += static_cast<uint32_t>(block.size);
    F_ASSERT(size <= std::numeric_limits<uint32_t>::max(), "size <= 0xFFFFFFFF");
    return static_cast<uint32_t>(size);
}

uint32_t FSWFStream::Append(FSWFStream& other)
{
    // Copies other's bytes [from, to) as if written one byte at a time.
    auto copyBytes = [&](uint32_t from, uint32_t to) {
        if (from >= to) return;
        if (bitsLeft == 8) {
            buffer.insert(buffer.end(), other.buffer.begin() + from, other.buffer.begin() + to);
        } else {
            for (uint32_t i = from; i < to; ++i) WriteBits(other.buffer[i], 8);
        }
    };

    uint32_t i = 0;
    for (const FSWFDeferredBlock& block : other.deferredBlocks) {
        const uint32_t upTo = std::min(block.position, other.ByteCount());
        copyBytes(i, upTo);
        i = std::max(i, upTo);
        F_ASSERT(bitsLeft == 8, "bitsLeft == 8");
        deferredBlocks.push_back({ByteCount(), block.data, block.size, block.region});
    }
    other.deferredBlocks.clear();
    copyBytes(i, other.ByteCount());
    return other.ByteCount();
}

void FSWFStream::AppendTag(FTagCode code, uint32_t length, FSWFStream* body)
{
    if (length <= 62) {
        WriteWord(((static_cast<uint32_t>(code) << 6) | length) & 0xFFFF);
        if (body) Append(*body);
        return;
    }
    AppendLongTag(code, length, body);
}

void FSWFStream::AppendLongTag(FTagCode code, uint32_t length, FSWFStream* body)
{
    WriteWord(((static_cast<uint32_t>(code) << 6) | 63) & 0xFFFF);
    WriteDWord(length);
    if (body) Append(*body);
}

namespace {
// Where a region must be read into memory, it passes through a buffer of this size.
constexpr size_t kReadBufferSize = 64 * 1024;
}  // namespace

void FSWFStream::Clear()
{
    F_ASSERT(bitsLeft == 8, "bitsLeft == 8");
    buffer.clear();
    deferredBlocks.clear();
}

template <typename PutBytes, typename CopyRegion>
bool FSWFStream::SpliceOut(PutBytes&& put, CopyRegion&& copy)
{
    uint32_t currentStreamPos = 0;
    bool copied = true;
    for (const FSWFDeferredBlock& block : deferredBlocks) {
        const uint32_t currentDataPosition = block.position;
        const int32_t currentDataSize = block.size;
        F_ASSERT(currentDataPosition >= currentStreamPos, "currentDataPosition >= currentStreamPos");
        put(buffer.data() + currentStreamPos, currentDataPosition - currentStreamPos);
        currentStreamPos = currentDataPosition;
        F_ASSERT(currentDataSize > 0, "currentDataSize > 0");
        if (block.region) {
            copied = copy(*block.region);
            if (!copied) break;
        } else {
            put(block.data, static_cast<size_t>(currentDataSize));
        }
    }
    // Written blocks are consumed: a second write gives the plain bytes only.
    deferredBlocks.clear();
    if (copied) put(buffer.data() + currentStreamPos, ByteCount() - currentStreamPos);
    return copied;
}

bool FSWFStream::WriteToFile(std::FILE* file, std::string* error)
{
    bool written = true;
    auto put = [&](const uint8_t* bytes, size_t count) {
        if (written && count > 0 && std::fwrite(bytes, 1, count, file) != count) {
            written = false;
            if (error) *error = std::string("write failed: ") + std::strerror(errno);
        }
        return written;
    };
    std::vector<uint8_t> copyBuffer;
    const bool copied = SpliceOut(put, [&](const FSWFFileRegion& region) {
        copyBuffer.resize(kReadBufferSize);
        return written && FReadFileRegion(region, copyBuffer.data(), copyBuffer.size(), put, written ? error : nullptr);
    });
    return copied && written;
}

bool FSWFStream::WriteToMemory(uint8_t* destination, std::string* error)
{
    auto put = [&](const uint8_t* bytes, size_t count) {
        if (count > 0) std::memcpy(destination, bytes, count);  // an empty buffer has no data pointer
        destination += count;
        return true;
    };
    std::vector<uint8_t> copyBuffer;
    return SpliceOut(put, [&](const FSWFFileRegion& region) {
        copyBuffer.resize(kReadBufferSize);
        return FReadFileRegion(region, copyBuffer.data(), copyBuffer.size(), put, error);
    });
}

#ifndef _WIN32
namespace {
// Writes the gathered pieces whole, through short writes and interruptions.
bool WriteGathered(int descriptor, iovec* pieces, int count, std::string* error)
{
    while (count > 0) {
        const ssize_t written = writev(descriptor, pieces, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (error) *error = std::string("write failed: ") + std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        auto left = static_cast<size_t>(written);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<uint8_t*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}
}  // namespace

bool FSWFStream::WriteToDescriptor(int descriptor, std::string* error)
{
    // The pieces point into this stream and the callers' blocks, which stay
    // put until the write is over: no copy into a buffer of our own.
    constexpr int kMaxPieces = 64;
    iovec pieces[kMaxPieces];
    int count = 0;
    bool written = true;
    // Small regions (a slide's JPEG) are read into this buffer and go out with
    // the tags around them in one gathered write: a read and a write a
    // megabyte cost less than a kernel copy a region, which on some file
    // systems (ext4) writes through the page cache a buffer head at a time.
    // Larger regions are still copied by the kernel, which may share their blocks.
    constexpr size_t kStagingSize = 1 << 20;
    std::vector<uint8_t> staging;
    size_t staged = 0;
    auto flush = [&] {
        if (written && count > 0) written = WriteGathered(descriptor, pieces, count, error);
        count = 0;
        staged = 0;  // the pieces that pointed into it are written
        return written;
    };
    auto put = [&](const uint8_t* bytes, size_t size) {
        if (size == 0 || !written) return written;
        if (count == kMaxPieces && !flush()) return false;
        pieces[count++] = iovec{const_cast<uint8_t*>(bytes), size};
        return true;
    };
    const bool copied = SpliceOut(put, [&](const FSWFFileRegion& region) {
        const auto size = static_cast<size_t>(region.size);
        if (size > kStagingSize) return flush() && FCopyFileRegionToDescriptor(region, descriptor, error);
        if ((staged + size > kStagingSize || count == kMaxPieces) && !flush()) return false;
        if (staging.empty()) staging.resize(kStagingSize);
        uint8_t* const destination = staging.data() + staged;
        if (!FReadFileRegionInto(region, destination, error)) return false;
        staged += size;
        return put(destination, size);
    });
    return copied && flush();
}
#else
bool FSWFStream::WriteToDescriptor(int descriptor, std::string* error)
{
    // No gathered writes here: each piece goes out by itself, a region
    // through a buffer.
    bool written = true;
    auto put = [&](const uint8_t* bytes, size_t size) {
        if (written && size > 0) written = FWriteAllToDescriptor(descriptor, bytes, size, error);
        return written;
    };
    std::vector<uint8_t> copyBuffer;
    const bool copied = SpliceOut(put, [&](const FSWFFileRegion& region) {
        copyBuffer.resize(kReadBufferSize);
        return written && FReadFileRegion(region, copyBuffer.data(), copyBuffer.size(), put, error);
    });
    return copied && written;
}
#endif

void FCTShowFrame::Write(FSWFStream& stream)
{
    stream.AppendTag(FTagCode::ShowFrame, 0, nullptr);
}

void FTagRawData::Write(FSWFStream& stream)
{
    stream.AppendData(data, size);
}

namespace {
uint16_t characterIDCounter = 0;
uint32_t characterIDEpoch = 0;
uint16_t characterIDLimit = 0;  // 0: none
}

uint16_t NextCharacterID()
{
    if (characterIDLimit != 0 && characterIDCounter >= characterIDLimit) throw FCharacterIDLimitReached();
    // Wrapping to 0 would give two characters one ID (and 0 is no character).
    F_ASSERT(characterIDCounter < 0xFFFF, "characterID < 0xFFFF (a movie holds at most 65535 characters)");
    return ++characterIDCounter;
}

uint16_t FLastCharacterID()
{
    return characterIDCounter;
}

void FResetCharacterID()
{
    characterIDCounter = 0;
    characterIDLimit = 0;
    ++characterIDEpoch;
}

void FGiveBackCharacterIDs(uint16_t last)
{
    F_ASSERT(last <= characterIDCounter, "last <= characterIDCounter");
    characterIDCounter = last;
}

uint32_t FCharacterIDEpoch()
{
    return characterIDEpoch;
}

void FSetCharacterIDLimit(uint16_t last)
{
    characterIDLimit = last;
}

uint32_t BitsNeeded(uint32_t value, uint32_t sign)
{
    if (value == 0) return sign;
    uint32_t i = 33;  // values of 2^31 and above
    if (value < 0x80000000u) {
        i = 1;
        while ((value >> i) != 0) ++i;
    }
    F_ASSERT(sign + i <= 32, "sign + i <= 32");
    return sign + i;
}

int32_t MaxAbs4(int32_t a, int32_t b, int32_t c, int32_t d)
{
    auto magnitude = [](int32_t v) {
        return std::min<int64_t>(std::llabs(int64_t{v}), std::numeric_limits<int32_t>::max());
    };
    return static_cast<int32_t>(std::max({magnitude(a), magnitude(b), magnitude(c), magnitude(d)}));
}

void FSWFFile::AddTag(std::unique_ptr<FTag> tag)
{
    if (tag->IsShowFrame()) ++frameCount;
    if (const auto* define = dynamic_cast<const FDT*>(tag.get()); define && define->IDEpoch())
        oldestIDEpoch = std::min(oldestIDEpoch, *define->IDEpoch());
    tags.push_back(std::move(tag));
}

void FSWFFile::CheckCharacterEpoch() const
{
    // A tag from before the last reset has an ID the counter has handed out
    // again: the file would define two characters under one ID.
    F_ASSERT(oldestIDEpoch >= FCharacterIDEpoch(),
             "oldestIDEpoch >= FCharacterIDEpoch() (one movie at a time: another movie was written "
             "while this one was built)");
}

void FSWFFile::WriteTags(FSWFStream& stream)
{
    CheckCharacterEpoch();
    for (const std::unique_ptr<FTag>& tag : tags) tag->Write(stream);
}

namespace {
void CheckFrameCount(uint32_t frameCount)
{
    F_ASSERT(frameCount <= 0xFFFF, "frameCount <= 0xFFFF (the header counts frames in 16 bits)");
}

// The frame rectangle's field width: 15 bits as SWF writers have always used,
// wider when a size needs more (readers take the fields as signed).
uint32_t FrameRectBits(int32_t width, int32_t height)
{
    return std::max<uint32_t>(15, BitsNeeded(static_cast<uint32_t>(MaxAbs4(0, width, 0, height)), 1));
}
}  // namespace

uint32_t FSWFFile::HeaderSize(int32_t width, int32_t height)
{
    const uint32_t rectBits = 5 + 4 * FrameRectBits(width, height);
    return 8 + (rectBits + 7) / 8 + 4;
}

void FSWFFile::WriteHeader(FSWFStream& header, uint32_t fileLength, int32_t width, int32_t height,
                           uint32_t frameRate, uint32_t frameCount)
{
    CheckFrameCount(frameCount);
    const uint32_t bits = FrameRectBits(width, height);
    header.WriteByte(0x46);  // 'F'
    header.WriteByte(0x57);  // 'W'
    header.WriteByte(0x53);  // 'S'
    header.WriteByte(4);     // version
    header.WriteDWord(fileLength);
    header.WriteBits(bits, 5);
    header.WriteBits(0, bits);
    header.WriteBits(static_cast<uint32_t>(width), bits);
    header.WriteBits(0, bits);
    header.WriteBits(static_cast<uint32_t>(height), bits);
    header.FlushBits();
    header.WriteByte(0);  // frame rate, fraction
    header.WriteByte(frameRate);
    header.WriteWord(frameCount);
}

void FSWFFile::WriteBody(FSWFStream& stream, int32_t width, int32_t height, uint32_t frameRate)
{
    CheckFrameCount(frameCount);
    // The header's length field needs the whole file: leave room, fill it in last.
    const uint32_t headerStart = stream.ByteCount();
    const uint32_t headerSize = HeaderSize(width, height);
    for (uint32_t i = 0; i < headerSize; ++i) stream.WriteByte(0);
    WriteTagsAndEnd(stream);

    FSWFStream header;
    WriteHeader(header, stream.Size(), width, height, frameRate, frameCount);
    std::memcpy(stream.Buffer() + headerStart, header.Buffer(), headerSize);
}

void FSWFFile::WriteTagsAndEnd(FSWFStream& stream)
{
    WriteTags(stream);
    stream.AppendTag(FTagCode::End, 0, nullptr);
    FResetCharacterID();
}

namespace {
void SetError(std::string* error, const std::string& what)
{
    if (error) *error = what + ": " + std::strerror(errno);
}
}  // namespace

namespace {
// The tags go out whenever this many small bytes or blocks have gathered.
constexpr uint32_t kPartBytes = 64 * 1024;
constexpr size_t kPartBlocks = 64;
constexpr uint64_t kLargestFile = 0xFFFFFFFF;  // the header's length field
}  // namespace

bool FSWFFile::WriteToDescriptor(int descriptor, int32_t width, int32_t height, uint32_t frameRate,
                                 std::string* error)
{
    // The header needs the file's length, known only at the end: its room is
    // left empty and filled in last.
    const uint32_t headerSize = HeaderSize(width, height);
#ifdef _WIN32
    if (_lseeki64(descriptor, headerSize, SEEK_SET) < 0) {
#else
    if (lseek(descriptor, headerSize, SEEK_SET) < 0) {
#endif
        SetError(error, "write failed");
        return false;
    }
    uint64_t length = headerSize;
    FSWFStream part;
    auto writePart = [&] {
        uint64_t size = part.ByteCount();
        for (const FSWFDeferredBlock& block : part.DeferredBlocks()) size += static_cast<uint32_t>(block.size);
        if (length + size > kLargestFile) {
            if (error) {
                *error = "the movie would be longer than " + std::to_string(kLargestFile) +
                         " bytes, the most a SWF header can give";
            }
            return false;
        }
        length += size;
        if (!part.WriteToDescriptor(descriptor, error)) return false;
        part.Clear();
        return true;
    };

    bool ok = true;
    for (const std::unique_ptr<FTag>& tag : tags) {
        tag->Write(part);
        if ((part.ByteCount() >= kPartBytes || part.DeferredBlocks().size() >= kPartBlocks) && !writePart()) {
            ok = false;
            break;
        }
    }
    if (ok) {
        part.AppendTag(FTagCode::End, 0, nullptr);
        ok = writePart();
    }
    FResetCharacterID();
    if (!ok) return false;

    FSWFStream header;
    WriteHeader(header, static_cast<uint32_t>(length), width, height, frameRate, frameCount);
    return FWriteAllToDescriptorAt(descriptor, header.Buffer(), header.ByteCount(), 0, error);
}

bool FSWFFile::WriteFile(const std::string& fileName, int32_t width, int32_t height,
                         uint32_t frameRate, std::string* error)
{
    // Checked before a temporary file is made, so that none is left behind.
    CheckCharacterEpoch();
    CheckFrameCount(frameCount);
    FAtomicFile file;
    if (!file.Open(fileName, error)) {
        FResetCharacterID();
        return false;
    }
    return WriteToDescriptor(file.Descriptor(), width, height, frameRate, error) && file.Commit(error);
}
