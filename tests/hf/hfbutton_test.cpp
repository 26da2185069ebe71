#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "hf/hfaction.h"
#include "hf/hfbitmap.h"
#include "hf/hfbutton.h"
#include "hf/hfmovie.h"
#include "shapetags.h"
#include "support/movie_folder.h"
#include "swf/fct.h"

namespace {

using namespace shapetest;

const std::array<uint8_t, 4> kJPEG = {0xFF, 0xD8, 0xFF, 0xD9};

// DefineButton2 body: ID, track-as-menu flags, action offset, four state
// records of seven bytes, the end byte, then the condition records.
constexpr size_t kStateRecords = 5;
constexpr size_t kStateRecordSize = 7;
constexpr size_t kConditions = kStateRecords + 4 * kStateRecordSize + 1;

class Objects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        FResetCharacterID();
    }
    void TearDown() override { FResetCharacterID(); }

    HFTagList& Tags(int32_t frame = 0) { return movie.Frame(frame)->Tags(); }
    std::vector<swftest::Tag> Read(int32_t frame = 0)
    {
        std::vector<swftest::Tag> read;
        for (auto& tag : Tags(frame)) read.push_back(ReadTag(*tag));
        return read;
    }
    // The condition records of the button defined in frame 0.
    std::vector<uint8_t> Conditions()
    {
        for (const swftest::Tag& tag : Read())
            if (tag.code == FTagCode::DefineButton2) return {tag.body.begin() + kConditions, tag.body.end()};
        ADD_FAILURE() << "no DefineButton2";
        return {};
    }

    HFMovie movie;
};

TEST_F(Objects, ButtonDefinesSharedStatesOnceAndPlacesOnlyItself)
{
    HFRectangle face(0, 0, 99, 99);
    HFRectangle hit(0, 0, 49, 49);
    HFButton button(face, face, face, hit);
    button.SetDepth(500);
    movie.Frame(0)->AddObject(button);

    const std::vector<swftest::Tag> tags = Read();
    ASSERT_EQ(tags.size(), 4u);
    EXPECT_EQ(tags[0].code, FTagCode::DefineShape3);
    EXPECT_EQ(tags[1].code, FTagCode::DefineShape3);
    EXPECT_EQ(tags[2].code, FTagCode::DefineButton2);
    EXPECT_EQ(tags[3].code, FTagCode::PlaceObject2);
    EXPECT_TRUE(face.DefineOnly());
    EXPECT_TRUE(hit.DefineOnly());

    const std::vector<uint8_t>& body = tags[2].body;
    EXPECT_EQ(swftest::Little(body, 0, 2), 3u);  // the button's ID
    EXPECT_EQ(button.ID(), 3);
    EXPECT_EQ(body[2], 0x00);                    // not tracked as a menu
    EXPECT_EQ(swftest::Little(body, 3, 2), 31u);  // action offset
    const uint8_t stateFlags[] = {0x01, 0x02, 0x04, 0x08};  // up, over, down, hit
    const uint8_t stateIDs[] = {1, 1, 1, 2};
    for (size_t i = 0; i < 4; ++i) {
        const size_t at = kStateRecords + i * kStateRecordSize;
        EXPECT_EQ(std::vector<uint8_t>(body.begin() + at, body.begin() + at + kStateRecordSize),
                  (std::vector<uint8_t>{
                      stateFlags[i],     // one state
                      stateIDs[i], 0x00,  // its character
                      0x01, 0x00,        // depth 1
                      0x00,              // identity matrix
                      0x04,              // colour transform: no add, no multiply, 1 bit
                  }))
            << "state " << i;
    }
    EXPECT_EQ(body[kConditions - 1], 0x00);  // end of the state records

    // The placement: the button at its depth, without a matrix.
    EXPECT_EQ(tags[3].body, (std::vector<uint8_t>{0x02, 0xF4, 0x01, 0x03, 0x00}));

    // In a later frame only the placement.
    movie.Frame(1)->AddObject(button);
    ASSERT_EQ(Tags(1).size(), 1u);
    EXPECT_EQ(ReadTag(*Tags(1)[0]).code, FTagCode::PlaceObject2);
}

TEST_F(Objects, ButtonIsPlacedWhateverItsOwnDefineOnlyFlag)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.SetDefineOnly(true);
    movie.Frame(0)->AddObject(button);
    ASSERT_EQ(Tags().size(), 3u);  // the face, the button, its placement
    EXPECT_EQ(ReadTag(*Tags()[2]).code, FTagCode::PlaceObject2);
}

TEST_F(Objects, ButtonWithoutActionsWritesOneEmptyCondition)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    movie.Frame(0)->AddObject(button);
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{
                                0x00, 0x00,  // size 0: the last record
                                0x00, 0x00,  // no transitions
                                0x00,        // end of actions
                            }));
}

TEST_F(Objects, GotoFrameOnRelease)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.AddAction(HFActionGotoFrame(3), 6);
    movie.Frame(0)->AddObject(button);
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{
                                0x00, 0x00,              // size 0: the last record
                                0x08, 0x00,              // OverDownToOverUp
                                0x81, 0x02, 0x00, 0x03, 0x00,  // GotoFrame 3
                                0x00,                    // end of actions
                            }));
}

// The record's frame field has 16 bits: a frame index beyond them, or below
// the first frame, would jump somewhere else.
TEST_F(Objects, GotoFrameOutsideTheRecordsFieldStops)
{
    FCTDoAction doAction;
    HFActionGotoFrame(0xFFFF).AddToDoAction(doAction);
    EXPECT_DEATH(HFActionGotoFrame(0x10000).AddToDoAction(doAction), "frameIndex >= 0 && frameIndex <= 0xFFFF");
    EXPECT_DEATH(HFActionGotoFrame(-1).AddToDoAction(doAction), "frameIndex >= 0 && frameIndex <= 0xFFFF");
}

TEST_F(Objects, AllActionsShareOneConditionRecord)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.AddAction(HFActionPlay(), 6);
    button.AddAction(HFActionStop(), 8);
    movie.Frame(0)->AddObject(button);
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{
                                0x00, 0x00,  // the last record
                                0x0A, 0x00,  // OverDownToOverUp | OverUpToOverDown
                                0x06,        // Play
                                0x07,        // Stop
                                0x00,        // end of actions
                            }));
}

TEST_F(Objects, StopSoundsOnClickAndKeyAndInAFrame)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.AddAction(HFActionStopSounds(), 6);
    button.AddAction(HFActionPlay(), 6);
    button.AddKeyAction(HFActionStopSounds(), 2);
    button.AddKeyAction(HFActionPlay(), 2);
    movie.Frame(0)->AddObject(button);
    movie.Frame(1)->AddAction(HFActionStopSounds());
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{
                                0x07, 0x00,  // size 7
                                0x08, 0x00,  // OverDownToOverUp
                                0x09,        // StopSounds
                                0x06,        // Play
                                0x00,        // end of actions
                                0x00, 0x00,  // the last record
                                0x00, 0x04,  // key 2
                                0x09,        // StopSounds
                                0x06,        // Play
                                0x00,        // end of actions
                            }));
    ASSERT_EQ(Tags(1).size(), 1u);
    EXPECT_EQ(ReadTag(*Tags(1)[0]).body, (std::vector<uint8_t>{0x09, 0x00}));  // StopSounds, end
}

TEST_F(Objects, UnknownTransitionCodesAddNoBitButKeepTheAction)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.AddAction(HFActionPlay(), 0);
    button.AddAction(HFActionStop(), 10);
    movie.Frame(0)->AddObject(button);
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x00, 0x06, 0x07, 0x00}));
}

TEST_F(Objects, EachKeyGetsARecordAfterThePointerRecord)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    button.AddAction(HFActionPlay(), 6);
    button.AddKeyAction(HFActionPlay(), 2);
    button.AddKeyAction(HFActionPlay(), 17);
    button.AddKeyAction(HFActionStop(), 2);  // joins the record of its key
    movie.Frame(0)->AddObject(button);
    EXPECT_EQ(Conditions(), (std::vector<uint8_t>{
                                0x06, 0x00,  // size 6: the next record follows
                                0x08, 0x00,  // OverDownToOverUp
                                0x06,        // Play
                                0x00,        // end of actions
                                0x07, 0x00,  // size 7
                                0x00, 0x04,  // key 2 (Right) in bits 9 to 15
                                0x06,        // Play
                                0x07,        // Stop
                                0x00,        // end of actions
                                0x00, 0x00,  // size 0: the last record
                                0x00, 0x22,  // key 17 (Page Down)
                                0x06,        // Play
                                0x00,        // end of actions
                            }));
}

TEST_F(Objects, KeyCodesOutsideSevenBitsAndLateKeyActionsStop)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    EXPECT_DEATH(button.AddKeyAction(HFActionPlay(), 0), "keyCode >= 1 && keyCode <= 127");
    EXPECT_DEATH(button.AddKeyAction(HFActionPlay(), 128), "keyCode >= 1 && keyCode <= 127");
    button.AddKeyAction(HFActionPlay(), 127);
    movie.Frame(0)->AddObject(button);
    EXPECT_DEATH(button.AddKeyAction(HFActionPlay(), 1), "condition");
}

TEST_F(Objects, ActionsAfterTheButtonsDefinitionStop)
{
    HFRectangle face(0, 0, 99, 99);
    HFButton button(face, face, face, face);
    movie.Frame(0)->AddObject(button);
    EXPECT_DEATH(button.AddAction(HFActionPlay(), 6), "condition");
}

TEST_F(Objects, EachFrameActionGetsItsOwnDoAction)
{
    const HFActionStop stop;
    HFFrame& frame = *movie.Frame(0);
    frame.AddAction(stop);
    frame.AddAction(HFActionGetURL("a.htm", "_top"));
    frame.AddAction(HFActionGetURL("b"));
    movie.Frame(4)->AddAction(stop);  // one action object, many frames

    const std::vector<swftest::Tag> tags = Read();
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].code, FTagCode::DoAction);
    EXPECT_EQ(tags[0].body, (std::vector<uint8_t>{0x07, 0x00}));  // Stop, end
    EXPECT_EQ(tags[1].body, (std::vector<uint8_t>{
                                0x83, 0x0B, 0x00,                   // GetURL, 11 bytes
                                'a', '.', 'h', 't', 'm', 0x00,      // URL
                                '_', 't', 'o', 'p', 0x00,           // target
                                0x00,                               // end
                            }));
    EXPECT_EQ(tags[2].body, (std::vector<uint8_t>{0x83, 0x03, 0x00, 'b', 0x00, 0x00, 0x00}));
    ASSERT_EQ(Tags(4).size(), 1u);
    EXPECT_EQ(ReadTag(*Tags(4)[0]).body, (std::vector<uint8_t>{0x07, 0x00}));
}

TEST_F(Objects, JPEGBitmapIsAnImageRectangleWithoutOutline)
{
    HFBitmap bitmap(20, 20, 14400, 10800, 720, 540, kJPEG.data(), kJPEG.size());
    movie.Frame(0)->AddObject(bitmap);
    const std::vector<swftest::Tag> tags = Read();
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].code, FTagCode::DefineBitsJPEG2);
    EXPECT_TRUE(tags[0].longHeader);
    EXPECT_EQ(swftest::Little(tags[0].body, 0, 2), 1u);  // drawn at construction
    EXPECT_EQ(tags[1].code, FTagCode::DefineShape3);
    EXPECT_EQ(tags[2].code, FTagCode::PlaceObject2);

    const Shape shape = ReadShape3(tags[1].body);
    EXPECT_EQ(shape.id, 2u);
    EXPECT_TRUE(shape.lines.empty());
    ASSERT_EQ(shape.fills.size(), 2u);
    EXPECT_EQ(shape.fills[1].bitmapID, 1u);
    EXPECT_EQ(shape.fills[1].matrix.scaleX, 1308990);  // 14381 x 65536 / 720
    EXPECT_EQ(shape.fills[1].matrix.scaleY, 1308414);  // 10781 x 65536 / 540
    EXPECT_EQ(shape.fills[1].matrix.translateX, 20);
    EXPECT_EQ(shape.fills[1].matrix.translateY, 20);
}

TEST_F(Objects, LosslessBitmapTagFollowsTheAlphaFlag)
{
    const std::array<uint8_t, 4> pixel = {0xFF, 0x10, 0x20, 0x30};
    HFBitmap opaque(0, 0, 19, 19, 5, 1, 1, 0, false, pixel.data(), nullptr);
    HFBitmap translucent(0, 0, 19, 19, 5, 1, 1, 0, true, pixel.data(), nullptr);
    movie.Frame(0)->AddObject(opaque);
    movie.Frame(0)->AddObject(translucent);
    const std::vector<swftest::Tag> tags = Read();
    ASSERT_EQ(tags.size(), 6u);
    EXPECT_EQ(tags[0].code, FTagCode::DefineBitsLossless);
    EXPECT_EQ(tags[3].code, FTagCode::DefineBitsLossless2);
    EXPECT_TRUE(ReadShape3(tags[4].body).lines.empty());
}

TEST_F(Objects, LosslessBitmapFromCompressedBytes)
{
    // The tag takes the caller's stream over; the shape fills with it as with
    // a bitmap it compressed itself.
    const std::vector<uint8_t> stream = {0x78, 0x01, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};
    HFBitmap translucent(0, 0, 39, 19, 5, 2, 1, 0, true, std::vector<uint8_t>(stream));
    movie.Frame(0)->AddObject(translucent);
    const std::vector<swftest::Tag> tags = Read();
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].code, FTagCode::DefineBitsLossless2);
    EXPECT_EQ(std::vector<uint8_t>(tags[0].body.begin() + 7, tags[0].body.end()), stream);
    const Shape shape = ReadShape3(tags[1].body);
    ASSERT_EQ(shape.fills.size(), 2u);
    EXPECT_EQ(shape.fills[1].bitmapID, swftest::Little(tags[0].body, 0, 2));
    EXPECT_EQ(shape.fills[1].matrix.scaleX, 40 * 65536 / 2);
    EXPECT_TRUE(shape.lines.empty());
}

TEST_F(Objects, SlideWithButtonsReadsBackFromTheFile)
{
    const std::string path = ::testing::TempDir() + "objects_slide.swf";
    HFBitmap slide(20, 20, 14400, 10800, 720, 540, kJPEG.data(), kJPEG.size());
    HFRectangle face(0, 0, 399, 399);
    HFButton forward(face, face, face, face);
    forward.AddAction(HFActionPlay(), 6);
    forward.SetDepth(500);
    movie.Frame(0)->AddObject(slide);
    movie.Frame(0)->AddObject(forward);
    movie.Frame(0)->AddAction(HFActionStop());
    movie.Frame(1)->AddObject(forward);

    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(movie.WriteMovie(path));
    ::testing::internal::GetCapturedStdout();
    const swftest::Movie read = swftest::ParseFile(path);
    swftest::Discard(path);

    std::vector<FTagCode> codes;
    for (const swftest::Tag& tag : read.Frame(0)) codes.push_back(tag.code);
    using enum FTagCode;
    EXPECT_EQ(codes, (std::vector<FTagCode>{DefineBitsJPEG2, DefineShape3, PlaceObject2, DefineShape3, DefineButton2,
                                            PlaceObject2, DoAction}));
    ASSERT_EQ(read.Frame(1).size(), 1u);
    // Display depths: the slide below the button, each placement its own.
    EXPECT_EQ(swftest::Little(read.Frame(0)[2].body, 1, 2), 0u);
    EXPECT_EQ(swftest::Little(read.Frame(0)[5].body, 1, 2), 1u);
    EXPECT_EQ(swftest::Little(read.Frame(1)[0].body, 1, 2), 2u);
}

}  // namespace
