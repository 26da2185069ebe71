// The converter's PDF form through the real binary: pages in order at their
// fitted size, the stop table it makes or reads, and the files it refuses.
// Without PDF support, the one answer it gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/converter_run.h"
#include "support/swf_reader.h"

#ifdef CORVANEX_PDF
#include <jpeglib.h>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/rasterpages.h"
#include "driver/forms/pdfform.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/core/slidesize.h"
#include "tests/support/pdfmaker.h"
#endif

namespace {

using swftest::RunResult;
using swftest::Scratch;
using swftest::Tag;

// A folder with the button images and a config.txt the PDF form must not read.
Scratch& WithButtons(Scratch& folder)
{
    folder.MakeDeck("unused", 0, "", "300\n200\n");
    return folder;
}

RunResult ConvertPDF(const Scratch& folder, std::vector<std::string> arguments)
{
    std::vector<std::string> all{"--forward", "forward.jpg", "--backward", "backward.jpg"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return folder.Convert(all, false);
}

#ifndef CORVANEX_PDF

TEST(PDFShow, ABuildWithoutPDFSupportSaysSo)
{
    Scratch folder("nopdf");
    WithButtons(folder).Write("talk.PDF", "%PDF-1.4\n");
    const RunResult run = ConvertPDF(folder, {"talk.PDF", "talk.swf"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "corvanex: built without PDF support\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "talk.swf"));
}

#else

// What the vector form says first of a deck of the PDF maker, whose text is
// in standard fonts it does not embed.
std::string StandardFontLines(const std::string& pdf)
{
    return "corvanex: the PDF '" + pdf + "' does not embed the font 'Helvetica': it is drawn with " +
           "'TeXGyreHeros-Regular'\ncorvanex: the PDF '" + pdf +
           "' does not embed the font 'Helvetica-Bold': it is drawn with 'TeXGyreHeros-Bold'\n";
}

std::vector<Tag> Only(const std::vector<Tag>& frame, FTagCode code)
{
    std::vector<Tag> tags;
    std::copy_if(frame.begin(), frame.end(), std::back_inserter(tags), [&](const Tag& tag) { return tag.code == code; });
    return tags;
}

// The frames of the movie a run wrote, one less for the closing pair.
std::vector<std::vector<Tag>> SlideFrames(const Scratch& folder, const std::string& movie)
{
    std::vector<std::vector<Tag>> frames = swftest::Frames(swftest::ParseFile((folder / movie).string()));
    frames.resize(frames.size() - 2);
    return frames;
}

// The GotoFrame target of a backward button (its click action comes first).
int BackwardTarget(const Tag& button)
{
    const size_t at = 3 + swftest::Word(button, 3) + 4;  // first condition's actions
    EXPECT_EQ(button.body.at(at), 0x81);                 // GotoFrame
    return swftest::Word(button, at + 3);
}

// Per frame: its Stop actions and its backward buttons' targets.
struct FrameStops {
    int stops;
    std::vector<int> backward;
    bool operator==(const FrameStops&) const = default;
};

std::vector<FrameStops> Stops(const std::vector<std::vector<Tag>>& frames)
{
    std::vector<FrameStops> stops;
    for (const std::vector<Tag>& frame : frames) {
        FrameStops these{static_cast<int>(Only(frame, FTagCode::DoAction).size()), {}};
        const std::vector<Tag> buttons = Only(frame, FTagCode::DefineButton2);
        for (size_t b = 1; b < buttons.size(); ++b) these.backward.push_back(BackwardTarget(buttons[b]));  // [0]: forward
        stops.push_back(these);
    }
    return stops;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// The JPEG of a DefineBitsJPEG2: after the ID and the empty table section.
Picture DecodeSlide(const Tag& bits)
{
    Picture picture;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bits.body.data() + 6, static_cast<unsigned long>(bits.body.size() - 6));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    picture.rgb.resize(size_t(picture.width) * size_t(picture.height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.rgb.data() + size_t{info.output_scanline} * size_t(picture.width) * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return picture;
}

// The page whose colour a corner square has, from a pixel inside it.
int PageAt(const Picture& picture, int x, int y)
{
    const uint8_t* rgb = &picture.rgb[(size_t(y) * size_t(picture.width) + size_t(x)) * 3];
    return pdfmaker::PageOfCornerColour(rgb[0], rgb[1], rgb[2]);
}

TEST(PDFShow, SizesNamesAndTheAutomaticStopTable)
{
    EXPECT_EQ(PDFStopFileName("decks/Talk.PDF"), "decks/Talk.stp");
    EXPECT_EQ(PDFStopFileName("a.b.pdf"), "a.b.stp");
    EXPECT_EQ(StopOnEveryPage(4), (std::vector<int32_t>{0, 0, 1, 2, 3}));
    const SlideSize hd = PageSizeAt(PageSize{960, 540}, 96);
    EXPECT_EQ(hd.width, 1280);
    EXPECT_EQ(hd.height, 720);
    const SlideSize a4 = PageSizeAt(PageSize{595.28, 841.89}, 144);
    EXPECT_EQ(a4.width, 1191);
    EXPECT_EQ(a4.height, 1684);
    // A page's picture lies on whole stage pixels, 20 twips each, centred:
    // one of the area's aspect fills it edge to edge.
    const SlideSize stage{1280, 720};
    for (const PageSize page : {PageSize{960, 540}, PageSize{540, 960}, PageSize{612, 792}, PageSize{2000, 10},
                                PageSize{10, 2000}, PageSize{960.4, 540}}) {
        const PagePicture picture = PlacePicture(page, stage);
        EXPECT_EQ(picture.at.xmax - picture.at.xmin, picture.pixels.width * 20) << page.width << " x " << page.height;
        EXPECT_EQ(picture.at.ymax - picture.at.ymin, picture.pixels.height * 20) << page.width << " x " << page.height;
        EXPECT_EQ(picture.at.xmin % 20, 0);
        EXPECT_EQ(picture.at.ymin % 20, 0);
        EXPECT_LE(picture.at.xmax, stage.width * 20);
        EXPECT_LE(picture.at.ymax, stage.height * 20);
        EXPECT_NEAR(picture.at.xmin, stage.width * 20 - picture.at.xmax, 20);
        EXPECT_GE(picture.pixels.width, 1);
        EXPECT_GE(picture.pixels.height, 1);
    }
    const PagePicture wide = PlacePicture(PageSize{960, 540}, stage);
    EXPECT_EQ(wide.pixels.width, 1280);
    EXPECT_EQ(wide.pixels.height, 720);
    EXPECT_EQ(wide.at.xmin, 0);
    EXPECT_EQ(wide.at.ymin, 0);
    EXPECT_TRUE(wide.at.coversArea);
    const PagePicture tall = PlacePicture(PageSize{540, 960}, stage);
    EXPECT_EQ(tall.pixels.width, 405);
    EXPECT_EQ(tall.at.xmin, 437 * 20);
    EXPECT_FALSE(tall.at.coversArea);
}

TEST(PDFShow, RasterPagesInOrderAtTheirFittedSizeEachReplacingTheOneBefore)
{
    Scratch folder("pdforder");
    pdfmaker::DeckOptions options;
    options.pages = 7;  // more than the cores, so pages finish out of order
    options.portraitPages = {3};
    options.numberedCorners = true;
    WithButtons(folder).Write("Talk.PDF", pdfmaker::MakeDeck(options));
    const RunResult run = ConvertPDF(folder, {"--raster", "Talk.PDF", "talk.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, StandardFontLines("Talk.PDF"));

    // The first page at 96 dpi, not config.txt's 300 x 200.
    const swftest::Movie movie = swftest::ParseFile((folder / "talk.swf").string());
    EXPECT_EQ(movie.xmax, 1280 * 20);
    EXPECT_EQ(movie.ymax, 720 * 20 + 800);
    const std::vector<std::vector<Tag>> frames = SlideFrames(folder, "talk.swf");
    ASSERT_EQ(frames.size(), 7u);
    for (int f = 0; f < 7; ++f) {
        const Picture page = DecodeSlide(Only(frames[f], FTagCode::DefineBitsJPEG2).at(0));
        const bool portrait = f == 2;
        EXPECT_EQ(page.width, portrait ? 405 : 1280) << "frame " << f;
        EXPECT_EQ(page.height, 720) << "frame " << f;
        // Corner squares of 60 points: 45 pixels at this scale.
        for (const auto& [x, y] : {std::pair{10, 10}, {page.width - 10, 10}, {10, 709}, {page.width - 10, 709}})
            EXPECT_EQ(PageAt(page, x, y), f + 1) << "frame " << f << " at " << x << ", " << y;
    }
    // The landscape pages fill the area edge to edge, at 20 twips a pixel;
    // the portrait one lies centred on whole pixels, with no matte: the page
    // before comes off the stage first.
    EXPECT_EQ(frames[0][0].code, FTagCode::DefineBitsJPEG2);
    EXPECT_EQ(swftest::ShapeBounds(frames[0][1]), (std::vector<int32_t>{0, 1280 * 20, 0, 720 * 20}));
    const std::vector<Tag>& portrait = frames[2];
    ASSERT_EQ(portrait[0].code, FTagCode::RemoveObject);
    ASSERT_EQ(portrait[1].code, FTagCode::DefineBitsJPEG2);
    EXPECT_EQ(swftest::ShapeBounds(portrait[2]), (std::vector<int32_t>{437 * 20, (437 + 405) * 20, 0, 14400}));
}

TEST(PDFShow, StopsOnEveryPageWithoutAStopFile)
{
    Scratch folder("pdfstops");
    pdfmaker::DeckOptions options;
    options.pages = 4;
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    ASSERT_EQ(ConvertPDF(folder, {"--keys", "talk.pdf", "talk.swf"}).status, 0);
    // Every page waits, the last one too (its click shows the closing notice);
    // every page after the first goes back one.
    EXPECT_EQ(Stops(SlideFrames(folder, "talk.swf")),
              (std::vector<FrameStops>{{1, {}}, {1, {0}}, {1, {1}}, {1, {2}}}));
}

TEST(PDFShow, AStopFileBesideThePDFWinsAndStopsWinsOverIt)
{
    Scratch folder("pdfstopfile");
    pdfmaker::DeckOptions options;
    options.pages = 4;
    WithButtons(folder).Write("Talk.PDF", pdfmaker::MakeDeck(options));
    folder.Write("Talk.stp", "0\n2");  // entries 0, 2: frame 2 stops, back to 0
    folder.Write("other.stp", "0\n1\n3");
    ASSERT_EQ(ConvertPDF(folder, {"Talk.PDF", "a.swf"}).status, 0);
    // The last page waits whether or not the file names it.
    EXPECT_EQ(Stops(SlideFrames(folder, "a.swf")), (std::vector<FrameStops>{{0, {}}, {0, {}}, {1, {0}}, {1, {}}}));
    ASSERT_EQ(ConvertPDF(folder, {"--stops", "other.stp", "Talk.PDF", "b.swf"}).status, 0);
    EXPECT_EQ(Stops(SlideFrames(folder, "b.swf")), (std::vector<FrameStops>{{0, {}}, {1, {0}}, {0, {}}, {1, {1}}}));
    // --stop-last says what the PDF form does anyway.
    ASSERT_EQ(ConvertPDF(folder, {"--stop-last", "--stops", "other.stp", "Talk.PDF", "c.swf"}).status, 0);
    EXPECT_EQ(swftest::Slurp(folder / "c.swf"), swftest::Slurp(folder / "b.swf"));
    // A return frame outside 16 bits: its low bits, and the line naming the file.
    folder.Write("wide.stp", "-2\n3");
    const RunResult wide = ConvertPDF(folder, {"--stops", "wide.stp", "Talk.PDF", "d.swf"});
    ASSERT_EQ(wide.status, 0);
    EXPECT_EQ(wide.err, StandardFontLines("Talk.PDF") +
                            "corvanex: pages: 4 vector, 0 partly raster, 0 raster\n"
                            "corvanex: in the stop-point file 'wide.stp', the return frame -2 is outside 0 to 65535; "
                            "backward buttons go to their low 16 bits (65534)\n");
    EXPECT_EQ(Stops(SlideFrames(folder, "d.swf")), (std::vector<FrameStops>{{0, {}}, {0, {}}, {0, {}}, {1, {65534}}}));
}

TEST(PDFShow, OptionsShapeTheSlidesAndAreRefusedWhereTheyMeanNothing)
{
    Scratch folder("pdfoptions");
    pdfmaker::DeckOptions options;
    options.pages = 2;
    options.numberedCorners = true;
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "--dpi", "48", "talk.pdf", "small.swf"}).status, 0);
    EXPECT_EQ(swftest::ParseFile((folder / "small.swf").string()).xmax, 640 * 20);
    ASSERT_EQ(ConvertPDF(folder, {"--config", "config.txt", "talk.pdf", "config.swf"}).status, 0);
    EXPECT_EQ(swftest::ParseFile((folder / "config.swf").string()).xmax, 300 * 20);
    // Lossless pages: a lossless bitmap where the JPEG was.
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "--lossless", "--size", "320x180", "talk.pdf", "lossless.swf"}).status, 0);
    const std::vector<std::vector<Tag>> frames = SlideFrames(folder, "lossless.swf");
    // No JPEG but the backward button's face, defined at the first backward button.
    EXPECT_EQ(Only(frames[1], FTagCode::DefineBitsJPEG2).size(), 1u);
    EXPECT_EQ(Only(frames[1], FTagCode::DefineBitsLossless).size(), 1u);
    // Lower quality, fewer bytes.
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "--quality", "20", "talk.pdf", "q20.swf"}).status, 0);
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "talk.pdf", "q90.swf"}).status, 0);
    EXPECT_LT(std::filesystem::file_size(folder / "q20.swf"), std::filesystem::file_size(folder / "q90.swf"));

    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"--raster", "--quality", "101", "talk.pdf", "x.swf"},
         "option '--quality' takes a whole number from 1 to 100, not '101'"},
        {{"--raster", "--dpi", "2401", "talk.pdf", "x.swf"},
         "option '--dpi' takes a whole number from 1 to 2400, not '2401'"},
        {{"--raster", "--lossless", "--quality", "50", "talk.pdf", "x.swf"},
         "option '--quality' is for JPEG pages, not with '--lossless'"},
        {{"--raster", "--size", "640x480", "--dpi", "72", "talk.pdf", "x.swf"},
         "option '--dpi' sizes the slide area from the first page, not with '--size' or '--config'"},
        {{"--lossless", "deck", "3", "x.swf"}, "option '--lossless' is for a PDF deck (<deck.pdf> <output-file>)"},
        {{"--raster", "deck", "3", "x.swf"}, "option '--raster' is for a PDF deck (<deck.pdf> <output-file>)"},
        // Vector pages have no pixels for these to shape.
        {{"--dpi", "48", "talk.pdf", "x.swf"},
         "option '--dpi' is for pages drawn as pictures: add '--raster' (without it pages are vectors, and --size "
         "sets the slide area)"},
        // Pictures of their own are what vector pages have, and what a page
        // drawn whole as one has not.
        {{"--raster", "--max-image-dpi", "150", "talk.pdf", "x.swf"},
         "option '--max-image-dpi' is for pages drawn as vectors: leave out '--raster' (with it every page is one "
         "picture, sized by --dpi or --size)"},
        {{"--max-image-dpi", "0", "talk.pdf", "x.swf"},
         "option '--max-image-dpi' takes a whole number from 1 to 2400, not '0'"},
        {{"--max-image-dpi", "150", "deck", "3", "x.swf"},
         "option '--max-image-dpi' is for a PDF deck (<deck.pdf> <output-file>)"},
        {{"--lossless", "talk.pdf", "x.swf"},
         "option '--lossless' is for pages drawn as pictures: add '--raster' (without it pages are vectors, and "
         "--size sets the slide area)"},
        {{"talk.pdf", "./talk.pdf"}, "the movie './talk.pdf' would overwrite the PDF"},
    };
    for (const auto& [arguments, message] : refusals) {
        const RunResult run = ConvertPDF(folder, arguments);
        EXPECT_EQ(run.status, 2) << message;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "corvanex: " + message);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "x.swf"));
    // Two arguments without a PDF (or an office deck): the usage text, as for too few.
    const RunResult two = ConvertPDF(folder, {"talk.txt", "x.swf"});
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(two.err.rfind("usage: corvanex", 0), 0u);
}

// Pages several bands tall (200 dpi: 1500 rows, bands of a few hundred) are
// drawn and encoded a band at a time; what the movie holds is what the page
// drawn whole makes, as JPEG and as a lossless bitmap.
TEST(PDFShow, PagesTallerThanABandReachTheMovieAsDrawnWhole)
{
    Scratch folder("pdfbands");
    pdfmaker::DeckOptions options;
    options.pages = 2;
    options.numberedCorners = true;
    options.portraitPages = {2};
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "--dpi", "200", "talk.pdf", "jpeg.swf"}).status, 0);
    ASSERT_EQ(ConvertPDF(folder, {"--raster", "--lossless", "--dpi", "200", "talk.pdf", "lossless.swf"}).status, 0);
    const std::vector<std::vector<Tag>> jpegFrames = SlideFrames(folder, "jpeg.swf");
    const std::vector<std::vector<Tag>> losslessFrames = SlideFrames(folder, "lossless.swf");
    ASSERT_EQ(jpegFrames.size(), 2u);
    ASSERT_EQ(losslessFrames.size(), 2u);

    const PDFDeck deck((folder / "talk.pdf").string());
    const SlideSize area = PageSizeAt(deck.SizeOf(0), 200);
    for (int32_t page = 0; page < 2; ++page) {
        const PagePicture picture = PlacePicture(deck.SizeOf(page), area);
        const PixelSize size = picture.pixels;
        ASSERT_GT(size.height, BandRows(size, PageEncoding{})) << "page " << page + 1;
        const std::vector<uint8_t> whole = deck.RenderRGBA(page, size);

        const Tag jpeg = Only(jpegFrames[size_t(page)], FTagCode::DefineBitsJPEG2).at(0);
        // After the ID and the empty table section, the file whole (an end
        // marker more follows it).
        const std::vector<uint8_t> expectedJPEG =
            EncodeJPEG(whole.data(), size.width, size.height, size_t(size.width) * 4, PixelLayout::RGBA, {});
        ASSERT_GE(jpeg.body.size(), 6 + expectedJPEG.size());
        EXPECT_EQ(std::vector<uint8_t>(jpeg.body.begin() + 6, jpeg.body.begin() + 6 + std::ptrdiff_t(expectedJPEG.size())),
                  expectedJPEG)
            << "page " << page + 1;
        EXPECT_EQ(PageAt(DecodeSlide(jpeg), 10, size.height - 10), page + 1);
        // Shown at one pixel a stage pixel: its shape is the picture's rectangle.
        const Tag shape = Only(jpegFrames[size_t(page)], FTagCode::DefineShape3).at(0);
        EXPECT_EQ(swftest::ShapeBounds(shape), (std::vector<int32_t>{picture.at.xmin, picture.at.xmax, picture.at.ymin,
                                                                     picture.at.ymax}))
            << "page " << page + 1;

        const LosslessSlide expected = EncodeLosslessRGBA(whole.data(), size.width, size.height);
        const Tag lossless = Only(losslessFrames[size_t(page)], FTagCode::DefineBitsLossless).at(0);
        EXPECT_EQ(lossless.body.at(2), expected.format);
        EXPECT_EQ(swftest::Word(lossless, 3), size.width);
        EXPECT_EQ(swftest::Word(lossless, 5), size.height);
        const size_t data = expected.format == 3 ? 8 : 7;
        EXPECT_EQ(std::vector<uint8_t>(lossless.body.begin() + data, lossless.body.end()), expected.zlibData)
            << "page " << page + 1;
    }
}

TEST(PDFShow, BadPDFsAreRefusedNamingTheFileAndLeaveTheOldMovie)
{
    Scratch folder("pdfbad");
    WithButtons(folder);
    pdfmaker::DeckOptions locked;
    locked.pages = 2;
    locked.userPassword = "secret";
    folder.Write("notes.pdf", "these are my notes\n");
    folder.Write("empty.pdf", pdfmaker::MakeEmptyDeck());
    folder.Write("locked.pdf", pdfmaker::MakeDeck(locked));
    folder.Write("damaged.pdf", "%PDF-1.4\n" + std::string(2000, '\x9C'));
    folder.Write("old.swf", swftest::TinyMovie());
    const std::pair<std::string, std::string> cases[] = {
        {"notes.pdf", "the file 'notes.pdf' is not a PDF"},
        {"empty.pdf", "the PDF 'empty.pdf' has no pages"},
        {"locked.pdf", "the PDF 'locked.pdf' needs a password to open; remove it first"},
        {"missing.pdf", "cannot open the PDF 'missing.pdf': No such file or directory"},
        {"damaged.pdf", "the PDF 'damaged.pdf' is damaged: it cannot be read"},
    };
    for (const auto& [file, message] : cases) {
        const RunResult run = ConvertPDF(folder, {file, "old.swf"});
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(swftest::Slurp(folder / "old.swf"), swftest::TinyMovie()) << file;
    }
}

TEST(PDFShow, ADamagedPageIsShownWithOneWarningLine)
{
    Scratch folder("pdfdamaged");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.damagedPages = {2};
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    const RunResult run = ConvertPDF(folder, {"--raster", "talk.pdf", "talk.swf"});
    ASSERT_EQ(run.status, 0) << run.err;
    // After the first page's fonts.
    const std::string fonts = StandardFontLines("talk.pdf");
    ASSERT_EQ(run.err.rfind(fonts, 0), 0u) << run.err;
    const std::string damage = run.err.substr(fonts.size());
    const std::string start = "corvanex: page 2 of the PDF 'talk.pdf' is damaged (";
    const std::string end = "): it may be blank or incomplete\n";
    EXPECT_EQ(damage.rfind(start, 0), 0u) << run.err;
    ASSERT_GE(damage.size(), start.size() + end.size());
    EXPECT_EQ(damage.substr(damage.size() - end.size()), end) << run.err;
    EXPECT_EQ(std::count(damage.begin(), damage.end(), '\n'), 1) << run.err;
    EXPECT_EQ(SlideFrames(folder, "talk.swf").size(), 3u);
    // As vectors: the same lines, once, and the count of the pages.
    const RunResult vectors = ConvertPDF(folder, {"talk.pdf", "vectors.swf"});
    ASSERT_EQ(vectors.status, 0) << vectors.err;
    EXPECT_EQ(vectors.err, run.err + "corvanex: pages: 3 vector, 0 partly raster, 0 raster\n");
}

// Slide areas the options make impossible are refused before any page is
// rendered, naming what to change: pages of more pixels than a page may have
// (2400 dpi: 32000 x 18000), and areas narrower than the buttons under them.
TEST(PDFShow, AreasTooLargeToRenderOrTooNarrowForTheButtonsAreRefused)
{
    Scratch folder("pdfareas");
    pdfmaker::DeckOptions options;
    options.pages = 2;
    WithButtons(folder).Write("talk.pdf", pdfmaker::MakeDeck(options));
    folder.Write("narrow.txt", "60\n400\n");
    folder.Write("old.swf", swftest::TinyMovie());
    const std::tuple<std::vector<std::string>, int, std::string> refusals[] = {
        {{"--raster", "--dpi", "2400"}, 2,
         "page 1 of the PDF 'talk.pdf' would be rendered at 32000 x 18000 pixels, more than the 67108864 a page may "
         "have: give a lower --dpi or a smaller --size"},
        {{"--raster", "--size", "12000x6750"}, 2,
         "page 1 of the PDF 'talk.pdf' would be rendered at 12000 x 6750 pixels, more than the 67108864 a page may "
         "have: give a lower --dpi or a smaller --size"},
        {{"--raster", "--dpi", "5"}, 2,
         "the first page of the PDF 'talk.pdf' at 5 dpi is 67 x 38 pixels, narrower than the 80 pixels the buttons "
         "below it need: give a higher --dpi or a --size"},
        {{"--size", "79x300"}, 2,
         "a slide area of 79 x 300 pixels is narrower than the 80 pixels the buttons below it need: give a wider "
         "--size"},
        {{"--config", "narrow.txt"}, 1,
         "the slide area of 60 x 400 pixels in 'narrow.txt' is narrower than the 80 pixels the buttons below it "
         "need: give a wider --size"},
    };
    for (const auto& [options, status, message] : refusals) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"talk.pdf", "old.swf"});
        const RunResult run = ConvertPDF(folder, arguments);
        EXPECT_EQ(run.status, status) << message;
        EXPECT_EQ(run.err, "corvanex: " + message + "\n");
        EXPECT_TRUE(swftest::Slurp(folder / "old.swf") == swftest::TinyMovie()) << message;
    }
    // The narrowest area that keeps the buttons on the stage: 6 dpi gives 80.
    for (const std::string& option : {std::string("--dpi=6"), std::string("--size=80x45")}) {
        const RunResult run = ConvertPDF(folder, {"--raster", option, "talk.pdf", "edge.swf"});
        EXPECT_EQ(run.status, 0) << option << ": " << run.err;
        EXPECT_EQ(swftest::ParseFile((folder / "edge.swf").string()).xmax, 80 * 20) << option;
    }
}

TEST(PDFShow, MorePagesThanAMovieHoldsAreRefusedBeforeRendering)
{
    // Stopping on every page, a page takes four character IDs (its picture's
    // bitmap and shape, its forward and backward buttons) and its link two
    // more; the show six more (the faces and the closing notice, less the
    // first page's backward button): 10921 fit.
    Scratch folder("pdfbudget");
    pdfmaker::DeckOptions options;
    options.pages = 10922;
    for (int32_t page = 1; page <= options.pages; ++page) options.pageLinks[page] = 1;
    WithButtons(folder).Write("big.pdf", pdfmaker::MakeDeck(options));
    const RunResult run = ConvertPDF(folder, {"big.pdf", "big.swf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "corvanex: the PDF 'big.pdf' has 10922 pages; at most 10921 fit in one movie with these stop points "
              "and links\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "big.swf"));
}

// A PDF of `pages` pages of 72 x 72 points sharing one content stream;
// those in `unreadable` are null in the page tree, and cannot be loaded.
std::string ManyPagePDF(int32_t pages, const std::set<int32_t>& unreadable = {})
{
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "",
                                        "<< /Length 21 >>\nstream\n0 0 1 rg 0 0 9 9 re f\nendstream"};
    std::string kids;
    for (int32_t page = 1; page <= pages; ++page) {
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Contents 3 0 R >>");
        kids += unreadable.count(page) ? "null " : std::to_string(objects.size()) + " 0 R ";
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    return pdfmaker::MakePDF(objects);
}

TEST(PDFShow, APDFPastThePageLimitIsRefusedBeforeAnyPageIsRead)
{
    // Four characters a page stopping on every page, six for the show: with
    // links and narration, fewer. Page 2 cannot be read: the count is refused
    // first.
    Scratch folder("pdfpagelimit");
    WithButtons(folder).Write("many.pdf", ManyPagePDF(kMaxSlideCount + 1, {2}));
    for (const char* form : {"", "--raster"}) {
        std::vector<std::string> arguments{"many.pdf", "many.swf"};
        if (*form) arguments.insert(arguments.begin(), form);
        const RunResult run = ConvertPDF(folder, arguments);
        EXPECT_EQ(run.status, 1) << form;
        EXPECT_EQ(run.err,
                  "corvanex: the PDF 'many.pdf' has 65534 pages; at most 16382 fit in one movie with these stop "
                  "points\n")
            << form;
        EXPECT_FALSE(std::filesystem::exists(folder / "many.swf")) << form;
    }
}

TEST(PDFShow, APageTreeClaimingMorePagesThanItHoldsShowsThoseItHolds)
{
    // Nothing is reserved for the pages claimed (32 GB for their sizes).
    Scratch folder("pdfclaim");
    const std::string pdf = pdfmaker::MakePDF({"<< /Type /Catalog /Pages 2 0 R >>",
                             "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2000000000 >>",
                             "<< /Length 21 >>\nstream\n0 0 1 rg 0 0 9 9 re f\nendstream",
                             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Contents 3 0 R >>",
                             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Contents 3 0 R >>"});
    WithButtons(folder).Write("claim.pdf", pdf);
    for (const char* form : {"", "--raster"}) {
        std::vector<std::string> arguments{"claim.pdf", "claim.swf"};
        if (*form) arguments.insert(arguments.begin(), form);
        const RunResult run = ConvertPDF(folder, arguments);
        ASSERT_EQ(run.status, 0) << form << ": " << run.err;
        EXPECT_EQ(SlideFrames(folder, "claim.swf").size(), 2u) << form;
    }
}

#endif

}  // namespace
