#include "swf/fswfstream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "swf/fassert.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

void FSWFStream::CompleteCurrentByte()
{
    buffer.push_back(currentByte);
    currentByte = 0;
    bitsLeft = 8;
}

void FSWFStream::WriteBits(uint32_t data, uint32_t size)
{
    F_ASSERT(size <= 32, "size <= 32");
    const uint64_t fieldMax = (uint64_t{1} << size) - 1;
    const int64_t asSigned = static_cast<int32_t>(data);
    // A value fits when it fits as unsigned, or when it is negative and its
    // magnitude fits (two's complement in the field's low bits).
    F_ASSERT(data <= fieldMax || (asSigned < 0 && -asSigned <= static_cast<int64_t>(fieldMax)),
             "( data <= (0x01<<size) - 1 ) || ( -(S32)(data) <= (0x01<<size) - 1 )");

    while (size > 0) {
        if (size >= bitsLeft) {
            const uint32_t taken = (data >> (size - bitsLeft)) & ((1u << bitsLeft) - 1);
            currentByte = static_cast<uint8_t>(currentByte | taken);
            size -= bitsLeft;
            CompleteCurrentByte();
        } else {
            const uint32_t rest = data & ((1u << size) - 1);
            currentByte = static_cast<uint8_t>(currentByte | (rest << (bitsLeft - size)));
            bitsLeft -= size;
            size = 0;
        }
    }
}

void FSWFStream::WriteByte(uint32_t value)
{
    if (bitsLeft == 8) {
        buffer.push_back(static_cast<uint8_t>(value));
        return;
    }
    WriteBits(value & 0xFF, 8);
}

void FSWFStream::WriteWord(uint32_t value)
{
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
        AppendData(block.data, block.size);
    }
    other.deferredBlocks.clear();
    copyBytes(i, other.ByteCount());
    return other.ByteCount();
}

void FSWFStream::AppendTag(uint32_t code, uint32_t length, FSWFStream* body)
{
    if (length <= 62) {
        WriteWord((((code & 0xFFFF) << 6) | length) & 0xFFFF);
        if (body) Append(*body);
        return;
    }
    AppendLongTag(code, length, body);
}

void FSWFStream::AppendLongTag(uint32_t code, uint32_t length, FSWFStream* body)
{
    WriteWord((((code & 0xFFFF) << 6) | 63) & 0xFFFF);
    WriteDWord(length);
    if (body) Append(*body);
}

template <typename Sink>
void FSWFStream::SpliceOut(Sink&& put)
{
    uint32_t currentStreamPos = 0;
    for (const FSWFDeferredBlock& block : deferredBlocks) {
        const uint32_t currentDataPosition = block.position;
        const int32_t currentDataSize = block.size;
        F_ASSERT(currentDataPosition >= currentStreamPos, "currentDataPosition >= currentStreamPos");
        put(buffer.data() + currentStreamPos, currentDataPosition - currentStreamPos);
        F_ASSERT(currentDataSize > 0, "currentDataSize > 0");
        put(block.data, static_cast<size_t>(currentDataSize));
        currentStreamPos = currentDataPosition;
    }
    // Written blocks are consumed: a second write gives the plain bytes only.
    deferredBlocks.clear();
    put(buffer.data() + currentStreamPos, ByteCount() - currentStreamPos);
}

bool FSWFStream::WriteToFile(std::FILE* file)
{
    bool ok = true;
    SpliceOut([&](const uint8_t* bytes, size_t count) {
        if (count > 0 && std::fwrite(bytes, 1, count, file) != count) ok = false;
    });
    return ok;
}

void FSWFStream::WriteToMemory(uint8_t* destination)
{
    SpliceOut([&](const uint8_t* bytes, size_t count) {
        if (count > 0) std::memcpy(destination, bytes, count);  // an empty buffer has no data pointer
        destination += count;
    });
}

void FCTShowFrame::Write(FSWFStream& stream)
{
    stream.AppendTag(1, 0, nullptr);
}

void FTagRawData::Write(FSWFStream& stream)
{
    stream.AppendData(data, size);
}

namespace {
uint16_t characterIDCounter = 0;
}

uint16_t NextCharacterID()
{
    // Wrapping to 0 would give two characters one ID (and 0 is no character).
    F_ASSERT(characterIDCounter < 0xFFFF, "characterID < 0xFFFF (a movie holds at most 65535 characters)");
    return ++characterIDCounter;
}

void ResetCharacterID()
{
    characterIDCounter = 0;
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
    tags.push_back(std::move(tag));
}

void FSWFFile::WriteTags(FSWFStream& stream)
{
    for (const std::unique_ptr<FTag>& tag : tags) tag->Write(stream);
}

namespace {
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
    stream.AppendTag(0, 0, nullptr);  // End
    ResetCharacterID();
}

namespace {
void SetError(std::string* error, const std::string& what)
{
    if (error) *error = what + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& fileName)
{
    const size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}
}  // namespace

bool FSWFFile::WriteFile(const std::string& fileName, int32_t width, int32_t height,
                         uint32_t frameRate, std::string* error)
{
    FSWFStream stream;
    WriteBody(stream, width, height, frameRate);

#ifdef _WIN32
    const std::string temporaryName = fileName + ".tmp";
    std::FILE* file = std::fopen(temporaryName.c_str(), "wb");
    if (!file) {
        SetError(error, "cannot create a temporary file beside it");
        return false;
    }
#else
    std::string pattern = DirectoryOf(fileName) + ".corvanex-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        SetError(error, "cannot create a temporary file beside it");
        return false;
    }
    const std::string temporaryName = pattern;
    // mkstemp makes the file private; the movie gets the permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    std::FILE* file = fdopen(descriptor, "wb");
    if (!file) {
        SetError(error, "cannot open the temporary file");
        close(descriptor);
        std::remove(temporaryName.c_str());
        return false;
    }
#endif

    bool ok = stream.WriteToFile(file);
    if (!ok) SetError(error, "write failed");
    if (std::fflush(file) != 0 && ok) {
        ok = false;
        SetError(error, "write failed");
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        SetError(error, "write failed");
    }
    if (ok && std::rename(temporaryName.c_str(), fileName.c_str()) != 0) {
        ok = false;
        SetError(error, "cannot replace the file");
    }
    if (!ok) std::remove(temporaryName.c_str());
    return ok;
}
