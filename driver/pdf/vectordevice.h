#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/pdf/curvefit.h"
#include "driver/pdf/pagebudget.h"
#include "driver/pdf/polygonops.h"
#include "driver/pdf/rasterpatch.h"
#include "driver/pdf/shapewriter.h"
#include "driver/pdf/textbuilder.h"
#include "driver/pdf/vectorpage.h"
#include "swf/fdtshapes.h"

// The MuPDF device that records what a page draws as SWF tags (see
// vectorpage.h). Every callback lands in a method here; an exception in one is
// kept and rethrown by Finish, never let through MuPDF's C frames.
class VectorRecorder {
public:
    // `pageArea` in twips: what a shading that extends without end fills.
    VectorRecorder(fz_context* ctx, VectorResources& resources, const VectorOptions& options, Bounds pageArea);
    ~VectorRecorder();
    VectorRecorder(const VectorRecorder&) = delete;
    VectorRecorder& operator=(const VectorRecorder&) = delete;

    // The device to run the page through; the recorder owns it.
    fz_device* Device() const { return device; }

    // The page recorded so far, as tags; clips still open are closed.
    VectorPage Finish();

    const std::vector<VectorFallback>& Fallbacks() const { return summary.fallbacks; }
    // A picture over everything recorded so far (every clip closed first).
    void PlacePatch(RasterPatch&& patch);
    void PatchFailed() { summary.patchFailed = true; }
    // The fonts text was drawn in (filled, stroked or clipped with).
    const std::set<const fz_font*>& DrawnFonts() const { return drawnFonts; }

    void FillPath(const fz_path* path, bool evenOdd, fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                  fz_color_params params);
    void StrokePath(const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                    const float* color, float alpha, fz_color_params params);
    void ClipPath(const fz_path* path, bool evenOdd, fz_matrix ctm);
    void ClipStrokePath(const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm);
    void FillText(const fz_text* text, fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                  fz_color_params params);
    void StrokeText(const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                    const float* color, float alpha, fz_color_params params);
    void ClipText(const fz_text* text, fz_matrix ctm);
    void ClipStrokeText(const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm);
    void FillShade(fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params params);
    void FillImage(fz_image* image, fz_matrix ctm, float alpha);
    void FillImageMask(fz_image* image, fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha,
                       fz_color_params params);
    void ClipImageMask(fz_image* image, fz_matrix ctm);
    void PopClip();
    void BeginMask(fz_rect area);
    void EndMask();
    void BeginGroup(fz_rect area, bool knockout, int blendmode, float alpha);
    void EndGroup();
    void BeginTile(fz_rect area);
    void EndTile();

    void Fail(std::exception_ptr error);
    // Whether the page has spent its budget (the time is checked); the run
    // given `cookie` is then told to stop.
    bool OverBudget();
    void Spend(const std::string& why);
    void StopRunWith(fz_cookie* cookie) { runCookie = cookie; }
    PageBudget& Budget() { return budget; }

private:
    struct Placement {
        uint16_t characterID = 0;
        uint16_t clipDepth = 0;  // 0: not a clip layer
        bool clip = false;
        double alpha = 1;        // a colour transform's alpha multiplier, for bitmaps
        double scale = 1;        // the placement's scale (a picture's sprite drawn larger)
    };
    struct Clip {
        enum class Kind { Layer, Empty, SoftMask, ImageMask, Nothing };
        Kind kind = Kind::Nothing;
        size_t placement = 0;     // Layer: its index in `placements`
        size_t firstInside = 0;   // the placements count when it began
        Bounds area;
        fz_image* mask = nullptr;  // ImageMask: kept until popped
        fz_matrix ctm{};
    };
    struct Group {
        double alpha = 1;
        Bounds area;
        bool reported = false;
        std::vector<Bounds> drawn;
    };

    // Nothing is recorded inside a mask's definition, a tile, an empty clip,
    // or once the character IDs the page may draw are nearly all drawn.
    bool Suppressed() const { return suppressed > 0 || outOfCharacters; }
    // Whether the next drawing could take the IDs past the page's limit;
    // lists the page for a fallback the first time.
    bool OutOfCharacters();
    double GroupAlpha() const;
    FColor Color(fz_colorspace* cs, const float* color, double alpha, fz_color_params params) const;
    Bounds ClipArea() const;
    void Note(const Bounds& area, const std::string& reason);
    // A placement of a new definition (after what is still gathered); false
    // when it has none to place. `drawn`: its bounds were counted as drawn.
    bool Place(std::unique_ptr<FDT> definition, const Bounds& bounds, double alpha = 1, bool drawn = false,
               double scale = 1);
    // The part of an area, or of lines, inside the box the page's records
    // keep to (the page and a margin around it).
    Outline BoxedFill(Outline outline) const;
    Outline BoxedLines(Outline lines) const;
    // Takes the contours' edges from the budget; false when it is spent.
    bool TakeEdges(const std::vector<QuadContour>& contours);
    void Drawn(const Bounds& bounds);
    void PushClipLayer(const Outline& area);
    Outline StrokeOutline(const Outline& userSpace, const fz_stroke_state* stroke, fz_matrix ctm) const;
    // The share of a line its dashes cover when their pattern repeats within
    // a pixel (the line then drawn whole, that much lighter); -1 otherwise.
    double FineDashCoverage(const fz_stroke_state* stroke, double expansion) const;
    void StrokeUserOutline(const Outline& userSpace, const fz_stroke_state* stroke, fz_matrix ctm, FColor color);
    // Non-zero outlines whose contours overlap, unioned: players fill even-odd.
    Outline PreparedFill(Outline outline, bool evenOdd) const;
    void FillOutline(Outline outline, bool evenOdd, std::unique_ptr<FFillStyle> fill);
    // Every glyph's outline in the space `toSpace` maps the text's user space
    // to, but those of fonts whose glyphs may not be embedded: their area
    // (`ctm`, widened by `stroke` where stroked) is listed for a picture.
    Outline TextOutline(const fz_text* text, fz_matrix toSpace, fz_matrix ctm, const fz_stroke_state* stroke);
    // Whether the font's glyphs may go into the movie (see MayEmbedGlyphs).
    bool Embeddable(const fz_font* font);
    // Lists the area of a span whose glyphs may not be embedded for a picture.
    void NotePictureText(const fz_text_span* span, fz_matrix ctm, const fz_stroke_state* stroke);
    void PlaceBitmap(const PDFImageTable::Bitmap& bitmap, fz_matrix ctm, double alpha);
    // How a picture drawn at `ctm` is stored: its cap from the size of its place.
    PDFImageTable::Storage ImageStorage(fz_matrix ctm) const;
    // Type 3 glyphs drawn as the font's procedures draw them; uncoloured ones in `color`.
    void RunType3Glyphs(const fz_text_span* span, fz_matrix ctm, std::optional<FColor> color);
    // Places the text or the outlines gathered so far: before anything else
    // is drawn over them.
    void FlushText();
    void FlushShapes();
    void FlushDrawing();

    fz_context* ctx;
    fz_device* device = nullptr;
    VectorResources& resources;
    std::set<const fz_font*> drawnFonts;
    std::map<const fz_font*, bool> embeddable;  // the page's fonts, once asked
    VectorOptions options;
    Bounds pageArea;
    Bounds recordBox;  // pageArea with a margin: what lies outside it is not seen
    PageBudget budget;
    fz_cookie* runCookie = nullptr;  // borrowed: the run of the page being recorded

    std::vector<std::unique_ptr<FDT>> definitions;
    std::vector<Placement> placements;
    std::vector<Clip> clips;
    std::vector<Group> groups;
    std::unique_ptr<StaticTextBuilder> openText;  // consecutive glyphs that share a matrix
    ShapeBatch openShapes;                        // consecutive outlines
    int suppressed = 0;            // inside a mask's definition, a tile or an empty clip
    bool placingMaskedImage = false;  // the image its image-mask clip belongs to
    bool outOfCharacters = false;
    std::optional<FColor> type3Color;   // the text colour while its Type 3 glyphs run
    VectorPageSummary summary;
    std::exception_ptr failure;
};
