#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "swf/fdtmorph.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename Record>
Bytes RecordBytes(const Record& record)
{
    FSWFStream stream;
    record.Write(stream);
    return StreamBytes(stream);
}

Bytes TagBytes(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return StreamBytes(stream);
}

std::unique_ptr<FStyleChangeRecord> SelectFill1(uint32_t fill1)
{
    return std::make_unique<FStyleChangeRecord>(false, false, true, false, false, 0, 0, 0, fill1, 0);
}

std::unique_ptr<FStyleChangeRecord> MoveTo(int32_t x, int32_t y)
{
    return std::make_unique<FStyleChangeRecord>(false, false, false, false, true, x, y, 0, 0, 0);
}

// A morph tag with its styles finished, ready for edges.
std::unique_ptr<FDTDefineMorphShape> FinishedMorph()
{
    auto tag = std::make_unique<FDTDefineMorphShape>(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
    tag->FinishStyleArrays();
    return tag;
}

void ExpectRect(BitReader& reader, int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax)
{
    const uint32_t bits = reader.Unsigned(5);
    EXPECT_EQ(reader.Signed(bits), xmin);
    EXPECT_EQ(reader.Signed(bits), xmax);
    EXPECT_EQ(reader.Signed(bits), ymin);
    EXPECT_EQ(reader.Signed(bits), ymax);
    reader.Align();
}

void ExpectColor(BitReader& reader, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    EXPECT_EQ(reader.Byte(), r);
    EXPECT_EQ(reader.Byte(), g);
    EXPECT_EQ(reader.Byte(), b);
    EXPECT_EQ(reader.Byte(), a);
}

}  // namespace

TEST(MorphStyles, SolidFillWritesBothColoursWithAlpha)
{
    // Colours made without alpha still go out as RGBA: the tag has no RGB form.
    EXPECT_EQ(RecordBytes(FMorphFillStyleSolid(FColor(1, 2, 3), FColor(4, 5, 6, 7))), (Bytes{
        0x00,                    // type: solid
        0x01, 0x02, 0x03, 0xFF,  // start colour
        0x04, 0x05, 0x06, 0x07,  // end colour
    }));
}

TEST(MorphStyles, GradientFillAndItsRecords)
{
    auto gradient = std::make_unique<FGradient>();
    gradient->Add(std::make_unique<FMorphGradRecord>(0, FColor(255, 0, 0), 16, FColor(0, 255, 0, 128)));
    gradient->Add(std::make_unique<FMorphGradRecord>(255, FColor(0, 0, 255, 255), 200, FColor(9, 9, 9, 0)));
    EXPECT_EQ(RecordBytes(FMorphFillStyleGradient(false, FMatrix(), FMatrix(), std::move(gradient))), (Bytes{
        0x12,                    // type: radial gradient
        0x00,                    // start matrix: identity
        0x00,                    // end matrix: identity
        0x02,                    // two records
        0x00,                    // start ratio 0
        0xFF, 0x00, 0x00, 0xFF,  //   start colour
        0x10,                    // end ratio 16
        0x00, 0xFF, 0x00, 0x80,  //   end colour
        0xFF,                    // start ratio 255
        0x00, 0x00, 0xFF, 0xFF,  //   start colour
        0xC8,                    // end ratio 200
        0x09, 0x09, 0x09, 0x00,  //   end colour
    }));
}

TEST(MorphStyles, BitmapFillTypesAndMatrices)
{
    // End matrix: no scale 0, no rotation 0, translate bits 01000, 100 as
    // 01100100, 0 as 00000000, padded: 00010000 11001000 00000000.
    const FMatrix moved(false, 0, 0, false, 0, 0, 100, 0);
    EXPECT_EQ(RecordBytes(FMorphFillStyleBitmap(true, 7, FMatrix(), moved)), (Bytes{
        0x40,              // type: tiled bitmap
        0x07, 0x00,        // bitmap ID 7
        0x00,              // start matrix: identity
        0x10, 0xC8, 0x00,  // end matrix
    }));
    EXPECT_EQ(RecordBytes(FMorphFillStyleBitmap(false, 7, FMatrix(), FMatrix()))[0], 0x41);  // clipped
}

TEST(MorphStyles, LineStyleWidthsThenRGBAColours)
{
    EXPECT_EQ(RecordBytes(FMorphLineStyle(20, 40, FColor(1, 2, 3), FColor(4, 5, 6, 7))), (Bytes{
        0x14, 0x00,              // start width 20
        0x28, 0x00,              // end width 40
        0x01, 0x02, 0x03, 0xFF,  // start colour
        0x04, 0x05, 0x06, 0x07,  // end colour
    }));
}

TEST(MorphShapeTag, OneSolidFillNoLineStyle)
{
    FResetCharacterID();
    FDTDefineMorphShape tag(FRect(0, 0, 20, 20), FRect(0, 0, 40, 40));
    EXPECT_EQ(tag.ID(), 1);
    EXPECT_EQ(tag.AddFillStyle(std::make_unique<FMorphFillStyleSolid>(FColor(255, 0, 0, 255),
                                                                      FColor(0, 0, 255, 128))), 1u);
    tag.FinishStyleArrays();
    tag.AddStartShapeRecord(SelectFill1(1));
    tag.AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(20, 0));
    tag.AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
    tag.AddEndShapeRecord(SelectFill1(1));
    tag.AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(40, 0));
    tag.AddEndShapeRecord(std::make_unique<FEndShapeRecord>());

    EXPECT_EQ(TagBytes(tag), (Bytes{
        0xA4, 0x0B,              // code 46, length 36
        0x01, 0x00,              // character ID 1
        0x30, 0x0A, 0x00, 0xA0,  // start bounds: 6-bit fields 0, 20, 0, 20
        0x38, 0x05, 0x00, 0x14, 0x00,  // end bounds: 7-bit fields 0, 40, 0, 40
        0x10, 0x00, 0x00, 0x00,  // offset 16: the arrays and the start edges
        0x01,                    // one fill style
        0x00,                    //   solid
        0xFF, 0x00, 0x00, 0xFF,  //   start colour
        0x00, 0x00, 0xFF, 0x80,  //   end colour
        0x00,                    // no line styles
        // Start edges: fillBits 0001, lineBits 0000;
        // style change 0 0 0 1 0 0, fill1 index "1";
        // straight 1 1, 0100, horizontal 0 0, +20 in 6 bits 010100; end 000000.
        0x10, 0x13, 0xA0, 0xA0, 0x00,
        // End edges: fillBits 0000, lineBits 0000;
        // style change 0 0 0 1 0 0 with no index bits;
        // straight 1 1, 0101, horizontal 0 0, +40 in 7 bits 0101000; end 000000.
        0x00, 0x13, 0x51, 0x40, 0x00,
    }));
}

TEST(MorphShapeTag, OffsetLandsOnTheEndEdges)
{
    FResetCharacterID();
    FDTDefineMorphShape tag(FRect(-10, -10, 30, 30), FRect(0, 0, 60, 60));
    auto gradient = std::make_unique<FGradient>();
    gradient->Add(std::make_unique<FMorphGradRecord>(0, FColor(255, 0, 0, 255), 10, FColor(1, 1, 1, 1)));
    gradient->Add(std::make_unique<FMorphGradRecord>(255, FColor(0, 0, 255, 255), 200, FColor(2, 2, 2, 2)));
    EXPECT_EQ(tag.AddFillStyle(std::make_unique<FMorphFillStyleGradient>(
                  true, FMatrix(), FMatrix(), std::move(gradient))), 1u);
    EXPECT_EQ(tag.AddFillStyle(std::make_unique<FMorphFillStyleBitmap>(false, 7, FMatrix(), FMatrix())), 2u);
    EXPECT_EQ(tag.AddLineStyle(20, FColor(1, 2, 3), 40, FColor(4, 5, 6)), 1u);
    tag.FinishStyleArrays();
    tag.AddStartShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, true, true, 10, 10, 1, 2, 1));
    tag.AddStartShapeRecord(std::make_unique<FCurvedEdgeRecord>(10, 0, 10, 10));
    tag.AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(-20, 0));
    tag.AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
    tag.AddEndShapeRecord(MoveTo(20, 20));
    tag.AddEndShapeRecord(std::make_unique<FCurvedEdgeRecord>(20, 0, 20, 20));
    tag.AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(-40, 0));
    tag.AddEndShapeRecord(std::make_unique<FEndShapeRecord>());

    const Bytes bytes = TagBytes(tag);
    BitReader reader(bytes);
    const uint32_t header = reader.Word();
    EXPECT_EQ(static_cast<FTagCode>(header >> 6), FTagCode::DefineMorphShape);
    uint32_t length = header & 0x3F;
    if (length == 0x3F) length = reader.DWord();
    EXPECT_EQ(reader.BytePosition() + length, bytes.size());
    EXPECT_EQ(reader.Word(), 1u);  // character ID
    ExpectRect(reader, -10, 30, -10, 30);
    ExpectRect(reader, 0, 60, 0, 60);
    const uint32_t offset = reader.DWord();
    const size_t endEdgesAt = reader.BytePosition() + offset;

    EXPECT_EQ(reader.Byte(), 2u);     // fill styles
    EXPECT_EQ(reader.Byte(), 0x10u);  // linear gradient
    EXPECT_EQ(reader.Byte(), 0u);     //   start matrix
    EXPECT_EQ(reader.Byte(), 0u);     //   end matrix
    EXPECT_EQ(reader.Byte(), 2u);     //   records
    EXPECT_EQ(reader.Byte(), 0u);
    ExpectColor(reader, 255, 0, 0, 255);
    EXPECT_EQ(reader.Byte(), 10u);
    ExpectColor(reader, 1, 1, 1, 1);
    EXPECT_EQ(reader.Byte(), 255u);
    ExpectColor(reader, 0, 0, 255, 255);
    EXPECT_EQ(reader.Byte(), 200u);
    ExpectColor(reader, 2, 2, 2, 2);
    EXPECT_EQ(reader.Byte(), 0x41u);  // clipped bitmap
    EXPECT_EQ(reader.Word(), 7u);
    EXPECT_EQ(reader.Byte(), 0u);
    EXPECT_EQ(reader.Byte(), 0u);
    EXPECT_EQ(reader.Byte(), 1u);   // line styles
    EXPECT_EQ(reader.Word(), 20u);  // 14 00
    EXPECT_EQ(reader.Word(), 40u);  // 28 00
    ExpectColor(reader, 1, 2, 3, 255);
    ExpectColor(reader, 4, 5, 6, 255);

    // Start edges, with the arrays' index bit counts.
    EXPECT_EQ(reader.Unsigned(4), 2u);          // fillBits
    EXPECT_EQ(reader.Unsigned(4), 1u);          // lineBits
    EXPECT_EQ(reader.Unsigned(6), 0b001111u);   // style change: line, fill1, fill0, move
    EXPECT_EQ(reader.Unsigned(5), 5u);          //   move bits
    EXPECT_EQ(reader.Signed(5), 10);
    EXPECT_EQ(reader.Signed(5), 10);
    EXPECT_EQ(reader.Unsigned(2), 1u);          //   fill0
    EXPECT_EQ(reader.Unsigned(2), 2u);          //   fill1
    EXPECT_EQ(reader.Unsigned(1), 1u);          //   line
    EXPECT_EQ(reader.Unsigned(2), 0b10u);       // curved edge
    EXPECT_EQ(reader.Unsigned(4), 3u);          //   5 bits
    EXPECT_EQ(reader.Signed(5), 10);
    EXPECT_EQ(reader.Signed(5), 0);
    EXPECT_EQ(reader.Signed(5), 10);
    EXPECT_EQ(reader.Signed(5), 10);
    EXPECT_EQ(reader.Unsigned(2), 0b11u);       // straight edge
    EXPECT_EQ(reader.Unsigned(4), 4u);          //   6 bits
    EXPECT_EQ(reader.Unsigned(2), 0b00u);       //   horizontal
    EXPECT_EQ(reader.Signed(6), -20);
    EXPECT_EQ(reader.Unsigned(6), 0u);          // end
    reader.Align();
    EXPECT_EQ(reader.BytePosition(), endEdgesAt);

    // End edges, without index bits.
    EXPECT_EQ(reader.Unsigned(4), 0u);          // fillBits
    EXPECT_EQ(reader.Unsigned(4), 0u);          // lineBits
    EXPECT_EQ(reader.Unsigned(6), 0b000001u);   // style change: move
    EXPECT_EQ(reader.Unsigned(5), 6u);
    EXPECT_EQ(reader.Signed(6), 20);
    EXPECT_EQ(reader.Signed(6), 20);
    EXPECT_EQ(reader.Unsigned(2), 0b10u);       // curved edge
    EXPECT_EQ(reader.Unsigned(4), 4u);          //   6 bits
    EXPECT_EQ(reader.Signed(6), 20);
    EXPECT_EQ(reader.Signed(6), 0);
    EXPECT_EQ(reader.Signed(6), 20);
    EXPECT_EQ(reader.Signed(6), 20);
    EXPECT_EQ(reader.Unsigned(2), 0b11u);       // straight edge
    EXPECT_EQ(reader.Unsigned(4), 5u);          //   7 bits
    EXPECT_EQ(reader.Unsigned(2), 0b00u);       //   horizontal
    EXPECT_EQ(reader.Signed(7), -40);
    EXPECT_EQ(reader.Unsigned(6), 0u);          // end
    reader.Align();
    EXPECT_EQ(reader.BitsLeft(), 0u);
}

TEST(MorphShapeTag, EndStyleChangeWritesNoIndexBits)
{
    // Three fills and a line: the start edges use 2 and 1 index bits, the end
    // edges none, whatever the record selects.
    FDTDefineMorphShape tag(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
    for (int i = 0; i < 3; ++i)
        tag.AddFillStyle(std::make_unique<FMorphFillStyleSolid>(FColor(0, 0, 0), FColor(0, 0, 0)));
    tag.AddLineStyle(1, FColor(0, 0, 0), 1, FColor(0, 0, 0));
    tag.FinishStyleArrays();
    tag.AddStartShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, true, false, 0, 0, 3, 2, 1));
    tag.AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
    tag.AddEndShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, true, false, 0, 0, 3, 2, 1));
    tag.AddEndShapeRecord(std::make_unique<FEndShapeRecord>());

    const Bytes bytes = TagBytes(tag);
    // The tag ends with the end edges: 0000 0000, then 0 0 1 1 1 0 and the end record.
    ASSERT_GE(bytes.size(), 7u);
    EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0x00, 0x38, 0x00}));
    // The start edges before them: 0010 0001, 0 0 1 1 1 0, fill0 11, fill1 10, line 1, end.
    EXPECT_EQ(Bytes(bytes.end() - 7, bytes.end() - 3), (Bytes{0x21, 0x3B, 0xA0, 0x00}));
}

TEST(MorphShapeTag, SplitEdgesCountOnePerRecordWritten)
{
    // A 100000-twip edge needs two records, straight or curved.
    EXPECT_EQ(FStraightEdgeRecord(0, 100000).EdgeRecordCount(), 2u);
    EXPECT_EQ(FCurvedEdgeRecord(100000, 0, 100000, 0).EdgeRecordCount(), 2u);
    EXPECT_EQ(FCurvedEdgeRecord(10, 0, 10, 0).EdgeRecordCount(), 1u);

    // Two records against two edges (one curved) of the end shape: a pairing a reader accepts.
    auto tag = FinishedMorph();
    tag->AddStartShapeRecord(MoveTo(0, 0));
    tag->AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(0, 100000));
    tag->AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
    tag->AddEndShapeRecord(MoveTo(0, 0));
    tag->AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(0, 50));
    tag->AddEndShapeRecord(std::make_unique<FCurvedEdgeRecord>(0, 25, 0, 25));
    tag->AddEndShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    tag->Write(stream);
    EXPECT_GT(stream.Size(), 0u);
}

TEST(MorphShapeTagDeathTest, CallingOrder)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH({
        FDTDefineMorphShape tag(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
        tag.AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
    }, "Assertion failed: styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineMorphShape tag(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
        tag.AddEndShapeRecord(std::make_unique<FEndShapeRecord>());
    }, "Assertion failed: styleArraysFinished,");
    EXPECT_DEATH({
        auto tag = FinishedMorph();
        tag->AddFillStyle(std::make_unique<FMorphFillStyleSolid>(FColor(0, 0, 0), FColor(0, 0, 0)));
    }, "Assertion failed: !styleArraysFinished,");
    EXPECT_DEATH({
        auto tag = FinishedMorph();
        tag->AddLineStyle(1, FColor(0, 0, 0), 1, FColor(0, 0, 0));
    }, "Assertion failed: !styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineMorphShape tag(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
        tag.AddFillStyle(nullptr);
    }, "Assertion failed: fillStyle,");
}

TEST(MorphShapeTagDeathTest, IncompleteOrUnpairedEdges)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH({
        auto tag = FinishedMorph();
        tag->AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(5, 0));
        tag->AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(5, 0));
        tag->AddEndShapeRecord(std::make_unique<FEndShapeRecord>());
        FSWFStream stream;
        tag->Write(stream);
    }, "Assertion failed: start edges end with an FEndShapeRecord,");
    EXPECT_DEATH({
        auto tag = FinishedMorph();
        tag->AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(5, 0));
        tag->AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
        tag->AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(5, 0));
        FSWFStream stream;
        tag->Write(stream);
    }, "Assertion failed: end edges end with an FEndShapeRecord,");
    EXPECT_DEATH({
        // The long start edge is written as two records, the end edge as one.
        auto tag = FinishedMorph();
        tag->AddStartShapeRecord(std::make_unique<FStraightEdgeRecord>(0, 100000));
        tag->AddStartShapeRecord(std::make_unique<FEndShapeRecord>());
        tag->AddEndShapeRecord(std::make_unique<FStraightEdgeRecord>(0, 10));
        tag->AddEndShapeRecord(std::make_unique<FEndShapeRecord>());
        FSWFStream stream;
        tag->Write(stream);
    }, "Assertion failed: start and end edges hold the same number of edge records,");
    EXPECT_DEATH({
        FDTDefineMorphShape tag(FRect(0, 0, 1, 1), FRect(0, 0, 1, 1));
        FSWFStream stream;
        tag.Write(stream);
    }, "Assertion failed: styleArraysFinished,");
}
