#include <gtest/gtest.h>

#include <vector>

#include "hf/hffont.h"
#include "hf/hfmovie.h"
#include "hf/hfpolygon.h"
#include "shapetags.h"

namespace {

using namespace shapetest;


// A right triangle, the smallest outline a polygon gives.
HFPolygon Triangle()
{
    const HFPoint points[] = {{0, 0}, {100, 0}, {100, 100}};
    return HFPolygon(points, 3);
}

class Fonts : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        FResetCharacterID();
    }
    void TearDown() override { FResetCharacterID(); }

    HFMovie movie;
};

TEST_F(Fonts, GlyphIndexFindsTheFirstOfTwoGlyphsWithOneCode)
{
    HFFont font("Sans");
    EXPECT_EQ(font.ID(), 1);  // taken when built, before any definition
    EXPECT_EQ(font.GlyphIndex('A'), -1);  // empty font
    EXPECT_EQ(font.GlyphCount(), 0u);

    const HFPolygon triangle = Triangle();
    font.AddGlyph(triangle, 'B', 300);
    font.AddGlyph(triangle, 'A', 500);
    font.AddGlyph(triangle, 'A', 700);
    EXPECT_EQ(font.GlyphCount(), 3u);
    EXPECT_EQ(font.GlyphIndex('A'), 1);
    EXPECT_EQ(font.GlyphAdvance(1), 500);
    EXPECT_EQ(font.GlyphIndex('B'), 0);
    EXPECT_EQ(font.GlyphIndex('C'), -1);
    EXPECT_EQ(font.GlyphIndex(-1), -1);
}

TEST_F(Fonts, GlyphAdvanceStopsOutsideTheGlyphList)
{
    HFFont font("Sans");
    font.AddGlyph(Triangle(), 'A', 500);
    EXPECT_DEATH(font.GlyphAdvance(-1), "Assertion failed: glyphCode >= 0,");
    EXPECT_DEATH(font.GlyphAdvance(1), "Assertion failed: glyphCode < glyphList.size\\(\\),");
    EXPECT_DEATH(font.AddGlyph(Triangle(), 'B', 32768),
                 "Assertion failed: advance >= -32768 && advance <= 32767,");
}

TEST_F(Fonts, DefinedOnceWithEveryOutlineAndNeverPlaced)
{
    HFFont font("Sans");
    const HFPolygon triangle = Triangle();
    font.AddGlyph(triangle, 'A', 500);
    font.AddGlyph(triangle, 'B', 600);
    movie.Frame(0)->AddObject(font);
    movie.Frame(1)->AddObject(font);
    EXPECT_TRUE(font.Defined());

    ASSERT_EQ(movie.Frame(0)->Tags().size(), 1u);
    EXPECT_TRUE(movie.Frame(1)->Tags().empty());
    EXPECT_TRUE(movie.PlacementList(1).empty());

    const swftest::Tag tag = ReadTag(*movie.Frame(0)->Tags()[0]);
    EXPECT_EQ(tag.code, FTagCode::DefineFont);
    EXPECT_EQ(swftest::Word(tag, 0), 1u);  // the font's character ID
    EXPECT_EQ(swftest::Word(tag, 2), 4u);  // first offset: past two offsets
    const size_t glyphSize = swftest::Word(tag, 4) - 4u;
    EXPECT_GT(glyphSize, 0u);
    EXPECT_EQ(tag.body.size(), 2 + 4 + 2 * glyphSize);  // ID, offsets, two equal outlines
    for (size_t start : {size_t{6}, 6 + glyphSize})
        EXPECT_EQ(tag.body.at(start), 0x10) << "glyph at " << start << ": 1 fill bit, 0 line bits";

    // Too late for another glyph: the DefineFont is written.
    EXPECT_DEATH(font.AddGlyph(triangle, 'C', 500),
                 "Assertion failed: !defined \\(a font's glyphs are added before it is first added "
                 "to a frame\\)");
}

TEST_F(Fonts, EmptyFontStopsWhenAdded)
{
    HFFont font("Sans");
    EXPECT_DEATH(movie.Frame(0)->AddObject(font),
                 "Assertion failed: !glyphList.empty\\(\\) \\(a font needs a glyph before it is "
                 "added to a frame\\)");
}

}  // namespace
