#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hf/hffont.h"
#include "hf/hfmovie.h"
#include "hf/hfpolygon.h"
#include "hf/hftext.h"
#include "shapetags.h"

namespace {

using namespace shapetest;
using Bytes = std::vector<uint8_t>;


class TextObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        FResetCharacterID();
    }
    void TearDown() override { FResetCharacterID(); }

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
    EXPECT_EQ(tag.code, FTagCode::DefineEditText);
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

// A DefineText2 body read record by record.
struct TextRecord {
    bool style = false;
    uint32_t flags = 0;  // style: has-font, has-colour, has-y, has-x
    uint32_t fontID = 0, height = 0;
    RGBA color;
    std::vector<std::pair<uint32_t, int32_t>> glyphs;  // index, advance
};

struct Text2Body {
    uint32_t id = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    uint32_t glyphBits = 0, advanceBits = 0;
    std::vector<TextRecord> records;
};

Text2Body ReadText2(const swftest::Tag& tag)
{
    EXPECT_EQ(tag.code, FTagCode::DefineText2);
    Text2Body text;
    text.id = swftest::Little(tag.body, 0, 2);
    swftest::BitReader bits(tag.body, 2);
    const uint32_t n = bits.Unsigned(5);
    text.xmin = bits.Signed(n);
    text.xmax = bits.Signed(n);
    text.ymin = bits.Signed(n);
    text.ymax = bits.Signed(n);
    const Matrix matrix = ReadMatrix(bits);
    EXPECT_FALSE(matrix.hasScale || matrix.hasRotate || matrix.translateX || matrix.translateY);
    text.glyphBits = bits.Unsigned(8);
    text.advanceBits = bits.Unsigned(8);
    for (;;) {
        bits.Align();
        const uint32_t type = bits.Unsigned(1);
        TextRecord record;
        if (type == 1) {
            record.style = true;
            bits.Unsigned(3);  // reserved
            record.flags = bits.Unsigned(4);
            if (record.flags & 8) record.fontID = bits.Unsigned(8) | bits.Unsigned(8) << 8;
            if (record.flags & 4) record.color = ReadRGBA(bits);
            if (record.flags & 1) bits.Unsigned(16);
            if (record.flags & 2) bits.Unsigned(16);
            if (record.flags & 8) record.height = bits.Unsigned(8) | bits.Unsigned(8) << 8;
        } else {
            const uint32_t count = bits.Unsigned(7);
            if (count == 0) break;  // the end byte
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t index = bits.Unsigned(text.glyphBits);
                record.glyphs.push_back({index, bits.Signed(text.advanceBits)});
            }
        }
        text.records.push_back(record);
    }
    EXPECT_EQ(bits.ByteOffset(), tag.body.size()) << "bytes after the end of the records";
    return text;
}

// A font of square glyphs with the given codes and advances.
std::unique_ptr<HFFont> SquareFont(std::initializer_list<std::pair<int32_t, int32_t>> glyphs)
{
    const HFPoint square[] = {{0, 0}, {512, 0}, {512, 512}, {0, 512}};
    const HFPolygon outline(square, 4);
    auto font = std::make_unique<HFFont>("Squares");
    for (const auto& [code, advance] : glyphs) font->AddGlyph(outline, code, advance);
    return font;
}

// ---------------------------------------------------------------------------
// Static text

TEST_F(TextObjects, TextInTwoFramesIsDefinedOnceAndPlacedTwice)
{
    const auto font = SquareFont({{'A', 500}, {'B', 20}});
    HFText text("ABA", *font);
    EXPECT_EQ(text.Bounds().XMax(), 1020);
    EXPECT_EQ(text.Bounds().YMax(), 1024);
    movie.Frame(0)->AddObject(text);
    movie.Frame(1)->AddObject(text);
    EXPECT_EQ(text.ID(), 2);

    const auto first = Read(0);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].code, FTagCode::DefineFont);
    EXPECT_EQ(swftest::Word(first[0], 0), 1u);
    EXPECT_EQ(first[1].code, FTagCode::DefineText2);
    EXPECT_EQ(first[1].body, (Bytes{
                                 0x02, 0x00,  // character 2
                                 // bounds: 12-bit fields 0, 1020, 0, 1024
                                 0x60, 0x00, 0x1F, 0xE0, 0x00, 0x20, 0x00,
                                 0x00,  // identity matrix
                                 0x02,  // glyph bits: index 1, counted signed
                                 0x0A,  // advance bits: 500, counted signed
                                 0x8C,  // style record: has font, has colour
                                 0x01, 0x00,              // font 1
                                 0xFF, 0xFF, 0xFF, 0xFF,  // opaque white
                                 0x00, 0x04,              // height 1024
                                 // glyph record of 3: (0, 500), (1, 20), (0, 500)
                                 0x03, 0x1F, 0x44, 0x14, 0x1F, 0x40,
                                 0x00,  // end of records
                             }));
    EXPECT_EQ(first[2].code, FTagCode::PlaceObject2);
    EXPECT_EQ(first[2].body, (Bytes{0x02, 0x01, 0x00, 0x02, 0x00}));  // character 2 at depth 1

    const auto second = Read(1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].body, first[2].body);
    EXPECT_EQ(movie.PlacementList(2).size(), 2u);
    EXPECT_TRUE(movie.PlacementList(1).empty());  // the font is never placed

    // Another text of the same font finds it defined.
    HFText other("B", *font);
    movie.Frame(1)->AddObject(other);
    const auto third = Read(1);
    ASSERT_EQ(third.size(), 3u);
    EXPECT_EQ(third[1].code, FTagCode::DefineText2);
    EXPECT_EQ(ReadText2(third[1]).records.at(0).fontID, 1u);
}

TEST_F(TextObjects, TextOfCharactersWithoutGlyphsIsEmpty)
{
    const auto font = SquareFont({{'A', 500}});
    HFText text("xyz", *font);
    EXPECT_EQ(text.Bounds().XMax(), 0);
    movie.Frame(0)->AddObject(text);

    EXPECT_EQ(Read()[1].body, (Bytes{
                                  0x02, 0x00,  // character 2
                                  // bounds: 12-bit fields 0, 0, 0, 1024
                                  0x60, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
                                  0x00,        // identity matrix
                                  0x00,        // glyph bits
                                  0x00,        // advance bits
                                  0x8C,        // style record: has font, has colour
                                  0x01, 0x00,  // font 1
                                  0xFF, 0xFF, 0xFF, 0xFF,  // opaque white
                                  0x00, 0x04,              // height 1024
                                  0x00,  // glyph record of no entries
                                  0x00,  // end of records
                              }));
}

TEST_F(TextObjects, TextBytesAboveSevenBitsFindCodesUpTo255)
{
    // A signed char would look for -23 and find the wrong glyph.
    const auto font = SquareFont({{-23, 100}, {0xE9, 300}, {'e', 200}});
    HFText text("\xE9te\xFF", *font);
    text.SetSolidFill({0x10, 0x20, 0x30, 0x80});
    EXPECT_EQ(text.Bounds().XMax(), 300 + 200);
    movie.Frame(0)->AddObject(text);

    const Text2Body body = ReadText2(Read()[1]);
    ASSERT_EQ(body.records.size(), 2u);
    EXPECT_EQ(body.records[0].color, (RGBA{0x10, 0x20, 0x30, 0x80}));
    EXPECT_EQ(body.records[0].height, 1024u);
    EXPECT_EQ(body.records[1].glyphs, (std::vector<std::pair<uint32_t, int32_t>>{{1, 300}, {2, 200}}));
}

TEST_F(TextObjects, LongTextIsSplitIntoGlyphRecordsOf127)
{
    const auto font = SquareFont({{'A', 500}, {'B', 250}});
    std::string line(200, 'A');
    line[150] = 'B';
    HFText text(line, *font);
    EXPECT_EQ(text.Bounds().XMax(), 199 * 500 + 250);
    movie.Frame(0)->AddObject(text);

    const Text2Body body = ReadText2(Read()[1]);
    EXPECT_EQ(body.xmax, 199 * 500 + 250);
    ASSERT_EQ(body.records.size(), 4u);
    EXPECT_TRUE(body.records[0].style);
    EXPECT_EQ(body.records[1].glyphs.size(), 127u);
    EXPECT_TRUE(body.records[2].style);
    EXPECT_EQ(body.records[2].flags, 0u);  // changes nothing
    ASSERT_EQ(body.records[3].glyphs.size(), 73u);
    EXPECT_EQ(body.records[3].glyphs[150 - 127], (std::pair<uint32_t, int32_t>{1, 250}));
    EXPECT_EQ(body.records[3].glyphs.back(), (std::pair<uint32_t, int32_t>{0, 500}));
}

TEST_F(TextObjects, TextWithAnEmptyFontStopsWhenAdded)
{
    HFFont font("Empty");
    HFText text("A", font);
    EXPECT_EQ(text.Bounds().XMax(), 0);
    EXPECT_DEATH(movie.Frame(0)->AddObject(text), "!glyphList.empty\\(\\) \\(a font needs a glyph");
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

    EXPECT_EQ(tags[1].code, FTagCode::PlaceObject2);
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

    HFEditText wrapping(0, 0, 100, 100, "");
    wrapping.SetWordWrap(true);
    movie.Frame(1)->AddObject(wrapping);
    const EditTextBody wrapped = ReadEditText(Read(1)[0]);
    EXPECT_EQ(wrapped.rest.at(0), 0xC4);   // has text, word wrap, has text colour
    EXPECT_EQ(wrapped.rest.back(), 0x00);  // the empty text is its terminator alone
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
