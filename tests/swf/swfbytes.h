#pragma once

// Helpers for tests that look at what a record or tag wrote.

#include <cstdint>
#include <string>
#include <vector>

#include "support/swf_reader.h"
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

using swftest::BitReader;
