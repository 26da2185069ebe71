#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "hf/hfmovie.h"
#include "hf/hfpolygon.h"
#include "hf/hfshape.h"
#include "shapetags.h"
#include "swf/fdtshapes.h"

namespace {

using namespace shapetest;

// Stands in for JPEG bytes: the tags pass them on without looking inside.
const std::array<uint8_t, 4> kJPEG = {0xFF, 0xD8, 0xFF, 0xD9};

const HFColor kRed{255, 0, 0, 255};
const HFColor kBlue{0, 0, 255, 128};

class Shapes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::FLAGS_gtest_death_test_style = "threadsafe";
        FResetCharacterID();
    }
    void TearDown() override { FResetCharacterID(); }

    HFTagList& Tags() { return movie.Frame(0)->Tags(); }
    // Adds the object to frame 0 and reads back the tag at `index` of the frame.
    swftest::Tag AddAndRead(HFObject& object, size_t index)
    {
        movie.Frame(0)->AddObject(object);
        return ReadTag(*Tags().at(index));
    }
    Shape DefinedShape(HFObject& object, size_t index = 0)
    {
        const swftest::Tag tag = AddAndRead(object, index);
        EXPECT_EQ(tag.code, FTagCode::DefineShape3);
        return ReadShape3(tag.body);
    }

    HFMovie movie;
};

void ExpectEdge(const Record& edge, int32_t dx, int32_t dy)
{
    EXPECT_EQ(edge.kind, Record::kStraight);
    EXPECT_EQ(edge.dx, dx);
    EXPECT_EQ(edge.dy, dy);
}

TEST_F(Shapes, DefaultRectangleGivesTheExactDefineShape3)
{
    HFRectangle rectangle(0, 0, 100, 100);
    movie.Frame(0)->AddObject(rectangle);
    ASSERT_EQ(Tags().size(), 2u);
    EXPECT_EQ(rectangle.ID(), 1);
    EXPECT_EQ(TagBytes(*Tags()[0]), (std::vector<uint8_t>{
                                        0x20, 0x08,                    // DefineShape3, 32-byte body
                                        0x01, 0x00,                    // character 1
                                        0x40, 0x03, 0x20, 0x03, 0x20,  // bounds: 8 bits, 0..100, 0..100
                                        0x01,                          // one fill style
                                        0x00, 0xFF, 0xFF, 0xFF, 0xFF,  // solid opaque white
                                        0x01,                          // one line style
                                        0x14, 0x00,                    // 20 twips wide
                                        0x00, 0x00, 0x00, 0xFF,        // opaque black
                                        0x11,                          // 1 fill bit, 1 line bit
                                        0x34, 0x27, 0xB0, 0xCB, 0xB2,  // move to (0, 0), fill 1, line 1,
                                        0xCB, 0xB1, 0x37, 0xB3, 0x36,  // four 8-bit straight edges,
                                        0x00,                          // end
                                    }));
    // The edges, read back: one twip beyond the bounds.
    const Shape shape = ReadShape3(ReadTag(*Tags()[0]).body);
    const std::vector<Record> edges = shape.Edges();
    ASSERT_EQ(edges.size(), 4u);
    ExpectEdge(edges[0], 101, 0);
    ExpectEdge(edges[1], 0, 101);
    ExpectEdge(edges[2], -101, 0);
    ExpectEdge(edges[3], 0, -101);
    // Placed without a matrix.
    const swftest::Tag place = ReadTag(*Tags()[1]);
    EXPECT_EQ(place.code, FTagCode::PlaceObject2);
    EXPECT_EQ(place.body.at(0), 0x02);  // flags: character only
}

TEST_F(Shapes, BitmapFillScalesTheImageOntoTheShape)
{
    HFRectangle rectangle(0, 0, 600, 600);
    EXPECT_EQ(rectangle.SetJPEGBitmapFill(30, 30, kJPEG.data(), kJPEG.size()), 1);
    movie.Frame(0)->AddObject(rectangle);
    ASSERT_EQ(Tags().size(), 3u);
    EXPECT_EQ(ReadTag(*Tags()[0]).code, FTagCode::DefineBitsJPEG2);  // the bitmap comes first
    const Shape shape = ReadShape3(ReadTag(*Tags()[1]).body);
    EXPECT_EQ(shape.id, 2u);
    ASSERT_EQ(shape.fills.size(), 2u);
    // Fill 1 names no bitmap, at scale 10.0.
    EXPECT_EQ(shape.fills[0].type, 0x41u);
    EXPECT_EQ(shape.fills[0].bitmapID, 0xFFFFu);
    EXPECT_EQ(shape.fills[0].matrix.scaleX, 0xA0000);
    EXPECT_EQ(shape.fills[0].matrix.scaleY, 0xA0000);
    // Fill 2 is the image: (601 x 65536) / 30.
    EXPECT_EQ(shape.fills[1].type, 0x41u);
    EXPECT_EQ(shape.fills[1].bitmapID, 1u);
    EXPECT_EQ(shape.fills[1].matrix.scaleX, 1312904);
    EXPECT_EQ(shape.fills[1].matrix.scaleY, 1312904);
    EXPECT_FALSE(shape.fills[1].matrix.hasRotate);
    EXPECT_EQ(shape.fills[1].matrix.translateX, 0);
    EXPECT_EQ(shape.fills[1].matrix.translateY, 0);
    EXPECT_EQ(shape.records.at(0).fill1, 2u);
    EXPECT_EQ(rectangle.FillIndex(), 2u);
}

TEST_F(Shapes, BitmapFillOfAFullHDSlideDoesNotOverflow)
{
    // 38381 x 65536 needs more than 31 bits.
    HFRectangle slide(20, 20, 38400, 21600);
    slide.SetJPEGBitmapFill(1920, 1080, kJPEG.data(), kJPEG.size());
    const Shape shape = DefinedShape(slide, 1);
    ASSERT_EQ(shape.fills.size(), 2u);
    EXPECT_EQ(shape.fills[1].matrix.scaleX, 1310071);  // 38381 x 65536 / 1920
    EXPECT_EQ(shape.fills[1].matrix.scaleY, 1309567);  // 21581 x 65536 / 1080
    EXPECT_EQ(shape.fills[1].matrix.translateX, 20);
    EXPECT_EQ(shape.fills[1].matrix.translateY, 20);
}

TEST_F(Shapes, BitmapFillBeyondWhatAMatrixHoldsSaturates)
{
    // A 30-pixel image on 1310700 twips: 2.86e9, more than the 31 signed bits a
    // matrix's 5-bit count allows; a 1-pixel image on the same shape, more than 32.
    for (int32_t pixels : {30, 1}) {
        FResetCharacterID();
        HFMovie own;
        HFRectangle slide(20, 20, 1310700, 1310700);
        slide.SetJPEGBitmapFill(pixels, pixels, kJPEG.data(), kJPEG.size());
        own.Frame(0)->AddObject(slide);
        const Shape shape = ReadShape3(ReadTag(*own.Frame(0)->Tags().at(1)).body);
        ASSERT_EQ(shape.fills.size(), 2u);
        EXPECT_EQ(shape.fills[1].matrix.scaleX, 0x3FFFFFFF) << pixels;
        EXPECT_EQ(shape.fills[1].matrix.scaleY, 0x3FFFFFFF) << pixels;
    }
}

TEST_F(Shapes, NewShapeHasBlackOutlineAndWhiteFill)
{
    HFRectangle rectangle(10, 20, 30, 40);
    const Shape shape = DefinedShape(rectangle);
    ASSERT_EQ(shape.fills.size(), 1u);
    EXPECT_EQ(shape.fills[0].type, 0x00u);
    EXPECT_EQ(shape.fills[0].color, (RGBA{255, 255, 255, 255}));
    ASSERT_EQ(shape.lines.size(), 1u);
    EXPECT_EQ(shape.lines[0].width, 20u);
    EXPECT_EQ(shape.lines[0].color, (RGBA{0, 0, 0, 255}));
    const Record& start = shape.records.at(0);
    EXPECT_EQ(start.kind, Record::kStyleChange);
    EXPECT_EQ(start.moveX, 10);
    EXPECT_EQ(start.moveY, 20);
    EXPECT_EQ(start.fill1, 1u);
    EXPECT_EQ(start.line, 1u);
}

TEST_F(Shapes, ColoursReachTheStyles)
{
    HFRectangle rectangle(0, 0, 10, 10);
    rectangle.SetSolidFill(kRed);
    rectangle.SetLineColor(kBlue);
    rectangle.SetLineWidth(40);
    const Shape shape = DefinedShape(rectangle);
    EXPECT_EQ(shape.fills.at(0).color, (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(shape.lines.at(0).width, 40u);
    EXPECT_EQ(shape.lines.at(0).color, (RGBA{0, 0, 255, 128}));
}

TEST_F(Shapes, NoLineWidthMeansNoLineStyle)
{
    HFRectangle rectangle(0, 0, 100, 100);
    rectangle.SetLineWidth(0);
    const Shape shape = DefinedShape(rectangle);
    EXPECT_TRUE(shape.lines.empty());
    EXPECT_EQ(shape.lineBits, 0u);
    EXPECT_TRUE(shape.records.at(0).lineStyleFlag);  // still set, its index in 0 bits
}

TEST_F(Shapes, ClearFillThenSolidFillLeavesNoFill)
{
    HFRectangle rectangle(0, 0, 100, 100);
    rectangle.ClearFill();
    rectangle.SetSolidFill(kRed);
    EXPECT_EQ(rectangle.FillKind(), kHFFillNone);
    EXPECT_EQ(rectangle.FillColor().red, 255);
    EXPECT_EQ(rectangle.FillColor().green, 0);
    const Shape shape = DefinedShape(rectangle);
    EXPECT_TRUE(shape.fills.empty());
    EXPECT_EQ(shape.fillBits, 0u);
}

TEST_F(Shapes, LookSettersRedefineButPlacementSettersDoNot)
{
    HFRectangle rectangle(0, 0, 100, 100);
    HFFrame& frame = *movie.Frame(0);
    frame.AddObject(rectangle);
    rectangle.SetTranslation(5, 5);
    rectangle.SetRotation(0x10000);
    rectangle.SetScale(0x20000, 0x20000);
    EXPECT_TRUE(rectangle.Defined());
    frame.AddObject(rectangle);
    EXPECT_EQ(Tags().size(), 3u);  // one definition, two placements

    rectangle.SetLineColor(kRed);
    EXPECT_FALSE(rectangle.Defined());
    frame.AddObject(rectangle);
    EXPECT_EQ(rectangle.ID(), 2);  // defined anew under a new ID
    EXPECT_EQ(Tags().size(), 5u);

    // Each look setter on a freshly defined shape.
    const auto clearsDefined = [&](auto setter) {
        HFRectangle shape(0, 0, 100, 100);
        frame.AddObject(shape);
        setter(shape);
        return !shape.Defined();
    };
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetLineWidth(3); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetSolidFill(kRed); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.ClearFill(); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetLinearGradientFill(kRed, kBlue); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetRadialGradientFill(kRed, kBlue); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetLinearGradientMatrix(0, 0); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetRadialGradientMatrix(0, 0); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.AddLinearGradientColor(0, kRed); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.AddRadialGradientColor(0, kRed); }));
    EXPECT_TRUE(clearsDefined([](HFShape& s) { s.SetJPEGBitmapFill(1, 1, kJPEG.data(), kJPEG.size()); }));
}

TEST_F(Shapes, OvalStartsNearItsLowerRightAndCloses)
{
    HFOval oval(0, 0, 1000, 1000);
    const Shape shape = DefinedShape(oval);
    EXPECT_EQ(shape.records.at(0).moveX, 853);
    EXPECT_EQ(shape.records.at(0).moveY, 853);
    const std::vector<Record> edges = shape.Edges();
    ASSERT_EQ(edges.size(), 8u);
    EXPECT_EQ(edges[0].kind, Record::kCurved);
    EXPECT_EQ(edges[0].controlDX, -146);
    EXPECT_EQ(edges[0].controlDY, 146);
    EXPECT_EQ(edges[0].dx, -207);
    EXPECT_EQ(edges[0].dy, 0);
    int32_t x = 0, y = 0;
    for (const Record& edge : edges) {
        x += edge.controlDX + edge.dx;
        y += edge.controlDY + edge.dy;
    }
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST_F(Shapes, CircleIsTheOvalOfItsBox)
{
    HFCircle circle(500, 500, 100);
    const std::vector<uint8_t> circleBytes = (movie.Frame(0)->AddObject(circle), TagBytes(*Tags()[0]));
    FResetCharacterID();
    HFMovie other;
    HFOval oval(400, 400, 600, 600);
    other.Frame(0)->AddObject(oval);
    EXPECT_EQ(circleBytes, TagBytes(*other.Frame(0)->Tags()[0]));
}

TEST_F(Shapes, OpenAndClosedPointListsGiveTheSameTriangle)
{
    const HFPoint open[] = {{0, 0}, {100, 0}, {100, 100}};
    const HFPoint closed[] = {{0, 0}, {100, 0}, {100, 100}, {0, 0}};
    HFPolygon fromOpen(open, 3);
    HFPolygon fromClosed(closed, 4);
    for (HFPolygon* polygon : {&fromOpen, &fromClosed}) {
        HFMovie own;
        own.Frame(0)->AddObject(*polygon);
        const Shape shape = ReadShape3(ReadTag(*own.Frame(0)->Tags()[0]).body);
        EXPECT_EQ(shape.xmax, 100);
        EXPECT_EQ(shape.ymax, 100);
        const std::vector<Record> edges = shape.Edges();
        ASSERT_EQ(edges.size(), 3u);
        ExpectEdge(edges[0], 100, 0);
        ExpectEdge(edges[1], 0, 100);
        ExpectEdge(edges[2], -100, -100);
    }
    EXPECT_EQ(fromOpen.Outline()->RecordCount(), 5u);  // style change, three edges, end
}

TEST_F(Shapes, PolygonBoundsFollowThePenNotTheControlPoints)
{
    HFPolygon polygon(0, 0);
    polygon.AddCurve(50, -50, 50, 50);
    EXPECT_EQ(polygon.Bounds().XMin(), 0);
    EXPECT_EQ(polygon.Bounds().YMin(), 0);
    EXPECT_EQ(polygon.Bounds().XMax(), 100);
    EXPECT_EQ(polygon.Bounds().YMax(), 0);

    HFPolygon path(10, 10);
    path.AddLine(-30, 0);
    path.AddLine(0, 40);
    EXPECT_EQ(path.Bounds().XMin(), -20);
    EXPECT_EQ(path.Bounds().YMin(), 10);
    EXPECT_EQ(path.Bounds().XMax(), 10);
    EXPECT_EQ(path.Bounds().YMax(), 50);
}

TEST_F(Shapes, PolygonPointListsMustHoldATriangle)
{
    const HFPoint two[] = {{0, 0}, {100, 0}};
    const HFPoint closedLine[] = {{0, 0}, {100, 0}, {0, 0}};
    EXPECT_DEATH(HFPolygon(two, 2), "_numberOfPoints > 2");
    EXPECT_DEATH(HFPolygon(nullptr, 3), "_pointArray");
    EXPECT_DEATH(HFPolygon(closedLine, 3), "_numberOfPoints > 3");
}

TEST_F(Shapes, LinearGradientFillTwiceAppendsToOneGradient)
{
    HFRectangle rectangle(0, 0, 199, 99);
    rectangle.SetLinearGradientFill(kRed, kBlue);
    rectangle.SetLinearGradientFill(kBlue, kRed);
    EXPECT_EQ(rectangle.GradientCount(), 4u);
    const Shape shape = DefinedShape(rectangle);
    ASSERT_EQ(shape.fills.size(), 1u);
    const FillStyle& fill = shape.fills[0];
    EXPECT_EQ(fill.type, 0x10u);
    EXPECT_EQ(fill.ratios, (std::vector<uint32_t>{0, 255, 0, 255}));
    EXPECT_EQ(fill.stops[0], (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(fill.stops[1], (RGBA{0, 0, 255, 128}));
    // Width and height taken as raw 16.16 scales, centred on the bounds.
    EXPECT_EQ(fill.matrix.scaleX, 200);
    EXPECT_EQ(fill.matrix.scaleY, 100);
    EXPECT_FALSE(fill.matrix.hasRotate);
    EXPECT_EQ(fill.matrix.translateX, 99);
    EXPECT_EQ(fill.matrix.translateY, 49);
    EXPECT_EQ(rectangle.GradientCount(), 0u);  // the tag has it now
}

TEST_F(Shapes, RadialGradientReachesTheCorners)
{
    HFRectangle rectangle(0, 0, 99, 99);
    rectangle.SetRadialGradientFill(kRed, kBlue);
    const Shape shape = DefinedShape(rectangle);
    const FillStyle& fill = shape.fills.at(0);
    EXPECT_EQ(fill.type, 0x12u);
    EXPECT_EQ(fill.matrix.scaleX, 282);  // sqrt(100² + 100²) x 2
    EXPECT_EQ(fill.matrix.scaleY, 282);
    EXPECT_EQ(fill.ratios, (std::vector<uint32_t>{0, 255}));
}

TEST_F(Shapes, GradientUsedByAnEarlierDefinitionStops)
{
    HFRectangle rectangle(0, 0, 99, 99);
    rectangle.SetLinearGradientFill(kRed, kBlue);
    movie.Frame(0)->AddObject(rectangle);
    rectangle.SetLineWidth(40);
    EXPECT_DEATH(movie.Frame(1)->AddObject(rectangle), "fillMatrix && fillGradient");
    // A new gradient makes it definable again.
    rectangle.SetLinearGradientFill(kBlue, kRed);
    movie.Frame(1)->AddObject(rectangle);
    EXPECT_EQ(rectangle.ID(), 2);
}

TEST_F(Shapes, BitmapUsedByAnEarlierDefinitionStops)
{
    HFRectangle rectangle(0, 0, 99, 99);
    rectangle.SetJPEGBitmapFill(10, 10, kJPEG.data(), kJPEG.size());
    movie.Frame(0)->AddObject(rectangle);
    rectangle.SetLineWidth(0);
    EXPECT_DEATH(movie.Frame(1)->AddObject(rectangle), "bitmapFill.fdt");
}

TEST_F(Shapes, ReplacedAndUnusedBitmapTagsAreReleased)
{
    // Run under the leak checker: neither tag may stay behind.
    {
        HFRectangle neverDefined(0, 0, 99, 99);
        neverDefined.SetJPEGBitmapFill(10, 10, kJPEG.data(), kJPEG.size());
    }
    HFRectangle rectangle(0, 0, 99, 99);
    rectangle.SetJPEGBitmapFill(10, 10, kJPEG.data(), kJPEG.size());  // ID 2, replaced
    rectangle.SetLosslessBitmapFill(5, 1, 1, 0, false, kJPEG.data(), nullptr);  // ID 3
    movie.Frame(0)->AddObject(rectangle);
    ASSERT_EQ(Tags().size(), 3u);
    const swftest::Tag bitmap = ReadTag(*Tags()[0]);
    EXPECT_EQ(bitmap.code, FTagCode::DefineBitsLossless);
    EXPECT_EQ(swftest::Little(bitmap.body, 0, 2), 3u);
    EXPECT_EQ(ReadShape3(ReadTag(*Tags()[1]).body).fills.at(1).bitmapID, 3u);
}

TEST_F(Shapes, TranslationAloneGivesAUnitMatrix)
{
    HFRectangle rectangle(0, 0, 100, 100);
    EXPECT_FALSE(rectangle.HasMatrix());
    rectangle.SetTranslation(100, 0);
    EXPECT_TRUE(rectangle.HasMatrix());
    const Matrix m = PlacementMatrix(AddAndRead(rectangle, 1).body);
    EXPECT_TRUE(m.hasScale);
    EXPECT_EQ(m.scaleX, 0x10000);
    EXPECT_EQ(m.scaleY, 0x10000);
    EXPECT_EQ(m.rotateSkew0, 0);
    EXPECT_EQ(m.rotateSkew1, 0);
    EXPECT_EQ(m.translateX, 100);
    EXPECT_EQ(m.translateY, 0);
}

TEST_F(Shapes, RotationTurnsAboutTheCentreOfTheBounds)
{
    // 90 degrees about the centre (50, 50), scale 2 about the origin, then
    // moved by (10, 20): (x, y) goes to (-2y + 210, 2x + 20).
    HFRectangle rectangle(0, 0, 100, 100);
    rectangle.SetRotation(90 << 16);
    rectangle.SetScale(0x20000, 0x20000);
    rectangle.SetTranslation(10, 20);
    const Matrix m = PlacementMatrix(AddAndRead(rectangle, 1).body);
    EXPECT_EQ(m.scaleX, 0);  // cos 90° truncates to 0
    EXPECT_EQ(m.scaleY, 0);
    EXPECT_TRUE(m.hasRotate);
    EXPECT_EQ(m.rotateSkew0, 0x20000);
    EXPECT_EQ(m.rotateSkew1, -0x20000);
    EXPECT_EQ(m.translateX, 210);  // 10 - trunc(-100 x 2)
    EXPECT_EQ(m.translateY, 20);   // 20 - trunc(0 x 2)
}

}  // namespace
