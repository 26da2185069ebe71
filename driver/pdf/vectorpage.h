#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/pdf/fontsubstitution.h"
#include "driver/pdf/pagebudget.h"
#include "driver/pdf/pageparts.h"
#include "driver/pdf/pdffonts.h"
#include "driver/pdf/pdfimages.h"
#include "swf/fdt.h"
#include "swf/fdtsprite.h"
#include "swf/fprimitives.h"

// A PDF page as SWF content drawn the way the page draws it: paths as
// shapes, text as static text in embedded glyph outlines, images as bitmaps,
// clips as clip layers, all inside one sprite of one frame. What SWF cannot
// draw (soft masks, blend modes, transparency groups whose parts overlap,
// shadings other than axial and radial ones or with more colours than 8
// stops follow, tiling patterns, image-mask clips) is drawn as near as it
// goes and listed as needing a fallback, with its area: the caller renders
// the page as a picture instead, or has the recording cover those areas with
// pictures (patchFallbacks). Recording is not thread-safe: it draws
// character IDs and fills movie-wide tables.

// What the pages of one movie share: each font and each picture once.
struct VectorResources {
    PDFFontTable fonts;
    PDFImageTable images;
};

struct VectorOptions {
    // How far a curve may stray when cubics become quadratics or a curve is
    // flattened, in twips: a twentieth of a pixel on a slide 1920 pixels wide.
    double curveTolerance = 1.0;
    // How far a gradient's colours may stray between its stops, in levels of
    // 255; DefineShape3 holds at most 8 stops. A ramp that 8 stops cannot
    // follow within four times this is drawn as near as they come and listed
    // for a fallback.
    double gradientTolerance = 2.0;
    // The width of the thinnest line, in twips: PDF's hairlines (width 0) and
    // lines thinner than this are drawn this wide, as a viewer draws them a
    // pixel wide (a pixel of a movie shown at its own size).
    double hairlineWidth = 20;
    // Cover each area listed for a fallback (merged where they overlap) with
    // a picture of the page there, rendered by MuPDF at `patchPixelsPerTwip`
    // and placed over everything else in the sprite.
    bool patchFallbacks = false;
    double patchPixelsPerTwip = 1.0 / 20;  // a pixel of the movie at its own size
    // The highest character ID the page may draw (the movie's counter is
    // shared with the rest of the show): past it, what is left of the page is
    // not recorded and the page is listed for a fallback as a whole.
    uint16_t maxCharacterID = 0xFFF0;
    // Pictures that are not passed through as their own JPEG bytes are
    // stored as the smaller of lossless and JPEG at this quality.
    int32_t jpegQuality = 90;
    // A picture is stored with at most this many pixels a twip of its place
    // on the sprite, across and down (0: as many as it has); a larger one is
    // scaled down, a JPEG then encoded anew.
    double maxImagePixelsPerTwip = 0;
    // What recording the page may spend: past it, the recording stops and
    // says why (VectorPageSummary::overBudget).
    PageBudget::Limits budget;
    // What of the page is recorded, and drawn in its patches.
    PageParts parts = PageParts::Shown;
    // Where the page's pictures are encoded while it goes on being drawn
    // (borrowed; null: each at once). Their tags wait for their bytes when
    // first written.
    BackgroundJobs* encoders = nullptr;
    // What the contexts that decode pictures on `encoders` are cloned from
    // (null: pictures are decoded as the page is drawn).
    std::shared_ptr<const mupdf::Root> contexts;
};

// Something the page draws that the recording could not say in SWF.
struct VectorFallback {
    FRect area{0, 0, 0, 0};  // twips, in the sprite's space
    std::string reason;
};

struct VectorPageSummary {
    uint32_t edges = 0;       // edge records of the page's shapes (glyphs not counted)
    uint32_t shapes = 0;      // DefineShape3 tags (outlines drawn one after another share one)
    uint32_t texts = 0;       // DefineText2 tags (consecutive text sharing a direction shares one)
    uint32_t newBitmaps = 0;  // bitmaps this page was the first to draw
    uint32_t placements = 0;  // objects in the sprite (clip layers included)
    uint32_t clipLayers = 0;
    // The page's definitions and sprite as written, the pictures it is the
    // first to draw apart (they may still be being encoded).
    uint64_t bytes = 0;
    std::vector<VectorFallback> fallbacks;
    uint32_t patches = 0;     // pictures covering the fallbacks' areas (patchFallbacks)
    bool patchFailed = false;  // one of them could not be rendered or placed
    // Why the recording stopped short, its budget spent (empty: it did not):
    // the page is to be drawn as a picture.
    std::string overBudget;
    // What MuPDF said of an error it stopped drawing the page at: what was
    // drawn before it is recorded, as a viewer shows it (empty: none).
    std::string damage;

    // Whether something on the page is drawn other than as the PDF draws it
    // and no picture covers it.
    bool NeedsFallback() const { return !fallbacks.empty() && (patches == 0 || patchFailed); }
};

struct VectorPage {
    // Shapes, texts and the bitmaps first drawn here, to be written before
    // the sprite (and after the resources' fonts, see below).
    std::vector<std::unique_ptr<FDT>> definitions;
    // One frame: every object placed at increasing depths, clip layers with
    // their clip depths. Placed at the slide area's origin, it draws the page
    // where `pageToTwips` put it.
    std::unique_ptr<FDTDefineSprite> sprite;
    VectorPageSummary summary;
    // Fonts the page's text is drawn in that the PDF does not give.
    std::vector<FontSubstitution> substitutedFonts;
};

// Records the page. Bitmaps the page is the first to draw stay pending in
// `resources.images` until the caller commits them (the page is shown as
// vectors) or discards them. `pageToTwips` maps the page's points (as MuPDF's
// fz_run_page takes them: the page's own transform applied) to twips in the
// slide area. Fonts go into `resources.fonts`: write its TakeFonts() before
// the first page's definitions once every page has been recorded. Throws
// std::runtime_error when MuPDF cannot bound the page, or when the movie's
// character IDs have run out before the page's sprite.
VectorPage RecordVectorPage(fz_context* ctx, fz_page* page, fz_matrix pageToTwips,
                            VectorResources& resources, const VectorOptions& options = {});

// The bytes a tag takes when written (header included).
uint64_t WrittenSize(FTag& tag);
