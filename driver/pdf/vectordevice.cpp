#include "driver/pdf/vectordevice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/pdf/deferredbitmap.h"
#include "driver/pdf/curvefit.h"
#include "driver/pdf/gradientfit.h"
#include "driver/pdf/outlineclip.h"
#include "driver/pdf/pagebudget.h"
#include "driver/pdf/pathoutline.h"
#include "driver/pdf/pdfimages.h"
#include "driver/pdf/polygonops.h"
#include "driver/pdf/rasterpatch.h"
#include "driver/pdf/recordfields.h"
#include "driver/pdf/shapewriter.h"
#include "driver/pdf/steppedgradient.h"
#include "driver/pdf/substitutefonts.h"
#include "driver/pdf/textbuilder.h"
#include "driver/pdf/vectorpage.h"
#include "swf/fct.h"
#include "swf/fdtshapes.h"
#include "swf/fdtsprite.h"
#include "swf/fdttext.h"

class VectorRecorder::Recording {
public:
    // `pageArea` in twips: what a shading that extends without end fills.
    Recording(fz_context* ctx, VectorResources& resources, const VectorOptions& options, Bounds pageArea);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

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
    // The innermost knockout group's paths so far drawn as they are, the
    // group to be patched: it holds more than paths.
    void EndKnockoutPaths();
    // The gradient steps gathered, drawn as one fill or as they are.
    void FlushGradientSteps();
    // A soft mask and what it masks are drawn by MuPDF into a picture with
    // alpha, placed where they come in the drawing: from begin_mask to the
    // pop_clip that ends what it masks, the device's calls go to the
    // capture's device (a display list) instead of the recorder.
    fz_device* CaptureDevice() const { return capture.device; }
    // Starts a capture at a begin_mask; false when there is none to start
    // (the mask is then listed for a patch as before).
    bool BeginMaskCapture();
    // A clip or mask begun in the capture, or ended: at the end of the mask
    // it began with, the picture is drawn and placed.
    void CapturedPush() { ++capture.depth; }
    void CapturedPop();
    // The same for a tiling pattern: from begin_tile to its end_tile,
    // covering `area` (twips).
    bool BeginTileCapture(fz_rect area);
    void CapturedTileBegin() { ++capture.tiles; }
    void CapturedTileEnd();
    void CaptureFailed() { capture.failed = true; }
    // The end of a mask's definition in the capture.
    void CapturedMaskEnd();
    // What a drawing call in the capture covers (twips; an infinite or
    // empty rectangle: the clips' area).
    void CapturedDrawing(fz_rect area);
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
        bool rectangle = false;    // Layer: its area is an upright rectangle
        Bounds inside;             // Layer: what was placed through it
        fz_image* mask = nullptr;  // ImageMask: kept until popped
        fz_matrix ctm{};
        bool knockoutClip = false;  // Nothing: one of a knockout group's clipAreas
    };
    // A path a knockout group fills or strokes, its area and colour.
    struct KnockoutPart {
        RuledOutline area;
        FColor color;
    };
    struct Capture {
        fz_display_list* list = nullptr;
        fz_device* device = nullptr;  // the list's
        int depth = 0;                // masks and clips begun and not yet popped
        bool failed = false;
        int tiles = 0;                // tiles begun and not yet ended
        bool tile = false;            // it began at a tile: it ends with it
        bool masking = true;          // its mask is being defined: what is drawn is not shown
        Bounds drawn;                 // what its drawing calls after that cover (twips)
    };
    struct Group {
        double alpha = 1;
        Bounds area;
        bool reported = false;
        std::vector<Bounds> drawn;
        bool knockout = false;
        bool patched = false;  // knockout: drawn as it is, to be patched
        std::vector<KnockoutPart> parts;
        std::vector<Outline> clipAreas;  // knockout: the clips its paths are cut to
        uint32_t objects = 0;            // drawn in it (not in groups inside it)
    };

    // Nothing is recorded inside a mask's definition, a tile, an empty clip,
    // or once the character IDs the page may draw are nearly all drawn.
    bool Suppressed() const { return suppressed > 0 || outOfCharacters; }
    // Whether the next drawing could take the IDs past the page's limit;
    // lists the page for a fallback the first time.
    bool OutOfCharacters();
    double GroupAlpha() const;
    // Whether a path is kept for the knockout group it is drawn in.
    bool InKnockoutGroup() const;
    void AddKnockoutPart(Outline area, bool evenOdd, FColor color);
    // A knockout group's paths, each where none drawn after it lies: they
    // then overlap nowhere, as the group shows them.
    void DrawKnockedOut(std::vector<KnockoutPart> parts, const Bounds& area);
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
    // Takes the clip layer at `index` out, with its shape, what it held kept.
    void DropClipLayer(size_t index);
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
    // The glyph a text item draws, and its character: for MuPDF's own
    // Symbol, the glyph of the same character in the Symbol face.
    struct DrawnGlyph {
        fz_font* font;
        int gid;
        int ucs;
    };
    DrawnGlyph Drawn(const fz_text_span* span, const fz_text_item& item);
    // Lists the area of a span whose glyphs may not be embedded for a picture.
    void NotePictureText(const fz_text_span* span, fz_matrix ctm, const fz_stroke_state* stroke);
    void PlaceBitmap(const PDFImageTable::Bitmap& bitmap, fz_matrix ctm, double alpha);
    // A picture of `width` x `height` pixels filling `area` (twips, its
    // pixels' edges), placed over what was drawn before it.
    void PlacePicture(std::unique_ptr<FDT> bitmap, const FRect& area, int32_t width, int32_t height);
    // The captured mask's picture (see BeginMaskCapture); false when it
    // cannot be drawn.
    bool PlaceCapture(fz_display_list* list, const Bounds& drawn);
    // A shading SWF's gradients cannot say, as a picture with alpha over
    // `area`; false when it cannot be drawn.
    bool PlaceShadePicture(fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params params, const Bounds& area);
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
    // The face Symbol is drawn with, once a page's text needs it (null: not installed).
    fz_font* symbolFace = nullptr;
    bool symbolFaceLoaded = false;
    fz_font* SymbolFace();
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
    SteppedGradient gradientSteps;                // consecutive fills of a stepped gradient
    Capture capture;                              // a soft mask being captured
    int suppressed = 0;            // inside a mask's definition, a tile or an empty clip
    bool placingMaskedImage = false;  // the image its image-mask clip belongs to
    bool outOfCharacters = false;
    std::optional<FColor> type3Color;   // the text colour while its Type 3 glyphs run
    VectorPageSummary summary;
    std::exception_ptr failure;
};

namespace {

// ---------------------------------------------------------------------------
// The device: MuPDF's callbacks, each handed to the recorder.

struct RecorderDevice {
    fz_device super;
    VectorRecorder::Recording* recorder;
};

// Once the page has spent its budget nothing more is recorded, and the run
// is told to stop at its next operator.
// A knockout group is drawn as vectors while it holds only filled and
// stroked paths, and a run of gradient steps is gathered while only filled
// paths come: any other call ends them. KnockoutPaths::Keeps: a call that
// does not end the first; FillsPath: neither.
enum class KnockoutPaths { Spoils, Keeps, FillsPath };

template <KnockoutPaths knockout = KnockoutPaths::Spoils, typename F>
void Guarded(fz_device* dev, F&& call)
{
    VectorRecorder::Recording& recorder = *reinterpret_cast<RecorderDevice*>(dev)->recorder;
    if (recorder.OverBudget()) return;
    try {
        if constexpr (knockout != KnockoutPaths::FillsPath) recorder.FlushGradientSteps();
        if constexpr (knockout == KnockoutPaths::Spoils) recorder.EndKnockoutPaths();
        call(recorder);
    } catch (const PolygonsTooComplex& complex) {
        recorder.Spend(complex.what());
    } catch (...) {
        recorder.Fail(std::current_exception());
    }
    recorder.OverBudget();
}

VectorRecorder::Recording& RecordingOf(fz_device* dev) { return *reinterpret_cast<RecorderDevice*>(dev)->recorder; }

// While a soft mask is captured, hands the call to the capture's device
// (a failure there spoils the capture, not the page); true then.
template <typename F>
bool Captured(fz_context* ctx, fz_device* dev, F&& call)
{
    VectorRecorder::Recording& recorder = RecordingOf(dev);
    fz_device* target = recorder.CaptureDevice();
    if (!target) return false;
    fz_try(ctx) call(target);
    fz_catch(ctx) recorder.CaptureFailed();
    return true;
}

// What a drawing call in a capture covers, as `bound` gives it.
template <typename F>
void NoteCaptured(fz_context* ctx, fz_device* dev, F&& bound)
{
    fz_rect area = fz_infinite_rect;
    fz_try(ctx) area = bound();
    fz_catch(ctx) area = fz_infinite_rect;
    Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.CapturedDrawing(area); });
}

void DevFillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm, fz_colorspace* cs,
                 const float* color, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_fill_path(ctx, d, path, evenOdd, ctm, cs, color, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_bound_path(ctx, path, nullptr, ctm); });
        return;
    }
    Guarded<KnockoutPaths::FillsPath>(dev, [&](VectorRecorder::Recording& r) { r.FillPath(path, evenOdd != 0, ctm, cs, color, alpha, params); });
}

void DevStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                   fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_stroke_path(ctx, d, path, stroke, ctm, cs, color, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_bound_path(ctx, path, stroke, ctm); });
        return;
    }
    Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.StrokePath(path, stroke, ctm, cs, color, alpha, params); });
}

void DevClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm, fz_rect scissor)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_clip_path(ctx, d, path, evenOdd, ctm, scissor); })) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.ClipPath(path, evenOdd != 0, ctm); });
}

void DevClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                       fz_matrix ctm, fz_rect scissor)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_clip_stroke_path(ctx, d, path, stroke, ctm, scissor); })) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.ClipStrokePath(path, stroke, ctm); });
}

void DevFillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
                 const float* color, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_fill_text(ctx, d, text, ctm, cs, color, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_bound_text(ctx, text, nullptr, ctm); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.FillText(text, ctm, cs, color, alpha, params); });
}

void DevStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                   fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_stroke_text(ctx, d, text, stroke, ctm, cs, color, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_bound_text(ctx, text, stroke, ctm); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.StrokeText(text, stroke, ctm, cs, color, alpha, params); });
}

void DevClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_clip_text(ctx, d, text, ctm, scissor); })) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.ClipText(text, ctm); });
}

void DevClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                       fz_matrix ctm, fz_rect scissor)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_clip_stroke_text(ctx, d, text, stroke, ctm, scissor); })) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.ClipStrokeText(text, stroke, ctm); });
}

void DevIgnoreText(fz_context*, fz_device*, const fz_text*, fz_matrix) {}

void DevFillShade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_fill_shade(ctx, d, shade, ctm, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_bound_shade(ctx, shade, ctm); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.FillShade(shade, ctm, alpha, params); });
}

void DevFillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_fill_image(ctx, d, image, ctm, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_transform_rect(fz_unit_rect, ctm); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.FillImage(image, ctm, alpha); });
}

void DevFillImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                      const float* color, float alpha, fz_color_params params)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_fill_image_mask(ctx, d, image, ctm, cs, color, alpha, params); })) {
        NoteCaptured(ctx, dev, [&] { return fz_transform_rect(fz_unit_rect, ctm); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.FillImageMask(image, ctm, cs, color, alpha, params); });
}

void DevClipImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_clip_image_mask(ctx, d, image, ctm, scissor); })) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.ClipImageMask(image, ctm); });
}

void DevPopClip(fz_context* ctx, fz_device* dev)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_pop_clip(ctx, d); })) {
        Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.CapturedPop(); });
        return;
    }
    Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.PopClip(); });
}

void DevBeginMask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs, const float* bc,
                  fz_color_params params)
{
    const auto begin = [&](fz_device* d) { fz_begin_mask(ctx, d, area, luminosity, cs, bc, params); };
    if (Captured(ctx, dev, begin)) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    bool captured = false;
    Guarded(dev, [&](VectorRecorder::Recording& r) { captured = r.BeginMaskCapture(); });
    if (captured && Captured(ctx, dev, begin)) {
        RecordingOf(dev).CapturedPush();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.BeginMask(area); });
}

void DevEndMask(fz_context* ctx, fz_device* dev)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_end_mask(ctx, d); })) {
        RecordingOf(dev).CapturedMaskEnd();
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.EndMask(); });
}

void DevBeginGroup(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated, int knockout,
                   int blendmode, float alpha)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_begin_group(ctx, d, area, cs, isolated, knockout, blendmode, alpha); }))
        return;
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.BeginGroup(area, knockout != 0, blendmode, alpha); });
}

void DevEndGroup(fz_context* ctx, fz_device* dev)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_end_group(ctx, d); })) return;
    Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.EndGroup(); });
}

int DevBeginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep, fz_matrix ctm,
                 int id)
{
    int cached = 0;
    const auto begin = [&](fz_device* d) { cached = fz_begin_tile_id(ctx, d, area, view, xstep, ystep, ctm, id); };
    if (Captured(ctx, dev, begin)) {
        RecordingOf(dev).CapturedTileBegin();
        return cached;
    }
    // The area is in the pattern's space.
    const fz_rect covered = fz_transform_rect(area, ctm);
    bool captured = false;
    Guarded(dev, [&](VectorRecorder::Recording& r) { captured = r.BeginTileCapture(covered); });
    if (captured && Captured(ctx, dev, begin)) {
        RecordingOf(dev).CapturedTileBegin();
        return cached;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.BeginTile(covered); });
    return 0;  // not cached: MuPDF runs the tile's content once, which is left out
}

void DevEndTile(fz_context* ctx, fz_device* dev)
{
    if (Captured(ctx, dev, [&](fz_device* d) { fz_end_tile(ctx, d); })) {
        Guarded<KnockoutPaths::Keeps>(dev, [&](VectorRecorder::Recording& r) { r.CapturedTileEnd(); });
        return;
    }
    Guarded(dev, [&](VectorRecorder::Recording& r) { r.EndTile(); });
}

// MuPDF leaves a failed fz_try by longjmp: a local set inside it is kept in
// memory (fz_var) so that the value read afterwards is not a stale register.
fz_device* NewRecorderDevice(fz_context* ctx, VectorRecorder::Recording* recorder)
{
    RecorderDevice* dev = nullptr;
    fz_var(dev);
    fz_try(ctx) dev = fz_new_derived_device(ctx, RecorderDevice);
    fz_catch(ctx) dev = nullptr;
    if (!dev) return nullptr;
    dev->recorder = recorder;
    dev->super.fill_path = DevFillPath;
    dev->super.stroke_path = DevStrokePath;
    dev->super.clip_path = DevClipPath;
    dev->super.clip_stroke_path = DevClipStrokePath;
    dev->super.fill_text = DevFillText;
    dev->super.stroke_text = DevStrokeText;
    dev->super.clip_text = DevClipText;
    dev->super.clip_stroke_text = DevClipStrokeText;
    dev->super.ignore_text = DevIgnoreText;
    dev->super.fill_shade = DevFillShade;
    dev->super.fill_image = DevFillImage;
    dev->super.fill_image_mask = DevFillImageMask;
    dev->super.clip_image_mask = DevClipImageMask;
    dev->super.pop_clip = DevPopClip;
    dev->super.begin_mask = DevBeginMask;
    dev->super.end_mask = DevEndMask;
    dev->super.begin_group = DevBeginGroup;
    dev->super.end_group = DevEndGroup;
    dev->super.begin_tile = DevBeginTile;
    dev->super.end_tile = DevEndTile;
    return &dev->super;
}

// ---------------------------------------------------------------------------
// MuPDF calls that may throw, kept apart from any C++ object.

bool TryConvertColor(fz_context* ctx, fz_colorspace* cs, const float* color, float* rgb, fz_color_params params)
{
    bool ok = true;
    fz_try(ctx) fz_convert_color(ctx, cs, color, fz_device_rgb(ctx), rgb, nullptr, params);
    fz_catch(ctx) ok = false;
    return ok;
}

fz_path* TryGlyphPath(fz_context* ctx, fz_font* font, int gid, fz_matrix trm)
{
    fz_path* path = nullptr;
    fz_var(path);
    fz_try(ctx) path = fz_outline_glyph(ctx, font, gid, trm);
    fz_catch(ctx) path = nullptr;
    return path;
}

// For a character of Symbol's that the Symbol face may lack, one that looks
// the same (0: none).
char32_t SymbolAlternative(char32_t character)
{
    switch (character) {
    case 0x2206: return 0x0394;  // increment: Greek Delta
    case 0x2126: return 0x03A9;  // ohm: Greek Omega
    case 0x03D2: return 0x03A5;  // upsilon with hook: Upsilon
    case 0x2329: return 0x27E8;  // angle brackets
    case 0x232A: return 0x27E9;
    case 0x23AF: return 0x2014;  // horizontal line extension: an em dash
    default: return 0;
    }
}

// The glyph's name in the font, empty when it has none.
void TryGlyphName(fz_context* ctx, fz_font* font, int gid, char* name, int size)
{
    fz_try(ctx) fz_get_glyph_name(ctx, font, gid, name, size);
    fz_catch(ctx) name[0] = 0;
}

// The font's glyph for a character; 0 when it has none.
int TryEncodeCharacter(fz_context* ctx, fz_font* font, char32_t character)
{
    int gid = 0;
    fz_var(gid);
    fz_try(ctx) gid = fz_encode_character(ctx, font, static_cast<int>(character));
    fz_catch(ctx) gid = 0;
    return gid;
}

fz_rect TryBoundGlyph(fz_context* ctx, fz_font* font, int gid, fz_matrix trm)
{
    fz_rect rect = fz_empty_rect;
    fz_var(rect);
    fz_try(ctx) rect = fz_bound_glyph(ctx, font, gid, trm);
    fz_catch(ctx) rect = fz_empty_rect;
    return rect;
}

bool TryRunType3Glyph(fz_context* ctx, fz_font* font, int gid, fz_matrix trm, fz_device* dev)
{
    bool ok = true;
    fz_try(ctx) fz_run_t3_glyph(ctx, font, gid, trm, dev);
    fz_catch(ctx) ok = false;
    return ok;
}

fz_rect TryBoundShade(fz_context* ctx, fz_shade* shade, fz_matrix ctm)
{
    fz_rect rect = fz_infinite_rect;
    fz_var(rect);
    fz_try(ctx) rect = fz_bound_shade(ctx, shade, ctm);
    fz_catch(ctx) rect = fz_infinite_rect;
    return rect;
}

// What a page lists for text in a font whose glyphs may not go into the movie.
const char* const kPictureText = "text in a font whose licence does not allow embedding it";

// ---------------------------------------------------------------------------

// A sprite drawn this many times its size at most, for a picture whose
// pixels are drawn larger than a fill matrix can scale: past it, a pixel
// would be over 13 million stage pixels wide.
constexpr double kMaxSpriteScale = 4096;

Bounds ToBounds(fz_rect r)
{
    if (fz_is_infinite_rect(r) || fz_is_empty_rect(r)) return {};
    return {r.x0, r.y0, r.x1, r.y1, false};
}

Outline UnitSquare(fz_matrix ctm)
{
    return Transformed(RectangleOutline({0, 0, 1, 1, false}), ToAffine(ctm));
}

bool SameMatrix(fz_matrix a, fz_matrix b)
{
    const double scale = std::max({std::fabs(a.a), std::fabs(a.b), std::fabs(a.c), std::fabs(a.d), 1.0f});
    const double eps = scale * 1e-4;
    return std::fabs(a.a - b.a) < eps && std::fabs(a.b - b.b) < eps && std::fabs(a.c - b.c) < eps &&
           std::fabs(a.d - b.d) < eps && std::fabs(a.e - b.e) < 1 && std::fabs(a.f - b.f) < 1;
}

// A circle as four cubic arcs.
Outline Circle(double cx, double cy, double r)
{
    constexpr double k = 0.5522847498;
    OutlineContour c;
    c.closed = true;
    c.start = {cx + r, cy};
    auto arc = [&](OutlinePoint c1, OutlinePoint c2, OutlinePoint to) {
        c.segments.push_back({OutlineSegment::Kind::Cubic, c1, c2, to});
    };
    arc({cx + r, cy + k * r}, {cx + k * r, cy + r}, {cx, cy + r});
    arc({cx - k * r, cy + r}, {cx - r, cy + k * r}, {cx - r, cy});
    arc({cx - r, cy - k * r}, {cx - k * r, cy - r}, {cx, cy - r});
    arc({cx + k * r, cy - r}, {cx + r, cy - k * r}, {cx + r, cy});
    return {c};
}

StrokeStyle::Cap CapOf(fz_linecap cap)
{
    return cap == FZ_LINECAP_ROUND ? StrokeStyle::Cap::Round
           : cap == FZ_LINECAP_SQUARE ? StrokeStyle::Cap::Square
                                      : StrokeStyle::Cap::Butt;  // butt, and the triangular caps PDF has not
}

// A glyph's matrix in the text's space: the span's, moved to the glyph's origin.
fz_matrix GlyphMatrix(const fz_text_span& span, const fz_text_item& item)
{
    fz_matrix trm = span.trm;
    trm.e = item.x;
    trm.f = item.y;
    return trm;
}

}  // namespace

// ---------------------------------------------------------------------------

VectorRecorder::Recording::Recording(fz_context* ctx, VectorResources& resources, const VectorOptions& options,
                                     Bounds pageArea)
    : ctx(ctx), resources(resources), options(options), pageArea(pageArea), budget(options.budget)
{
    // A margin of the page's own size all round: whatever is drawn that far
    // out is not seen, and coordinates stay well inside a record's fields.
    if (!pageArea.empty) {
        const double margin = std::max({pageArea.xmax - pageArea.xmin, pageArea.ymax - pageArea.ymin, 400.0});
        recordBox = {std::max(pageArea.xmin - margin, -kMaxCoordinate), std::max(pageArea.ymin - margin, -kMaxCoordinate),
                     std::min(pageArea.xmax + margin, kMaxCoordinate), std::min(pageArea.ymax + margin, kMaxCoordinate),
                     false};
    }
    device = NewRecorderDevice(ctx, this);
    if (!device) throw std::runtime_error("cannot make a MuPDF device");
}

VectorRecorder::Recording::~Recording()
{
    for (Clip& clip : clips)
        if (clip.mask) fz_drop_image(ctx, clip.mask);
    fz_drop_font(ctx, symbolFace);
    fz_drop_device(ctx, capture.device);  // a run stopped inside a mask
    fz_drop_display_list(ctx, capture.list);
    fz_try(ctx) fz_close_device(ctx, device);
    fz_catch(ctx) {}
    fz_drop_device(ctx, device);
}

void VectorRecorder::Recording::Fail(std::exception_ptr error)
{
    if (!failure) failure = error;
}

bool VectorRecorder::Recording::OverBudget()
{
    if (!budget.Spent()) return false;
    if (runCookie) runCookie->abort = 1;
    return true;
}

void VectorRecorder::Recording::Spend(const std::string& why)
{
    budget.Spend(why);
    OverBudget();
}

Outline VectorRecorder::Recording::BoxedFill(Outline outline) const
{
    if (InsideBox(outline, recordBox)) return outline;
    return ClippedFill(outline, recordBox, options.curveTolerance);
}

Outline VectorRecorder::Recording::BoxedLines(Outline lines) const
{
    if (InsideBox(lines, recordBox)) return lines;
    return ClippedLines(lines, recordBox, options.curveTolerance);
}

bool VectorRecorder::Recording::TakeEdges(const std::vector<QuadContour>& contours)
{
    uint64_t count = 0;
    for (const QuadContour& contour : contours) count += contour.segments.size();
    if (budget.TakeEdges(count)) return true;
    OverBudget();
    return false;
}

bool VectorRecorder::Recording::OutOfCharacters()
{
    // One drawing takes a few IDs at most: what was gathered before it (a
    // text and a shape), a font, a bitmap and its shape.
    constexpr uint32_t kIDsADrawing = 8;
    if (!outOfCharacters && uint32_t{FLastCharacterID()} + kIDsADrawing > options.maxCharacterID) {
        outOfCharacters = true;
        summary.fallbacks.push_back({ToRect(pageArea), "more characters than the movie holds"});
    }
    return outOfCharacters;
}

double VectorRecorder::Recording::GroupAlpha() const
{
    double alpha = 1;
    for (const Group& group : groups) alpha *= group.alpha;
    return alpha;
}

FColor VectorRecorder::Recording::Color(fz_colorspace* cs, const float* color, double alpha, fz_color_params params) const
{
    // An uncoloured Type 3 glyph (d1) is drawn in its text's colour.
    if (type3Color) return *type3Color;
    float rgb[3] = {0, 0, 0};
    if (cs && color) TryConvertColor(ctx, cs, color, rgb, params);
    auto level = [](double v) { return static_cast<int32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return FColor(level(rgb[0]), level(rgb[1]), level(rgb[2]), level(alpha * GroupAlpha()));
}

Bounds VectorRecorder::Recording::ClipArea() const
{
    Bounds area = pageArea;
    for (const Clip& clip : clips)
        if (!clip.area.empty) area = area.Intersected(clip.area);
    return area;
}

void VectorRecorder::Recording::Note(const Bounds& where, const std::string& reason)
{
    const Bounds area = where.empty ? pageArea : where.Intersected(pageArea);
    if (area.empty) return;
    const FRect rect = ToRect(area);
    for (const VectorFallback& known : summary.fallbacks)
        if (known.reason == reason && known.area.XMin() == rect.XMin() && known.area.YMin() == rect.YMin() &&
            known.area.XMax() == rect.XMax() && known.area.YMax() == rect.YMax())
            return;
    summary.fallbacks.push_back({rect, reason});
}

void VectorRecorder::Recording::Drawn(const Bounds& bounds)
{
    if (!groups.empty()) ++groups.back().objects;
    // Each part is weighed against those before it: past this many, the
    // group is taken as overlapping rather than checked at a cost that grows
    // with the square of its parts.
    constexpr size_t kMostPartsChecked = 2048;
    for (Group& group : groups) {
        if (group.alpha >= 1 || group.reported) continue;
        bool overlaps = group.drawn.size() >= kMostPartsChecked;
        for (size_t i = 0; i < group.drawn.size() && !overlaps; ++i) overlaps = group.drawn[i].Intersects(bounds);
        if (overlaps) {
            Note(group.area, "transparency group with overlapping parts");
            group.reported = true;
            group.drawn.clear();
            continue;
        }
        group.drawn.push_back(bounds);
    }
    for (const Clip& clip : clips)
        if (clip.kind == Clip::Kind::ImageMask && !(placingMaskedImage && &clip == &clips.back()))
            Note(clip.area, "image mask clip");
}

bool VectorRecorder::Recording::Place(std::unique_ptr<FDT> definition, const Bounds& bounds, double alpha, bool drawn,
                           double scale)
{
    if (!definition) return false;
    FlushDrawing();  // what was drawn before it, below it
    if (placements.size() >= 0xFFF0) {
        Note(bounds, "more objects than a sprite holds");
        return false;
    }
    if (!drawn) Drawn(bounds);
    for (Clip& clip : clips)
        if (clip.kind == Clip::Kind::Layer) clip.inside.Add(bounds);
    placements.push_back({definition->ID(), 0, false, alpha, scale});
    definitions.push_back(std::move(definition));
    return true;
}

Outline VectorRecorder::Recording::PreparedFill(Outline outline, bool evenOdd) const
{
    outline = BoxedFill(std::move(outline));
    if (!evenOdd && NonZeroDiffersFromEvenOdd(outline, options.curveTolerance))
        return NonZeroUnion(outline, options.curveTolerance);
    return outline;
}

void VectorRecorder::Recording::FlushShapes()
{
    if (openShapes.Empty()) return;
    const uint32_t edges = openShapes.Edges();
    const Bounds bounds = openShapes.ShapeBounds();
    auto tag = openShapes.Build();
    summary.edges += edges;
    ++summary.shapes;
    Place(std::move(tag), bounds, 1, true);
}

void VectorRecorder::Recording::FlushDrawing()
{
    FlushGradientSteps();
    FlushText();
    FlushShapes();
}

void VectorRecorder::Recording::FillOutline(Outline outline, bool evenOdd, std::unique_ptr<FFillStyle> fill)
{
    outline = PreparedFill(std::move(outline), evenOdd);
    const std::vector<QuadContour> contours = ToQuadContours(outline, options.curveTolerance, true);
    if (!TakeEdges(contours)) return;
    FlushText();
    if (openShapes.AddFill(contours, std::move(fill))) Drawn(BoundsOf(outline));
}

void VectorRecorder::Recording::FillPath(const fz_path* path, bool evenOdd, fz_matrix ctm, fz_colorspace* cs,
                              const float* color, float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    const FColor fill = Color(cs, color, alpha, params);
    if (fill.Alpha() == 0) return;
    Outline area = OutlineFromPath(ctx, path, ToAffine(ctm));
    if (InKnockoutGroup()) {
        AddKnockoutPart(std::move(area), evenOdd, fill);
        return;
    }
    // The most steps, and corners, a run gathers before they are drawn as
    // they are (what a page keeps undrawn stays bounded).
    constexpr size_t kMostSteps = 1024, kMostStepCorners = 262144;
    if (std::optional<SteppedGradient::Step> step = SteppedGradient::StepOf(area, evenOdd, fill)) {
        const bool full = gradientSteps.Size() >= kMostSteps ||
                          gradientSteps.GatheredCorners() + step->outer.size() + step->inner.size() > kMostStepCorners;
        if (!gradientSteps.Empty() && (full || !gradientSteps.Continues(*step))) FlushGradientSteps();
        step->outline = std::move(area);
        gradientSteps.Add(std::move(*step));
        return;
    }
    FlushGradientSteps();
    FillOutline(std::move(area), evenOdd, std::make_unique<FFillStyleSolid>(fill));
}

double VectorRecorder::Recording::FineDashCoverage(const fz_stroke_state* stroke, double expansion) const
{
    if (stroke->dash_len <= 0) return -1;
    double period = 0, on = 0;
    for (int i = 0; i < stroke->dash_len && i < 32; ++i) {
        const double length = std::fabs(static_cast<double>(stroke->dash_list[i]));
        period += length;
        if (i % 2 == 0) on += length;
    }
    if (!(period > 0) || !(period * expansion < options.hairlineWidth)) return -1;
    // An odd count repeats with on and off swapped: each length is on once
    // and off once, half the line.
    if (stroke->dash_len % 2 == 1) return 0.5;
    return std::clamp(on / period, 0.0, 1.0);
}

Outline VectorRecorder::Recording::StrokeOutline(const Outline& userSpace, const fz_stroke_state* stroke, fz_matrix ctm) const
{
    const Affine m = ToAffine(ctm);
    const double expansion = m.Expansion();
    if (expansion <= 0) return {};
    StrokeStyle style;
    style.width = std::max(static_cast<double>(stroke->linewidth), options.hairlineWidth / expansion);
    style.startCap = CapOf(stroke->start_cap);
    style.endCap = CapOf(stroke->end_cap);
    style.dashCap = CapOf(stroke->dash_cap);
    style.join = stroke->linejoin == FZ_LINEJOIN_ROUND   ? StrokeStyle::Join::Round
                 : stroke->linejoin == FZ_LINEJOIN_BEVEL ? StrokeStyle::Join::Bevel
                                                         : StrokeStyle::Join::Miter;
    style.miterLimit = stroke->miterlimit;
    // Dashes finer than a pixel are drawn as the line (with the share of it
    // they cover, where the caller can say so): a viewer shows them so.
    if (FineDashCoverage(stroke, expansion) < 0)
        for (int i = 0; i < stroke->dash_len && i < 32; ++i) style.dashes.push_back(stroke->dash_list[i]);
    style.dashPhase = stroke->dash_phase;
    Outline lines = userSpace;
    if (const Outline placed = Transformed(userSpace, m); !InsideBox(placed, recordBox)) {
        // Only what reaches the box is stroked: its caps and joins where it
        // is cut lie beyond it by no more than a miter's length.
        const double reach = style.width * expansion * std::max(style.miterLimit, M_SQRT2);
        if (!(reach < kMaxCoordinate)) return {};
        const Bounds box{recordBox.xmin - reach, recordBox.ymin - reach, recordBox.xmax + reach, recordBox.ymax + reach,
                         false};
        lines = Transformed(ClippedLines(placed, box, options.curveTolerance), m.Inverse());
    }
    return Transformed(StrokeToOutline(lines, style, options.curveTolerance / expansion), m);
}

namespace {

// A line one stage pixel wide along a row or column of pixels covers them
// whole when it runs through their centres; anywhere else the player spreads
// it over two, each half as dark, and a chart's grid turns grey. Contours of
// straight lines along the axes alone (grids, frames, rules) are moved to the
// nearest centres, at most half a pixel; any other is left where it lies.
Outline OnPixelCentres(Outline lines, double pixel)
{
    const auto centre = [pixel](double v) { return std::floor(v / pixel) * pixel + pixel / 2; };
    for (OutlineContour& contour : lines) {
        bool alongAxes = !contour.segments.empty();
        OutlinePoint from = contour.start;
        for (const OutlineSegment& segment : contour.segments) {
            alongAxes = alongAxes && segment.kind == OutlineSegment::Kind::Line &&
                        (std::fabs(segment.to.x - from.x) < 0.5 || std::fabs(segment.to.y - from.y) < 0.5);
            from = segment.to;
        }
        if (!alongAxes) continue;
        contour.start = OutlinePoint{centre(contour.start.x), centre(contour.start.y)};
        for (OutlineSegment& segment : contour.segments) segment.to = OutlinePoint{centre(segment.to.x), centre(segment.to.y)};
    }
    return lines;
}

}  // namespace

void VectorRecorder::Recording::StrokeUserOutline(const Outline& userSpace, const fz_stroke_state* stroke, fz_matrix ctm,
                                       FColor color)
{
    const Affine m = ToAffine(ctm);
    const double expansion = m.Expansion();
    if (expansion <= 0 || userSpace.empty()) return;
    const double coverage = FineDashCoverage(stroke, expansion);
    const bool dashed = stroke->dash_len > 0 && coverage < 0;
    if (coverage >= 0) {
        color = FColor(color.Red(), color.Green(), color.Blue(), static_cast<int32_t>(std::lround(color.Alpha() * coverage)));
        if (color.Alpha() == 0) return;
    }
    if (InKnockoutGroup()) {
        AddKnockoutPart(StrokeOutline(userSpace, stroke, ctm), false, color);
        return;
    }
    const double width = std::max(stroke->linewidth * expansion, options.hairlineWidth);
    const double scale = std::max({std::fabs(m.a), std::fabs(m.b), std::fabs(m.c), std::fabs(m.d)});
    const double eps = scale * 1e-3;
    const bool conformal = (std::fabs(m.a - m.d) < eps && std::fabs(m.b + m.c) < eps) ||
                           (std::fabs(m.a + m.d) < eps && std::fabs(m.b - m.c) < eps);
    const bool round = stroke->start_cap == FZ_LINECAP_ROUND && stroke->end_cap == FZ_LINECAP_ROUND &&
                       stroke->linejoin == FZ_LINEJOIN_ROUND && !dashed;
    // Caps and joins of the thinnest lines do not show: a native line.
    const bool thin = width <= options.hairlineWidth;
    if (conformal && (round || thin)) {
        Outline lines = BoxedLines(Transformed(userSpace, m));
        if (dashed) {
            std::vector<double> dashes;
            for (int i = 0; i < stroke->dash_len && i < 32; ++i) dashes.push_back(stroke->dash_list[i] * expansion);
            Outline dashed;
            for (const OutlineContour& contour : lines)
                for (const auto& dash : DashPolyline(Flatten(contour, options.curveTolerance), dashes,
                                                     stroke->dash_phase * expansion)) {
                    OutlineContour piece;
                    piece.start = dash.front();
                    for (size_t i = 1; i < dash.size(); ++i)
                        piece.segments.push_back({OutlineSegment::Kind::Line, {}, {}, dash[i]});
                    dashed.push_back(std::move(piece));
                }
            lines = std::move(dashed);
        }
        if (thin) lines = OnPixelCentres(std::move(lines), options.hairlineWidth);
        const auto lineWidth = static_cast<uint16_t>(std::clamp<long>(std::lround(width), 1, 0xFFFF));
        const std::vector<QuadContour> contours = ToQuadContours(lines, options.curveTolerance, false);
        if (!TakeEdges(contours)) return;
        FlushText();
        if (!openShapes.AddLine(contours, lineWidth, color)) return;
        Bounds bounds = BoundsOf(lines);
        bounds.Add(OutlinePoint{bounds.xmin - lineWidth / 2.0, bounds.ymin - lineWidth / 2.0});
        bounds.Add(OutlinePoint{bounds.xmax + lineWidth / 2.0, bounds.ymax + lineWidth / 2.0});
        Drawn(bounds);
        return;
    }
    FillOutline(StrokeOutline(userSpace, stroke, ctm), true, std::make_unique<FFillStyleSolid>(color));
}

void VectorRecorder::Recording::StrokePath(const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm,
                                fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    const FColor line = Color(cs, color, alpha, params);
    if (line.Alpha() == 0) return;
    StrokeUserOutline(OutlineFromPath(ctx, path, Affine{}), stroke, ctm, line);
}

namespace {

// One closed contour of straight edges along the axes, four corners at most:
// a rectangle standing upright.
bool UprightRectangle(const Outline& outline)
{
    if (outline.size() != 1) return false;
    const OutlineContour& contour = outline.front();
    if (contour.segments.size() < 3 || contour.segments.size() > 4) return false;
    const auto along = [](OutlinePoint a, OutlinePoint b) { return std::fabs(a.x - b.x) < 0.5 || std::fabs(a.y - b.y) < 0.5; };
    OutlinePoint from = contour.start;
    for (const OutlineSegment& segment : contour.segments) {
        if (segment.kind != OutlineSegment::Kind::Line || !along(from, segment.to)) return false;
        from = segment.to;
    }
    return along(from, contour.start);
}

// Whether `inner` lies within `outer`, to a twip.
bool Contains(const Bounds& outer, const Bounds& inner)
{
    return !outer.empty && !inner.empty && inner.xmin >= outer.xmin - 1 && inner.ymin >= outer.ymin - 1 &&
           inner.xmax <= outer.xmax + 1 && inner.ymax <= outer.ymax + 1;
}

}  // namespace

void VectorRecorder::Recording::PushClipLayer(const Outline& area)
{
    FlushDrawing();
    Clip clip;
    clip.firstInside = placements.size();
    if (OutOfCharacters() || Suppressed()) {
        clips.push_back(clip);
        return;
    }
    const Outline boxed = BoxedFill(area);
    clip.area = BoundsOf(boxed);
    const std::vector<QuadContour> contours = ToQuadContours(boxed, options.curveTolerance, true);
    uint32_t edges = 0;
    auto tag = TakeEdges(contours)
                   ? FilledShape(contours, std::make_unique<FFillStyleSolid>(FColor(0, 0, 0, 255)), &edges)
                   : nullptr;
    if (!tag || placements.size() >= 0xFFF0) {
        // Nothing is visible through an empty clip.
        clip.kind = Clip::Kind::Empty;
        ++suppressed;
        clips.push_back(clip);
        return;
    }
    summary.edges += edges;
    ++summary.shapes;
    clip.kind = Clip::Kind::Layer;
    clip.rectangle = UprightRectangle(boxed);
    clip.placement = placements.size();
    placements.push_back({tag->ID(), 0, true, 1});
    definitions.push_back(std::move(tag));
    clip.firstInside = placements.size();
    clips.push_back(clip);
}

void VectorRecorder::Recording::ClipPath(const fz_path* path, bool evenOdd, fz_matrix ctm)
{
    if (InKnockoutGroup()) {
        // Its paths are cut to it when the group is drawn.
        FlushDrawing();
        Clip clip;
        clip.knockoutClip = true;
        clip.firstInside = placements.size();
        clips.push_back(clip);
        groups.back().clipAreas.push_back(PreparedFill(OutlineFromPath(ctx, path, ToAffine(ctm)), evenOdd));
        return;
    }
    PushClipLayer(PreparedFill(OutlineFromPath(ctx, path, ToAffine(ctm)), evenOdd));
}

void VectorRecorder::Recording::ClipStrokePath(const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm)
{
    PushClipLayer(StrokeOutline(OutlineFromPath(ctx, path, Affine{}), stroke, ctm));
}

void VectorRecorder::Recording::DropClipLayer(size_t index)
{
    const uint16_t id = placements[index].characterID;
    const auto definition = std::find_if(definitions.begin(), definitions.end(),
                                         [id](const std::unique_ptr<FDT>& tag) { return tag->ID() == id; });
    if (definition != definitions.end()) {
        definitions.erase(definition);
        --summary.shapes;
    }
    placements.erase(placements.begin() + static_cast<ptrdiff_t>(index));
    // The layers inside it, closed already, clip to depths one lower now.
    for (size_t i = index; i < placements.size(); ++i)
        if (placements[i].clipDepth > 0) --placements[i].clipDepth;
}

void VectorRecorder::Recording::PopClip()
{
    FlushDrawing();
    if (clips.empty()) return;
    Clip clip = clips.back();
    clips.pop_back();
    switch (clip.kind) {
    case Clip::Kind::Layer:
        if (placements.size() == clip.firstInside) {
            // Nothing was drawn through it: the layer and its shape go.
            if (!definitions.empty() && definitions.back()->ID() == placements[clip.placement].characterID) {
                definitions.pop_back();
                --summary.shapes;
            }
            placements.erase(placements.begin() + static_cast<ptrdiff_t>(clip.placement));
        } else if (clip.rectangle && Contains(clip.area, clip.inside)) {
            // A rectangle round all it holds clips nothing, and a player
            // pays for every clip layer each time the page is drawn.
            DropClipLayer(clip.placement);
        } else {
            placements[clip.placement].clipDepth = static_cast<uint16_t>(placements.size());
        }
        break;
    case Clip::Kind::Empty: --suppressed; break;
    case Clip::Kind::ImageMask: fz_drop_image(ctx, clip.mask); break;
    case Clip::Kind::SoftMask: break;
    case Clip::Kind::Nothing:
        if (clip.knockoutClip && !groups.empty() && !groups.back().clipAreas.empty()) groups.back().clipAreas.pop_back();
        break;
    }
}

// ---------------------------------------------------------------------------
// Text

void VectorRecorder::Recording::RunType3Glyphs(const fz_text_span* span, fz_matrix ctm, std::optional<FColor> color)
{
    const std::optional<FColor> outer = type3Color;
    type3Color = color;
    for (int i = 0; i < span->len; ++i) {
        const fz_text_item& item = span->items[i];
        if (item.gid < 0) continue;
        const fz_matrix trm = GlyphMatrix(*span, item);
        // MuPDF marks the glyphs that begin with d1 (uncoloured) when it loads the font.
        const unsigned short* glyphFlags = span->font->t3flags;
        const bool uncoloured = glyphFlags && item.gid < 256 && (glyphFlags[item.gid] & FZ_DEVFLAG_MASK);
        type3Color = uncoloured ? color : std::nullopt;
        if (!TryRunType3Glyph(ctx, span->font, item.gid, fz_concat(trm, ctm), device))
            Note({}, "Type 3 glyph MuPDF cannot run");
    }
    type3Color = outer;
}

bool VectorRecorder::Recording::Embeddable(const fz_font* font)
{
    const auto known = embeddable.find(font);
    if (known != embeddable.end()) return known->second;
    const bool may = MayEmbedGlyphs(ctx, font) || (IsBuiltinSymbol(ctx, font) && SymbolFace());
    embeddable.emplace(font, may);
    return may;
}

fz_font* VectorRecorder::Recording::SymbolFace()
{
    if (!symbolFaceLoaded) symbolFace = SubstituteFonts::NewSymbolFace(ctx);
    symbolFaceLoaded = true;
    return symbolFace;
}

VectorRecorder::Recording::DrawnGlyph VectorRecorder::Recording::Drawn(const fz_text_span* span,
                                                                      const fz_text_item& item)
{
    if (!IsBuiltinSymbol(ctx, span->font) || !SymbolFace()) return {span->font, item.gid, item.ucs};
    // By the glyph's name, which is Symbol's whatever the PDF's encoding.
    char name[64] = "";
    TryGlyphName(ctx, span->font, item.gid, name, sizeof name);
    const char32_t character = static_cast<char32_t>(std::max(fz_unicode_from_glyph_name(name), 0));
    for (const char32_t drawn : {character, SymbolAlternative(character)})
        if (drawn != 0)
            if (const int gid = TryEncodeCharacter(ctx, symbolFace, drawn); gid > 0)
                return {symbolFace, gid, static_cast<int>(drawn)};
    return {symbolFace, 0, item.ucs};  // a character the face lacks: its blank glyph
}

void VectorRecorder::Recording::NotePictureText(const fz_text_span* span, fz_matrix ctm, const fz_stroke_state* stroke)
{
    fz_rect area = fz_empty_rect;
    for (int i = 0; i < span->len; ++i) {
        const fz_text_item& item = span->items[i];
        if (item.gid < 0) continue;
        const fz_matrix trm = GlyphMatrix(*span, item);
        area = fz_union_rect(area, TryBoundGlyph(ctx, span->font, item.gid, fz_concat(trm, ctm)));
    }
    if (fz_is_empty_rect(area)) return;  // blank glyphs draw nothing
    Bounds bounds = ToBounds(area);
    if (stroke) {
        // Half the width past the outline, as far as a miter goes at a sharp
        // corner, or a square dash cap across its corner.
        const bool miter = stroke->linejoin == FZ_LINEJOIN_MITER || stroke->linejoin == FZ_LINEJOIN_MITER_XPS;
        const double reach = std::max(miter ? static_cast<double>(stroke->miterlimit) : 1.0, M_SQRT2);
        const double half = std::max(stroke->linewidth * ToAffine(ctm).Expansion(), options.hairlineWidth) / 2;
        bounds.Add(OutlinePoint{bounds.xmin - half * reach, bounds.ymin - half * reach});
        bounds.Add(OutlinePoint{bounds.xmax + half * reach, bounds.ymax + half * reach});
    }
    Note(bounds, kPictureText);
}

void VectorRecorder::Recording::FlushText()
{
    if (!openText) return;
    std::unique_ptr<StaticTextBuilder> text = std::move(openText);
    if (text->Empty()) return;
    Bounds placed;
    auto tag = text->Build(placed);
    ++summary.texts;
    Place(std::move(tag), placed);
}

void VectorRecorder::Recording::FillText(const fz_text* text, fz_matrix ctm, fz_colorspace* cs, const float* color,
                              float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    const FColor fill = Color(cs, color, alpha, params);
    if (fill.Alpha() == 0) return;
    const Affine m = ToAffine(ctm);
    const Affine mLinear{m.a, m.b, m.c, m.d, 0, 0};
    for (const fz_text_span* span = text->head; span; span = span->next) {
        drawnFonts.insert(span->font);
        if (!PDFFontTable::HasOutlines(ctx, span->font)) {
            FlushText();
            RunType3Glyphs(span, ctm, fill);
            continue;
        }
        if (!Embeddable(span->font)) {
            NotePictureText(span, ctm, nullptr);
            continue;
        }
        // Glyph space (the em square, y down) to twips.
        const Affine glyphToTwips = Affine{1 / PDFFontTable::kEmUnits, 0, 0, -1 / PDFFontTable::kEmUnits, 0, 0}
                                        .Then({span->trm.a, span->trm.b, span->trm.c, span->trm.d, 0, 0})
                                        .Then(mLinear);
        const double size = PDFFontTable::kEmUnits * glyphToTwips.Expansion();
        if (size < 0.5) continue;  // text below a twip high draws nothing
        // The em rounded to the twip is the text's height; the matrix keeps
        // only the direction, so that upright text of every size shares the
        // identity and one text tag. Positions stay exact; a glyph's size is
        // off by at most half a twip.
        StaticTextBuilder::Glyph glyph;
        glyph.height = static_cast<uint16_t>(std::clamp<long>(std::lround(size), 1, 0xFFFF));
        glyph.color = fill;
        const double k = PDFFontTable::kEmUnits / size;
        const Affine textMatrix{glyphToTwips.a * k, glyphToTwips.b * k, glyphToTwips.c * k, glyphToTwips.d * k, 0, 0};
        if (!textMatrix.Invertible()) continue;
        FlushShapes();  // drawn before the text, below it
        if (openText && !openText->SameMatrix(textMatrix)) FlushText();
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item& item = span->items[i];
            if (item.gid < 0) continue;
            const DrawnGlyph drawn = Drawn(span, item);
            const PDFFontTable::GlyphRef ref = resources.fonts.Glyph(ctx, drawn.font, drawn.gid, drawn.ucs);
            glyph.fontID = ref.fontID;
            glyph.index = ref.index;
            glyph.fontGlyphs = ref.fontGlyphs;
            glyph.emBounds = ref.bounds;
            glyph.origin = m.Apply({item.x, item.y});
            // A glyph placed that far off the page is not seen, and its
            // position would not fit the text's fields.
            if (!InsideBox({OutlineContour{glyph.origin, {}, false}}, recordBox)) continue;
            if (!openText) openText = std::make_unique<StaticTextBuilder>(textMatrix);
            if (!openText->Add(glyph)) {
                FlushText();
                openText = std::make_unique<StaticTextBuilder>(textMatrix);
                openText->Add(glyph);
            }
        }
    }
}

Outline VectorRecorder::Recording::TextOutline(const fz_text* text, fz_matrix toSpace, fz_matrix ctm,
                                    const fz_stroke_state* stroke)
{
    Outline outline;
    for (const fz_text_span* span = text->head; span; span = span->next) {
        drawnFonts.insert(span->font);
        if (!PDFFontTable::HasOutlines(ctx, span->font)) {
            Note({}, "Type 3 text used as a clip or stroked");
            continue;
        }
        if (!Embeddable(span->font)) {
            NotePictureText(span, ctm, stroke);
            continue;
        }
        for (int i = 0; i < span->len; ++i) {
            const fz_text_item& item = span->items[i];
            if (item.gid < 0) continue;
            const fz_matrix trm = GlyphMatrix(*span, item);
            const DrawnGlyph drawn = Drawn(span, item);
            fz_path* path = TryGlyphPath(ctx, drawn.font, drawn.gid, fz_concat(trm, toSpace));
            if (!path) continue;
            Outline glyph = OutlineFromPath(ctx, path, Affine{});
            fz_drop_path(ctx, path);
            for (OutlineContour& contour : glyph) {
                contour.closed = true;
                outline.push_back(std::move(contour));
            }
        }
    }
    return outline;
}

void VectorRecorder::Recording::StrokeText(const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm,
                                fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    const FColor line = Color(cs, color, alpha, params);
    if (line.Alpha() == 0) return;
    StrokeUserOutline(TextOutline(text, fz_identity, ctm, stroke), stroke, ctm, line);
}

void VectorRecorder::Recording::ClipText(const fz_text* text, fz_matrix ctm)
{
    PushClipLayer(Suppressed() ? Outline{} : PreparedFill(TextOutline(text, ctm, ctm, nullptr), false));
}

void VectorRecorder::Recording::ClipStrokeText(const fz_text* text, const fz_stroke_state* stroke, fz_matrix ctm)
{
    PushClipLayer(Suppressed() ? Outline{} : StrokeOutline(TextOutline(text, fz_identity, ctm, stroke), stroke, ctm));
}

// ---------------------------------------------------------------------------
// Shadings

void VectorRecorder::Recording::FillShade(fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    Bounds area = ClipArea();
    const Bounds shadeBounds = ToBounds(TryBoundShade(ctx, shade, ctm));
    if (!shadeBounds.empty) area = area.Intersected(shadeBounds);
    if (area.empty) return;
    if ((shade->type != FZ_LINEAR && shade->type != FZ_RADIAL) || !shade->use_function) {
        if (!PlaceShadePicture(shade, ctm, alpha, params, area)) Note(area, "shading other than axial or radial");
        return;
    }
    const Affine toTwips = ToAffine(shade->matrix).Then(ToAffine(ctm));
    const float* c0 = shade->u.l_or_r.coords[0];
    const float* c1 = shade->u.l_or_r.coords[1];
    const bool extendStart = shade->u.l_or_r.extend[0] != 0, extendEnd = shade->u.l_or_r.extend[1] != 0;

    std::vector<RampColor> samples;
    for (int i = 0; i < 256; ++i) {
        const FColor c = Color(shade->colorspace, shade->function[i], alpha, params);
        samples.push_back({static_cast<double>(c.Red()), static_cast<double>(c.Green()),
                           static_cast<double>(c.Blue()), static_cast<double>(c.Alpha())});
    }
    GradientFit fit = FitGradient(samples, 8, options.gradientTolerance);
    if (fit.maxError > 4 * options.gradientTolerance) Note(area, "gradient with more stops than a shape holds");

    Affine gradient;  // the gradient square (-16384 to 16384 a side) to twips
    Outline region;
    const double areaSize = std::hypot(area.xmax - area.xmin, area.ymax - area.ymin);
    if (shade->type == FZ_LINEAR) {
        const double dx = c1[0] - c0[0], dy = c1[1] - c0[1];
        if (dx == 0 && dy == 0) return;
        gradient = Affine{dx / 32768, dy / 32768, -dy / 32768, dx / 32768, (c0[0] + c1[0]) / 2, (c0[1] + c1[1]) / 2}
                       .Then(toTwips);
        if (!gradient.Invertible()) return;
        if (extendStart && extendEnd) {
            region = RectangleOutline(area);
        } else {
            // The band the ramp covers, extended past an end only where the shading is.
            const double far = areaSize / std::max(gradient.Expansion(), 1e-9) + 32768;
            const Bounds band{extendStart ? -far : -16384, -far, extendEnd ? far : 16384, far, false};
            region = IntersectOutlines(BoxedFill(Transformed(RectangleOutline(band), gradient)),
                                       RectangleOutline(area), options.curveTolerance);
        }
    } else {
        const double r0 = c0[2], r1 = c1[2];
        const bool concentric = std::fabs(c0[0] - c1[0]) < 1e-3 * std::max(r1, 1.0) &&
                                std::fabs(c0[1] - c1[1]) < 1e-3 * std::max(r1, 1.0);
        if (!concentric || r1 <= r0 || r0 < 0) {
            if (!PlaceShadePicture(shade, ctm, alpha, params, area))
                Note(area, "radial shading whose circles are not concentric");
            return;
        }
        // The ramp runs from the inner circle to the outer one; SWF's from the centre.
        for (GradientStop& stop : fit.stops)
            stop.ratio = static_cast<uint8_t>(std::lround((r0 + stop.ratio / 255.0 * (r1 - r0)) / r1 * 255));
        gradient = Affine{r1 / 16384, 0, 0, r1 / 16384, c1[0], c1[1]}.Then(toTwips);
        if (!gradient.Invertible()) return;
        region = extendEnd ? RectangleOutline(area)
                           : IntersectOutlines(BoxedFill(Transformed(Circle(c1[0], c1[1], r1), toTwips)),
                                               RectangleOutline(area), options.curveTolerance);
    }
    if (!FitsMatrixFields(gradient)) {
        // A ramp millions of pixels long, or a pinpoint one far off.
        Note(area, "gradient larger than a shape's gradient matrix holds");
        return;
    }
    auto ramp = std::make_unique<FGradient>();
    for (const GradientStop& stop : fit.stops) {
        auto level = [](double v) { return static_cast<int32_t>(std::lround(std::clamp(v, 0.0, 255.0))); };
        ramp->Add(std::make_unique<FGradRecord>(
            stop.ratio, FColor(level(stop.color[0]), level(stop.color[1]), level(stop.color[2]), level(stop.color[3]))));
    }
    FillOutline(std::move(region), true,
                std::make_unique<FFillStyleGradient>(shade->type == FZ_LINEAR, ToFMatrix(gradient), std::move(ramp)));
}

// ---------------------------------------------------------------------------
// Images

void VectorRecorder::Recording::PlaceBitmap(const PDFImageTable::Bitmap& bitmap, fz_matrix ctm, double alpha)
{
    // Pixel (x, y) lies at (x / width, y / height) of the image's unit square.
    const Affine pixels = Affine{1.0 / bitmap.width, 0, 0, 1.0 / bitmap.height, 0, 0}.Then(ToAffine(ctm));
    const Outline square = BoxedFill(UnitSquare(ctm));
    if (square.empty()) return;  // none of it near the page
    // A pixel drawn wider than a fill matrix scales (about 820 pixels of the
    // stage: a 1 x 1 background stretched over the page, a gradient strip)
    // is drawn at 1 / scale of its size inside a sprite placed that many
    // times larger.
    const double largest = std::max({std::fabs(pixels.a), std::fabs(pixels.b), std::fabs(pixels.c), std::fabs(pixels.d)});
    double scale = 1;
    while (largest / scale > kMaxMatrixScale / 2 && scale <= kMaxSpriteScale) scale *= 2;
    const Affine shrink{1 / scale, 0, 0, 1 / scale, 0, 0};
    const Affine inner = pixels.Then(shrink);
    if (scale > kMaxSpriteScale || !FitsMatrixFields(inner)) {
        Note(BoundsOf(square), "picture whose pixels are drawn larger than a shape can scale them");
        return;
    }
    auto fill = std::make_unique<FFillStyleBitmap>(false, bitmap.id, ToFMatrix(inner));
    if (alpha >= 1 && scale == 1) {
        FillOutline(square, true, std::move(fill));
        return;
    }
    // A translucent or enlarged bitmap: a shape of its own, placed with the
    // alpha, or inside the sprite that enlarges it.
    const std::vector<QuadContour> contours = ToQuadContours(Transformed(square, shrink), options.curveTolerance, true);
    if (!TakeEdges(contours)) return;
    uint32_t edges = 0;
    auto tag = FilledShape(contours, std::move(fill), &edges);
    if (!tag) return;
    summary.edges += edges;
    ++summary.shapes;
    if (scale == 1) {
        Place(std::move(tag), BoundsOf(square), alpha);
        return;
    }
    auto sprite = std::make_unique<FDTDefineSprite>();
    sprite->AddControlTag(
        std::make_unique<FCTPlaceObject2>(false, false, true, false, 1, tag->ID(), nullptr, nullptr, 0, nullptr, 0));
    sprite->AddControlTag(std::make_unique<FCTShowFrame>());
    definitions.push_back(std::move(tag));
    Place(std::move(sprite), BoundsOf(square), alpha, false, scale);
}

PDFImageTable::Storage VectorRecorder::Recording::ImageStorage(fz_matrix ctm) const
{
    // The stage's pixels are those the page's patches are drawn at.
    PDFImageTable::Storage storage =
        PDFImageTable::StorageFor(std::hypot(ctm.a, ctm.b), std::hypot(ctm.c, ctm.d), options.patchPixelsPerTwip,
                                  options.maxImagePixelsPerTwip, options.jpegQuality);
    storage.encoders = options.encoders;
    storage.contexts = options.contexts;
    return storage;
}

void VectorRecorder::Recording::FillImage(fz_image* image, fz_matrix ctm, float alpha)
{
    if (OutOfCharacters() || Suppressed()) return;
    fz_image* softMask = nullptr;
    if (!clips.empty() && clips.back().kind == Clip::Kind::ImageMask && placements.size() == clips.back().firstInside &&
        SameMatrix(clips.back().ctm, ctm))
        softMask = clips.back().mask;
    std::vector<std::unique_ptr<FDT>> newTags;
    const auto bitmap = resources.images.Image(ctx, image, softMask, ImageStorage(ctm), newTags);
    if (!bitmap) {
        Note(BoundsOf(UnitSquare(ctm)), "image that cannot be made a bitmap");
        return;
    }
    summary.newBitmaps += static_cast<uint32_t>(newTags.size());
    for (auto& tag : newTags) definitions.push_back(std::move(tag));
    placingMaskedImage = softMask != nullptr;
    PlaceBitmap(*bitmap, ctm, alpha * GroupAlpha());
    placingMaskedImage = false;
}

void VectorRecorder::Recording::FillImageMask(fz_image* image, fz_matrix ctm, fz_colorspace* cs, const float* color,
                                   float alpha, fz_color_params params)
{
    if (OutOfCharacters() || Suppressed()) return;
    const FColor fill = Color(cs, color, alpha, params);
    if (fill.Alpha() == 0) return;
    std::vector<std::unique_ptr<FDT>> newTags;
    const auto bitmap = resources.images.Stencil(ctx, image, fill, ImageStorage(ctm), newTags);
    if (!bitmap) {
        Note(BoundsOf(UnitSquare(ctm)), "image that cannot be made a bitmap");
        return;
    }
    summary.newBitmaps += static_cast<uint32_t>(newTags.size());
    for (auto& tag : newTags) definitions.push_back(std::move(tag));
    PlaceBitmap(*bitmap, ctm, 1);
}

void VectorRecorder::Recording::ClipImageMask(fz_image* image, fz_matrix ctm)
{
    FlushDrawing();
    Clip clip;
    clip.kind = Suppressed() ? Clip::Kind::Nothing : Clip::Kind::ImageMask;
    clip.firstInside = placements.size();
    clip.area = BoundsOf(UnitSquare(ctm));
    clip.ctm = ctm;
    if (clip.kind == Clip::Kind::ImageMask) clip.mask = fz_keep_image(ctx, image);
    clips.push_back(clip);
}

// ---------------------------------------------------------------------------
// Masks, groups and tiles

void VectorRecorder::Recording::BeginMask(fz_rect area)
{
    FlushDrawing();
    if (!Suppressed()) Note(ToBounds(area), "soft mask");
    ++suppressed;  // the mask's own content is not drawn
}

void VectorRecorder::Recording::EndMask()
{
    FlushDrawing();
    if (suppressed > 0) --suppressed;
    Clip clip;
    clip.kind = Clip::Kind::SoftMask;
    clip.firstInside = placements.size();
    clips.push_back(clip);
}

bool VectorRecorder::Recording::BeginMaskCapture()
{
    if (Suppressed() || capture.device) return false;
    FlushDrawing();
    fz_display_list* list = nullptr;
    fz_device* listDevice = nullptr;
    fz_var(list);
    fz_var(listDevice);
    fz_try(ctx)
    {
        list = fz_new_display_list(ctx, fz_infinite_rect);
        listDevice = fz_new_list_device(ctx, list);
    }
    fz_catch(ctx)
    {
        fz_drop_display_list(ctx, list);
        return false;
    }
    capture = {list, listDevice, 0, false, 0, false, true, {}};
    return true;
}

bool VectorRecorder::Recording::BeginTileCapture(fz_rect area)
{
    if (!BeginMaskCapture()) return false;
    // The tile's own drawing is in its cell: it covers its area.
    capture.tile = true;
    const Bounds bounds = ToBounds(area);
    capture.drawn = bounds.empty ? ClipArea() : bounds;
    return true;
}

void VectorRecorder::Recording::CapturedTileEnd()
{
    if (--capture.tiles > 0 || !capture.tile) return;
    capture.depth = 1;
    CapturedPop();
}

void VectorRecorder::Recording::CapturedMaskEnd()
{
    if (capture.depth == 1) capture.masking = false;
}

void VectorRecorder::Recording::CapturedDrawing(fz_rect area)
{
    if (capture.masking || capture.tile) return;
    const Bounds bounds = fz_is_infinite_rect(area) ? Bounds{} : ToBounds(area);
    capture.drawn.Add(bounds.empty ? ClipArea() : bounds);
}

void VectorRecorder::Recording::CapturedPop()
{
    if (--capture.depth > 0 || (capture.tile && capture.tiles > 0)) return;
    Capture done = capture;
    capture = {};
    fz_try(ctx) fz_close_device(ctx, done.device);
    fz_catch(ctx) done.failed = true;
    fz_drop_device(ctx, done.device);
    if (done.failed || !PlaceCapture(done.list, done.drawn))
        Note(done.drawn.Intersected(ClipArea()), done.tile ? "tiling pattern" : "soft mask");
    fz_drop_display_list(ctx, done.list);
}

namespace {

// The most pixels a soft mask's picture has.
constexpr int64_t kMostMaskPixels = int64_t{1} << 22;

// The list drawn into a pixmap of `box` with alpha, transparent where
// nothing is drawn; null on failure.
fz_pixmap* TryDrawWithAlpha(fz_context* ctx, fz_display_list* list, fz_matrix toPixels, fz_irect box,
                            fz_cookie* cookie)
{
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    fz_var(pixmap);
    fz_var(device);
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), box, nullptr, 1);
        fz_clear_pixmap(ctx, pixmap);
        device = NewDecodableImagesDevice(ctx, fz_new_draw_device(ctx, fz_identity, pixmap), box);
        fz_run_display_list(ctx, list, device, toPixels, fz_rect_from_irect(box), cookie);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) fz_drop_device(ctx, device);
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, pixmap);
        pixmap = nullptr;
    }
    return pixmap;
}

}  // namespace

bool VectorRecorder::Recording::PlaceShadePicture(fz_shade* shade, fz_matrix ctm, float alpha, fz_color_params params,
                                                  const Bounds& area)
{
    fz_display_list* list = nullptr;
    fz_device* listDevice = nullptr;
    bool listed = false;
    fz_var(list);
    fz_var(listDevice);
    fz_var(listed);
    fz_try(ctx)
    {
        list = fz_new_display_list(ctx, fz_infinite_rect);
        listDevice = fz_new_list_device(ctx, list);
        fz_fill_shade(ctx, listDevice, shade, ctm, alpha, params);
        fz_close_device(ctx, listDevice);
        listed = true;
    }
    fz_always(ctx) fz_drop_device(ctx, listDevice);
    fz_catch(ctx) listed = false;
    const bool placed = listed && PlaceCapture(list, area);
    fz_drop_display_list(ctx, list);
    return placed;
}

bool VectorRecorder::Recording::PlaceCapture(fz_display_list* list, const Bounds& drawn)
{
    if (OutOfCharacters() || summary.patches >= options.budget.patches) return false;
    const Bounds area = drawn.Intersected(ClipArea());
    if (area.empty) return true;  // nothing shows
    const double s = options.patchPixelsPerTwip;
    const fz_irect box{static_cast<int>(std::floor(area.xmin * s)), static_cast<int>(std::floor(area.ymin * s)),
                       static_cast<int>(std::ceil(area.xmax * s)), static_cast<int>(std::ceil(area.ymax * s))};
    const int64_t width = box.x1 - box.x0, height = box.y1 - box.y0;
    if (width <= 0 || height <= 0) return true;
    if (width * height > kMostMaskPixels) return false;
    fz_pixmap* pixmap = TryDrawWithAlpha(ctx, list, fz_scale(static_cast<float>(s), static_cast<float>(s)), box, runCookie);
    if (!pixmap) return false;
    // MuPDF's pixels are premultiplied; the bitmap is given them straight.
    std::vector<uint8_t> rgba(static_cast<size_t>(width * height) * 4);
    const uint8_t* samples = fz_pixmap_samples(ctx, pixmap);
    const ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
    bool anything = false;
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x) {
            const uint8_t* in = samples + y * stride + x * 4;
            uint8_t* out = rgba.data() + (y * width + x) * 4;
            const int a = in[3];
            for (int c = 0; c < 3; ++c) out[c] = a ? static_cast<uint8_t>(std::min(255, (in[c] * 255 + a / 2) / a)) : 0;
            out[3] = static_cast<uint8_t>(a);
            anything = anything || a != 0;
        }
    fz_drop_pixmap(ctx, pixmap);
    if (!anything) return true;
    std::unique_ptr<FDT> bitmap = SmallerBitmapTagOn(options.encoders, std::move(rgba), static_cast<int32_t>(width),
                                                     static_cast<int32_t>(height), options.jpegQuality,
                                                     ColourNumbers::kWhole);
    const FRect placed(static_cast<int32_t>(std::lround(box.x0 / s)), static_cast<int32_t>(std::lround(box.y0 / s)),
                       static_cast<int32_t>(std::lround(box.x1 / s)), static_cast<int32_t>(std::lround(box.y1 / s)));
    PlacePicture(std::move(bitmap), placed, static_cast<int32_t>(width), static_cast<int32_t>(height));
    return true;
}

void VectorRecorder::Recording::BeginGroup(fz_rect area, bool knockout, int blendmode, float alpha)
{
    FlushDrawing();
    Group group;
    group.alpha = alpha;
    group.area = ToBounds(area);
    group.knockout = knockout;
    if (!Suppressed() && blendmode != FZ_BLEND_NORMAL) Note(group.area, "blend mode");
    groups.push_back(std::move(group));
}

void VectorRecorder::Recording::EndGroup()
{
    FlushDrawing();
    if (groups.empty()) return;
    Group group = std::move(groups.back());
    groups.pop_back();
    if (!group.knockout) return;
    if (group.patched) {
        // One thing alone knocks nothing out: it is drawn as it is.
        if (group.objects > 1) Note(group.area, "knockout group");
        return;
    }
    DrawKnockedOut(std::move(group.parts), group.area);
}

void VectorRecorder::Recording::FlushGradientSteps()
{
    if (gradientSteps.Empty()) return;
    if (std::optional<SteppedGradient::Fill> fill = gradientSteps.AsGradient(options.curveTolerance, options.gradientTolerance)) {
        gradientSteps.Take();
        FillOutline(std::move(fill->region), fill->evenOdd, std::move(fill->style));
        return;
    }
    for (SteppedGradient::Step& step : gradientSteps.Take())
        FillOutline(std::move(step.outline), step.evenOdd, std::make_unique<FFillStyleSolid>(step.color));
}

bool VectorRecorder::Recording::InKnockoutGroup() const
{
    return !groups.empty() && groups.back().knockout && !groups.back().patched && !Suppressed();
}

void VectorRecorder::Recording::EndKnockoutPaths()
{
    if (!InKnockoutGroup()) return;
    Group& group = groups.back();
    group.patched = true;
    for (KnockoutPart& part : group.parts)
        FillOutline(std::move(part.area.outline), part.area.evenOdd, std::make_unique<FFillStyleSolid>(part.color));
    group.parts.clear();
    // Its clips so far cut its paths only: what it draws from now on is cut
    // by clip layers of them, in their place on the stack.
    std::vector<Outline> areas = std::move(group.clipAreas);
    group.clipAreas.clear();
    size_t pending = 0;
    while (pending < clips.size() && clips[clips.size() - 1 - pending].knockoutClip) ++pending;
    clips.resize(clips.size() - pending);
    for (const Outline& area : areas) PushClipLayer(area);
}

void VectorRecorder::Recording::AddKnockoutPart(Outline area, bool evenOdd, FColor color)
{
    // A fill and its stroke (MuPDF's group for a translucent path both
    // filled and stroked) and a few more; past that the group is patched.
    constexpr size_t kMostKnockoutParts = 16;
    if (groups.back().parts.size() >= kMostKnockoutParts) {
        EndKnockoutPaths();
        FillOutline(std::move(area), evenOdd, std::make_unique<FFillStyleSolid>(color));
        return;
    }
    if (!groups.back().clipAreas.empty() && evenOdd) area = UniteOutlines({{std::move(area), true}}, options.curveTolerance);
    for (const Outline& clip : groups.back().clipAreas) area = IntersectOutlines(area, clip, options.curveTolerance);
    if (!groups.back().clipAreas.empty()) evenOdd = true;  // non-overlapping contours now
    groups.back().parts.push_back({{std::move(area), evenOdd}, color});
}

void VectorRecorder::Recording::DrawKnockedOut(std::vector<KnockoutPart> parts, const Bounds& area)
{
    const auto sameColor = [](FColor a, FColor b) {
        return a.Red() == b.Red() && a.Green() == b.Green() && a.Blue() == b.Blue() && a.Alpha() == b.Alpha();
    };
    const double tolerance = options.curveTolerance;
    std::vector<KnockoutPart> shown;
    try {
        // Parts of one colour in a row knock nothing out of one another.
        for (const KnockoutPart& part : parts) {
            if (!shown.empty() && sameColor(shown.back().color, part.color))
                shown.back().area = {UniteOutlines({shown.back().area, part.area}, tolerance), true};
            else
                shown.push_back(part);
        }
        RuledOutline covered;  // by the parts after the one at hand
        Bounds coveredBounds;
        for (size_t i = shown.size(); i-- > 0;) {
            const Bounds own = BoundsOf(shown[i].area.outline);
            const RuledOutline whole = shown[i].area;
            if (!coveredBounds.empty && own.Intersects(coveredBounds))
                shown[i].area = {SubtractOutlines(whole, covered, tolerance), true};
            covered = covered.outline.empty() ? whole : RuledOutline{UniteOutlines({covered, whole}, tolerance), true};
            coveredBounds.Add(own);
        }
    } catch (const PolygonsTooComplex&) {
        // Drawn as they are, the overlaps patched.
        shown = std::move(parts);
        Note(area, "knockout group");
    }
    for (KnockoutPart& part : shown)
        FillOutline(std::move(part.area.outline), part.area.evenOdd, std::make_unique<FFillStyleSolid>(part.color));
}

void VectorRecorder::Recording::BeginTile(fz_rect area)
{
    FlushDrawing();
    if (!Suppressed()) Note(ToBounds(area), "tiling pattern");
    ++suppressed;
}

void VectorRecorder::Recording::EndTile()
{
    if (suppressed > 0) --suppressed;
}

void VectorRecorder::Recording::PlacePatch(RasterPatch&& patch)
{
    if (OutOfCharacters()) {
        summary.patchFailed = true;
        return;
    }
    FlushDrawing();
    while (!clips.empty()) PopClip();
    PlacePicture(std::move(patch.bitmap), patch.area, patch.width, patch.height);
}

void VectorRecorder::Recording::PlacePicture(std::unique_ptr<FDT> bitmap, const FRect& a, int32_t width, int32_t height)
{
    FlushDrawing();
    const uint16_t id = bitmap->ID();
    definitions.push_back(std::move(bitmap));
    ++summary.newBitmaps;
    const Affine pixels{static_cast<double>(a.XMax() - a.XMin()) / width, 0, 0,
                        static_cast<double>(a.YMax() - a.YMin()) / height, static_cast<double>(a.XMin()),
                        static_cast<double>(a.YMin())};
    const Outline square = RectangleOutline({static_cast<double>(a.XMin()), static_cast<double>(a.YMin()),
                                             static_cast<double>(a.XMax()), static_cast<double>(a.YMax()), false});
    uint32_t edges = 0;
    auto tag = FilledShape(ToQuadContours(square, options.curveTolerance, true),
                           std::make_unique<FFillStyleBitmap>(false, id, ToFMatrix(pixels)), &edges);
    if (!tag) return;
    budget.TakeEdges(edges);
    summary.edges += edges;
    ++summary.shapes;
    if (Place(std::move(tag), BoundsOf(square))) ++summary.patches;
}

// ---------------------------------------------------------------------------

VectorPage VectorRecorder::Recording::Finish()
{
    if (failure) std::rethrow_exception(failure);
    if (capture.device) {
        // The run stopped inside a mask or tile: its area is patched.
        Note(capture.drawn.empty ? ClipArea() : capture.drawn.Intersected(ClipArea()),
             capture.tile ? "tiling pattern" : "soft mask");
        fz_drop_device(ctx, capture.device);
        fz_drop_display_list(ctx, capture.list);
        capture = {};
    }
    try {
        FlushGradientSteps();
    } catch (const PolygonsTooComplex& complex) {
        Spend(complex.what());
    }
    VectorPage page;
    if (!budget.Reason().empty()) {
        // The page is to be a picture: nothing recorded is kept.
        summary.overBudget = budget.Reason();
        page.summary = std::move(summary);
        return page;
    }
    FlushDrawing();
    while (!clips.empty()) PopClip();
    if (FLastCharacterID() >= 0xFFFF) throw std::runtime_error("the movie has no character ID left for the page");
    page.sprite = std::make_unique<FDTDefineSprite>();
    for (size_t i = 0; i < placements.size(); ++i) {
        const Placement& p = placements[i];
        std::unique_ptr<FCXForm> transform;
        std::unique_ptr<FMatrix> matrix;
        if (p.scale != 1) matrix = std::make_unique<FMatrix>(true, Fixed16(p.scale), Fixed16(p.scale), false, 0, 0, 0, 0);
        if (p.alpha < 1)
            transform = std::make_unique<FCXFormWAlpha>(false, true, 256, 256, 256,
                                                        static_cast<int32_t>(std::lround(p.alpha * 256)), 0, 0, 0, 0);
        page.sprite->AddControlTag(std::make_unique<FCTPlaceObject2>(
            p.clip, false, true, false, static_cast<uint16_t>(i + 1), p.characterID, std::move(matrix),
            std::move(transform), 0, nullptr, p.clipDepth));
        if (p.clip) ++summary.clipLayers;
    }
    page.sprite->AddControlTag(std::make_unique<FCTShowFrame>());
    summary.placements = static_cast<uint32_t>(placements.size());
    page.definitions = std::move(definitions);
    page.summary = std::move(summary);
    placements.clear();
    return page;
}

VectorRecorder::VectorRecorder(fz_context* ctx, VectorResources& resources, const VectorOptions& options, Bounds pageArea)
    : recording(std::make_unique<Recording>(ctx, resources, options, pageArea))
{
}

VectorRecorder::~VectorRecorder() = default;

fz_device* VectorRecorder::Device() const { return recording->Device(); }
VectorPage VectorRecorder::Finish() { return recording->Finish(); }
const std::vector<VectorFallback>& VectorRecorder::Fallbacks() const { return recording->Fallbacks(); }
void VectorRecorder::PlacePatch(RasterPatch&& patch) { recording->PlacePatch(std::move(patch)); }
void VectorRecorder::PatchFailed() { recording->PatchFailed(); }
const std::set<const fz_font*>& VectorRecorder::DrawnFonts() const { return recording->DrawnFonts(); }
bool VectorRecorder::OverBudget() { return recording->OverBudget(); }
void VectorRecorder::Spend(const std::string& why) { recording->Spend(why); }
void VectorRecorder::StopRunWith(fz_cookie* cookie) { recording->StopRunWith(cookie); }
PageBudget& VectorRecorder::Budget() { return recording->Budget(); }
