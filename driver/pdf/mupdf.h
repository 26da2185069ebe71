#pragma once

// The converter's one door to MuPDF: ownership of its contexts, documents and
// pixmaps, its messages kept instead of printed, and its errors (reported
// through setjmp/longjmp) turned into C++ exceptions once no MuPDF frame is
// left to unwind. Only the files of this folder include MuPDF's headers.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/pdf/colourprofiles.h"
#include "driver/pdf/fontsubstitution.h"
#include "driver/pdf/pageparts.h"
#include "driver/pdf/substitutefonts.h"

namespace mupdf {

// MuPDF's own message for a call that failed.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A message of MuPDF's as it may reach the terminal: its messages quote what
// it could not parse, bytes of the file among them, so only printable ASCII,
// and not too much of it.
std::string Printable(const std::string& message);

// What MuPDF says through a context while it works: warnings, and errors as
// they are raised, including those it recovers from (a damaged content stream
// is skipped with an error and the page drawn without it). Kept, never printed.
class Messages {
public:
    void Add(const char* message) noexcept;
    void Clear() noexcept;
    int Count() const { return count; }
    const std::string& First() const { return first; }

private:
    std::string first;
    int count = 0;
};

// The locks MuPDF takes around what contexts cloned from one another share
// (the resource store, the glyph cache, FreeType).
class Locks {
public:
    Locks();
    Locks(const Locks&) = delete;
    Locks& operator=(const Locks&) = delete;
    const fz_locks_context* Get() const { return &locks; }

private:
    static void Lock(void* user, int lock);
    static void Unlock(void* user, int lock);

    std::mutex mutexes[FZ_LOCK_MAX];
    fz_locks_context locks;
};

struct ContextDrop {
    void operator()(fz_context* context) const noexcept { fz_drop_context(context); }
};
using ContextPtr = std::unique_ptr<fz_context, ContextDrop>;

struct DocumentDrop {
    fz_context* context = nullptr;
    void operator()(pdf_document* document) const noexcept { pdf_drop_document(context, document); }
};
using DocumentPtr = std::unique_ptr<pdf_document, DocumentDrop>;

struct PixmapDrop {
    fz_context* context = nullptr;
    void operator()(fz_pixmap* pixmap) const noexcept { fz_drop_pixmap(context, pixmap); }
};
using PixmapPtr = std::unique_ptr<fz_pixmap, PixmapDrop>;

struct PageDrop {
    fz_context* context = nullptr;
    void operator()(fz_page* page) const noexcept { fz_drop_page(context, page); }
};
using PagePtr = std::unique_ptr<fz_page, PageDrop>;

// The context every other is cloned from, with the locks they share, a
// resource store of 16 MiB (fonts, decoded images) for all of them together,
// and the fonts that stand in for those a PDF does not embed.
class Root {
public:
    Root();
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;

    // A context of its own for one thread; thread-safe.
    ContextPtr Clone() const;

private:
    Locks locks;  // outlives every context
    mutable std::mutex cloning;
    std::unique_ptr<SubstituteFonts> fonts;  // outlives every context, and the fonts made from its files
    ContextPtr context;
};

// A page drawn: rows of RGB or RGBA bytes, `stride` apart.
struct Picture {
    PixmapPtr pixmap;
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    const uint8_t* pixels = nullptr;
    // Fonts its text is drawn in that the PDF does not give.
    std::vector<FontSubstitution> substitutedFonts;
};

struct Bounds {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double Width() const { return x1 - x0; }
    double Height() const { return y1 - y0; }
};

// A link annotation of a page: its rectangle in the page's points, from the
// shown page's top left corner (as Render draws it), and where it goes.
struct Link {
    enum class Target {
        Page,    // `page` of this document (from 0)
        URI,     // `text`, as the file gives it: not yet resolved against BaseURI, nor checked
        NoPage,  // a destination this document does not have: named `text`, else `page` (from 0) when it
                 // gives a number, else -1
        Action,  // an action of another kind, `text` its name (Launch, GoToR, JavaScript, ...)
    };
    Bounds area;
    Target target = Target::Page;
    int32_t page = -1;
    std::string text;
};

// A PDF file open in a context of its own: one thread at a time.
class Document {
public:
    // Throws Failure when MuPDF cannot read the file as a PDF.
    Document(std::shared_ptr<const Root> root, const std::string& path);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // The same file again in a context of its own, for another thread, its
    // pages drawn with the same parts.
    std::unique_ptr<Document> OpenAgain() const;

    // What of a page Render and RenderBands draw, and code that runs a page
    // given by WithPage is to draw; as a viewer shows it unless set.
    void DrawParts(PageParts drawn) { parts = drawn; }
    PageParts Parts() const { return parts; }
    // What this document's context was cloned from: a context for another thread is cloned from it too.
    std::shared_ptr<const Root> Contexts() const { return root; }

    // Locked until a user password is given; the empty one is tried (it
    // opens a file that has only an owner password).
    bool NeedsPassword();
    // The cross-reference table was rebuilt because the file was damaged.
    bool WasRepaired();
    // The pages the page tree holds, counted without loading any page, and
    // not taken from the count the file claims, which may be anything.
    // Throws Failure.
    int32_t PageCount();
    // The page as a viewer shows it: crop box, turned by the page's rotation,
    // in points. Throws Failure.
    Bounds PageBounds(int32_t page);
    // The page stretched to exactly width x height pixels, antialiased, on
    // opaque white; RGBA when `alpha`, else RGB. What MuPDF says of an
    // embedded font it cannot load is not kept among the messages: the
    // picture names the font. Throws Failure.
    Picture Render(int32_t page, int32_t width, int32_t height, bool alpha);
    // The same picture in bands of `bandRows` rows (the last may be fewer),
    // top down, each handed to `take` with its first row's number before the
    // next is drawn: the page is run once into a display list and each band
    // drawn from it into one pixmap, so only a band's pixels are held. A band
    // lies on whole pixels, so its rows are those of Render's picture.
    // Gives the fonts its text is drawn in that the PDF does not give, as
    // Render's picture does. Throws Failure; what `take` throws passes through.
    std::vector<FontSubstitution> RenderBands(int32_t page, int32_t width, int32_t height, bool alpha,
                                              int32_t bandRows,
                                              const std::function<void(const Picture& band, int32_t top)>& take);

    // The page's link annotations that have an area and a destination or an
    // action. What MuPDF says reading them is not kept among the messages.
    // Throws Failure when the page cannot be loaded.
    std::vector<Link> Links(int32_t page);
    // The catalog's base for relative URIs (/URI /Base); empty when it gives none.
    std::string BaseURI();

    // Loads the page for code of this folder that runs it through a device of
    // its own (the vector recorder), and drops it after `use`, which may
    // throw. Throws Failure when the page cannot be loaded.
    void WithPage(int32_t page, const std::function<void(fz_context*, fz_page*)>& use);
    // The file's objects for code of this folder that reads what no page
    // load reads (the page tree's pages' transitions), through the
    // document's context; `use` calls MuPDF inside an fz_try of its own.
    void WithObjects(const std::function<void(fz_context*, pdf_document*)>& use);

    // What MuPDF said since the last ClearMessages, buffered repeats included.
    const Messages& Said();
    void ClearMessages();

private:
    // Every page is loaded through this. Throws Failure.
    PagePtr LoadPage(int32_t page);
    // MuPDF's map of the page tree, made before the first page is loaded:
    // without it, finding a page walks the tree from its root.
    void UsePageTree();
    // The page's pictures in ICC-based spaces converted to sRGB as MuPDF
    // decodes them, for the page about to run; what loading them says is not
    // kept (where the page draws one, MuPDF says it again).
    void ManageColours(fz_page* page);

    std::shared_ptr<const Root> root;
    std::string path;
    std::unique_ptr<Messages> messages;  // outlives the context, which reports into it until dropped
    ContextPtr context;
    DocumentPtr document;
    std::unique_ptr<ColourManagedPictures> colours;  // holds pictures of the document
    int32_t pageCount = -1;      // not yet counted
    bool treeCounted = false;    // pageCount is the tree's pages, as MuPDF's map of it lists them
    bool treeTried = false;
    bool treeLoaded = false;     // to be dropped with the document
    PageParts parts = PageParts::Shown;
};

}  // namespace mupdf
