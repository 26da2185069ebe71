#pragma once

#include <mupdf/fitz.h>

#include "driver/pdf/pageparts.h"

// Runs the page through `device` as fz_run_page does, with `parts` of it:
// its content, then (PageParts::Shown) its annotations' appearances, its
// links' borders and its form fields. Called inside an fz_try: MuPDF's errors
// pass through, and a run the cookie aborts ends quietly, as fz_run_page's.
void RunPage(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie,
             PageParts parts);
