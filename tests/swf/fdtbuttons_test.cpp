#include "swf/fdtbuttons.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount());
}

std::unique_ptr<FButtonRecord2> StateRecord(int state, uint16_t characterID)
{
    return std::make_unique<FButtonRecord2>(state == 3, state == 2, state == 1, state == 0, characterID, 1, FMatrix(),
                                            std::make_unique<FCXFormWAlpha>(false, false, 0, 0, 0, 0, 0, 0, 0, 0));
}

// A DefineButton2 with one state record per state, and a condition record for
// the click transition holding `action`.
Bytes ClickButton(std::unique_ptr<FActionRecord> action)
{
    FResetCharacterID();
    FDTDefineButton2 button(false);
    for (int state = 0; state < 4; ++state) button.AddButtonRecord(StateRecord(state, 5));
    auto condition = std::make_unique<FActionCondition>();
    condition->AddCondition(6);
    condition->AddAction(std::move(action));
    button.AddCondition(std::move(condition));
    return Written(button);
}

TEST(ButtonRecord, StateRecordWithIdentityMatrixAndEmptyTransform)
{
    FSWFStream stream;
    StateRecord(0, 5)->Write(stream);
    EXPECT_EQ(Bytes(stream.Buffer(), stream.Buffer() + stream.ByteCount()), (Bytes{
                                                                                 0x01,        // reserved, up flag
                                                                                 0x05, 0x00,  // character ID
                                                                                 0x01, 0x00,  // depth
                                                                                 0x00,        // identity matrix
                                                                                 0x04,        // empty transform
                                                                             }));
}

TEST(DefineButton2, ActionOffsetAndClickCondition)
{
    const Bytes play = ClickButton(std::make_unique<FActionPlay>());
    ASSERT_EQ(play.size(), 2u + 40u);
    EXPECT_EQ(play[0], (34 << 6 | 40) & 0xFF);  // short header, code 34, length 40
    EXPECT_EQ(play[1], (34 << 6 | 40) >> 8);
    EXPECT_EQ(Bytes(play.begin() + 2, play.begin() + 7), (Bytes{
                                                             0x01, 0x00,  // character ID 1
                                                             0x00,        // not tracked as a menu
                                                             31, 0x00,    // action offset: 4 x 7 + 1 + 2
                                                         }));
    EXPECT_EQ(Bytes(play.begin() + 7, play.begin() + 14), (Bytes{0x01, 0x05, 0x00, 0x01, 0x00, 0x00, 0x04}));
    EXPECT_EQ(play[28], 0x08);  // the fourth state record: hit test
    EXPECT_EQ(Bytes(play.end() - 6, play.end()), (Bytes{
                                                     0x00, 0x00,  // last condition record: size 0
                                                     0x08, 0x00,  // OverDownToOverUp
                                                     0x06,        // Play
                                                     0x00,        // end of actions
                                                 }));

    const Bytes gotoFrame = ClickButton(std::make_unique<FActionGotoFrame>(3));
    ASSERT_EQ(gotoFrame.size(), 2u + 44u);
    EXPECT_EQ(Bytes(gotoFrame.end() - 6, gotoFrame.end()), (Bytes{0x81, 0x02, 0x00, 0x03, 0x00, 0x00}));
}

TEST(DefineButton2, SeveralConditionRecordsChainTheirSizes)
{
    FResetCharacterID();
    FDTDefineButton2 button(true);
    button.AddButtonRecord(StateRecord(0, 2));
    for (int code : {6, 8}) {
        auto condition = std::make_unique<FActionCondition>();
        condition->AddCondition(code);
        condition->AddAction(std::make_unique<FActionStop>());
        button.AddCondition(std::move(condition));
    }
    const Bytes bytes = Written(button);
    // Body: ID, menu flag 1, offset 10, one record, end; then a record of
    // 6 bytes that points 6 bytes on, and the last one.
    EXPECT_EQ(bytes[4], 0x01);
    EXPECT_EQ(bytes[5], 10);
    EXPECT_EQ(Bytes(bytes.end() - 12, bytes.end()), (Bytes{
                                                        0x06, 0x00, 0x08, 0x00, 0x07, 0x00,  // to the next: 6 bytes
                                                        0x00, 0x00, 0x02, 0x00, 0x07, 0x00,  // the last: size 0
                                                    }));
}

TEST(DefineButton2, WithoutConditionsTheOffsetIsZero)
{
    FResetCharacterID();
    FDTDefineButton2 button(false);
    button.AddButtonRecord(StateRecord(0, 2));
    const Bytes bytes = Written(button);
    EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.end()), (Bytes{0x01, 0x00, 0x00, 0x00, 0x00,  // ID, flag, offset 0
                                                            0x01, 0x02, 0x00, 0x01, 0x00, 0x00, 0x04, 0x00}));
}

TEST(DefineButton, RecordsThenActions)
{
    FResetCharacterID();
    FDTDefineButton button;
    button.AddButtonRecord(std::make_unique<FButtonRecord1>(true, false, false, true, 9, 2, FMatrix()));
    button.AddAction(std::make_unique<FActionPlay>());
    EXPECT_EQ(button.ID(), 1);
    EXPECT_EQ(Written(button), (Bytes{
                                   0xCB, 0x01,                          // code 7, length 11
                                   0x01, 0x00,                          // character ID
                                   0x09, 0x09, 0x00, 0x02, 0x00, 0x00,  // hit test and up, ID 9, depth 2, identity
                                   0x00,                                // end of records
                                   0x06,                                // Play
                                   0x00,                                // end of actions
                               }));
}

TEST(DefineButtonCxformAndSound, DefineNoCharacter)
{
    FResetCharacterID();
    FDTDefineButtonCxform cxform(7, std::make_unique<FCXFormNoAlpha>(false, false, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Written(cxform), (Bytes{0xC3, 0x05, 0x07, 0x00, 0x04}));  // code 23, length 3

    auto info = [] { return FSoundInfo(0, false, false, false, false, 0, 0, 0, 0, std::nullopt); };
    FDTDefineButtonSound sound(7, 1, info(), 2, info(), 3, info(), 4, info());
    const Bytes bytes = Written(sound);
    // Button ID, then four sound IDs each with its one-byte sound info.
    EXPECT_EQ(bytes.size(), 2u + 2u + 4u * (2u + 1u));
    EXPECT_EQ(bytes[0], (17 << 6 | 14) & 0xFF);
    EXPECT_EQ(NextCharacterID(), 1);  // neither drew an ID
}

using ButtonDeathTest = ::testing::Test;

TEST(ButtonDeathTest, TagsWithoutCharacterHaveNoID)
{
    FDTDefineButtonCxform cxform(7, std::make_unique<FCXFormNoAlpha>(false, false, 0, 0, 0, 0, 0, 0));
    EXPECT_DEATH(cxform.ID(), "Assertion failed: 0,");
}

}  // namespace
