#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/core/backgroundjobs.h"
#include "driver/pdf/pageparts.h"
#include "swf/fdt.h"
#include "swf/fprimitives.h"

// What a vector page cannot draw, drawn as a picture: a rectangle of the page
// rendered by MuPDF's draw device on white, to lie over the vector content
// there. The rectangle is whole pixels at `pixelsPerTwip`, so that the
// picture is shown one pixel a pixel.
struct RasterPatch {
    std::unique_ptr<FDT> bitmap;  // JPEG or lossless, whichever is smaller
    FRect area{0, 0, 0, 0};       // twips, the pixels' edges
    int32_t width = 0;            // pixels
    int32_t height = 0;
};

// The most pixels a patch has: a larger one is rendered coarser.
constexpr int64_t kMaxPatchPixels = int64_t{1} << 24;

// None when MuPDF cannot render the page. `parts` are those the page is
// recorded with; `cookie` (may be null) is the run's, to stop it by. The
// picture is encoded on `encoders` when there are any (borrowed).
std::optional<RasterPatch> RenderRasterPatch(fz_context* ctx, fz_page* page, fz_matrix pageToTwips,
                                             const FRect& area, double pixelsPerTwip,
                                             PageParts parts = PageParts::Shown, fz_cookie* cookie = nullptr,
                                             BackgroundJobs* encoders = nullptr);

// The rectangles merged where they overlap (or touch), so that no pixel is
// rendered twice.
std::vector<FRect> MergedAreas(std::vector<FRect> areas);
