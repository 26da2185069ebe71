#pragma once

// PlaceObject2 tags field by field and the tags inside a DefineSprite, read
// back for the checks of what moves where (transitions, timers).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "support/swf_reader.h"

namespace swftest {

struct Placement {
    bool move = false;
    uint16_t depth = 0;
    std::optional<uint16_t> character;
    bool hasMatrix = false;
    int32_t scaleX = 65536, scaleY = 65536;  // 16.16
    int32_t translateX = 0, translateY = 0;  // twips
    std::optional<int32_t> alphaMultiply;    // of 256
    std::optional<uint16_t> clipDepth;
};

inline Placement ReadPlacement(const Tag& tag)
{
    if (tag.code != FTagCode::PlaceObject2) throw std::runtime_error("not a PlaceObject2");
    BitReader bits(tag.body);
    const uint32_t flags = bits.Byte();
    Placement place;
    place.move = (flags & 0x01) != 0;
    place.depth = static_cast<uint16_t>(bits.Word());
    if (flags & 0x02) place.character = static_cast<uint16_t>(bits.Word());
    if (flags & 0x04) {
        place.hasMatrix = true;
        if (bits.Unsigned(1)) {
            const uint32_t n = bits.Unsigned(5);
            place.scaleX = bits.Signed(n);
            place.scaleY = bits.Signed(n);
        }
        if (bits.Unsigned(1)) {
            const uint32_t n = bits.Unsigned(5);
            bits.Signed(n);
            bits.Signed(n);
        }
        const uint32_t n = bits.Unsigned(5);
        place.translateX = bits.Signed(n);
        place.translateY = bits.Signed(n);
        bits.Align();
    }
    if (flags & 0x08) {
        const bool add = bits.Unsigned(1) != 0, multiply = bits.Unsigned(1) != 0;
        const uint32_t n = bits.Unsigned(4);
        if (multiply) {
            for (int i = 0; i < 3; ++i) bits.Signed(n);
            place.alphaMultiply = bits.Signed(n);
        }
        if (add)
            for (int i = 0; i < 4; ++i) bits.Signed(n);
        bits.Align();
    }
    if (flags & 0x10) bits.Word();  // ratio
    if (flags & 0x20) throw std::runtime_error("named placements are not read here");
    if (flags & 0x40) place.clipDepth = static_cast<uint16_t>(bits.Word());
    return place;
}

struct Sprite {
    uint16_t id = 0;
    uint16_t frameCount = 0;
    std::vector<Tag> tags;  // End included

    std::vector<std::vector<Tag>> Frames() const
    {
        std::vector<std::vector<Tag>> frames(1);
        for (const Tag& tag : tags) {
            if (tag.code == FTagCode::ShowFrame) {
                frames.emplace_back();
            } else if (tag.code != FTagCode::End) {
                frames.back().push_back(tag);
            }
        }
        frames.pop_back();  // after the last ShowFrame
        return frames;
    }
};

inline Sprite ReadSprite(const Tag& tag)
{
    if (tag.code != FTagCode::DefineSprite) throw std::runtime_error("not a DefineSprite");
    Sprite sprite;
    sprite.id = Word(tag, 0);
    sprite.frameCount = Word(tag, 2);
    size_t at = 4;
    while (at < tag.body.size()) {
        FSWFTagInfo info;
        if (FReadSWFTagHeader(tag.body, at, &info) != FSWFRead::Whole)
            throw std::runtime_error("a sprite's tag runs past the sprite");
        Tag inner;
        inner.code = static_cast<FTagCode>(info.code);
        inner.longHeader = info.longHeader;
        inner.body.assign(tag.body.begin() + static_cast<long>(info.bodyOffset),
                          tag.body.begin() + static_cast<long>(info.NextOffset()));
        at = info.NextOffset();
        sprite.tags.push_back(std::move(inner));
    }
    return sprite;
}

}  // namespace swftest
