#include "driver/pdf/picturewalk.h"

pdf_obj* GuardedReads::Get(pdf_obj* dict, pdf_obj* key) const
{
    pdf_obj* value = nullptr;
    if (dict) TryCalls(ctx, [&] { value = pdf_dict_get(ctx, dict, key); });
    return value;
}

const char* GuardedReads::Name(pdf_obj* obj) const
{
    const char* name = "";
    if (obj) TryCalls(ctx, [&] { name = pdf_to_name(ctx, obj); });
    return name ? name : "";
}

bool GuardedReads::NameIs(pdf_obj* obj, pdf_obj* name) const
{
    int same = 0;
    if (obj) TryCalls(ctx, [&] { same = pdf_name_eq(ctx, obj, name); });
    return same != 0;
}

bool GuardedReads::IsStream(pdf_obj* obj) const
{
    int stream = 0;
    if (obj) TryCalls(ctx, [&] { stream = pdf_is_stream(ctx, obj); });
    return stream != 0;
}

int GuardedReads::ArrayLength(pdf_obj* array) const
{
    int n = 0;
    if (array) TryCalls(ctx, [&] { n = pdf_is_array(ctx, array) ? pdf_array_len(ctx, array) : 0; });
    return n;
}

pdf_obj* GuardedReads::ArrayItem(pdf_obj* array, int i) const
{
    pdf_obj* item = nullptr;
    if (array) TryCalls(ctx, [&] { item = pdf_array_get(ctx, array, i); });
    return item;
}

std::vector<pdf_obj*> GuardedReads::Values(pdf_obj* dict, size_t most) const
{
    int n = 0;
    if (!dict) return {};
    TryCalls(ctx, [&] { n = pdf_is_dict(ctx, dict) ? pdf_dict_len(ctx, dict) : 0; });
    std::vector<pdf_obj*> values;
    for (int i = 0; i < n && values.size() < most; ++i) {
        pdf_obj* value = nullptr;
        TryCalls(ctx, [&] { value = pdf_dict_get_val(ctx, dict, i); });
        if (value) values.push_back(value);
    }
    return values;
}

void PagePictureWalk::Walk(pdf_page* page, const std::function<void(pdf_obj*)>& handOver)
{
    if (!page || !page->obj) return;
    picture = &handOver;
    pdf_obj* resources = nullptr;
    pdf_obj* annotations = nullptr;
    TryCalls(reads.ctx, [&] {
        resources = pdf_dict_get_inheritable(reads.ctx, page->obj, PDF_NAME(Resources));
        annotations = pdf_dict_get(reads.ctx, page->obj, PDF_NAME(Annots));
    });
    Resources(resources, 0);
    Annotations(annotations);
    picture = nullptr;
}

std::vector<pdf_obj*> PagePictureWalk::Values(pdf_obj* dict) const
{
    return reads.Values(dict, visits < mostVisits ? mostVisits - visits : 0);
}

void PagePictureWalk::Resources(pdf_obj* resources, int depth)
{
    if (!resources || depth > mostNesting || !FirstVisit(resources)) return;
    for (pdf_obj* xobject : Values(reads.Get(resources, PDF_NAME(XObject)))) XObject(xobject, depth);
    for (pdf_obj* pattern : Values(reads.Get(resources, PDF_NAME(Pattern))))
        if (FirstVisit(pattern)) Resources(reads.Get(pattern, PDF_NAME(Resources)), depth + 1);
    for (pdf_obj* font : Values(reads.Get(resources, PDF_NAME(Font))))
        if (FirstVisit(font)) Resources(reads.Get(font, PDF_NAME(Resources)), depth + 1);
    for (pdf_obj* state : Values(reads.Get(resources, PDF_NAME(ExtGState))))
        XObject(reads.Get(reads.Get(state, PDF_NAME(SMask)), PDF_NAME(G)), depth);
}

void PagePictureWalk::XObject(pdf_obj* xobject, int depth)
{
    if (!xobject || stopped || !FirstVisit(xobject)) return;
    if (reads.NameIs(reads.Get(xobject, PDF_NAME(Subtype)), PDF_NAME(Form))) {
        Resources(reads.Get(xobject, PDF_NAME(Resources)), depth + 1);
        return;
    }
    (*picture)(xobject);
}

void PagePictureWalk::Annotations(pdf_obj* annotations)
{
    for (int i = 0, n = reads.ArrayLength(annotations); i < n; ++i) {
        pdf_obj* normal = reads.Get(reads.Get(reads.ArrayItem(annotations, i), PDF_NAME(AP)), PDF_NAME(N));
        if (reads.IsStream(normal)) {
            XObject(normal, 0);
        } else {
            for (pdf_obj* state : Values(normal)) XObject(state, 0);
        }
    }
}

bool PagePictureWalk::FirstVisit(pdf_obj* obj)
{
    if (++visits > mostVisits) return false;
    int number = 0;
    TryCalls(reads.ctx, [&] { number = pdf_to_num(reads.ctx, obj); });
    return number <= 0 || seen.insert(number).second;
}
