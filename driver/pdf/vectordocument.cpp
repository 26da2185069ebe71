#include "driver/pdf/vectordocument.h"

#include <algorithm>
#include <stdexcept>

namespace {

// MuPDF leaves a failed fz_try by longjmp: a local set inside it is kept in
// memory (fz_var) so that the value read afterwards is not a stale register.
fz_document* TryOpen(fz_context* ctx, const char* name, int* pages)
{
    fz_document* document = nullptr;
    fz_var(document);
    fz_try(ctx)
    {
        fz_register_document_handlers(ctx);
        document = fz_open_document(ctx, name);
        *pages = fz_count_pages(ctx, document);
    }
    fz_catch(ctx)
    {
        fz_drop_document(ctx, document);
        document = nullptr;
    }
    return document;
}

fz_page* TryLoadPage(fz_context* ctx, fz_document* document, int number, fz_rect* bounds)
{
    fz_page* page = nullptr;
    fz_var(page);
    fz_try(ctx)
    {
        page = fz_load_page(ctx, document, number);
        *bounds = fz_bound_page(ctx, page);
    }
    fz_catch(ctx)
    {
        fz_drop_page(ctx, page);
        page = nullptr;
    }
    if (page) LeaveOutUndecodablePictures(ctx, page);
    return page;
}

}  // namespace

VectorDocument::VectorDocument(const std::string& fileName)
{
    ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
    if (!ctx) throw std::runtime_error("cannot make a MuPDF context");
    fonts.Install(ctx);
    document = TryOpen(ctx, fileName.c_str(), &pageCount);
    if (!document) {
        const std::string message = fz_caught_message(ctx);
        fz_drop_context(ctx);
        throw std::runtime_error(fileName + ": " + message);
    }
    colours = std::make_unique<ColourManagedPictures>(ctx);
}

VectorDocument::~VectorDocument()
{
    colours.reset();
    fz_drop_document(ctx, document);
    fz_drop_context(ctx);
}

Bounds VectorDocument::PageBounds(int number) const
{
    fz_rect bounds{};
    fz_page* page = TryLoadPage(ctx, document, number, &bounds);
    if (!page) throw std::runtime_error(std::string("cannot load the page: ") + fz_caught_message(ctx));
    fz_drop_page(ctx, page);
    return {bounds.x0, bounds.y0, bounds.x1, bounds.y1, false};
}

VectorPage VectorDocument::Record(int number, const Affine& m, VectorResources& resources,
                                  const VectorOptions& options) const
{
    fz_rect bounds{};
    fz_page* page = TryLoadPage(ctx, document, number, &bounds);
    if (!page) throw std::runtime_error(std::string("cannot load the page: ") + fz_caught_message(ctx));
    colours->Prepare(page);
    const fz_matrix transform{static_cast<float>(m.a), static_cast<float>(m.b), static_cast<float>(m.c),
                              static_cast<float>(m.d), static_cast<float>(m.e), static_cast<float>(m.f)};
    try {
        VectorPage recorded = RecordVectorPage(ctx, page, transform, resources, options);
        resources.images.CommitPage();
        fz_drop_page(ctx, page);
        return recorded;
    } catch (...) {
        resources.images.DiscardPage();
        fz_drop_page(ctx, page);
        throw;
    }
}

Affine VectorDocument::FitTransform(int number, double width, double height) const
{
    const Bounds page = PageBounds(number);
    const double w = page.xmax - page.xmin, h = page.ymax - page.ymin;
    if (w <= 0 || h <= 0) return {};
    const double scale = std::min(width / w, height / h);
    return {scale, 0, 0, scale, (width - w * scale) / 2 - page.xmin * scale, (height - h * scale) / 2 - page.ymin * scale};
}
