#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "swf/faction.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename Record>
Bytes Written(const Record& record)
{
    FSWFStream stream;
    record.Write(stream);
    stream.FlushBits();
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

TEST(ActionRecord, ActionsWithoutBodyAreOneCodeByte)
{
    EXPECT_EQ(Written(FActionStop()), (Bytes{0x07}));
    EXPECT_EQ(Written(FActionPlay()), (Bytes{0x06}));
    EXPECT_EQ(Written(FActionStopSounds()), (Bytes{0x09}));
}

TEST(ActionCondition, StopSoundsBeforeTheClicksOwnAction)
{
    FActionCondition condition;
    condition.AddCondition(6);
    condition.AddAction(std::make_unique<FActionStopSounds>());
    condition.AddAction(std::make_unique<FActionPlay>());
    FSWFStream stream;
    condition.WriteLast(stream);
    EXPECT_EQ(Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount()), (Bytes{
                                                                                0x00, 0x00,  // the last record
                                                                                0x08, 0x00,  // OverDownToOverUp
                                                                                0x09,        // ActionStopSounds
                                                                                0x06,        // ActionPlay
                                                                                0x00,        // end of actions
                                                                            }));
}

TEST(ActionRecord, GotoFrame)
{
    EXPECT_EQ(Written(FActionGotoFrame(4)), (Bytes{
                                                0x81,        // ActionGotoFrame
                                                0x02, 0x00,  // length 2
                                                0x04, 0x00,  // frame index 4
                                            }));
}

TEST(ActionRecord, GetURLWithEmptyTarget)
{
    EXPECT_EQ(Written(FActionGetURL(FString("a"), FString(""))), (Bytes{
                                                                      0x83,        // ActionGetURL
                                                                      0x03, 0x00,  // length 3
                                                                      0x61, 0x00,  // "a" and its zero
                                                                      0x00,        // "" and its zero
                                                                  }));
}

TEST(ActionRecord, GetURLLengthCountsBothStrings)
{
    const Bytes bytes = Written(FActionGetURL(FString("ab"), FString("_top")));
    ASSERT_EQ(bytes.size(), 3u + 3u + 5u);
    EXPECT_EQ(bytes[1], 8);  // "ab" 0 "_top" 0
    EXPECT_EQ(bytes[2], 0);
}

TEST(ActionRecord, PushString)
{
    EXPECT_EQ(Written(FActionPush(FString(""))), (Bytes{
                                                     0x96,        // ActionPush
                                                     0x02, 0x00,  // length: type byte and the zero
                                                     0x00,        // type 0: string
                                                     0x00,        // "" and its zero
                                                 }));
    EXPECT_EQ(Written(FActionPush(FString("x"))), (Bytes{0x96, 0x03, 0x00, 0x00, 0x78, 0x00}));
}

TEST(ActionRecord, PushFloat)
{
    EXPECT_EQ(Written(FActionPush(1.0f)), (Bytes{
                                              0x96,                    // ActionPush
                                              0x05, 0x00,              // length 5
                                              0x01,                    // type 1: floating point
                                              0x00, 0x00, 0x80, 0x3F,  // 1.0 as IEEE single, little-endian
                                          }));
}

TEST(ActionRecord, StringActions)
{
    EXPECT_EQ(Written(FActionSetTarget(FString(""))), (Bytes{
                                                          0x8B,        // ActionSetTarget
                                                          0x01, 0x00,  // length 1
                                                          0x00,        // "" and its zero
                                                      }));
    EXPECT_EQ(Written(FActionGotoLabel(FString("ab"))), (Bytes{
                                                            0x8C,              // ActionGotoLabel
                                                            0x03, 0x00,        // length 3
                                                            0x61, 0x62, 0x00,  // "ab" and its zero
                                                        }));
}

TEST(ActionRecord, FixedLengthActions)
{
    EXPECT_EQ(Written(FActionGetURL2(2)), (Bytes{0x9A, 0x01, 0x00, /* method */ 0x02}));
    EXPECT_EQ(Written(FActionGotoFrame2(1)), (Bytes{0x9F, 0x01, 0x00, /* play */ 0x01}));
    EXPECT_EQ(Written(FActionIf(-3)), (Bytes{0x9D, 0x02, 0x00, /* offset -3 */ 0xFD, 0xFF}));
    EXPECT_EQ(Written(FActionJump(0x1234)), (Bytes{0x99, 0x02, 0x00, /* offset */ 0x34, 0x12}));
    EXPECT_EQ(Written(FActionWaitForFrame2(3)), (Bytes{0x8D, 0x01, 0x00, /* skip */ 0x03}));
    // The skip count keeps only its low 8 bits.
    EXPECT_EQ(Written(FActionWaitForFrame(7, 0x1FF)), (Bytes{
                                                          0x8A,        // ActionWaitForFrame
                                                          0x03, 0x00,  // length 3
                                                          0x07, 0x00,  // frame 7
                                                          0xFF,        // skip count, low byte
                                                      }));
}

TEST(ActionCondition, TransitionCodesSetOneBitEach)
{
    const uint16_t bits[] = {0x0100, 0x0080, 0x0040, 0x0020, 0x0010, 0x0008, 0x0004, 0x0002, 0x0001};
    for (int32_t code = 1; code <= 9; ++code) {
        FActionCondition condition;
        condition.AddCondition(code);
        EXPECT_EQ(condition.Flags(), bits[code - 1]) << "code " << code;
    }
}

// The named codes are the transitions they are named after, by the bit of
// each in the record's flags.
TEST(ActionCondition, NamedTransitionsSetTheirOwnBits)
{
    const std::pair<int32_t, uint16_t> named[] = {
        {FButtonTransition::kOverDownToIdle, 0x0100},    {FButtonTransition::kIdleToOverDown, 0x0080},
        {FButtonTransition::kOutDownToIdle, 0x0040},     {FButtonTransition::kOutDownToOverDown, 0x0020},
        {FButtonTransition::kOverDownToOutDown, 0x0010}, {FButtonTransition::kOverDownToOverUp, 0x0008},
        {FButtonTransition::kOverUpToOverDown, 0x0004},  {FButtonTransition::kOverUpToIdle, 0x0002},
        {FButtonTransition::kIdleToOverUp, 0x0001},
    };
    for (const auto& [code, bit] : named) {
        FActionCondition condition;
        condition.AddCondition(code);
        EXPECT_EQ(condition.Flags(), bit) << "code " << code;
    }
}

TEST(ActionCondition, CodesCombineAndUnknownCodesAreIgnored)
{
    FActionCondition condition;
    condition.AddCondition(1);
    condition.AddCondition(9);
    EXPECT_EQ(condition.Flags(), 0x0101);
    condition.AddCondition(0);
    condition.AddCondition(10);
    condition.AddCondition(-1);
    EXPECT_EQ(condition.Flags(), 0x0101);
}

TEST(ActionCondition, KeyCodeGoesAboveTheTransitions)
{
    FActionCondition condition;
    condition.AddCondition(6);
    condition.SetKeyCode(13);  // carriage return
    EXPECT_EQ(condition.Flags(), 0x1A08);
    EXPECT_EQ(Written(condition), (Bytes{
                                      0x05, 0x00,  // distance to the next record: 3 + 2
                                      0x08, 0x1A,  // OverDownToOverUp, key 13 in bits 9 to 15
                                      0x00,        // no actions
                                  }));
}

TEST(ActionCondition, LastRecordOfAButton)
{
    FActionCondition condition;
    condition.AddCondition(6);
    condition.AddAction(std::make_unique<FActionPlay>());
    FSWFStream stream;
    condition.WriteLast(stream);
    EXPECT_EQ(Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount()), (Bytes{
                                                                                0x00, 0x00,  // no further record
                                                                                0x08, 0x00,  // OverDownToOverUp
                                                                                0x06,        // ActionPlay
                                                                                0x00,        // end of actions
                                                                            }));
}

TEST(ActionCondition, RecordFollowedByAnother)
{
    FActionCondition condition;
    condition.AddCondition(6);
    condition.AddAction(std::make_unique<FActionPlay>());
    EXPECT_EQ(Written(condition), (Bytes{
                                      0x06, 0x00,  // 4 bytes follow, plus the size field itself
                                      0x08, 0x00,  // OverDownToOverUp
                                      0x06,        // ActionPlay
                                      0x00,        // end of actions
                                  }));
}

TEST(ActionCondition, ActionsAreWrittenInOrderAdded)
{
    FActionCondition condition;
    condition.AddCondition(6);
    condition.AddCondition(8);
    condition.AddAction(std::make_unique<FActionPlay>());
    condition.AddAction(std::make_unique<FActionGotoFrame>(2));
    condition.AddAction(std::make_unique<FActionStop>());
    EXPECT_EQ(condition.ActionCount(), 3u);
    EXPECT_EQ(Written(condition), (Bytes{
                                      0x0C, 0x00,                    // size field: 10 + 2
                                      0x0A, 0x00,                    // OverDownToOverUp | OverUpToIdle
                                      0x06,                          // ActionPlay
                                      0x81, 0x02, 0x00, 0x02, 0x00,  // ActionGotoFrame 2
                                      0x07,                          // ActionStop
                                      0x00,                          // end of actions
                                  }));
}

}  // namespace
