#pragma once

// A small, independent reader of uncompressed SWF files for the tests: the
// header fields and the top-level tags with their bodies, frame by frame.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// Reads bit fields most significant bit first, from its own copy of the bytes.
class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> bytes, size_t byteOffset = 0) : bytes(std::move(bytes)), bit(byteOffset * 8) {}
    uint32_t Unsigned(uint32_t count)
    {
        uint32_t value = 0;
        for (uint32_t i = 0; i < count; ++i, ++bit) {
            if (bit / 8 >= bytes.size()) throw std::runtime_error("bit field beyond the data");
            value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1u);
        }
        return value;
    }
    int32_t Signed(uint32_t count)
    {
        const uint32_t value = Unsigned(count);
        if (count == 0 || count == 32) return static_cast<int32_t>(value);
        const uint32_t sign = 1u << (count - 1);
        return static_cast<int32_t>((value ^ sign)) - static_cast<int32_t>(sign);
    }
    // Byte fields start at a byte boundary; words are little-endian.
    uint32_t Byte()
    {
        Align();
        return Unsigned(8);
    }
    uint32_t Word()
    {
        const uint32_t low = Byte();
        return low | (Byte() << 8);
    }
    uint32_t DWord()
    {
        const uint32_t low = Word();
        return low | (Word() << 16);
    }
    void Align() { bit = (bit + 7) / 8 * 8; }
    size_t ByteOffset() const { return (bit + 7) / 8; }  // the next whole byte
    size_t BytePosition() const { return bit / 8; }      // the byte being read
    size_t BitsLeft() const { return bytes.size() * 8 - bit; }

private:
    std::vector<uint8_t> bytes;
    size_t bit;
};

inline uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, int count)
{
    if (at + static_cast<size_t>(count) > bytes.size()) throw std::runtime_error("field beyond the data");
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

inline Movie Parse(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 12 || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S')
        throw std::runtime_error("not an uncompressed SWF file");
    Movie movie;
    movie.version = bytes[3];
    movie.fileLength = Little(bytes, 4, 4);
    BitReader rect(bytes, 8);
    movie.rectBits = rect.Unsigned(5);
    movie.xmin = rect.Signed(movie.rectBits);
    movie.xmax = rect.Signed(movie.rectBits);
    movie.ymin = rect.Signed(movie.rectBits);
    movie.ymax = rect.Signed(movie.rectBits);
    size_t at = rect.ByteOffset();
    movie.frameRate = Little(bytes, at, 2) >> 8;
    movie.frameCount = Little(bytes, at + 2, 2);
    at += 4;
    while (at < bytes.size()) {
        Tag tag;
        const uint32_t header = Little(bytes, at, 2);
        at += 2;
        tag.code = static_cast<FTagCode>(header >> 6);
        uint32_t length = header & 63;
        if (length == 63) {
            tag.longHeader = true;
            length = Little(bytes, at, 4);
            at += 4;
        }
        if (at + length > bytes.size()) throw std::runtime_error("tag body beyond the end of the file");
        tag.body.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
        at += length;
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
