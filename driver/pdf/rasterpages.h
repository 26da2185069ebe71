#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/fontsubstitution.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/pdf/pageparts.h"

// A PDF presentation as a series of page pictures: the file checked when it
// is opened, each page's size as a viewer shows it, and pages rendered with
// MuPDF (on all cores for a whole deck) and encoded for the movie. Problems
// with the file are ConverterErrors naming it (and the page, 1-based), status 1.

namespace mupdf {
class Document;
}

// A document of the deck's file in a MuPDF context of its own; its type stays
// in driver/pdf/, so it is dropped through this.
struct PDFDocumentDrop {
    void operator()(mupdf::Document* document) const noexcept;
};
using PDFDocument = std::unique_ptr<mupdf::Document, PDFDocumentDrop>;

// Points (1/72 inch), after the crop box and the page's rotation.
struct PageSize {
    double width = 0;
    double height = 0;
};

struct PixelSize {
    int32_t width = 0;
    int32_t height = 0;
};

// The most pixels a page is rendered with. Pages for the movie are drawn a
// band at a time; PDFDeck::RenderRGBA still draws one whole, 4 bytes a pixel.
constexpr int64_t kMaxPagePixels = int64_t{1} << 26;

// About the bytes of one band of a rendered page at 4 bytes a pixel: 256 rows
// of a 4000-pixel page, so that a page of any height holds a few MiB.
constexpr int64_t kBandBytes = int64_t{4} << 20;

struct PageEncoding {
    enum class Format {
        JPEG,
        Lossless,  // the page's RGBA through the PNG slides' lossless bitmap encoder
    };
    Format format = Format::JPEG;
    JPEGSettings jpeg;  // quality 90, 4:4:4, no optimised tables
    // The rows drawn at a time; 0: as many as kBandBytes hold (a multiple
    // of 16, at least 16).
    int32_t bandRows = 0;
};

// The rows of each band a page of this size is drawn in (all of them for a
// page no taller than one).
int32_t BandRows(PixelSize size, const PageEncoding& encoding);

struct EncodedPage {
    int32_t width = 0;  // pixels
    int32_t height = 0;
    std::vector<uint8_t> jpeg;  // Format::JPEG: a whole JPEG file
    LosslessSlide lossless;     // Format::Lossless
    // Empty, or what was wrong with a page that rendered all the same: parts
    // of its content could not be read and are missing from the picture.
    std::string damage;
    // Fonts its text is drawn in that the PDF does not give.
    std::vector<FontSubstitution> substitutedFonts;
};

class PDFDeck {
public:
    // `checkPages`, when given, is told the page count as soon as the file is
    // open, before any page is read, and may refuse the deck by throwing.
    // Every page is drawn with `parts`, by the deck's documents and those
    // it opens for other threads.
    explicit PDFDeck(std::string fileName, const std::function<void(int32_t pages)>& checkPages = {},
                     PageParts parts = PageParts::Shown);
    ~PDFDeck();
    PDFDeck(const PDFDeck&) = delete;
    PDFDeck& operator=(const PDFDeck&) = delete;

    const std::string& FileName() const { return fileName; }
    int32_t PageCount() const { return static_cast<int32_t>(pageSizes.size()); }
    // `page` counts from 0, like the other page arguments here.
    PageSize SizeOf(int32_t page) const { return pageSizes.at(static_cast<size_t>(page)); }

    // One page at exactly `size` pixels (the page stretched to it, so the
    // caller keeps the aspect), antialiased, on white: RGBA rows, width * 4
    // bytes apart, every alpha 255. Through the deck's own document: one
    // thread at a time.
    std::vector<uint8_t> RenderRGBA(int32_t page, PixelSize size) const;

    // The same, encoded as `encoding` asks, through a document of the caller's
    // (a document and its context serve one thread at a time).
    // Its picture and the encoding's buffers are drawn from `budget` (null:
    // the shared decoding budget), so that the pages rendered at once hold a
    // bounded amount whatever the number of threads. With `spill`, a lossless
    // page's compressed bytes go there in pieces as they are made.
    EncodedPage RenderEncoded(mupdf::Document& document, int32_t page, PixelSize size,
                              const PageEncoding& encoding, DecodeBudget* budget = nullptr,
                              SpillFile* spill = nullptr) const;

    // A document of the file of its own, for another thread.
    PDFDocument OpenAnother() const;

    // Empty, or why the file had to be repaired to be opened (its
    // cross-reference table was rebuilt): pages may then be missing or incomplete.
    const std::string& Repair() const { return repair; }

private:
    std::string fileName;
    PDFDocument document;
    std::vector<PageSize> pageSizes;
    std::string repair;
};

// The number of threads a deck renders on: one a core, at least one.
int32_t RenderThreads();

// Renders page i at sizes[i] for every page, `threads` at a time (0: one a
// core) each with its own document, and hands each page to `take` on the
// calling thread in page order. At most threads + 1 pages are held at once.
// The first error in page order (a page that fails, or `take` throwing) is
// thrown once the threads have stopped; later pages are not handed over.
void RenderPDFPages(const PDFDeck& deck, const std::vector<PixelSize>& sizes, const PageEncoding& encoding,
                    const std::function<void(int32_t page, EncodedPage&&)>& take, int32_t threads = 0,
                    DecodeBudget* budget = nullptr, SpillFile* spill = nullptr);

// The memory one page's render and encoding hold at once, at most, as drawn
// from the decoding budget: a band's pixels and for JPEG about as much again
// of its compressed output, or for lossless pages the encoder's colour numbers.
uint64_t PageRenderBytes(PixelSize size, const PageEncoding& encoding, uint64_t budgetBytes);
