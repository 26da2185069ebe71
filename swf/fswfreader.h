#pragma once

#include "base/fversion.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Reading back what the writer makes: uncompressed SWF files, for tools that
// show a file's contents and for tests that check the fields. Every read is
// bounded by the bytes given: a file cut short (or claiming fields longer
// than itself) is reported as truncated, never read past its end.

// Bit fields most significant bit first, byte fields little-endian from a
// byte boundary, over borrowed bytes (which must outlive the reader). A field
// that does not fit in what is left gives 0 and marks the reader truncated,
// for good: a caller reads a group of fields and asks once.
class FSWFBitReader {
public:
    explicit FSWFBitReader(std::span<const uint8_t> bytes, size_t byteOffset = 0);

    uint32_t Unsigned(uint32_t count);  // a longer field than 32 bits gives its last 32
    int32_t Signed(uint32_t count);     // sign-extended from `count` bits
    uint32_t Byte();
    uint32_t Word();
    uint32_t DWord();
    void Align();  // on to the next byte boundary, unless at one

    size_t ByteOffset() const { return (bit + 7) / 8; }  // the next whole byte
    size_t BytePosition() const { return bit / 8; }      // the byte being read
    size_t BitsLeft() const { return bit < bytes.size() * 8 ? bytes.size() * 8 - bit : 0; }
    bool Truncated() const { return truncated; }

private:
    std::span<const uint8_t> bytes;
    size_t bit;
    bool truncated = false;
};

// The header of an uncompressed SWF file.
struct FSWFHeaderInfo {
    uint32_t version = 0;
    uint32_t fileLength = 0;  // as the header gives it
    uint32_t rectBits = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // twips
    uint32_t frameRate = 0;                          // whole frames a second
    uint32_t frameCount = 0;
    size_t tagsOffset = 0;  // where the first tag begins
};

enum class FSWFRead {
    Whole,
    NotSWF,          // the bytes do not begin "FWS" (compressed files are not read)
    HeaderCutShort,  // the bytes end inside the file's or the tag's header
    BodyCutShort     // the tag's header is whole, its body runs past the end
};

// Fills `header` (as far as the bytes go).
FSWFRead FReadSWFHeader(std::span<const uint8_t> bytes, FSWFHeaderInfo* header);

// A tag's header, read at some offset of the file.
struct FSWFTagInfo {
    uint32_t code = 0;
    bool longHeader = false;  // the length in a 32-bit field of its own
    uint32_t length = 0;      // of the body
    size_t bodyOffset = 0;    // where the body begins
    size_t NextOffset() const { return bodyOffset + length; }
};

// Reads the tag header at `offset`: Whole, HeaderCutShort or BodyCutShort.
// `tag` is filled as far as the bytes go.
FSWFRead FReadSWFTagHeader(std::span<const uint8_t> bytes, size_t offset, FSWFTagInfo* tag);
