#pragma once

#include <memory>
#include <set>
#include <vector>

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include "driver/pdf/fontsubstitution.h"

// The fonts a page may draw with, loaded before it is drawn: MuPDF keeps a
// font it has loaded, so the page draws with those very objects, and what it
// says while loading one is known to be of that font. A font that cannot be
// loaded is told apart from the page's damage: what MuPDF said of it is kept
// back, and the rest passed on as the context's callbacks would have had it.
class PageFontCheck {
public:
    // Who draws the page's text: MuPDF's renderer, with its own faces, or
    // the vector recorder, which draws Symbol's from a face of Times' design.
    enum class DrawnBy { Renderer, Recorder };

    PageFontCheck(fz_context* ctx, fz_page* page, DrawnBy drawer = DrawnBy::Renderer);
    ~PageFontCheck();
    PageFontCheck(const PageFontCheck&) = delete;
    PageFontCheck& operator=(const PageFontCheck&) = delete;

    // Whether any of the page's fonts is a substitute.
    bool Any() const { return !substitutes.empty(); }
    // Those of the fonts the page's text was drawn with that are substitutes.
    std::vector<FontSubstitution> Substitutions(const std::set<const fz_font*>& drawn) const;

private:
    struct FontDrop {
        fz_context* ctx = nullptr;
        void operator()(pdf_font_desc* font) const noexcept { pdf_drop_font(ctx, font); }
    };
    struct Loaded {
        std::unique_ptr<pdf_font_desc, FontDrop> desc;  // held, so the page draws with its font
        FontSubstitution substitution;
    };

    void LoadFonts(pdf_document* doc, pdf_obj* resources, int depth);
    void Load(pdf_document* doc, pdf_obj* resources, pdf_obj* reference);

    fz_context* ctx;
    DrawnBy drawer;
    std::set<pdf_obj*> visited;  // resource dictionaries and fonts, against loops
    std::vector<Loaded> substitutes;
};
