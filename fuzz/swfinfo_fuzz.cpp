// swfinfo's reading of a file: the header, then tag after tag to the End tag
// or to where the bytes stop, and bit fields read from each body as the tests
// read them. Nothing may be read past the bytes given, and each step must move on.

#include <span>

#include "swf/fswfreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    FSWFHeaderInfo header;
    if (FReadSWFHeader(bytes, &header) != FSWFRead::Whole) return 0;
    if (header.tagsOffset > size || header.rectBits > 31) __builtin_trap();

    size_t at = header.tagsOffset;
    while (at < size) {
        FSWFTagInfo tag;
        const FSWFRead read = FReadSWFTagHeader(bytes, at, &tag);
        if (read != FSWFRead::Whole) break;
        if (tag.bodyOffset <= at || tag.NextOffset() > size) __builtin_trap();

        // A body read as a rectangle would be: the field width from its first
        // five bits, four fields of that width, then bytes until the reader stops.
        FSWFBitReader body(bytes.subspan(tag.bodyOffset, tag.length));
        const uint32_t bits = body.Unsigned(5);
        for (int i = 0; i < 4; ++i) body.Signed(bits);
        while (!body.Truncated()) body.Byte();
        if (body.BitsLeft() != 0) __builtin_trap();

        at = tag.NextOffset();
        if (tag.code == 0) break;
    }
    return 0;
}
