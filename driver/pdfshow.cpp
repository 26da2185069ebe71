#include "driver/pdfshow.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "driver/inputfile.h"

namespace {

// A page's shape as FitSlide takes it: whole numbers, fine enough that the
// fit of a page and of its rendered bitmap agree.
SlideSize PageShape(PageSize points)
{
    const auto side = [](double length) {
        return static_cast<int32_t>(std::clamp(std::lround(length * 1000), 1L, 2'000'000'000L));
    };
    return SlideSize{side(points.width), side(points.height)};
}

SlideSize SlideArea(const PDFShowRequest& request, const PDFDeck& deck)
{
    if (request.size) return *request.size;
    if (!request.configFile.empty()) return ReadConfig(request.configFile);
    const SlideSize area = PageSizeAt(deck.SizeOf(0), request.dpi);
    if (area.width > kMaxSlideSide || area.height > kMaxSlideSide) {
        throw ConverterError("the first page of the PDF '" + request.pdfFile + "' at " + std::to_string(request.dpi) +
                                 " dpi is " + std::to_string(area.width) + " x " + std::to_string(area.height) +
                                 " pixels, more than " + std::to_string(kMaxSlideSide) +
                                 " a side: give a lower --dpi or a --size",
                             kExitUsage);
    }
    return area;
}

// The characters the first `pages` pages need with these stop points
// (or, for an automatic table, that table for so many pages).
uint64_t IDsOfFirstPages(int32_t pages, const std::optional<std::vector<int32_t>>& stopTable,
                         const std::vector<int32_t>& mattesBefore)
{
    return CharacterIDsNeeded(pages, stopTable ? *stopTable : StopOnEveryPage(pages),
                              mattesBefore[static_cast<size_t>(pages)]);
}

// Refused before anything is rendered, with the largest count that fits.
void CheckPagesFit(const PDFShowRequest& request, int32_t pages, const std::optional<std::vector<int32_t>>& stopTable,
                   const std::vector<int32_t>& mattesBefore)
{
    if (pages <= kMaxSlideCount && IDsOfFirstPages(pages, stopTable, mattesBefore) <= kMaxCharacterIDs) return;
    int32_t low = 0;  // fits
    int32_t high = std::min(pages, kMaxSlideCount) + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (IDsOfFirstPages(middle, stopTable, mattesBefore) <= kMaxCharacterIDs ? low : high) = middle;
    }
    throw ConverterError("the PDF '" + request.pdfFile + "' has " + std::to_string(pages) +
                             " pages; at most " + std::to_string(low) +
                             " fit in one movie with these stop points and slide area",
                         kExitFailure);
}

}  // namespace

std::string PDFStopFileName(const std::string& pdfFile)
{
    return std::filesystem::path(pdfFile).replace_extension(".stp").string();
}

std::vector<int32_t> StopOnEveryPage(int32_t pages)
{
    std::vector<int32_t> table{0};
    for (int32_t page = 0; page < pages; ++page) table.push_back(page);
    return table;
}

SlideSize PageSizeAt(PageSize points, int32_t dpi)
{
    const auto pixels = [dpi](double length) {
        return static_cast<int32_t>(std::clamp(std::lround(length * dpi / 72), 1L, 1'000'000'000L));
    };
    return SlideSize{pixels(points.width), pixels(points.height)};
}

PixelSize FittedPageSize(PageSize points, SlideSize area)
{
    const SlidePlacement at = FitSlide(PageShape(points), area);
    // Drawn from one pixel in: the rectangle's sides are one pixel longer
    // than the coordinates' difference.
    const auto pixels = [](int32_t from, int32_t to) { return std::max((to - from + 20 + 10) / 20, 1); };
    return PixelSize{pixels(at.xmin, at.xmax), pixels(at.ymin, at.ymax)};
}

SlideShowResult GeneratePDFMovie(const PDFShowRequest& request)
{
    // The engine opens the PDF by name and would wait on a FIFO for ever.
    CheckInputFile(request.pdfFile, "PDF");
    const PDFDeck deck(request.pdfFile);
    const int32_t pages = deck.PageCount();

    std::optional<std::vector<int32_t>> stopTable;
    if (!request.stopsFile.empty()) {
        stopTable = ReadStopPoints(request.stopsFile);
    } else if (std::error_code error; std::filesystem::exists(PDFStopFileName(request.pdfFile), error)) {
        stopTable = ReadStopPoints(PDFStopFileName(request.pdfFile));
    }

    const SlideSize area = SlideArea(request, deck);
    std::vector<PixelSize> sizes;
    std::vector<int32_t> mattesBefore{0};  // mattes under the first n pages
    sizes.reserve(static_cast<size_t>(pages));
    for (int32_t page = 0; page < pages; ++page) {
        sizes.push_back(FittedPageSize(deck.SizeOf(page), area));
        const bool covers = FitSlide(SlideSize{sizes.back().width, sizes.back().height}, area).coversArea;
        mattesBefore.push_back(mattesBefore.back() + (covers ? 0 : 1));
    }
    CheckPagesFit(request, pages, stopTable, mattesBefore);

    MadeShowRequest made;
    made.outputFile = request.outputFile;
    made.forwardFile = request.forwardFile;
    made.backwardFile = request.backwardFile;
    made.stopTable = stopTable ? std::move(*stopTable) : StopOnEveryPage(pages);
    made.area = area;
    made.slideCount = pages;
    made.keys = request.keys;
    made.describeSlide = [&request](int32_t n) { return "page " + std::to_string(n) + " of the PDF '" + request.pdfFile + "'"; };
    MadeShowComposer composer(std::move(made));
    const bool lossless = request.encoding.format == PageEncoding::Format::Lossless;
    RenderPDFPages(deck, sizes, request.encoding, [&](int32_t, EncodedPage&& page) {
        MadeSlide slide;
        slide.size = SlideSize{page.width, page.height};
        if (lossless) {
            slide.image = std::move(page.lossless);
        } else {
            slide.image = std::move(page.jpeg);
        }
        composer.Add(std::move(slide));
    });
    return composer.Write();
}
