#include "driver/pdf/pdfimages.h"

#include <cstring>

#include "driver/pngslide.h"
#include "driver/pdf/ownedjpeg.h"
#include "swf/fdtbitmaps.h"

namespace {

// Two 64-bit hashes of the bytes (FNV-1a with two bases), with the kind and
// size of the picture: the key a picture is known by.
std::string ContentKey(char kind, int32_t width, int32_t height, const uint8_t* data, size_t size)
{
    uint64_t h1 = 1469598103934665603ULL, h2 = 0x9E3779B97F4A7C15ULL;
    for (size_t i = 0; i < size; ++i) {
        h1 = (h1 ^ data[i]) * 1099511628211ULL;
        h2 = (h2 ^ data[i]) * 0x100000001B3ULL + 0x632BE59BD9B4E019ULL;
    }
    std::string key(1, kind);
    for (uint64_t v : {static_cast<uint64_t>(width), static_cast<uint64_t>(height), static_cast<uint64_t>(size), h1, h2})
        key.append(reinterpret_cast<const char*>(&v), sizeof v);
    return key;
}

// MuPDF leaves a failed fz_try by longjmp: a local set inside it is kept in
// memory (fz_var) so that the value read afterwards is not a stale register.
fz_pixmap* TryPixmap(fz_context* ctx, fz_image* image)
{
    fz_pixmap* pixmap = nullptr;
    fz_var(pixmap);
    fz_try(ctx) pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
    fz_catch(ctx) pixmap = nullptr;
    return pixmap;
}

// An RGB pixmap (alpha kept) from any colour space; null on failure.
fz_pixmap* TryRGB(fz_context* ctx, fz_pixmap* pixmap)
{
    fz_pixmap* rgb = nullptr;
    fz_var(rgb);
    fz_try(ctx) rgb = fz_convert_pixmap(ctx, pixmap, fz_device_rgb(ctx), nullptr, nullptr, fz_default_color_params, 1);
    fz_catch(ctx) rgb = nullptr;
    return rgb;
}

// Straight RGBA rows of the image; empty when it cannot be decoded.
std::vector<uint8_t> DecodeRGBA(fz_context* ctx, fz_image* image, int32_t& width, int32_t& height)
{
    fz_pixmap* pixmap = TryPixmap(ctx, image);
    if (!pixmap) return {};
    if (!fz_colorspace_is_rgb(ctx, fz_pixmap_colorspace(ctx, pixmap))) {
        fz_pixmap* rgb = fz_pixmap_colorspace(ctx, pixmap) ? TryRGB(ctx, pixmap) : nullptr;
        fz_drop_pixmap(ctx, pixmap);
        if (!rgb) return {};
        pixmap = rgb;
    }
    width = fz_pixmap_width(ctx, pixmap);
    height = fz_pixmap_height(ctx, pixmap);
    const int n = fz_pixmap_components(ctx, pixmap);
    const bool alpha = fz_pixmap_alpha(ctx, pixmap) != 0;
    const int stride = fz_pixmap_stride(ctx, pixmap);
    const uint8_t* samples = fz_pixmap_samples(ctx, pixmap);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = samples + static_cast<ptrdiff_t>(y) * stride;
        uint8_t* out = rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        for (int32_t x = 0; x < width; ++x, row += n, out += 4) {
            const uint8_t a = alpha ? row[3] : 255;
            for (int c = 0; c < 3; ++c)
                out[c] = a == 0 ? 0 : static_cast<uint8_t>(std::min(255, (row[c] * 255 + a / 2) / a));
            out[3] = a;
        }
    }
    fz_drop_pixmap(ctx, pixmap);
    return rgba;
}

// The mask's first channel (grey value, or the coverage of a stencil), one
// byte a pixel; empty when it cannot be decoded.
std::vector<uint8_t> DecodeMask(fz_context* ctx, fz_image* mask, int32_t& width, int32_t& height)
{
    fz_pixmap* pixmap = TryPixmap(ctx, mask);
    if (!pixmap) return {};
    width = fz_pixmap_width(ctx, pixmap);
    height = fz_pixmap_height(ctx, pixmap);
    const int n = fz_pixmap_components(ctx, pixmap);
    const int stride = fz_pixmap_stride(ctx, pixmap);
    const uint8_t* samples = fz_pixmap_samples(ctx, pixmap);
    std::vector<uint8_t> values(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                samples[static_cast<ptrdiff_t>(y) * stride + static_cast<ptrdiff_t>(x) * n];
    fz_drop_pixmap(ctx, pixmap);
    return values;
}

// The JPEG file inside the image when it can be shown as it is; empty otherwise.
std::vector<uint8_t> PassThroughJPEG(fz_context* ctx, fz_image* image)
{
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (!compressed || compressed->params.type != FZ_IMAGE_JPEG || !compressed->buffer) return {};
    if (image->use_decode || image->use_colorkey || image->mask || image->imagemask) return {};
    const bool gray = fz_colorspace_is_gray(ctx, image->colorspace) != 0;
    const bool rgb = fz_colorspace_is_rgb(ctx, image->colorspace) != 0;
    if (!gray && !rgb) return {};
    // An RGB JPEG the PDF asks to read without the YCbCr transform.
    if (rgb && compressed->params.u.jpeg.color_transform == 0) return {};
    unsigned char* data = nullptr;
    const size_t size = fz_buffer_storage(ctx, compressed->buffer, &data);
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || size > 0x7FFFFFFF) return {};
    return std::vector<uint8_t>(data, data + size);
}

std::unique_ptr<FDT> LosslessTag(LosslessSlide&& slide)
{
    const auto width = static_cast<uint16_t>(slide.width), height = static_cast<uint16_t>(slide.height);
    if (slide.alpha)
        return std::make_unique<FDTDefineBitsLossless2>(slide.format, width, height, slide.colorTableEntries,
                                                        std::move(slide.zlibData));
    return std::make_unique<FDTDefineBitsLossless>(slide.format, width, height, slide.colorTableEntries, false,
                                                   std::move(slide.zlibData));
}

bool FitsBitmap(int32_t width, int32_t height) { return width > 0 && height > 0 && width <= 0xFFFF && height <= 0xFFFF; }

}  // namespace

std::optional<PDFImageTable::Bitmap> PDFImageTable::Known(const std::string& key) const
{
    const auto found = bitmaps.find(key);
    if (found == bitmaps.end()) return std::nullopt;
    return found->second;
}

PDFImageTable::Bitmap PDFImageTable::Remember(const std::string& key, const FDT& tag, int32_t width, int32_t height)
{
    const Bitmap bitmap{tag.ID(), width, height};
    bitmaps.emplace(key, bitmap);
    return bitmap;
}

std::optional<PDFImageTable::Bitmap> PDFImageTable::Image(fz_context* ctx, fz_image* image, fz_image* softMask,
                                                          std::vector<std::unique_ptr<FDT>>& newTags)
{
    if (!softMask) {
        std::vector<uint8_t> jpeg = PassThroughJPEG(ctx, image);
        if (!jpeg.empty() && FitsBitmap(image->w, image->h)) {
            const std::string key = ContentKey('J', image->w, image->h, jpeg.data(), jpeg.size());
            if (auto known = Known(key)) return known;
            auto tag = std::make_unique<OwnedJPEGBitmap>(std::move(jpeg));
            const Bitmap bitmap = Remember(key, *tag, image->w, image->h);
            newTags.push_back(std::move(tag));
            ++jpegs;
            return bitmap;
        }
    }
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba = DecodeRGBA(ctx, image, width, height);
    if (rgba.empty() || !FitsBitmap(width, height)) return std::nullopt;
    if (softMask) {
        int32_t maskWidth = 0, maskHeight = 0;
        const std::vector<uint8_t> mask = DecodeMask(ctx, softMask, maskWidth, maskHeight);
        if (mask.empty()) return std::nullopt;
        // The mask may have a resolution of its own: sampled at each pixel's centre.
        for (int32_t y = 0; y < height; ++y) {
            const auto my = static_cast<size_t>((static_cast<int64_t>(y) * maskHeight + maskHeight / 2) / height);
            for (int32_t x = 0; x < width; ++x) {
                const auto mx = static_cast<size_t>((static_cast<int64_t>(x) * maskWidth + maskWidth / 2) / width);
                uint8_t& a = rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 + 3];
                a = static_cast<uint8_t>(a * mask[my * static_cast<size_t>(maskWidth) + mx] / 255);
            }
        }
    }
    const std::string key = ContentKey('L', width, height, rgba.data(), rgba.size());
    if (auto known = Known(key)) return known;
    std::unique_ptr<FDT> tag = LosslessTag(EncodeLosslessRGBA(rgba.data(), width, height));
    const Bitmap bitmap = Remember(key, *tag, width, height);
    newTags.push_back(std::move(tag));
    return bitmap;
}

std::optional<PDFImageTable::Bitmap> PDFImageTable::Stencil(fz_context* ctx, fz_image* mask, FColor color,
                                                            std::vector<std::unique_ptr<FDT>>& newTags)
{
    int32_t width = 0, height = 0;
    const std::vector<uint8_t> coverage = DecodeMask(ctx, mask, width, height);
    if (coverage.empty() || !FitsBitmap(width, height)) return std::nullopt;
    std::vector<uint8_t> rgba(coverage.size() * 4);
    for (size_t i = 0; i < coverage.size(); ++i) {
        rgba[i * 4] = static_cast<uint8_t>(color.Red());
        rgba[i * 4 + 1] = static_cast<uint8_t>(color.Green());
        rgba[i * 4 + 2] = static_cast<uint8_t>(color.Blue());
        rgba[i * 4 + 3] = static_cast<uint8_t>(coverage[i] * color.Alpha() / 255);
    }
    const std::string key = ContentKey('S', width, height, rgba.data(), rgba.size());
    if (auto known = Known(key)) return known;
    std::unique_ptr<FDT> tag = LosslessTag(EncodeLosslessRGBA(rgba.data(), width, height));
    const Bitmap bitmap = Remember(key, *tag, width, height);
    newTags.push_back(std::move(tag));
    return bitmap;
}
