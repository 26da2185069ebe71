#pragma once

// The tests' view of uncompressed SWF files, on the library's bounded reader:
// the header fields and the top-level tags with their bodies, frame by frame.
// Anything malformed throws.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include "swf/fswfreader.h"
#include "swf/ftagcode.h"

// A failed comparison of tag codes names them.
inline void PrintTo(FTagCode code, std::ostream* out)
{
    const char* name = FTagName(code);
    *out << (name ? name : "Unknown") << " (" << static_cast<unsigned>(code) << ")";
}

namespace swftest {

struct Tag {
    FTagCode code = FTagCode::End;
    bool longHeader = false;
    std::vector<uint8_t> body;
};

struct Movie {
    uint32_t version = 0;
    uint32_t fileLength = 0;
    uint32_t rectBits = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    uint32_t frameRate = 0;  // whole frames per second
    uint32_t frameCount = 0;
    std::vector<Tag> tags;  // in file order, End included

    // The tags of frame f (without its ShowFrame).
    std::vector<Tag> Frame(uint32_t f) const
    {
        std::vector<Tag> result;
        uint32_t frame = 0;
        for (const Tag& tag : tags) {
            if (tag.code == FTagCode::ShowFrame) {
                if (frame++ == f) return result;
                continue;
            }
            if (frame == f && tag.code != FTagCode::End) result.push_back(tag);
        }
        return result;
    }
    uint32_t ShowFrames() const
    {
        uint32_t count = 0;
        for (const Tag& tag : tags) count += tag.code == FTagCode::ShowFrame ? 1 : 0;
        return count;
    }
};

// The library's bounded reader over its own copy of the bytes, throwing where
// a field runs past the end.
class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> bytes, size_t byteOffset = 0)
        : bytes(std::move(bytes)), reader(this->bytes, byteOffset) {}
    BitReader(const BitReader&) = delete;  // the reader points into `bytes`
    BitReader& operator=(const BitReader&) = delete;

    uint32_t Unsigned(uint32_t count) { return Checked(reader.Unsigned(count)); }
    int32_t Signed(uint32_t count) { return Checked(reader.Signed(count)); }
    // Byte fields start at a byte boundary; words are little-endian.
    uint32_t Byte() { return Checked(reader.Byte()); }
    uint32_t Word() { return Checked(reader.Word()); }
    uint32_t DWord() { return Checked(reader.DWord()); }
    void Align() { reader.Align(); }
    size_t ByteOffset() const { return reader.ByteOffset(); }      // the next whole byte
    size_t BytePosition() const { return reader.BytePosition(); }  // the byte being read
    size_t BitsLeft() const { return reader.BitsLeft(); }

private:
    template <typename T>
    T Checked(T value) const
    {
        if (reader.Truncated()) throw std::runtime_error("bit field beyond the data");
        return value;
    }

    std::vector<uint8_t> bytes;
    FSWFBitReader reader;
};

// The little-endian field of `count` bytes at byte `at`.
inline uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, int count)
{
    if (at > bytes.size() || static_cast<size_t>(count) > bytes.size() - at)
        throw std::runtime_error("field beyond the data");
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

inline Movie Parse(const std::vector<uint8_t>& bytes)
{
    FSWFHeaderInfo header;
    const FSWFRead read = FReadSWFHeader(bytes, &header);
    if (read == FSWFRead::NotSWF) throw std::runtime_error("not an uncompressed SWF file");
    if (read != FSWFRead::Whole) throw std::runtime_error("the SWF header runs past the end");
    Movie movie;
    movie.version = header.version;
    movie.fileLength = header.fileLength;
    movie.rectBits = header.rectBits;
    movie.xmin = header.xmin;
    movie.xmax = header.xmax;
    movie.ymin = header.ymin;
    movie.ymax = header.ymax;
    movie.frameRate = header.frameRate;
    movie.frameCount = header.frameCount;
    size_t at = header.tagsOffset;
    while (at < bytes.size()) {
        FSWFTagInfo info;
        if (FReadSWFTagHeader(bytes, at, &info) != FSWFRead::Whole)
            throw std::runtime_error("tag at " + std::to_string(at) + " runs past the end of the file");
        Tag tag;
        tag.code = static_cast<FTagCode>(info.code);
        tag.longHeader = info.longHeader;
        tag.body.assign(bytes.begin() + static_cast<long>(info.bodyOffset),
                        bytes.begin() + static_cast<long>(info.NextOffset()));
        at = info.NextOffset();
        movie.tags.push_back(std::move(tag));
        if (movie.tags.back().code == FTagCode::End) break;
    }
    if (at != bytes.size()) throw std::runtime_error("bytes after the End tag");
    if (movie.tags.empty() || movie.tags.back().code != FTagCode::End) throw std::runtime_error("no End tag");
    return movie;
}

// The tags of every frame, ShowFrame and End left out.
inline std::vector<std::vector<Tag>> Frames(const Movie& movie)
{
    std::vector<std::vector<Tag>> frames(movie.ShowFrames());
    size_t frame = 0;
    for (const Tag& tag : movie.tags) {
        if (tag.code == FTagCode::ShowFrame) {
            ++frame;
        } else if (tag.code != FTagCode::End && frame < frames.size()) {
            frames[frame].push_back(tag);
        }
    }
    return frames;
}

// The little-endian 16-bit field at byte `at` of a tag's body.
inline uint16_t Word(const Tag& tag, size_t at)
{
    return static_cast<uint16_t>(tag.body.at(at) | tag.body.at(at + 1) << 8);
}

// The bounds of a DefineShape3 (its ID first): xmin, xmax, ymin, ymax.
inline std::vector<int32_t> ShapeBounds(const Tag& shape)
{
    BitReader bits(shape.body, 2);
    const uint32_t count = bits.Unsigned(5);
    std::vector<int32_t> bounds;
    for (int i = 0; i < 4; ++i) bounds.push_back(bits.Signed(count));
    return bounds;
}

// A lossless bitmap tag's zlib payload, inflated; `expectedSize` bounds it
// (with room to spare, so that a payload too long shows as a wrong size).
inline std::vector<uint8_t> Inflate(const std::vector<uint8_t>& compressed, size_t expectedSize)
{
    std::vector<uint8_t> out(expectedSize + 16);
    uLongf outSize = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &outSize, compressed.data(), static_cast<uLong>(compressed.size())) != Z_OK)
        throw std::runtime_error("the zlib payload does not inflate");
    out.resize(outSize);
    return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream input(name, std::ios::binary);
    if (!input) throw std::runtime_error("cannot open " + name);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

inline Movie ParseFile(const std::string& name)
{
    return Parse(ReadFile(name));
}

}  // namespace swftest
