// Annotations drawn as viewers draw them: link borders as pdftoppm -r 96
// strokes them, and appearance streams, in vector pages and in pictures of
// pages; PageParts::ContentOnly leaves them all out.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "driver/pdf/linkborders.h"
#include "driver/pdf/rasterpages.h"
#include "driver/pdf/vectordocument.h"
#include "hf/shapetags.h"
#include "support/converter_run.h"
#include "support/hand_pdf.h"
#include "support/swf_reader.h"

namespace {

using shapetest::RGBA;
using swftest::RunResult;
using swftest::Scratch;

// 720 x 540 points onto a slide 1920 pixels wide.
constexpr double kTwipsPerPoint = 38400.0 / 720;
constexpr RGBA kBlack{0, 0, 0, 255}, kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255};

// The page's shapes, each with the colours of its fills (those its records bring too).
std::vector<shapetest::Shape> ShapesOf(const VectorPage& page, std::vector<RGBA>* colors = nullptr)
{
    std::vector<shapetest::Shape> shapes;
    for (const auto& definition : page.definitions) {
        const swftest::Tag tag = shapetest::ReadTag(*definition);
        if (tag.code != FTagCode::DefineShape3) continue;
        shapes.push_back(shapetest::ReadShape3(tag.body));
        if (!colors) continue;
        for (const shapetest::FillStyle& fill : shapes.back().fills) colors->push_back(fill.color);
        for (const shapetest::Record& record : shapes.back().records)
            for (const shapetest::FillStyle& fill : record.newFills) colors->push_back(fill.color);
    }
    return shapes;
}

VectorPage RecordPage(Scratch& folder, const std::string& pdf, PageParts parts = PageParts::Shown)
{
    folder.Write("page.pdf", pdf);
    VectorDocument document((folder / "page.pdf").string());
    VectorResources resources;
    VectorOptions options;
    options.parts = parts;
    return document.Record(0, Affine{kTwipsPerPoint, 0, 0, kTwipsPerPoint, 0, 0}, resources, options);
}

// A page of 720 x 540 points with this content and these annotations (each
// dictionary's entries), numbered from 5, `extra` objects after them.
std::string AnnotatedPDF(const std::string& content, const std::vector<std::string>& annotations,
                         const std::vector<std::string>& extra = {}, handpdf::Page page = {})
{
    std::vector<std::string> objects;
    page.content = content;
    page.entries += " /Annots [";
    for (const std::string& annotation : annotations) {
        page.entries += std::to_string(handpdf::FirstExtraObject(1) + static_cast<int>(objects.size())) + " 0 R ";
        objects.push_back("<< /Type /Annot " + annotation + " >>");
    }
    page.entries += "]";
    objects.insert(objects.end(), extra.begin(), extra.end());
    return handpdf::PDF({page}, objects);
}

std::string Link(const std::string& rect, const std::string& entries)
{
    return "/Subtype /Link /Rect [" + rect + "] /A << /S /URI /URI (https://example.org/) >> " + entries;
}

// Points of the page (y up) to the sprite's twips (y down): xmin, xmax, ymin, ymax.
std::vector<int32_t> InTwips(double x0, double y0, double x1, double y1)
{
    const auto t = [](double points) { return static_cast<int32_t>(std::lround(points * kTwipsPerPoint)); };
    return {t(x0), t(x1), t(540 - y1), t(540 - y0)};
}

void ExpectNear(const std::vector<int32_t>& bounds, const std::vector<int32_t>& expected, const std::string& what)
{
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(bounds.at(i), expected.at(i), 3) << what << ", bound " << i;
}

class Annotations : public ::testing::Test {
protected:
    void TearDown() override { FResetCharacterID(); }
};

// One link over (100, 100) to (300, 150) points, alone on its page, drawn as
// pdftoppm draws the same link, or not at all.
TEST_F(Annotations, LinkBordersAreStrokedAsPdftoppmStrokesThem)
{
    struct Case {
        std::string entries;
        std::optional<RGBA> color;  // none: no border
        double width = 1;           // points
        bool underline = false, dashed = false;
    };
    const std::vector<Case> cases = {
        {"/Border [0 0 1] /C [1 0 0] /H /I", kRed},  // hyperref's
        {"/BS << /W 2 /S /D /D [3 2] >> /C [0 0 1]", kBlue, 2, false, true},
        {"/BS << /W 2 /S /D >> /C [0 0 1]", kBlue, 2, false, true},  // 3 on, 3 off
        {"/BS << /W 2 /S /D /D [] >> /C [0 0 1]", kBlue, 2},
        {"/BS << /W 3 /S /U >> /C [0 1 0]", kGreen, 3, true},
        {"/BS << /S /B >> /C [0 1 0]", kGreen},  // bevelled and inset: solid, width 1
        {"/Border [5 5 2 [4 2]] /C [1 0 0]", kRed, 2, false, true},  // corners not rounded
        {"/C [1 0 0]", kRed},                  // neither /BS nor /Border
        {"/Border [0 0 1]", kBlack},            // no /C
        {"/Border [0 0 1] /C [0.5]", kBlack},   // grey, CMYK: black
        {"/Border [0 0 1] /C [2 -1 0.5]", RGBA{0, 0, 128, 255}},  // out of range: 0
        {"/Border [0 0 1] /C [1 0 0] /F 1", kRed},                // Invisible is for unknown kinds
        {"/Border [0 0 0] /C [1 0 0]", {}},
        {"/Border [0 0 1] /C []", {}},
        {"/Border [1] /C [1 0 0]", {}},
        {"/Border [0 0 2 [0 0]] /C [1 0 0]", {}},
        {"/BS << /W 0 >> /Border [0 0 2] /C [1 0 0]", {}},  // /BS first
        {"/Border [0 0 1] /C [1 0 0] /F 2", {}},           // hidden
        {"/Border [0 0 1] /C [1 0 0] /F 32", {}},          // NoView
    };
    Scratch folder("annotations-borders");
    for (const Case& c : cases) {
        const std::vector<shapetest::Shape> shapes =
            ShapesOf(RecordPage(folder, AnnotatedPDF("", {Link("100 100 300 150", c.entries)})));
        if (!c.color) {
            EXPECT_TRUE(shapes.empty()) << c.entries;
            continue;
        }
        ASSERT_EQ(shapes.size(), 1u) << c.entries;
        ASSERT_EQ(shapes[0].fills.size(), 1u) << c.entries;  // the stroke, outlined
        EXPECT_EQ(shapes[0].fills[0].color, *c.color) << c.entries;
        // Centred on the edges (or the bottom edge alone), butt ended; dashes
        // are outlines of their own, a solid border one ring of eight edges.
        const double h = c.width / 2;
        ExpectNear({shapes[0].xmin, shapes[0].xmax, shapes[0].ymin, shapes[0].ymax},
                   c.underline ? InTwips(100, 100 - h, 300, 100 + h) : InTwips(100 - h, 100 - h, 300 + h, 150 + h),
                   c.entries);
        if (c.dashed)
            EXPECT_GT(shapes[0].Edges().size(), 40u) << c.entries;
        else
            EXPECT_EQ(shapes[0].Edges().size(), c.underline ? 4u : 8u) << c.entries;
    }

    // In the page's space: turned a quarter with the page, whichever way round the corners are given.
    handpdf::Page turned{"", "", "0 0 540 720", "/Rotate 90"};
    const std::vector<shapetest::Shape> shapes =
        ShapesOf(RecordPage(folder, AnnotatedPDF("", {Link("300 150 100 100", "/Border [0 0 2]")}, {}, turned)));
    ASSERT_EQ(shapes.size(), 1u);
    const auto t = [](double points) { return static_cast<int32_t>(std::lround(points * kTwipsPerPoint)); };
    ExpectNear({shapes[0].xmin, shapes[0].xmax, shapes[0].ymin, shapes[0].ymax}, {t(99), t(151), t(99), t(301)},
               "turned");
}

// Stamps, shapes and form fields with an appearance of their own are drawn
// over the content in both forms, hidden and NoView ones not; with the
// content alone, neither they nor link borders are.
TEST_F(Annotations, AppearancesAreDrawnInBothFormsAndLeftOutWithTheContentAlone)
{
    Scratch folder("annotations-appearances");
    const auto form = [](int n) { return "/AP << /N " + std::to_string(handpdf::FirstExtraObject(1) + 6 + n) + " 0 R >>"; };
    const auto square = [](const std::string& rgb) { return handpdf::Form(rgb + " rg 0 0 100 100 re f\n", "", "0 0 100 100"); };
    const std::string pdf = AnnotatedPDF(
        "0.5 g 0 0 50 50 re f\n",
        {"/Subtype /Stamp /Rect [100 300 200 400] " + form(0),
         "/Subtype /Square /Rect [300 300 400 400] " + form(1),
         "/Subtype /Widget /FT /Btn /Ff 65536 /T (go) /Rect [500 300 600 400] " + form(2),
         "/Subtype /Stamp /F 2 /Rect [100 100 200 200] " + form(3),
         "/Subtype /Stamp /F 32 /Rect [300 100 400 200] " + form(3),
         Link("500 100 600 200", "/Border [0 0 2] /C [1 0 0]")},
        {square("1 0.5 0"), square("0 0.5 0.5"), square("0.5 0 0.5"), square("1 1 0")});
    const RGBA grey{128, 128, 128, 255}, orange{255, 128, 0, 255}, teal{0, 128, 128, 255}, purple{128, 0, 128, 255};

    std::vector<RGBA> colors;
    ShapesOf(RecordPage(folder, pdf), &colors);
    EXPECT_EQ(colors, (std::vector<RGBA>{grey, orange, teal, kRed, purple}));  // annotations, links, fields
    colors.clear();
    ShapesOf(RecordPage(folder, pdf, PageParts::ContentOnly), &colors);
    EXPECT_EQ(colors, std::vector<RGBA>{grey});

    // As pictures, a pixel a point (MuPDF rounds a half to 127).
    const auto expectPixel = [](const std::vector<uint8_t>& rgba, int x, int y, RGBA expected) {
        const uint8_t* pixel = &rgba.at((static_cast<size_t>(540 - y) * 720 + static_cast<size_t>(x)) * 4);
        EXPECT_NEAR(pixel[0], expected.red, 1) << x << ", " << y;
        EXPECT_NEAR(pixel[1], expected.green, 1) << x << ", " << y;
        EXPECT_NEAR(pixel[2], expected.blue, 1) << x << ", " << y;
    };
    const RGBA white{255, 255, 255, 255};
    const std::string path = (folder / "page.pdf").string();
    const std::vector<uint8_t> shown = PDFDeck(path).RenderRGBA(0, {720, 540});
    const std::vector<uint8_t> bare = PDFDeck(path, {}, PageParts::ContentOnly).RenderRGBA(0, {720, 540});
    const std::vector<std::pair<int, int>> at = {{25, 25}, {150, 350}, {350, 350}, {550, 350}, {150, 150}, {350, 150}, {550, 100}};
    const std::vector<RGBA> expected = {grey, orange, teal, purple, white, white, kRed};
    for (size_t i = 0; i < at.size(); ++i) {
        expectPixel(shown, at[i].first, at[i].second, expected[i]);
        expectPixel(bare, at[i].first, at[i].second, i == 0 ? grey : white);
    }
}

// Through the converter: --no-annotations leaves the link's border out of
// the page, in either form, and keeps its button.
TEST_F(Annotations, WithoutAnnotationsTheLinkStaysAButton)
{
    Scratch folder("annotations-converter");
    folder.MakeDeck("slide", 1);
    folder.Write("deck.pdf", AnnotatedPDF("0 0 1 rg 0 0 100 100 re f\n", {Link("100 100 300 150", "/Border [0 0 1] /C [1 0 0]")}));
    const auto convert = [&](std::vector<std::string> options) {
        options.insert(options.end(), {"--size", "960x720", "deck.pdf", "deck.swf"});
        const RunResult run = folder.Convert(options);
        EXPECT_EQ(run.status, 0) << run.err;
        int webButtons = 0, redFills = 0, pictures = 0;
        for (const swftest::Tag& tag : swftest::ParseFile((folder / "deck.swf").string()).tags) {
            pictures += tag.code == FTagCode::DefineBitsJPEG2;
            if (tag.code == FTagCode::DefineButton2 && tag.body.at(5) == 0x08)  // its first action: GetURL
                webButtons += tag.body.at(3 + swftest::Word(tag, 3) + 4) == 0x83;
            if (tag.code != FTagCode::DefineShape3) continue;
            const shapetest::Shape shape = shapetest::ReadShape3(tag.body);
            for (const shapetest::FillStyle& fill : shape.fills) redFills += fill.color == kRed;
            for (const shapetest::Record& record : shape.records)
                for (const shapetest::FillStyle& fill : record.newFills) redFills += fill.color == kRed;
        }
        return std::vector<int>{webButtons, redFills, pictures};
    };
    // The buttons' face is the only picture of a vector page.
    EXPECT_EQ(convert({}), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(convert({"--no-annotations"}), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(convert({"--raster"}), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(convert({"--raster", "--no-annotations"}), (std::vector<int>{1, 0, 2}));

    const RunResult run = folder.Convert({"--no-annotations", "slide", "1", "slides.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("option '--no-annotations' is for a PDF deck"), std::string::npos) << run.err;
}

// Values no writer gives are held to what strokes the same on the page, or
// draw nothing, and a page of them converts in bounded time.
TEST_F(Annotations, HostileBordersAreBounded)
{
    const fz_rect page = fz_make_rect(0, 0, 720, 540);  // a diagonal of 900 points
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const auto fit = [&](fz_rect rect, float width, bool underline = false, float dash = -1) {
        LinkBorder border{rect, width, {0, 0, 0}, dash >= 0 || std::isnan(dash) ? 1 : 0, {dash}, underline};
        return FitBorderToPage(&border, page) ? std::optional<LinkBorder>(border) : std::nullopt;
    };
    EXPECT_FALSE(fit(fz_make_rect(nan, 0, 10, 10), 1));
    EXPECT_FALSE(fit(fz_make_rect(0, 0, 10, 10), inf));
    EXPECT_FALSE(fit(fz_make_rect(0, 0, 10, 10), 1, false, nan));
    EXPECT_FALSE(fit(fz_make_rect(1e6f, 1e6f, 1e6f + 10, 1e6f + 10), 1));  // far off
    EXPECT_FALSE(fit(fz_make_rect(-1e30f, -1e30f, 1e30f, 1e30f), 1));     // the page in its hole
    EXPECT_FALSE(fit(fz_make_rect(100, -50, 200, 100), 2, true));          // underlining below the page
    const std::optional<LinkBorder> across = fit(fz_make_rect(-1e30f, 100, 1e30f, 200), 1);
    ASSERT_TRUE(across);
    EXPECT_EQ(across->rect.x0, -901);  // the diagonal and the width off the page
    EXPECT_EQ(across->rect.x1, 720 + 901);
    EXPECT_EQ(across->rect.y1, 200);
    EXPECT_EQ(fit(fz_make_rect(100, 100, 200, 200), 1e30f).value().width, 900);
    EXPECT_EQ(fit(fz_make_rect(0, 0, 720, 540), 1, false, 0.01f).value().dashCount, 0);  // too fine: whole
    EXPECT_EQ(fit(fz_make_rect(0, 0, 720, 540), 1, false, 3).value().dashCount, 1);

    const std::string e30 = "1" + std::string(30, '0'), e400 = "1" + std::string(400, '0');
    std::vector<std::string> links = {
        Link("-" + e30 + " 100 " + e30 + " 200", "/Border [0 0 1]"),
        Link("100 100 200 200", "/Border [0 0 " + e30 + "] /C [0 1 0]"),
        Link("100 100 " + e400 + " 200", "/Border [0 0 " + e400 + "]"),
        Link("100 100 200 200", "/BS << /S /D /D [0.00001] >>"),
        Link("1 2 3", "/Border [0 0 1]"),
    };
    std::string dashes;
    for (int i = 0; i < 40; ++i) dashes += "1 ";
    links.push_back(Link("10 10 20 20", "/Border [0 0 1 [" + dashes + "]]"));
    // More links than a page holds, each bordered, to a page the PDF does not have (no button).
    for (int i = 0; i < 20000; ++i)
        links.push_back("/Subtype /Link /Dest [99 /Fit] /Border [0 0 1] /C [1 0 0] /Rect [" + std::to_string(i % 700) +
                        " " + std::to_string(i % 500) + " " + std::to_string(i % 700 + 20) + " " +
                        std::to_string(i % 500 + 20) + "]");
    Scratch folder("annotations-hostile");
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    folder.Write("deck.pdf", AnnotatedPDF("", links));
    for (const bool raster : {false, true}) {
        std::vector<std::string> arguments{"--forward", "forward.jpg", "--backward", "backward.jpg", "--size", "960x720"};
        if (raster) arguments.push_back("--raster");
        arguments.insert(arguments.end(), {"deck.pdf", "deck.swf"});
        const auto start = std::chrono::steady_clock::now();
        const RunResult run = folder.Convert(arguments, false);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 60) << raster;
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(swftest::ParseFile((folder / "deck.swf").string()).tags.empty());
    }
}

}  // namespace

#endif
