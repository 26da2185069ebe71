#include "driver/pdfdeck.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include "driver/orderedpool.h"
#include "driver/slideinput.h"
#include "base/fassert.h"

namespace {

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

// poppler reports every oddity of a file on standard error, even those it
// repairs; the converter says what matters itself.
void IgnorePopplerMessage(const std::string&, void*) {}

void SilencePoppler()
{
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(IgnorePopplerMessage, nullptr); });
}

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

std::unique_ptr<poppler::document> LoadDocument(const std::string& name)
{
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(name));
    if (!document)
        throw ConverterError("the PDF " + Quoted(name) + " is damaged: it cannot be read", kExitFailure);
    // A document with only an owner password opens with the empty user
    // password, as in any viewer; one that stays locked needs the user's.
    if (document->is_locked())
        throw ConverterError("the PDF " + Quoted(name) + " needs a password to open; remove it first", kExitFailure);
    return document;
}

ConverterError PageError(const std::string& name, int32_t page, const std::string& problem)
{
    return ConverterError("cannot render page " + std::to_string(page + 1) + " of the PDF " + Quoted(name) +
                              ": " + problem,
                          kExitFailure);
}

std::unique_ptr<poppler::page> OpenPage(const poppler::document& document, const std::string& name, int32_t page)
{
    std::unique_ptr<poppler::page> opened(document.create_page(page));
    if (!opened) throw PageError(name, page, "the page cannot be read");
    return opened;
}

// The crop box (what a viewer shows), turned by the page's rotation.
PageSize ShownSize(const poppler::page& page)
{
    const poppler::rectf box = page.page_rect(poppler::crop_box);
    const poppler::page::orientation_enum orientation = page.orientation();
    const bool turned = orientation == poppler::page::landscape || orientation == poppler::page::seascape;
    return turned ? PageSize{box.height(), box.width()} : PageSize{box.width(), box.height()};
}

// Premultiplied 0xAARRGGBB words; the paper is opaque white, so every alpha is
// 255 and the colours are plain.
poppler::image RenderPage(const poppler::document& document, const std::string& name, int32_t page,
                          PageSize shown, PixelSize size)
{
    if (size.width <= 0 || size.height <= 0)
        throw PageError(name, page, "no pixels to render into");
    if (int64_t{size.width} * size.height > kMaxPagePixels)
        throw PageError(name, page,
                        std::to_string(size.width) + " x " + std::to_string(size.height) +
                            " pixels are more than a page may have (" + std::to_string(kMaxPagePixels) + ")");
    const std::unique_ptr<poppler::page> opened = OpenPage(document, name, page);
    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing | poppler::page_renderer::text_antialiasing);
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(poppler::image::format_argb32);
    // The resolutions that map the shown page onto exactly `size` pixels; the
    // slice cuts off a column or row that rounding might add.
    const double xResolution = size.width * 72.0 / shown.width;
    const double yResolution = size.height * 72.0 / shown.height;
    poppler::image image =
        renderer.render_page(opened.get(), xResolution, yResolution, 0, 0, size.width, size.height);
    if (!image.is_valid() || image.width() != size.width || image.height() != size.height ||
        image.format() != poppler::image::format_argb32)
        throw PageError(name, page, "poppler could not draw it");
    return image;
}

// poppler allocates two page-sized buffers a page (its bitmap and the image
// copied from it) and frees them again. glibc serves blocks of that size with
// mmap and returns them at once, so every page faults in fresh zeroed memory:
// that tripled the CPU time of a deck. Blocks up to 32 MiB (a 4K page) now come
// from the heap and are reused, and the heap keeps up to 64 MiB free before
// giving memory back. Process-wide, so set once, before the first page.
void ReusePageBuffers()
{
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    });
#endif
}

// RGBA rows back to back from poppler's 0xAARRGGBB words (opaque: the paper is).
std::vector<uint8_t> StraightRGBA(const poppler::image& image)
{
    const size_t width = static_cast<size_t>(image.width());
    std::vector<uint8_t> rgba(width * static_cast<size_t>(image.height()) * 4);
    for (int y = 0; y < image.height(); ++y) {
        const auto* words = reinterpret_cast<const uint32_t*>(image.const_data() + y * image.bytes_per_row());
        uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
        for (size_t x = 0; x < width; ++x, out += 4) {
            const uint32_t word = words[x];
            out[0] = static_cast<uint8_t>(word >> 16);
            out[1] = static_cast<uint8_t>(word >> 8);
            out[2] = static_cast<uint8_t>(word);
            out[3] = 255;
        }
    }
    return rgba;
}

constexpr PixelLayout kARGB32Layout =
    std::endian::native == std::endian::little ? PixelLayout::BGRX : PixelLayout::XRGB;

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// poppler finds substitutes for fonts a PDF does not embed through fontconfig,
// whose configuration is loaded once and never freed; that is not a leak of
// ours. Every program that renders pages links this file.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Without this, every run that used the suppression lists it on standard
// error at exit, where the converter's messages are checked.
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

PDFDeck::PDFDeck(std::string name) : fileName(std::move(name))
{
    SilencePoppler();
    CheckIsPDF(fileName);
    document = LoadDocument(fileName);
    const int pages = document->pages();
    if (pages <= 0) throw ConverterError("the PDF " + Quoted(fileName) + " has no pages", kExitFailure);
    pageSizes.reserve(static_cast<size_t>(pages));
    for (int32_t page = 0; page < pages; ++page) {
        const PageSize shown = ShownSize(*OpenPage(*document, fileName, page));
        if (!(shown.width >= 1 && shown.height >= 1))
            throw ConverterError("page " + std::to_string(page + 1) + " of the PDF " + Quoted(fileName) +
                                     " has no area to show",
                                 kExitFailure);
        pageSizes.push_back(shown);
    }
}

PDFDeck::~PDFDeck() = default;

std::unique_ptr<poppler::document> PDFDeck::OpenAnother() const
{
    return LoadDocument(fileName);
}

std::vector<uint8_t> PDFDeck::RenderRGBA(int32_t page, PixelSize size) const
{
    ReusePageBuffers();
    return StraightRGBA(RenderPage(*document, fileName, page, SizeOf(page), size));
}

EncodedPage PDFDeck::RenderEncoded(const poppler::document& source, int32_t page, PixelSize size,
                                   const PageEncoding& encoding) const
{
    const poppler::image image = RenderPage(source, fileName, page, SizeOf(page), size);
    EncodedPage encoded;
    encoded.width = size.width;
    encoded.height = size.height;
    if (encoding.format == PageEncoding::Format::Lossless) {
        encoded.lossless = EncodeLosslessRGBA(StraightRGBA(image).data(), size.width, size.height);
        return encoded;
    }
    try {
        encoded.jpeg = EncodeJPEG(reinterpret_cast<const uint8_t*>(image.const_data()), size.width, size.height,
                                  static_cast<size_t>(image.bytes_per_row()), kARGB32Layout, encoding.jpeg);
    } catch (const std::runtime_error& failure) {
        throw PageError(fileName, page, failure.what());
    }
    return encoded;
}

int32_t RenderThreads()
{
    return static_cast<int32_t>(DefaultWorkerCount());
}

void RenderPDFPages(const PDFDeck& deck, const std::vector<PixelSize>& sizes, const PageEncoding& encoding,
                    const std::function<void(int32_t page, EncodedPage&&)>& take, int32_t threads)
{
    F_ASSERT(sizes.size() == static_cast<size_t>(deck.PageCount()), "sizes.size() == deck.PageCount()");
    if (threads <= 0) threads = RenderThreads();
    ReusePageBuffers();

    // One document a thread, opened by the first page a thread takes up when
    // none is free: poppler draws one page at a time through a document.
    std::mutex documentsMutex;
    std::vector<std::unique_ptr<poppler::document>> idle;
    auto make = [&](int32_t page) {
        std::unique_ptr<poppler::document> document;
        {
            std::lock_guard lock(documentsMutex);
            if (!idle.empty()) {
                document = std::move(idle.back());
                idle.pop_back();
            }
        }
        if (!document) document = deck.OpenAnother();
        EncodedPage encoded = deck.RenderEncoded(*document, page, sizes[static_cast<size_t>(page)], encoding);
        std::lock_guard lock(documentsMutex);
        idle.push_back(std::move(document));
        return encoded;
    };
    RunOrdered(
        static_cast<size_t>(deck.PageCount()), [&](size_t page) { return make(static_cast<int32_t>(page)); },
        [&](size_t page, EncodedPage&& encoded) { take(static_cast<int32_t>(page), std::move(encoded)); },
        static_cast<unsigned>(threads));
}
