#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/fct.h"
#include "swf/fsoundinfo.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

Bytes Written(const FSoundInfo& info)
{
    FSWFStream stream;
    info.Write(stream);
    stream.FlushBits();
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

TEST(ControlTag, Protect)
{
    FCTProtect tag;
    EXPECT_EQ(Written(tag), (Bytes{0x00, 0x06}));  // code 24, length 0
    EXPECT_FALSE(tag.IsShowFrame());
}

TEST(ControlTag, EmptyDoAction)
{
    FCTDoAction tag;
    EXPECT_EQ(Written(tag), (Bytes{
                                0x01, 0x03,  // code 12, length 1
                                0x00,        // end of actions
                            }));
}

TEST(ControlTag, DoActionWritesItsActionsInOrder)
{
    FCTDoAction tag;
    tag.AddAction(std::make_unique<FActionStop>());
    tag.AddAction(std::make_unique<FActionGotoFrame>(4));
    EXPECT_EQ(Written(tag), (Bytes{
                                0x07, 0x03,                    // code 12, length 7
                                0x07,                          // ActionStop
                                0x81, 0x02, 0x00, 0x04, 0x00,  // ActionGotoFrame 4
                                0x00,                          // end of actions
                            }));
}

TEST(ControlTag, DoActionWithStopSounds)
{
    FCTDoAction tag;
    tag.AddAction(std::make_unique<FActionStopSounds>());
    EXPECT_EQ(Written(tag), (Bytes{
                                0x02, 0x03,  // code 12, length 2
                                0x09,        // ActionStopSounds
                                0x00,        // end of actions
                            }));
}

TEST(ControlTag, FrameLabel)
{
    FCTFrameLabel tag(FString("go"));
    EXPECT_EQ(Written(tag), (Bytes{
                                0xC3, 0x0A,        // code 43, length 3
                                0x67, 0x6F, 0x00,  // "go" and its zero
                            }));
}

TEST(ControlTag, PlaceObject)
{
    FCTPlaceObject tag(5, 3, FMatrix(), std::make_unique<FCXFormNoAlpha>(false, false, 0, 0, 0, 0, 0, 0));
    const Bytes bytes = Written(tag);
    ASSERT_GE(bytes.size(), 7u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 4 << 6 | static_cast<int>(bytes.size() - 2));  // code 4
    EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.begin() + 7), (Bytes{
                                                               0x05, 0x00,  // character 5
                                                               0x03, 0x00,  // depth 3
                                                               0x00,        // identity matrix
                                                           }));
}

TEST(ControlTagDeathTest, PlaceObjectNeedsAColourTransform)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(FCTPlaceObject(5, 3, FMatrix(), nullptr), "_colorTransform");
}

TEST(ControlTag, PlaceObject2NewCharacterWithMatrix)
{
    FCTPlaceObject2 tag(0, 0, 1, 0, 3, 5, std::make_unique<FMatrix>(), nullptr, 0, nullptr, 0);
    EXPECT_EQ(Written(tag), (Bytes{
                                0x86, 0x06,  // code 26, length 6
                                0x06,        // flags: matrix, character
                                0x03, 0x00,  // depth 3
                                0x05, 0x00,  // character 5
                                0x00,        // identity matrix
                            }));
}

TEST(ControlTag, PlaceObject2NewCharacterWithoutMatrix)
{
    FCTPlaceObject2 tag(0, 0, 1, 0, 3, 5, nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(Written(tag), (Bytes{
                                0x85, 0x06,  // code 26, length 5
                                0x02,        // flags: character
                                0x03, 0x00,  // depth 3
                                0x05, 0x00,  // character 5
                            }));
}

TEST(ControlTag, PlaceObject2MoveOnly)
{
    FCTPlaceObject2 tag(0, 0, 0, 1, 7, 5, nullptr, nullptr, 0, nullptr, 0);
    EXPECT_EQ(Written(tag), (Bytes{
                                0x83, 0x06,  // code 26, length 3
                                0x01,        // flags: move
                                0x07, 0x00,  // depth 7; no character ID
                            }));
}

TEST(ControlTag, PlaceObject2WithEveryOptionalField)
{
    FCTPlaceObject2 tag(1, 1, 1, 0, 2, 9, std::make_unique<FMatrix>(),
                        std::make_unique<FCXFormWAlpha>(false, false, 0, 0, 0, 0, 0, 0, 0, 0), 0x0102,
                        std::make_unique<FString>("n"), 0x0304);
    EXPECT_EQ(Written(tag), (Bytes{
                                0x8D, 0x06,  // code 26, length 13
                                0x7E,        // flags: clip depth, name, ratio, cxform, matrix, character
                                0x02, 0x00,  // depth 2
                                0x09, 0x00,  // character 9
                                0x00,        // identity matrix
                                0x04,        // colour transform with alpha, no terms
                                0x02, 0x01,  // ratio
                                0x6E, 0x00,  // name "n" and its zero
                                0x04, 0x03,  // clip depth
                            }));
}

TEST(ControlTag, DepthsCanBeSetAfterConstruction)
{
    FCTPlaceObject2 place(0, 0, 1, 0, 500, 5, nullptr, nullptr, 0, nullptr, 0);
    place.SetDepth(0x0102);
    EXPECT_EQ(Written(place), (Bytes{0x85, 0x06, 0x02, /* depth */ 0x02, 0x01, 0x05, 0x00}));

    FCTRemoveObject remove(5, 500);
    remove.SetDepth(0x0102);
    EXPECT_EQ(Written(remove), (Bytes{
                                   0x44, 0x01,  // code 5, length 4
                                   0x05, 0x00,  // character 5
                                   0x02, 0x01,  // depth
                               }));
}

TEST(ControlTag, RemoveObject2)
{
    FCTRemoveObject2 tag(3);
    EXPECT_EQ(Written(tag), (Bytes{
                                0x02, 0x07,  // code 28, length 2
                                0x03, 0x00,  // depth 3
                            }));
}

TEST(ControlTag, BackgroundColourIsAlwaysRGB)
{
    FCTSetBackgroundColor tag(FColor(0xffcdcdcdu, true));
    EXPECT_EQ(Written(tag), (Bytes{
                                0x43, 0x02,        // code 9, length 3
                                0xCD, 0xCD, 0xCD,  // red, green, blue
                            }));
}

TEST(SoundInfo, LoopsOnly)
{
    EXPECT_EQ(Written(FSoundInfo(0, false, true, false, false, 0, 0, 3, 0, std::nullopt)), (Bytes{
                                                                                                0x04,        // has loops
                                                                                                0x03, 0x00,  // loop count 3
                                                                                            }));
}

TEST(SoundInfo, SyncNoMultipleOnly)
{
    EXPECT_EQ(Written(FSoundInfo(1, false, false, false, false, 0, 0, 0, 0, std::nullopt)), (Bytes{0x10}));
}

TEST(SoundInfo, EveryPartInOrder)
{
    const FSoundInfo info(2, true, true, true, true, 0x11223344, 0x55667788, 2, 1,
                          FSoundEnvelope(0x01020304, 0x0506, 0x0708));
    EXPECT_EQ(Written(info), (Bytes{
                                 0x2F,                    // sync-stop; envelope, loops, out, in
                                 0x44, 0x33, 0x22, 0x11,  // in point
                                 0x88, 0x77, 0x66, 0x55,  // out point
                                 0x02, 0x00,              // loop count
                                 0x01,                    // envelope point count
                                 0x04, 0x03, 0x02, 0x01,  // position
                                 0x06, 0x05,              // left level
                                 0x08, 0x07,              // right level
                             }));
}

TEST(SoundInfo, EnvelopeFlagWithoutEnvelopeIsNotWritten)
{
    // A set flag with no point would announce data that never follows.
    EXPECT_EQ(Written(FSoundInfo(0, true, false, false, false, 0, 0, 0, 1, std::nullopt)), (Bytes{0x00}));
}

TEST(ControlTag, StartSound)
{
    FCTStartSound tag(7, FSoundInfo(1, false, false, false, false, 0, 0, 0, 0, std::nullopt));
    EXPECT_EQ(Written(tag), (Bytes{
                                0xC3, 0x03,  // code 15, length 3
                                0x07, 0x00,  // sound 7
                                0x10,        // sync-no-multiple
                            }));
}

}  // namespace
