#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "swf/ffileregion.h"
#include "swf/ftagcode.h"

// Bytes borrowed from a caller: the stream records where they go and splices
// them into the output only when it is written out. The bytes must stay valid
// until then; the stream never copies or frees them. A block may instead name
// a file region (`region` set, `data` null), equally borrowed until the write.
struct FSWFDeferredBlock {
    uint32_t position = 0;  // the block goes before the complete byte at this index
    const uint8_t* data = nullptr;
    int32_t size = 0;
    const FSWFFileRegion* region = nullptr;
};

// A growable byte buffer with a bit cursor. Bit fields are written most
// significant bit first; bytes, words and double words little-endian. Byte
// writes do not align by themselves: callers flush before byte fields.
class FSWFStream {
public:
    // Room for a typical tag body from the start: most streams hold one, and
    // growing byte by byte from nothing would allocate again and again.
    FSWFStream() { buffer.reserve(64); }
    FSWFStream(const FSWFStream&) = delete;
    FSWFStream& operator=(const FSWFStream&) = delete;

    // Writes the low `size` bits of `data` (0 to 32 bits); a value must fit its
    // field as unsigned, or be negative with a magnitude that fits.
    void WriteBits(uint32_t data, uint32_t size);
    // A byte or a word: the value must fit its 8 or 16 bits in the same way.
    void WriteByte(uint32_t value);
    void WriteWord(uint32_t value);
    void WriteDWord(uint32_t value);
    void FlushBits();

    // Records borrowed bytes to splice in at the current position (aligned).
    void AppendData(const uint8_t* data, int32_t size);
    // The same for a file region, read when the stream is written out.
    void AppendFileRegion(const FSWFFileRegion& region);

    // Complete bytes plus the deferred blocks still held; a partial byte is not counted.
    uint32_t Size() const;

    // Appends the other stream's complete bytes and takes over its deferred
    // blocks. Returns the number of the other stream's bytes copied.
    uint32_t Append(FSWFStream& other);

    // A tag header for `code` and `length`, then the body if one is given.
    void AppendTag(FTagCode code, uint32_t length, FSWFStream* body);
    // Always the six-byte header form, whatever the length (the bitmap tags).
    void AppendLongTag(FTagCode code, uint32_t length, FSWFStream* body);

    // Writes the complete bytes with the deferred blocks spliced in, consuming
    // the blocks. Returns false when the file reported a write error or a file
    // region could not be read as named; `error` (when given) gets the reason.
    bool WriteToFile(std::FILE* file, std::string* error = nullptr);
    // The same into a caller buffer of at least Size() bytes.
    bool WriteToMemory(uint8_t* destination, std::string* error = nullptr);
    // The same to a file descriptor open for writing, at its position, in
    // gathered writes: regions of up to 1 MiB are read into a buffer and go
    // out with the bytes around them; larger ones are copied by the kernel
    // where the descriptor allows it. (Windows: piece by piece.)
    bool WriteToDescriptor(int descriptor, std::string* error = nullptr);

    // Drops the complete bytes and the blocks, keeping the room: a stream
    // written out in parts starts each part afresh. It must be aligned.
    void Clear();

    // The complete bytes, which a caller may overwrite in place (the file header does).
    uint8_t* Buffer() { return buffer.data(); }
    const uint8_t* Buffer() const { return buffer.data(); }
    uint32_t ByteCount() const { return static_cast<uint32_t>(buffer.size()); }
    bool IsAligned() const { return bitsLeft == 8; }
    const std::vector<FSWFDeferredBlock>& DeferredBlocks() const { return deferredBlocks; }

private:
    void CompleteCurrentByte();
    // Hands the complete bytes and the memory blocks, in file order, to
    // `put`, and the file regions among them to `copy`; stops at the first
    // region `copy` fails on. Returns whether every region was copied.
    template <typename PutBytes, typename CopyRegion>
    bool SpliceOut(PutBytes&& put, CopyRegion&& copy);

    std::vector<uint8_t> buffer;  // the complete bytes; the partial one is `currentByte`
    uint32_t bitsLeft = 8;        // free bits in the current byte, 1 to 8
    uint8_t currentByte = 0;
    std::vector<FSWFDeferredBlock> deferredBlocks;
};

// Root of every tag class.
class FTag {
public:
    FTag() = default;
    FTag(const FTag&) = delete;
    FTag& operator=(const FTag&) = delete;
    virtual ~FTag() = default;
    virtual void Write(FSWFStream& stream) = 0;
    virtual bool IsShowFrame() const { return false; }
};

// The tag that ends a frame; the file container counts frames by it.
class FCTShowFrame : public FTag {
public:
    void Write(FSWFStream& stream) override;
    bool IsShowFrame() const override { return true; }
};

// Complete tags, headers included, that reach the file verbatim. Borrowed bytes.
class FTagRawData : public FTag {
public:
    FTagRawData(const uint8_t* data, int32_t size) : data(data), size(size) {}
    void Write(FSWFStream& stream) override;

private:
    const uint8_t* data;
    int32_t size;
};

// The process-wide character-ID counter: the first character defined gets 1.
// It never wraps: a movie has at most 65535 characters. It is reset to 0 when
// a movie is written, so a process builds one movie at a time.
uint16_t NextCharacterID();
// The last ID handed out (0 before the first): lets a caller whose number of
// characters depends on its input stop before the counter runs out.
uint16_t FLastCharacterID();
void FResetCharacterID();
// Gives back every ID handed out after `last` (at most FLastCharacterID()),
// for a caller that has destroyed every define tag that drew one: content
// drawn and then done without (a PDF page drawn as a picture after all).
void FGiveBackCharacterIDs(uint16_t last);
// The number of resets so far. A define tag remembers the epoch it drew its
// ID in (FDT::IDEpoch); one from before the last reset shares its ID with a
// later character, and writing it stops on an assertion.
uint32_t FCharacterIDEpoch();

// Thrown by NextCharacterID at the limit below.
class FCharacterIDLimitReached : public std::runtime_error {
public:
    FCharacterIDLimitReached() : std::runtime_error("the movie's characters are used up") {}
};
// A limit short of 65535 for content of a size no one can tell before it is
// drawn (a PDF page): past `last`, NextCharacterID throws instead of handing
// out an ID, so the caller can do without that content. 0: no limit but the
// format's. Holds until it is set again; a reset of the counter clears it.
void FSetCharacterIDLimit(uint16_t last);

// Bit length of `value`, plus `sign` (0 or 1) for the sign bit of a signed field.
uint32_t BitsNeeded(uint32_t value, uint32_t sign);
int32_t MaxAbs4(int32_t a, int32_t b, int32_t c, int32_t d);

// The ordered top-level tags of one movie, written as a SWF file of version 4.
class FSWFFile {
public:
    // Every write stops on an assertion when the container holds a define tag
    // drawn before the counter's last reset (two movies built at once), and
    // a write with a header when there are more than 65535 frames.
    void AddTag(std::unique_ptr<FTag> tag);
    void WriteTags(FSWFStream& stream);
    // Header, tags and End tag into the stream; resets the character-ID counter.
    void WriteBody(FSWFStream& stream, int32_t width, int32_t height, uint32_t frameRate);
    // Tags and End tag, no header; resets the character-ID counter.
    void WriteTagsAndEnd(FSWFStream& stream);

    // Writes the whole file beside `fileName` and puts it under the name only
    // when it is complete and on the disk, so a failed write leaves no partial
    // file and an existing file unchanged (see FAtomicFile: a symbolic link is
    // written through, a killed run leaves no temporary file where the file
    // system allows). The bytes are those WriteBody gives, but the
    // tags go out a part at a time, so memory does not grow with the movie.
    // Returns whether the file was written; on failure `error` (when given)
    // receives the reason: the system's, a file region that is no longer as
    // it was named, or a movie too long for the header's length field.
    // Resets the character-ID counter.
    bool WriteFile(const std::string& fileName, int32_t width, int32_t height,
                   uint32_t frameRate, std::string* error = nullptr);

    uint32_t FrameCount() const { return frameCount; }

    // The header: signature, version 4, file length, frame rectangle (0, 0) to
    // (width, height), frame rate and frame count.
    static void WriteHeader(FSWFStream& header, uint32_t fileLength, int32_t width,
                            int32_t height, uint32_t frameRate, uint32_t frameCount);
    static uint32_t HeaderSize(int32_t width, int32_t height);

private:
    // Header room, tags and End tag in parts, then the header into its room.
    bool WriteToDescriptor(int descriptor, int32_t width, int32_t height, uint32_t frameRate,
                           std::string* error);

    void CheckCharacterEpoch() const;

    uint32_t frameCount = 0;
    std::vector<std::unique_ptr<FTag>> tags;
    // The earliest epoch a define tag here drew its ID in.
    uint32_t oldestIDEpoch = UINT32_MAX;
};
