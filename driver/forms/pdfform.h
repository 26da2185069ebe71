#pragma once

// A PDF presentation turned into a slide show: every page a slide, in order,
// rendered at the size it is drawn at.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/compose/showcomposer.h"
#include "driver/compose/slidelayout.h"
#include "driver/core/slidesize.h"
#include "driver/encode/narration.h"
#include "driver/pdf/rasterpages.h"

constexpr int32_t kDefaultDPI = 96;

struct PDFShowRequest {
    std::string pdfFile;
    std::string outputFile;
    std::string forwardFile;
    std::string backwardFile;
    // Empty: the PDF's name with ".stp" for its extension, when that exists;
    // else the show stops on every page.
    std::string stopsFile;
    // The slide area: `size`, else this file when named, else the first
    // page's size at `dpi`.
    std::optional<SlideSize> size;
    std::string configFile;
    int32_t dpi = kDefaultDPI;
    PageEncoding encoding;
    // Every page as a picture (at the size it is shown, as `encoding` says),
    // instead of as vectors with pictures only where vectors fall short.
    bool raster = false;
    // Vector pages: pictures are stored at most this many pixels an inch of
    // the page they take (0: as many as they have).
    int32_t maxImageDPI = 0;
    // Pages drawn as a viewer shows them (annotations' appearances and link
    // borders too), or their content alone; links stay buttons either way.
    PageParts parts = PageParts::Shown;
    bool keys = false;
    // The PDF's page transitions (/Trans) as frames between pages, and its
    // pages' durations (/Dur) as pages that go on by themselves.
    bool transitions = true;
    bool timings = true;
    // Narration: page n speaks `narrationPrefix`<n>, found as for slide
    // images (FindNarrationFiles). Empty: none.
    std::string narrationPrefix;
    NarrationSettings narration;
    // Called after each page is composed, in order, with the pages composed
    // so far, the deck's page count and the bytes of their images.
    std::function<void(int32_t pages, int32_t total, uint64_t bytes)> onPageComposed;
    // Told, one line each, of damage the show was made despite: a file that
    // had to be repaired, a page drawn without the parts it could not read.
    std::function<void(const std::string& message)> warn;
    // Told once in the vector form, before the movie is written: how many
    // pages are vectors, partly pictures and pictures; and in both forms,
    // when there was any, what the PDF's presentation carried into the show
    // (transitions, timed pages, links).
    std::function<void(const std::string& line)> tell;
};

// "Talk.PDF" -> "Talk.stp", beside it.
std::string PDFStopFileName(const std::string& pdfFile);

// A page of `points` at `dpi`, in whole pixels (at least one a side).
SlideSize PageSizeAt(PageSize points, int32_t dpi);

// A page drawn as a picture: its pixels and where they lie. The page's own
// rectangle in the slide area (its aspect kept, centred, as a vector page
// fills it) on whole stage pixels, so that the picture is shown at exactly one
// pixel a stage pixel, 20 twips each; a page of the area's aspect fills it
// edge to edge.
struct PagePicture {
    PixelSize pixels;
    SlidePlacement at;  // twips
};
PagePicture PlacePicture(PageSize points, SlideSize area);

// The narrowest slide area whose buttons stay on the stage: they lie 10 to
// 40 pixels either side of its centre, in the band below it.
constexpr int32_t kMinButtonAreaWidth = 80;

// Opens the PDF, checks that its pages fit in one movie, renders them on all
// cores and writes the show. Throws ConverterError (status 1 for the files,
// 2 for a slide area the options make impossible: too narrow for the
// buttons, or pages of more pixels than one may have); the output file is
// then left as it was.
SlideShowResult GeneratePDFMovie(const PDFShowRequest& request);
