#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "swf/fct.h"
#include "swf/fdtsounds.h"
#include "swf/fdtsprite.h"
#include "support/movie_folder.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return StreamBytes(stream);
}

std::unique_ptr<FCTPlaceObject2> Place(uint16_t depth, uint16_t characterID)
{
    return std::make_unique<FCTPlaceObject2>(false, false, true, false, depth, characterID, nullptr,
                                             nullptr, 0, nullptr, 0);
}

Bytes ReadFile(const std::string& name)
{
    Bytes bytes;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return bytes;
    for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return bytes;
}

}  // namespace

TEST(SpriteTag, EmptySpriteHasASixByteBody)
{
    FResetCharacterID();
    FDTDefineSprite sprite;
    EXPECT_EQ(sprite.ID(), 1);
    EXPECT_FALSE(sprite.IsShowFrame());
    EXPECT_EQ(Written(sprite), (Bytes{
        0xC6, 0x09,  // code 39, length 6
        0x01, 0x00,  // character ID 1
        0x00, 0x00,  // frame count 0
        0x00, 0x00,  // nested End tag
    }));
}

TEST(SpriteTag, CountsShowFramesAndWritesTagsInOrder)
{
    FResetCharacterID();
    FDTDefineSprite sprite;
    sprite.AddControlTag(Place(1, 2));
    sprite.AddControlTag(std::make_unique<FCTShowFrame>());
    sprite.AddControlTag(std::make_unique<FCTRemoveObject2>(1));
    sprite.AddControlTag(std::make_unique<FCTShowFrame>());
    EXPECT_EQ(sprite.FrameCount(), 2);
    EXPECT_EQ(sprite.TagCount(), 4u);
    EXPECT_EQ(Written(sprite), (Bytes{
        0xD5, 0x09,        // code 39, length 21
        0x01, 0x00,        // character ID 1
        0x02, 0x00,        // frame count 2
        0x85, 0x06,        // PlaceObject2: code 26, length 5
        0x02,              //   flags: has character
        0x01, 0x00,        //   depth 1
        0x02, 0x00,        //   character 2
        0x40, 0x00,        // ShowFrame
        0x02, 0x07,        // RemoveObject2: code 28, length 2
        0x01, 0x00,        //   depth 1
        0x40, 0x00,        // ShowFrame
        0x00, 0x00,        // End
    }));
}

TEST(SpriteTag, TagsAfterTheLastShowFrameAddNoFrame)
{
    FResetCharacterID();
    FDTDefineSprite sprite;
    sprite.AddControlTag(std::make_unique<FCTShowFrame>());
    sprite.AddControlTag(Place(3, 1));
    EXPECT_EQ(sprite.FrameCount(), 1);
    EXPECT_EQ(Written(sprite), (Bytes{
        0xCF, 0x09,                    // code 39, length 15
        0x01, 0x00,                    // character ID 1
        0x01, 0x00,                    // frame count 1
        0x40, 0x00,                    // ShowFrame
        0x85, 0x06, 0x02, 0x03, 0x00,  // PlaceObject2 at depth 3
        0x01, 0x00,                    //   of character 1
        0x00, 0x00,                    // End
    }));
}

TEST(SpriteTag, NestedBorrowedBytesReachTheFileInsideTheSprite)
{
    FResetCharacterID();
    Bytes block(100, 0x55);  // stands for a block of compressed stream sound
    block[0] = 0x12, block[99] = 0x34;

    FSWFFile movie;
    auto sprite = std::make_unique<FDTDefineSprite>();  // character 1
    // Stream sound is one of the tags a sprite's timeline may hold; its block is borrowed.
    sprite->AddControlTag(std::make_unique<FDTSoundStreamBlock>(100, block.data()));
    sprite->AddControlTag(std::make_unique<FCTShowFrame>());
    movie.AddTag(std::move(sprite));
    movie.AddTag(std::make_unique<FCTShowFrame>());
    EXPECT_EQ(movie.FrameCount(), 1u);  // the sprite's frame is its own

    const std::string name = ::testing::TempDir() + "sprite-block.swf";
    ASSERT_TRUE(movie.WriteFile(name, 2000, 2000, 12));
    const Bytes file = ReadFile(name);
    swftest::Discard(name);

    // Header: 8 bytes, a 15-bit frame rectangle in 9 bytes, rate and count.
    const size_t header = 21;
    ASSERT_EQ(file.size(), header + 6 + 114 + 2 + 2);
    EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), (Bytes{0x91, 0x00, 0x00, 0x00}));  // 145
    EXPECT_EQ(Bytes(file.begin() + 19, file.begin() + 21), (Bytes{0x01, 0x00}));  // 1 frame

    Bytes expected = {
        0xFF, 0x09, 0x72, 0x00, 0x00, 0x00,  // DefineSprite, long form, length 114
        0x01, 0x00,                          // character ID 1
        0x01, 0x00,                          // frame count 1
        0xFF, 0x04, 0x64, 0x00, 0x00, 0x00,  // SoundStreamBlock, long form, length 100
    };
    // (Room made first: GCC 12 for 32-bit Windows takes growing this vector
    // for a write past its end, -Warray-bounds.)
    expected.reserve(expected.size() + block.size() + 8);
    expected.insert(expected.end(), block.begin(), block.end());  // the borrowed bytes
    const Bytes tail = {
        0x40, 0x00,  // the sprite's ShowFrame
        0x00, 0x00,  // the sprite's End
        0x40, 0x00,  // the movie's ShowFrame
        0x00, 0x00,  // the movie's End
    };
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Bytes(file.begin() + header, file.end()), expected);
}

TEST(SpriteTagDeathTest, NullTag)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH({
        FDTDefineSprite sprite;
        sprite.AddControlTag(nullptr);
    }, "Assertion failed: tag,");
}
