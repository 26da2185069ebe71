#pragma once

// The borders viewers draw around links. MuPDF draws no Link annotation, but
// pdftoppm and the viewers built on the same library stroke each link's
// rectangle in its /C colour, /BS or /Border giving the width and style
// (hyperref's red and green boxes are these): drawn here the same way, into
// the device the page runs into.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

// The most entries of a dash array read, as pdftoppm reads them.
constexpr int kMostBorderDashes = 10;
// The most entries of a page's /Annots looked at for link borders.
constexpr int kMostLinkBorders = 10000;
// A dashed border that would be cut into more dashes than this is stroked
// whole: its dashes would be finer than any pixel shows apart.
constexpr double kMostBorderDashRepeats = 10000;

// A link's border in the page's PDF space: its rectangle stroked centred on
// the edges (half the width outside), or its bottom edge alone (/S /U).
struct LinkBorder {
    fz_rect rect;  // x0 <= x1, y0 <= y1
    float width;
    float color[3];  // DeviceRGB
    int dashCount;   // 0: solid
    float dashes[kMostBorderDashes];
    bool underline;
};

// The border a link annotation asks for, as pdftoppm reads it: /BS (a
// dictionary) before /Border, and 1 point solid when neither is given; a
// /Border array that is not 3 or 4 numbers and a dash array, or whose dash
// array holds anything but numbers of 0 or more, draws none; /C of three
// numbers is that RGB colour (a number outside 0 to 1 taken as 0), an empty
// /C draws none, and any other /C, or none, is black. False when it draws
// none (also for a width of 0 or less, an all-zero dash array, a hidden or
// NoView link, and one whose optional content is hidden). Throws MuPDF errors.
bool ReadLinkBorder(fz_context* ctx, pdf_document* document, pdf_obj* annotation, LinkBorder* border);

// Holds a border read from a file to what strokes the same on the page
// (`page`, its box in the same space): corners far off the page are pulled
// in, a width past the page's diagonal is cut to it, dashes too fine to
// count are stroked whole. False when nothing of it would show on the page,
// or a value is not finite.
bool FitBorderToPage(LinkBorder* border, fz_rect page);

// Strokes the borders of the page's links through `device`, with the
// transform fz_run_page is given. The caller holds an fz_try; MuPDF's errors
// from the device pass through it, an annotation that cannot be read is
// skipped, and the cookie's abort stops it between borders.
void DrawLinkBorders(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie);
