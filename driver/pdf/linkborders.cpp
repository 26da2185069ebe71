#include "driver/pdf/linkborders.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// False when an entry is not a number of 0 or more. Throws MuPDF errors.
bool ReadDashes(fz_context* ctx, pdf_obj* array, LinkBorder* border)
{
    const int count = std::min(pdf_array_len(ctx, array), kMostBorderDashes);
    for (int i = 0; i < count; ++i) {
        pdf_obj* entry = pdf_array_get(ctx, array, i);
        if (!pdf_is_number(ctx, entry)) return false;
        const float length = pdf_to_real(ctx, entry);
        if (!(length >= 0)) return false;
        border->dashes[i] = length;
    }
    border->dashCount = count;
    return true;
}

// /BS: a width (1 when not a number), a style, and for /S /D a dash array
// (3 on, 3 off when it has none that can be read).
void ReadBorderStyle(fz_context* ctx, pdf_obj* style, LinkBorder* border)
{
    pdf_obj* width = pdf_dict_get(ctx, style, PDF_NAME(W));
    border->width = pdf_is_number(ctx, width) ? pdf_to_real(ctx, width) : 1;
    pdf_obj* kind = pdf_dict_get(ctx, style, PDF_NAME(S));
    if (pdf_name_eq(ctx, kind, PDF_NAME(D))) {
        pdf_obj* dashes = pdf_dict_get(ctx, style, PDF_NAME(D));
        if (!pdf_is_array(ctx, dashes) || !ReadDashes(ctx, dashes, border)) {
            border->dashCount = 1;
            border->dashes[0] = 3;
        }
    } else if (pdf_name_eq(ctx, kind, PDF_NAME(U))) {
        border->underline = true;
    }
}

// /Border: corner radii (not drawn), the width, and a dash array. False when
// it is not that.
bool ReadBorderArray(fz_context* ctx, pdf_obj* array, LinkBorder* border)
{
    const int count = pdf_array_len(ctx, array);
    if (count != 3 && count != 4) return false;
    for (int i = 0; i < 3; ++i)
        if (!pdf_is_number(ctx, pdf_array_get(ctx, array, i))) return false;
    border->width = pdf_array_get_real(ctx, array, 2);
    if (count == 4) {
        pdf_obj* dashes = pdf_array_get(ctx, array, 3);
        if (!pdf_is_array(ctx, dashes) || !ReadDashes(ctx, dashes, border)) return false;
    }
    return true;
}

// False for an empty /C, which draws no border.
bool ReadColor(fz_context* ctx, pdf_obj* color, LinkBorder* border)
{
    border->color[0] = border->color[1] = border->color[2] = 0;
    if (!pdf_is_array(ctx, color)) return true;
    const int count = pdf_array_len(ctx, color);
    if (count == 0) return false;
    if (count != 3) return true;  // grey and CMYK borders are drawn black, as pdftoppm draws them
    for (int i = 0; i < 3; ++i) {
        pdf_obj* entry = pdf_array_get(ctx, color, i);
        const float value = pdf_is_number(ctx, entry) ? pdf_to_real(ctx, entry) : 0;
        border->color[i] = value >= 0 && value <= 1 ? value : 0;
    }
    return true;
}

// Reads one entry of /Annots; false when it is no link with a border, or
// cannot be read.
bool TryReadLinkBorder(fz_context* ctx, pdf_document* document, pdf_obj* annotations, int index, LinkBorder* border)
{
    int drawn = 0;
    fz_var(drawn);
    fz_try(ctx) drawn = ReadLinkBorder(ctx, document, pdf_array_get(ctx, annotations, index), border) ? 1 : 0;
    fz_catch(ctx) drawn = 0;
    return drawn != 0;
}

// The border's outline, stroked. Throws MuPDF errors.
void StrokeBorder(fz_context* ctx, fz_device* device, const LinkBorder* border, fz_matrix ctm)
{
    fz_path* path = nullptr;
    fz_stroke_state* stroke = nullptr;
    fz_var(path);
    fz_var(stroke);
    fz_try(ctx)
    {
        const fz_rect& r = border->rect;
        path = fz_new_path(ctx);
        fz_moveto(ctx, path, r.x0, r.y0);
        fz_lineto(ctx, path, r.x1, r.y0);
        if (!border->underline) {
            fz_lineto(ctx, path, r.x1, r.y1);
            fz_lineto(ctx, path, r.x0, r.y1);
            fz_closepath(ctx, path);
        }
        stroke = fz_new_stroke_state_with_dash_len(ctx, border->dashCount);
        stroke->linewidth = border->width;
        stroke->dash_len = border->dashCount;
        stroke->dash_phase = 0;
        for (int i = 0; i < border->dashCount; ++i) stroke->dash_list[i] = border->dashes[i];
        fz_stroke_path(ctx, device, path, stroke, ctm, fz_device_rgb(ctx), border->color, 1, fz_default_color_params);
    }
    fz_always(ctx)
    {
        fz_drop_stroke_state(ctx, stroke);
        fz_drop_path(ctx, path);
    }
    fz_catch(ctx) fz_rethrow(ctx);
}

}  // namespace

bool ReadLinkBorder(fz_context* ctx, pdf_document* document, pdf_obj* annotation, LinkBorder* border)
{
    *border = LinkBorder{};
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, annotation, PDF_NAME(Subtype)), PDF_NAME(Link))) return false;
    if (pdf_dict_get_int(ctx, annotation, PDF_NAME(F)) & (PDF_ANNOT_IS_HIDDEN | PDF_ANNOT_IS_NO_VIEW)) return false;
    pdf_obj* content = pdf_dict_get(ctx, annotation, PDF_NAME(OC));
    if (content && pdf_is_ocg_hidden(ctx, document, nullptr, "View", content)) return false;
    pdf_obj* rect = pdf_dict_get(ctx, annotation, PDF_NAME(Rect));
    if (pdf_array_len(ctx, rect) < 4) return false;
    for (int i = 0; i < 4; ++i)
        if (!pdf_is_number(ctx, pdf_array_get(ctx, rect, i))) return false;
    border->rect = pdf_to_rect(ctx, rect);

    border->width = 1;
    pdf_obj* style = pdf_dict_get(ctx, annotation, PDF_NAME(BS));
    pdf_obj* array = pdf_dict_get(ctx, annotation, PDF_NAME(Border));
    if (pdf_is_dict(ctx, style))
        ReadBorderStyle(ctx, style, border);
    else if (pdf_is_array(ctx, array) && !ReadBorderArray(ctx, array, border))
        return false;
    if (!(border->width > 0)) return false;
    if (border->dashCount > 0 &&
        std::all_of(border->dashes, border->dashes + border->dashCount, [](float length) { return length == 0; }))
        return false;
    return ReadColor(ctx, pdf_dict_get(ctx, annotation, PDF_NAME(C)), border);
}

bool FitBorderToPage(LinkBorder* border, fz_rect page)
{
    fz_rect& r = border->rect;
    const float values[] = {r.x0, r.y0, r.x1, r.y1, border->width, page.x0, page.y0, page.x1, page.y1};
    if (!std::all_of(std::begin(values), std::end(values), [](float v) { return std::isfinite(v); })) return false;
    for (int i = 0; i < border->dashCount; ++i)
        if (!std::isfinite(border->dashes[i])) return false;
    if (!(border->width > 0) || page.x1 <= page.x0 || page.y1 <= page.y0 || r.x1 < r.x0 || r.y1 < r.y0) return false;

    const double pageWidth = double{page.x1} - page.x0, pageHeight = double{page.y1} - page.y0;
    const double diagonal = std::hypot(pageWidth, pageHeight);
    // Wider, it covers as much of the page as a viewer shows of it.
    border->width = static_cast<float>(std::min<double>(border->width, diagonal));
    const double half = border->width / 2.0;

    // What the stroke covers: the rectangle grown by half the width less the
    // rectangle shrunk by it; for an underline, a band along the bottom edge.
    const double x0 = r.x0, y0 = r.y0, x1 = r.x1, y1 = r.y1;
    const double coverTop = border->underline ? y0 + half : y1 + half;
    const double coverX0 = border->underline ? x0 : x0 - half, coverX1 = border->underline ? x1 : x1 + half;
    if (coverX1 <= page.x0 || coverX0 >= page.x1 || coverTop <= page.y0 || y0 - half >= page.y1) return false;
    if (!border->underline && x0 + half <= page.x0 && x1 - half >= page.x1 && y0 + half <= page.y0 &&
        y1 - half >= page.y1)
        return false;

    // An edge further off the page than the width and the page's own size
    // strokes nothing on it wherever it lies: the corners come in to there,
    // so every value stays within what a record holds.
    const double margin = diagonal + border->width;
    const auto clampX = [&](float x) {
        return static_cast<float>(std::clamp<double>(x, page.x0 - margin, page.x1 + margin));
    };
    const auto clampY = [&](float y) {
        return static_cast<float>(std::clamp<double>(y, page.y0 - margin, page.y1 + margin));
    };
    r = fz_make_rect(clampX(r.x0), clampY(r.y0), clampX(r.x1), clampY(r.y1));

    if (border->dashCount > 0) {
        double period = 0;
        for (int i = 0; i < border->dashCount; ++i) period += border->dashes[i];
        if (border->dashCount % 2 == 1) period *= 2;  // an odd array repeats on and off in turn
        const double length = border->underline ? double{r.x1} - r.x0 : 2 * ((double{r.x1} - r.x0) + (double{r.y1} - r.y0));
        if (length / period > kMostBorderDashRepeats) border->dashCount = 0;
    }
    return true;
}

void DrawLinkBorders(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie)
{
    pdf_page* pdfPage = pdf_page_from_fz_page(ctx, page);
    if (!pdfPage) return;
    fz_rect box;
    fz_matrix pageToShown;
    pdf_page_transform(ctx, pdfPage, &box, &pageToShown);
    const fz_matrix ctm = fz_concat(pageToShown, transform);
    pdf_obj* annotations = pdf_dict_get(ctx, pdfPage->obj, PDF_NAME(Annots));
    const int count = std::min(pdf_array_len(ctx, annotations), kMostLinkBorders);
    for (int i = 0; i < count; ++i) {
        if (cookie && cookie->abort) return;
        LinkBorder border;
        if (!TryReadLinkBorder(ctx, pdfPage->doc, annotations, i, &border)) continue;
        if (!FitBorderToPage(&border, box)) continue;
        StrokeBorder(ctx, device, &border, ctm);
    }
}
