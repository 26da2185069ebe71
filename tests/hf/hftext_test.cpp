#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfmovie.h"
#include "hf/hftext.h"
#include "shapetags.h"

namespace {

using namespace shapetest;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kDefineEditText = 37;

class TextObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        ResetCharacterID();
    }
    void TearDown() override { ResetCharacterID(); }

    std::vector<swftest::Tag> Read(int32_t frame = 0)
    {
        std::vector<swftest::Tag> read;
        for (auto& tag : movie.Frame(frame)->Tags()) read.push_back(ReadTag(*tag));
        return read;
    }

    HFMovie movie;
};

Bytes Terminated(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A DefineEditText body taken apart: the rectangle is read bit by bit, the
// rest is kept as bytes.
struct EditTextBody {
    uint32_t id = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    Bytes rest;  // from the first flag byte on
};

EditTextBody ReadEditText(const swftest::Tag& tag)
{
    EXPECT_EQ(tag.code, kDefineEditText);
    EditTextBody read;
    read.id = swftest::Little(tag.body, 0, 2);
    swftest::BitReader bits(tag.body, 2);
    const uint32_t n = bits.Unsigned(5);
    read.xmin = bits.Signed(n);
    read.xmax = bits.Signed(n);
    read.ymin = bits.Signed(n);
    read.ymax = bits.Signed(n);
    read.rest.assign(tag.body.begin() + static_cast<long>(bits.ByteOffset()), tag.body.end());
    return read;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ---------------------------------------------------------------------------
// Edit text

TEST_F(TextObjects, ClosingNoticeIsAReadOnlyRedFieldAtDepth1000)
{
    const std::string closing = "\nMade with corvanex";
    {
        // A 300 x 200-pixel slide, built the way the converter builds it.
        auto notice = std::make_unique<HFEditText>(20, 20, 300 * 20, 200 * 20, closing);
        notice->SetSolidFill({0xC0, 0xC0, 0xC0, 0xFF});
        notice->SetEditable(false);
        notice->ClearFill();
        notice->SetTextColor(FColor(0xff0000ffu, true));
        notice->SetDepth(1000);
        movie.Frame(0)->AddObject(*notice);
    }  // destroyed right after its addition

    const auto tags = Read();
    ASSERT_EQ(tags.size(), 2u);
    const EditTextBody body = ReadEditText(tags[0]);
    EXPECT_EQ(body.id, 1u);
    EXPECT_EQ(body.xmin, 20);
    EXPECT_EQ(body.xmax, 6000);
    EXPECT_EQ(body.ymin, 20);
    EXPECT_EQ(body.ymax, 4000);
    EXPECT_EQ(body.rest, Concat({
                             {
                                 0x8C,                    // has text, read only, has text colour
                                 0x28,                    // has layout, border
                                 0xFF, 0x00, 0x00, 0xFF,  // text colour: red, opaque
                                 0x00,                    // align left
                                 0x00, 0x00,              // left margin
                                 0x00, 0x00,              // right margin
                                 0x00, 0x00,              // indent
                                 0x28, 0x00,              // leading 40
                             },
                             Terminated("TextField_20_20_6000_4000_1000"),  // variable name
                             Terminated(closing),                           // initial text
                         }));

    EXPECT_EQ(tags[1].code, kPlaceObject2);
    EXPECT_EQ(tags[1].body, (Bytes{
                                0x02,        // has character, no matrix
                                0xE8, 0x03,  // requested depth 1000, until depth sorting
                                0x01, 0x00,  // character 1
                            }));
    ASSERT_EQ(movie.PlacementList(1).size(), 1u);
    EXPECT_EQ(movie.PlacementList(1)[0].depth, 1000u);
}

TEST_F(TextObjects, EditTextDefaults)
{
    HFEditText field(0, 0, 2000, 400, "Hi");
    EXPECT_TRUE(field.Editable());
    EXPECT_FALSE(field.WordWrap());
    EXPECT_EQ(field.FontHeight(), 240);
    field.SetFontHeight(400);  // kept, but the field names no font
    movie.Frame(0)->AddObject(field);

    const EditTextBody body = ReadEditText(Read()[0]);
    EXPECT_EQ(body.rest, Concat({
                             {
                                 0x84,                    // has text, has text colour; editable
                                 0x28,                    // has layout, border
                                 0x00, 0x00, 0x00, 0xFF,  // opaque black; no font ID or height before it
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00,  // layout
                             },
                             Terminated("TextField_0_0_2000_400_1"),
                             Terminated("Hi"),
                         }));
}

TEST_F(TextObjects, EditTextWordWrapSetsItsFlag)
{
    HFEditText field(0, 0, 100, 100, "");
    field.SetWordWrap(true);
    movie.Frame(0)->AddObject(field);
    const EditTextBody body = ReadEditText(Read()[0]);
    EXPECT_EQ(body.rest.at(0), 0xC4);  // has text, word wrap, has text colour
    EXPECT_EQ(body.rest.back(), 0x00);  // the empty text is its terminator alone
}

TEST_F(TextObjects, EditTextVariableNameFollowsRectangleAndDepth)
{
    HFEditText wide(0, 0, 2000, 400, "");
    wide.SetDepth(7);
    EXPECT_EQ(wide.VariableName(), "TextField_0_0_2000_400_7");

    // xmin, ymin, xmax, ymax in the name; the rectangle record holds xmin,
    // xmax, ymin, ymax.
    HFEditText small(10, 20, 30, 40, "");
    EXPECT_EQ(small.VariableName(), "TextField_10_20_30_40_1");
    movie.Frame(0)->AddObject(small);
    const EditTextBody body = ReadEditText(Read()[0]);
    EXPECT_EQ(body.xmin, 10);
    EXPECT_EQ(body.xmax, 30);
    EXPECT_EQ(body.ymin, 20);
    EXPECT_EQ(body.ymax, 40);
    const Bytes name = Terminated("TextField_10_20_30_40_1");
    ASSERT_GE(body.rest.size(), 15 + name.size());
    EXPECT_EQ(Bytes(body.rest.begin() + 15, body.rest.begin() + 15 + static_cast<long>(name.size())), name);

    HFEditText negative(-5, -6, 7, 8, "");
    negative.SetDepth(65535);
    EXPECT_EQ(negative.VariableName(), "TextField_-5_-6_7_8_65535");
}

TEST_F(TextObjects, EditTextAddedAgainNeedsNewColourAndText)
{
    HFEditText field(0, 0, 100, 100, "one");
    movie.Frame(0)->AddObject(field);
    EXPECT_DEATH(movie.Frame(1)->AddObject(field),
                 "Assertion failed: textColor && text \\(an edit text's colour and text went to its "
                 "first tag; set both again before adding it again\\)");
    field.SetText("two");
    EXPECT_DEATH(movie.Frame(1)->AddObject(field), "textColor && text");

    // With both given again it is a new field with a new ID.
    field.SetTextColor(FColor(0, 0, 255, 128));
    movie.Frame(1)->AddObject(field);
    EXPECT_EQ(field.ID(), 2);
    const auto tags = Read(1);
    ASSERT_EQ(tags.size(), 2u);
    const EditTextBody body = ReadEditText(tags[0]);
    EXPECT_EQ(body.id, 2u);
    EXPECT_EQ(Bytes(body.rest.begin() + 2, body.rest.begin() + 6), (Bytes{0x00, 0x00, 0xFF, 0x80}));
    EXPECT_EQ(Bytes(body.rest.end() - 4, body.rest.end()), Terminated("two"));
    EXPECT_EQ(swftest::Word(tags[1], 3), 2u);  // placed as character 2
}

}  // namespace
