#include "driver/pdf/rasterpages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#include "base/fassert.h"
#include "driver/core/decodebudget.h"
#include "driver/core/orderedpool.h"
#include "driver/pdf/mupdf.h"
#include "driver/core/error.h"

namespace {

using mupdf::Printable;

// A PDF has "%PDF-" within its first 1024 bytes (readers allow for junk
// before it). Checked here so that a file of another kind is called that, not
// a damaged PDF.
void CheckIsPDF(const std::string& name)
{
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file)
        throw ConverterError("cannot open the PDF " + Quoted(name) + ": " + std::strerror(errno), kExitFailure);
    char head[1024];
    const size_t length = std::fread(head, 1, sizeof head, file);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        throw ConverterError("cannot read the PDF " + Quoted(name) + ": " + std::strerror(error), kExitFailure);
    }
    static constexpr std::string_view kMagic = "%PDF-";
    if (std::string_view(head, length).find(kMagic) == std::string_view::npos)
        throw ConverterError("the file " + Quoted(name) + " is not a PDF", kExitFailure);
}

ConverterError Damaged(const std::string& name)
{
    return ConverterError("the PDF " + Quoted(name) + " is damaged: it cannot be read", kExitFailure);
}

PDFDocument LoadDocument(std::shared_ptr<const mupdf::Root> root, const std::string& name)
{
    PDFDocument document;
    try {
        document = PDFDocument(std::make_unique<mupdf::Document>(std::move(root), name).release());
        // A document with only an owner password opens with the empty user
        // password, as in any viewer; one that stays locked needs the user's.
        if (document->NeedsPassword())
            throw ConverterError("the PDF " + Quoted(name) + " needs a password to open; remove it first",
                                 kExitFailure);
    } catch (const mupdf::Failure&) {
        throw Damaged(name);
    }
    return document;
}

ConverterError PageError(const std::string& name, int32_t page, const std::string& problem)
{
    return ConverterError("cannot render page " + std::to_string(page + 1) + " of the PDF " + Quoted(name) +
                              ": " + problem,
                          kExitFailure);
}

void CheckPixels(const std::string& name, int32_t page, PixelSize size)
{
    if (size.width <= 0 || size.height <= 0) throw PageError(name, page, "no pixels to render into");
    if (int64_t{size.width} * size.height > kMaxPagePixels)
        throw PageError(name, page,
                        std::to_string(size.width) + " x " + std::to_string(size.height) +
                            " pixels are more than a page may have (" + std::to_string(kMaxPagePixels) + ")");
}

// Throws mupdf::Failure.
mupdf::Picture WholePage(mupdf::Document& document, const std::string& name, int32_t page, PixelSize size, bool alpha)
{
    mupdf::Picture picture = document.Render(page, size.width, size.height, alpha);
    if (picture.width != size.width || picture.height != size.height)
        throw PageError(name, page, "MuPDF drew it at another size");
    return picture;
}

mupdf::Picture RenderPage(mupdf::Document& document, const std::string& name, int32_t page, PixelSize size,
                          bool alpha)
{
    CheckPixels(name, page, size);
    try {
        return WholePage(document, name, page, size, alpha);
    } catch (const mupdf::Failure& failure) {
        throw PageError(name, page, Printable(failure.what()));
    }
}

// The page's rows, top down, to `take` in bands of `bandRows` (a page no
// taller is drawn whole, as it always was); gives the fonts drawn in that
// the PDF does not give. Throws mupdf::Failure.
std::vector<FontSubstitution> RenderRows(mupdf::Document& document, const std::string& name, int32_t page,
                                                PixelSize size, bool alpha, int32_t bandRows,
                                                const std::function<void(const mupdf::Picture& rows)>& take)
{
    if (size.height <= bandRows) {
        mupdf::Picture picture = WholePage(document, name, page, size, alpha);
        take(picture);
        return std::move(picture.substitutedFonts);
    }
    return document.RenderBands(page, size.width, size.height, alpha, bandRows,
                                [&](const mupdf::Picture& band, int32_t) { take(band); });
}

// RGBA rows back to back (the pixmap's rows may be padded).
std::vector<uint8_t> PackedRGBA(const mupdf::Picture& picture)
{
    const size_t row = static_cast<size_t>(picture.width) * 4;
    std::vector<uint8_t> rgba(row * static_cast<size_t>(picture.height));
    for (int32_t y = 0; y < picture.height; ++y)
        std::memcpy(rgba.data() + static_cast<size_t>(y) * row, picture.pixels + static_cast<size_t>(y) * picture.stride,
                    row);
    return rgba;
}

}  // namespace

PDFDeck::PDFDeck(std::string name, const std::function<void(int32_t pages)>& checkPages, PageParts parts)
    : fileName(std::move(name))
{
    CheckIsPDF(fileName);
    std::shared_ptr<const mupdf::Root> root;
    try {
        root = std::make_shared<const mupdf::Root>();
    } catch (const mupdf::Failure& failure) {
        throw ConverterError("cannot read the PDF " + Quoted(fileName) + ": " + failure.what(), kExitFailure);
    }
    document = LoadDocument(std::move(root), fileName);
    document->DrawParts(parts);
    int32_t pages = 0;
    try {
        pages = document->PageCount();
    } catch (const mupdf::Failure&) {
        throw Damaged(fileName);
    }
    // A file rebuilt from what could be found in it may have lost its page
    // tree: then nothing of it can be shown.
    const bool repaired = document->WasRepaired();
    if (pages <= 0 && repaired) throw Damaged(fileName);
    if (pages <= 0) throw ConverterError("the PDF " + Quoted(fileName) + " has no pages", kExitFailure);
    if (repaired) repair = Printable(document->Said().First());
    // A count past what the caller takes is refused before any page is read;
    // the sizes grow with the pages read, never reserved from a count.
    if (checkPages) checkPages(pages);
    for (int32_t page = 0; page < pages; ++page) {
        mupdf::Bounds bounds;
        try {
            bounds = document->PageBounds(page);
        } catch (const mupdf::Failure& failure) {
            throw PageError(fileName, page, "the page cannot be read (" + Printable(failure.what()) + ")");
        }
        const PageSize shown{bounds.Width(), bounds.Height()};
        if (!(shown.width >= 1 && shown.height >= 1))
            throw ConverterError("page " + std::to_string(page + 1) + " of the PDF " + Quoted(fileName) +
                                     " has no area to show",
                                 kExitFailure);
        pageSizes.push_back(shown);
    }
}

PDFDeck::~PDFDeck() = default;

void PDFDocumentDrop::operator()(mupdf::Document* document) const noexcept
{
    std::default_delete<mupdf::Document>()(document);
}

PDFDocument PDFDeck::OpenAnother() const
{
    try {
        return PDFDocument(document->OpenAgain().release());
    } catch (const mupdf::Failure&) {
        throw Damaged(fileName);
    }
}

std::vector<uint8_t> PDFDeck::RenderRGBA(int32_t page, PixelSize size) const
{
    return PackedRGBA(RenderPage(*document, fileName, page, size, true));
}

int32_t BandRows(PixelSize size, const PageEncoding& encoding)
{
    const int32_t height = std::max(size.height, 1);
    if (encoding.bandRows > 0) return std::min(encoding.bandRows, height);
    const int64_t rows = kBandBytes / (int64_t{std::max(size.width, 1)} * 4) / 16 * 16;
    return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(rows, 16), height));
}

uint64_t PageRenderBytes(PixelSize size, const PageEncoding& encoding, uint64_t budgetBytes)
{
    const uint64_t bandPixels = uint64_t(std::max(size.width, 0)) * uint64_t(BandRows(size, encoding));
    if (size.height <= 0) return 0;
    if (encoding.format == PageEncoding::Format::JPEG) {
        // The band's RGB pixmap, and the JPEG made so far: a byte a pixel of
        // one band covers a page's at every quality the settings allow but
        // the highest, nearly (pages come to a fraction of a byte a pixel).
        return bandPixels * 3 + bandPixels;
    }
    // The band's RGBA pixmap, and the lossless encoder's own.
    return bandPixels * 4 +
           LosslessEncodingBytes(size.width, size.height, ColourNumbersFor(size.width, size.height, budgetBytes));
}

EncodedPage PDFDeck::RenderEncoded(mupdf::Document& source, int32_t page, PixelSize size,
                                   const PageEncoding& encoding, DecodeBudget* given, SpillFile* spill) const
{
    CheckPixels(fileName, page, size);
    const bool lossless = encoding.format == PageEncoding::Format::Lossless;
    DecodeBudget& budget = given ? *given : SharedDecodeBudget();
    // A page too large for the budget is rendered alone.
    const DecodeBudget::Share share = budget.Take(PageRenderBytes(size, encoding, budget.Capacity()));
    const int32_t bandRows = BandRows(size, encoding);
    source.ClearMessages();  // what opening the document said is not this page's
    EncodedPage encoded;
    encoded.width = size.width;
    encoded.height = size.height;
    // Each band goes to the encoder as it is drawn: the page's picture is
    // never held whole.
    std::vector<FontSubstitution> substituted;
    try {
        if (lossless) {
            LosslessRowEncoder encoder(size.width, size.height, kLosslessSlideLevel,
                                       ColourNumbersFor(size.width, size.height, budget.Capacity()), spill,
                                       "the compressed page " + std::to_string(page + 1) + " of the PDF " +
                                           Quoted(fileName));
            substituted = RenderRows(source, fileName, page, size, true, bandRows, [&](const mupdf::Picture& rows) {
                for (int32_t y = 0; y < rows.height; ++y) encoder.AddRow(rows.pixels + size_t(y) * rows.stride, 4);
            });
            encoded.lossless = encoder.Finish();
        } else {
            JPEGRowEncoder encoder(size.width, size.height, PixelLayout::RGB, encoding.jpeg);
            substituted =
                RenderRows(source, fileName, page, size, false, bandRows,
                           [&](const mupdf::Picture& rows) { encoder.AddRows(rows.pixels, rows.height, rows.stride); });
            encoded.jpeg = encoder.Finish();
        }
    } catch (const mupdf::Failure& failure) {
        throw PageError(fileName, page, Printable(failure.what()));
    } catch (const ConverterError&) {
        throw;
    } catch (const std::runtime_error& failure) {
        // libjpeg's, for want of memory.
        throw PageError(fileName, page, failure.what());
    }
    if (source.Said().Count() > 0) encoded.damage = Printable(source.Said().First());
    for (const FontSubstitution& font : substituted)
        encoded.substitutedFonts.push_back(
            FontSubstitution{Printable(font.font), Printable(font.substitute), font.embedded, Printable(font.failure),
                             font.asPicture});
    return encoded;
}

int32_t RenderThreads()
{
    return static_cast<int32_t>(DefaultWorkerCount());
}

void RenderPDFPages(const PDFDeck& deck, const std::vector<PixelSize>& sizes, const PageEncoding& encoding,
                    const std::function<void(int32_t page, EncodedPage&&)>& take, int32_t threads,
                    DecodeBudget* budget, SpillFile* spill)
{
    F_ASSERT(sizes.size() == static_cast<size_t>(deck.PageCount()), "sizes.size() == deck.PageCount()");
    if (threads <= 0) threads = RenderThreads();

    // One document a thread, each in a context of its own cloned from the
    // deck's, opened by the first page a thread takes up when none is free.
    std::mutex documentsMutex;
    std::vector<PDFDocument> idle;
    auto make = [&](int32_t page) {
        PDFDocument document;
        {
            std::lock_guard lock(documentsMutex);
            if (!idle.empty()) {
                document = std::move(idle.back());
                idle.pop_back();
            }
        }
        if (!document) document = deck.OpenAnother();
        EncodedPage encoded = deck.RenderEncoded(*document, page, sizes[static_cast<size_t>(page)], encoding, budget, spill);
        std::lock_guard lock(documentsMutex);
        idle.push_back(std::move(document));
        return encoded;
    };
    RunOrdered(
        static_cast<size_t>(deck.PageCount()), [&](size_t page) { return make(static_cast<int32_t>(page)); },
        [&](size_t page, EncodedPage&& encoded) { take(static_cast<int32_t>(page), std::move(encoded)); },
        static_cast<unsigned>(threads));
}
