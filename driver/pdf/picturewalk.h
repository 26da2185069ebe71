#pragma once

// The pictures a PDF page may draw, found in its objects before MuPDF runs
// it: its resources, the forms, patterns, Type 3 fonts and soft-mask groups
// they name, and its annotations' appearances. The file is hostile: every
// read is guarded, objects are visited once (references may loop) and a
// bounded number of them, nesting bounded too.

#include <cstddef>
#include <functional>
#include <set>
#include <vector>

#include <mupdf/pdf.h>

// Runs MuPDF calls that may throw; false when one did. `calls` holds no C++
// object that needs destroying: MuPDF leaves it by longjmp.
template <typename Calls>
bool TryCalls(fz_context* ctx, Calls&& calls)
{
    bool ok = true;
    fz_try(ctx) calls();
    fz_catch(ctx) ok = false;
    return ok;
}

// Reads of PDF objects that never throw: a failed one gives nothing.
class GuardedReads {
public:
    explicit GuardedReads(fz_context* ctx) : ctx(ctx) {}
    pdf_obj* Get(pdf_obj* dict, pdf_obj* key) const;
    const char* Name(pdf_obj* obj) const;  // "" for anything but a name
    bool NameIs(pdf_obj* obj, pdf_obj* name) const;
    bool IsStream(pdf_obj* obj) const;
    int ArrayLength(pdf_obj* array) const;  // 0 for anything but an array
    pdf_obj* ArrayItem(pdf_obj* array, int i) const;
    // A dictionary's values, at most `most` of them.
    std::vector<pdf_obj*> Values(pdf_obj* dict, size_t most) const;

    fz_context* const ctx;
};

class PagePictureWalk {
public:
    PagePictureWalk(fz_context* ctx, int mostNesting, size_t mostVisits)
        : reads(ctx), mostNesting(mostNesting), mostVisits(mostVisits)
    {
    }
    // Hands `picture` every XObject of the page that is not a form, once.
    void Walk(pdf_page* page, const std::function<void(pdf_obj*)>& picture);
    // No more pictures are handed over.
    void Stop() { stopped = true; }

    const GuardedReads reads;

private:
    void Resources(pdf_obj* resources, int depth);
    void XObject(pdf_obj* xobject, int depth);
    void Annotations(pdf_obj* annotations);
    bool FirstVisit(pdf_obj* obj);
    std::vector<pdf_obj*> Values(pdf_obj* dict) const;

    const int mostNesting;
    const size_t mostVisits;
    const std::function<void(pdf_obj*)>* picture = nullptr;
    std::set<int> seen;
    size_t visits = 0;
    bool stopped = false;
};
