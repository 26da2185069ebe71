#include "driver/pdf/rasterpatch.h"

#include <algorithm>
#include <cmath>

#include "driver/encode/jpegencoder.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/pdf/deferredbitmap.h"
#include "driver/pdf/pagerun.h"
#include "driver/pdf/pdfimages.h"
#include "swf/fdtbitmaps.h"

namespace {

// The page drawn into an RGB pixmap of `box` (pixels); null on failure.
fz_pixmap* TryRender(fz_context* ctx, fz_page* page, fz_matrix toPixels, fz_irect box, PageParts parts,
                     fz_cookie* cookie)
{
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    fz_var(pixmap);
    fz_var(device);
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), box, nullptr, 0);
        fz_clear_pixmap_with_value(ctx, pixmap, 255);
        device = NewDecodableImagesDevice(ctx, fz_new_draw_device(ctx, fz_identity, pixmap), box);
        RunPage(ctx, page, device, toPixels, cookie, parts);
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

std::optional<RasterPatch> RenderRasterPatch(fz_context* ctx, fz_page* page, fz_matrix pageToTwips,
                                             const FRect& area, double pixelsPerTwip, PageParts parts,
                                             fz_cookie* cookie, BackgroundJobs* encoders)
{
    const double twips = static_cast<double>(area.XMax() - area.XMin()) * (area.YMax() - area.YMin());
    if (twips <= 0) return std::nullopt;
    double s = pixelsPerTwip;
    if (twips * s * s > static_cast<double>(kMaxPatchPixels)) s = std::sqrt(static_cast<double>(kMaxPatchPixels) / twips);
    const fz_irect box{static_cast<int>(std::floor(area.XMin() * s)), static_cast<int>(std::floor(area.YMin() * s)),
                       static_cast<int>(std::ceil(area.XMax() * s)), static_cast<int>(std::ceil(area.YMax() * s))};
    const int width = box.x1 - box.x0, height = box.y1 - box.y0;
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return std::nullopt;

    fz_pixmap* pixmap =
        TryRender(ctx, page, fz_concat(pageToTwips, fz_scale(static_cast<float>(s), static_cast<float>(s))), box, parts,
                  cookie);
    if (!pixmap) return std::nullopt;
    const uint8_t* samples = fz_pixmap_samples(ctx, pixmap);
    const int stride = fz_pixmap_stride(ctx, pixmap);
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    std::vector<uint8_t>& rgba = *pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* in = samples + static_cast<ptrdiff_t>(y) * stride + x * 3;
            uint8_t* out = rgba.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    fz_drop_pixmap(ctx, pixmap);

    RasterPatch patch;
    patch.width = width;
    patch.height = height;
    patch.area = FRect(static_cast<int32_t>(std::lround(box.x0 / s)), static_cast<int32_t>(std::lround(box.y0 / s)),
                       static_cast<int32_t>(std::lround(box.x1 / s)), static_cast<int32_t>(std::lround(box.y1 / s)));
    // The smaller of its JPEG and its lossless form.
    patch.bitmap = BitmapTagOn(encoders, [pixels, width, height]() -> BitmapContent {
        std::vector<uint8_t> jpeg = EncodeJPEG(pixels->data(), width, height, static_cast<size_t>(width) * 4,
                                               PixelLayout::RGBA, JPEGSettings{});
        LosslessSlide lossless = EncodeLosslessRGBA(pixels->data(), width, height);
        if (lossless.zlibData.size() <= jpeg.size()) return lossless;
        return JPEGContent{std::move(jpeg)};
    });
    return patch;
}

std::vector<FRect> MergedAreas(std::vector<FRect> areas)
{
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < areas.size() && !merged; ++i)
            for (size_t j = i + 1; j < areas.size() && !merged; ++j) {
                const FRect& a = areas[i];
                const FRect& b = areas[j];
                if (a.XMin() > b.XMax() || b.XMin() > a.XMax() || a.YMin() > b.YMax() || b.YMin() > a.YMax()) continue;
                areas[i] = FRect(std::min(a.XMin(), b.XMin()), std::min(a.YMin(), b.YMin()), std::max(a.XMax(), b.XMax()),
                                 std::max(a.YMax(), b.YMax()));
                areas.erase(areas.begin() + static_cast<ptrdiff_t>(j));
                merged = true;
            }
    }
    return areas;
}
