#pragma once

// Reads back a written SWF file into its tags, for checking what the movie
// model put into each frame.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace swfread {

struct Tag {
    uint16_t code = 0;
    std::vector<uint8_t> body;
};

struct Movie {
    bool ok = false;
    uint16_t frameCount = 0;
    std::vector<Tag> tags;  // up to and without the End tag
};

inline Movie Read(const std::string& path)
{
    Movie movie;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 9 || bytes[0] != 'F' || bytes[1] != 'W' || bytes[2] != 'S') return movie;

    // The frame rectangle: a 5-bit count, then four fields of that many bits.
    const size_t rectBits = 5 + 4 * static_cast<size_t>(bytes[8] >> 3);
    size_t at = 8 + (rectBits + 7) / 8;
    at += 2;  // frame rate
    if (at + 2 > bytes.size()) return movie;
    movie.frameCount = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    at += 2;

    while (at + 2 <= bytes.size()) {
        const uint16_t header = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        at += 2;
        Tag tag;
        tag.code = static_cast<uint16_t>(header >> 6);
        size_t length = header & 0x3F;
        if (length == 0x3F) {
            if (at + 4 > bytes.size()) return movie;
            length = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<size_t>(bytes[at + 3]) << 24;
            at += 4;
        }
        if (at + length > bytes.size()) return movie;
        if (tag.code == 0) {
            movie.ok = at + length == bytes.size();
            return movie;
        }
        tag.body.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        movie.tags.push_back(std::move(tag));
    }
    return movie;
}

// The tags of each frame, the ShowFrame tags left out.
inline std::vector<std::vector<Tag>> Frames(const Movie& movie)
{
    std::vector<std::vector<Tag>> frames(1);
    for (const Tag& tag : movie.tags) {
        if (tag.code == 1) {
            frames.emplace_back();
        } else {
            frames.back().push_back(tag);
        }
    }
    frames.pop_back();  // what follows the last ShowFrame
    return frames;
}

inline uint16_t Word(const Tag& tag, size_t at)
{
    return static_cast<uint16_t>(tag.body.at(at) | tag.body.at(at + 1) << 8);
}

}  // namespace swfread
