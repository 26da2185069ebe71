// PDF decks: opening and checking the file, page sizes as shown, pages in
// order from parallel rendering, and the JPEG encoder read back with libjpeg.
#ifdef CORVANEX_PDF

#include "driver/pdf/rasterpages.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/decodebudget.h"
#include "driver/encode/jpegencoder.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/core/error.h"
#include "support/converter_run.h"
#include "support/swf_reader.h"
#include "tests/support/hand_pdf.h"
#include "tests/support/pdfmaker.h"

namespace {

using swftest::Scratch;

struct Decoded {
    int32_t width = 0, height = 0;
    bool progressive = false;
    int lumaSampling = 0;  // the luma component's horizontal factor: 1 for 4:4:4, 2 for 4:2:0
    std::vector<uint8_t> rgb;

    const uint8_t* At(int32_t x, int32_t y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

Decoded DecodeJPEG(const std::vector<uint8_t>& jpeg)
{
    Decoded decoded;
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    decoded.progressive = info.progressive_mode;
    decoded.lumaSampling = info.comp_info[0].h_samp_factor;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    decoded.width = static_cast<int32_t>(info.output_width);
    decoded.height = static_cast<int32_t>(info.output_height);
    decoded.rgb.resize(size_t{info.output_width} * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = decoded.rgb.data() + size_t{info.output_scanline} * info.output_width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return decoded;
}

// A PDF written into the scratch folder.
std::string WritePDF(const Scratch& scratch, const std::string& name, const std::string& bytes)
{
    scratch.Write(name, bytes);
    return (scratch / name).string();
}

// The PDFDeck constructor's error, with its status.
std::pair<std::string, int> OpenError(const std::string& file)
{
    try {
        PDFDeck deck(file);
    } catch (const ConverterError& error) {
        return {error.what(), error.ExitStatus()};
    }
    return {"opened", 0};
}

TEST(PDFDeck, PageSizesAreWhatAViewerShows)
{
    const Scratch scratch("pdf-sizes");
    pdfmaker::DeckOptions options;
    options.pages = 4;
    options.portraitPages = {2};
    options.rotatedPages = {3};
    options.croppedPages = {4};
    const PDFDeck deck(WritePDF(scratch, "sizes.pdf", pdfmaker::MakeDeck(options)));
    ASSERT_EQ(deck.PageCount(), 4);
    const std::vector<std::pair<double, double>> expected = {{960, 540}, {540, 960}, {540, 960}, {760, 340}};
    for (int32_t page = 0; page < 4; ++page) {
        EXPECT_DOUBLE_EQ(deck.SizeOf(page).width, expected[size_t(page)].first) << "page " << page + 1;
        EXPECT_DOUBLE_EQ(deck.SizeOf(page).height, expected[size_t(page)].second) << "page " << page + 1;
    }
}

// The header band (dark blue) lies along the top of a page as shown: along
// the right edge of the picture for a page turned by /Rotate 90. A cropped
// page shows its corner squares at the picture's corners.
TEST(PDFDeck, RenderingFollowsRotationAndCropBox)
{
    const Scratch scratch("pdf-rotation");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.rotatedPages = {2};
    options.croppedPages = {3};
    options.numberedCorners = true;
    const PDFDeck deck(WritePDF(scratch, "turned.pdf", pdfmaker::MakeDeck(options)));
    const auto isBand = [](const std::vector<uint8_t>& rgba, int32_t width, int32_t x, int32_t y) {
        const uint8_t* pixel = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        return pixel[0] < 60 && pixel[1] > 40 && pixel[1] < 80 && pixel[2] > 100 && pixel[2] < 130;
    };
    const std::vector<uint8_t> plain = deck.RenderRGBA(0, {192, 108});
    ASSERT_EQ(plain.size(), 192u * 108 * 4);
    EXPECT_TRUE(isBand(plain, 192, 96, 5));
    EXPECT_FALSE(isBand(plain, 192, 96, 100));
    for (size_t i = 3; i < plain.size(); i += 4) ASSERT_EQ(plain[i], 255);

    const std::vector<uint8_t> turned = deck.RenderRGBA(1, {108, 192});
    EXPECT_TRUE(isBand(turned, 108, 103, 96));
    EXPECT_FALSE(isBand(turned, 108, 5, 96));

    const std::vector<uint8_t> cropped = deck.RenderRGBA(2, {190, 68});
    const pdfmaker::Colour corner = pdfmaker::CornerColour(3);
    for (auto [x, y] : {std::pair{2, 2}, {187, 2}, {2, 65}, {187, 65}}) {
        const uint8_t* pixel = &cropped[(size_t(y) * 190 + size_t(x)) * 4];
        EXPECT_EQ(pixel[0], corner.red) << x << "," << y;
        EXPECT_EQ(pixel[1], corner.green) << x << "," << y;
        EXPECT_EQ(pixel[2], corner.blue) << x << "," << y;
    }
}

// More threads than cores and pages of very different sizes, so that pages
// finish out of order; each page's corner colour says which page it is.
TEST(PDFDeck, ParallelRenderingHandsPagesOverInOrder)
{
    const Scratch scratch("pdf-order");
    pdfmaker::DeckOptions options;
    options.pages = 24;
    options.numberedCorners = true;
    const PDFDeck deck(WritePDF(scratch, "order.pdf", pdfmaker::MakeDeck(options)));
    std::vector<PixelSize> sizes;
    for (int32_t page = 0; page < 24; ++page)
        sizes.push_back(page % 3 == 0 ? PixelSize{640, 360} : PixelSize{96 + page, 54 + page});
    PageEncoding encoding;
    std::vector<int32_t> order;
    RenderPDFPages(
        deck, sizes, encoding,
        [&](int32_t page, EncodedPage&& encoded) {
            order.push_back(page);
            const Decoded decoded = DecodeJPEG(encoded.jpeg);
            ASSERT_EQ(decoded.width, sizes[size_t(page)].width);
            ASSERT_EQ(decoded.height, sizes[size_t(page)].height);
            EXPECT_EQ(encoded.width, decoded.width);
            EXPECT_EQ(encoded.height, decoded.height);
            // The middle of the top-left corner square and of the bottom-right one.
            const int32_t inset = static_cast<int32_t>(decoded.width * pdfmaker::kCornerSquare / 960 / 2);
            for (const uint8_t* pixel : {decoded.At(inset, inset),
                                         decoded.At(decoded.width - 1 - inset, decoded.height - 1 - inset)})
                EXPECT_EQ(pdfmaker::PageOfCornerColour(pixel[0], pixel[1], pixel[2]), page + 1) << "page " << page + 1;
        },
        5);
    std::vector<int32_t> expected(24);
    for (int32_t page = 0; page < 24; ++page) expected[size_t(page)] = page;
    EXPECT_EQ(order, expected);
}

TEST(PDFDeck, AFailureInTakeStopsTheRunAndNoLaterPageIsHandedOver)
{
    const Scratch scratch("pdf-stop");
    pdfmaker::DeckOptions options;
    options.pages = 12;
    const PDFDeck deck(WritePDF(scratch, "stop.pdf", pdfmaker::MakeDeck(options)));
    const std::vector<PixelSize> sizes(12, PixelSize{64, 36});
    std::vector<int32_t> taken;
    EXPECT_THROW(RenderPDFPages(deck, sizes, PageEncoding{},
                                [&](int32_t page, EncodedPage&&) {
                                    taken.push_back(page);
                                    if (page == 3) throw std::runtime_error("the movie is full");
                                }),
                 std::runtime_error);
    EXPECT_EQ(taken, (std::vector<int32_t>{0, 1, 2, 3}));
}

// A page that cannot be rendered is reported with its 1-based number; the
// pages before it are handed over first.
TEST(PDFDeck, ARenderFailureNamesTheFileAndPage)
{
    const Scratch scratch("pdf-pagefail");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    const std::string file = WritePDF(scratch, "fail.pdf", pdfmaker::MakeDeck(options));
    const PDFDeck deck(file);
    std::vector<int32_t> taken;
    try {
        RenderPDFPages(deck, {{64, 36}, {0, 36}, {30000, 30000}}, PageEncoding{},
                       [&](int32_t page, EncodedPage&&) { taken.push_back(page); });
        FAIL() << "no error";
    } catch (const ConverterError& error) {
        EXPECT_EQ(error.ExitStatus(), kExitFailure);
        EXPECT_EQ(std::string(error.what()).rfind("cannot render page 2 of the PDF '" + file + "'", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(taken, std::vector<int32_t>{0});
    // Too many pixels are refused before MuPDF tries to allocate them.
    EXPECT_THROW(deck.RenderRGBA(2, {30000, 30000}), ConverterError);
}

TEST(PDFDeck, BadFilesAreRefusedNamingTheFile)
{
    const Scratch scratch("pdf-bad");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    const std::string good = pdfmaker::MakeDeck(options);
    const std::string missing = (scratch / "missing.pdf").string();
    const std::string text = WritePDF(scratch, "text.pdf", "Slide notes, not a PDF\n");
    const std::string truncated = WritePDF(scratch, "truncated.pdf", good.substr(0, good.size() / 2));
    const std::string garbage = WritePDF(scratch, "garbage.pdf", "%PDF-1.4\n" + std::string(2000, '\x9C'));
    const std::string empty = WritePDF(scratch, "empty.pdf", pdfmaker::MakeEmptyDeck());
    pdfmaker::DeckOptions locked = options;
    locked.userPassword = "secret";
    locked.ownerPassword = "boss";
    const std::string password = WritePDF(scratch, "password.pdf", pdfmaker::MakeDeck(locked));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "cannot open the PDF '" + missing + "': No such file or directory"},
        {text, "the file '" + text + "' is not a PDF"},
        {truncated, "the PDF '" + truncated + "' is damaged: it cannot be read"},
        {garbage, "the PDF '" + garbage + "' is damaged: it cannot be read"},
        {empty, "the PDF '" + empty + "' has no pages"},
        {password, "the PDF '" + password + "' needs a password to open; remove it first"},
    };
    for (const auto& [file, message] : cases) EXPECT_EQ(OpenError(file), std::make_pair(message, kExitFailure));
}

// A file whose page tree is `kids` of the root (object 2, claiming `count`
// pages), with `nodes` after its one page (object 3, 200 x 100 points) and
// the page's content (object 4).
std::string TreePDF(const std::string& kids, const std::string& count, const std::vector<std::string>& nodes = {})
{
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
        "<< /Length 0 >>\nstream\n\nendstream",
    };
    objects.insert(objects.end(), nodes.begin(), nodes.end());
    return pdfmaker::MakePDF(objects);
}

// The pages are those the page tree holds, whatever count its root claims,
// counted without a walk for each place a shared node is at.
TEST(PDFDeck, ThePagesAreThoseOfThePageTreeNotOfTheCountItClaims)
{
    const Scratch scratch("pdf-count");
    // Forty nodes of two kids each, every one both kids of the node above:
    // 2^40 places for the one page, more than a count holds.
    std::vector<std::string> shared;
    for (int n = 5; n < 45; ++n) shared.push_back("<< /Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R " +
                                                  std::to_string(n + 1) + " 0 R] /Count 1 >>");
    shared.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    const struct {
        std::string pdf;
        int32_t pages;
    } cases[] = {
        {TreePDF("3 0 R", "2000000000"), 1},
        {TreePDF("3 0 R 3 0 R 3 0 R", "1"), 3},
        {TreePDF("5 0 R 5 0 R", "7", {"<< /Type /Pages /Kids [3 0 R 3 0 R 3 0 R] /Count 3 >>"}), 6},
        {TreePDF("5 0 R", "1", shared), INT32_MAX},
        // A cycle: the map of the tree cannot be made, and the page is found
        // as MuPDF finds it, by the counts the nodes claim.
        {TreePDF("5 0 R", "1", {"<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 1 >>"}), 1},
    };
    for (const auto& [pdf, pages] : cases) {
        int32_t told = -1;
        const auto check = [&](int32_t count) {
            told = count;
            if (count > 100) throw ConverterError("too many", kExitFailure);
        };
        try {
            const PDFDeck deck(WritePDF(scratch, "tree.pdf", pdf), check);
            EXPECT_EQ(deck.PageCount(), pages);
            for (int32_t page = 0; page < deck.PageCount(); ++page) EXPECT_EQ(deck.SizeOf(page).width, 200) << page;
        } catch (const ConverterError& error) {
            EXPECT_GT(pages, 100) << error.what();
        }
        EXPECT_EQ(told, pages);
    }
}

// A file with only an owner password opens with the empty user password, as
// in any viewer, and its pages render.
TEST(PDFDeck, OwnerPasswordAloneOpensAndRenders)
{
    const Scratch scratch("pdf-owner");
    pdfmaker::DeckOptions options;
    options.pages = 2;
    options.ownerPassword = "boss";
    options.numberedCorners = true;
    const PDFDeck deck(WritePDF(scratch, "owner.pdf", pdfmaker::MakeDeck(options)));
    ASSERT_EQ(deck.PageCount(), 2);
    const std::vector<uint8_t> rgba = deck.RenderRGBA(1, {96, 54});
    const pdfmaker::Colour corner = pdfmaker::CornerColour(2);
    EXPECT_EQ(pdfmaker::PageOfCornerColour(rgba[0], rgba[1], rgba[2]), 2);
    EXPECT_EQ(rgba[0], corner.red);
}

// Lossless pages: the PNG slides' bitmap, its first pixel the page's corner colour.
TEST(PDFDeck, LosslessPagesKeepExactColours)
{
    const Scratch scratch("pdf-lossless");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.numberedCorners = true;
    const PDFDeck deck(WritePDF(scratch, "lossless.pdf", pdfmaker::MakeDeck(options)));
    PageEncoding encoding;
    encoding.format = PageEncoding::Format::Lossless;
    std::vector<int32_t> order;
    RenderPDFPages(deck, {{96, 54}, {64, 36}, {96, 54}}, encoding, [&](int32_t page, EncodedPage&& encoded) {
        order.push_back(page);
        const LosslessSlide& slide = encoded.lossless;
        EXPECT_TRUE(encoded.jpeg.empty());
        EXPECT_EQ(slide.width, encoded.width);
        EXPECT_FALSE(slide.alpha);
        const std::vector<uint8_t> raw =
            swftest::Inflate(slide.zlibData, size_t(slide.width) * size_t(slide.height) * 4 + 1024);
        // Format 3: RGB table, then indices; format 5: ARGB pixels.
        const uint8_t* rgb = slide.format == 3 ? &raw[size_t(raw[slide.colorTableEntries * 3]) * 3] : &raw[1];
        // The very pixel the renderer drew (MuPDF truncates 0.3333 * 255 to
        // 84, so the corner's colour is compared through its page).
        const std::vector<uint8_t> drawn = deck.RenderRGBA(page, PixelSize{encoded.width, encoded.height});
        EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), std::vector<uint8_t>(drawn.begin(), drawn.begin() + 3));
        EXPECT_EQ(pdfmaker::PageOfCornerColour(rgb[0], rgb[1], rgb[2]), page + 1);
    });
    EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2}));
}

// Lines thinner than a pixel (a chart's grid, a table's rules) drawn as a
// viewer draws them: a pixel wide, and along the axes through the pixels'
// centres, one row or column dark where they were two half grey or faint.
TEST(PDFDeck, HairlinesArePixelWideOnThePixels)
{
    const Scratch scratch("pdf-hairlines");
    const PDFDeck deck(WritePDF(scratch, "hairlines.pdf",
                                handpdf::PDF({{"0.1 w 0 0 0 RG 50 270.35 m 670 270.35 l S 0 w 100.6 50 m 100.6 490 l S "
                                               "0.1 w 200 100 m 600 400 l S\n"}})));
    const std::vector<uint8_t> rgba = deck.RenderRGBA(0, PixelSize{720, 540});
    const auto level = [&](int x, int y) { return int{rgba[(size_t(y) * 720 + size_t(x)) * 4]}; };
    // Across each line: how many pixels are dark, how many grey.
    const auto across = [](const std::vector<int>& levels) {
        const auto count = [&](int from, int to) {
            return std::count_if(levels.begin(), levels.end(), [&](int v) { return v >= from && v < to; });
        };
        return std::pair{count(0, 64), count(64, 224)};
    };
    std::vector<int> column, row;
    for (int y = 260; y < 280; ++y) column.push_back(level(360, y));
    for (int x = 90; x < 110; ++x) row.push_back(level(x, 200));
    EXPECT_EQ(across(column), (std::pair<long, long>{1, 0})) << "the horizontal line";
    EXPECT_EQ(across(row), (std::pair<long, long>{1, 0})) << "the vertical line";
    // The slanted one is a pixel wide, anti-aliased: no pixel across it is white all along.
    int darkest = 255;
    for (int y = 0; y < 540; ++y) darkest = std::min(darkest, int(level(400, y)));
    EXPECT_LT(darkest, 160);
}

// A knockout group of opaque objects is drawn as an ordinary group: the same
// but at the seams between abutting objects, where MuPDF's knockout lets the
// white page through as other viewers do not. One whose objects are
// translucent still knocks out.
TEST(PDFDeck, KnockoutGroupsOfOpaqueObjectsHaveNoSeams)
{
    const Scratch scratch("pdf-knockout");
    // Two bands meeting at x = 100.5 pixels, in a knockout group at 90%; and
    // two half-translucent squares overlapping, in another.
    const std::string bands = handpdf::Form("1 0 0 rg 0 0 100.5 100 re f 0 0 1 rg 100.5 0 99.5 100 re f\n", "",
                                            "0 0 200 100");
    const std::string squares = handpdf::Form("/Half gs 1 0 0 rg 0 0 60 60 re f 0 0 1 rg 40 40 60 60 re f\n",
                                              "/ExtGState << /Half << /ca 0.5 >> >>", "0 0 200 100");
    const auto knockout = [](const std::string& form) {
        return form.substr(0, 2) + " /Group << /S /Transparency /K true >>" + form.substr(2);
    };
    const int first = handpdf::FirstExtraObject(1);
    const PDFDeck deck(WritePDF(
        scratch, "knockout.pdf",
        handpdf::PDF({{"q /Most gs 1 0 0 1 0 400 cm /B Do Q q 1 0 0 1 300 300 cm /S Do Q\n",
                       "/ExtGState << /Most << /ca 0.9 >> >> /XObject << /B " + std::to_string(first) + " 0 R /S " +
                           std::to_string(first + 1) + " 0 R >>"}},
                     {knockout(bands), knockout(squares)})));
    const std::vector<uint8_t> rgba = deck.RenderRGBA(0, PixelSize{720, 540});
    const auto at = [&](int x, int y) {
        const uint8_t* p = &rgba[(size_t(y) * 720 + size_t(x)) * 4];
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    // The seam's pixel: half red, then half blue over that, at 90% on white
    // (about 140, 83, 198); MuPDF's knockout made it nearly white (184, 162, 211).
    const std::array<int, 3> seam = at(100, 90);
    EXPECT_NEAR(seam[0], 140, 15);
    EXPECT_NEAR(seam[1], 83, 15);
    EXPECT_NEAR(seam[2], 198, 15);
    // Where the squares overlap only the blue one shows, half on white.
    const std::array<int, 3> overlap = at(350, 540 - 350);
    EXPECT_NEAR(overlap[0], 128, 4);
    EXPECT_NEAR(overlap[1], 128, 4);
    EXPECT_NEAR(overlap[2], 255, 4);
}

// Each page's render and encoding draw from the decoding budget: none starts
// while the budget is all held elsewhere, and with a budget smaller than any
// page they are served one at a time and all come out, JPEG and lossless.
TEST(PDFDeck, PagesRenderWithinTheDecodeBudget)
{
    const Scratch scratch("pdf-budget");
    pdfmaker::DeckOptions options;
    options.pages = 4;
    options.numberedCorners = true;
    const PDFDeck deck(WritePDF(scratch, "budget.pdf", pdfmaker::MakeDeck(options)));
    const std::vector<PixelSize> sizes(4, PixelSize{96, 54});
    EXPECT_EQ(PageRenderBytes({96, 54}, PageEncoding{}, kDecodeBudgetBytes), 96u * 54 * 4);

    for (const auto format : {PageEncoding::Format::JPEG, PageEncoding::Format::Lossless}) {
        PageEncoding encoding;
        encoding.format = format;
        ASSERT_GT(PageRenderBytes({96, 54}, encoding, 1000), 1000u);
        DecodeBudget budget(1000);
        DecodeBudget::Share elsewhere = budget.Take(1000);
        std::atomic<int32_t> done{0};
        std::thread rendering([&] {
            RenderPDFPages(
                deck, sizes, encoding,
                [&](int32_t page, EncodedPage&& encoded) {
                    EXPECT_EQ(encoded.width, 96);
                    EXPECT_LE(budget.Held(), 1000u) << page;
                    ++done;
                },
                3, &budget);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(done.load(), 0) << "a page rendered outside the budget";
        elsewhere.Release();
        rendering.join();
        EXPECT_EQ(done.load(), 4);
        EXPECT_EQ(budget.Held(), 0u);
    }
}

// A page whose content cannot all be read renders with what can be, and says
// what was wrong in printable text; the pages after it on the same document
// are clean (what MuPDF said is counted per page).
TEST(PDFDeck, ADamagedPageRendersAndSaysWhatWasWrong)
{
    const Scratch scratch("pdf-damaged");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.damagedPages = {2};
    const PDFDeck deck(WritePDF(scratch, "damaged.pdf", pdfmaker::MakeDeck(options)));
    EXPECT_EQ(deck.Repair(), "");
    // Drawn whole, and in bands: what MuPDF says as the page is read comes
    // with the page either way.
    for (const int32_t bandRows : {0, 16}) {
        PageEncoding encoding;
        encoding.bandRows = bandRows;
        std::vector<std::string> damage;
        RenderPDFPages(
            deck, std::vector<PixelSize>(3, PixelSize{192, 108}), encoding,
            [&](int32_t, EncodedPage&& encoded) {
                EXPECT_EQ(DecodeJPEG(encoded.jpeg).width, 192);
                damage.push_back(encoded.damage);
            },
            1);
        ASSERT_EQ(damage.size(), 3u);
        EXPECT_EQ(damage[0], "");
        EXPECT_NE(damage[1], "") << "bands of " << bandRows;
        EXPECT_EQ(damage[1].find_first_not_of(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                              "abcdefghijklmnopqrstuvwxyz{|}~"),
                  std::string::npos)
            << damage[1];
        EXPECT_EQ(damage[2], "");
    }
}

// A file whose cross-reference table points nowhere is rebuilt and opens,
// saying so; one rebuilt without its page tree is damaged.
TEST(PDFDeck, ARepairedFileOpensAndSaysSo)
{
    const Scratch scratch("pdf-repaired");
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.numberedCorners = true;
    std::string bytes = pdfmaker::MakeDeck(options);
    const size_t offset = bytes.rfind("startxref\n") + 10;
    bytes.replace(offset, bytes.find('\n', offset) - offset, "99");
    const PDFDeck deck(WritePDF(scratch, "repaired.pdf", bytes));
    EXPECT_NE(deck.Repair(), "");
    ASSERT_EQ(deck.PageCount(), 3);
    const std::vector<uint8_t> rgba = deck.RenderRGBA(2, {96, 54});
    EXPECT_EQ(pdfmaker::PageOfCornerColour(rgba[0], rgba[1], rgba[2]), 3);
    EXPECT_EQ(PDFDeck(WritePDF(scratch, "clean.pdf", pdfmaker::MakeDeck(options))).Repair(), "");
}

// Both pixel layouts give the same picture; 4:4:4 keeps a one-pixel red
// line red, which 4:2:0 smears; baseline, never progressive.
// A deck of pages with text, blocks and corner squares across band edges, a
// page turned and one cropped; with `images`, the photo on two pages and the
// shading under every page.
std::string BandedDeck(bool images)
{
    constexpr int32_t width = 64, height = 48;
    std::vector<uint8_t> photo(size_t(width) * height * 3);
    for (size_t i = 0; i < photo.size(); ++i) photo[i] = static_cast<uint8_t>((i * 7919) >> 3);
    pdfmaker::DeckOptions options;
    options.pages = 3;
    options.numberedCorners = true;
    options.rotatedPages = {2};
    options.croppedPages = {3};
    if (images) {
        options.gradientBackground = true;
        options.photoPages = {1, 3};
        options.photoWidth = width;
        options.photoHeight = height;
        const std::vector<uint8_t> jpeg = EncodeJPEG(photo.data(), width, height, width * 3, PixelLayout::RGB, {});
        options.photoJPEG.assign(jpeg.begin(), jpeg.end());
    }
    return pdfmaker::MakeDeck(options);
}

// The RGB of a lossless page's pixel (straight colours: the page is opaque).
std::array<uint8_t, 3> LosslessPixel(const LosslessSlide& slide, const std::vector<uint8_t>& raw, int32_t x, int32_t y)
{
    if (slide.format == 5) {
        const uint8_t* argb = &raw[(size_t(y) * size_t(slide.width) + size_t(x)) * 4];
        return {argb[1], argb[2], argb[3]};
    }
    const size_t stride = (size_t(slide.width) + 3) & ~size_t{3};
    const uint8_t* rgb = &raw[size_t(raw[slide.colorTableEntries * 3 + size_t(y) * stride + size_t(x)]) * 3];
    return {rgb[0], rgb[1], rgb[2]};
}

// Drawn in bands (of 16 rows, of 37 with the last one short), a page of
// vector edges has the pixels of the page drawn whole, so its JPEG and
// lossless bytes are the same; a page drawn in one band is drawn whole. Images
// and shadings MuPDF resamples over the band's area, so their pixels may be
// one level off, never more.
TEST(PDFDeck, BandedPagesEncodeTheWholePagesPixels)
{
    const Scratch scratch("pdf-bands");
    for (const bool images : {false, true}) {
        const PDFDeck deck(WritePDF(scratch, images ? "images.pdf" : "plain.pdf", BandedDeck(images)));
        const PDFDocument document = deck.OpenAnother();
        for (int32_t page = 0; page < deck.PageCount(); ++page) {
            const PixelSize size = page == 1 ? PixelSize{108, 193} : PixelSize{241, 136};
            const std::vector<uint8_t> whole = deck.RenderRGBA(page, size);
            const std::vector<uint8_t> jpeg =
                EncodeJPEG(whole.data(), size.width, size.height, size_t(size.width) * 4, PixelLayout::RGBA, {});
            const LosslessSlide lossless = EncodeLosslessRGBA(whole.data(), size.width, size.height);
            for (const int32_t rows : {16, 37, size.height}) {
                const std::string where = std::string(images ? "images" : "plain") + " page " +
                                          std::to_string(page + 1) + ", bands of " + std::to_string(rows);
                PageEncoding encoding;
                encoding.bandRows = rows;
                const EncodedPage bandedPage = deck.RenderEncoded(*document, page, size, encoding);
                const std::vector<uint8_t>& banded = bandedPage.jpeg;
                // The deck's text is in Helvetica, which it does not embed:
                // drawn in bands or whole, the page names it.
                ASSERT_FALSE(bandedPage.substitutedFonts.empty()) << where;
                EXPECT_EQ(bandedPage.substitutedFonts.front().font, "Helvetica") << where;
                encoding.format = PageEncoding::Format::Lossless;
                const LosslessSlide slide = deck.RenderEncoded(*document, page, size, encoding).lossless;
                if (!images || rows == size.height) {
                    EXPECT_EQ(banded, jpeg) << where;
                    EXPECT_EQ(slide.zlibData, lossless.zlibData) << where;
                    continue;
                }
                const std::vector<uint8_t> raw =
                    swftest::Inflate(slide.zlibData, size_t(size.width) * size_t(size.height) * 4 + 1024);
                int32_t worst = 0;
                for (int32_t y = 0; y < size.height; ++y) {
                    for (int32_t x = 0; x < size.width; ++x) {
                        const std::array<uint8_t, 3> rgb = LosslessPixel(slide, raw, x, y);
                        for (size_t c = 0; c < 3; ++c)
                            worst = std::max(worst, std::abs(rgb[c] - whole[(size_t(y) * size_t(size.width) + size_t(x)) * 4 + c]));
                    }
                }
                EXPECT_LE(worst, 1) << where;
            }
        }
    }
}

// A page holds a band's worth of the budget however tall it is: the band's
// pixels and, for JPEG, as many bytes again for its output; a lossless page
// adds its colour numbers. Bands are 16 rows at least, in sixteens.
TEST(PDFDeck, APageDrawsABandsWorthFromTheBudget)
{
    const Scratch scratch("pdf-band-budget");
    pdfmaker::DeckOptions options;
    options.pages = 2;
    const PDFDeck deck(WritePDF(scratch, "tall.pdf", pdfmaker::MakeDeck(options)));
    const PixelSize size{2400, 1350};
    const int32_t rows = BandRows(size, PageEncoding{});
    EXPECT_EQ(rows, 432);  // 4 MiB of 2400-pixel rows, in sixteens
    ASSERT_LT(rows * 2, size.height) << "the page spans several bands";
    EXPECT_EQ(BandRows({100'000, 600}, PageEncoding{}), 16);
    EXPECT_EQ(BandRows({10, 40}, PageEncoding{}), 40);
    const uint64_t band = uint64_t{2400} * uint64_t(rows) * 4;

    for (const auto format : {PageEncoding::Format::JPEG, PageEncoding::Format::Lossless}) {
        PageEncoding encoding;
        encoding.format = format;
        const bool lossless = format == PageEncoding::Format::Lossless;
        const uint64_t colourNumbers =
            lossless ? LosslessEncodingBytes(size.width, size.height,
                                             ColourNumbersFor(size.width, size.height, kDecodeBudgetBytes))
                     : 0;
        DecodeBudget budget(kDecodeBudgetBytes);
        int32_t pages = 0;
        RenderPDFPages(deck, {size, size}, encoding, [&](int32_t, EncodedPage&& encoded) {
            EXPECT_EQ(lossless ? encoded.lossless.height : encoded.height, size.height);
            ++pages;
        }, 2, &budget);
        EXPECT_EQ(pages, 2);
        EXPECT_EQ(PageRenderBytes(size, encoding, kDecodeBudgetBytes), band + colourNumbers);
        // Two workers, a page each at most.
        EXPECT_LE(budget.Peak(), 2 * (band + colourNumbers)) << (lossless ? "lossless" : "JPEG");
        EXPECT_GE(budget.Peak(), band + colourNumbers);
    }
}

TEST(JPEGEncoder, RowsGivenInPiecesMakeTheSameFile)
{
    constexpr int32_t width = 40, height = 45;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 31 + (i >> 7));
    const JPEGSettings settings;
    const std::vector<uint8_t> whole = EncodeJPEG(rgb.data(), width, height, width * 3, PixelLayout::RGB, settings);
    JPEGRowEncoder encoder(width, height, PixelLayout::RGB, settings);
    int32_t done = 0;
    for (const int32_t rows : {0, 1, 7, 20, 17}) {
        encoder.AddRows(rgb.data() + size_t(done) * width * 3, rows, width * 3);
        done += rows;
    }
    ASSERT_EQ(done, height);
    EXPECT_EQ(encoder.Finish(), whole);
    EXPECT_THROW(JPEGRowEncoder(width, 70000, PixelLayout::RGB, settings), std::runtime_error);
}

TEST(JPEGEncoder, LayoutsSamplingAndBaseline)
{
    constexpr int32_t width = 32, height = 16;
    std::vector<uint8_t> rgba(width * height * 4, 255), bgrx(width * height * 4, 255);
    for (int32_t x = 0; x < width; ++x) {
        for (int32_t y : {7}) {
            uint8_t* p = &rgba[(size_t(y) * width + size_t(x)) * 4];
            p[0] = 220, p[1] = 0, p[2] = 0;
            uint8_t* q = &bgrx[(size_t(y) * width + size_t(x)) * 4];
            q[2] = 220, q[1] = 0, q[0] = 0;
        }
    }
    JPEGSettings full;
    const Decoded fromRGBA = DecodeJPEG(EncodeJPEG(rgba.data(), width, height, width * 4, PixelLayout::RGBA, full));
    const Decoded fromBGRX = DecodeJPEG(EncodeJPEG(bgrx.data(), width, height, width * 4, PixelLayout::BGRX, full));
    EXPECT_EQ(fromRGBA.rgb, fromBGRX.rgb);
    EXPECT_FALSE(fromRGBA.progressive);
    EXPECT_EQ(fromRGBA.lumaSampling, 1);
    const uint8_t* line = fromRGBA.At(16, 7);
    EXPECT_GT(line[0], 180);
    EXPECT_LT(line[1], 60);

    JPEGSettings half;
    half.sampling = ChromaSampling::Half;
    const Decoded subsampled =
        DecodeJPEG(EncodeJPEG(rgba.data(), width, height, width * 4, PixelLayout::RGBA, half));
    EXPECT_EQ(subsampled.lumaSampling, 2);
    EXPECT_GT(subsampled.At(16, 7)[1], line[1] + 20);  // the red line turns pink

    EXPECT_THROW(EncodeJPEG(rgba.data(), 0, height, width * 4, PixelLayout::RGBA, full), std::runtime_error);
}

}  // namespace

#endif  // CORVANEX_PDF
