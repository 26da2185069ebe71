#include "driver/pdf/mupdf.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "driver/pdf/pagefontcheck.h"
#include "driver/pdf/pdfimages.h"
#include "driver/pdf/runlimit.h"

namespace mupdf {

std::string Printable(const std::string& message)
{
    constexpr size_t kLongest = 120;
    std::string shown;
    for (const char c : message.substr(0, kLongest)) shown += c >= 0x20 && c < 0x7F ? c : '?';
    if (message.size() > kLongest) shown += "...";
    return shown;
}

namespace {

// MuPDF leaves an fz_try by longjmp: the functions holding one keep to plain
// C values, so that no destructor is skipped, and copy the message out here.
struct ErrorText {
    char text[256];
};

void KeepCaught(fz_context* context, ErrorText* error)
{
    std::strncpy(error->text, fz_caught_message(context), sizeof error->text - 1);
    error->text[sizeof error->text - 1] = '\0';
}

void KeepMessage(void* user, const char* message)
{
    static_cast<Messages*>(user)->Add(message);
}

void IgnoreMessage(void*, const char*) {}

pdf_document* TryOpen(fz_context* context, const char* path, ErrorText* error)
{
    pdf_document* document = nullptr;
    fz_var(document);
    fz_try(context) { document = pdf_open_document(context, path); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return nullptr;
    }
    return document;
}

// 1: locked, 0: open, -1: failed.
int TryNeedsPassword(fz_context* context, pdf_document* document, ErrorText* error)
{
    int locked = 0;
    fz_var(locked);
    fz_try(context) { locked = pdf_needs_password(context, document) && !pdf_authenticate_password(context, document, ""); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return -1;
    }
    return locked;
}

int TryCountPages(fz_context* context, pdf_document* document, ErrorText* error)
{
    int count = -1;
    fz_var(count);
    fz_try(context) { count = pdf_count_pages(context, document); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return -1;
    }
    return count;
}

bool TryBounds(fz_context* context, pdf_document* document, int number, fz_rect* bounds, ErrorText* error)
{
    fz_page* page = nullptr;
    fz_var(page);
    fz_try(context)
    {
        page = fz_load_page(context, &document->super, number);
        *bounds = fz_bound_page(context, page);
    }
    fz_always(context) { fz_drop_page(context, page); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return false;
    }
    return true;
}

// The shown page's corner to the origin, then stretched to the pixels. Only
// inside fz_try: bounding the page may throw.
fz_matrix PixelTransform(fz_context* context, fz_page* page, int width, int height)
{
    const fz_rect bounds = fz_bound_page(context, page);
    return fz_concat(fz_translate(-bounds.x0, -bounds.y0),
                     fz_scale(static_cast<float>(width) / (bounds.x1 - bounds.x0),
                              static_cast<float>(height) / (bounds.y1 - bounds.y0)));
}

// An error MuPDF stops drawing at, once the page has begun to be drawn,
// leaves what was drawn before it: `*stopped` is set, the message kept in
// `error`, and that is the picture, as a viewer shows such a page.
fz_pixmap* TryRender(fz_context* context, fz_page* page, int width, int height, int alpha, fz_cookie* cookie,
                     ErrorText* error, bool* stopped)
{
    fz_device* device = nullptr;
    fz_pixmap* pixmap = nullptr;
    int drawing = 0;
    fz_var(device);
    fz_var(pixmap);
    fz_var(drawing);
    fz_try(context)
    {
        const fz_matrix transform = PixelTransform(context, page, width, height);
        pixmap = fz_new_pixmap_with_bbox(context, fz_device_rgb(context), fz_make_irect(0, 0, width, height), nullptr,
                                         alpha);
        fz_clear_pixmap_with_value(context, pixmap, 255);  // white paper, opaque
        device = NewDecodableImagesDevice(context, fz_new_draw_device(context, fz_identity, pixmap),
                                          fz_pixmap_bbox(context, pixmap));
        drawing = 1;
        fz_run_page(context, page, device, transform, cookie);
        fz_close_device(context, device);
    }
    fz_always(context) { fz_drop_device(context, device); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        if (drawing) {
            *stopped = true;
            return pixmap;
        }
        fz_drop_pixmap(context, pixmap);
        return nullptr;
    }
    return pixmap;
}

// A device that only notes the fonts text is drawn in (filled, stroked or
// clipped with; not invisible text).
struct FontCollector {
    fz_device super;
    std::set<const fz_font*>* fonts;
};

void CollectFonts(fz_device* device, const fz_text* text) noexcept
{
    try {
        for (const fz_text_span* span = text->head; span; span = span->next)
            reinterpret_cast<FontCollector*>(device)->fonts->insert(span->font);
    } catch (...) {
        // No memory for it: the font goes unnamed.
    }
}

void CollectFilled(fz_context*, fz_device* device, const fz_text* text, fz_matrix, fz_colorspace*, const float*, float,
                   fz_color_params)
{
    CollectFonts(device, text);
}

void CollectStroked(fz_context*, fz_device* device, const fz_text* text, const fz_stroke_state*, fz_matrix,
                    fz_colorspace*, const float*, float, fz_color_params)
{
    CollectFonts(device, text);
}

void CollectClip(fz_context*, fz_device* device, const fz_text* text, fz_matrix, fz_rect) { CollectFonts(device, text); }

void CollectStrokedClip(fz_context*, fz_device* device, const fz_text* text, const fz_stroke_state*, fz_matrix, fz_rect)
{
    CollectFonts(device, text);
}

// The page run once more for the fonts its text is drawn in; false when it fails.
bool TryCollectFonts(fz_context* ctx, fz_page* page, fz_cookie* cookie, std::set<const fz_font*>* fonts)
{
    fz_device* device = nullptr;
    fz_var(device);
    fz_try(ctx)
    {
        FontCollector* collector = fz_new_derived_device(ctx, FontCollector);
        collector->fonts = fonts;
        collector->super.fill_text = CollectFilled;
        collector->super.stroke_text = CollectStroked;
        collector->super.clip_text = CollectClip;
        collector->super.clip_stroke_text = CollectStrokedClip;
        device = &collector->super;
        fz_run_page(ctx, page, device, fz_identity, cookie);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) { fz_drop_device(ctx, device); }
    fz_catch(ctx) return false;
    return true;
}

// The page run once into a display list, in the pixels' space as TryRender
// draws it; to be dropped by the caller. An error MuPDF stops at leaves what
// was listed before it, as TryRender's picture.
fz_display_list* TryRecord(fz_context* context, fz_page* page, int width, int height, fz_cookie* cookie,
                           RunCallLimit* limit, ErrorText* error, bool* stopped)
{
    fz_device* device = nullptr;
    fz_display_list* list = nullptr;
    int drawing = 0;
    fz_var(device);
    fz_var(list);
    fz_var(drawing);
    fz_try(context)
    {
        const fz_matrix transform = PixelTransform(context, page, width, height);
        list = fz_new_display_list(context, fz_make_rect(0, 0, static_cast<float>(width), static_cast<float>(height)));
        device = NewDecodableImagesDevice(context, fz_new_list_device(context, list),
                                          fz_make_irect(0, 0, width, height), limit);
        drawing = 1;
        fz_run_page(context, page, device, transform, cookie);
        fz_close_device(context, device);
    }
    fz_always(context) { fz_drop_device(context, device); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        if (drawing) {
            *stopped = true;
            return list;
        }
        fz_drop_display_list(context, list);
        return nullptr;
    }
    return list;
}

fz_pixmap* TryNewPixmap(fz_context* context, int width, int height, int alpha, ErrorText* error)
{
    fz_pixmap* pixmap = nullptr;
    fz_var(pixmap);
    fz_try(context)
    {
        pixmap = fz_new_pixmap_with_bbox(context, fz_device_rgb(context), fz_make_irect(0, 0, width, height), nullptr,
                                         alpha);
    }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return nullptr;
    }
    return pixmap;
}

// Draws the list's part under the pixmap, whose origin says where it lies.
// A list cut short by an error leaves groups and clips open, which closing the
// device reports: what was drawn stays the band, and `*stopped` is set.
bool TryDrawBand(fz_context* context, fz_display_list* list, fz_pixmap* pixmap, ErrorText* error, bool* stopped)
{
    fz_device* device = nullptr;
    int drawing = 0;
    fz_var(device);
    fz_var(drawing);
    fz_try(context)
    {
        fz_clear_pixmap_with_value(context, pixmap, 255);  // white paper, opaque
        device = NewDecodableImagesDevice(context, fz_new_draw_device(context, fz_identity, pixmap),
                                          fz_pixmap_bbox(context, pixmap));
        drawing = 1;
        fz_run_display_list(context, list, device, fz_identity, fz_rect_from_irect(fz_pixmap_bbox(context, pixmap)),
                            nullptr);
        fz_close_device(context, device);
    }
    fz_always(context) { fz_drop_device(context, device); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        if (drawing) {
            *stopped = true;
            return true;
        }
        return false;
    }
    return true;
}

fz_page* TryLoadPage(fz_context* context, pdf_document* document, int number, ErrorText* error)
{
    fz_page* page = nullptr;
    fz_var(page);
    fz_try(context) { page = fz_load_page(context, &document->super, number); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return nullptr;
    }
    LeaveOutUndecodablePictures(context, page);
    return page;
}

// The page's links, to be dropped by the caller; the page's bounds too.
fz_link* TryLoadLinks(fz_context* context, fz_page* page, fz_rect* bounds, ErrorText* error)
{
    fz_link* links = nullptr;
    fz_var(links);
    fz_try(context)
    {
        *bounds = fz_bound_page(context, page);
        links = fz_load_links(context, page);
    }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return nullptr;
    }
    return links;
}

// The page (from 0) a link inside the document goes to; -1 when there is none.
int TryResolvePage(fz_context* context, pdf_document* document, const char* uri)
{
    int page = -1;
    fz_var(page);
    fz_try(context)
    {
        float x = 0, y = 0;
        const fz_location location = fz_resolve_link(context, &document->super, uri, &x, &y);
        if (location.page >= 0) page = fz_page_number_from_location(context, &document->super, location);
    }
    fz_catch(context) page = -1;
    return page;
}

std::string TookTooLong()
{
    return "it took longer than " + std::to_string(static_cast<int>(kMostRenderSeconds)) + " s to draw";
}

struct PageDrop {
    fz_context* context = nullptr;
    void operator()(fz_page* page) const noexcept { fz_drop_page(context, page); }
};

struct DisplayListDrop {
    fz_context* context = nullptr;
    void operator()(fz_display_list* list) const noexcept { fz_drop_display_list(context, list); }
};

struct LinkDrop {
    fz_context* context = nullptr;
    void operator()(fz_link* link) const noexcept { fz_drop_link(context, link); }
};

}  // namespace

void Messages::Add(const char* message) noexcept
{
    ++count;
    if (count > 1) return;
    try {
        first = message;
    } catch (...) {
        // No memory for the text: the count still says that something was said.
    }
}

void Messages::Clear() noexcept
{
    first.clear();
    count = 0;
}

Locks::Locks() : locks{this, Lock, Unlock} {}

void Locks::Lock(void* user, int lock)
{
    static_cast<Locks*>(user)->mutexes[lock].lock();
}

void Locks::Unlock(void* user, int lock)
{
    static_cast<Locks*>(user)->mutexes[lock].unlock();
}

Root::Root() : context(fz_new_context(nullptr, locks.Get(), 16 << 20))
{
    if (!context) throw Failure("cannot make a MuPDF context");
    fonts = std::make_unique<SubstituteFonts>();
    fonts->Install(context.get());
    fz_set_warning_callback(context.get(), IgnoreMessage, nullptr);
    fz_set_error_callback(context.get(), IgnoreMessage, nullptr);
}

ContextPtr Root::Clone() const
{
    std::lock_guard lock(cloning);
    ContextPtr clone(fz_clone_context(context.get()));
    if (!clone) throw Failure("cannot make a MuPDF context");
    return clone;
}

Document::Document(std::shared_ptr<const Root> from, const std::string& file)
    : root(std::move(from)), path(file), messages(std::make_unique<Messages>()), context(root->Clone())
{
    // Per context: set before anything can be said through this one.
    fz_set_warning_callback(context.get(), KeepMessage, messages.get());
    fz_set_error_callback(context.get(), KeepMessage, messages.get());
    ErrorText error{};
    document = DocumentPtr(TryOpen(context.get(), path.c_str(), &error), DocumentDrop{context.get()});
    if (!document) throw Failure(error.text);
}

Document::~Document()
{
    document.reset();
    // Dropping the context prints what it still buffers: into nothing.
    fz_set_warning_callback(context.get(), IgnoreMessage, nullptr);
    fz_set_error_callback(context.get(), IgnoreMessage, nullptr);
}

std::unique_ptr<Document> Document::OpenAgain() const
{
    return std::make_unique<Document>(root, path);
}

bool Document::NeedsPassword()
{
    ErrorText error{};
    const int locked = TryNeedsPassword(context.get(), document.get(), &error);
    if (locked < 0) throw Failure(error.text);
    return locked == 1;
}

bool Document::WasRepaired()
{
    return pdf_was_repaired(context.get(), document.get()) != 0;
}

int32_t Document::PageCount()
{
    ErrorText error{};
    const int count = TryCountPages(context.get(), document.get(), &error);
    if (count < 0) throw Failure(error.text);
    return count;
}

Bounds Document::PageBounds(int32_t page)
{
    ErrorText error{};
    fz_rect bounds{};
    if (!TryBounds(context.get(), document.get(), page, &bounds, &error)) throw Failure(error.text);
    return Bounds{bounds.x0, bounds.y0, bounds.x1, bounds.y1};
}

Picture Document::Render(int32_t number, int32_t width, int32_t height, bool alpha)
{
    ErrorText error{};
    const std::unique_ptr<fz_page, PageDrop> page(TryLoadPage(context.get(), document.get(), number, &error),
                                                  PageDrop{context.get()});
    if (!page) throw Failure(error.text);
    const PageFontCheck fonts(context.get(), page.get());
    fz_cookie cookie{};
    RunDeadline deadline(cookie, kMostRenderSeconds);
    bool stopped = false;
    fz_pixmap* drawn = TryRender(context.get(), page.get(), width, height, alpha ? 1 : 0, &cookie, &error, &stopped);
    if (!drawn) throw Failure(error.text);
    if (stopped) messages->Add(error.text);  // damage, as a content stream MuPDF skips is
    if (deadline.Expired()) messages->Add(TookTooLong().c_str());
    Picture picture;
    picture.pixmap = PixmapPtr(drawn, PixmapDrop{context.get()});
    picture.width = fz_pixmap_width(context.get(), drawn);
    picture.height = fz_pixmap_height(context.get(), drawn);
    picture.stride = static_cast<size_t>(fz_pixmap_stride(context.get(), drawn));
    picture.pixels = fz_pixmap_samples(context.get(), drawn);
    // Which fonts the page draws with takes a run of its own: only taken
    // when it has substitutes to tell of.
    std::set<const fz_font*> drawnFonts;
    if (fonts.Any() && TryCollectFonts(context.get(), page.get(), &cookie, &drawnFonts))
        picture.substitutedFonts = fonts.Substitutions(drawnFonts);
    return picture;
}

std::vector<FontSubstitution> Document::RenderBands(int32_t number, int32_t width, int32_t height, bool alpha,
                                                   int32_t bandRows,
                                                   const std::function<void(const Picture& band, int32_t top)>& take)
{
    ErrorText error{};
    const std::unique_ptr<fz_page, PageDrop> page(TryLoadPage(context.get(), document.get(), number, &error),
                                                  PageDrop{context.get()});
    if (!page) throw Failure(error.text);
    const PageFontCheck fonts(context.get(), page.get());
    fz_cookie cookie{};
    RunDeadline deadline(cookie, kMostRenderSeconds);
    RunCallLimit listed{kMostListedCalls, &cookie};
    bool stopped = false;
    const std::unique_ptr<fz_display_list, DisplayListDrop> list(
        TryRecord(context.get(), page.get(), width, height, &cookie, &listed, &error, &stopped),
        DisplayListDrop{context.get()});
    if (!list) throw Failure(error.text);
    if (stopped) messages->Add(error.text);
    if (listed.Reached()) messages->Add(("it draws more than " + std::to_string(kMostListedCalls) + " objects").c_str());
    if (deadline.Expired()) messages->Add(TookTooLong().c_str());
    // The list as far as it goes is the picture: drawing it takes a time its
    // length bounds.
    const int32_t rows = std::max(std::min(bandRows, height), 1);
    const PixmapPtr pixmap(TryNewPixmap(context.get(), width, rows, alpha ? 1 : 0, &error), PixmapDrop{context.get()});
    if (!pixmap) throw Failure(error.text);
    for (int32_t top = 0; top < height; top += rows) {
        // One pixmap for every band, moved down the page; the last band
        // uses the top of its rows.
        pixmap->y = top;
        pixmap->h = std::min(rows, height - top);
        bool cut = false;
        if (!TryDrawBand(context.get(), list.get(), pixmap.get(), &error, &cut)) throw Failure(error.text);
        if (cut && !stopped) {
            messages->Add(error.text);
            stopped = true;  // said once for the page, not once a band
        }
        Picture band;
        band.width = width;
        band.height = pixmap->h;
        band.stride = static_cast<size_t>(fz_pixmap_stride(context.get(), pixmap.get()));
        band.pixels = fz_pixmap_samples(context.get(), pixmap.get());
        take(band, top);
    }
    std::set<const fz_font*> drawnFonts;
    if (fonts.Any() && TryCollectFonts(context.get(), page.get(), &cookie, &drawnFonts))
        return fonts.Substitutions(drawnFonts);
    return {};
}

std::vector<Link> Document::Links(int32_t number)
{
    ErrorText error{};
    const std::unique_ptr<fz_page, PageDrop> page(TryLoadPage(context.get(), document.get(), number, &error),
                                                  PageDrop{context.get()});
    if (!page) throw Failure(error.text);
    fz_rect bounds{};
    fz_link* first = TryLoadLinks(context.get(), page.get(), &bounds, &error);
    if (!first && error.text[0] != '\0') throw Failure(error.text);
    const std::unique_ptr<fz_link, LinkDrop> links(first, LinkDrop{context.get()});
    std::vector<Link> found;
    for (const fz_link* link = links.get(); link; link = link->next) {
        if (!link->uri || fz_is_empty_rect(link->rect)) continue;
        Link entry;
        entry.area = Bounds{link->rect.x0 - bounds.x0, link->rect.y0 - bounds.y0, link->rect.x1 - bounds.x0,
                            link->rect.y1 - bounds.y0};
        if (fz_is_external_link(context.get(), link->uri)) {
            entry.uri = link->uri;
        } else {
            entry.page = TryResolvePage(context.get(), document.get(), link->uri);
            if (entry.page < 0) continue;
        }
        found.push_back(std::move(entry));
    }
    return found;
}

void Document::WithPage(int32_t number, const std::function<void(fz_context*, fz_page*)>& use)
{
    ErrorText error{};
    const std::unique_ptr<fz_page, PageDrop> page(TryLoadPage(context.get(), document.get(), number, &error),
                                                  PageDrop{context.get()});
    if (!page) throw Failure(error.text);
    use(context.get(), page.get());
}

const Messages& Document::Said()
{
    // A warning said again is only counted until another comes or this flush.
    fz_flush_warnings(context.get());
    return *messages;
}

void Document::ClearMessages()
{
    fz_flush_warnings(context.get());
    messages->Clear();
}

}  // namespace mupdf
