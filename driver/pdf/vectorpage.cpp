#include "driver/pdf/vectorpage.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "driver/pdf/pagefontcheck.h"
#include "driver/pdf/pagerun.h"
#include "driver/pdf/rasterpatch.h"
#include "driver/pdf/runlimit.h"
#include "driver/pdf/vectordevice.h"

namespace {

// False when MuPDF stopped with an error (or at the cookie's abort), whose
// message fz_caught_message then gives.
bool TryRunPage(fz_context* ctx, fz_page* page, fz_device* device, fz_matrix transform, fz_cookie* cookie,
                PageParts parts)
{
    bool ok = true;
    fz_try(ctx)
    {
        RunPage(ctx, page, device, transform, cookie, parts);
        fz_close_device(ctx, device);
    }
    fz_catch(ctx) ok = false;
    return ok;
}

bool TryBoundPage(fz_context* ctx, fz_page* page, fz_rect* bounds)
{
    bool ok = true;
    fz_try(ctx) *bounds = fz_bound_page(ctx, page);
    fz_catch(ctx) ok = false;
    return ok;
}

}  // namespace

uint64_t WrittenSize(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    return stream.Size();
}

VectorPage RecordVectorPage(fz_context* ctx, fz_page* page, fz_matrix pageToTwips, VectorResources& resources,
                            const VectorOptions& options)
{
    fz_rect bounds{};
    if (!TryBoundPage(ctx, page, &bounds))
        throw std::runtime_error(std::string("MuPDF cannot read the page: ") + fz_caught_message(ctx));
    const fz_rect area = fz_transform_rect(bounds, pageToTwips);
    resources.fonts.ForgetPageFonts();
    // Loaded before the page runs, which then draws with these very fonts.
    const PageFontCheck fontCheck(ctx, page, PageFontCheck::DrawnBy::Recorder);
    VectorRecorder recorder(ctx, resources, options, Bounds{area.x0, area.y0, area.x1, area.y1, false});
    fz_cookie cookie{};
    recorder.StopRunWith(&cookie);
    bool ran = false;
    {
        // Also where MuPDF works between the device's calls (a function of
        // a billion samples, a font loaded).
        const RunDeadline deadline(cookie, options.budget.seconds > 0 ? options.budget.seconds
                                                                      : std::numeric_limits<double>::infinity());
        ran = TryRunPage(ctx, page, recorder.Device(), pageToTwips, &cookie, options.parts);
    }
    recorder.StopRunWith(nullptr);
    resources.fonts.ForgetPageFonts();
    // An error MuPDF stopped at (a form nested past its limit, a glyph that
    // draws itself): what came before it is the page, as a viewer shows it.
    std::string damage;
    if (!ran && !recorder.OverBudget()) damage = fz_caught_message(ctx);
    std::vector<FontSubstitution> substituted = fontCheck.Substitutions(recorder.DrawnFonts());
    if (options.patchFallbacks && !recorder.OverBudget()) {
        std::vector<FRect> areas;
        for (const VectorFallback& fallback : recorder.Fallbacks()) areas.push_back(fallback.area);
        const std::vector<FRect> merged = MergedAreas(std::move(areas));
        if (merged.size() > options.budget.patches)
            recorder.Spend(std::to_string(merged.size()) + " areas SWF cannot draw, more than " +
                           std::to_string(options.budget.patches));
        // A patch is drawn whole by MuPDF: the run is stopped where it is
        // when the page's time is spent.
        fz_cookie patchRun{};
        const RunDeadline deadline(patchRun, recorder.Budget().SecondsLeft());
        for (const FRect& area : merged) {
            if (recorder.OverBudget()) break;
            std::optional<RasterPatch> patch = RenderRasterPatch(ctx, page, pageToTwips, area, options.patchPixelsPerTwip,
                                                                 options.parts, &patchRun, options.encoders);
            if (patch)
                recorder.PlacePatch(std::move(*patch));
            else
                recorder.PatchFailed();
        }
    }
    VectorPage result = recorder.Finish();
    result.substitutedFonts = std::move(substituted);
    result.summary.damage = std::move(damage);
    if (!result.sprite) return result;  // over its budget: to be drawn as a picture
    const std::vector<uint16_t> pictures = resources.images.PendingIDs();
    for (auto& tag : result.definitions)
        if (std::find(pictures.begin(), pictures.end(), tag->ID()) == pictures.end())
            result.summary.bytes += WrittenSize(*tag);
    result.summary.bytes += WrittenSize(*result.sprite);
    return result;
}
