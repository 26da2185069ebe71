// Vector pages: PDFs drawn with cairo, recorded through the MuPDF device, and
// the tags read back field by field.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/gradientfit.h"
#include "driver/pdf/polygonops.h"
#include "driver/pdf/rasterpages.h"
#include "driver/pdf/substitutefonts.h"
#include "driver/pdf/vectordocument.h"
#include "hf/shapetags.h"
#include "support/cairo_pdf.h"
#include "support/hand_pdf.h"
#include "support/swf_reader.h"

namespace {

// 720 x 540 points onto a slide 1920 pixels wide: 38400 twips.
constexpr double kPageWidth = 720, kPageHeight = 540;
constexpr double kTwipsPerPoint = 38400.0 / kPageWidth;

std::string TempPDF(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / "corvanex-vector-tests";
    std::filesystem::create_directories(dir);
    return (dir / (name + ".pdf")).string();
}

struct Placement {
    uint16_t depth = 0;
    uint16_t characterID = 0;
    uint16_t clipDepth = 0;  // 0: not a clip layer
    bool colorTransform = false;
};

// The placements of a one-frame sprite, after checking its frame.
std::vector<Placement> SpritePlacements(FTag& sprite)
{
    const swftest::Tag tag = shapetest::ReadTag(sprite);
    EXPECT_EQ(tag.code, FTagCode::DefineSprite);
    EXPECT_EQ(swftest::Little(tag.body, 2, 2), 1u);  // one frame
    std::vector<Placement> placements;
    size_t at = 4;
    bool ended = false;
    while (at < tag.body.size()) {
        FSWFTagInfo info;
        if (FReadSWFTagHeader(tag.body, at, &info) != FSWFRead::Whole) throw std::runtime_error("sprite tag cut short");
        const std::vector<uint8_t> body(tag.body.begin() + static_cast<long>(info.bodyOffset),
                                        tag.body.begin() + static_cast<long>(info.NextOffset()));
        at = info.NextOffset();
        const auto code = static_cast<FTagCode>(info.code);
        if (code == FTagCode::End) {
            ended = true;
            break;
        }
        if (code != FTagCode::PlaceObject2) continue;
        Placement p;
        const uint8_t flags = body.at(0);
        EXPECT_TRUE(flags & 0x02);           // a new character
        EXPECT_FALSE(flags & (0x04 | 0x01));  // no matrix, no move
        p.depth = static_cast<uint16_t>(swftest::Little(body, 1, 2));
        p.characterID = static_cast<uint16_t>(swftest::Little(body, 3, 2));
        p.colorTransform = (flags & 0x08) != 0;
        if (flags & 0x40) p.clipDepth = static_cast<uint16_t>(swftest::Little(body, body.size() - 2, 2));
        placements.push_back(p);
    }
    EXPECT_TRUE(ended);
    return placements;
}

struct GlyphEntry {
    uint32_t index = 0;
    int32_t x = 0;  // text space, from the record's offset and the advances before it
    int32_t y = 0;
};

struct Text {
    uint16_t id = 0;
    shapetest::Matrix matrix;
    uint16_t fontID = 0;
    uint16_t height = 0;
    shapetest::RGBA color;
    std::vector<GlyphEntry> glyphs;
};

Text ReadText2(const std::vector<uint8_t>& body)
{
    Text text;
    text.id = static_cast<uint16_t>(swftest::Little(body, 0, 2));
    swftest::BitReader bits(body, 2);
    const uint32_t rectBits = bits.Unsigned(5);
    for (int i = 0; i < 4; ++i) bits.Signed(rectBits);
    text.matrix = shapetest::ReadMatrix(bits);
    const uint32_t glyphBits = bits.Byte(), advanceBits = bits.Byte();
    int32_t x = 0, y = 0;
    for (;;) {
        const uint32_t flags = bits.Byte();
        if (flags == 0) break;
        if (flags & 0x08) text.fontID = static_cast<uint16_t>(bits.Word());
        if (flags & 0x04) text.color = shapetest::ReadRGBA(bits);
        if (flags & 0x01) x = static_cast<int16_t>(bits.Word());
        if (flags & 0x02) y = static_cast<int16_t>(bits.Word());
        if (flags & 0x08) text.height = static_cast<uint16_t>(bits.Word());
        for (uint32_t n = bits.Byte(); n > 0; --n) {
            GlyphEntry entry{bits.Unsigned(glyphBits), x, y};
            x += bits.Signed(advanceBits);
            text.glyphs.push_back(entry);
        }
        bits.Align();
    }
    return text;
}

// DefineFont2: the name and the glyph count.
std::pair<std::string, uint32_t> ReadFont2(const std::vector<uint8_t>& body)
{
    const size_t nameLength = body.at(4);
    return {std::string(body.begin() + 5, body.begin() + 5 + static_cast<long>(nameLength)),
            swftest::Little(body, 5 + nameLength, 2)};
}

// DefineFont2: the characters of its glyphs, in its code table's order.
std::vector<uint32_t> Font2Codes(const std::vector<uint8_t>& body)
{
    const uint8_t flags = body.at(2);
    const bool wideOffsets = (flags & 0x08) != 0, wideCodes = (flags & 0x04) != 0;
    const size_t nameLength = body.at(4);
    const uint32_t glyphs = swftest::Little(body, 5 + nameLength, 2);
    const size_t table = 7 + nameLength, offsetSize = wideOffsets ? 4 : 2;
    const size_t codes = table + swftest::Little(body, table + glyphs * offsetSize, offsetSize);
    std::vector<uint32_t> characters;
    for (uint32_t i = 0; i < glyphs; ++i)
        characters.push_back(wideCodes ? swftest::Little(body, codes + i * 2, 2) : body.at(codes + i));
    return characters;
}

// The outline with the bounds of its points (a line's half width around them).
shapetest::Shape Bounded(shapetest::Shape outline)
{
    int32_t x = 0, y = 0;
    bool first = true;
    auto add = [&](int32_t px, int32_t py) {
        if (first) {
            outline.xmin = outline.xmax = px;
            outline.ymin = outline.ymax = py;
            first = false;
        }
        outline.xmin = std::min(outline.xmin, px);
        outline.xmax = std::max(outline.xmax, px);
        outline.ymin = std::min(outline.ymin, py);
        outline.ymax = std::max(outline.ymax, py);
    };
    for (const shapetest::Record& r : outline.records) {
        if (r.kind == shapetest::Record::kStyleChange) {
            if (!r.moveTo) continue;
            x = r.moveX;
            y = r.moveY;
        } else if (r.kind == shapetest::Record::kCurved) {
            add(x + r.controlDX, y + r.controlDY);
            x += r.controlDX + r.dx;
            y += r.controlDY + r.dy;
        } else {
            x += r.dx;
            y += r.dy;
        }
        add(x, y);
    }
    if (!outline.lines.empty()) {
        const auto half = static_cast<int32_t>(outline.lines[0].width / 2);
        outline.xmin -= half, outline.ymin -= half, outline.xmax += half, outline.ymax += half;
    }
    return outline;
}

// A one-page PDF of 720 x 540 points: the page's content stream and its
// resources dictionary's entries as given, and `extra` objects numbered from 5.
void WriteHandPDF(const std::string& path, const std::string& content, const std::string& resources,
                  const std::vector<std::string>& extra = {})
{
    handpdf::Write(path, {{content, resources}}, extra);
}

// A deck recorded page by page into one set of movie resources.
struct Recorded {
    VectorResources resources;
    std::vector<VectorPage> pages;
    std::vector<std::unique_ptr<FDTDefineFont2>> fonts;

    std::vector<swftest::Tag> Definitions(size_t page) const
    {
        std::vector<swftest::Tag> tags;
        for (const auto& tag : pages.at(page).definitions) tags.push_back(shapetest::ReadTag(*tag));
        return tags;
    }
    std::vector<shapetest::Shape> Shapes(size_t page) const
    {
        std::vector<shapetest::Shape> shapes;
        for (const swftest::Tag& tag : Definitions(page))
            if (tag.code == FTagCode::DefineShape3) shapes.push_back(shapetest::ReadShape3(tag.body));
        return shapes;
    }
    // Every outline of the page's shapes in drawing order, each as a shape of
    // its own: its styles (the shape's, or those its first record brings),
    // its records and the bounds of its points, the shape's ID kept.
    std::vector<shapetest::Shape> Outlines(size_t page) const
    {
        std::vector<shapetest::Shape> outlines;
        for (const shapetest::Shape& shape : Shapes(page)) {
            shapetest::Shape current;
            current.id = shape.id;
            current.fills = shape.fills;
            current.lines = shape.lines;
            for (const shapetest::Record& r : shape.records) {
                if (r.kind == shapetest::Record::kEnd) break;
                if (r.newStyles) {
                    if (!current.records.empty()) outlines.push_back(Bounded(current));
                    current.records.clear();
                    current.fills = r.newFills;
                    current.lines = r.newLines;
                }
                current.records.push_back(r);
            }
            if (!current.records.empty()) outlines.push_back(Bounded(current));
        }
        return outlines;
    }
    std::vector<Text> Texts(size_t page) const
    {
        std::vector<Text> texts;
        for (const swftest::Tag& tag : Definitions(page))
            if (tag.code == FTagCode::DefineText2) texts.push_back(ReadText2(tag.body));
        return texts;
    }
    std::vector<Placement> Placements(size_t page) const { return SpritePlacements(*pages.at(page).sprite); }
};

std::unique_ptr<Recorded> RecordFile(const std::string& path, const VectorOptions& options = {})
{
    VectorDocument document(path);
    auto recorded = std::make_unique<Recorded>();
    const Affine toTwips{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0};
    for (int page = 0; page < document.PageCount(); ++page)
        recorded->pages.push_back(document.Record(page, toTwips, recorded->resources, options));
    recorded->fonts = recorded->resources.fonts.TakeFonts();
    return recorded;
}

std::unique_ptr<Recorded> Record(const std::string& name, const std::vector<cairotest::PageDrawing>& drawings,
                                 const VectorOptions& options = {})
{
    const std::string path = TempPDF(name);
    cairotest::WritePDF(path, kPageWidth, kPageHeight, drawings);
    return RecordFile(path, options);
}

int32_t Twips(double points) { return static_cast<int32_t>(std::lround(points * kTwipsPerPoint)); }

size_t Contours(const shapetest::Shape& shape)
{
    return static_cast<size_t>(std::count_if(shape.records.begin(), shape.records.end(), [](const auto& r) {
        return r.kind == shapetest::Record::kStyleChange && r.moveTo;
    }));
}

size_t CurvedEdges(const shapetest::Shape& shape)
{
    const auto edges = shape.Edges();
    return static_cast<size_t>(std::count_if(edges.begin(), edges.end(), [](const auto& r) {
        return r.kind == shapetest::Record::kCurved;
    }));
}

}  // namespace

TEST(VectorPage, FillsAreShapesInTheirColoursPlacedInDrawingOrder)
{
    const auto deck = Record("fills", {[](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 100, 100, 200, 50);
        cairo_fill(cr);
        cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
        cairo_arc(cr, 400, 300, 80, 0, 2 * M_PI);
        cairo_fill(cr);
    }});
    const auto shapes = deck->Outlines(0);
    ASSERT_EQ(shapes.size(), 2u);
    ASSERT_EQ(shapes[0].fills.size(), 1u);
    EXPECT_EQ(shapes[0].fills[0].type, 0x00u);
    EXPECT_EQ(shapes[0].fills[0].color, (shapetest::RGBA{255, 0, 0, 255}));
    EXPECT_EQ(shapes[0].xmin, Twips(100));
    EXPECT_EQ(shapes[0].xmax, Twips(300));
    EXPECT_EQ(shapes[0].ymin, Twips(100));
    EXPECT_EQ(shapes[0].ymax, Twips(150));
    EXPECT_EQ(CurvedEdges(shapes[0]), 0u);
    // The alpha of the colour is kept; the circle's curves stay curves.
    EXPECT_EQ(shapes[1].fills[0].color, (shapetest::RGBA{0, 0, 255, 128}));
    EXPECT_GE(CurvedEdges(shapes[1]), 4u);
    EXPECT_NEAR(shapes[1].xmin, Twips(320), 2);
    EXPECT_NEAR(shapes[1].xmax, Twips(480), 2);
    // Contours end where they started.
    for (const auto& shape : shapes) {
        int32_t x = 0, y = 0, startX = 0, startY = 0;
        for (const auto& r : shape.records) {
            if (r.kind == shapetest::Record::kStyleChange && r.moveTo) x = startX = r.moveX, y = startY = r.moveY;
            if (r.kind == shapetest::Record::kStraight || r.kind == shapetest::Record::kCurved)
                x += r.dx + r.controlDX, y += r.dy + r.controlDY;
        }
        EXPECT_EQ(x, startX);
        EXPECT_EQ(y, startY);
    }

    // Both in one shape, the circle's style brought by its own records, so
    // that it is drawn over the square.
    EXPECT_EQ(shapes[0].id, shapes[1].id);
    EXPECT_TRUE(shapes[1].records[0].newStyles);
    const auto placements = deck->Placements(0);
    ASSERT_EQ(placements.size(), 1u);
    EXPECT_EQ(placements[0].depth, 1);
    EXPECT_EQ(placements[0].characterID, shapes[0].id);
    const VectorPageSummary& summary = deck->pages[0].summary;
    EXPECT_FALSE(summary.NeedsFallback());
    EXPECT_EQ(summary.shapes, 1u);
    EXPECT_EQ(summary.edges, static_cast<uint32_t>(shapes[0].Edges().size() + shapes[1].Edges().size()));
    EXPECT_GT(summary.bytes, 0u);
}

TEST(VectorPage, CubicsBecomeQuadraticsWithinTheTolerance)
{
    // A circle of 200 points radius: a tighter tolerance takes more curves,
    // and each curve's midpoint lies on the circle within it.
    auto circle = [](cairo_t* cr) {
        cairo_arc(cr, 360, 270, 200, 0, 2 * M_PI);
        cairo_fill(cr);
    };
    VectorOptions fine;
    fine.curveTolerance = 1;
    VectorOptions coarse;
    coarse.curveTolerance = 40;
    const auto fineShape = Record("circle-fine", {circle}, fine)->Outlines(0).at(0);
    const auto coarseShape = Record("circle-coarse", {circle}, coarse)->Outlines(0).at(0);
    EXPECT_GT(CurvedEdges(fineShape), CurvedEdges(coarseShape));

    const double cx = 360 * kTwipsPerPoint, cy = 270 * kTwipsPerPoint, r = 200 * kTwipsPerPoint;
    double x = fineShape.records[0].moveX, y = fineShape.records[0].moveY;
    for (const auto& e : fineShape.Edges()) {
        if (e.kind == shapetest::Record::kCurved) {
            const double qx = x + e.controlDX, qy = y + e.controlDY;
            const double ex = qx + e.dx, ey = qy + e.dy;
            const double mx = 0.25 * x + 0.5 * qx + 0.25 * ex, my = 0.25 * y + 0.5 * qy + 0.25 * ey;
            // the tolerance, the rounding of three points and MuPDF's own arc
            EXPECT_NEAR(std::hypot(mx - cx, my - cy), r, 1 + 1.5 + 0.0003 * r);
            x = ex;
            y = ey;
        } else {
            x += e.dx;
            y += e.dy;
        }
    }
}

TEST(VectorPage, NonZeroFillsOfOverlappingContoursAreUnioned)
{
    // Two overlapping squares drawn the same way round: non-zero fills the
    // overlap, an edge-filling player would leave it empty.
    auto squares = [](cairo_fill_rule_t rule) {
        return [rule](cairo_t* cr) {
            cairo_set_fill_rule(cr, rule);
            cairo_rectangle(cr, 100, 100, 200, 200);
            cairo_rectangle(cr, 200, 200, 200, 200);
            cairo_fill(cr);
        };
    };
    const auto nonZero = Record("nonzero", {squares(CAIRO_FILL_RULE_WINDING)})->Outlines(0);
    ASSERT_EQ(nonZero.size(), 1u);
    EXPECT_EQ(Contours(nonZero[0]), 1u);  // one outline around both
    EXPECT_EQ(nonZero[0].Edges().size(), 8u);
    const auto evenOdd = Record("evenodd", {squares(CAIRO_FILL_RULE_EVEN_ODD)})->Outlines(0);
    ASSERT_EQ(evenOdd.size(), 1u);
    EXPECT_EQ(Contours(evenOdd[0]), 2u);  // as drawn: the overlap stays a hole

    // Contours that do not overlap keep their curves.
    const auto apart = Record("nonzero-apart", {[](cairo_t* cr) {
        cairo_arc(cr, 100, 100, 50, 0, 2 * M_PI);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 400, 100, 50, 0, 2 * M_PI);
        cairo_fill(cr);
    }})->Outlines(0);
    ASSERT_EQ(apart.size(), 1u);
    EXPECT_EQ(Contours(apart[0]), 2u);
    EXPECT_GE(CurvedEdges(apart[0]), 8u);
}

TEST(VectorPage, GradientsKeepTheirStops)
{
    const auto deck = Record("gradients", {[](cairo_t* cr) {
        cairo_pattern_t* linear = cairo_pattern_create_linear(100, 0, 300, 0);
        cairo_pattern_add_color_stop_rgb(linear, 0, 1, 0, 0);
        cairo_pattern_add_color_stop_rgb(linear, 1, 0, 0, 1);
        cairo_set_source(cr, linear);
        cairo_rectangle(cr, 100, 100, 200, 100);
        cairo_fill(cr);
        cairo_pattern_destroy(linear);

        cairo_pattern_t* radial = cairo_pattern_create_radial(500, 300, 0, 500, 300, 100);
        cairo_pattern_add_color_stop_rgb(radial, 0, 1, 1, 1);
        cairo_pattern_add_color_stop_rgb(radial, 0.5, 0, 1, 0);
        cairo_pattern_add_color_stop_rgb(radial, 1, 0, 0, 0);
        cairo_set_source(cr, radial);
        cairo_rectangle(cr, 400, 200, 200, 200);
        cairo_fill(cr);
        cairo_pattern_destroy(radial);

        // Twelve stops: more than a shape's gradient holds.
        cairo_pattern_t* many = cairo_pattern_create_linear(0, 450, 720, 450);
        for (int i = 0; i < 12; ++i) cairo_pattern_add_color_stop_rgb(many, i / 11.0, i % 2, 0, 1 - i % 2);
        cairo_set_source(cr, many);
        cairo_rectangle(cr, 0, 420, 720, 60);
        cairo_fill(cr);
        cairo_pattern_destroy(many);
    }});
    std::vector<shapetest::FillStyle> gradients;
    for (const auto& shape : deck->Outlines(0))
        for (const auto& fill : shape.fills)
            if (fill.type == 0x10 || fill.type == 0x12) gradients.push_back(fill);
    ASSERT_EQ(gradients.size(), 3u);

    const auto& linear = gradients[0];
    EXPECT_EQ(linear.type, 0x10u);
    ASSERT_EQ(linear.stops.size(), 2u);
    EXPECT_EQ(linear.ratios.front(), 0u);
    EXPECT_EQ(linear.ratios.back(), 255u);
    EXPECT_EQ(linear.stops.front(), (shapetest::RGBA{255, 0, 0, 255}));
    EXPECT_EQ(linear.stops.back(), (shapetest::RGBA{0, 0, 255, 255}));
    // The gradient square's x axis runs from 100 to 300 points.
    EXPECT_NEAR(linear.matrix.scaleX / 65536.0 * 32768, 200 * kTwipsPerPoint, 2);
    EXPECT_NEAR(linear.matrix.translateX, 200 * kTwipsPerPoint, 2);

    const auto& radial = gradients[1];
    EXPECT_EQ(radial.type, 0x12u);
    ASSERT_EQ(radial.stops.size(), 3u);
    EXPECT_EQ(radial.stops[0], (shapetest::RGBA{255, 255, 255, 255}));
    // MuPDF samples the ramp 256 times: a stop between two samples lands on one.
    EXPECT_NEAR(radial.ratios[1], 128, 1);
    EXPECT_NEAR(radial.stops[1].green, 255, 2);
    EXPECT_EQ(radial.stops[1].red, 0u);
    EXPECT_NEAR(radial.matrix.scaleX / 65536.0 * 16384, 100 * kTwipsPerPoint, 2);
    EXPECT_NEAR(radial.matrix.translateX, 500 * kTwipsPerPoint, 2);

    // Twelve alternating stops cannot be followed by eight: drawn as near as
    // they come, and listed for a fallback.
    EXPECT_EQ(gradients[2].stops.size(), 8u);
    const VectorPageSummary& summary = deck->pages[0].summary;
    ASSERT_EQ(summary.fallbacks.size(), 1u);
    EXPECT_EQ(summary.fallbacks[0].reason, "gradient with more stops than a shape holds");
    EXPECT_NEAR(summary.fallbacks[0].area.YMin(), Twips(420), 1);
    EXPECT_NEAR(summary.fallbacks[0].area.YMax(), Twips(480), 1);
}

TEST(VectorPage, GradientFitUsesTheFewestStopsWithinTheTolerance)
{
    // A ramp with a bend at a third: three stops, exact.
    std::vector<RampColor> bent;
    for (int i = 0; i < 256; ++i) {
        const double v = i <= 85 ? i * 3.0 : 255 - (i - 85) * 255.0 / 170;
        bent.push_back({v, 0, 255 - v, 255});
    }
    const GradientFit fit = FitGradient(bent, 8, 2);
    ASSERT_EQ(fit.stops.size(), 3u);
    EXPECT_EQ(fit.stops[1].ratio, 85);
    EXPECT_LE(fit.maxError, 2);
    // A smooth curve takes more stops the tighter the tolerance, never more than allowed.
    std::vector<RampColor> curve;
    for (int i = 0; i < 256; ++i) curve.push_back({255 * std::pow(i / 255.0, 2.2), 0, 0, 255});
    const size_t loose = FitGradient(curve, 8, 8).stops.size();
    const GradientFit tight = FitGradient(curve, 8, 1);
    EXPECT_LT(loose, tight.stops.size());
    EXPECT_LE(tight.stops.size(), 8u);
    EXPECT_EQ(tight.stops.front().ratio, 0);
    EXPECT_EQ(tight.stops.back().ratio, 255);
}

TEST(VectorPage, StrokesAreNativeLinesWhenRoundElseOutlines)
{
    const auto deck = Record("strokes", {[](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0, 0.5, 0);
        // Round caps and joins: the player's own line.
        cairo_set_line_width(cr, 6);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_move_to(cr, 50, 50);
        cairo_curve_to(cr, 150, 0, 250, 100, 350, 50);
        cairo_stroke(cr);
        // Butt caps and a dash pattern: 4 dashes of 40 points along 300.
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        const double dashes[] = {40, 40};
        cairo_set_dash(cr, dashes, 2, 0);
        cairo_move_to(cr, 50, 200);
        cairo_line_to(cr, 330, 200);
        cairo_stroke(cr);
        // A line thinner than a twip (cairo leaves out strokes of no width).
        cairo_set_dash(cr, nullptr, 0, 0);
        cairo_set_line_width(cr, 0.01);
        cairo_move_to(cr, 50, 300);
        cairo_line_to(cr, 350, 300);
        cairo_stroke(cr);
        // Hairlines of a grid, between pixel rows and columns; and one aslant.
        cairo_rectangle(cr, 100.3, 400.2, 50, 20);
        cairo_move_to(cr, 100.3, 410.1);
        cairo_line_to(cr, 150.3, 410.1);
        cairo_stroke(cr);
        cairo_move_to(cr, 400.3, 400.2);
        cairo_line_to(cr, 450.3, 420.2);
        cairo_stroke(cr);
    }});
    const auto shapes = deck->Outlines(0);
    ASSERT_EQ(shapes.size(), 5u);

    ASSERT_EQ(shapes[0].lines.size(), 1u);
    EXPECT_TRUE(shapes[0].fills.empty());
    EXPECT_EQ(shapes[0].lines[0].width, static_cast<uint32_t>(Twips(6)));
    EXPECT_EQ(shapes[0].lines[0].color, (shapetest::RGBA{0, 128, 0, 255}));
    EXPECT_GT(CurvedEdges(shapes[0]), 0u);

    // Each dash a rectangle of its own, square at the ends.
    ASSERT_EQ(shapes[1].fills.size(), 1u);
    EXPECT_TRUE(shapes[1].lines.empty());
    EXPECT_EQ(Contours(shapes[1]), 4u);
    EXPECT_EQ(shapes[1].xmin, Twips(50));
    EXPECT_EQ(shapes[1].xmax, Twips(330));
    EXPECT_NEAR(shapes[1].ymin, Twips(197), 1);
    EXPECT_NEAR(shapes[1].ymax, Twips(203), 1);

    // As wide as the thinnest line a viewer draws: a pixel, through the
    // centres of a row of pixels (20 twips each), so that it covers them
    // whole rather than half of two rows.
    ASSERT_EQ(shapes[2].lines.size(), 1u);
    EXPECT_EQ(shapes[2].lines[0].width, 20u);
    // (An outline's bounds here take in half its line's width.)
    const auto onCentre = [](int32_t bound) { return bound % 20 == 0; };
    EXPECT_EQ(shapes[2].ymax - shapes[2].ymin, 20);
    EXPECT_TRUE(onCentre(shapes[2].ymin)) << shapes[2].ymin;
    EXPECT_NEAR(shapes[2].ymin + 10, Twips(300), 10);
    // A grid's lines too, each moved at most half a pixel.
    for (const size_t grid : {3u, 4u}) {
        if (shapes[grid].xmin == shapes[grid].xmax) continue;
        const bool aslant = shapes[grid].xmin >= Twips(399);
        if (aslant) {
            EXPECT_NEAR(shapes[grid].xmin + 10, Twips(400.3), 1) << "the line aslant stays where it was";
            continue;
        }
        for (const int32_t side : {shapes[grid].xmin, shapes[grid].xmax, shapes[grid].ymin, shapes[grid].ymax})
            EXPECT_TRUE(onCentre(side)) << side;
        EXPECT_NEAR(shapes[grid].xmin + 10, Twips(100.3), 10);
        EXPECT_NEAR(shapes[grid].ymax - 10, Twips(420.2), 10);
    }
}

TEST(VectorPage, TextEmbedsOnlyTheGlyphsUsed)
{
    const std::string line = "Hill ill iiiii.";
    const auto deck = Record("text", {[&](cairo_t* cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 13.7);
        cairo_set_source_rgba(cr, 0.2, 0.4, 0.6, 0.8);
        cairo_move_to(cr, 40.3, 100.6);
        cairo_show_text(cr, line.c_str());
    }});
    ASSERT_EQ(deck->fonts.size(), 1u);
    const auto [name, glyphCount] = ReadFont2(shapetest::ReadTag(*deck->fonts[0]).body);
    EXPECT_NE(name.find("DejaVuSans"), std::string::npos) << name;
    EXPECT_EQ(name.find('+'), std::string::npos) << name;  // without the subset tag
    EXPECT_EQ(glyphCount, std::set<char>(line.begin(), line.end()).size());  // H i l space .

    const auto texts = deck->Texts(0);
    ASSERT_EQ(texts.size(), 1u);
    const Text& text = texts[0];
    EXPECT_EQ(text.fontID, deck->fonts[0]->ID());
    EXPECT_EQ(text.color, (shapetest::RGBA{51, 102, 153, 204}));
    EXPECT_NEAR(text.height, 13.7 * kTwipsPerPoint, 1);
    EXPECT_FALSE(text.matrix.hasRotate);
    ASSERT_EQ(text.glyphs.size(), line.size());
    EXPECT_EQ(text.glyphs[1].index, text.glyphs[5].index);  // i
    EXPECT_EQ(text.glyphs[2].index, text.glyphs[3].index);  // l
    EXPECT_NE(text.glyphs[1].index, text.glyphs[2].index);
    EXPECT_NEAR(text.matrix.translateX, Twips(40.3), 1);
    EXPECT_NEAR(text.matrix.translateY, Twips(100.6), 1);
    const auto placements = deck->Placements(0);
    ASSERT_EQ(placements.size(), 1u);
    EXPECT_EQ(placements[0].characterID, text.id);
}

TEST(VectorPage, UprightTextSharesOneTextTagUntilSomethingIsDrawnOverIt)
{
    const auto deck = Record("text-runs", {[](cairo_t* cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 20);
        cairo_move_to(cr, 50, 50);
        cairo_show_text(cr, "Title");
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 11);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_move_to(cr, 50, 80);
        cairo_show_text(cr, "bold red");
        // A rectangle over the text, then more text over the rectangle.
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, 40, 60, 100, 30);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, 50, 75);
        cairo_show_text(cr, "on top");
    }});
    EXPECT_EQ(deck->fonts.size(), 2u);
    const auto texts = deck->Texts(0);
    ASSERT_EQ(texts.size(), 2u);
    // Both sizes and both fonts in the first: the identity matrix, the em in the records.
    EXPECT_EQ(texts[0].matrix.scaleX, 65536);
    EXPECT_FALSE(texts[0].matrix.hasRotate);
    EXPECT_EQ(texts[0].glyphs.size(), 5u + 8u);
    EXPECT_EQ(texts[1].glyphs.size(), 6u);
    const auto placements = deck->Placements(0);
    const auto shapes = deck->Shapes(0);
    ASSERT_EQ(placements.size(), 3u);
    EXPECT_EQ(placements[0].characterID, texts[0].id);
    EXPECT_EQ(placements[1].characterID, shapes.at(0).id);
    EXPECT_EQ(placements[2].characterID, texts[1].id);
}

TEST(VectorPage, GlyphsLieWhereThePageSetsEachWithoutDrift)
{
    // Each glyph set on its own, 5.1 points apart, across the page: the
    // advances between them are 271.99 twips, so rounded once and summed they
    // would be a third of a pixel out by the end of the line. An unembedded
    // standard font: MuPDF draws it with its own.
    std::string content = "BT /F1 13.7 Tf 0.2 0.4 0.6 rg\n";
    std::vector<double> expectedX;
    for (int i = 0; i < 130; ++i) {
        const double x = 10.3 + 5.1 * i;
        expectedX.push_back(x);
        content += "1 0 0 1 " + std::to_string(x) + " 439.4 Tm (" + (i % 3 ? "i" : "W") + ") Tj\n";
    }
    content += "ET\n";
    const std::string path = TempPDF("positions");
    WriteHandPDF(path, content, "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>");
    VectorDocument document(path);
    VectorResources resources;
    const VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    std::vector<GlyphEntry> glyphs;
    std::vector<double> xs, ys;
    for (const auto& tag : page.definitions) {
        const swftest::Tag read = shapetest::ReadTag(*tag);
        if (read.code != FTagCode::DefineText2) continue;
        const Text text = ReadText2(read.body);
        for (const GlyphEntry& glyph : text.glyphs) {
            xs.push_back(text.matrix.translateX + text.matrix.scaleX / 65536.0 * glyph.x);
            ys.push_back(text.matrix.translateY + text.matrix.scaleY / 65536.0 * glyph.y);
        }
    }
    ASSERT_EQ(xs.size(), expectedX.size());
    for (size_t i = 0; i < xs.size(); ++i) {
        EXPECT_NEAR(xs[i], expectedX[i] * kTwipsPerPoint, 1.0) << "glyph " << i;
        EXPECT_NEAR(ys[i], 100.6 * kTwipsPerPoint, 1.0) << "glyph " << i;
    }
    EXPECT_EQ(resources.fonts.FontCount(), 1u);
    EXPECT_EQ(resources.fonts.GlyphCount(), 2u);  // i and W
}

TEST(VectorPage, RotatedTextCarriesItsRotationAndFontsAreSharedAcrossPages)
{
    auto words = [](const char* s, double angle) {
        return [s, angle](cairo_t* cr) {
            cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
            cairo_set_font_size(cr, 30);
            cairo_move_to(cr, 200, 300);
            cairo_rotate(cr, angle);
            cairo_show_text(cr, s);
        };
    };
    const auto deck = Record("rotated", {words("abc", -M_PI / 6), words("cde", 0)});
    ASSERT_EQ(deck->fonts.size(), 1u);
    EXPECT_EQ(ReadFont2(shapetest::ReadTag(*deck->fonts[0]).body).second, 5u);  // a b c d e

    const auto rotated = deck->Texts(0).at(0);
    EXPECT_TRUE(rotated.matrix.hasRotate);
    EXPECT_NEAR(rotated.matrix.scaleX / 65536.0, std::cos(M_PI / 6), 0.01);
    EXPECT_NEAR(rotated.matrix.rotateSkew0 / 65536.0, -std::sin(M_PI / 6), 0.01);
    EXPECT_NEAR(rotated.matrix.rotateSkew1 / 65536.0, std::sin(M_PI / 6), 0.01);
    EXPECT_NEAR(rotated.height, 30 * kTwipsPerPoint, 1);
    EXPECT_NEAR(rotated.matrix.translateX, Twips(200), 1);
    EXPECT_NEAR(rotated.matrix.translateY, Twips(300), 1);

    const auto upright = deck->Texts(1).at(0);
    EXPECT_FALSE(upright.matrix.hasRotate);
    EXPECT_EQ(upright.glyphs.at(0).index, rotated.glyphs.at(2).index);  // c, once
}

// A page that wraps every object in a rectangle of its own (as some
// exporters do) has no clip layers for them: a rectangle round all it holds
// clips nothing. One that cuts into what it holds stays, and so do the
// layers inside a dropped one, clipping what they did.
TEST(VectorPage, ARectangularClipRoundAllItHoldsIsNoLayer)
{
    const std::string path = TempPDF("containing-clips");
    WriteHandPDF(path,
                 "q 50 50 200 200 re W n 0 0 1 rg 60 60 50 50 re f Q\n"
                 "q 300 50 100 100 re W n 1 0 0 rg 0 0 720 540 re f Q\n"
                 "q 450 50 200 200 re W n q 500 100 m 600 100 l 550 200 l h W n 0 1 0 rg 460 60 180 180 re f Q "
                 "0 0 0 rg 470 70 10 10 re f Q\n",
                 "");
    VectorDocument document(path);
    VectorResources resources;
    const VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    const std::vector<Placement> placements = SpritePlacements(*page.sprite);
    for (size_t i = 0; i < placements.size(); ++i) EXPECT_EQ(placements[i].depth, i + 1);
    // The cutting rectangle and the triangle inside the dropped one.
    size_t layers = 0;
    for (const Placement& p : placements) layers += p.clipDepth > 0 ? 1 : 0;
    EXPECT_EQ(layers, 2u);
    EXPECT_EQ(page.summary.clipLayers, 2u);
    // The triangle clips the green square alone, not the black one after it.
    for (size_t i = 0; i < placements.size(); ++i) {
        if (placements[i].clipDepth == 0) continue;
        EXPECT_GT(placements[i].clipDepth, placements[i].depth);
        EXPECT_LE(placements[i].clipDepth, placements.size());
    }
    EXPECT_EQ(placements.back().clipDepth, 0u);
    const auto last = std::find_if(placements.rbegin(), placements.rend(), [](const Placement& p) { return p.clipDepth > 0; });
    ASSERT_NE(last, placements.rend());
    EXPECT_EQ(last->clipDepth, placements.size() - 1) << "the black square lies outside the triangle's layer";
}

TEST(VectorPage, ClipsAreClipLayersOverWhatTheyHold)
{
    const auto deck = Record("clips", {[](cairo_t* cr) {
        cairo_save(cr);
        cairo_arc(cr, 200, 200, 100, 0, 2 * M_PI);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 100, 100, 150, 150);
        cairo_fill(cr);
        cairo_rectangle(cr, 150, 150, 150, 40);
        cairo_clip(cr);  // nested: the two intersect
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 0, 1, 0);
        cairo_rectangle(cr, 500, 100, 50, 50);
        cairo_fill(cr);
    }});
    const auto placements = deck->Placements(0);
    const auto shapes = deck->Shapes(0);
    ASSERT_FALSE(placements.empty());
    // Depths run 1, 2, 3 ... without gaps.
    for (size_t i = 0; i < placements.size(); ++i) EXPECT_EQ(placements[i].depth, i + 1);
    // Whatever cairo writes around the clips, the circle's layer covers the
    // red square and the nested layer covers the blue paint, and the green
    // square lies outside them all.
    std::map<uint16_t, shapetest::Shape> byID;
    for (const auto& shape : shapes) byID[static_cast<uint16_t>(shape.id)] = shape;
    auto colorAt = [&](size_t i) { return byID.at(placements[i].characterID).fills.at(0).color; };
    size_t red = 0, blue = 0, green = 0;
    for (size_t i = 0; i < placements.size(); ++i) {
        if (placements[i].clipDepth) continue;
        if (colorAt(i) == shapetest::RGBA{255, 0, 0, 255}) red = i;
        if (colorAt(i) == shapetest::RGBA{0, 0, 255, 255}) blue = i;
        if (colorAt(i) == shapetest::RGBA{0, 255, 0, 255}) green = i;
    }
    auto clipsOver = [&](size_t i) {
        size_t count = 0;
        for (size_t c = 0; c < i; ++c)
            if (placements[c].clipDepth >= placements[i].depth) ++count;
        return count;
    };
    EXPECT_GE(clipsOver(red), 1u);
    EXPECT_GE(clipsOver(blue), 2u);
    EXPECT_EQ(clipsOver(green), 0u);
    EXPECT_GE(deck->pages[0].summary.clipLayers, 2u);
    // One of the layers over the blue paint is the 150 x 40 rectangle.
    bool rectangle = false;
    for (size_t c = 0; c < blue; ++c) {
        if (placements[c].clipDepth < placements[blue].depth) continue;
        const auto& layer = byID.at(placements[c].characterID);
        rectangle = rectangle || (layer.xmax - layer.xmin == Twips(150) && layer.ymax - layer.ymin == Twips(40));
    }
    EXPECT_TRUE(rectangle);
}

TEST(VectorPage, ImagesAreBitmapsStoredOncePerMovie)
{
    cairo_surface_t* opaque = cairotest::Picture(40, 30, false);
    cairo_surface_t* translucent = cairotest::Picture(40, 30, true, 77);
    auto paint = [](cairo_t* cr, cairo_surface_t* image, double x, double y, double scale) {
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    };
    const auto deck = Record("images", {[&](cairo_t* cr) {
                                            paint(cr, opaque, 50, 50, 2);
                                            paint(cr, opaque, 300, 50, 3);
                                            paint(cr, translucent, 50, 300, 2);
                                        },
                                        [&](cairo_t* cr) { paint(cr, opaque, 10, 10, 1); }});
    cairo_surface_destroy(opaque);
    cairo_surface_destroy(translucent);

    std::vector<swftest::Tag> bitmaps;
    for (size_t page = 0; page < 2; ++page)
        for (const swftest::Tag& tag : deck->Definitions(page))
            if (tag.code != FTagCode::DefineShape3) bitmaps.push_back(tag);
    ASSERT_EQ(bitmaps.size(), 2u);  // the opaque picture once, drawn three times
    EXPECT_EQ(deck->pages[0].summary.newBitmaps, 2u);
    EXPECT_EQ(deck->pages[1].summary.newBitmaps, 0u);
    // Colour ramps: smaller as JPEG (see PicturesAreStoredAsTheSmallerOfLosslessAndJPEG).
    EXPECT_EQ(bitmaps[0].code, FTagCode::DefineBitsJPEG2);
    ASSERT_EQ(bitmaps[1].code, FTagCode::DefineBitsJPEG3);  // its alpha kept
    // The alpha plane: clear on the left, opaque on the right.
    const size_t alphaAt = 6 + swftest::Little(bitmaps[1].body, 2, 4);
    ASSERT_LT(alphaAt, bitmaps[1].body.size());
    const std::vector<uint8_t> alpha = swftest::Inflate(
        std::vector<uint8_t>(bitmaps[1].body.begin() + static_cast<long>(alphaAt), bitmaps[1].body.end()), 40 * 30);
    ASSERT_EQ(alpha.size(), 40u * 30);
    EXPECT_EQ(alpha[0], 0u);
    EXPECT_EQ(alpha[39], 255u);

    // Each drawing: a rectangle filled with the clipped bitmap, scaled to its place.
    std::vector<shapetest::Shape> drawn;
    for (size_t page = 0; page < 2; ++page)
        for (const auto& shape : deck->Outlines(page))
            if (!shape.fills.empty() && (shape.fills[0].type & 0x40)) drawn.push_back(shape);
    ASSERT_EQ(drawn.size(), 4u);
    const uint32_t opaqueID = swftest::Little(bitmaps[0].body, 0, 2);
    EXPECT_EQ(drawn[0].fills[0].bitmapID, opaqueID);
    EXPECT_EQ(drawn[1].fills[0].bitmapID, opaqueID);
    EXPECT_EQ(drawn[3].fills[0].bitmapID, opaqueID);
    EXPECT_EQ(drawn[0].xmin, Twips(50));
    EXPECT_EQ(drawn[0].xmax, Twips(50 + 80));
    EXPECT_EQ(drawn[1].xmax - drawn[1].xmin, Twips(120));
    // One pixel: two points, in twips.
    EXPECT_NEAR(drawn[0].fills[0].matrix.scaleX / 65536.0, 2 * kTwipsPerPoint, 0.01);
    EXPECT_FALSE(deck->pages[0].summary.NeedsFallback());
}

TEST(VectorPage, JPEGImagesKeepTheirBytes)
{
    std::vector<uint8_t> pixels(64 * 48 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
    static std::vector<uint8_t> jpeg;
    jpeg = EncodeJPEG(pixels.data(), 64, 48, 64 * 4, PixelLayout::RGBA, {});
    const auto deck = Record("jpeg", {[&](cairo_t* cr) {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 48);
        cairo_surface_set_mime_data(image, CAIRO_MIME_TYPE_JPEG, jpeg.data(), jpeg.size(), nullptr, nullptr);
        cairo_set_source_surface(cr, image, 100, 100);
        cairo_paint(cr);
        cairo_surface_destroy(image);
    }});
    std::vector<swftest::Tag> jpegs;
    for (const swftest::Tag& tag : deck->Definitions(0))
        if (tag.code == FTagCode::DefineBitsJPEG2) jpegs.push_back(tag);
    ASSERT_EQ(jpegs.size(), 1u);
    // The file as it is, between the markers the bitmap tag puts around every JPEG.
    const std::vector<uint8_t>& body = jpegs[0].body;
    ASSERT_EQ(body.size(), 2 + 4 + jpeg.size() + 2);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 6, body.end() - 2), jpeg);
    EXPECT_EQ(deck->resources.images.PassedThroughJPEGs(), 1u);
}

// The RGB pixels of a JPEG file, as MuPDF decodes it; empty when it cannot.
std::vector<uint8_t> DecodedJPEG(const std::vector<uint8_t>& jpeg, int& width, int& height)
{
    fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_UNLIMITED);
    fz_buffer* buffer = nullptr;
    fz_image* image = nullptr;
    fz_pixmap* pixmap = nullptr;
    std::vector<uint8_t> rgb;
    fz_var(buffer);
    fz_var(image);
    fz_var(pixmap);
    fz_try(ctx)
    {
        buffer = fz_new_buffer_from_copied_data(ctx, jpeg.data(), jpeg.size());
        image = fz_new_image_from_buffer(ctx, buffer);
        pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
        width = fz_pixmap_width(ctx, pixmap);
        height = fz_pixmap_height(ctx, pixmap);
        const int n = fz_pixmap_components(ctx, pixmap);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    rgb.push_back(fz_pixmap_samples(ctx, pixmap)[y * fz_pixmap_stride(ctx, pixmap) + x * n + (n >= 3 ? c : 0)]);
    }
    fz_always(ctx)
    {
        fz_drop_pixmap(ctx, pixmap);
        fz_drop_image(ctx, image);
        fz_drop_buffer(ctx, buffer);
    }
    fz_catch(ctx) rgb.clear();
    fz_drop_context(ctx);
    return rgb;
}

// Three flat colours side by side, with `alpha` a transparency that grows
// to the right. The caller destroys it.
cairo_surface_t* FlatPicture(int width, int height, bool alpha)
{
    cairo_surface_t* image = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(image);
    const double colours[3][3] = {{0.9, 0.1, 0.1}, {0.1, 0.6, 0.2}, {0.2, 0.3, 0.9}};
    for (int i = 0; i < 3; ++i) {
        cairo_set_source_rgb(cr, colours[i][0], colours[i][1], colours[i][2]);
        cairo_rectangle(cr, width * i / 3.0, 0, width / 3.0, height);
        cairo_fill(cr);
    }
    if (alpha) {
        cairo_pattern_t* ramp = cairo_pattern_create_linear(0, 0, width, 0);
        cairo_pattern_add_color_stop_rgba(ramp, 0, 0, 0, 0, 1);
        cairo_pattern_add_color_stop_rgba(ramp, 1, 0, 0, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
        cairo_set_source(cr, ramp);
        cairo_paint(cr);
        cairo_pattern_destroy(ramp);
    }
    cairo_destroy(cr);
    return image;
}

TEST(VectorPage, PicturesAreStoredAsTheSmallerOfLosslessAndJPEG)
{
    const auto pictures = [](cairo_t* cr) {
        cairo_surface_t* photo = cairotest::Photo(160, 120, false);
        cairo_surface_t* flat = FlatPicture(600, 40, false);
        cairo_surface_t* translucentPhoto = cairotest::Photo(160, 120, true, 12, 9);
        cairo_surface_t* translucentFlat = FlatPicture(600, 40, true);
        cairotest::PaintImage(cr, photo, 0, 0, 160, 120);
        cairotest::PaintImage(cr, flat, 200, 0, 160, 120);
        cairotest::PaintImage(cr, translucentPhoto, 0, 200, 160, 120);
        cairotest::PaintImage(cr, translucentFlat, 200, 200, 160, 120);
        for (cairo_surface_t* image : {photo, flat, translucentPhoto, translucentFlat}) cairo_surface_destroy(image);
    };
    const auto deck = Record("smaller", {pictures});
    std::vector<swftest::Tag> bitmaps;
    for (const swftest::Tag& tag : deck->Definitions(0))
        if (tag.code != FTagCode::DefineShape3) bitmaps.push_back(tag);
    ASSERT_EQ(bitmaps.size(), 4u);
    // A photograph: JPEG, with its alpha as a plane of its own.
    EXPECT_EQ(bitmaps[0].code, FTagCode::DefineBitsJPEG2);
    EXPECT_EQ(bitmaps[2].code, FTagCode::DefineBitsJPEG3);
    // Flat colours: exact; three of them colour-mapped, the JPEG not even tried.
    EXPECT_EQ(bitmaps[1].code, FTagCode::DefineBitsLossless);
    EXPECT_EQ(bitmaps[1].body.at(2), 3u);
    // Flat colours over a ramp of alpha: too many colours to map, yet still
    // smaller lossless than as a JPEG and its plane.
    EXPECT_EQ(bitmaps[3].code, FTagCode::DefineBitsLossless2);
    EXPECT_EQ(bitmaps[3].body.at(2), 5u);

    // The JPEG between its markers decodes to the picture's size and colours.
    const std::vector<uint8_t>& opaque = bitmaps[0].body;
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = DecodedJPEG(std::vector<uint8_t>(opaque.begin() + 6, opaque.end() - 2), width, height);
    ASSERT_EQ(rgb.size(), 160u * 120 * 3);
    EXPECT_EQ(width, 160);
    EXPECT_NEAR(rgb[(60 * 160 + 80) * 3 + 2], 128, 24);  // blue is 128 and grain

    // DefineBitsJPEG3: the JPEG, then the zlib alpha plane after the offset.
    const std::vector<uint8_t>& translucent = bitmaps[2].body;
    const size_t alphaAt = 6 + swftest::Little(translucent, 2, 4);
    ASSERT_LT(alphaAt, translucent.size());
    const std::vector<uint8_t> alpha =
        swftest::Inflate(std::vector<uint8_t>(translucent.begin() + static_cast<long>(alphaAt), translucent.end()),
                         160 * 120);
    ASSERT_EQ(alpha.size(), 160u * 120);
    EXPECT_EQ(alpha[0], 0u);
    EXPECT_EQ(alpha[159], 255u);
    // Its colours premultiplied, as the player takes them: black where clear.
    const std::vector<uint8_t> premultiplied = DecodedJPEG(
        std::vector<uint8_t>(translucent.begin() + 10, translucent.begin() + static_cast<long>(alphaAt) - 2), width,
        height);
    ASSERT_EQ(premultiplied.size(), 160u * 120 * 3);
    EXPECT_LT(premultiplied[(60 * 160 + 1) * 3 + 2], 16u);
    EXPECT_NEAR(premultiplied[(60 * 160 + 158) * 3 + 2], 128, 24);
}

TEST(VectorPage, BlendModesAreListedForAFallback)
{
    const auto deck = Record("blend", {[](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 1, 0);
        cairo_rectangle(cr, 10, 10, 100, 100);
        cairo_fill(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
        cairo_set_source_rgb(cr, 0, 1, 1);
        cairo_rectangle(cr, 60, 60, 100, 100);
        cairo_fill(cr);
    }});
    const VectorPageSummary& summary = deck->pages[0].summary;
    ASSERT_TRUE(summary.NeedsFallback());
    const auto& fallback = summary.fallbacks[0];
    EXPECT_EQ(fallback.reason, "blend mode");
    EXPECT_LE(fallback.area.XMin(), Twips(60) + 1);
    EXPECT_GE(fallback.area.XMax(), Twips(160) - 1);
    EXPECT_EQ(summary.patches, 0u);
}

TEST(VectorPage, KnockoutGroupsOfPathsAreShapesThatDoNotOverlap)
{
    // A translucent path filled and stroked (MuPDF draws it in a knockout
    // group), the same in one colour, and a knockout group that cuts its
    // one fill to a clip, as office suites write a translucent shape.
    const std::string path = TempPDF("knockout");
    const std::string group = handpdf::Form("q 400 300 100 100 re W n 0 1 0 rg 350 250 300 300 re f Q\n", "",
                                            "0 0 720 540");
    WriteHandPDF(path,
                 "/Half gs 10 w 1 0 0 rg 0 0 1 RG 100 100 200 200 re B\n"
                 "1 0 0 rg 1 0 0 RG 400 100 100 100 re B\n"
                 "/Half gs /K Do\n",
                 "/ExtGState << /Half << /ca 0.5 /CA 0.5 >> >> /XObject << /K 5 0 R >>",
                 {group.substr(0, 2) + " /Group << /S /Transparency /K true >>" + group.substr(2)});
    const auto deck = RecordFile(path);
    const VectorPageSummary& summary = deck->pages[0].summary;
    EXPECT_FALSE(summary.NeedsFallback()) << summary.fallbacks.front().reason;
    const auto outlines = deck->Outlines(0);
    ASSERT_EQ(outlines.size(), 4u);
    // The fill shows inside the stroke only, the stroke over its edge.
    EXPECT_EQ(outlines[0].fills.at(0).color, (shapetest::RGBA{255, 0, 0, 128}));
    EXPECT_NEAR(outlines[0].xmin, Twips(105), 2);
    EXPECT_NEAR(outlines[0].xmax, Twips(295), 2);
    EXPECT_EQ(outlines[1].fills.at(0).color, (shapetest::RGBA{0, 0, 255, 128}));
    EXPECT_NEAR(outlines[1].xmin, Twips(95), 2);
    EXPECT_NEAR(outlines[1].xmax, Twips(305), 2);
    // Fill and stroke of one colour: one area.
    EXPECT_EQ(outlines[2].fills.at(0).color, (shapetest::RGBA{255, 0, 0, 128}));
    EXPECT_NEAR(outlines[2].xmin, Twips(395), 2);
    EXPECT_NEAR(outlines[2].xmax, Twips(505), 2);
    // The group's fill cut to its clip, no clip layer left.
    EXPECT_EQ(outlines[3].fills.at(0).color, (shapetest::RGBA{0, 255, 0, 128}));
    EXPECT_NEAR(outlines[3].xmin, Twips(400), 2);
    EXPECT_NEAR(outlines[3].xmax, Twips(500), 2);
    EXPECT_NEAR(outlines[3].ymin, Twips(540 - 400), 2);  // the page's y runs down
    EXPECT_NEAR(outlines[3].ymax, Twips(540 - 300), 2);
    EXPECT_EQ(summary.clipLayers, 0u);
}

TEST(VectorPage, AKnockoutGroupOfOneThingIsDrawnAsItIs)
{
    // Translucent text as an office suite writes it: a knockout group, a clip, the text.
    const std::string path = TempPDF("knockout-one");
    const std::string group = handpdf::Form("100 100 300 100 re W n BT /F1 40 Tf 120 120 Td (alone) Tj ET\n",
                                            "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>");
    WriteHandPDF(path, "/Half gs /K Do\n", "/ExtGState << /Half << /ca 0.3 >> >> /XObject << /K 5 0 R >>",
                 {group.substr(0, 2) + " /Group << /S /Transparency /K true >>" + group.substr(2)});
    const auto deck = RecordFile(path);
    EXPECT_FALSE(deck->pages[0].summary.NeedsFallback()) << deck->pages[0].summary.fallbacks.front().reason;
    const auto texts = deck->Texts(0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].color.alpha, 77u);  // the group's alpha
    EXPECT_EQ(texts[0].glyphs.size(), 5u);
}

TEST(VectorPage, KnockoutGroupsHoldingMoreThanPathsAreListedForAFallback)
{
    const std::string path = TempPDF("knockout-text");
    const std::string group = handpdf::Form("0 1 0 rg 100 100 300 100 re f BT /F1 40 Tf 120 120 Td (knocked) Tj ET\n",
                                            "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>");
    WriteHandPDF(path, "/Half gs /K Do\n", "/ExtGState << /Half << /ca 0.5 >> >> /XObject << /K 5 0 R >>",
                 {group.substr(0, 2) + " /Group << /S /Transparency /K true >>" + group.substr(2)});
    const auto deck = RecordFile(path);
    const VectorPageSummary& summary = deck->pages[0].summary;
    ASSERT_TRUE(summary.NeedsFallback());
    EXPECT_TRUE(std::any_of(summary.fallbacks.begin(), summary.fallbacks.end(),
                            [](const VectorFallback& f) { return f.reason == "knockout group"; }));
    // What it holds is still drawn, under the patch.
    EXPECT_EQ(deck->Outlines(0).size(), 1u);
    EXPECT_EQ(deck->Texts(0).size(), 1u);
}

namespace {

// A polygon of `corners` points on the ellipse about (cx, cy), as PDF operators.
std::string EllipsePolygon(double cx, double cy, double rx, double ry, int corners)
{
    std::string path;
    for (int i = 0; i < corners; ++i) {
        const double a = 2 * M_PI * i / corners;
        path += std::to_string(cx + rx * std::cos(a)) + " " + std::to_string(cy + ry * std::sin(a)) + (i ? " l " : " m ");
    }
    return path + "h ";
}

// A gradient as an office suite writes one: each step a ring, the even-odd
// fill of its ellipse and the next one in, a shade darker; the last a disc.
std::string SteppedRings(int steps, double rx, double ry, double shrinkX, double shrinkY)
{
    std::string content;
    for (int i = 0; i < steps; ++i) {
        const double level = 1.0 - 0.6 * i / steps;
        content += std::to_string(level) + " 0 0 rg " + EllipsePolygon(360, 270, rx - i * shrinkX, ry - i * shrinkY, 96);
        if (i + 1 < steps) content += EllipsePolygon(360, 270, rx - (i + 1) * shrinkX, ry - (i + 1) * shrinkY, 96);
        content += "f*\n";
    }
    return content;
}

size_t FillsOfType(const std::vector<shapetest::Shape>& outlines, uint32_t type)
{
    return static_cast<size_t>(std::count_if(outlines.begin(), outlines.end(), [type](const shapetest::Shape& o) {
        return !o.fills.empty() && o.fills[0].type == type;
    }));
}

}  // namespace

TEST(VectorPage, SteppedGradientsOfEllipsesAreOneRadialGradient)
{
    const std::string path = TempPDF("stepped");
    WriteHandPDF(path, "q 200 150 320 240 re W n " + SteppedRings(60, 200, 150, 3, 2.25) + "Q\n", "");
    const auto deck = RecordFile(path);
    const auto outlines = deck->Outlines(0);
    // The clip's shape and the gradient's.
    ASSERT_EQ(outlines.size(), 2u);
    ASSERT_EQ(FillsOfType(outlines, 0x12), 1u);
    const shapetest::FillStyle& fill = outlines[1].fills.at(0);
    EXPECT_EQ(deck->pages[0].summary.clipLayers, 1u);
    EXPECT_LE(fill.stops.size(), 8u);
    // From the centre's colour out to the outermost step's, about the centre.
    EXPECT_NEAR(fill.stops.front().red, std::lround(255 * (1.0 - 0.6 * 59 / 60)), 3);
    EXPECT_NEAR(fill.stops.back().red, 255, 3);
    EXPECT_NEAR(fill.matrix.translateX, Twips(360), 2);
    EXPECT_NEAR(outlines[1].xmax - outlines[1].xmin, 2 * Twips(200), 4);
    EXPECT_FALSE(deck->pages[0].summary.NeedsFallback());
}

TEST(VectorPage, StepsThatAreNotOneGradientStayAsTheyAre)
{
    // Ellipses of changing shape, and a run too short to be worth a fill.
    const std::string path = TempPDF("stepped-not");
    WriteHandPDF(path, SteppedRings(20, 200, 150, 3, 6) + "0 0 1 rg 100 100 m 200 100 l 200 200 l h f\n" +
                           SteppedRings(5, 100, 100, 5, 5), "");
    const auto outlines = RecordFile(path)->Outlines(0);
    EXPECT_EQ(FillsOfType(outlines, 0x12), 0u);
    EXPECT_EQ(outlines.size(), 20u + 1 + 5);
}

TEST(VectorPage, FallbackAreasCanBeCoveredWithPicturesOfThePage)
{
    VectorOptions options;
    options.patchFallbacks = true;
    const auto deck = Record("blend-patched", {[](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 1, 0);
        cairo_rectangle(cr, 10, 10, 100, 100);
        cairo_fill(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
        cairo_set_source_rgb(cr, 0, 1, 1);
        cairo_rectangle(cr, 60, 60, 100, 100);
        cairo_fill(cr);
    }}, options);
    const VectorPageSummary& summary = deck->pages[0].summary;
    EXPECT_EQ(summary.patches, 1u);
    EXPECT_FALSE(summary.NeedsFallback());
    // The picture is the last thing placed, on whole pixels (20 twips) over the area.
    const auto placements = deck->Placements(0);
    const auto outlines = deck->Outlines(0);
    const shapetest::Shape& top = outlines.back();
    EXPECT_EQ(placements.back().characterID, top.id);
    ASSERT_EQ(top.fills.size(), 1u);
    EXPECT_EQ(top.fills[0].type, 0x41u);
    const FRect& area = summary.fallbacks.at(0).area;
    EXPECT_LE(top.xmin, area.XMin());
    EXPECT_GE(top.xmax, area.XMax());
    EXPECT_EQ(top.xmin % 20, 0);
    EXPECT_EQ((top.xmax - top.xmin) % 20, 0);
    // Its pixels: the multiplied colours where the squares overlap (green),
    // drawn by MuPDF at a pixel a pixel.
    std::vector<swftest::Tag> bitmaps;
    for (const swftest::Tag& tag : deck->Definitions(0))
        if (tag.code == FTagCode::DefineBitsLossless || tag.code == FTagCode::DefineBitsJPEG2) bitmaps.push_back(tag);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(swftest::Little(bitmaps[0].body, 0, 2), top.fills[0].bitmapID);
    EXPECT_NEAR(top.fills[0].matrix.scaleX / 65536.0, 20, 0.01);
}

TEST(VectorPage, GroupAlphaIsFoldedIntoColoursUnlessItsPartsOverlap)
{
    auto group = [](double secondX) {
        return [secondX](cairo_t* cr) {
            cairo_push_group(cr);
            cairo_set_source_rgb(cr, 1, 0, 0);
            cairo_rectangle(cr, 100, 100, 100, 100);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 0, 0, 1);
            cairo_rectangle(cr, secondX, 100, 100, 100);
            cairo_fill(cr);
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, 0.5);
        };
    };
    const auto apart = Record("group-apart", {group(300)});
    EXPECT_FALSE(apart->pages[0].summary.NeedsFallback());
    for (const auto& shape : apart->Outlines(0)) {
        // The red and the blue square (clip layers are drawn in opaque black).
        if (!shape.fills.empty() && shape.fills[0].type == 0 && shape.fills[0].color.red + shape.fills[0].color.blue) {
            EXPECT_EQ(shape.fills[0].color.alpha, 128u);
        }
    }

    const auto overlapping = Record("group-overlap", {group(150)});
    const VectorPageSummary& summary = overlapping->pages[0].summary;
    ASSERT_TRUE(summary.NeedsFallback());
    EXPECT_EQ(summary.fallbacks[0].reason, "transparency group with overlapping parts");
}

TEST(VectorPage, TextAsAClipIsAClipLayerOfItsOutlines)
{
    const auto deck = Record("text-clip", {[](cairo_t* cr) {
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 80);
        cairo_move_to(cr, 100, 200);
        cairo_text_path(cr, "OK");
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0.6, 0);
        cairo_paint(cr);
    }});
    const auto placements = deck->Placements(0);
    ASSERT_GE(placements.size(), 2u);
    std::map<uint16_t, shapetest::Shape> byID;
    for (const auto& shape : deck->Shapes(0)) byID[static_cast<uint16_t>(shape.id)] = shape;
    // cairo writes the text as a path, inside a rectangle around it; one
    // layer holds the letters' outlines (O with its hole: two contours) over
    // the paint.
    const shapetest::Shape* letters = nullptr;
    for (const Placement& p : placements)
        if (p.clipDepth == placements.back().depth && Contours(byID.at(p.characterID)) >= 3)
            letters = &byID.at(p.characterID);
    ASSERT_NE(letters, nullptr);
    EXPECT_NEAR(letters->xmin, Twips(100), Twips(10));
    EXPECT_LT(letters->ymax, Twips(203));  // the baseline, and the O just below it
    EXPECT_FALSE(deck->pages[0].summary.NeedsFallback());
}

TEST(VectorPage, Type3GlyphsAreDrawnAsShapesInTheTextsColour)
{
    // An uncoloured glyph (d1): a square, drawn in the red of its text.
    const std::string glyph = "100 0 0 0 100 100 d1 0 0 100 100 re f";
    const std::string path = TempPDF("type3");
    WriteHandPDF(path, "BT /T3 20 Tf 1 0 0 rg 100 400 Td (aa) Tj ET\n",
                 "/Font << /T3 << /Type /Font /Subtype /Type3 /FontBBox [0 0 100 100] /FontMatrix [0.01 0 0 0.01 0 0] "
                 "/CharProcs << /sq 5 0 R >> /Encoding << /Type /Encoding /Differences [97 /sq] >> "
                 "/FirstChar 97 /LastChar 97 /Widths [150] >> >>",
                 {"<< /Length " + std::to_string(glyph.size()) + " >>\nstream\n" + glyph + "\nendstream"});
    VectorDocument document(path);
    VectorResources resources;
    VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    EXPECT_EQ(resources.fonts.FontCount(), 0u);
    std::vector<shapetest::Shape> squares;
    for (const auto& tag : page.definitions) {
        const swftest::Tag read = shapetest::ReadTag(*tag);
        ASSERT_EQ(read.code, FTagCode::DefineShape3);
        const shapetest::Shape shape = shapetest::ReadShape3(read.body);
        squares.push_back(shape);
    }
    ASSERT_EQ(squares.size(), 1u);  // both glyphs in one shape
    EXPECT_EQ(squares[0].fills.at(0).color, (shapetest::RGBA{255, 0, 0, 255}));
    // 20 points a side, the second glyph 30 points on.
    EXPECT_EQ(squares[0].xmin, Twips(100));
    EXPECT_EQ(squares[0].xmax, Twips(150));
    EXPECT_EQ(squares[0].ymax - squares[0].ymin, Twips(20));
}

// A font of cairo's own drawing, which it writes as Type 3: each glyph (d1)
// a bar under a dot, inside q/Q, in a font matrix that turns y down.
cairo_status_t DrawBarGlyph(cairo_scaled_font_t*, unsigned long, cairo_t* cr, cairo_text_extents_t* extents)
{
    cairo_rectangle(cr, 0.1, -0.5, 0.35, 0.5);
    cairo_arc(cr, 0.275, -0.65, 0.1, 0, 2 * M_PI);
    cairo_fill(cr);
    extents->x_advance = 0.6;
    return CAIRO_STATUS_SUCCESS;
}

TEST(VectorPage, CairosType3GlyphsAreDrawnInTheTextsColour)
{
    const auto deck = Record("cairo-type3", {[](cairo_t* cr) {
        cairo_font_face_t* bars = cairo_user_font_face_create();
        cairo_user_font_face_set_render_glyph_func(bars, DrawBarGlyph);
        cairo_set_font_face(cr, bars);
        cairo_set_font_size(cr, 40);
        cairo_set_source_rgb(cr, 0.6, 0.2, 0.4);
        cairo_move_to(cr, 100, 200);
        cairo_show_text(cr, "ab");
        cairo_font_face_destroy(bars);
    }});
    EXPECT_TRUE(deck->fonts.empty());
    const auto shapes = deck->Shapes(0);
    ASSERT_FALSE(shapes.empty());
    for (const auto& shape : shapes) {
        ASSERT_FALSE(shape.fills.empty());
        for (const auto& fill : shape.fills) EXPECT_EQ(fill.color, (shapetest::RGBA{153, 51, 102, 255}));
    }
    EXPECT_FALSE(deck->pages.at(0).summary.NeedsFallback());
}

// The page's definitions of one kind, as read back.
std::vector<swftest::Tag> DefinedTags(const VectorPage& page, FTagCode code)
{
    std::vector<swftest::Tag> found;
    for (const auto& tag : page.definitions) {
        swftest::Tag read = shapetest::ReadTag(*tag);
        if (read.code == code) found.push_back(std::move(read));
    }
    return found;
}

TEST(VectorPage, Type3GlyphsOfImageMasksAreBitmapsOfTheTextsColour)
{
    // A bitmap font's glyph (d1): an 8 x 2 stencil, the left half of each row painted.
    const std::string glyph = std::string("100 0 0 0 100 100 d1 q 100 0 0 100 0 0 cm BI /IM true /W 8 /H 2 /BPC 1 ID ") +
                              "\x0F\x0F" + " EI Q";
    const std::string path = TempPDF("type3-stencil");
    WriteHandPDF(path, "BT /T3 20 Tf 0 0 1 rg 100 400 Td (a) Tj ET\n",
                 "/Font << /T3 << /Type /Font /Subtype /Type3 /FontBBox [0 0 100 100] /FontMatrix [0.01 0 0 0.01 0 0] "
                 "/CharProcs << /st 5 0 R >> /Encoding << /Type /Encoding /Differences [97 /st] >> "
                 "/FirstChar 97 /LastChar 97 /Widths [150] >> >>",
                 {"<< /Length " + std::to_string(glyph.size()) + " >>\nstream\n" + glyph + "\nendstream"});
    VectorDocument document(path);
    VectorResources resources;
    VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    const std::vector<swftest::Tag> bitmaps = DefinedTags(page, FTagCode::DefineBitsLossless2);
    ASSERT_EQ(bitmaps.size(), 1u);
    // Two colours, so colour-mapped: a table of RGBA entries, then rows of
    // indices padded to four bytes.
    ASSERT_EQ(bitmaps[0].body.at(2), 3u);
    const size_t entries = size_t{bitmaps[0].body.at(7)} + 1;
    const std::vector<uint8_t> data =
        swftest::Inflate(std::vector<uint8_t>(bitmaps[0].body.begin() + 8, bitmaps[0].body.end()), entries * 4 + 8 * 2);
    ASSERT_EQ(data.size(), entries * 4 + 8 * 2);
    auto entry = [&](size_t pixel) {
        const size_t index = data.at(entries * 4 + pixel);
        return std::vector<uint8_t>(data.begin() + static_cast<long>(index * 4), data.begin() + static_cast<long>(index * 4 + 4));
    };
    EXPECT_EQ(entry(0), (std::vector<uint8_t>{0, 0, 255, 255}));  // painted in the text's blue
    EXPECT_EQ(entry(7).at(3), 0u);                                // the right half clear
    EXPECT_FALSE(page.summary.NeedsFallback());
}

TEST(VectorPage, StencilMasksAreBitmapsOfTheirColour)
{
    // An 8 x 2 stencil: the left half of each row painted.
    const std::string path = TempPDF("stencil");
    WriteHandPDF(path, "q 0 0 1 rg 80 0 0 20 100 300 cm BI /IM true /W 8 /H 2 /BPC 1 ID \x0F\x0F EI Q\n", "");
    VectorDocument document(path);
    VectorResources resources;
    VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    const std::vector<swftest::Tag> bitmaps = DefinedTags(page, FTagCode::DefineBitsLossless2);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(swftest::Little(bitmaps[0].body, 3, 2), 8u);
    EXPECT_EQ(swftest::Little(bitmaps[0].body, 5, 2), 2u);
    EXPECT_FALSE(page.summary.NeedsFallback());
}

// The alpha of each pixel of a DefineBitsLossless2, colour-mapped or 32-bit.
std::vector<uint8_t> LosslessAlpha(const swftest::Tag& bitmap)
{
    const uint32_t format = bitmap.body.at(2), width = swftest::Little(bitmap.body, 3, 2),
                   height = swftest::Little(bitmap.body, 5, 2);
    std::vector<uint8_t> alpha;
    if (format == 5) {
        const auto argb = swftest::Inflate(std::vector<uint8_t>(bitmap.body.begin() + 7, bitmap.body.end()),
                                           width * height * 4);
        for (size_t i = 0; i + 3 < argb.size(); i += 4) alpha.push_back(argb[i]);
        return alpha;
    }
    const uint32_t entries = bitmap.body.at(7) + 1u, stride = (width + 3) / 4 * 4;
    const auto mapped = swftest::Inflate(std::vector<uint8_t>(bitmap.body.begin() + 8, bitmap.body.end()),
                                         entries * 4 + stride * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) alpha.push_back(mapped.at(mapped.at(entries * 4 + y * stride + x) * 4u + 3));
    return alpha;
}

TEST(VectorPage, CappedPicturesAreScaledDownFacingTheWayTheyDid)
{
    // An 8 x 4 stencil: the left half of the two top rows painted, drawn 80 x
    // 40 points, capped to 4 x 2 pixels.
    const std::string path = TempPDF("stencil-capped");
    WriteHandPDF(path, "q 0 0 1 rg 80 0 0 40 100 300 cm BI /IM true /W 8 /H 4 /BPC 1 ID \x0F\x0F\xFF\xFF EI Q\n", "");
    VectorDocument document(path);
    VectorOptions options;
    options.maxImagePixelsPerTwip = 4 / (80 * kTwipsPerPoint);
    VectorResources resources;
    VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources, options);
    const std::vector<swftest::Tag> bitmaps = DefinedTags(page, FTagCode::DefineBitsLossless2);
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(swftest::Little(bitmaps[0].body, 3, 2), 4u);
    EXPECT_EQ(swftest::Little(bitmaps[0].body, 5, 2), 2u);
    const std::vector<uint8_t> alpha = LosslessAlpha(bitmaps[0]);
    ASSERT_EQ(alpha.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(alpha[i] > 128, i < 2) << "pixel " << i;
}

TEST(VectorPage, SoftMasksArePicturesWithAlphaWhereTheyAreDrawn)
{
    // Red faded by a mask from opaque to clear, then a blue square over it.
    const auto deck = Record("mask", {[](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 100, 100, 200, 100);
        cairo_clip(cr);
        cairo_pattern_t* fade = cairo_pattern_create_linear(100, 0, 300, 0);
        cairo_pattern_add_color_stop_rgba(fade, 0, 0, 0, 0, 1);
        cairo_pattern_add_color_stop_rgba(fade, 1, 0, 0, 0, 0);
        cairo_mask(cr, fade);
        cairo_pattern_destroy(fade);
        cairo_reset_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, 150, 150, 20, 20);
        cairo_fill(cr);
    }});
    const VectorPageSummary& summary = deck->pages[0].summary;
    EXPECT_FALSE(summary.NeedsFallback()) << summary.fallbacks.front().reason;
    EXPECT_EQ(summary.patches, 1u);
    // A bitmap with alpha, over the masked area only (at a pixel a 20 twips).
    const auto tags = deck->Definitions(0);
    const auto bitmap = std::find_if(tags.begin(), tags.end(), [](const swftest::Tag& t) {
        return t.code == FTagCode::DefineBitsLossless2 || t.code == FTagCode::DefineBitsJPEG3;
    });
    ASSERT_NE(bitmap, tags.end());
    const auto outlines = deck->Outlines(0);
    const auto picture = std::find_if(outlines.begin(), outlines.end(), [](const shapetest::Shape& o) {
        return !o.fills.empty() && (o.fills[0].type == 0x40 || o.fills[0].type == 0x41);
    });
    ASSERT_NE(picture, outlines.end());
    EXPECT_NEAR(picture->xmin, Twips(100), 20);
    EXPECT_NEAR(picture->xmax, Twips(300), 20);
    EXPECT_NEAR(picture->ymax - picture->ymin, Twips(100), 40);
    // The blue square drawn after it lies over it.
    EXPECT_EQ(outlines.back().fills.at(0).color, (shapetest::RGBA{0, 0, 255, 255}));
    const auto placements = deck->Placements(0);
    ASSERT_GE(placements.size(), 2u);
    EXPECT_EQ(placements.back().characterID, outlines.back().id);
    EXPECT_NE(placements.back().characterID, picture->id);
}

TEST(VectorPage, TilingPatternsArePicturesWhereTheyAreDrawnUpToTheLimit)
{
    const auto tiled = [](int count) {
        return [count](cairo_t* cr) {
            cairo_surface_t* tile = cairotest::Picture(4, 4, false);
            cairo_pattern_t* tiles = cairo_pattern_create_for_surface(tile);
            cairo_pattern_set_extend(tiles, CAIRO_EXTEND_REPEAT);
            cairo_set_source(cr, tiles);
            for (int i = 0; i < count; ++i) {
                cairo_rectangle(cr, 10 + 20 * i, 300, 15, 100);
                cairo_fill(cr);
            }
            cairo_pattern_destroy(tiles);
            cairo_surface_destroy(tile);
        };
    };
    const auto deck = Record("tiles", {tiled(1), tiled(34)});
    const VectorPageSummary& one = deck->pages[0].summary;
    EXPECT_FALSE(one.NeedsFallback()) << one.fallbacks.front().reason;
    EXPECT_EQ(one.patches, 1u);
    // Past the pictures a page may have, the rest are listed for patches.
    const VectorPageSummary& many = deck->pages[1].summary;
    EXPECT_EQ(many.patches, 32u);
    std::set<std::string> reasons;
    for (const VectorFallback& fallback : many.fallbacks) reasons.insert(fallback.reason);
    EXPECT_EQ(reasons, std::set<std::string>{"tiling pattern"});
}

TEST(VectorPage, DashesFollowThePatternFromItsPhase)
{
    const std::vector<OutlinePoint> line{{0, 0}, {100, 0}};
    // 30 on, 20 off, starting 10 into the pattern: 20 on, 20 off, 30 on, 20 off, 10 on.
    const auto dashes = DashPolyline(line, {30, 20}, 10);
    ASSERT_EQ(dashes.size(), 3u);
    EXPECT_DOUBLE_EQ(dashes[0].front().x, 0);
    EXPECT_DOUBLE_EQ(dashes[0].back().x, 20);
    EXPECT_DOUBLE_EQ(dashes[1].front().x, 40);
    EXPECT_DOUBLE_EQ(dashes[1].back().x, 70);
    EXPECT_DOUBLE_EQ(dashes[2].front().x, 90);
    EXPECT_DOUBLE_EQ(dashes[2].back().x, 100);
    // A dash across a corner keeps the corner.
    const auto bent = DashPolyline({{0, 0}, {10, 0}, {10, 10}}, {15, 100}, 0);
    ASSERT_EQ(bent.size(), 1u);
    ASSERT_EQ(bent[0].size(), 3u);
    EXPECT_DOUBLE_EQ(bent[0][2].y, 5);
}

TEST(VectorPage, StrokeOutlinesTakeTheirCapsAndJoins)
{
    // An L of two 100-unit legs, 10 wide.
    OutlineContour ell;
    ell.start = {0, 0};
    ell.segments.push_back({OutlineSegment::Kind::Line, {}, {}, {100, 0}});
    ell.segments.push_back({OutlineSegment::Kind::Line, {}, {}, {100, 100}});
    auto bounds = [&](StrokeStyle::Cap cap, StrokeStyle::Join join) {
        StrokeStyle style;
        style.width = 10;
        style.startCap = style.endCap = cap;
        style.join = join;
        return BoundsOf(StrokeToOutline({ell}, style, 0.05));
    };
    const Bounds butt = bounds(StrokeStyle::Cap::Butt, StrokeStyle::Join::Miter);
    EXPECT_NEAR(butt.xmin, 0, 0.01);    // flat at the start
    EXPECT_NEAR(butt.ymin, -5, 0.01);
    EXPECT_NEAR(butt.xmax, 105, 0.01);  // the miter's corner
    EXPECT_NEAR(butt.ymax, 100, 0.01);
    const Bounds square = bounds(StrokeStyle::Cap::Square, StrokeStyle::Join::Miter);
    EXPECT_NEAR(square.xmin, -5, 0.01);
    EXPECT_NEAR(square.ymax, 105, 0.01);
    // A round join cuts the corner: nothing reaches (105, -5).
    const Outline round = [&] {
        StrokeStyle style;
        style.width = 10;
        style.join = StrokeStyle::Join::Round;
        return StrokeToOutline({ell}, style, 0.05);
    }();
    for (const OutlineContour& contour : round)
        for (const OutlineSegment& s : contour.segments) EXPECT_GT(std::hypot(s.to.x - 105, s.to.y + 5), 1);
    // A closed square stroked: the ring, an outline and a hole.
    OutlineContour box = ell;
    box.segments.push_back({OutlineSegment::Kind::Line, {}, {}, {0, 100}});
    box.closed = true;
    StrokeStyle style;
    style.width = 10;
    EXPECT_EQ(StrokeToOutline({box}, style, 0.05).size(), 2u);
}

// The area an outline's contours enclose (holes turned the other way).
double AreaOf(const Outline& outline)
{
    double area = 0;
    for (const OutlineContour& contour : outline) {
        OutlinePoint from = contour.start;
        for (const OutlineSegment& s : contour.segments) {
            area += from.x * s.to.y - s.to.x * from.y;
            from = s.to;
        }
        area += from.x * contour.start.y - contour.start.x * from.y;
    }
    return std::fabs(area) / 2;
}

OutlineContour Polyline(std::initializer_list<OutlinePoint> points)
{
    OutlineContour contour;
    contour.start = *points.begin();
    for (auto p = points.begin() + 1; p != points.end(); ++p)
        contour.segments.push_back({OutlineSegment::Kind::Line, {}, {}, *p});
    return contour;
}

TEST(VectorPage, StrokeJoinsBevelTheCornerStraight)
{
    // Two legs of 100, 10 wide, butt ends: 1975 square units before the
    // corner's outer side is filled in.
    const OutlineContour ell = Polyline({{0, 0}, {100, 0}, {100, 100}});
    const auto area = [&](StrokeStyle::Join join, double miterLimit) {
        StrokeStyle style;
        style.width = 10;
        style.join = join;
        style.miterLimit = miterLimit;
        return AreaOf(StrokeToOutline({ell}, style, 0.05));
    };
    EXPECT_NEAR(area(StrokeStyle::Join::Bevel, 10), 1975 + 12.5, 0.5);  // the triangle up to the chord
    EXPECT_NEAR(area(StrokeStyle::Join::Miter, 10), 1975 + 25, 0.5);    // the square up to the tip
    // A right angle's miter is sqrt(2) widths long: past a limit of 1.2 it is bevelled, not squared.
    EXPECT_NEAR(area(StrokeStyle::Join::Miter, 1.2), 1975 + 12.5, 0.5);
    // A sharp turn's miter reaches far; its bevel stays at the corner.
    const OutlineContour spike = Polyline({{0, 0}, {100, 0}, {0, 10}});
    StrokeStyle style;
    style.width = 10;
    style.join = StrokeStyle::Join::Bevel;
    EXPECT_LT(BoundsOf(StrokeToOutline({spike}, style, 0.05)).xmax, 101);
    style.join = StrokeStyle::Join::Miter;
    style.miterLimit = 100;
    EXPECT_GT(BoundsOf(StrokeToOutline({spike}, style, 0.05)).xmax, 150);
    // A closed square's corners are joined too, its start among them.
    OutlineContour box = Polyline({{0, 0}, {100, 0}, {100, 100}, {0, 100}});
    box.closed = true;
    style.join = StrokeStyle::Join::Bevel;
    EXPECT_NEAR(AreaOf(StrokeToOutline({box}, style, 0.05)), 110 * 110 - 90 * 90 - 4 * 12.5, 0.5);
}

TEST(VectorPage, StrokeCapsDifferAtStartEndAndDashes)
{
    const OutlineContour line = Polyline({{0, 0}, {80, 0}});
    StrokeStyle style;
    style.width = 10;
    style.startCap = StrokeStyle::Cap::Butt;
    style.endCap = StrokeStyle::Cap::Square;
    Bounds bounds = BoundsOf(StrokeToOutline({line}, style, 0.05));
    EXPECT_NEAR(bounds.xmin, 0, 0.01);
    EXPECT_NEAR(bounds.xmax, 85, 0.01);
    style.startCap = StrokeStyle::Cap::Round;
    style.endCap = StrokeStyle::Cap::Butt;
    const Outline rounded = StrokeToOutline({line}, style, 0.05);
    EXPECT_NEAR(BoundsOf(rounded).xmin, -5, 0.05);
    EXPECT_NEAR(BoundsOf(rounded).xmax, 80, 0.01);
    EXPECT_NEAR(AreaOf(rounded), 800 + 25 * M_PI / 2, 1);

    // Dashes 0-30 and 50-80: the contour's own ends keep its butt caps, the
    // ends made by dashing take the square dash cap.
    style.startCap = style.endCap = StrokeStyle::Cap::Butt;
    style.dashCap = StrokeStyle::Cap::Square;
    style.join = StrokeStyle::Join::Round;  // the same caps whatever builds the body
    style.dashes = {30, 20};
    const Outline dashed = StrokeToOutline({line}, style, 0.05);
    bounds = BoundsOf(dashed);
    EXPECT_NEAR(bounds.xmin, 0, 0.01);
    EXPECT_NEAR(bounds.xmax, 80, 0.01);
    EXPECT_NEAR(AreaOf(dashed), 2 * 35 * 10, 0.5);
    // Started inside a gap, the first dash begins at a dash end: capped.
    style.dashPhase = 40;  // 10 off, then 30 on from 10
    EXPECT_NEAR(BoundsOf(StrokeToOutline({line}, style, 0.05)).xmin, 5, 0.01);
}

TEST(VectorPage, AStrokeOfNoLengthIsItsCaps)
{
    const OutlineContour dot = Polyline({{50, 50}, {50, 50}});
    StrokeStyle style;
    style.width = 10;
    EXPECT_TRUE(StrokeToOutline({dot}, style, 0.05).empty());  // butt
    style.startCap = style.endCap = StrokeStyle::Cap::Square;
    EXPECT_NEAR(AreaOf(StrokeToOutline({dot}, style, 0.05)), 100, 0.5);
    style.startCap = style.endCap = StrokeStyle::Cap::Round;
    style.join = StrokeStyle::Join::Round;
    EXPECT_NEAR(AreaOf(StrokeToOutline({dot}, style, 0.05)), 25 * M_PI, 1.5);
}

// A font the PDF does not embed, one it embeds that cannot be read, one it
// lists but never draws with, and one a form draws with.
TEST(VectorPage, FontsThePDFDoesNotGiveAreNamedWithWhatDrawsThem)
{
    const std::string path = TempPDF("substituted-fonts");
    const std::string notAFont = "these bytes are not a font program\n";
    const std::string form = "BT /F4 24 Tf 100 100 Td (Form) Tj ET\n";
    WriteHandPDF(path, "BT /F1 24 Tf 100 400 Td (Plain) Tj /F2 24 Tf 0 -100 Td (Broken) Tj ET /Fm1 Do\n",
                 "/Font << /F1 5 0 R /F2 6 0 R /F3 9 0 R >> /XObject << /Fm1 10 0 R >>",
                 {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                  "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Broken /FontDescriptor 7 0 R >>",
                  "<< /Type /FontDescriptor /FontName /ABCDEF+Broken /Flags 32 /FontBBox [0 -200 1000 800] "
                  "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 8 0 R >>",
                  "<< /Length " + std::to_string(notAFont.size()) + " >>\nstream\n" + notAFont + "endstream",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>",
                  "<< /Type /XObject /Subtype /Form /BBox [0 0 720 540] /Resources << /Font << /F4 11 0 R >> >> "
                  "/Length " + std::to_string(form.size()) + " >>\nstream\n" + form + "endstream",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>"});
    VectorDocument document(path);
    VectorResources resources;
    const VectorPage page = document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources);
    std::map<std::string, FontSubstitution> fonts;
    for (const FontSubstitution& font : page.substitutedFonts) fonts[font.font] = font;
    ASSERT_EQ(fonts.size(), 3u);  // Courier is not drawn with
    // The standard fonts in their own designs (fonts-texgyre).
    EXPECT_EQ(fonts["Times-Roman"].substitute, "TeXGyreTermes-Regular");
    const FontSubstitution& plain = fonts["Helvetica"];
    EXPECT_FALSE(plain.embedded);
    EXPECT_EQ(plain.substitute, "TeXGyreHeros-Regular");  // the font's own name, not the one it stands for
    EXPECT_EQ(plain.failure, "");
    const FontSubstitution& broken = fonts["ABCDEF+Broken"];
    EXPECT_TRUE(broken.embedded);
    EXPECT_NE(broken.failure, "");
    EXPECT_EQ(broken.failure.find("ignored error"), std::string::npos) << broken.failure;
    EXPECT_NE(broken.substitute, "");
    EXPECT_NE(broken.substitute, "ABCDEF+Broken");
    // Both are drawn all the same.
    size_t glyphs = 0;
    for (const auto& font : resources.fonts.TakeFonts()) glyphs += font->GlyphCount();
    EXPECT_GE(glyphs, 12u);
}

// The standard fonts and their common aliases find the Liberation font of
// their widths; other names the family they suggest, Sans when they say none.
TEST(SubstituteFonts, ANameFindsTheLiberationFontOfItsWidths)
{
    struct Case {
        const char* name;
        bool bold, italic;  // as MuPDF asks, from the font's flags
        const char* file;
    };
    const Case cases[] = {
        {"Helvetica", false, false, "LiberationSans-Regular"},
        {"Helvetica-BoldOblique", false, false, "LiberationSans-BoldItalic"},
        {"Arial,Bold", false, false, "LiberationSans-Bold"},
        {"ArialMT", false, true, "LiberationSans-Italic"},
        {"Arial-ItalicMT", false, false, "LiberationSans-Italic"},
        {"Times-Roman", false, false, "LiberationSerif-Regular"},
        {"TimesNewRomanPS-BoldItalicMT", false, false, "LiberationSerif-BoldItalic"},
        {"Courier-Oblique", false, false, "LiberationMono-Italic"},
        {"CourierNewPSMT", true, false, "LiberationMono-Bold"},
        {"ABCDEF+Georgia", false, false, "LiberationSerif-Regular"},  // a subset tag is no part of the name
        {"Consolas", false, false, "LiberationMono-Regular"},
        {"DejaVuSansMono-Bold", false, false, "LiberationMono-Bold"},
        {"MicrosoftSansSerif", false, false, "LiberationSans-Regular"},  // Sans before Serif
        {"Verdana", true, true, "LiberationSans-BoldItalic"},
        {"Symbol", false, false, ""},  // no counterpart: MuPDF keeps its own
        {"ZapfDingbats", false, false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SubstituteFonts::FileFor(c.name, c.bold, c.italic), c.file) << c.name;
}

// Courier, Helvetica and Times themselves are drawn in their own designs
// where TeX Gyre is installed; names that only share their widths (Courier
// New, Arial, Times New Roman) and narrow faces keep the Liberation font.
TEST(SubstituteFonts, TheStandardFontsKeepTheirOwnDesigns)
{
    struct Case {
        const char* name;
        bool bold, italic;
        const char* file;
    };
    const Case cases[] = {
        {"Courier", false, false, "texgyrecursor-regular"},
        {"Courier-Bold", false, false, "texgyrecursor-bold"},
        {"ABCDEF+Courier-BoldOblique", false, false, "texgyrecursor-bolditalic"},
        {"Helvetica", false, false, "texgyreheros-regular"},
        {"Helvetica-Oblique", false, false, "texgyreheros-italic"},
        {"Helvetica", true, false, "texgyreheros-bold"},
        {"Times-Roman", false, false, "texgyretermes-regular"},
        {"Times-BoldItalic", false, false, "texgyretermes-bolditalic"},
        {"CourierNewPSMT", false, false, ""},
        {"Arial", false, false, ""},
        {"TimesNewRomanPSMT", false, false, ""},
        {"Helvetica-Narrow", false, false, ""},
        {"Symbol", false, false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SubstituteFonts::StandardDesignFor(c.name, c.bold, c.italic), c.file) << c.name;
}

// The environment variable that points the Liberation lookup elsewhere, for
// one test; unset after.
class SubstituteFontFolders {
public:
    explicit SubstituteFontFolders(const std::string& folders)
    {
        setenv("CORVANEX_SUBSTITUTE_FONT_DIRS", folders.c_str(), 1);
    }
    ~SubstituteFontFolders() { unsetenv("CORVANEX_SUBSTITUTE_FONT_DIRS"); }
    SubstituteFontFolders(const SubstituteFontFolders&) = delete;
    SubstituteFontFolders& operator=(const SubstituteFontFolders&) = delete;
};

std::map<std::string, FontSubstitution> ByFont(const std::vector<FontSubstitution>& substitutions)
{
    std::map<std::string, FontSubstitution> fonts;
    for (const FontSubstitution& font : substitutions) fonts[font.font] = font;
    return fonts;
}

// DefineFont2 name -> glyph count.
std::map<std::string, uint32_t> FontGlyphs(VectorResources& resources)
{
    std::map<std::string, uint32_t> fonts;
    for (const auto& font : resources.fonts.TakeFonts()) fonts.insert(ReadFont2(shapetest::ReadTag(*font).body));
    return fonts;
}

const char* const kPictureText = "text in a font whose licence does not allow embedding it";

// Standard fonts the PDF does not embed are drawn in free faces of their
// designs, Symbol's codes as the characters they stand for; ZapfDingbats
// keeps MuPDF's own font, whose glyphs may not go into a movie: its text's
// area is listed for a picture, and covered by one when asked.
TEST(VectorPage, UnembeddedFontsAreFreeFontsAndMuPDFsOwnArePictures)
{
    const std::string path = TempPDF("liberation");
    WriteHandPDF(path,
                 "BT /F1 24 Tf 100 400 Td (Hag) Tj /F2 24 Tf 0 -60 Td (Hag) Tj /F3 24 Tf 0 -60 Td (Hag) Tj ET\n"
                 "BT /F4 30 Tf 100 100 Td (abg) Tj ET\n"
                 "BT /F5 24 Tf 300 400 Td (abgW\\267\\245) Tj ET\n",
                 "/Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R /F4 8 0 R /F5 9 0 R >>",
                 {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Bold >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>"});
    const Affine toTwips{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0};
    VectorDocument document(path);
    VectorResources resources;
    const VectorPage page = document.Record(0, toTwips, resources);
    std::map<std::string, FontSubstitution> fonts = ByFont(page.substitutedFonts);
    ASSERT_EQ(fonts.size(), 5u);
    // The standard fonts in their own designs.
    EXPECT_EQ(fonts["Helvetica"].substitute, "TeXGyreHeros-Regular");
    EXPECT_EQ(fonts["Times-Bold"].substitute, "TeXGyreTermes-Bold");
    EXPECT_EQ(fonts["Courier"].substitute, "TeXGyreCursor-Regular");
    EXPECT_EQ(fonts["Symbol"].substitute, "TeXGyreTermesMath-Regular");
    for (const char* drawn : {"Helvetica", "Times-Bold", "Courier", "Symbol"})
        EXPECT_FALSE(fonts[drawn].asPicture) << drawn;
    EXPECT_EQ(fonts["ZapfDingbats"].substitute, "D050000L");
    EXPECT_TRUE(fonts["ZapfDingbats"].asPicture);
    // Three glyphs of each, none of ZapfDingbats'; Symbol's a, b, g, W, bullet
    // and infinity are alpha, beta, gamma, Omega, a bullet and infinity.
    std::map<std::string, std::vector<uint32_t>> codes;
    for (const auto& font : resources.fonts.TakeFonts()) {
        const std::vector<uint8_t> body = shapetest::ReadTag(*font).body;
        codes[ReadFont2(body).first] = Font2Codes(body);
    }
    EXPECT_EQ(codes, (std::map<std::string, std::vector<uint32_t>>{
                         {"TeXGyreCursor-Regular", {'H', 'a', 'g'}},
                         {"TeXGyreHeros-Regular", {'H', 'a', 'g'}},
                         {"TeXGyreTermes-Bold", {'H', 'a', 'g'}},
                         {"TeXGyreTermesMath-Regular", {0x3B1, 0x3B2, 0x3B3, 0x2126, 0x2022, 0x221E}}}));
    {
        // Without TeX Gyre, the Liberation fonts of their widths, and MuPDF's own Symbol.
        const SubstituteFontFolders liberationOnly("/usr/share/fonts/truetype/liberation2");
        VectorDocument withoutGyre(path);
        VectorResources others;
        std::map<std::string, FontSubstitution> fallback = ByFont(withoutGyre.Record(0, toTwips, others).substitutedFonts);
        EXPECT_EQ(fallback["Helvetica"].substitute, "LiberationSans");
        EXPECT_EQ(fallback["Times-Bold"].substitute, "LiberationSerif-Bold");
        EXPECT_EQ(fallback["Courier"].substitute, "LiberationMono");
        EXPECT_EQ(fallback["Symbol"].substitute, "StandardSymbolsPS");
        EXPECT_TRUE(fallback["Symbol"].asPicture);
    }
    // Rendered (--raster, pictures of pages), Symbol's text is in MuPDF's own
    // face, and is told so: the recorder's face is not the renderer's.
    PDFDeck deck(path);
    PDFDocument another = deck.OpenAnother();
    const std::map<std::string, FontSubstitution> rendered =
        ByFont(deck.RenderEncoded(*another, 0, PixelSize{72, 54}, PageEncoding{}).substitutedFonts);
    EXPECT_EQ(rendered.at("Symbol").substitute, "StandardSymbolsPS");
    // ZapfDingbats' text, 30 points high from (100, 440) down the page, is what is listed.
    ASSERT_EQ(page.summary.fallbacks.size(), 1u);
    const VectorFallback& listed = page.summary.fallbacks[0];
    EXPECT_EQ(listed.reason, kPictureText);
    EXPECT_GE(listed.area.XMin(), 99 * kTwipsPerPoint);
    EXPECT_LE(listed.area.XMax(), 180 * kTwipsPerPoint);
    EXPECT_GE(listed.area.YMin(), (440 - 30) * kTwipsPerPoint);
    EXPECT_LE(listed.area.YMax(), (440 + 10) * kTwipsPerPoint);
    EXPECT_GT(listed.area.XMax() - listed.area.XMin(), 30 * kTwipsPerPoint);

    // Covered by a picture, the page is drawn as vectors all the same.
    VectorResources patched;
    VectorOptions options;
    options.patchFallbacks = true;
    const VectorPage covered = document.Record(0, toTwips, patched, options);
    EXPECT_EQ(covered.summary.patches, 1u);
    EXPECT_FALSE(covered.summary.NeedsFallback());
    EXPECT_EQ(FontGlyphs(patched).count("StandardSymbolsPS"), 0u);

    // Stroked or as a clip, ZapfDingbats' text gives no outline either: its area,
    // the stroke's half width (and a square cap's corner) around it, is
    // listed instead.
    const std::string shapes = TempPDF("dingbat-outlines");
    WriteHandPDF(shapes,
                 "BT 1 Tr 4 w 1 j /F1 30 Tf 100 400 Td (abg) Tj ET\n"
                 "q BT 7 Tr /F1 30 Tf 100 100 Td (abg) Tj ET 0 0 720 540 re f Q\n",
                 "/Font << /F1 5 0 R >>", {"<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>"});
    VectorDocument outlined(shapes);
    VectorResources outlines;
    const VectorPage stroked = outlined.Record(0, toTwips, outlines);
    ASSERT_EQ(stroked.summary.fallbacks.size(), 2u);
    const FRect stroke = stroked.summary.fallbacks[0].area, clip = stroked.summary.fallbacks[1].area;
    EXPECT_EQ(stroked.summary.fallbacks[1].reason, kPictureText);
    EXPECT_NEAR(clip.XMin() - stroke.XMin(), 2 * M_SQRT2 * kTwipsPerPoint, 1);
    EXPECT_NEAR(stroke.XMax() - clip.XMax(), 2 * M_SQRT2 * kTwipsPerPoint, 1);
    EXPECT_TRUE(FontGlyphs(outlines).empty());
    for (const auto& tag : stroked.definitions)  // the clip layer is the page's only shape, its text left out
        EXPECT_NE(shapetest::ReadTag(*tag).code, FTagCode::DefineShape3);
}

// Each style is its own file: a folder with only the regular Sans draws
// Helvetica with it, and leaves Helvetica-Bold to MuPDF's own font, whose
// text is listed for a picture (a folder that is not there is passed over).
TEST(VectorPage, AFontWithoutItsLiberationFileIsListedForAPicture)
{
    const std::string path = TempPDF("no-liberation");
    WriteHandPDF(path, "BT /F1 24 Tf 100 400 Td (Plain) Tj /F2 24 Tf 0 -100 Td (Bold) Tj ET\n",
                 "/Font << /F1 5 0 R /F2 6 0 R >>",
                 {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                  "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>"});
    const auto onlySans = std::filesystem::temp_directory_path() / "corvanex-vector-tests" / "only-sans";
    std::filesystem::create_directories(onlySans);
    std::filesystem::copy_file("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                               onlySans / "LiberationSans-Regular.ttf",
                               std::filesystem::copy_options::overwrite_existing);
    const Affine toTwips{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0};
    const SubstituteFontFolders some("/nonexistent:" + onlySans.string());
    VectorDocument document(path);
    VectorResources resources;
    const VectorPage page = document.Record(0, toTwips, resources);
    std::map<std::string, FontSubstitution> fonts = ByFont(page.substitutedFonts);
    EXPECT_EQ(fonts["Helvetica"].substitute, "LiberationSans");
    EXPECT_FALSE(fonts["Helvetica"].asPicture);
    EXPECT_EQ(fonts["Helvetica-Bold"].substitute, "NimbusSans-Bold");
    EXPECT_TRUE(fonts["Helvetica-Bold"].asPicture);
    EXPECT_EQ(FontGlyphs(resources), (std::map<std::string, uint32_t>{{"LiberationSans", 5}}));
    EXPECT_EQ(page.summary.fallbacks.size(), 1u);
}

TEST(VectorPage, APageStopsBeforeTheMoviesCharacterIDsRunOut)
{
    const std::string path = TempPDF("many-clips");
    cairotest::WritePDF(path, kPageWidth, kPageHeight, {[](cairo_t* cr) {
        for (int i = 0; i < 40; ++i) {
            cairo_save(cr);
            cairo_rectangle(cr, 10 * i, 10, 8, 8);
            cairo_clip(cr);
            cairo_paint(cr);
            cairo_restore(cr);
        }
    }});
    VectorDocument document(path);
    VectorResources resources;
    VectorOptions options;
    options.maxCharacterID = static_cast<uint16_t>(FLastCharacterID() + 30);
    const VectorPage page =
        document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources, options);
    ASSERT_TRUE(page.summary.NeedsFallback());
    EXPECT_EQ(page.summary.fallbacks.back().reason, "more characters than the movie holds");
    for (const auto& tag : page.definitions) EXPECT_LE(tag->ID(), options.maxCharacterID);
    EXPECT_LE(page.sprite->ID(), options.maxCharacterID);
    EXPECT_GT(page.definitions.size(), 10u);  // what fitted is kept
}

#if defined(__SANITIZE_ADDRESS__)
// cairo, which draws these tests' PDFs, finds its fonts through fontconfig,
// whose configuration is loaded once and never freed: a system library's
// one-time allocation, not a leak of ours (memcheck suppresses it likewise).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Without this, every run that used the suppression lists it on standard
// error at exit.
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

#endif  // CORVANEX_PDF
