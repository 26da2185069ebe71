#include "swf/fswfreader.h"

FSWFBitReader::FSWFBitReader(std::span<const uint8_t> bytes, size_t byteOffset)
    : bytes(bytes), bit(byteOffset * 8)
{
}

uint32_t FSWFBitReader::Unsigned(uint32_t count)
{
    // The whole field must be there: a field that straddles the end is as
    // missing as one past it, and reading stops where the bytes do.
    if (truncated || count > BitsLeft()) {
        truncated = true;
        bit = bytes.size() * 8;
        return 0;
    }
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i, ++bit) value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1u);
    return value;
}

int32_t FSWFBitReader::Signed(uint32_t count)
{
    const uint32_t value = Unsigned(count);
    if (count == 0 || count >= 32) return static_cast<int32_t>(value);
    const uint32_t sign = 1u << (count - 1);
    return static_cast<int32_t>(value ^ sign) - static_cast<int32_t>(sign);
}

uint32_t FSWFBitReader::Byte()
{
    Align();
    return Unsigned(8);
}

uint32_t FSWFBitReader::Word()
{
    const uint32_t low = Byte();
    const uint32_t value = low | (Byte() << 8);
    return truncated ? 0 : value;
}

uint32_t FSWFBitReader::DWord()
{
    const uint32_t low = Word();
    const uint32_t value = low | (Word() << 16);
    return truncated ? 0 : value;
}

void FSWFBitReader::Align()
{
    bit = (bit + 7) / 8 * 8;
}

FSWFRead FReadSWFHeader(std::span<const uint8_t> bytes, FSWFHeaderInfo* header)
{
    if (bytes.size() < 3 || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S') return FSWFRead::NotSWF;
    FSWFBitReader reader(bytes, 3);
    header->version = reader.Byte();
    header->fileLength = reader.DWord();
    header->rectBits = reader.Unsigned(5);
    header->xmin = reader.Signed(header->rectBits);
    header->xmax = reader.Signed(header->rectBits);
    header->ymin = reader.Signed(header->rectBits);
    header->ymax = reader.Signed(header->rectBits);
    reader.Byte();  // frame rate, fraction
    header->frameRate = reader.Byte();
    header->frameCount = reader.Word();
    header->tagsOffset = reader.ByteOffset();
    return reader.Truncated() ? FSWFRead::HeaderCutShort : FSWFRead::Whole;
}

FSWFRead FReadSWFTagHeader(std::span<const uint8_t> bytes, size_t offset, FSWFTagInfo* tag)
{
    FSWFBitReader reader(bytes, offset);
    const uint32_t codeAndLength = reader.Word();
    tag->code = codeAndLength >> 6;
    tag->length = codeAndLength & 63;
    tag->longHeader = tag->length == 63;
    if (tag->longHeader) tag->length = reader.DWord();
    tag->bodyOffset = reader.ByteOffset();
    if (reader.Truncated()) return FSWFRead::HeaderCutShort;
    return tag->length > bytes.size() - tag->bodyOffset ? FSWFRead::BodyCutShort : FSWFRead::Whole;
}
