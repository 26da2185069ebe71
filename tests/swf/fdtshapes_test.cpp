#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "swf/fdtshapes.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string RecordBits(const FShapeRecord& record)
{
    FSWFStream stream;
    record.Write(stream);
    return BitString(stream);
}

// One edge record read back: for a straight edge only the anchor is used.
struct Edge {
    bool straight;
    uint32_t numBits;
    int32_t controlX, controlY, anchorX, anchorY;
};

// Reads edge records up to the padding of the last byte.
std::vector<Edge> ReadEdges(FSWFStream& stream)
{
    BitReader reader(StreamBytes(stream));
    std::vector<Edge> edges;
    while (reader.BitsLeft() >= 6 && reader.Unsigned(1) == 1) {
        Edge edge{reader.Unsigned(1) == 1, 0, 0, 0, 0, 0};
        edge.numBits = reader.Unsigned(4) + 2;
        if (!edge.straight) {
            edge.controlX = reader.Signed(edge.numBits);
            edge.controlY = reader.Signed(edge.numBits);
            edge.anchorX = reader.Signed(edge.numBits);
            edge.anchorY = reader.Signed(edge.numBits);
        } else if (reader.Unsigned(1) == 1) {  // general
            edge.anchorX = reader.Signed(edge.numBits);
            edge.anchorY = reader.Signed(edge.numBits);
        } else if (reader.Unsigned(1) == 1) {  // vertical
            edge.anchorY = reader.Signed(edge.numBits);
        } else {
            edge.anchorX = reader.Signed(edge.numBits);
        }
        edges.push_back(edge);
    }
    return edges;
}

std::unique_ptr<FStyleChangeRecord> MoveAndSelect(int32_t x, int32_t y, uint32_t fill1, uint32_t line)
{
    return std::make_unique<FStyleChangeRecord>(false, true, true, false, true, x, y, 0, fill1, line);
}

}  // namespace

TEST(ShapeTags, DefaultRectangleDefineShape3)
{
    // A 0..100 rectangle with a white fill and a 20-twip black line, drawn
    // one twip larger than its bounds, as the first character of a movie.
    FResetCharacterID();
    FDTDefineShape3 tag(FRect(0, 0, 100, 100));
    EXPECT_EQ(tag.AddSolidFillStyle(FColor(255, 255, 255, 255)), 1u);
    EXPECT_EQ(tag.AddLineStyle(20, FColor(0, 0, 0, 255)), 1u);
    tag.FinishStyleArrays();
    tag.AddShapeRecord(MoveAndSelect(0, 0, 1, 1));
    tag.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(101, 0));
    tag.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(0, 101));
    tag.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(-101, 0));
    tag.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(0, -101));
    tag.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    tag.Write(stream);

    const Bytes expected = {
        0x20, 0x08,                    // code 32, length 32 (short form)
        0x01, 0x00,                    // character ID 1
        0x40, 0x03, 0x20, 0x03, 0x20,  // bounds: 8 bits each, 0 100 0 100
        0x01,                          // one fill style
        0x00, 0xFF, 0xFF, 0xFF, 0xFF,  //   solid, white RGBA
        0x01,                          // one line style
        0x14, 0x00, 0x00, 0x00, 0x00, 0xFF,  // 20 twips, black RGBA
        0x11,                          // fillBits 1, lineBits 1
        0x34, 0x27, 0xB0, 0xCB, 0xB2,  // move to (0, 0), fill 1, line 1; four 8-bit edges
        0xCB, 0xB1, 0x37, 0xB3, 0x36,
        0x00,                          // end record, padding
    };
    EXPECT_EQ(StreamBytes(stream), expected);
    EXPECT_EQ(tag.ID(), 1);
}

TEST(ShapeRecords, StraightEdgeForms)
{
    // vertical, numBits 6: -20
    EXPECT_EQ(RecordBits(FStraightEdgeRecord(0, -20)), Padded("11" "0100" "0" "1" "101100"));
    // horizontal, numBits 8: 100
    EXPECT_EQ(RecordBits(FStraightEdgeRecord(100, 0)), Padded("11" "0110" "0" "0" "01100100"));
    // general, numBits 4: 3, 4
    EXPECT_EQ(RecordBits(FStraightEdgeRecord(3, 4)), Padded("11" "0010" "1" "0011" "0100"));
    // zero length: vertical with the minimum numBits 2
    EXPECT_EQ(RecordBits(FStraightEdgeRecord(0, 0)), Padded("11" "0000" "0" "1" "00"));
}

TEST(ShapeRecords, CurvedEdgeStyleChangeAndEnd)
{
    // numBits 9 for 207: control (-146, 146), anchor (-207, 0)
    EXPECT_EQ(RecordBits(FCurvedEdgeRecord(-146, 146, -207, 0)),
              Padded("10" "0111" "101101110" "010010010" "100110001" "000000000"));
    // Move to (0, 0): moveBits 1 and two 1-bit zeros; no style fields.
    EXPECT_EQ(RecordBits(FStyleChangeRecord(false, false, false, false, true, 0, 0, 0, 0, 0)),
              Padded("000001" "00001" "0" "0"));

    // The end record after 3 bits: six zeros across the byte boundary, then padding.
    FSWFStream stream;
    stream.WriteBits(7, 3);
    FEndShapeRecord().Write(stream);
    EXPECT_TRUE(stream.IsAligned());
    EXPECT_EQ(StreamBytes(stream), (Bytes{0xE0, 0x00}));
}

TEST(ShapeRecords, EdgesThatFitKeepOneRecord)
{
    // 65535 is the largest delta of one record: numBits 17, bit count field 15.
    EXPECT_EQ(RecordBits(FStraightEdgeRecord(65535, 0)),
              Padded("11" "1111" "0" "0" "01111111111111111"));
    EXPECT_EQ(FStraightEdgeRecord(-65535, 65535).RecordCount(), 1u);
}

TEST(ShapeRecords, LongStraightEdgesAreSplitAlongTheLine)
{
    // 65536 needs 18 bits: two horizontal records of 32768 (17 bits each).
    FStraightEdgeRecord horizontal(65536, 0);
    EXPECT_EQ(horizontal.RecordCount(), 2u);
    const std::string half = "11" "1111" "0" "0" "01000000000000000";
    EXPECT_EQ(RecordBits(horizontal), Padded(half + half));

    // A 3840 x 2160-pixel slide's diagonal: two equal general pieces.
    FSWFStream stream;
    FStraightEdgeRecord(76800, -43200).Write(stream);
    const std::vector<Edge> edges = ReadEdges(stream);
    ASSERT_EQ(edges.size(), 2u);
    for (const Edge& edge : edges) {
        EXPECT_TRUE(edge.straight);
        EXPECT_EQ(edge.anchorX, 38400);
        EXPECT_EQ(edge.anchorY, -21600);
    }

    // Uneven pieces still sum exactly, and none is longer than a record holds.
    FSWFStream uneven;
    FStraightEdgeRecord(-200001, 7).Write(uneven);
    int64_t sumX = 0, sumY = 0;
    const std::vector<Edge> pieces = ReadEdges(uneven);
    EXPECT_EQ(pieces.size(), 4u);
    for (const Edge& edge : pieces) {
        EXPECT_LE(std::abs(edge.anchorX), 65535);
        sumX += edge.anchorX;
        sumY += edge.anchorY;
    }
    EXPECT_EQ(sumX, -200001);
    EXPECT_EQ(sumY, 7);
}

TEST(ShapeRecords, LongCurvesAreHalved)
{
    // The curve (0,0) -> control (100000, 0) -> anchor (100000, 100000) is
    // halved at its midpoint (75000, 25000).
    FSWFStream stream;
    FCurvedEdgeRecord(100000, 0, 0, 100000).Write(stream);
    const std::vector<Edge> edges = ReadEdges(stream);
    ASSERT_EQ(edges.size(), 2u);
    EXPECT_FALSE(edges[0].straight);
    EXPECT_EQ(edges[0].controlX, 50000);
    EXPECT_EQ(edges[0].controlY, 0);
    EXPECT_EQ(edges[0].controlX + edges[0].anchorX, 75000);
    EXPECT_EQ(edges[0].controlY + edges[0].anchorY, 25000);
    EXPECT_EQ(edges[0].controlX + edges[0].anchorX + edges[1].controlX + edges[1].anchorX, 100000);
    EXPECT_EQ(edges[0].controlY + edges[0].anchorY + edges[1].controlY + edges[1].anchorY, 100000);
}

TEST(StyleArrays, ExtendedCountFrom255)
{
    auto lineStyles = [](int count) {
        auto array = std::make_unique<FLineStyleArray>();
        for (int i = 0; i < count; ++i) array->Add(std::make_unique<FLineStyle>(20, FColor(1, 2, 3)));
        return array;
    };
    FSWFStream s254;
    lineStyles(254)->Write(s254);
    const Bytes b254 = StreamBytes(s254);
    ASSERT_EQ(b254.size(), 1u + 254 * 5);
    EXPECT_EQ(b254[0], 0xFE);                         // count in one byte
    EXPECT_EQ(b254[1], 0x14);                         // first style follows
    FSWFStream s255;
    lineStyles(255)->Write(s255);
    const Bytes b255 = StreamBytes(s255);
    ASSERT_EQ(b255.size(), 3u + 255 * 5);
    EXPECT_EQ(Bytes(b255.begin(), b255.begin() + 4), (Bytes{0xFF, 0xFF, 0x00, 0x14}));  // escape, 255, style

    // 255 styles need 8 index bits; no fill styles need none.
    FShapeWithStyle shape(std::make_unique<FFillStyleArray>(), lineStyles(255));
    EXPECT_EQ(shape.FillBits(), 0u);
    EXPECT_EQ(shape.LineBits(), 8u);
}

TEST(FillStyles, GradientAndBitmap)
{
    auto gradient = std::make_unique<FGradient>();
    gradient->Add(std::make_unique<FGradRecord>(0, FColor(255, 0, 0)));
    gradient->Add(std::make_unique<FGradRecord>(255, FColor(0, 0, 255)));
    EXPECT_EQ(gradient->Count(), 2u);
    FSWFStream linear;
    FFillStyleGradient(true, FMatrix(), std::move(gradient)).Write(linear);
    EXPECT_EQ(StreamBytes(linear), (Bytes{
        0x10,                    // linear gradient
        0x00,                    // identity matrix
        0x02,                    // two records
        0x00, 0xFF, 0x00, 0x00,  // ratio 0, red
        0xFF, 0x00, 0x00, 0xFF,  // ratio 255, blue
    }));

    FSWFStream radial;
    FFillStyleGradient(false, FMatrix(), std::make_unique<FGradient>()).Write(radial);
    EXPECT_EQ(StreamBytes(radial), (Bytes{0x12, 0x00, 0x00}));  // radial, identity, no records

    // Clipped bitmap 0xFFFF scaled by 10.0: scaleBits 21, no rotation, translation bits 1.
    FSWFStream bitmap;
    FFillStyleBitmap(false, 0xFFFF, FMatrix(true, 0xA0000, 0xA0000, false, 0, 0, 0, 0)).Write(bitmap);
    EXPECT_EQ(BitString(bitmap), Padded("01000001" "11111111" "11111111"  // clipped, ID
                                        "1" "10101" "010100000000000000000" "010100000000000000000"
                                        "0" "00001" "0" "0"));
}

TEST(ShapeTags, DefineShapeWritesRGBColours)
{
    FResetCharacterID();
    FDTDefineShape tag(FRect(0, 0, 0, 0));
    tag.AddSolidFillStyle(FColor(1, 2, 3, 4));
    tag.AddLineStyle(1, FColor(5, 6, 7, 8));
    tag.FinishStyleArrays();
    tag.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    tag.Write(stream);
    EXPECT_EQ(StreamBytes(stream), (Bytes{
        0x91, 0x00,              // code 2, length 17
        0x01, 0x00,              // ID 1
        0x08, 0x00,              // empty bounds
        0x01, 0x00, 1, 2, 3,     // one solid fill, RGB
        0x01, 0x01, 0x00, 5, 6, 7,  // one line, width 1, RGB
        0x11,                    // fillBits 1, lineBits 1
        0x00,                    // end record
    }));
}

TEST(ShapeTags, NoFillStylesWriteNoFillIndex)
{
    FResetCharacterID();
    FDTDefineShape3 tag(FRect(0, 0, 0, 0));
    tag.AddLineStyle(20, FColor(0, 0, 0));
    tag.FinishStyleArrays();
    tag.AddShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, false, false, 0, 0, 0, 1, 1));
    tag.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    tag.Write(stream);
    const Bytes bytes = StreamBytes(stream);
    ASSERT_EQ(bytes.size(), 2u + 15);
    EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.end()), (Bytes{
        0x00,                                // no fill styles
        0x01, 0x14, 0x00, 0x00, 0x00, 0x00, 0xFF,  // one line style, RGBA
        0x01,                                // fillBits 0, lineBits 1
        0x32, 0x00,  // 001100: line and fill1 set; fill index in 0 bits; line 1; end
    }));
}

TEST(ShapeTags, LongBodyGetsLongHeader)
{
    FDTDefineShape3 tag(FRect(0, 0, 2000, 2000));
    tag.FinishStyleArrays();
    for (int i = 0; i < 40; ++i) tag.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(50, 0));
    tag.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    tag.Write(stream);
    BitReader reader(StreamBytes(stream));
    EXPECT_EQ(reader.Word(), (32u << 6) | 63);
    EXPECT_EQ(reader.DWord(), stream.Size() - 6);
}

TEST(ShapeRecords, NewStylesAlignAndChangeIndexBits)
{
    auto fills = std::make_unique<FFillStyleArray>();
    fills->Add(std::make_unique<FFillStyleSolid>(FColor(9, 9, 9)));
    FShapeWithStyle shape(std::move(fills), std::make_unique<FLineStyleArray>());
    auto newFills = std::make_unique<FFillStyleArray>();
    newFills->Add(std::make_unique<FFillStyleSolid>(FColor(1, 1, 1)));
    newFills->Add(std::make_unique<FFillStyleSolid>(FColor(2, 2, 2)));
    shape.AddShapeRecord(std::make_unique<FStyleChangeRecord>(true, false, false, false, false, 0, 0, 0,
                                                              0, 0, std::move(newFills), nullptr));
    shape.AddShapeRecord(std::make_unique<FStyleChangeRecord>(false, false, true, false, false, 0, 0, 0, 3, 0));
    shape.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream stream;
    shape.Write(stream);
    EXPECT_EQ(StreamBytes(stream), (Bytes{
        0x01, 0x00, 9, 9, 9, 0x00,  // one fill style, no line styles
        0x10,                       // fillBits 1, lineBits 0
        0x40,                       // new styles flag, aligned
        0x02, 0x00, 1, 1, 1, 0x00, 2, 2, 2,  // the new fill styles
        0x00,                       // no new line styles
        0x20,                       // new fillBits 2, lineBits 0
        0x13,                       // fill1 = 3 in the new 2 bits
        0x00,                       // end record
    }));
}

TEST(ShapeRecords, ShapeStampsItsBitCounts)
{
    // A glyph: fill style 1 selected with the font's one fill bit.
    FShape glyph;
    glyph.AddShapeRecord(std::make_unique<FStyleChangeRecord>(false, false, true, false, true, 0, 0, 0, 1, 0));
    glyph.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(3, 4));
    glyph.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    glyph.SetFillBits(1);
    FSWFStream stream;
    glyph.Write(stream);
    EXPECT_EQ(BitString(stream), Padded("0001" "0000" "000101" "00001" "0" "0" "1"
                                        "11" "0010" "1" "0011" "0100" "000000"));
}

TEST(ShapeTagsDeathTest, CallingOrder)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH({
        FDTDefineShape3 tag(FRect(0, 0, 1, 1));
        tag.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    }, "Assertion failed: styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineShape3 tag(FRect(0, 0, 1, 1));
        tag.FinishStyleArrays();
        tag.AddSolidFillStyle(FColor(0, 0, 0));
    }, "Assertion failed: !styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineShape3 tag(FRect(0, 0, 1, 1));
        tag.FinishStyleArrays();
        tag.AddLineStyle(1, FColor(0, 0, 0));
    }, "Assertion failed: !styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineShape3 tag(FRect(0, 0, 1, 1));
        FSWFStream stream;
        tag.Write(stream);
    }, "Assertion failed: styleArraysFinished,");
    EXPECT_DEATH({
        FDTDefineShape3 tag(FRect(0, 0, 1, 1));
        tag.AddFillStyle(nullptr);
    }, "Assertion failed: fillStyle,");
}
