#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "swf/fdtfonts.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Written(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return StreamBytes(stream);
}

// A glyph outline of 2 + 2 * edges bytes: the style-bit byte, `edges`
// horizontal edges of 100 twips (two bytes each: D8 64) and the end record.
std::unique_ptr<FShape> Glyph(int edges)
{
    auto shape = std::make_unique<FShape>();
    for (int i = 0; i < edges; ++i) shape->AddShapeRecord(std::make_unique<FStraightEdgeRecord>(100, 0));
    shape->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    return shape;
}

}  // namespace

TEST(FontTags, KerningRecordCodeWidths)
{
    FKerningRecord record(0x41, 0x56, -80);
    FSWFStream narrow;
    record.Write(narrow);
    EXPECT_EQ(StreamBytes(narrow), (Bytes{0x41, 0x56, 0xB0, 0xFF}));  // codes as bytes, adjustment -80

    record.SetWideCodes(0x100);  // any non-zero value, not just its low byte
    EXPECT_TRUE(record.WideCodes());
    FSWFStream wide;
    record.Write(wide);
    EXPECT_EQ(StreamBytes(wide), (Bytes{0x41, 0x00, 0x56, 0x00, 0xB0, 0xFF}));
}

TEST(FontTags, DefineFontOffsetTable)
{
    FResetCharacterID();
    FDTDefineFont font;
    EXPECT_EQ(font.ID(), 1);
    auto first = Glyph(4);  // 10 bytes
    first->SetFillBits(3);  // the font stamps its own style bits over these
    font.AddShapeGlyph(std::move(first));
    font.AddShapeGlyph(Glyph(5));  // 12 bytes
    font.AddShapeGlyph(Glyph(3));  // 8 bytes
    EXPECT_EQ(font.GlyphCount(), 3u);

    const Bytes expected = {
        0xA6, 0x02,  // code 10, length 38
        0x01, 0x00,  // character ID 1
        0x06, 0x00,  // offset of glyph 0: the table itself
        0x10, 0x00,  // glyph 1: 6 + 10
        0x1C, 0x00,  // glyph 2: 16 + 12
        // glyph 0: fill bits 1, line bits 0; four edges; end record
        0x10, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0x00,
        // glyph 1
        0x10, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0x00,
        // glyph 2
        0x10, 0xD8, 0x64, 0xD8, 0x64, 0xD8, 0x64, 0x00,
    };
    EXPECT_EQ(Written(font), expected);
    EXPECT_EQ(Written(font), expected);  // writing again gives the same tag
}

TEST(FontTags, DefineFont2WithoutGlyphsShortConstructor)
{
    FResetCharacterID();
    FDTDefineFont2 font("Arial", FFontEncoding::Unicode, false, false);
    EXPECT_EQ(font.GlyphBits(), 0u);
    EXPECT_EQ(Written(font), (Bytes{
                                 0x14, 0x0C,                    // code 48, length 20
                                 0x01, 0x00,                    // character ID 1
                                 0xA0,                          // has layout, Unicode
                                 0x00,                          // reserved
                                 0x05, 'A', 'r', 'i', 'a', 'l', // name
                                 0x00, 0x00,                    // glyph count 0, no offsets
                                 0x00, 0x00,                    // ascent
                                 0x00, 0x00,                    // descent
                                 0x00, 0x00,                    // leading
                                 0x00, 0x00,                    // kerning count
                             }));
}

TEST(FontTags, DefineFont2GlyphsLayoutAndKerning)
{
    FResetCharacterID();
    FDTDefineFont2 font("F", FFontEncoding::ANSI, false, true, 800, 200, 40);
    font.AddGlyph(Glyph(1), 'A', 500, FRect(0, 0, 0, 0));
    font.AddGlyph(Glyph(1), 'V', 480, FRect(1, 2, 3, 4));
    auto kerning = std::make_unique<FKerningRecord>('A', 'V', -80);
    kerning->SetWideCodes(1);  // the font writes its codes in bytes all the same
    font.AddKerningRecord(std::move(kerning));
    EXPECT_EQ(font.GlyphBits(), 1u);

    EXPECT_EQ(Written(font), (Bytes{
                                 0x2D, 0x0C,              // code 48, length 45
                                 0x01, 0x00,              // character ID 1
                                 0x91,                    // has layout, ANSI, bold
                                 0x00,                    // reserved
                                 0x01, 'F',               // name
                                 0x02, 0x00,              // glyph count
                                 0x06, 0x00,              // glyph 0 offset
                                 0x0A, 0x00,              // glyph 1 offset
                                 0x0E, 0x00,              // code-table offset
                                 0x10, 0xD8, 0x64, 0x00,  // glyph 0
                                 0x10, 0xD8, 0x64, 0x00,  // glyph 1
                                 0x41, 0x56,              // codes
                                 0x20, 0x03,              // ascent 800
                                 0xC8, 0x00,              // descent 200
                                 0x28, 0x00,              // leading 40
                                 0xF4, 0x01, 0xE0, 0x01,  // advances 500, 480
                                 0x08, 0x00,              // bounds 0: 1-bit fields
                                 0x20, 0x99, 0x20,        // bounds 1: 4-bit fields 1, 3, 2, 4
                                 0x01, 0x00,              // kerning count
                                 0x41, 0x56, 0xB0, 0xFF,  // A, V, -80
                             }));
}

TEST(FontTags, DefineFont2WideCodes)
{
    // A code above 255 widens the code table and the kerning codes.
    FResetCharacterID();
    FDTDefineFont2 font("", FFontEncoding::Unicode, false, false);
    font.AddGlyph(Glyph(1), 0x263A, 0, FRect(0, 0, 0, 0));
    font.AddKerningRecord(std::make_unique<FKerningRecord>(0x263A, 'A', 5));
    EXPECT_EQ(Written(font), (Bytes{
                                 0x23, 0x0C,                          // code 48, length 35
                                 0x01, 0x00,                          // character ID 1
                                 0xA4,                                // has layout, Unicode, wide codes
                                 0x00,                                // reserved
                                 0x00,                                // empty name
                                 0x01, 0x00,                          // glyph count
                                 0x04, 0x00,                          // glyph 0 offset
                                 0x08, 0x00,                          // code-table offset
                                 0x10, 0xD8, 0x64, 0x00,              // glyph 0
                                 0x3A, 0x26,                          // code
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // ascent, descent, leading
                                 0x00, 0x00,                          // advance
                                 0x08, 0x00,                          // bounds
                                 0x01, 0x00,                          // kerning count
                                 0x3A, 0x26, 0x41, 0x00, 0x05, 0x00,  // kerning pair
                             }));
}

TEST(FontTags, DefineFont2OffsetsWidenOnlyWhenNeeded)
{
    // One glyph: the code-table offset is 4 + the glyph's size while 16 bits hold it.
    {
        FDTDefineFont2 font("", 0, false, false);
        font.AddGlyph(Glyph(32764), 'a', 0, FRect(0, 0, 0, 0));  // 65530 bytes
        BitReader reader(Written(font));
        reader.Word();   // code, long form
        reader.DWord();  // length
        reader.Word();   // character ID
        EXPECT_EQ(reader.Byte(), 0x80u);  // has layout; narrow offsets
        reader.Byte();
        reader.Byte();                 // empty name
        EXPECT_EQ(reader.Word(), 1u);  // glyph count
        EXPECT_EQ(reader.Word(), 4u);
        EXPECT_EQ(reader.Word(), 65534u);
    }
    {
        FDTDefineFont2 font("", 0, false, false);
        font.AddGlyph(Glyph(32765), 'a', 0, FRect(0, 0, 0, 0));  // 65532 bytes
        BitReader reader(Written(font));
        reader.Word();
        reader.DWord();
        reader.Word();
        EXPECT_EQ(reader.Byte(), 0x88u);  // has layout, wide offsets
        reader.Byte();
        reader.Byte();
        EXPECT_EQ(reader.Word(), 1u);
        EXPECT_EQ(reader.DWord(), 8u);
        EXPECT_EQ(reader.DWord(), 65540u);
        EXPECT_EQ(reader.Byte(), 0x10u);  // the glyph follows the table
    }
}

TEST(FontTags, DefineFont2GlyphBits)
{
    FDTDefineFont2 font("", 0, false, false);
    const uint32_t expected[] = {0, 0, 1, 2, 2, 3};  // after 0 to 5 glyphs
    for (int glyphs = 0; glyphs <= 5; ++glyphs) {
        EXPECT_EQ(font.GlyphBits(), expected[glyphs]) << glyphs << " glyphs";
        font.AddGlyph(Glyph(0), 0, 0, FRect(0, 0, 0, 0));
    }
}

TEST(FontTags, DefineFontInfo)
{
    FResetCharacterID();
    FDTDefineFontInfo info("Arial", 7, FFontEncoding::Unicode, true, false);
    EXPECT_EQ(info.ID(), 1);  // drawn, but the tag names the font instead
    info.AddCode('A');
    info.AddCode('B');
    EXPECT_EQ(Written(info), (Bytes{
                                 0x4B, 0x03,                     // code 13, length 11
                                 0x07, 0x00,                     // font ID 7
                                 0x05, 'A', 'r', 'i', 'a', 'l',  // name
                                 0x24,                           // Unicode, italic
                                 0x41, 0x42,                     // codes
                             }));

    info.AddCode(0x3042);  // beyond a byte: every code becomes a word
    EXPECT_EQ(Written(info), (Bytes{
                                 0x4F, 0x03,                          // code 13, length 15
                                 0x07, 0x00,                          // font ID 7
                                 0x05, 'A', 'r', 'i', 'a', 'l',       // name
                                 0x25,                                // Unicode, italic, wide codes
                                 0x41, 0x00, 0x42, 0x00, 0x42, 0x30,  // codes
                             }));
}

TEST(FontTags, EncodingBitsInEachTagsOrder)
{
    // DefineFont2: layout, Shift-JIS, Unicode, ANSI; DefineFontInfo: Unicode,
    // Shift-JIS, ANSI. Unknown encodings set none of them.
    struct Case {
        uint16_t encoding;
        bool italic, bold;
        uint8_t font2Flags, infoFlags;
    };
    const Case cases[] = {
        {FFontEncoding::ShiftJIS, false, false, 0xC0, 0x10},
        {FFontEncoding::Unicode, false, false, 0xA0, 0x20},
        {FFontEncoding::ANSI, false, false, 0x90, 0x08},
        {0, false, true, 0x81, 0x02},
        {4, true, true, 0x83, 0x06},
    };
    for (const Case& c : cases) {
        FDTDefineFont2 font("", c.encoding, c.italic, c.bold);
        FDTDefineFontInfo info("", 1, c.encoding, c.italic, c.bold);
        EXPECT_EQ(Written(font)[4], c.font2Flags) << "encoding " << c.encoding;
        EXPECT_EQ(Written(info)[5], c.infoFlags) << "encoding " << c.encoding;
    }
}

TEST(FontTagsDeathTest, Limits)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const std::string longName(256, 'n');
    EXPECT_DEATH(FDTDefineFont2(longName, 0, false, false), "Assertion failed: fontName.Length\\(\\) <= 255,");
    EXPECT_DEATH(FDTDefineFontInfo(longName, 1, 0, false, false),
                 "Assertion failed: fontName.Length\\(\\) <= 255,");
    EXPECT_DEATH({
        // The second glyph would start at 4 + 65532: past what a 16-bit offset holds.
        FDTDefineFont font;
        font.AddShapeGlyph(Glyph(32765));
        font.AddShapeGlyph(Glyph(0));
        Written(font);
    }, "Assertion failed: offset <= 0xFFFF,");
    EXPECT_DEATH({
        FDTDefineFont font;
        Written(font);
    }, "Assertion failed: !glyphList.empty\\(\\) \\(a DefineFont needs at least one glyph\\),");
}
