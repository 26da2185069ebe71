#include "driver/pdf/pdfimages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <mupdf/pdf.h>

#include "driver/core/decodebudget.h"
#include "driver/pdf/bitmapchoice.h"
#include "driver/pdf/colourprofiles.h"
#include "driver/pdf/deferredbitmap.h"
#include "driver/pdf/mupdf.h"
#include "driver/pdf/ownedjpeg.h"
#include "driver/pdf/picturewalk.h"
#include "driver/pdf/rasterpages.h"

namespace {

// Two 64-bit chains over bytes, 8 at a time (a byte at a time took a
// twentieth of a real deck's conversion), a piece's tail a byte at a time.
class PictureHash {
public:
    void Add(const uint8_t* data, size_t size)
    {
        size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            uint64_t word;
            std::memcpy(&word, data + i, sizeof word);
            h1 = (h1 ^ word) * 0x100000001B3ULL;
            h1 ^= h1 >> 29;
            h2 = (h2 ^ word) * 0xFF51AFD7ED558CCDULL + 0x632BE59BD9B4E019ULL;
            h2 ^= h2 >> 32;
        }
        for (; i < size; ++i) {
            h1 = (h1 ^ data[i]) * 1099511628211ULL;
            h2 = (h2 ^ data[i]) * 0x100000001B3ULL + 0x632BE59BD9B4E019ULL;
        }
    }
    void Add(int64_t value) { Add(reinterpret_cast<const uint8_t*>(&value), sizeof value); }

    // The key of a picture of `kind` and size with these bytes hashed.
    std::string Key(char kind, int32_t width, int32_t height, uint64_t size) const
    {
        std::string key(1, kind);
        for (uint64_t v : {static_cast<uint64_t>(width), static_cast<uint64_t>(height), size, h1, h2})
            key.append(reinterpret_cast<const char*>(&v), sizeof v);
        return key;
    }

private:
    uint64_t h1 = 1469598103934665603ULL, h2 = 0x9E3779B97F4A7C15ULL;
};

// The key a picture is known by from its bytes as stored (pixels, or a JPEG
// file), with its kind and size.
std::string ContentKey(char kind, int32_t width, int32_t height, const uint8_t* data, size_t size)
{
    PictureHash hash;
    hash.Add(data, size);
    return hash.Key(kind, width, height, size);
}

// Adds to `hash` all that MuPDF's decoding of `image` depends on: its
// compressed bytes, how they are compressed, and how its samples become
// colours. False when that cannot be told without decoding it: a picture
// decoded as the page is read, a filter with state of its own (JBIG2's
// globals), a colour space that maps samples through a table or function,
// a colour-managed one.
bool AddSource(fz_context* ctx, fz_image* image, PictureHash& hash, int depth = 0)
{
    if (!image || depth > 1 || IsColourConverted(image)) return false;
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    if (!compressed || !compressed->buffer) return false;
    const fz_compression_params& params = compressed->params;
    hash.Add(params.type);
    switch (params.type) {
    case FZ_IMAGE_RAW:
    case FZ_IMAGE_RLD:
        break;
    case FZ_IMAGE_JPEG:
        hash.Add(params.u.jpeg.color_transform);
        break;
    case FZ_IMAGE_FAX:
        for (int v : {params.u.fax.columns, params.u.fax.rows, params.u.fax.k, params.u.fax.end_of_line,
                      params.u.fax.encoded_byte_align, params.u.fax.end_of_block, params.u.fax.black_is_1,
                      params.u.fax.damaged_rows_before_error})
            hash.Add(v);
        break;
    case FZ_IMAGE_FLATE:
        for (int v : {params.u.flate.columns, params.u.flate.colors, params.u.flate.predictor, params.u.flate.bpc})
            hash.Add(v);
        break;
    case FZ_IMAGE_LZW:
        for (int v : {params.u.lzw.columns, params.u.lzw.colors, params.u.lzw.predictor, params.u.lzw.bpc,
                      params.u.lzw.early_change})
            hash.Add(v);
        break;
    default:
        return false;
    }
    // No colour space: a mask's values, or a stencil's.
    if (image->colorspace && !fz_colorspace_is_device(ctx, image->colorspace)) return false;
    hash.Add(image->colorspace ? fz_colorspace_type(ctx, image->colorspace) : -1);
    for (int64_t v : {int64_t{image->w}, int64_t{image->h}, int64_t{image->n}, int64_t{image->bpc},
                      int64_t{image->imagemask}, int64_t{image->interpolate}, int64_t{image->use_colorkey},
                      int64_t{image->use_decode}, int64_t{image->invert_cmyk_jpeg}, int64_t{image->orientation}})
        hash.Add(v);
    const int values = std::clamp(int{image->n}, 0, int{FZ_MAX_COLORS}) * 2;
    if (image->use_colorkey)
        for (int i = 0; i < values; ++i) hash.Add(image->colorkey[i]);
    if (image->use_decode)
        for (int i = 0; i < values; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &image->decode[i], sizeof bits);
            hash.Add(bits);
        }
    hash.Add(image->mask != nullptr);
    if (image->mask && !AddSource(ctx, image->mask, hash, depth + 1)) return false;
    unsigned char* data = nullptr;
    const size_t size = fz_buffer_storage(ctx, compressed->buffer, &data);
    hash.Add(static_cast<int64_t>(size));
    hash.Add(data, size);
    return true;
}

// The key of the picture drawn from `image` (through `mask`, or as a
// stencil in `stencil`'s colour) at `width` x `height`, from its sources;
// empty when they cannot tell it.
std::string SourceKey(fz_context* ctx, fz_image* image, fz_image* mask, std::optional<FColor> stencil, bool scaled,
                      int32_t width, int32_t height)
{
    PictureHash hash;
    hash.Add(scaled);
    if (stencil) hash.Add(int64_t{stencil->Red()} << 24 | stencil->Green() << 16 | stencil->Blue() << 8 | stencil->Alpha());
    if (!AddSource(ctx, image, hash)) return {};
    hash.Add(mask != nullptr);
    if (mask && !AddSource(ctx, mask, hash)) return {};
    return hash.Key(stencil ? 's' : 'l', width, height, 0);
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

// Straight RGBA rows of an RGB pixmap (its alpha, if any, undone); the
// pixmap is dropped.
std::vector<uint8_t> StraightRGBA(fz_context* ctx, fz_pixmap* pixmap, int32_t& width, int32_t& height)
{
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
    return StraightRGBA(ctx, pixmap, width, height);
}

// What a scaled-down picture is drawn from: an image (through `mask` when
// given), or a stencil mask filled with `stencilColor`.
struct ScaledSource {
    fz_image* image = nullptr;
    fz_image* mask = nullptr;
    bool stencil = false;
    FColor stencilColor{0, 0, 0};
};

// The picture drawn onto `width` x `height` pixels by MuPDF's draw device,
// which scales images down with a filter (decoding a JPEG at a reduced size
// where it can), as straight RGBA; empty when it cannot be drawn.
std::vector<uint8_t> DrawScaled(fz_context* ctx, const ScaledSource& source, int32_t width, int32_t height)
{
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    fz_var(pixmap);
    fz_var(device);
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap(ctx, fz_device_rgb(ctx), width, height, nullptr, 1);
        fz_clear_pixmap(ctx, pixmap);
        device = fz_new_draw_device(ctx, fz_identity, pixmap);
        // The image's unit square onto the whole pixmap, its first row on top.
        const fz_matrix ctm = fz_scale(static_cast<float>(width), static_cast<float>(height));
        if (source.mask) fz_clip_image_mask(ctx, device, source.mask, ctm, fz_infinite_rect);
        if (source.stencil) {
            const FColor& c = source.stencilColor;
            const float rgb[3] = {c.Red() / 255.0f, c.Green() / 255.0f, c.Blue() / 255.0f};
            fz_fill_image_mask(ctx, device, source.image, ctm, fz_device_rgb(ctx), rgb, c.Alpha() / 255.0f,
                               fz_default_color_params);
        } else {
            fz_fill_image(ctx, device, source.image, ctm, 1, fz_default_color_params);
        }
        if (source.mask) fz_pop_clip(ctx, device);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) fz_drop_device(ctx, device);
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, pixmap);
        pixmap = nullptr;
    }
    if (!pixmap) return {};
    int32_t drawnWidth = 0, drawnHeight = 0;
    return StraightRGBA(ctx, pixmap, drawnWidth, drawnHeight);
}

// The size a picture of `width` x `height` pixels is stored at: scaled down
// to fit the cap, its aspect kept (at least a pixel a side); false when it
// fits as it is.
bool CappedSize(int32_t width, int32_t height, const PDFImageTable::Storage& storage, int32_t& cappedWidth,
                int32_t& cappedHeight)
{
    const bool wide = storage.maxWidth > 0 && width > storage.maxWidth;
    const bool tall = storage.maxHeight > 0 && height > storage.maxHeight;
    if (!wide && !tall) return false;
    double scale = 1;
    if (wide) scale = std::min(scale, static_cast<double>(storage.maxWidth) / width);
    if (tall) scale = std::min(scale, static_cast<double>(storage.maxHeight) / height);
    cappedWidth = std::max<int32_t>(1, static_cast<int32_t>(std::floor(width * scale + 0.5)));
    cappedHeight = std::max<int32_t>(1, static_cast<int32_t>(std::floor(height * scale + 0.5)));
    if (storage.maxWidth > 0) cappedWidth = std::min(cappedWidth, storage.maxWidth);
    if (storage.maxHeight > 0) cappedHeight = std::min(cappedHeight, storage.maxHeight);
    return true;
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

// Whether a JPEG of `width` x `height` may keep its own bytes: within the
// cap, or within the larger one JPEGs have.
bool WithinJPEGCap(int32_t width, int32_t height, const PDFImageTable::Storage& storage)
{
    const auto within = [](int32_t v, int32_t cap) { return cap <= 0 || v <= cap; };
    return (within(width, storage.maxWidth) && within(height, storage.maxHeight)) ||
           (storage.maxJPEGWidth > 0 && storage.maxJPEGHeight > 0 && within(width, storage.maxJPEGWidth) &&
            within(height, storage.maxJPEGHeight));
}

bool FitsBitmap(int32_t width, int32_t height) { return width > 0 && height > 0 && width <= 0xFFFF && height <= 0xFFFF; }

// Whether a JPEG's frame is progressive (or otherwise not baseline nor
// extended sequential): libjpeg then keeps every coefficient of the whole
// picture, two bytes a sample, however small it decodes it.
bool WholeCoefficientsJPEG(fz_context* ctx, fz_compressed_buffer* compressed)
{
    unsigned char* data = nullptr;
    const size_t size = compressed->buffer ? fz_buffer_storage(ctx, compressed->buffer, &data) : 0;
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return false;
        const unsigned char marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        // SOF0 and SOF1 are sequential; any other start of frame is not.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker != 0xC0 && marker != 0xC1;
        if (marker == 0xD9 || marker == 0xDA) return false;
        at += 2 + (size_t{data[at + 2]} << 8 | data[at + 3]);
    }
    return false;
}

// The bytes MuPDF holds while it decodes `image` for `width` x `height`
// pixels, from its declared size alone. MuPDF halves a compressed picture
// while it still has the pixels asked for (a JPEG at most three times, in
// libjpeg), one byte a component; a JBIG2 page bitmap is decoded whole
// first, a bit a pixel, and a progressive JPEG's coefficients are all kept;
// a picture already decoded (a JPEG 2000 one is, as the page is read) costs
// only its copy at the size asked for. `visible`: the part of the picture
// drawn (MuPDF decodes only that of a compressed one).
uint64_t DecodeBytes(fz_context* ctx, fz_image* image, int32_t width, int32_t height, double visible = 1)
{
    const uint64_t w = static_cast<uint64_t>(std::max(image->w, 1)), h = static_cast<uint64_t>(std::max(image->h, 1));
    const uint64_t components = std::max<uint64_t>(image->n, 1);
    fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
    const int type = compressed ? compressed->params.type : FZ_IMAGE_UNKNOWN;
    int halvings = 0;
    if (type == FZ_IMAGE_JPEG || type == FZ_IMAGE_FLATE || type == FZ_IMAGE_LZW || type == FZ_IMAGE_RLD ||
        type == FZ_IMAGE_FAX || type == FZ_IMAGE_RAW || type == FZ_IMAGE_JBIG2) {
        const int most = type == FZ_IMAGE_JPEG ? 3 : 30;
        while (halvings < most && (w >> (halvings + 1)) >= static_cast<uint64_t>(std::max(width, 1)) &&
               (h >> (halvings + 1)) >= static_cast<uint64_t>(std::max(height, 1)))
            ++halvings;
    }
    if (!compressed)
        return static_cast<uint64_t>(std::max(width, 1)) * static_cast<uint64_t>(std::max(height, 1)) * components;
    const auto decoded = static_cast<uint64_t>(std::ceil(
        static_cast<double>(((w + (uint64_t{1} << halvings) - 1) >> halvings) *
                            ((h + (uint64_t{1} << halvings) - 1) >> halvings) * components) *
        std::clamp(visible, 0.0, 1.0)));
    if (type == FZ_IMAGE_JBIG2) return (w + 7) / 8 * h + decoded;
    if (type == FZ_IMAGE_JPEG && WholeCoefficientsJPEG(ctx, compressed)) return w * h * components * 2 + decoded;
    return decoded;
}

// Whether MuPDF can decode the picture for `width` x `height` pixels within
// the whole decode budget.
bool Decodable(fz_context* ctx, fz_image* image, int32_t width, int32_t height, double visible = 1)
{
    return image && SharedDecodeBudget().Fits(DecodeBytes(ctx, image, width, height, visible));
}

// The share of the budget a picture of `width` x `height` drawn from these
// takes: their decoding (the mask's for `maskWidth` x `maskHeight`), the
// drawn pixmap and its straight copy, the encoding.
uint64_t PictureBytes(fz_context* ctx, fz_image* image, fz_image* mask, int32_t width, int32_t height,
                      int32_t maskWidth, int32_t maskHeight, const BitmapEncoding& encoding)
{
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    uint64_t bytes = DecodeBytes(ctx, image, width, height) + pixels * 8 + encoding.bytes;
    if (mask) bytes += DecodeBytes(ctx, mask, maskWidth, maskHeight);
    return bytes;
}

// A picture's work takes at most two thirds of the budget: what the page
// drawn beside it on the other core holds (its patches, MuPDF's decoding of
// the same picture for them) is outside the budget. A photograph filling a
// 1920 x 1080 stage is stored at about 4 million pixels, twice the stage's.
constexpr uint64_t kPictureShareMultiplier = 2, kPictureShareDivisor = 3;

// Shrinks `width` x `height`, keeping the aspect, until the picture drawn
// at that size takes no more than its part of the budget; true when it did.
bool ShrinkToBudget(fz_context* ctx, fz_image* image, fz_image* mask, int32_t& width, int32_t& height)
{
    const uint64_t capacity = SharedDecodeBudget().Capacity();
    const uint64_t most = capacity / kPictureShareDivisor * kPictureShareMultiplier;
    bool shrunk = false;
    for (int tries = 0; tries < 16 && (width > 1 || height > 1); ++tries) {
        const uint64_t bytes = PictureBytes(ctx, image, mask, width, height, width, height,
                                            BitmapEncodingBytes(width, height, capacity));
        if (bytes <= most) break;
        // A little under the square root: the decoding does not shrink as fast.
        const double scale = std::sqrt(static_cast<double>(most) / static_cast<double>(bytes)) * 0.9;
        width = std::max<int32_t>(1, static_cast<int32_t>(width * scale));
        height = std::max<int32_t>(1, static_cast<int32_t>(height * scale));
        shrunk = true;
    }
    return shrunk;
}

// The picture's straight RGBA pixels with the mask's grey values as alpha,
// the mask sampled at each pixel's centre (it may have a resolution of its own).
void ApplyMask(std::vector<uint8_t>& rgba, int32_t width, int32_t height, const std::vector<uint8_t>& mask,
               int32_t maskWidth, int32_t maskHeight)
{
    for (int32_t y = 0; y < height; ++y) {
        const auto my = static_cast<size_t>((static_cast<int64_t>(y) * maskHeight + maskHeight / 2) / height);
        for (int32_t x = 0; x < width; ++x) {
            const auto mx = static_cast<size_t>((static_cast<int64_t>(x) * maskWidth + maskWidth / 2) / width);
            uint8_t& a = rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 + 3];
            a = static_cast<uint8_t>(a * mask[my * static_cast<size_t>(maskWidth) + mx] / 255);
        }
    }
}

// The stencil's coverage in `color`.
std::vector<uint8_t> Coloured(const std::vector<uint8_t>& coverage, FColor color)
{
    std::vector<uint8_t> rgba(coverage.size() * 4);
    for (size_t i = 0; i < coverage.size(); ++i) {
        rgba[i * 4] = static_cast<uint8_t>(color.Red());
        rgba[i * 4 + 1] = static_cast<uint8_t>(color.Green());
        rgba[i * 4 + 2] = static_cast<uint8_t>(color.Blue());
        rgba[i * 4 + 3] = static_cast<uint8_t>(coverage[i] * color.Alpha() / 255);
    }
    return rgba;
}

// The picture's straight RGBA pixels at `width` x `height`: drawn scaled
// where `scaled` (the mask with it), else decoded whole, the mask at
// `maskWidth` x `maskHeight` and sampled; a stencil in `stencil`'s colour.
// Empty when MuPDF cannot decode it, or gives another size than asked.
std::vector<uint8_t> DecodedPicture(fz_context* ctx, fz_image* image, fz_image* mask, std::optional<FColor> stencil,
                                    bool scaled, int32_t width, int32_t height, int32_t maskWidth, int32_t maskHeight)
{
    if (scaled)
        return DrawScaled(ctx, ScaledSource{image, mask, stencil.has_value(), stencil.value_or(FColor(0, 0, 0))},
                          width, height);
    int32_t decodedWidth = width, decodedHeight = height;
    if (stencil) {
        const std::vector<uint8_t> coverage = DecodeMask(ctx, image, decodedWidth, decodedHeight);
        if (coverage.empty() || decodedWidth != width || decodedHeight != height) return {};
        return Coloured(coverage, *stencil);
    }
    std::vector<uint8_t> rgba = DecodeRGBA(ctx, image, decodedWidth, decodedHeight);
    if (rgba.empty() || decodedWidth != width || decodedHeight != height) return {};
    if (mask) {
        int32_t decodedMaskWidth = maskWidth, decodedMaskHeight = maskHeight;
        const std::vector<uint8_t> values = DecodeMask(ctx, mask, decodedMaskWidth, decodedMaskHeight);
        if (values.empty() || decodedMaskWidth <= 0 || decodedMaskHeight <= 0) return {};
        ApplyMask(rgba, width, height, values, decodedMaskWidth, decodedMaskHeight);
    }
    return rgba;
}

// Whether pictures are decoded on workers: there are some, and contexts for them.
bool DecodesOnWorkers(const PDFImageTable::Storage& storage)
{
    return storage.encoders && storage.encoders->Workers() > 0 && storage.contexts;
}

// What MuPDF says in a worker's context: its first message is the picture's.
void KeepFirstMessage(void* user, const char* message)
{
    auto* said = static_cast<std::string*>(user);
    if (!said->empty() || !message) return;
    try {
        *said = message;
    } catch (...) {
        // No memory for the text: the picture is drawn all the same.
    }
}

}  // namespace

std::optional<PDFImageTable::Bitmap> PDFImageTable::Known(const std::string& key) const
{
    for (const auto* table : {&bitmaps, &pending}) {
        const auto found = table->find(key);
        if (found != table->end()) return found->second;
    }
    return std::nullopt;
}

PDFImageTable::Bitmap PDFImageTable::Remember(const std::string& key, std::unique_ptr<FDT> tag, int32_t width,
                                              int32_t height, std::vector<std::unique_ptr<FDT>>& newTags)
{
    const Bitmap bitmap{tag->ID(), width, height};
    pending.emplace(key, bitmap);
    newTags.push_back(std::move(tag));
    return bitmap;
}

std::vector<LatePicture> PDFImageTable::CommitPage()
{
    bitmaps.merge(pending);
    pending.clear();
    jpegs += pendingJPEGs;
    pendingJPEGs = 0;
    return std::exchange(pendingLate, {});
}

void PDFImageTable::DiscardPage()
{
    pending.clear();
    pendingJPEGs = 0;
    pendingLate.clear();
}

std::vector<uint16_t> PDFImageTable::PendingIDs() const
{
    std::vector<uint16_t> ids;
    for (const auto& [key, bitmap] : pending) ids.push_back(bitmap.id);
    return ids;
}

std::optional<PDFImageTable::Bitmap> PDFImageTable::Stored(char kind, std::vector<uint8_t>&& rgba, int32_t width,
                                                           int32_t height, const Storage& storage, ColourNumbers place,
                                                           DecodeBudget::Share&& share,
                                                           std::vector<std::unique_ptr<FDT>>& newTags)
{
    if (rgba.empty() || !FitsBitmap(width, height)) return std::nullopt;
    // The size is in the key: one picture capped at two sizes is two bitmaps.
    const std::string key = ContentKey(kind, width, height, rgba.data(), rgba.size());
    if (auto known = Known(key)) return known;
    return Remember(key,
                    SmallerBitmapTagOn(storage.encoders, std::move(rgba), width, height, storage.jpegQuality, place,
                                       std::move(share)),
                    width, height, newTags);
}

PDFImageTable::Bitmap PDFImageTable::Deferred(const std::string& key, fz_image* image, fz_image* mask,
                                              std::optional<FColor> stencil, bool scaled, int32_t width,
                                              int32_t height, int32_t maskWidth, int32_t maskHeight,
                                              const Storage& storage, ColourNumbers place, DecodeBudget::Share&& share,
                                              std::vector<std::unique_ptr<FDT>>& newTags)
{
    // What the job reads, kept until it is done or dropped: the images (and
    // the context they are let go in), the budget's share, what MuPDF says.
    struct Held {
        // The root and what the context says into outlive the context (which
        // may say more as it is dropped).
        std::shared_ptr<const mupdf::Root> root;
        std::shared_ptr<std::string> said = std::make_shared<std::string>();
        mupdf::ContextPtr ctx;
        fz_image* image = nullptr;
        fz_image* mask = nullptr;
        DecodeBudget::Share share;

        Held(std::shared_ptr<const mupdf::Root> from, DecodeBudget::Share&& taken)
            : root(std::move(from)), ctx(root->Clone()), share(std::move(taken))
        {
            fz_set_warning_callback(ctx.get(), KeepFirstMessage, said.get());
            fz_set_error_callback(ctx.get(), KeepFirstMessage, said.get());
        }
        ~Held()
        {
            fz_drop_image(ctx.get(), mask);
            fz_drop_image(ctx.get(), image);
        }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
    };
    auto held = std::make_shared<Held>(storage.contexts, std::move(share));
    held->image = fz_keep_image(held->ctx.get(), image);
    held->mask = fz_keep_image(held->ctx.get(), mask);
    const int32_t quality = storage.jpegQuality;
    auto job = storage.encoders->Submit<BitmapContent>(
        [held, stencil, scaled, width, height, maskWidth, maskHeight, quality, place]() -> BitmapContent {
            std::vector<uint8_t> rgba = DecodedPicture(held->ctx.get(), held->image, held->mask, stencil, scaled,
                                                       width, height, maskWidth, maskHeight);
            if (rgba.empty()) {
                // Its place stays clear, as a viewer leaves it; the page says why.
                if (held->said->empty()) *held->said = "a picture cannot be decoded";
                rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
            }
            return SmallerBitmap(rgba, width, height, quality, place);
        });
    pendingLate.emplace_back(job, held->said);
    return Remember(key, std::make_unique<DeferredBitmapTag>(std::move(job)), width, height, newTags);
}

std::optional<PDFImageTable::Bitmap> PDFImageTable::Image(fz_context* ctx, fz_image* image, fz_image* softMask,
                                                          const Storage& storage,
                                                          std::vector<std::unique_ptr<FDT>>& newTags)
{
    // A picture converted from its ICC profile is not the JPEG's pixels.
    if (!softMask && !IsColourConverted(image) && WithinJPEGCap(image->w, image->h, storage)) {
        std::vector<uint8_t> jpeg = PassThroughJPEG(ctx, image);
        if (!jpeg.empty() && FitsBitmap(image->w, image->h)) {
            const std::string key = ContentKey('J', image->w, image->h, jpeg.data(), jpeg.size());
            if (auto known = Known(key)) return known;
            ++pendingJPEGs;
            return Remember(key, std::make_unique<OwnedJPEGBitmap>(std::move(jpeg)), image->w, image->h, newTags);
        }
    }
    int32_t width = image->w, height = image->h, maskWidth = 0, maskHeight = 0;
    bool scaled = CappedSize(image->w, image->h, storage, width, height);
    // Its work within the budget, else smaller.
    if (ShrinkToBudget(ctx, image, softMask, width, height)) scaled = true;
    // A soft mask larger than its cap is drawn subsampled with the image.
    const bool maskScaled = softMask && CappedSize(softMask->w, softMask->h, storage, maskWidth, maskHeight);
    // Drawn scaled, the mask is decoded for the picture's pixels; else whole.
    const int32_t maskDecodedWidth = scaled || maskScaled ? width : softMask ? softMask->w : 0;
    const int32_t maskDecodedHeight = scaled || maskScaled ? height : softMask ? softMask->h : 0;
    if (!FitsBitmap(width, height)) return std::nullopt;
    const bool deferred = DecodesOnWorkers(storage);
    const std::string key =
        deferred ? SourceKey(ctx, image, softMask, std::nullopt, scaled || maskScaled, width, height) : std::string();
    if (!key.empty())
        if (auto known = Known(key)) return known;
    if (!Decodable(ctx, image, width, height) ||
        (softMask && !Decodable(ctx, softMask, maskDecodedWidth, maskDecodedHeight)))
        return std::nullopt;
    DecodeBudget& budget = SharedDecodeBudget();
    const BitmapEncoding encoding = BitmapEncodingBytes(width, height, budget.Capacity());
    DecodeBudget::Share share = budget.Take(
        PictureBytes(ctx, image, softMask, width, height, maskDecodedWidth, maskDecodedHeight, encoding));
    if (!key.empty())
        return Deferred(key, image, softMask, std::nullopt, scaled || maskScaled, width, height, maskWidth, maskHeight,
                        storage, encoding.place, std::move(share), newTags);
    return Stored('L',
                  DecodedPicture(ctx, image, softMask, std::nullopt, scaled || maskScaled, width, height, maskWidth,
                                 maskHeight),
                  width, height, storage, encoding.place, std::move(share), newTags);
}

std::optional<PDFImageTable::Bitmap> PDFImageTable::Stencil(fz_context* ctx, fz_image* mask, FColor color,
                                                            const Storage& storage,
                                                            std::vector<std::unique_ptr<FDT>>& newTags)
{
    int32_t width = mask->w, height = mask->h;
    bool scaled = CappedSize(mask->w, mask->h, storage, width, height);
    if (ShrinkToBudget(ctx, mask, nullptr, width, height)) scaled = true;
    if (!FitsBitmap(width, height)) return std::nullopt;
    const bool deferred = DecodesOnWorkers(storage);
    const std::string key = deferred ? SourceKey(ctx, mask, nullptr, color, scaled, width, height) : std::string();
    if (!key.empty())
        if (auto known = Known(key)) return known;
    if (!Decodable(ctx, mask, width, height)) return std::nullopt;
    DecodeBudget& budget = SharedDecodeBudget();
    const BitmapEncoding encoding = BitmapEncodingBytes(width, height, budget.Capacity());
    DecodeBudget::Share share = budget.Take(PictureBytes(ctx, mask, nullptr, width, height, 0, 0, encoding));
    if (!key.empty())
        return Deferred(key, mask, nullptr, color, scaled, width, height, 0, 0, storage, encoding.place,
                        std::move(share), newTags);
    return Stored('S', DecodedPicture(ctx, mask, nullptr, color, scaled, width, height, 0, 0), width, height, storage,
                  encoding.place, std::move(share), newTags);
}

PDFImageTable::Storage PDFImageTable::StorageFor(double acrossTwips, double downTwips, double stagePixelsPerTwip,
                                                 double maxPixelsPerTwip, int32_t jpegQuality)
{
    // The sides as placed, to the nearest pixel: the page's scale reaches
    // here in single precision, and a place of N pixels' worth must allow N.
    const auto pixels = [](double twips, double perTwip) {
        const double p = std::round(std::fabs(twips) * perTwip);
        return std::isfinite(p) ? std::clamp(p, 1.0, 65535.0) : 1.0;
    };
    Storage storage;
    storage.jpegQuality = jpegQuality;
    double width = pixels(acrossTwips, stagePixelsPerTwip) * kShownSizeFactor;
    double height = pixels(downTwips, stagePixelsPerTwip) * kShownSizeFactor;
    double jpegWidth = width * kJPEGPassFactor, jpegHeight = height * kJPEGPassFactor;
    if (maxPixelsPerTwip > 0) {
        width = std::min(width, pixels(acrossTwips, maxPixelsPerTwip));
        height = std::min(height, pixels(downTwips, maxPixelsPerTwip));
        // The cap asked for holds for JPEGs too.
        jpegWidth = std::min(jpegWidth, width);
        jpegHeight = std::min(jpegHeight, height);
    }
    // Within the pixels a page may have, the aspect kept.
    const auto within = [](double& w, double& h) {
        const double limit = static_cast<double>(kMaxPagePixels);
        if (w * h <= limit) return;
        const double scale = std::sqrt(limit / (w * h));
        w = std::max(1.0, std::floor(w * scale));
        h = std::max(1.0, std::floor(h * scale));
    };
    within(width, height);
    within(jpegWidth, jpegHeight);
    const auto side = [](double v) { return static_cast<int32_t>(std::clamp(v, 1.0, 65535.0)); };
    storage.maxWidth = side(width);
    storage.maxHeight = side(height);
    storage.maxJPEGWidth = side(jpegWidth);
    storage.maxJPEGHeight = side(jpegHeight);
    return storage;
}

// ---------------------------------------------------------------------------
// A device passing everything on but what cannot be decoded, hairlines a
// pixel wide, and knockout groups of opaque objects as ordinary groups. Its
// callbacks hold no C++ objects: MuPDF may leave them by longjmp.

namespace {

// A knockout group held back until its end: when every object in it is
// opaque, knocking out changes no pixel (an opaque object over the group's
// backdrop is that object), and it is drawn as an ordinary group, where
// MuPDF's knockout copies the backdrop for each object (an office suite's
// stepped gradient of hundreds of rings in one took a fifth of a deck's time).
struct HeldKnockoutGroup {
    fz_display_list* list;  // owned; null when none is held
    fz_device* recorder;    // owned: records into `list`
    int depth;              // groups open inside it
    int opaque;             // every object so far opaque, no group, mask or tile inside
    fz_rect area;
    fz_colorspace* cs;  // owned
    int isolated, blendmode;
    float alpha;
};

struct DecodableImagesDevice {
    fz_device super;
    fz_device* target;  // owned
    fz_rect area;       // what it draws on
    RunCallLimit* limit;  // borrowed; may be null
    HeldKnockoutGroup held;
};

// Every call passes the target through here: counted where there is a limit.
// Within a held knockout group, the target is its recording.
fz_device* Target(fz_device* dev)
{
    auto* self = reinterpret_cast<DecodableImagesDevice*>(dev);
    if (self->limit) self->limit->Count();
    return self->held.list ? self->held.recorder : self->target;
}

// Notes, within a held knockout group, what makes it more than opaque objects.
void NoteAlpha(fz_device* dev, float alpha)
{
    auto* self = reinterpret_cast<DecodableImagesDevice*>(dev);
    if (self->held.list && !(alpha >= 1)) self->held.opaque = 0;
}
void NoteNotOpaque(fz_device* dev) { NoteAlpha(dev, 0); }

void DropHeld(fz_context* ctx, HeldKnockoutGroup& held)
{
    fz_drop_device(ctx, held.recorder);
    fz_drop_display_list(ctx, held.list);
    fz_drop_colorspace(ctx, held.cs);
    held = HeldKnockoutGroup{};
}

// The picture placed at `ctm` (device pixels) within the budget, for as
// much of it as lies on the device's area.
bool DecodableAt(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm)
{
    const fz_rect placed = fz_transform_rect(fz_unit_rect, ctm);
    const fz_rect shown = fz_intersect_rect(placed, reinterpret_cast<DecodableImagesDevice*>(dev)->area);
    const auto area = [](fz_rect r) {
        return fz_is_empty_rect(r) ? 0.0 : static_cast<double>(r.x1 - r.x0) * static_cast<double>(r.y1 - r.y0);
    };
    const double visible = area(placed) > 0 ? area(shown) / area(placed) : 1.0;
    const auto side = [](float dx, float dy, int most) {
        const double pixels = std::ceil(std::hypot(static_cast<double>(dx), static_cast<double>(dy)));
        const double largest = std::max(most, 1);
        return static_cast<int32_t>(std::isfinite(pixels) ? std::clamp(pixels, 1.0, largest) : largest);
    };
    const int32_t width = side(ctm.a, ctm.b, image->w), height = side(ctm.c, ctm.d, image->h);
    if (Decodable(ctx, image, width, height, visible)) return true;
    char message[160];
    std::snprintf(message, sizeof message,
                  "a picture of %d x %d pixels is left out: decoding it needs %llu MiB (at most %llu)",
                  image->w, image->h,
                  static_cast<unsigned long long>(DecodeBytes(ctx, image, width, height, visible) >> 20),
                  static_cast<unsigned long long>(SharedDecodeBudget().Capacity() >> 20));
    fz_warn(ctx, "%s", message);
    return false;
}

void ForwardClose(fz_context* ctx, fz_device* dev)
{
    fz_close_device(ctx, reinterpret_cast<DecodableImagesDevice*>(dev)->target);
}
void ForwardDrop(fz_context* ctx, fz_device* dev)
{
    auto* self = reinterpret_cast<DecodableImagesDevice*>(dev);
    DropHeld(ctx, self->held);  // a run stopped inside the group
    fz_drop_device(ctx, self->target);
}
void ForwardFillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
                     fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    NoteAlpha(dev, alpha);
    fz_fill_path(ctx, Target(dev), path, evenOdd, ctm, cs, color, alpha, params);
}
// A path of straight lines along the axes, in the device's pixels with its
// points on the pixels' centres; walked by PixelCentreWalker.
struct PixelCentrePath {
    fz_path* path = nullptr;  // owned by the caller
    fz_matrix ctm;
    fz_point last{0, 0};
    bool alongAxes = true;
};

fz_point OnCentre(fz_point p) { return {std::floor(p.x) + 0.5f, std::floor(p.y) + 0.5f}; }

void CentreMoveTo(fz_context* ctx, void* arg, float x, float y)
{
    auto* walk = static_cast<PixelCentrePath*>(arg);
    walk->last = fz_transform_point_xy(x, y, walk->ctm);
    const fz_point p = OnCentre(walk->last);
    fz_moveto(ctx, walk->path, p.x, p.y);
}

void CentreLineTo(fz_context* ctx, void* arg, float x, float y)
{
    auto* walk = static_cast<PixelCentrePath*>(arg);
    const fz_point to = fz_transform_point_xy(x, y, walk->ctm);
    if (std::fabs(to.x - walk->last.x) > 0.01f && std::fabs(to.y - walk->last.y) > 0.01f) walk->alongAxes = false;
    walk->last = to;
    const fz_point p = OnCentre(to);
    fz_lineto(ctx, walk->path, p.x, p.y);
}

void CentreCurveTo(fz_context*, void* arg, float, float, float, float, float, float)
{
    static_cast<PixelCentrePath*>(arg)->alongAxes = false;
}

void CentreClose(fz_context* ctx, void* arg) { fz_closepath(ctx, static_cast<PixelCentrePath*>(arg)->path); }

// The path in pixels on the pixels' centres, or null when it is not all
// straight lines along the axes.
fz_path* OnPixelCentres(fz_context* ctx, const fz_path* path, fz_matrix ctm)
{
    static const fz_path_walker walker = {CentreMoveTo, CentreLineTo, CentreCurveTo, CentreClose,
                                          nullptr,      nullptr,      nullptr,       nullptr};
    PixelCentrePath walk;
    walk.ctm = ctm;
    walk.path = fz_new_path(ctx);
    fz_try(ctx) fz_walk_path(ctx, path, &walker, &walk);
    fz_catch(ctx)
    {
        fz_drop_path(ctx, walk.path);
        fz_rethrow(ctx);
    }
    if (walk.alongAxes) return walk.path;
    fz_drop_path(ctx, walk.path);
    return nullptr;
}

// A line thinner than a pixel is drawn a pixel wide, as viewers draw
// hairlines (a chart's grid is neither faint nor lost); one along the axes
// through the pixels' centres, so that it covers a row or a column whole
// where it would cover two at half strength.
void ForwardStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                       fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    NoteAlpha(dev, alpha);
    const float expansion = fz_matrix_expansion(ctm);
    if (!(expansion > 0) || !(stroke->linewidth * expansion < 1)) {
        fz_stroke_path(ctx, Target(dev), path, stroke, ctm, cs, color, alpha, params);
        return;
    }
    fz_path* crisp = nullptr;
    fz_stroke_state* thin = nullptr;
    fz_var(crisp);
    fz_var(thin);
    fz_try(ctx)
    {
        crisp = OnPixelCentres(ctx, path, ctm);
        thin = fz_clone_stroke_state(ctx, const_cast<fz_stroke_state*>(stroke));
        if (crisp) {
            // Drawn in pixels: the dashes' lengths with it.
            thin->linewidth = 1;
            thin->dash_phase *= expansion;
            for (int i = 0; i < thin->dash_len; ++i) thin->dash_list[i] *= expansion;
            fz_stroke_path(ctx, Target(dev), crisp, thin, fz_identity, cs, color, alpha, params);
        } else {
            thin->linewidth = 1 / expansion;
            fz_stroke_path(ctx, Target(dev), path, thin, ctm, cs, color, alpha, params);
        }
    }
    fz_always(ctx)
    {
        fz_drop_path(ctx, crisp);
        fz_drop_stroke_state(ctx, thin);
    }
    fz_catch(ctx) fz_rethrow(ctx);
}
void ForwardClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm, fz_rect scissor)
{
    fz_clip_path(ctx, Target(dev), path, evenOdd, ctm, scissor);
}
void ForwardClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path, const fz_stroke_state* stroke,
                           fz_matrix ctm, fz_rect scissor)
{
    fz_clip_stroke_path(ctx, Target(dev), path, stroke, ctm, scissor);
}
void ForwardFillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs,
                     const float* color, float alpha, fz_color_params params)
{
    NoteAlpha(dev, alpha);
    fz_fill_text(ctx, Target(dev), text, ctm, cs, color, alpha, params);
}
void ForwardStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                       fz_matrix ctm, fz_colorspace* cs, const float* color, float alpha, fz_color_params params)
{
    NoteAlpha(dev, alpha);
    fz_stroke_text(ctx, Target(dev), text, stroke, ctm, cs, color, alpha, params);
}
void ForwardClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_rect scissor)
{
    fz_clip_text(ctx, Target(dev), text, ctm, scissor);
}
void ForwardClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text, const fz_stroke_state* stroke,
                           fz_matrix ctm, fz_rect scissor)
{
    fz_clip_stroke_text(ctx, Target(dev), text, stroke, ctm, scissor);
}
void ForwardIgnoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm)
{
    fz_ignore_text(ctx, Target(dev), text, ctm);
}
void ForwardFillShade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                      fz_color_params params)
{
    NoteAlpha(dev, alpha);
    fz_fill_shade(ctx, Target(dev), shade, ctm, alpha, params);
}
void ForwardFillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
                      fz_color_params params)
{
    // A picture with a mask of its own, or colours keyed out, is not opaque.
    NoteAlpha(dev, image->mask || image->use_colorkey ? 0 : alpha);
    if (DecodableAt(ctx, dev, image, ctm)) fz_fill_image(ctx, Target(dev), image, ctm, alpha, params);
}
void ForwardFillImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace* cs,
                          const float* color, float alpha, fz_color_params params)
{
    NoteAlpha(dev, alpha);
    if (DecodableAt(ctx, dev, image, ctm)) fz_fill_image_mask(ctx, Target(dev), image, ctm, cs, color, alpha, params);
}
void ForwardClipImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_rect scissor)
{
    if (DecodableAt(ctx, dev, image, ctm)) {
        fz_clip_image_mask(ctx, Target(dev), image, ctm, scissor);
        return;
    }
    // An empty path: the clip the pop that follows expects, showing nothing.
    fz_path* nothing = fz_new_path(ctx);
    fz_try(ctx) fz_clip_path(ctx, Target(dev), nothing, 0, ctm, scissor);
    fz_always(ctx) fz_drop_path(ctx, nothing);
    fz_catch(ctx) fz_rethrow(ctx);
}
void ForwardPopClip(fz_context* ctx, fz_device* dev) { fz_pop_clip(ctx, Target(dev)); }
void ForwardBeginMask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
                      const float* bc, fz_color_params params)
{
    NoteNotOpaque(dev);
    fz_begin_mask(ctx, Target(dev), area, luminosity, cs, bc, params);
}
void ForwardEndMask(fz_context* ctx, fz_device* dev) { fz_end_mask(ctx, Target(dev)); }
void ForwardBeginGroup(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated, int knockout,
                       int blendmode, float alpha)
{
    auto* self = reinterpret_cast<DecodableImagesDevice*>(dev);
    HeldKnockoutGroup& held = self->held;
    if (held.list) {
        ++held.depth;
        held.opaque = 0;
    } else if (knockout) {
        if (self->limit) self->limit->Count();
        held.list = fz_new_display_list(ctx, fz_infinite_rect);
        fz_try(ctx) held.recorder = fz_new_list_device(ctx, held.list);
        fz_catch(ctx)
        {
            DropHeld(ctx, held);
            fz_rethrow(ctx);
        }
        held.depth = 0;
        held.opaque = 1;
        held.area = area;
        held.cs = fz_keep_colorspace(ctx, cs);
        held.isolated = isolated;
        held.blendmode = blendmode;
        held.alpha = alpha;
        return;
    }
    fz_begin_group(ctx, Target(dev), area, cs, isolated, knockout, blendmode, alpha);
}
void ForwardEndGroup(fz_context* ctx, fz_device* dev)
{
    auto* self = reinterpret_cast<DecodableImagesDevice*>(dev);
    HeldKnockoutGroup& held = self->held;
    if (!held.list || held.depth > 0) {
        if (held.list) --held.depth;
        fz_end_group(ctx, Target(dev));
        return;
    }
    // The group's end: drawn now, with its objects as they came.
    HeldKnockoutGroup group = held;
    held = HeldKnockoutGroup{};
    fz_try(ctx)
    {
        fz_close_device(ctx, group.recorder);
        fz_begin_group(ctx, self->target, group.area, group.cs, group.isolated, !group.opaque, group.blendmode,
                       group.alpha);
        fz_run_display_list(ctx, group.list, self->target, fz_identity, fz_infinite_rect, nullptr);
        fz_end_group(ctx, self->target);
    }
    fz_always(ctx) DropHeld(ctx, group);
    fz_catch(ctx) fz_rethrow(ctx);
}
int ForwardBeginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep, float ystep,
                     fz_matrix ctm, int id)
{
    NoteNotOpaque(dev);
    return fz_begin_tile_id(ctx, Target(dev), area, view, xstep, ystep, ctm, id);
}
void ForwardEndTile(fz_context* ctx, fz_device* dev) { fz_end_tile(ctx, Target(dev)); }
void ForwardRenderFlags(fz_context* ctx, fz_device* dev, int set, int clear)
{
    fz_render_flags(ctx, Target(dev), set, clear);
}
void ForwardDefaultColorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* spaces)
{
    fz_set_default_colorspaces(ctx, Target(dev), spaces);
}
void ForwardBeginLayer(fz_context* ctx, fz_device* dev, const char* name) { fz_begin_layer(ctx, Target(dev), name); }
void ForwardEndLayer(fz_context* ctx, fz_device* dev) { fz_end_layer(ctx, Target(dev)); }

}  // namespace

fz_device* NewDecodableImagesDevice(fz_context* ctx, fz_device* target, fz_irect area, RunCallLimit* limit)
{
    DecodableImagesDevice* dev = nullptr;
    fz_var(dev);
    fz_try(ctx) dev = fz_new_derived_device(ctx, DecodableImagesDevice);
    fz_catch(ctx)
    {
        fz_drop_device(ctx, target);
        fz_rethrow(ctx);
    }
    dev->target = target;
    dev->area = fz_rect_from_irect(area);
    dev->limit = limit;
    dev->held = HeldKnockoutGroup{};
    dev->super.hints = target->hints;
    dev->super.flags = target->flags;
    dev->super.close_device = ForwardClose;
    dev->super.drop_device = ForwardDrop;
    dev->super.fill_path = ForwardFillPath;
    dev->super.stroke_path = ForwardStrokePath;
    dev->super.clip_path = ForwardClipPath;
    dev->super.clip_stroke_path = ForwardClipStrokePath;
    dev->super.fill_text = ForwardFillText;
    dev->super.stroke_text = ForwardStrokeText;
    dev->super.clip_text = ForwardClipText;
    dev->super.clip_stroke_text = ForwardClipStrokeText;
    dev->super.ignore_text = ForwardIgnoreText;
    dev->super.fill_shade = ForwardFillShade;
    dev->super.fill_image = ForwardFillImage;
    dev->super.fill_image_mask = ForwardFillImageMask;
    dev->super.clip_image_mask = ForwardClipImageMask;
    dev->super.pop_clip = ForwardPopClip;
    dev->super.begin_mask = ForwardBeginMask;
    dev->super.end_mask = ForwardEndMask;
    dev->super.begin_group = ForwardBeginGroup;
    dev->super.end_group = ForwardEndGroup;
    dev->super.begin_tile = ForwardBeginTile;
    dev->super.end_tile = ForwardEndTile;
    dev->super.render_flags = ForwardRenderFlags;
    dev->super.set_default_colorspaces = ForwardDefaultColorspaces;
    dev->super.begin_layer = ForwardBeginLayer;
    dev->super.end_layer = ForwardEndLayer;
    return &dev->super;
}

// ---------------------------------------------------------------------------
// JPEG 2000 pictures too large to decode, found before MuPDF reads them.

namespace {

// The samples a JPEG 2000 stream decodes to, by its codestream's image size
// (as MuPDF takes it) or else its dictionary's; 0 when it is not one.
uint64_t JPXSamples(fz_context* ctx, pdf_obj* image)
{
    int jpx = 0, width = 0, height = 0;
    size_t read = 0;
    unsigned char head[4096];  // a JP2 file's boxes before its codestream are small
    fz_stream* stream = nullptr;
    fz_var(stream);
    const bool ok = TryCalls(ctx, [&] {
        jpx = pdf_is_jpx_image(ctx, image);
        if (!jpx) return;
        width = pdf_dict_get_int(ctx, image, PDF_NAME(Width));
        height = pdf_dict_get_int(ctx, image, PDF_NAME(Height));
        stream = pdf_open_raw_stream(ctx, image);
        read = fz_read(ctx, stream, head, sizeof head);
    });
    TryCalls(ctx, [&] { fz_drop_stream(ctx, stream); });
    if (!ok || !jpx) return 0;
    const auto big = [&](size_t at) {
        return uint64_t{head[at]} << 24 | uint64_t{head[at + 1]} << 16 | uint64_t{head[at + 2]} << 8 | head[at + 3];
    };
    // SOC, then SIZ: Xsiz, Ysiz, XOsiz, YOsiz at 8, 12, 16, 20 from SOC; Csiz at 40.
    for (size_t i = 0; i + 42 <= read; ++i)
        if (head[i] == 0xFF && head[i + 1] == 0x4F && head[i + 2] == 0xFF && head[i + 3] == 0x51) {
            const uint64_t w = big(i + 8) > big(i + 16) ? big(i + 8) - big(i + 16) : 0;
            const uint64_t h = big(i + 12) > big(i + 20) ? big(i + 12) - big(i + 20) : 0;
            return w * h * std::max<uint64_t>(1, uint64_t{head[i + 40]} << 8 | head[i + 41]);
        }
    return static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0)) * 3;
}

// The name a picture too large to decode is given in place of /Image:
// MuPDF passes over it (with a warning of its own).
constexpr const char* kLeftOut = "TooLargeToDecode";

// Whether the picture (or its mask) is a JPEG 2000 one too large to decode:
// then said, and counted in `leftOut`.
bool TooLarge(fz_context* ctx, pdf_obj* image, int& leftOut)
{
    const uint64_t samples = JPXSamples(ctx, image);
    if (samples <= kMaxJPXSamples) return false;
    ++leftOut;
    // MuPDF's own formatting has no 64-bit integers.
    char message[128];
    std::snprintf(message, sizeof message, "a JPEG 2000 picture of %llu samples is left out: more than %llu to decode",
                  static_cast<unsigned long long>(samples), static_cast<unsigned long long>(kMaxJPXSamples));
    TryCalls(ctx, [&] { fz_warn(ctx, "%s", message); });
    return true;
}

}  // namespace

int LeaveOutUndecodablePictures(fz_context* ctx, fz_page* page)
{
    pdf_page* pdfPage = nullptr;
    TryCalls(ctx, [&] { pdfPage = pdf_page_from_fz_page(ctx, page); });
    if (!pdfPage) return 0;
    int leftOut = 0;
    try {
        PagePictureWalk walk(ctx, 32, 100000);
        const GuardedReads& reads = walk.reads;
        walk.Walk(pdfPage, [&](pdf_obj* xobject) {
            const char* subtype = reads.Name(reads.Get(xobject, PDF_NAME(Subtype)));
            // One left out before is named again for this page.
            const bool leftOutBefore = std::strcmp(subtype, kLeftOut) == 0;
            if (!leftOutBefore && std::strcmp(subtype, "Image") != 0) return;
            if (TooLarge(ctx, xobject, leftOut)) {
                if (!leftOutBefore)
                    TryCalls(ctx, [&] { pdf_dict_put_name(ctx, xobject, PDF_NAME(Subtype), kLeftOut); });
                return;
            }
            for (pdf_obj* key : {PDF_NAME(SMask), PDF_NAME(Mask)}) {
                pdf_obj* mask = reads.Get(xobject, key);
                if (mask && TooLarge(ctx, mask, leftOut)) TryCalls(ctx, [&] { pdf_dict_del(ctx, xobject, key); });
            }
        });
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return leftOut;
}
