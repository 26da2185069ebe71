#pragma once

// Builds RIFF WAVE files in memory, chunk by chunk, for the tests, and hands
// them to the reader as temporary files.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace wavtest {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU32(Bytes& out, uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

inline void PutID(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

// One chunk: ID, the size given (which a test may make lie), the body, and the
// pad byte RIFF puts after an odd body.
inline Bytes Chunk(const char* id, const Bytes& body, int64_t sizeField = -1)
{
    Bytes out;
    PutID(out, id);
    PutU32(out, sizeField < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(sizeField));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
    return out;
}

// The body of a "fmt " chunk: 16 bytes, or 18 with the extra-information size.
inline Bytes FormatBody(uint32_t formatTag, uint32_t channels, uint32_t rate, uint32_t bits,
                        int32_t extraSize = -1)
{
    Bytes out;
    PutU16(out, formatTag);
    PutU16(out, channels);
    PutU32(out, rate);
    PutU32(out, rate * channels * bits / 8);  // average bytes per second
    PutU16(out, channels * bits / 8);         // block align
    PutU16(out, bits);
    if (extraSize >= 0) PutU16(out, static_cast<uint32_t>(extraSize));
    return out;
}

// "RIFF", the size of what follows (or the size given), "WAVE", the chunks.
inline Bytes Riff(const std::vector<Bytes>& chunks, int64_t sizeField = -1)
{
    Bytes body;
    PutID(body, "WAVE");
    for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    Bytes out;
    PutID(out, "RIFF");
    PutU32(out, sizeField < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(sizeField));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A plain PCM file: format chunk, then data chunk.
inline Bytes PcmWav(uint32_t channels, uint32_t rate, uint32_t bits, const Bytes& data)
{
    return Riff({Chunk("fmt ", FormatBody(1, channels, rate, bits)), Chunk("data", data)});
}

// 16-bit samples as little-endian bytes, as a WAV file holds them.
inline Bytes Samples16(const std::vector<int16_t>& samples)
{
    Bytes out;
    for (int16_t s : samples) PutU16(out, static_cast<uint16_t>(s));
    return out;
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file holding the bytes, positioned at its start.
inline File TempFile(const Bytes& bytes)
{
    File file(std::tmpfile());
    if (file) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

// The lines of a printed report, each with its line end.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

}  // namespace wavtest
