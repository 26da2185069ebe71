// PDFs no presentation tool writes, but any file may be: values far past what
// a record's fields hold, pages that draw without end, errors MuPDF stops at.
// None of them may stop the converter on an assertion, or hold it for long.
#ifdef CORVANEX_PDF

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/pdf/vectordocument.h"
#include "hf/shapetags.h"
#include "support/converter_run.h"
#include "support/hand_pdf.h"
#include "support/swf_reader.h"
#include "swf/fswfstream.h"

namespace {

using swftest::RunResult;
using swftest::Scratch;

// 720 x 540 points onto a slide 1920 pixels wide.
const Affine kToTwips{38400.0 / 720, 0, 0, 38400.0 / 720, 0, 0};

RunResult ConvertPDF(Scratch& folder, const std::string& pdf, std::vector<std::string> arguments = {},
                     const std::string& size = "1920x1080")
{
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    folder.Write("hostile.pdf", pdf);
    std::vector<std::string> all{"--forward", "forward.jpg", "--backward", "backward.jpg", "--size", size};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.insert(all.end(), {"hostile.pdf", "hostile.swf"});
    return folder.Convert(all, false);
}

// The page recorded as the show records it, into resources of its own, but
// for the time limit (none unless given), so that a loaded machine or a
// sanitizer build reaches the limit a test is about first.
VectorPage RecordPage(Scratch& folder, const std::string& pdf, const PageBudget::Limits& budget = {})
{
    const std::string path = (folder / "page.pdf").string();
    folder.Write("page.pdf", pdf);
    VectorDocument document(path);
    VectorResources resources;
    VectorOptions options;
    options.budget = budget;
    options.patchFallbacks = true;
    return document.Record(0, kToTwips, resources, options);
}

bool Defines(const VectorPage& page, FTagCode code)
{
    for (const auto& definition : page.definitions)
        if (shapetest::ReadTag(*definition).code == code) return true;
    return false;
}

// Pages recorded on their own draw character IDs no movie writes: the
// counter is left as a new movie finds it, for the tests run after these in
// one process.
class HostilePDF : public ::testing::Test {
protected:
    void TearDown() override { FResetCharacterID(); }
};

// Pictures whose pixels are drawn wider than a fill matrix scales, shapes and
// text far off the page, a gradient longer than its matrix holds: each used to
// stop the converter on the stream's field assertion.
TEST_F(HostilePDF, ValuesPastTheRecordsFieldsReachNoAssertion)
{
    Scratch folder("hostile-fields");
    // PDF numbers have no exponent.
    const std::string e30 = "1" + std::string(30, '0'), e12 = "1" + std::string(12, '0');
    const std::string content =
        // A 1 x 1 background stretched over the page, and a 1 x 2 strip.
        "q 720 0 0 540 0 0 cm BI /W 1 /H 1 /CS /RGB /BPC 8 ID \x20\x60\xC0 EI Q\n"
        "q 700 0 0 20 10 10 cm BI /W 1 /H 2 /CS /G /BPC 8 ID \x10\xF0 EI Q\n"
        // A triangle reaching 10^30 points, and a line there.
        "1 0 0 rg 100 100 m " + e30 + " 200 l 100 300 l f\n"
        "0 0 1 RG 4 w 1 J 50 50 m " + e30 + " " + e30 + " l S\n"
        // Text placed 10^12 points away, and beside it on the page.
        "BT /F1 24 Tf " + e12 + " " + e12 + " Td (Far) Tj ET BT /F1 24 Tf 100 400 Td (Near) Tj ET\n"
        // An axial shading whose axis is 10^12 points long.
        "q 0 0 720 100 re W n /Sh1 sh Q\n";
    const std::string shading =
        "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 " + e12 + " 0] /Extend [true true] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >>";
    const std::string pdf = handpdf::PDF(
        {{content, "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> /Shading << /Sh1 5 0 R >>"}},
        {shading});

    const VectorPage page = RecordPage(folder, pdf);
    ASSERT_TRUE(page.sprite);
    EXPECT_TRUE(page.summary.overBudget.empty()) << page.summary.overBudget;
    // The stretched pictures are vectors: their shapes are drawn inside a
    // sprite placed larger, not left to a picture of the page.
    EXPECT_TRUE(Defines(page, FTagCode::DefineSprite));
    for (const VectorFallback& fallback : page.summary.fallbacks)
        EXPECT_NE(fallback.reason.find("gradient"), std::string::npos) << fallback.reason;

    const RunResult run = ConvertPDF(folder, pdf);
    ASSERT_EQ(run.status, 0) << run.err;
    const swftest::Movie movie = swftest::ParseFile((folder / "hostile.swf").string());
    EXPECT_FALSE(movie.tags.empty());
}

// Each page spends at most its budget and says why it stopped; the page is
// then drawn as a picture.
TEST_F(HostilePDF, APageStopsAtItsBudgetAndSaysWhy)
{
    Scratch folder("hostile-budget");
    // Ten lines dashed a thousandth of a point, millions of dashes, are drawn
    // whole, half as opaque, as a viewer shows them; 400 lines dashed a
    // point apart are 280,000 dashes, more than a page may draw.
    std::string fine = "[0.001] 0 d 1 w\n", visible = "[1] 0 d 1 w\n";
    for (int i = 0; i < 10; ++i) fine += "10 " + std::to_string(20 + 50 * i) + " m 710 " + std::to_string(20 + 50 * i) + " l S\n";
    for (int i = 0; i < 400; ++i) visible += "10 " + std::to_string(10 + i) + " m 710 " + std::to_string(10 + i) + " l\n";
    visible += "S\n";
    const VectorPage faint = RecordPage(folder, handpdf::PDF({{fine, ""}}));
    ASSERT_TRUE(faint.sprite) << faint.summary.overBudget;
    const std::vector<swftest::Tag> tags{shapetest::ReadTag(*faint.definitions.at(0))};
    const shapetest::Shape lines = shapetest::ReadShape3(tags[0].body);  // the first outline sets the style
    // Butt caps a point wide: each line's outline, filled.
    ASSERT_EQ(lines.fills.size(), 1u);
    EXPECT_EQ(lines.fills[0].color.alpha, 128u);
    EXPECT_EQ(lines.Edges().size(), 40u);
    const VectorPage dashed = RecordPage(folder, handpdf::PDF({{visible, ""}}));
    EXPECT_FALSE(dashed.sprite);
    EXPECT_FALSE(dashed.summary.overBudget.empty());

    // A star of 4001 points filled non-zero: its edges cross millions of times.
    std::string star = "0 0 1 rg 360 270 m\n";
    for (int i = 1; i <= 4001; ++i) {
        const double angle = 2 * M_PI * 2000.0 * i / 4001;
        star += std::to_string(360 + 250 * std::cos(angle)) + " " + std::to_string(270 + 250 * std::sin(angle)) + " l\n";
    }
    star += "f\n";
    EXPECT_EQ(RecordPage(folder, handpdf::PDF({{star, ""}})).summary.overBudget,
              "an outline whose edges cross too often to be drawn as vectors");

    // Forms ten deep, each drawing the one below ten times: 10^10 squares.
    std::vector<std::string> forms;
    const int first = handpdf::FirstExtraObject(1);
    forms.push_back(handpdf::Form("0 0 5 5 re f\n"));
    for (int level = 1; level < 10; ++level) {
        std::string body;
        for (int i = 0; i < 10; ++i) body += "/X Do 0.5 0 0 0.5 5 5 cm\n";
        forms.push_back(handpdf::Form(body, "/XObject << /X " + std::to_string(first + level - 1) + " 0 R >>"));
    }
    const VectorPage nested = RecordPage(
        folder, handpdf::PDF({{"/X Do\n", "/XObject << /X " + std::to_string(first + 9) + " 0 R >>"}}, forms));
    EXPECT_EQ(nested.summary.overBudget.rfind(" edges, more than 100000"), nested.summary.overBudget.size() - 24)
        << nested.summary.overBudget;
    EXPECT_FALSE(nested.sprite);

    // The same within a second: stopped by the clock.
    PageBudget::Limits quick;
    quick.seconds = 0.05;
    quick.edges = uint64_t{1} << 40;
    EXPECT_EQ(RecordPage(folder, handpdf::PDF({{"/X Do\n", "/XObject << /X " + std::to_string(first + 9) + " 0 R >>"}},
                                               forms),
                         quick)
                  .summary.overBudget,
              "it took longer than 0.05 s");

    // Forty squares apart in a blend mode each: more pictures than a page takes.
    std::string blends;
    for (int i = 0; i < 40; ++i)
        blends += "q /B gs 0 1 0 rg " + std::to_string(10 + (i % 8) * 90) + " " + std::to_string(10 + (i / 8) * 100) +
                  " 20 20 re f Q\n";
    EXPECT_EQ(RecordPage(folder, handpdf::PDF({{blends, "/ExtGState << /B << /BM /Multiply >> >>"}})).summary.overBudget,
              "40 areas SWF cannot draw, more than 32");
}

// Through the converter: a page over its budget is a picture at once, named
// with the reason, and the pages after it are vectors as ever (the IDs it
// drew are given back, the fonts and pictures it made first forgotten).
TEST_F(HostilePDF, APageOverItsBudgetIsAPictureAndTheRestStayVectors)
{
    Scratch folder("hostile-discard");
    // 30,000 squares each in a clip of its own: two characters a square, far
    // more than the movie holds, and 240,000 edges.
    std::string heavy = "BT /F1 12 Tf 10 10 Td (Heavy) Tj ET\n";
    for (int i = 0; i < 30000; ++i) {
        const std::string x = std::to_string(i % 200 * 3.5), y = std::to_string(100 + i / 200 * 2.5);
        heavy += "q " + x + " " + y + " 3 2 re W n " + x + " " + y + " 2 2 re f Q\n";
    }
    const std::string font = "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>";
    std::vector<handpdf::Page> pages{{heavy, font}};
    for (int i = 0; i < 4; ++i) pages.push_back({"0 0 1 rg 100 100 200 100 re f BT /F1 24 Tf 100 300 Td (Light) Tj ET\n", font});
    // A small stage: the heavy page's picture is the movie's largest part.
    const RunResult run = ConvertPDF(folder, handpdf::PDF(pages), {}, "480x270");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("page 1 of the PDF 'hostile.pdf' is drawn as a picture: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("pages: 4 vector, 0 partly raster, 1 raster"), std::string::npos) << run.err;
}

// An error MuPDF stops drawing at does not fail the deck: what came before it
// is the page, as a viewer shows it, and the user is told of the damage.
TEST_F(HostilePDF, APageMuPDFStopsOnIsDrawnAsFarAsItGot)
{
    Scratch folder("hostile-nesting");
    // A hundred forms, each inside the one before: deeper than MuPDF goes.
    const int first = handpdf::FirstExtraObject(1);
    std::vector<std::string> forms;
    for (int level = 0; level < 100; ++level)
        forms.push_back(handpdf::Form("1 0 0 rg 0 0 10 10 re f 1 0 0 1 5 5 cm /X Do\n",
                                      "/XObject << /X " + std::to_string(first + level + 1) + " 0 R >>"));
    forms.push_back(handpdf::Form("0 1 0 rg 0 0 10 10 re f\n"));
    const std::string pdf = handpdf::PDF(
        {{"0 0 1 rg 100 100 200 100 re f /X Do\n", "/XObject << /X " + std::to_string(first) + " 0 R >>"}}, forms);
    for (const bool raster : {false, true}) {
        SCOPED_TRACE(raster ? "raster" : "vector");
        const RunResult run = ConvertPDF(folder, pdf, raster ? std::vector<std::string>{"--raster"} : std::vector<std::string>{});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("page 1 of the PDF 'hostile.pdf' is damaged ("), std::string::npos) << run.err;
        if (!raster) {
            EXPECT_NE(run.err.find("pages: 1 vector"), std::string::npos) << run.err;
        }
    }
}

}  // namespace

#endif
