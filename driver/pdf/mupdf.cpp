#include "driver/pdf/mupdf.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "driver/pdf/pagefontcheck.h"
#include "driver/pdf/pagerun.h"
#include "driver/pdf/pdfimages.h"
#include "driver/pdf/runlimit.h"
#include "driver/core/error.h"

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

bool TryBound(fz_context* context, fz_page* page, fz_rect* bounds, ErrorText* error)
{
    fz_try(context) { *bounds = fz_bound_page(context, page); }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return false;
    }
    return true;
}

// Deep enough for a tree that grew by a node for each page added, as some
// writers grow it; deeper, MuPDF's map of it (made by recursion) is not made.
constexpr int kDeepestPageTree = 4096;

// A node of the page tree on the way down, and what was found under it so far.
struct TreeStep {
    pdf_obj* kids;
    int count;   // of kids
    int next;    // the kid to read next
    int number;  // the node's object number; 0 for a direct object
    int64_t pages;
};

enum TreeNodeKind { kNotInTree, kPageNode, kPagesNode };

TreeNodeKind KindOfNode(fz_context* context, pdf_obj* node)
{
    pdf_obj* type = pdf_dict_get(context, node, PDF_NAME(Type));
    if (pdf_name_eq(context, type, PDF_NAME(Pages))) return kPagesNode;
    if (pdf_name_eq(context, type, PDF_NAME(Page))) return kPageNode;
    return kNotInTree;
}

int64_t PagesAdded(int64_t pages, int64_t more)
{
    return std::min<int64_t>(pages + more, INT32_MAX);
}

// The pages of the tree as pdf_load_page_tree lists them (every place a
// shared node is at counts), read without loading a page: a node shared by
// many places is walked once, so a small file cannot make this long. -1 when
// that map cannot be made of it (a cycle, a kid that is neither a page nor a
// node, a tree too deep): MuPDF then finds each page by its own, more
// lenient walk. At most INT32_MAX.
int64_t TryCountTreePages(fz_context* context, pdf_document* document)
{
    int64_t* counted = nullptr;  // per object: 0 not seen, -1 on the way down, else its pages + 1
    TreeStep* path = nullptr;
    int64_t total = -1;
    fz_var(counted);
    fz_var(path);
    fz_var(total);
    fz_try(context)
    {
        const int objects = pdf_xref_len(context, document);
        counted = static_cast<int64_t*>(fz_calloc(context, static_cast<size_t>(objects) + 1, sizeof *counted));
        path = static_cast<TreeStep*>(fz_calloc(context, kDeepestPageTree, sizeof *path));
        const auto known = [&](int number) { return number > 0 && number < objects; };
        int depth = 0;
        const auto down = [&](pdf_obj* node) {
            if (depth == kDeepestPageTree) fz_throw(context, FZ_ERROR_GENERIC, "page tree too deep");
            TreeStep& step = path[depth++];
            step.kids = pdf_dict_get(context, node, PDF_NAME(Kids));
            step.count = pdf_array_len(context, step.kids);
            step.next = 0;
            step.number = pdf_is_indirect(context, node) ? pdf_to_num(context, node) : 0;
            step.pages = 0;
            if (known(step.number)) counted[step.number] = -1;
        };
        pdf_obj* root = pdf_dict_getp(context, pdf_trailer(context, document), "Root/Pages");
        const TreeNodeKind kind = KindOfNode(context, root);
        if (kind == kNotInTree) fz_throw(context, FZ_ERROR_GENERIC, "no page tree");
        int64_t found = kind == kPageNode ? 1 : 0;
        if (kind == kPagesNode) down(root);
        while (depth > 0) {
            TreeStep& step = path[depth - 1];
            if (step.next == step.count) {
                if (known(step.number)) counted[step.number] = step.pages + 1;
                int64_t& above = --depth > 0 ? path[depth - 1].pages : found;
                above = PagesAdded(above, step.pages);
                continue;
            }
            pdf_obj* kid = pdf_array_get(context, step.kids, step.next++);
            const TreeNodeKind kidKind = KindOfNode(context, kid);
            if (kidKind == kPageNode) {
                step.pages = PagesAdded(step.pages, 1);
                continue;
            }
            if (kidKind != kPagesNode) fz_throw(context, FZ_ERROR_GENERIC, "non-page object in page tree");
            const int number = pdf_is_indirect(context, kid) ? pdf_to_num(context, kid) : 0;
            if (known(number) && counted[number] < 0) fz_throw(context, FZ_ERROR_GENERIC, "cycle in page tree");
            if (known(number) && counted[number] > 0) {
                step.pages = PagesAdded(step.pages, counted[number] - 1);
                continue;
            }
            down(kid);
        }
        total = found;
    }
    fz_always(context)
    {
        fz_free(context, path);
        fz_free(context, counted);
    }
    fz_catch(context) return -1;
    return total;
}

// MuPDF's map of the tree, sized by the count the root claims: that count
// is set to the pages counted first.
bool TryLoadPageTree(fz_context* context, pdf_document* document, int pages)
{
    fz_try(context)
    {
        if (pdf_count_pages(context, document) != pages)
            pdf_dict_put_int(context, pdf_dict_getp(context, pdf_trailer(context, document), "Root/Pages"),
                             PDF_NAME(Count), pages);
        pdf_load_page_tree(context, document);
    }
    fz_catch(context) return false;
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
fz_pixmap* TryRender(fz_context* context, fz_page* page, int width, int height, int alpha, PageParts parts,
                     fz_cookie* cookie, ErrorText* error, bool* stopped)
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
        RunPage(context, page, device, transform, cookie, parts);
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
bool TryCollectFonts(fz_context* ctx, fz_page* page, fz_cookie* cookie, PageParts parts,
                     std::set<const fz_font*>* fonts)
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
        RunPage(ctx, page, device, fz_identity, cookie, parts);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) { fz_drop_device(ctx, device); }
    fz_catch(ctx) return false;
    return true;
}

// The page run once into a display list, in the pixels' space as TryRender
// draws it; to be dropped by the caller. An error MuPDF stops at leaves what
// was listed before it, as TryRender's picture.
fz_display_list* TryRecord(fz_context* context, fz_page* page, int width, int height, PageParts parts,
                           fz_cookie* cookie, RunCallLimit* limit, ErrorText* error, bool* stopped)
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
        RunPage(context, page, device, transform, cookie, parts);
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
    return page;
}

enum LinkKind { kNotALink, kToPage, kToURI, kToNoPage, kToAction };

// A link annotation as read: plain C values, its text owned by the
// document's objects.
struct FoundLink {
    LinkKind kind;
    fz_rect area;
    int page;
    const char* text;
};

// Where a destination goes, by name (through the document's names) or as an
// array whose first entry is a page or a page's number. Throws.
// The page number a page object's own /Parent chain gives it, counting the
// pages before it at each level: for a destination naming a page object the
// tree does not hold, as files joined by a tool that copies each page and
// keeps the old tree beside the new one have (the old tree holds the same
// pages in the same order). -1 when the chain does not lead anywhere sound.
int PageNumberByParents(fz_context* context, pdf_obj* page)
{
    if (!pdf_name_eq(context, pdf_dict_get(context, page, PDF_NAME(Type)), PDF_NAME(Page))) return -1;
    int64_t number = 0;
    int64_t looked = 0;  // kids looked at, all levels together: a cycle ends here too
    pdf_obj* node = page;
    for (int depth = 0; depth < kDeepestPageTree; ++depth) {
        pdf_obj* parent = pdf_dict_get(context, node, PDF_NAME(Parent));
        if (!parent) return number <= INT32_MAX ? static_cast<int>(number) : -1;
        pdf_obj* kids = pdf_dict_get(context, parent, PDF_NAME(Kids));
        const int count = pdf_array_len(context, kids);
        int i = 0;
        for (; i < count; ++i) {
            if (++looked > 1'000'000) return -1;
            pdf_obj* kid = pdf_array_get(context, kids, i);
            if (pdf_objcmp(context, kid, node) == 0) break;
            const bool leaf = pdf_name_eq(context, pdf_dict_get(context, kid, PDF_NAME(Type)), PDF_NAME(Page));
            number += leaf ? 1 : std::max(pdf_dict_get_int(context, kid, PDF_NAME(Count)), 0);
        }
        if (i == count || number > INT32_MAX) return -1;  // not its parent's kid
        node = parent;
    }
    return -1;
}

void ReadDestination(fz_context* context, pdf_document* document, pdf_obj* destination, int pages, FoundLink* link)
{
    link->kind = kToNoPage;
    // A name may name a name: as deep as MuPDF follows them.
    for (int depth = 0; depth <= 10 && destination; ++depth) {
        if (pdf_is_name(context, destination) || pdf_is_string(context, destination)) {
            if (!link->text)
                link->text = pdf_is_name(context, destination) ? pdf_to_name(context, destination)
                                                               : pdf_to_text_string(context, destination);
            destination = pdf_lookup_dest(context, document, destination);
        } else if (pdf_is_dict(context, destination)) {
            destination = pdf_dict_get(context, destination, PDF_NAME(D));
        } else if (pdf_is_array(context, destination)) {
            pdf_obj* target = pdf_array_get(context, destination, 0);
            const bool numbered = pdf_is_int(context, target);
            int page = numbered ? pdf_to_int(context, target) : pdf_lookup_page_number(context, document, target);
            if (!numbered && page < 0) page = PageNumberByParents(context, target);
            if (page >= 0 && page < pages) {
                link->kind = kToPage;
                link->page = page;
            } else if (numbered) {
                link->page = page;
            }
            return;
        } else {
            return;
        }
    }
}

// What MuPDF takes for a link (a Link annotation with a rectangle: its Dest,
// else its action, else its mouse-up or mouse-down action), read here: MuPDF's
// reading sends a link to an object that is no page to the first page, and
// puts the catalog's base before a relative URI whatever the base is. Throws.
void ReadLink(fz_context* context, pdf_document* document, pdf_obj* annotation, fz_matrix pageToShown, int pageNumber,
              int pages, FoundLink* link)
{
    if (!pdf_name_eq(context, pdf_dict_get(context, annotation, PDF_NAME(Subtype)), PDF_NAME(Link))) return;
    pdf_obj* rectangle = pdf_dict_get(context, annotation, PDF_NAME(Rect));
    if (!rectangle) return;
    link->area = fz_transform_rect(pdf_to_rect(context, rectangle), pageToShown);
    if (pdf_obj* destination = pdf_dict_get(context, annotation, PDF_NAME(Dest))) {
        ReadDestination(context, document, destination, pages, link);
        return;
    }
    pdf_obj* action = pdf_dict_get(context, annotation, PDF_NAME(A));
    if (!action)
        action = pdf_dict_geta(context, pdf_dict_get(context, annotation, PDF_NAME(AA)), PDF_NAME(U), PDF_NAME(D));
    pdf_obj* type = pdf_dict_get(context, action, PDF_NAME(S));
    if (!pdf_is_name(context, type)) return;
    if (pdf_name_eq(context, type, PDF_NAME(GoTo))) {
        ReadDestination(context, document, pdf_dict_get(context, action, PDF_NAME(D)), pages, link);
    } else if (pdf_name_eq(context, type, PDF_NAME(URI))) {
        pdf_obj* uri = pdf_dict_get(context, action, PDF_NAME(URI));
        if (!pdf_is_string(context, uri)) return;
        link->kind = kToURI;
        link->text = pdf_to_text_string(context, uri);
    } else if (pdf_name_eq(context, type, PDF_NAME(Named))) {
        // The four every viewer has, as MuPDF takes them.
        pdf_obj* name = pdf_dict_get(context, action, PDF_NAME(N));
        link->kind = kToPage;
        if (pdf_name_eq(context, name, PDF_NAME(FirstPage))) {
            link->page = 0;
        } else if (pdf_name_eq(context, name, PDF_NAME(LastPage))) {
            link->page = pages - 1;
        } else if (pdf_name_eq(context, name, PDF_NAME(PrevPage))) {
            link->page = std::max(pageNumber - 1, 0);
        } else if (pdf_name_eq(context, name, PDF_NAME(NextPage))) {
            link->page = std::min(pageNumber + 1, pages - 1);
        } else {
            link->kind = kToAction;
            link->text = pdf_is_name(context, name) ? pdf_to_name(context, name) : "Named";
        }
    } else {
        link->kind = kToAction;
        link->text = pdf_to_name(context, type);
    }
}

// The page's annotations, the transform from its space to the shown page's
// and the shown page's bounds, for ReadLink; false when they cannot be read.
bool TryAnnotations(fz_context* context, fz_page* page, pdf_obj** annotations, int* count, fz_matrix* pageToShown,
                    fz_rect* bounds, ErrorText* error)
{
    fz_try(context)
    {
        pdf_page* pdfPage = pdf_page_from_fz_page(context, page);
        *bounds = fz_bound_page(context, page);
        *annotations = pdfPage ? pdf_dict_get(context, pdfPage->obj, PDF_NAME(Annots)) : nullptr;
        *count = pdf_array_len(context, *annotations);
        fz_rect mediaBox;
        if (pdfPage) pdf_page_transform(context, pdfPage, &mediaBox, pageToShown);
    }
    fz_catch(context)
    {
        KeepCaught(context, error);
        return false;
    }
    return true;
}

// One annotation as a link: kNotALink when it is none or cannot be read; a
// destination that cannot be followed goes to no page.
FoundLink TryReadLink(fz_context* context, pdf_document* document, pdf_obj* annotations, int index,
                      fz_matrix pageToShown, int pageNumber, int pages)
{
    FoundLink link{kNotALink, fz_empty_rect, -1, nullptr};
    FoundLink* read = &link;
    fz_try(context)
    {
        ReadLink(context, document, pdf_array_get(context, annotations, index), pageToShown, pageNumber, pages, read);
    }
    fz_catch(context)
    {
        if (read->kind != kToNoPage) read->kind = kNotALink;
    }
    return link;
}

std::string TookTooLong()
{
    return "it took longer than " + std::to_string(static_cast<int>(kMostRenderSeconds)) + " s to draw";
}

const char* TryBaseURI(fz_context* context, pdf_document* document)
{
    const char* base = nullptr;
    fz_var(base);
    fz_try(context)
    {
        pdf_obj* given = pdf_dict_getp(context, pdf_trailer(context, document), "Root/URI/Base");
        if (pdf_is_string(context, given)) base = pdf_to_text_string(context, given);
    }
    fz_catch(context) base = nullptr;
    return base;
}

struct DisplayListDrop {
    fz_context* context = nullptr;
    void operator()(fz_display_list* list) const noexcept { fz_drop_display_list(context, list); }
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
    colours = std::make_unique<ColourManagedPictures>(context.get());
}

Document::~Document()
{
    if (treeLoaded) pdf_drop_page_tree(context.get(), document.get());
    colours.reset();
    document.reset();
    // Dropping the context prints what it still buffers: into nothing.
    fz_set_warning_callback(context.get(), IgnoreMessage, nullptr);
    fz_set_error_callback(context.get(), IgnoreMessage, nullptr);
}

std::unique_ptr<Document> Document::OpenAgain() const
{
    auto again = std::make_unique<Document>(root, path);
    again->parts = parts;
    return again;
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
    if (pageCount >= 0) return pageCount;
    const int64_t counted = TryCountTreePages(context.get(), document.get());
    if (counted >= 0) {
        pageCount = static_cast<int32_t>(counted);
        treeCounted = true;
        return pageCount;
    }
    // A tree MuPDF's map cannot be made of: its pages are found as MuPDF
    // finds them, by the counts its nodes claim.
    ErrorText error{};
    const int claimed = TryCountPages(context.get(), document.get(), &error);
    if (claimed < 0) throw Failure(error.text);
    pageCount = claimed;
    return pageCount;
}

void Document::UsePageTree()
{
    if (treeTried) return;
    treeTried = true;
    if (PageCount() > 0 && treeCounted) treeLoaded = TryLoadPageTree(context.get(), document.get(), pageCount);
}

void Document::ManageColours(fz_page* page)
{
    fz_flush_warnings(context.get());
    const Messages before = *messages;
    colours->Prepare(page);
    fz_flush_warnings(context.get());
    *messages = before;
}

PagePtr Document::LoadPage(int32_t number)
{
    UsePageTree();
    // What loading a page says is of its annotations: a link to a page the
    // file does not have is no damage to the page that carries it.
    fz_flush_warnings(context.get());
    const Messages before = *messages;
    ErrorText error{};
    PagePtr page(TryLoadPage(context.get(), document.get(), number, &error), PageDrop{context.get()});
    fz_flush_warnings(context.get());
    *messages = before;
    if (!page) throw Failure(error.text);
#if FZ_VERSION_MAJOR == 1 && FZ_VERSION_MINOR < 22
    // With the tree's map loaded, MuPDF before 1.22 finds the page's object
    // through pdf_load_object and keeps that reference besides the page's
    // own: given back here, once for a page it loaded (not one already open),
    // or every page's object outlives the document.
    if (treeLoaded && page->refs == 1) pdf_drop_obj(context.get(), pdf_page_from_fz_page(context.get(), page.get())->obj);
#endif
    // Said of the page itself: what it draws without.
    LeaveOutUndecodablePictures(context.get(), page.get());
    return page;
}

Bounds Document::PageBounds(int32_t number)
{
    const PagePtr page = LoadPage(number);
    ErrorText error{};
    fz_rect bounds{};
    if (!TryBound(context.get(), page.get(), &bounds, &error)) throw Failure(error.text);
    return Bounds{bounds.x0, bounds.y0, bounds.x1, bounds.y1};
}

Picture Document::Render(int32_t number, int32_t width, int32_t height, bool alpha)
{
    const PagePtr page = LoadPage(number);
    ManageColours(page.get());
    ErrorText error{};
    const PageFontCheck fonts(context.get(), page.get());
    fz_cookie cookie{};
    RunDeadline deadline(cookie, kMostRenderSeconds);
    bool stopped = false;
    fz_pixmap* drawn =
        TryRender(context.get(), page.get(), width, height, alpha ? 1 : 0, parts, &cookie, &error, &stopped);
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
    if (fonts.Any() && TryCollectFonts(context.get(), page.get(), &cookie, parts, &drawnFonts))
        picture.substitutedFonts = fonts.Substitutions(drawnFonts);
    return picture;
}

std::vector<FontSubstitution> Document::RenderBands(int32_t number, int32_t width, int32_t height, bool alpha,
                                                   int32_t bandRows,
                                                   const std::function<void(const Picture& band, int32_t top)>& take)
{
    const PagePtr page = LoadPage(number);
    ManageColours(page.get());
    ErrorText error{};
    const PageFontCheck fonts(context.get(), page.get());
    fz_cookie cookie{};
    RunDeadline deadline(cookie, kMostRenderSeconds);
    RunCallLimit listed{kMostListedCalls, &cookie};
    bool stopped = false;
    const std::unique_ptr<fz_display_list, DisplayListDrop> list(
        TryRecord(context.get(), page.get(), width, height, parts, &cookie, &listed, &error, &stopped),
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
    if (fonts.Any() && TryCollectFonts(context.get(), page.get(), &cookie, parts, &drawnFonts))
        return fonts.Substitutions(drawnFonts);
    return {};
}

std::vector<Link> Document::Links(int32_t number)
{
    const PagePtr page = LoadPage(number);
    const int32_t pages = PageCount();
    ErrorText error{};
    pdf_obj* annotations = nullptr;
    int count = 0;
    fz_matrix pageToShown = fz_identity;
    fz_rect bounds{};
    if (!TryAnnotations(context.get(), page.get(), &annotations, &count, &pageToShown, &bounds, &error))
        throw Failure(error.text);
    fz_flush_warnings(context.get());
    const Messages before = *messages;
    std::vector<Link> found;
    for (int index = 0; index < count; ++index) {
        const FoundLink link =
            TryReadLink(context.get(), document.get(), annotations, index, pageToShown, number, pages);
        if (link.kind == kNotALink || fz_is_empty_rect(link.area)) continue;
        Link entry;
        entry.area = Bounds{link.area.x0 - bounds.x0, link.area.y0 - bounds.y0, link.area.x1 - bounds.x0,
                            link.area.y1 - bounds.y0};
        entry.target = link.kind == kToPage  ? Link::Target::Page
                       : link.kind == kToURI ? Link::Target::URI
                       : link.kind == kToNoPage ? Link::Target::NoPage
                                                : Link::Target::Action;
        entry.page = link.page;
        if (link.text) entry.text = link.text;
        found.push_back(std::move(entry));
    }
    fz_flush_warnings(context.get());
    *messages = before;
    return found;
}

std::string Document::BaseURI()
{
    const char* base = TryBaseURI(context.get(), document.get());
    return base ? base : "";
}

void Document::WithPage(int32_t number, const std::function<void(fz_context*, fz_page*)>& use)
{
    const PagePtr page = LoadPage(number);
    ManageColours(page.get());
    use(context.get(), page.get());
}

void Document::WithObjects(const std::function<void(fz_context*, pdf_document*)>& use)
{
    use(context.get(), document.get());
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
