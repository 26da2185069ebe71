#pragma once

// Helpers for tests that look at what a record or tag wrote.

#include <cstdint>
#include <string>
#include <vector>

#include "swf/fswfstream.h"

// Everything the stream holds, deferred blocks spliced in, as a byte vector.
inline std::vector<uint8_t> StreamBytes(FSWFStream& stream)
{
    stream.FlushBits();
    std::vector<uint8_t> bytes(stream.Size());
    stream.WriteToMemory(bytes.data());
    return bytes;
}

// The stream's bytes as a string of '0' and '1', most significant bit first.
inline std::string BitString(FSWFStream& stream)
{
    std::string bits;
    for (uint8_t byte : StreamBytes(stream))
        for (int i = 7; i >= 0; --i) bits += ((byte >> i) & 1) ? '1' : '0';
    return bits;
}

// A bit pattern padded with zeros to the byte boundary, as a flushed stream holds it.
inline std::string Padded(std::string bits)
{
    while (bits.size() % 8 != 0) bits += '0';
    return bits;
}

// Reads bit fields back, most significant bit first.
class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}

    uint32_t Unsigned(uint32_t count)
    {
        uint32_t value = 0;
        for (uint32_t i = 0; i < count; ++i, ++position)
            value = (value << 1) | ((bytes.at(position / 8) >> (7 - position % 8)) & 1);
        return value;
    }

    int32_t Signed(uint32_t count)
    {
        const uint32_t value = Unsigned(count);
        if (count > 0 && count < 32 && (value >> (count - 1)) != 0) return static_cast<int32_t>(value) - (int32_t{1} << count);
        return static_cast<int32_t>(value);
    }

    uint32_t Byte() { Align(); return Unsigned(8); }
    uint32_t Word() { const uint32_t low = Byte(); return low | (Byte() << 8); }
    uint32_t DWord() { const uint32_t low = Word(); return low | (Word() << 16); }
    void Align() { position = (position + 7) / 8 * 8; }
    size_t BytePosition() const { return position / 8; }
    size_t BitsLeft() const { return bytes.size() * 8 - position; }

private:
    std::vector<uint8_t> bytes;
    size_t position = 0;
};
