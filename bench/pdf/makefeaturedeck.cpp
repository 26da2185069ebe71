// Writes a deck of 960 x 540 point pages drawn with cairo, one page for each
// kind of thing a slide draws, for comparing a movie of its pages with a PDF
// rasteriser's pictures of them:
//   makefeaturedeck output.pdf
// Prints what the deck holds as one JSON object: each page's title, and each
// link's page (from 1), rectangle in points from the page's top left, and
// URI or target page.
// cairo embeds every font it draws with, so a page in a font that is not
// embedded has to come from elsewhere (makepdf's titles are in one).

#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/cairo_pdf.h"

namespace {

constexpr double kWidth = 960, kHeight = 540;
constexpr int kLinkPage = 8;

struct Link {
    int page;
    double x, y, width, height;
    std::string uri;  // empty: a link to `target`
    int target = 0;
};

const std::vector<Link>& Links()
{
    static const std::vector<Link> links = {
        {kLinkPage, 80, 300, 340, 90, "https://example.org/corvanex", 0},
        {kLinkPage, 540, 300, 340, 90, "", 3},
    };
    return links;
}

void Title(cairo_t* cr, const char* text)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 34);
    cairo_set_source_rgb(cr, 0.1, 0.15, 0.35);
    cairo_move_to(cr, 40, 60);
    cairo_show_text(cr, text);
    cairo_new_path(cr);  // no current point for the page's first arc to start from
}

// The logo every page shows in its top right corner: one picture, so that
// the PDF holds it once and draws it on each page.
cairo_surface_t* Logo()
{
    static cairo_surface_t* logo = [] {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 96, 96);
        cairo_t* cr = cairo_create(image);
        cairo_arc(cr, 48, 48, 44, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.85, 0.3, 0.1);
        cairo_fill(cr);
        cairo_rectangle(cr, 28, 28, 40, 40);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill(cr);
        cairo_arc(cr, 48, 48, 12, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.1, 0.3, 0.7);
        cairo_fill(cr);
        cairo_destroy(cr);
        return image;
    }();
    return logo;
}

void PlaceLogo(cairo_t* cr)
{
    cairo_save(cr);
    cairo_translate(cr, kWidth - 110, 20);
    cairo_scale(cr, 0.8, 0.8);
    cairo_set_source_surface(cr, Logo(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

// A font of cairo's own drawing, which cairo writes as a Type 3 font: each
// letter a bar as high as its place in the alphabet, under a dot.
cairo_status_t DrawBarGlyph(cairo_scaled_font_t*, unsigned long glyph, cairo_t* cr, cairo_text_extents_t* extents)
{
    const double height = 0.2 + 0.5 * static_cast<double>(glyph % 26) / 25;
    cairo_rectangle(cr, 0.1, -height, 0.35, height);
    cairo_arc(cr, 0.275, -height - 0.15, 0.1, 0, 2 * M_PI);
    cairo_fill(cr);
    extents->x_advance = 0.6;
    return CAIRO_STATUS_SUCCESS;
}

void Fonts(cairo_t* cr)
{
    struct Face {
        const char* family;
        cairo_font_slant_t slant;
        cairo_font_weight_t weight;
        double size;
    };
    const Face faces[] = {
        {"DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 28},
        {"DejaVu Sans", CAIRO_FONT_SLANT_OBLIQUE, CAIRO_FONT_WEIGHT_BOLD, 24},
        {"DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 26},
        {"DejaVu Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL, 20},
        {"DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 18},
        {"DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 11},
    };
    double y = 120;
    for (const Face& face : faces) {
        cairo_select_font_face(cr, face.family, face.slant, face.weight);
        cairo_set_font_size(cr, face.size);
        cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
        cairo_move_to(cr, 40, y);
        cairo_show_text(cr, "Sphinx of black quartz, judge my vow: 0123456789 (\xC3\xA9\xC3\xA0\xC3\xBC \xE2\x82\xAC)");
        y += face.size * 1.6;
    }
    // Letters beyond a simple font's 256 codes: cairo writes a composite (CID) font.
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 24);
    cairo_move_to(cr, 680, y + 20);
    cairo_show_text(cr, "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xD0\x9A\xD0\xB8\xD1\x80 \xE2\x86\x92 \xE2\x88\x91");
    cairo_set_source_rgba(cr, 0.1, 0.45, 0.2, 0.7);
    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 56);
    cairo_move_to(cr, 40, y + 40);
    cairo_show_text(cr, "Translucent 56 pt");

    cairo_font_face_t* bars = cairo_user_font_face_create();
    cairo_user_font_face_set_render_glyph_func(bars, DrawBarGlyph);
    cairo_set_font_face(cr, bars);
    cairo_set_font_size(cr, 40);
    cairo_set_source_rgb(cr, 0.6, 0.1, 0.5);
    cairo_move_to(cr, 680, y + 75);
    cairo_show_text(cr, "azbycx");
    cairo_font_face_destroy(bars);
}

void RotatedAndClippedText(cairo_t* cr)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    const double angles[] = {-30, 15, 45, 90};
    for (int i = 0; i < 4; ++i) {
        cairo_save(cr);
        cairo_translate(cr, 80 + i * 110, 300);
        cairo_rotate(cr, angles[i] * M_PI / 180);
        cairo_set_font_size(cr, 22);
        cairo_set_source_rgb(cr, 0.2 * i, 0.1, 0.6 - 0.1 * i);
        cairo_move_to(cr, 0, 0);
        cairo_show_text(cr, "turned text");
        cairo_restore(cr);
    }
    // Text cut by a circle, and large text cut by a band.
    cairo_new_path(cr);  // showing text leaves a current point
    cairo_save(cr);
    cairo_arc(cr, 680, 220, 110, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.95, 0.9, 0.75);
    cairo_paint(cr);
    cairo_set_font_size(cr, 30);
    cairo_set_source_rgb(cr, 0.5, 0.1, 0.1);
    for (int line = 0; line < 7; ++line) {
        cairo_move_to(cr, 540, 120 + line * 34);
        cairo_show_text(cr, "clipped by a circle");
    }
    cairo_restore(cr);
    cairo_save(cr);
    cairo_rectangle(cr, 520, 400, 400, 40);
    cairo_clip(cr);
    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 90);
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.5);
    cairo_move_to(cr, 520, 460);
    cairo_show_text(cr, "Banded");
    cairo_restore(cr);
    // Text as the clip of a gradient.
    cairo_save(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 70);
    cairo_move_to(cr, 40, 500);
    cairo_text_path(cr, "Gradient");
    cairo_clip(cr);
    cairo_pattern_t* ramp = cairo_pattern_create_linear(40, 0, 400, 0);
    cairo_pattern_add_color_stop_rgb(ramp, 0, 0.9, 0.2, 0.1);
    cairo_pattern_add_color_stop_rgb(ramp, 1, 0.1, 0.2, 0.9);
    cairo_set_source(cr, ramp);
    cairo_paint(cr);
    cairo_pattern_destroy(ramp);
    cairo_restore(cr);
}

void Gradients(cairo_t* cr)
{
    cairo_pattern_t* two = cairo_pattern_create_linear(40, 0, 440, 0);
    cairo_pattern_add_color_stop_rgb(two, 0, 0.05, 0.2, 0.6);
    cairo_pattern_add_color_stop_rgb(two, 1, 0.95, 0.85, 0.2);
    cairo_set_source(cr, two);
    cairo_rectangle(cr, 40, 90, 400, 100);
    cairo_fill(cr);
    cairo_pattern_destroy(two);

    cairo_pattern_t* stops = cairo_pattern_create_linear(0, 220, 0, 500);
    const double colours[][3] = {{1, 0, 0}, {1, 0.6, 0}, {1, 1, 0}, {0, 0.7, 0.2}, {0, 0.4, 1}, {0.5, 0, 0.6}};
    for (int i = 0; i < 6; ++i) cairo_pattern_add_color_stop_rgb(stops, i / 5.0, colours[i][0], colours[i][1], colours[i][2]);
    cairo_set_source(cr, stops);
    cairo_rectangle(cr, 40, 220, 180, 280);
    cairo_fill(cr);
    cairo_pattern_destroy(stops);

    // A ramp along a slanted axis, in a turned rectangle.
    cairo_save(cr);
    cairo_translate(cr, 340, 360);
    cairo_rotate(cr, -0.4);
    cairo_pattern_t* slanted = cairo_pattern_create_linear(-90, -60, 90, 60);
    cairo_pattern_add_color_stop_rgb(slanted, 0, 0.1, 0.6, 0.5);
    cairo_pattern_add_color_stop_rgb(slanted, 0.5, 0.95, 0.95, 0.95);
    cairo_pattern_add_color_stop_rgb(slanted, 1, 0.6, 0.1, 0.3);
    cairo_set_source(cr, slanted);
    cairo_rectangle(cr, -90, -70, 180, 140);
    cairo_fill(cr);
    cairo_pattern_destroy(slanted);
    cairo_restore(cr);

    cairo_pattern_t* radial = cairo_pattern_create_radial(620, 220, 0, 620, 220, 110);
    cairo_pattern_add_color_stop_rgb(radial, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(radial, 0.6, 0.2, 0.6, 0.9);
    cairo_pattern_add_color_stop_rgb(radial, 1, 0.05, 0.1, 0.3);
    cairo_set_source(cr, radial);
    cairo_arc(cr, 620, 220, 110, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(radial);

    // A focus away from the centre.
    cairo_pattern_t* focal = cairo_pattern_create_radial(790, 400, 10, 820, 420, 100);
    cairo_pattern_add_color_stop_rgb(focal, 0, 1, 0.95, 0.6);
    cairo_pattern_add_color_stop_rgb(focal, 1, 0.7, 0.2, 0.05);
    cairo_set_source(cr, focal);
    cairo_rectangle(cr, 710, 310, 220, 210);
    cairo_fill(cr);
    cairo_pattern_destroy(focal);

    // Stops that fade out over a dark bar.
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_rectangle(cr, 470, 360, 220, 40);
    cairo_fill(cr);
    cairo_pattern_t* fade = cairo_pattern_create_linear(470, 0, 690, 0);
    cairo_pattern_add_color_stop_rgba(fade, 0, 1, 0.5, 0, 1);
    cairo_pattern_add_color_stop_rgba(fade, 1, 1, 0.5, 0, 0);
    cairo_set_source(cr, fade);
    cairo_rectangle(cr, 470, 340, 220, 80);
    cairo_fill(cr);
    cairo_pattern_destroy(fade);
}

void Strokes(cairo_t* cr)
{
    const cairo_line_cap_t caps[] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
    for (int i = 0; i < 3; ++i) {
        cairo_set_line_cap(cr, caps[i]);
        cairo_set_line_width(cr, 24);
        cairo_set_source_rgb(cr, 0.2, 0.3 + 0.2 * i, 0.7);
        cairo_move_to(cr, 70, 110 + i * 50);
        cairo_line_to(cr, 330, 110 + i * 50);
        cairo_stroke(cr);
        // The path itself, thin, to show how far each cap reaches.
        cairo_set_line_width(cr, 1);
        cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
        cairo_move_to(cr, 70, 110 + i * 50);
        cairo_line_to(cr, 330, 110 + i * 50);
        cairo_stroke(cr);
    }
    const cairo_line_join_t joins[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    for (int i = 0; i < 3; ++i) {
        cairo_set_line_join(cr, joins[i]);
        cairo_set_line_width(cr, 18);
        cairo_set_source_rgb(cr, 0.1 + 0.3 * i, 0.5, 0.2);
        const double x = 400 + i * 180;
        cairo_move_to(cr, x, 200);
        cairo_line_to(cr, x + 40, 100);
        cairo_line_to(cr, x + 80, 200);
        cairo_line_to(cr, x + 120, 130);
        cairo_stroke(cr);
    }
    // A closed outline with sharp corners past the miter limit.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, 4);
    cairo_set_line_width(cr, 10);
    cairo_set_source_rgb(cr, 0.5, 0.2, 0.6);
    cairo_move_to(cr, 80, 300);
    cairo_line_to(cr, 300, 320);
    cairo_line_to(cr, 90, 340);
    cairo_close_path(cr);
    cairo_stroke(cr);

    const double patterns[][4] = {{20, 10, 0, 0}, {4, 6, 0, 0}, {30, 8, 2, 8}};
    const int counts[] = {2, 2, 4};
    for (int i = 0; i < 3; ++i) {
        cairo_set_dash(cr, patterns[i], counts[i], 5.0 * i);
        cairo_set_line_width(cr, 6);
        cairo_set_line_cap(cr, i == 1 ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_move_to(cr, 400, 260 + i * 40);
        cairo_line_to(cr, 900, 260 + i * 40);
        cairo_stroke(cr);
    }
    // A dashed curve, and a hairline.
    const double dash[] = {12, 6};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_line_width(cr, 4);
    cairo_set_source_rgb(cr, 0.8, 0.3, 0.1);
    cairo_move_to(cr, 80, 480);
    cairo_curve_to(cr, 250, 360, 450, 560, 620, 430);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_line_width(cr, 0.5);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, 660, 500);
    cairo_line_to(cr, 920, 420);
    cairo_stroke(cr);
}

void NestedClips(cairo_t* cr)
{
    // A rectangle, a circle within it and a turned square: each clip narrows the last.
    cairo_save(cr);
    cairo_rectangle(cr, 60, 100, 420, 400);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.85, 0.9, 0.95);
    cairo_paint(cr);
    cairo_arc(cr, 270, 300, 190, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.3, 0.6, 0.9);
    cairo_paint(cr);
    cairo_save(cr);
    cairo_translate(cr, 330, 300);
    cairo_rotate(cr, M_PI / 5);
    cairo_rectangle(cr, -120, -120, 240, 240);
    cairo_restore(cr);
    cairo_clip(cr);
    for (int i = 0; i < 12; ++i) {
        cairo_set_source_rgb(cr, i % 2, 0.4, 1 - i % 2);
        cairo_rectangle(cr, 60 + i * 36, 100, 36, 400);
        cairo_fill(cr);
    }
    cairo_restore(cr);

    // An even-odd clip (a ring) over a grid of dots.
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_arc(cr, 720, 300, 180, 0, 2 * M_PI);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 720, 300, 90, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.95, 0.85, 0.3);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.5, 0.2, 0.1);
    for (int y = 120; y < 490; y += 30) {
        for (int x = 540; x < 910; x += 30) {
            cairo_arc(cr, x, y, 9, 0, 2 * M_PI);
            cairo_fill(cr);
        }
    }
    cairo_restore(cr);
}

void Images(cairo_t* cr)
{
    // A checkerboard to show through the transparent picture.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            cairo_set_source_rgb(cr, (x + y) % 2 ? 0.2 : 0.9, 0.8, (x + y) % 2 ? 0.9 : 0.3);
            cairo_rectangle(cr, 500 + x * 40, 100 + y * 40, 40, 40);
            cairo_fill(cr);
        }
    }
    cairo_surface_t* opaque = cairotest::Picture(160, 120, false, 0);
    cairo_surface_t* alpha = cairotest::Picture(160, 120, true, 90);
    cairo_save(cr);
    cairo_translate(cr, 40, 100);
    cairo_scale(cr, 2.5, 2.5);
    cairo_set_source_surface(cr, opaque, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, 500, 100);
    cairo_scale(cr, 2.5, 2.5);
    cairo_set_source_surface(cr, alpha, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    // The opaque picture again, turned and small.
    cairo_save(cr);
    cairo_translate(cr, 200, 440);
    cairo_rotate(cr, -0.3);
    cairo_scale(cr, 0.8, 0.8);
    cairo_set_source_surface(cr, opaque, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(opaque);
    cairo_surface_destroy(alpha);
}

// A five-pointed star drawn in one stroke crosses itself: non-zero fills its
// middle; two rectangles in one path overlap the same way round.
void BlendAndOverlap(cairo_t* cr)
{
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_source_rgb(cr, 0.9, 0.6, 0.1);
    for (int i = 0; i < 5; ++i) {
        const double angle = -M_PI / 2 + i * 4 * M_PI / 5;
        const double x = 220 + 150 * std::cos(angle), y = 290 + 150 * std::sin(angle);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    cairo_rectangle(cr, 60, 420, 160, 80);
    cairo_rectangle(cr, 140, 440, 160, 80);
    cairo_fill(cr);

    cairo_set_source_rgb(cr, 0.95, 0.95, 0.8);
    cairo_rectangle(cr, 470, 100, 440, 400);
    cairo_fill(cr);
    const double circles[][5] = {{620, 240, 1, 0.2, 0.2}, {760, 240, 0.2, 0.8, 0.2}, {690, 360, 0.2, 0.3, 1}};
    cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
    for (const auto& c : circles) {
        cairo_set_source_rgb(cr, c[2], c[3], c[4]);
        cairo_arc(cr, c[0], c[1], 110, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void LinkPage(cairo_t* cr)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 26);
    for (const Link& link : Links()) {
        if (link.page != kLinkPage) continue;
        const std::string attributes = link.uri.empty()
                                           ? "page=" + std::to_string(link.target)
                                           : "uri='" + link.uri + "'";
        const std::string rect = " rect=[" + std::to_string(link.x) + " " + std::to_string(link.y) + " " +
                                 std::to_string(link.width) + " " + std::to_string(link.height) + "]";
        cairo_tag_begin(cr, CAIRO_TAG_LINK, (attributes + rect).c_str());
        cairo_set_source_rgb(cr, link.uri.empty() ? 0.2 : 0.1, link.uri.empty() ? 0.55 : 0.3, 0.8);
        cairo_rectangle(cr, link.x, link.y, link.width, link.height);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, link.x + 20, link.y + 55);
        cairo_show_text(cr, link.uri.empty() ? "to the gradients" : "example.org");
        cairo_tag_end(cr, CAIRO_TAG_LINK);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_move_to(cr, 80, 200);
    cairo_show_text(cr, "A web address and a page of this deck:");
}

struct Page {
    const char* title;
    void (*draw)(cairo_t*);
};

const Page kPages[] = {
    {"Fonts of each kind", Fonts},
    {"Rotated and clipped text", RotatedAndClippedText},
    {"Gradients", Gradients},
    {"Caps, joins and dashes", Strokes},
    {"Nested clips", NestedClips},
    {"Images with and without alpha", Images},
    {"A blend mode and overlapping paths", BlendAndOverlap},
    {"Links", LinkPage},
};
static_assert(std::size(kPages) == kLinkPage, "the links are on the last page");

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makefeaturedeck output.pdf\n");
        return 2;
    }
    std::vector<cairotest::PageDrawing> pages;
    for (const Page& page : kPages) {
        pages.push_back([&page](cairo_t* cr) {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_paint(cr);
            Title(cr, page.title);
            page.draw(cr);
            PlaceLogo(cr);
        });
    }
    try {
        cairotest::WritePDF(argv[1], kWidth, kHeight, pages);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "makefeaturedeck: %s\n", error.what());
        return 1;
    }
    // Titles and addresses hold no quotes or backslashes to escape.
    std::printf("{\"titles\": [");
    for (const Page& page : kPages) std::printf("%s\"%s\"", &page == kPages ? "" : ", ", page.title);
    std::printf("],\n \"links\": [");
    for (const Link& link : Links()) {
        std::printf("%s{\"page\": %d, \"rect\": [%g, %g, %g, %g], ", &link == Links().data() ? "" : ",\n  ", link.page,
                    link.x, link.y, link.width, link.height);
        if (link.uri.empty())
            std::printf("\"target\": %d}", link.target);
        else
            std::printf("\"uri\": \"%s\"}", link.uri.c_str());
    }
    std::printf("]}\n");
    return 0;
}
