#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "hf/hfmovie.h"
#include "hf/hfobject.h"
#include "swf/fct.h"
#include "swf/fdt.h"
#include "support/movie_folder.h"
#include "support/swf_reader.h"

namespace {


// Defines one character: an empty DefineShape, the smallest define tag that
// readers of other makers accept, so that the tests' movies read cleanly there.
class TestDefine : public FDT {
public:
    TestDefine() : id(DrawCharacterID()) {}
    uint16_t ID() const override { return id; }
    void Write(FSWFStream& stream) override
    {
        FSWFStream body;
        body.WriteWord(id);
        body.WriteByte(0x00);  // bounds: a rectangle of 0-bit fields
        body.WriteByte(0x00);  // no fill styles
        body.WriteByte(0x00);  // no line styles
        body.WriteByte(0x00);  // 0 fill-index bits, 0 line-index bits
        body.WriteByte(0x00);  // end of the shape records
        stream.AppendTag(FTagCode::DefineShape, body.Size(), &body);
    }

private:
    uint16_t id;
};

// The simplest concrete object: one define tag, placed with an optional translation.
class TestObject : public HFObject {
public:
    void AddToFrame(HFFrame& frame, HFMovie& movie) override
    {
        if (!defined) {
            auto tag = std::make_unique<TestDefine>();
            SetID(tag->ID());
            frame.Tags().push_back(std::move(tag));
            defined = true;
        }
        if (!defineOnly) Place(frame, movie);
    }
    bool HasMatrix() const override { return translate; }
    std::unique_ptr<FMatrix> Matrix() const override
    {
        return std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, 1, 0);
    }

    bool translate = false;
};

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        FResetCharacterID();
        path = ::testing::TempDir() + "placement_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".swf";
    }
    void TearDown() override { swftest::Discard(path); }

    // Writes the movie and reads its frames back; `printed` gets standard output.
    std::vector<std::vector<swftest::Tag>> Write(std::string* printed = nullptr)
    {
        ::testing::internal::CaptureStdout();
        const bool written = movie.WriteMovie(path);
        const std::string output = ::testing::internal::GetCapturedStdout();
        if (printed) *printed = output;
        EXPECT_TRUE(written);
        return swftest::Frames(swftest::ParseFile(path));
    }

    HFMovie movie;
    std::string path;
};

// The display depth of a PlaceObject2 or RemoveObject tag.
uint16_t DisplayDepth(const swftest::Tag& tag)
{
    return tag.code == FTagCode::PlaceObject2 ? swftest::Word(tag, 1) : swftest::Word(tag, 2);
}

TEST_F(Placement, NewObject)
{
    TestObject object;
    EXPECT_EQ(object.Depth(), 1);
    EXPECT_FALSE(object.Defined());
    EXPECT_FALSE(object.DefineOnly());
    EXPECT_DEATH(object.ID(), "objectID >= 0");
}

TEST_F(Placement, DefinedOnceAndPlacedInEveryFrame)
{
    TestObject object;
    movie.Frame(0)->AddObject(object);
    movie.Frame(1)->AddObject(object);
    EXPECT_EQ(object.ID(), 1);
    EXPECT_EQ(movie.PlacementList(1).size(), 2u);

    const auto frames = Write();
    ASSERT_EQ(frames.size(), 2u);
    ASSERT_EQ(frames[0].size(), 2u);
    EXPECT_EQ(frames[0][0].code, FTagCode::DefineShape);
    EXPECT_EQ(frames[0][1].code, FTagCode::PlaceObject2);
    EXPECT_EQ(frames[0][1].body, (std::vector<uint8_t>{
                                     0x02,        // flags: character
                                     0x00, 0x00,  // display depth 0
                                     0x01, 0x00,  // character 1
                                 }));
    ASSERT_EQ(frames[1].size(), 1u);
    EXPECT_EQ(frames[1][0].code, FTagCode::PlaceObject2);
    EXPECT_EQ(DisplayDepth(frames[1][0]), 1);
}

TEST_F(Placement, PlacementCarriesTheObjectsMatrix)
{
    TestObject object;
    object.translate = true;
    movie.Frame(0)->AddObject(object);
    const auto frames = Write();
    ASSERT_EQ(frames.at(0).size(), 2u);
    EXPECT_EQ(frames[0][1].body, (std::vector<uint8_t>{
                                     0x06,        // flags: matrix, character
                                     0x00, 0x00,  // display depth 0
                                     0x01, 0x00,  // character 1
                                     0x04, 0x80,  // no scale, no rotation, 2-bit translation 1, 0
                                 }));
}

TEST_F(Placement, RemovalClosesTheLatestPlacement)
{
    TestObject object;
    TestObject other;
    movie.Frame(0)->AddObject(object);
    movie.Frame(1)->AddObject(object);
    movie.Frame(1)->AddObject(other);
    movie.Frame(2)->RemoveObject(object);
    movie.Frame(3)->AddObject(object);  // a placement after the removal is a new one

    const auto frames = Write();
    ASSERT_EQ(frames.size(), 4u);
    ASSERT_EQ(frames[2].size(), 1u);
    const swftest::Tag& remove = frames[2][0];
    EXPECT_EQ(remove.code, FTagCode::RemoveObject);
    EXPECT_EQ(swftest::Word(remove, 0), 1);       // character 1
    EXPECT_EQ(DisplayDepth(remove), DisplayDepth(frames[1][0]));  // the frame-1 placement
    EXPECT_EQ(DisplayDepth(frames[0][1]), 0);
    EXPECT_EQ(DisplayDepth(frames[1][0]), 1);
    EXPECT_EQ(DisplayDepth(frames[3][0]), 2);
    EXPECT_EQ(DisplayDepth(frames[1][2]), 3);  // the other object, ID 2
}

TEST_F(Placement, DefineOnlyObjectsAreNeverPlaced)
{
    TestObject object;
    object.SetDefineOnly(true);
    movie.Frame(0)->AddObject(object);
    movie.Frame(1)->AddObject(object);
    movie.Frame(1)->AddObject(object);
    EXPECT_TRUE(object.Defined());

    std::string printed;
    const auto frames = Write(&printed);
    ASSERT_EQ(frames.size(), 2u);
    ASSERT_EQ(frames[0].size(), 1u);
    EXPECT_EQ(frames[0][0].code, FTagCode::DefineShape);
    EXPECT_TRUE(frames[1].empty());
    EXPECT_EQ(printed, "Depth sorting: 0 shapes\nDepth sorting: complete\n");
}

TEST_F(Placement, RequestedDepthOrdersWhateverTheOrderOfAddition)
{
    TestObject high;
    TestObject low;
    high.SetDepth(500);
    low.SetDepth(2);
    movie.Frame(0)->AddObject(high);
    movie.Frame(0)->AddObject(low);

    std::string printed;
    const auto frames = Write(&printed);
    ASSERT_EQ(frames.at(0).size(), 4u);
    EXPECT_EQ(DisplayDepth(frames[0][1]), 1);  // depth 500
    EXPECT_EQ(DisplayDepth(frames[0][3]), 0);  // depth 2
    EXPECT_EQ(printed, "Depth sorting: 2 shapes\nDepth sorting: complete\n");
}

TEST_F(Placement, EqualDepthsStackByCharacterID)
{
    TestObject first;
    TestObject second;
    first.SetDefineOnly(true);
    movie.Frame(0)->AddObject(first);  // takes ID 1 without a placement
    movie.Frame(0)->AddObject(second);  // ID 2, placed first
    first.SetDefineOnly(false);
    movie.Frame(1)->AddObject(first);

    const auto frames = Write();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(swftest::Word(frames[0][2], 3), 2);  // character 2 ...
    EXPECT_EQ(DisplayDepth(frames[0][2]), 1);      // ... above character 1
    EXPECT_EQ(swftest::Word(frames[1][0], 3), 1);
    EXPECT_EQ(DisplayDepth(frames[1][0]), 0);
}

TEST_F(Placement, DepthCountsFromThePlacementOn)
{
    TestObject object;
    TestObject middle;
    middle.SetDepth(5);
    object.SetDepth(9);
    movie.Frame(0)->AddObject(object);
    object.SetDepth(1);
    movie.Frame(1)->AddObject(object);
    movie.Frame(1)->AddObject(middle);

    const auto frames = Write();
    EXPECT_EQ(DisplayDepth(frames.at(0).at(1)), 2);  // placed at 9
    EXPECT_EQ(DisplayDepth(frames.at(1).at(0)), 0);  // placed at 1
    EXPECT_EQ(DisplayDepth(frames.at(1).at(2)), 1);  // the middle one at 5
}

TEST_F(Placement, BackgroundColourStandsWhereItWasSet)
{
    TestObject object;
    movie.Frame(0)->AddObject(object);
    movie.Frame(0)->SetBackgroundColor({0xCD, 0xCD, 0xCD, 0xFF});

    const auto frames = Write();
    ASSERT_EQ(frames.at(0).size(), 3u);
    EXPECT_EQ(frames[0][1].code, FTagCode::PlaceObject2);
    EXPECT_EQ(frames[0][2].code, FTagCode::SetBackgroundColor);
    EXPECT_EQ(frames[0][2].body, (std::vector<uint8_t>{0xCD, 0xCD, 0xCD}));  // RGB, no alpha
}

TEST_F(Placement, EmptyMovieStillPrintsBothLines)
{
    std::string printed;
    const auto frames = Write(&printed);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(printed, "Depth sorting: 0 shapes\nDepth sorting: complete\n");
}

TEST_F(Placement, ObjectMayBeDestroyedRightAfterAdding)
{
    // The movie keeps tags and records only: an object may go at once.
    {
        TestObject object;
        movie.Frame(0)->AddObject(object);
    }
    const auto frames = Write();
    EXPECT_EQ(frames.at(0).size(), 2u);
}

TEST_F(Placement, WritingStartsTheNextMovieAfresh)
{
    TestObject object;
    movie.Frame(0)->AddObject(object);
    Write();
    EXPECT_TRUE(movie.PlacementList(1).empty());
    std::string printed;
    Write(&printed);
    EXPECT_EQ(printed, "Depth sorting: 0 shapes\nDepth sorting: complete\n");
}

TEST_F(Placement, RemovingWhatWasNeverPlacedStops)
{
    TestObject object;
    object.SetDefineOnly(true);
    movie.Frame(0)->AddObject(object);
    EXPECT_DEATH(movie.Frame(1)->RemoveObject(object), "arList->size\\(\\) > 0");
}

TEST_F(Placement, RemovingTwiceStops)
{
    TestObject object;
    movie.Frame(0)->AddObject(object);
    movie.Frame(1)->RemoveObject(object);
    EXPECT_DEATH(movie.Frame(2)->RemoveObject(object), "ar.remove == NULL");
}

TEST_F(Placement, RemovingARecordWithoutPlacementStops)
{
    TestObject object;
    object.SetID(7);
    movie.PlacementList(7).push_back({nullptr, nullptr, 1});
    EXPECT_DEATH(movie.Frame(0)->RemoveObject(object), "ar.place");
}

// Every placement gets a display depth of its own, and depths have 16 bits:
// 65,536 placements fill them, one more used to wrap to depth 0 again.
TEST_F(Placement, MorePlacementsThanDisplayDepthsStop)
{
    TestObject object;
    HFFrame& frame = *movie.Frame(0);
    for (int i = 0; i < 0x10000; ++i) frame.AddObject(object);
    const auto frames = Write();
    ASSERT_EQ(frames.at(0).size(), 0x10001u);
    EXPECT_EQ(DisplayDepth(frames[0].back()), 0xFFFF);

    for (int i = 0; i < 0x10001; ++i) movie.Frame(0)->AddObject(object);
    EXPECT_DEATH(movie.WriteMovie(path), "placements <= 65536 \\(display depths are 16-bit\\)");
}

}  // namespace
