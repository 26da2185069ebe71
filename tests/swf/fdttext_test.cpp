#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "swf/fdttext.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return StreamBytes(stream);
}

Bytes Written(const FTextRecord& record, uint32_t codeBits, uint32_t advanceBits, bool alpha)
{
    FSWFStream stream;
    record.Write(stream, codeBits, advanceBits, alpha);
    return StreamBytes(stream);
}

}  // namespace

TEST(EditTextTag, ClosingNotice)
{
    // The converter's closing notice on a 300 x 200 pixel slide: no font, red
    // text, read only, bordered, with a layout block.
    FResetCharacterID();
    FDTDefineEditText tag(FRect(20, 20, 6000, 4000), false, false, true, true, false, false, false,
                          true, false, true, false, true, 0, 240, FColor(0xff0000ffu, true), 0,
                          FEditTextAlign::Left, 0, 0, 0, 40,
                          FString("TextField_20_20_6000_4000_1000"), FString("\nEnd"));
    EXPECT_EQ(tag.ID(), 1);
    Bytes expected = {
        0x7D, 0x09,  // code 37, length 61
        0x01, 0x00,  // character ID 1
        0x70, 0x02, 0x8B, 0xB8, 0x00, 0x28, 0x7D, 0x00,  // bounds: 14-bit fields 20, 6000, 20, 4000
        0x8C,                    // has text, read only, has text colour
        0x28,                    // has layout, border
        0xFF, 0x00, 0x00, 0xFF,  // red, opaque; no font ID or height before it
        0x00,                    // align left
        0x00, 0x00,              // left margin
        0x00, 0x00,              // right margin
        0x00, 0x00,              // indent
        0x28, 0x00,              // leading 40
    };
    for (char c : std::string("TextField_20_20_6000_4000_1000")) expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0x00);                                 // variable name terminator
    expected.insert(expected.end(), {0x0A, 'E', 'n', 'd', 0x00});  // initial text, terminated
    EXPECT_EQ(Written(tag), expected);
}

TEST(EditTextTag, FontAndMaxLengthWithoutTextOrName)
{
    // The other half of the flags; an empty variable name is its terminator
    // alone, and with has-text clear the text is not written at all.
    FResetCharacterID();
    FDTDefineEditText tag(FRect(0, 0, 0, 0), true, true, false, false, true, true, true, false,
                          true, false, true, false, 3, 240, FColor(1, 2, 3), 50,
                          FEditTextAlign::Justify, 7, 7, 7, 7, FString(""), FString("ignored"));
    EXPECT_EQ(Written(tag), (Bytes{
                                0x4D, 0x09,  // code 37, length 13
                                0x01, 0x00,  // character ID 1
                                0x08, 0x00,  // bounds: 1-bit fields, all 0
                                0x73,        // word wrap, multiline, password, has max length, has font
                                0x11,        // no select, use outlines
                                0x03, 0x00,  // font ID 3
                                0xF0, 0x00,  // font height 240
                                0x32, 0x00,  // max length 50
                                0x00,        // empty variable name
                            }));
}

TEST(TextRecords, StyleRecordFieldsInOrder)
{
    // Flags: font, colour, y offset, x offset; fields: font, colour, x, y, height.
    FTextStyleRecord all(true, true, true, true, 9, 240, FColor(1, 2, 3), 100, -20);
    EXPECT_EQ(Written(all, 0, 0, true), (Bytes{
                                            0x8F,                    // style record, all four flags
                                            0x09, 0x00,              // font ID 9
                                            0x01, 0x02, 0x03, 0xFF,  // colour with alpha (DefineText2)
                                            0x64, 0x00,              // x offset 100
                                            0xEC, 0xFF,              // y offset -20
                                            0xF0, 0x00,              // height 240
                                        }));
    EXPECT_EQ(Written(all, 0, 0, false)[6], 0x64);  // without alpha (DefineText) the x offset follows blue

    FTextStyleRecord yOnly(false, false, false, true, 9, 240, FColor(1, 2, 3), 100, -20);
    EXPECT_EQ(Written(yOnly, 0, 0, false), (Bytes{0x82, 0xEC, 0xFF}));  // y offset alone, no height
    EXPECT_EQ(yOnly.MinCodeBits(), 0u);
    EXPECT_EQ(yOnly.MinAdvanceBits(), 0u);
}

TEST(TextRecords, GlyphRecordMinimumWidths)
{
    struct Case {
        uint16_t index;
        int16_t advance;
        uint32_t codeBits, advanceBits;
    };
    // Indices are measured as signed, one bit more than they need.
    const Case cases[] = {
        {0, 0, 1, 1}, {1, 1, 2, 2}, {3, 500, 3, 10}, {255, 32767, 9, 16},
        {65535, -1, 17, 1}, {0, -512, 1, 10}, {0, -513, 1, 11},
    };
    for (const Case& c : cases) {
        FTextGlyphRecord record;
        record.AddGlyph(c.index, c.advance);
        EXPECT_EQ(record.MinCodeBits(), c.codeBits) << c.index;
        EXPECT_EQ(record.MinAdvanceBits(), c.advanceBits) << c.advance;
    }
    FTextGlyphRecord empty;
    EXPECT_EQ(empty.MinCodeBits(), 0u);
    EXPECT_EQ(empty.MinAdvanceBits(), 0u);
    EXPECT_EQ(Written(empty, 0, 0, false), (Bytes{0x00}));  // glyph record, count 0

    FTextGlyphRecord negative;
    negative.AddGlyph(1, -3);
    FSWFStream stream;
    negative.Write(stream, 2, 3, false);
    EXPECT_EQ(BitString(stream), Padded("0" "0000001" "01" "101"));  // count 1, index 1, advance -3
}

TEST(TextRecords, LongRunsSplitIntoRecordsOf127)
{
    auto run = [](size_t count) {
        FTextGlyphRecord record;
        for (size_t i = 0; i < count; ++i) record.AddGlyph(1, 1);  // 4 bits an entry: 0101
        return Written(record, 2, 2, false);
    };

    const Bytes exact = run(127);
    ASSERT_EQ(exact.size(), 65u);      // count byte, 508 bits of entries, padding
    EXPECT_EQ(exact[0], 0x7F);         // glyph record of 127
    EXPECT_EQ(exact[63], 0x55);
    EXPECT_EQ(exact[64], 0x50);        // last entry, then padding

    const Bytes split = run(130);
    ASSERT_EQ(split.size(), 65u + 4u);
    EXPECT_EQ(Bytes(split.begin(), split.begin() + 65), exact);  // the first 127 as before
    EXPECT_EQ(split[65], 0x80);        // an empty style record starts the next
    EXPECT_EQ(split[66], 0x03);        // glyph record of 3
    EXPECT_EQ(split[67], 0x55);
    EXPECT_EQ(split[68], 0x50);
}

TEST(TextTags, DefineText2GlyphAndAdvanceBits)
{
    FResetCharacterID();
    FDTDefineText2 tag(FRect(0, 0, 0, 0), FMatrix(), 4);
    EXPECT_EQ(tag.ID(), 1);
    tag.AddTextRecord(std::make_unique<FTextStyleRecord>(true, true, false, false, 5, 1024,
                                                         FColor(255, 255, 255, 255), 0, 0));
    auto glyphs = std::make_unique<FTextGlyphRecord>();
    glyphs->AddGlyph(3, 500);
    glyphs->AddGlyph(0, 20);
    tag.AddTextRecord(std::move(glyphs));

    EXPECT_EQ(Written(tag), (Bytes{
                                0x56, 0x08,              // code 33, length 22
                                0x01, 0x00,              // character ID 1
                                0x08, 0x00,              // bounds
                                0x00,                    // identity matrix
                                0x03,                    // glyph bits
                                0x0A,                    // advance bits
                                0x8C,                    // style record: font, colour
                                0x05, 0x00,              // font ID 5
                                0xFF, 0xFF, 0xFF, 0xFF,  // white, with alpha
                                0x00, 0x04,              // height 1024
                                0x02,                    // glyph record of 2
                                // 011 0111110100 000 0000010100, padded
                                0x6F, 0xA0, 0x05, 0x00,
                                0x00,  // end of records
                            }));
}

TEST(TextTags, DefineTextWithoutRecords)
{
    FResetCharacterID();
    FDTDefineText tag(FRect(0, 0, 0, 0), FMatrix(), 0);
    EXPECT_EQ(Written(tag), (Bytes{
                                0xC8, 0x02,  // code 11, length 8
                                0x01, 0x00,  // character ID 1
                                0x08, 0x00,  // bounds
                                0x00,        // identity matrix
                                0x00,        // glyph bits
                                0x00,        // advance bits
                                0x00,        // end of records
                            }));
}

TEST(TextTags, DefineTextColoursWithoutAlpha)
{
    FResetCharacterID();
    FDTDefineText tag(FRect(0, 0, 0, 0), FMatrix(), 1);
    tag.AddTextRecord(std::make_unique<FTextStyleRecord>(false, true, false, false, 0, 0,
                                                         FColor(0x10, 0x20, 0x30, 0x40), 0, 0));
    tag.AddTextRecord(std::make_unique<FTextGlyphRecord>());
    EXPECT_EQ(Written(tag), (Bytes{
                                0xCD, 0x02,        // code 11, length 13
                                0x01, 0x00,        // character ID 1
                                0x08, 0x00,        // bounds
                                0x00,              // identity matrix
                                0x00, 0x00,        // glyph and advance bits
                                0x84,              // style record: colour
                                0x10, 0x20, 0x30,  // RGB, alpha dropped
                                0x00,              // empty glyph record
                                0x00,              // end of records
                            }));
}

TEST(TextRecordsDeathTest, GlyphRecordWidthsFromTheTag)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    FTextGlyphRecord record;
    record.AddGlyph(3, 500);  // needs 3 and 10 bits
    FSWFStream stream;
    EXPECT_DEATH(record.Write(stream, 3, 9, false), "Assertion failed: MinAdvanceBits\\(\\) <= advanceBits,");
    EXPECT_DEATH(record.Write(stream, 2, 10, false), "Assertion failed: MinCodeBits\\(\\) <= codeBits,");
    // Both too narrow: the advance is checked first.
    EXPECT_DEATH(record.Write(stream, 0, 0, false), "Assertion failed: MinAdvanceBits\\(\\) <= advanceBits,");
}
