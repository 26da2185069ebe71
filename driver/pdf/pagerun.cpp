#include "driver/pdf/pagerun.h"

#include "driver/pdf/linkborders.h"

namespace {

// As MuPDF runs each part of a page: an abort ends the part without an error,
// and the device is not told of what it leaves unclosed.
void RunLinkBorders(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie)
{
    fz_try(ctx) DrawLinkBorders(ctx, page, device, transform, cookie);
    fz_catch(ctx)
    {
        device->close_device = nullptr;
        if (fz_caught(ctx) != FZ_ERROR_ABORT) fz_rethrow(ctx);
    }
}

}  // namespace

void RunPage(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie,
             PageParts parts)
{
    fz_run_page_contents(ctx, page, device, transform, cookie);
    if (parts == PageParts::ContentOnly) return;
    fz_run_page_annots(ctx, page, device, transform, cookie);
    // Links after the other annotations, under the form fields, which a
    // viewer keeps on top to be filled in.
    RunLinkBorders(ctx, page, device, transform, cookie);
    fz_run_page_widgets(ctx, page, device, transform, cookie);
}
