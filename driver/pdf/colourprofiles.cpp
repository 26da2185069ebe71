#include "driver/pdf/colourprofiles.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

#include "driver/pdf/picturewalk.h"

struct TransformDelete {
    void operator()(void* transform) const noexcept { cmsDeleteTransform(transform); }
};

// One profile's transform to sRGB. Made with lcms2's one-pixel cache off,
// so that both worker threads may convert through it at once.
struct ColourConversion {
    std::unique_ptr<void, TransformDelete> transform;
    int channels = 0;   // of the profile's space: 1, 3 or 4
    bool gray = false;  // into grey (sRGB's tone curve), else into sRGB
};

namespace {

// ---------------------------------------------------------------------------
// Profiles and their transforms, shared by every document and thread.

struct ProfileDrop {
    void operator()(void* profile) const noexcept { cmsCloseProfile(profile); }
};
using ProfilePtr = std::unique_ptr<void, ProfileDrop>;

// Grey as MuPDF's device grey is taken: sRGB's tone curve, D50 white.
ProfilePtr SRGBGrey()
{
    const cmsFloat64Number curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
    if (!tone) return nullptr;
    ProfilePtr grey(cmsCreateGrayProfile(cmsD50_xyY(), tone));
    cmsFreeToneCurve(tone);
    return grey;
}

// Whether every colour of a grid (every grey) comes out within one step of
// itself: the profile is sRGB, or near enough that converting changes nothing.
bool ConvertsToItself(const ColourConversion& conversion)
{
    std::vector<uint8_t> in, out;
    if (conversion.channels == 1) {
        for (int v = 0; v < 256; ++v) in.push_back(static_cast<uint8_t>(v));
    } else if (conversion.channels == 3) {
        for (int r = 0; r < 256; r += 17)
            for (int g = 0; g < 256; g += 17)
                for (int b = 0; b < 256; b += 17) in.insert(in.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
    } else {
        return false;
    }
    out.resize(in.size());
    cmsDoTransform(conversion.transform.get(), in.data(), out.data(),
                   static_cast<cmsUInt32Number>(in.size() / static_cast<size_t>(conversion.channels)));
    for (size_t i = 0; i < in.size(); ++i)
        if (std::abs(int{in[i]} - int{out[i]}) > 1) return false;
    return true;
}

// The transform of a profile to sRGB; null when lcms2 refuses the profile,
// its space is not grey, RGB or CMYK, or it changes no colour.
std::shared_ptr<const ColourConversion> MakeConversion(const std::vector<uint8_t>& bytes)
{
    ProfilePtr profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    if (!profile) return nullptr;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile.get());
    if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass) return nullptr;
    auto conversion = std::make_shared<ColourConversion>();
    cmsUInt32Number inFormat = 0;
    switch (cmsGetColorSpace(profile.get())) {
    case cmsSigGrayData:
        conversion->channels = 1;
        conversion->gray = true;
        inFormat = TYPE_GRAY_8;
        break;
    case cmsSigRgbData:
        conversion->channels = 3;
        inFormat = TYPE_RGB_8;
        break;
    case cmsSigCmykData:
        conversion->channels = 4;
        inFormat = TYPE_CMYK_8;
        break;
    default:
        return nullptr;
    }
    const ProfilePtr target(conversion->gray ? SRGBGrey() : ProfilePtr(cmsCreate_sRGBProfile()));
    if (!target) return nullptr;
    // Relative colorimetric with black point compensation, as MuPDF itself
    // converts when built with colour management.
    conversion->transform.reset(cmsCreateTransform(profile.get(), inFormat, target.get(),
                                                   conversion->gray ? TYPE_GRAY_8 : TYPE_RGB_8,
                                                   INTENT_RELATIVE_COLORIMETRIC,
                                                   cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION));
    if (!conversion->transform || ConvertsToItself(*conversion)) return nullptr;
    return conversion;
}

// Conversions by the digest of their profile's bytes; a refused profile is
// remembered as null, so that no profile is parsed twice.
class ConversionCache {
public:
    std::shared_ptr<const ColourConversion> For(const std::vector<uint8_t>& bytes)
    {
        Key key{};
        fz_md5 md5;
        fz_md5_init(&md5);
        fz_md5_update(&md5, bytes.data(), bytes.size());
        fz_md5_final(&md5, key.digest.data());
        key.size = bytes.size();
        // Made under the lock: two threads meeting one new profile build it once.
        std::lock_guard lock(mutex);
        const auto found = conversions.find(key);
        if (found != conversions.end()) return found->second;
        // Bounded: a file of endless distinct profiles starts the cache afresh.
        if (conversions.size() >= kMostCached) conversions.clear();
        std::shared_ptr<const ColourConversion> made = MakeConversion(bytes);
        conversions.emplace(key, made);
        return made;
    }

private:
    static constexpr size_t kMostCached = 64;
    struct Key {
        std::array<unsigned char, 16> digest;
        size_t size;
        bool operator<(const Key& other) const
        {
            return size != other.size ? size < other.size : digest < other.digest;
        }
    };
    std::mutex mutex;
    std::map<Key, std::shared_ptr<const ColourConversion>> conversions;
};

ConversionCache& Conversions()
{
    static ConversionCache cache;
    return cache;
}

// ---------------------------------------------------------------------------
// The images whose decoders are wrapped, shared by every document and thread.
// An entry lives as long as its image: MuPDF drops the image through the
// wrapped drop, which takes the entry out first.

struct Wrapped {
    fz_image_get_pixmap_fn* getPixmap = nullptr;
    fz_drop_image_fn* dropImage = nullptr;
    std::shared_ptr<const ColourConversion> conversion;
};

class WrappedImages {
public:
    // What the wrapped decoder needs, as plain values: MuPDF may leave the
    // decoder by longjmp, past any destructor.
    struct Found {
        fz_image_get_pixmap_fn* getPixmap = nullptr;
        const ColourConversion* conversion = nullptr;  // the entry's, alive while the image is
    };

    Found Find(const fz_image* image)
    {
        std::lock_guard lock(mutex);
        const auto found = images.find(image);
        if (found == images.end()) return {};
        return {found->second.getPixmap, found->second.conversion.get()};
    }
    bool Contains(const fz_image* image)
    {
        std::lock_guard lock(mutex);
        return images.count(image) != 0;
    }
    // False when the image is wrapped already.
    bool Add(const fz_image* image, Wrapped wrapped)
    {
        std::lock_guard lock(mutex);
        return images.emplace(image, std::move(wrapped)).second;
    }
    // The image's own drop; the entry is gone.
    fz_drop_image_fn* Remove(const fz_image* image)
    {
        std::shared_ptr<const ColourConversion> last;  // let go outside the lock
        std::lock_guard lock(mutex);
        const auto found = images.find(image);
        if (found == images.end()) return nullptr;
        fz_drop_image_fn* drop = found->second.dropImage;
        last = std::move(found->second.conversion);
        images.erase(found);
        return drop;
    }

private:
    std::mutex mutex;
    std::unordered_map<const fz_image*, Wrapped> images;
};

WrappedImages& Wrappings()
{
    static WrappedImages wrapped;
    return wrapped;
}

// The decoded samples of `from` converted into `to`, of the same size and
// alpha. MuPDF's samples are premultiplied: undone for the conversion, done
// again after it. False when there is no memory for a row.
bool ConvertSamples(const ColourConversion& conversion, const fz_pixmap* from, fz_pixmap* to) noexcept
{
    const int inN = conversion.channels, outN = conversion.gray ? 1 : 3;
    const auto width = static_cast<size_t>(std::max(from->w, 0));
    const auto pixels = static_cast<cmsUInt32Number>(width);
    try {
        std::vector<uint8_t> in, out;
        if (from->alpha) {
            in.resize(width * static_cast<size_t>(inN));
            out.resize(width * static_cast<size_t>(outN));
        }
        for (int y = 0; y < from->h; ++y) {
            const unsigned char* source = from->samples + y * from->stride;
            unsigned char* target = to->samples + y * to->stride;
            if (!from->alpha) {
                cmsDoTransform(conversion.transform.get(), source, target, pixels);
                continue;
            }
            for (size_t x = 0; x < width; ++x) {
                const unsigned char* pixel = source + x * static_cast<size_t>(inN + 1);
                const int a = pixel[inN];
                for (int c = 0; c < inN; ++c)
                    in[x * static_cast<size_t>(inN) + static_cast<size_t>(c)] =
                        a == 0 ? 0 : static_cast<uint8_t>(std::min(255, (pixel[c] * 255 + a / 2) / a));
            }
            cmsDoTransform(conversion.transform.get(), in.data(), out.data(), pixels);
            for (size_t x = 0; x < width; ++x) {
                const int a = source[x * static_cast<size_t>(inN + 1) + static_cast<size_t>(inN)];
                unsigned char* pixel = target + x * static_cast<size_t>(outN + 1);
                for (int c = 0; c < outN; ++c)
                    pixel[c] = static_cast<unsigned char>((out[x * static_cast<size_t>(outN) + static_cast<size_t>(c)] * a + 127) / 255);
                pixel[outN] = static_cast<unsigned char>(a);
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// `decoded` (taken over) in sRGB; as it is when its samples are not in the
// profile's space (a picture whose /N the profile does not have).
fz_pixmap* Converted(fz_context* ctx, fz_pixmap* given, const ColourConversion& conversion)
{
    if (!given || given->n - given->alpha != conversion.channels || given->s != 0) return given;
    // A local, not the argument, is read after MuPDF's longjmp.
    fz_pixmap* decoded = given;
    fz_var(decoded);
    fz_pixmap* converted = nullptr;
    fz_var(converted);
    fz_try(ctx)
    {
        converted = fz_new_pixmap(ctx, conversion.gray ? fz_device_gray(ctx) : fz_device_rgb(ctx), decoded->w,
                                  decoded->h, nullptr, decoded->alpha);
        converted->x = decoded->x;
        converted->y = decoded->y;
        fz_set_pixmap_resolution(ctx, converted, decoded->xres, decoded->yres);
    }
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, converted);
        fz_drop_pixmap(ctx, decoded);
        fz_rethrow(ctx);
    }
    if (!ConvertSamples(conversion, decoded, converted)) {
        fz_drop_pixmap(ctx, converted);
        fz_drop_pixmap(ctx, decoded);
        fz_throw(ctx, FZ_ERROR_MEMORY, "no memory to convert a picture's colours");
    }
    fz_drop_pixmap(ctx, decoded);
    return converted;
}

// The wrapped decoder and drop. They hold no C++ objects: MuPDF may leave
// them by longjmp.
fz_pixmap* ConvertingGetPixmap(fz_context* ctx, fz_image* image, fz_irect* area, int w, int h, int* l2factor)
{
    const WrappedImages::Found found = Wrappings().Find(image);
    if (!found.getPixmap) fz_throw(ctx, FZ_ERROR_GENERIC, "a picture has lost its decoder");
    fz_pixmap* decoded = found.getPixmap(ctx, image, area, w, h, l2factor);
    return Converted(ctx, decoded, *found.conversion);
}

void DropWrapped(fz_context* ctx, fz_image* image)
{
    fz_drop_image_fn* drop = Wrappings().Remove(image);
    if (drop) drop(ctx, image);
}

// ---------------------------------------------------------------------------
// Finding a page's pictures in ICC-based spaces. The file is hostile: every
// read is guarded, objects are visited once and a bounded number of them.

struct Candidate {
    pdf_obj* image;
    pdf_obj* profile;  // the ICC stream
};

// The ICC stream of [/ICCBased s], or of the base of [/Indexed [/ICCBased s] ...];
// MuPDF also takes the stream itself in place of the array.
pdf_obj* ProfileOf(const GuardedReads& reads, pdf_obj* space, bool indexedBase = false)
{
    if (!space) return nullptr;
    if (reads.IsStream(space)) return space;
    if (reads.ArrayLength(space) < 2) return nullptr;
    pdf_obj* family = reads.ArrayItem(space, 0);
    if (reads.NameIs(family, PDF_NAME(ICCBased))) {
        pdf_obj* stream = reads.ArrayItem(space, 1);
        return reads.IsStream(stream) ? stream : nullptr;
    }
    if (!indexedBase && (reads.NameIs(family, PDF_NAME(Indexed)) || reads.NameIs(family, PDF_NAME(I))))
        return ProfileOf(reads, reads.ArrayItem(space, 1), true);
    return nullptr;
}

// The page's pictures in ICC-based spaces.
std::vector<Candidate> PicturesWithProfiles(fz_context* ctx, pdf_page* page)
{
    std::vector<Candidate> found;
    PagePictureWalk walk(ctx, 16, 10000);
    const GuardedReads& reads = walk.reads;
    walk.Walk(page, [&](pdf_obj* xobject) {
        if (!reads.NameIs(reads.Get(xobject, PDF_NAME(Subtype)), PDF_NAME(Image))) return;
        int skip = 0;
        // A stencil has no colours; MuPDF decodes a JPEG 2000 picture as it
        // loads it, and one is rarely a photo of a slide. A soft mask is grey
        // coverage, never a colour.
        TryCalls(ctx, [&] {
            skip = pdf_dict_get_bool(ctx, xobject, PDF_NAME(ImageMask)) || pdf_is_jpx_image(ctx, xobject);
        });
        if (skip) return;
        if (pdf_obj* profile = ProfileOf(reads, reads.Get(xobject, PDF_NAME(ColorSpace))))
            found.push_back({xobject, profile});
        if (found.size() >= ColourManagedPictures::kMostPictures) walk.Stop();
    });
    return found;
}

fz_stream* TryOpenStream(fz_context* ctx, pdf_obj* stream)
{
    fz_stream* opened = nullptr;
    fz_var(opened);
    fz_try(ctx) opened = pdf_open_stream(ctx, stream);
    fz_catch(ctx) opened = nullptr;
    return opened;
}

// Bytes read into `to`; -1 when the stream is damaged.
int64_t TryRead(fz_context* ctx, fz_stream* stream, uint8_t* to, size_t most)
{
    int64_t read = 0;
    fz_var(read);
    fz_try(ctx) read = static_cast<int64_t>(fz_read(ctx, stream, to, most));
    fz_catch(ctx) read = -1;
    return read;
}

// The profile stream's decoded bytes; empty when damaged, shorter than a
// profile's header or longer than a profile may be (read no further).
std::vector<uint8_t> ProfileBytes(fz_context* ctx, pdf_obj* profile)
{
    fz_stream* stream = TryOpenStream(ctx, profile);
    if (!stream) return {};
    std::vector<uint8_t> bytes;
    bool ok = true;
    try {
        constexpr size_t kChunk = 64 << 10;
        while (ok) {
            const size_t at = bytes.size();
            if (at > ColourManagedPictures::kMostProfileBytes) {
                ok = false;
                break;
            }
            const size_t want = std::min(kChunk, ColourManagedPictures::kMostProfileBytes + 1 - at);
            bytes.resize(at + want);
            const int64_t read = TryRead(ctx, stream, bytes.data() + at, want);
            if (read < 0) ok = false;
            bytes.resize(at + static_cast<size_t>(std::max<int64_t>(read, 0)));
            if (read <= 0) break;
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    TryCalls(ctx, [&] { fz_drop_stream(ctx, stream); });
    // 128 bytes of header and a tag count.
    if (!ok || bytes.size() < 132 || bytes.size() > ColourManagedPictures::kMostProfileBytes) return {};
    return bytes;
}

fz_image* TryLoadImage(fz_context* ctx, pdf_document* document, pdf_obj* image)
{
    fz_image* loaded = nullptr;
    fz_var(loaded);
    fz_try(ctx) loaded = pdf_load_image(ctx, document, image);
    fz_catch(ctx) loaded = nullptr;
    return loaded;
}

// Whether MuPDF decodes the image into the profile's number of channels:
// its space (an indexed one's base) has as many as the profile.
bool DecodesInto(fz_context* ctx, const fz_image* image, int channels)
{
    fz_colorspace* space = image->colorspace;
    if (!space || image->imagemask) return false;
    int n = 0;
    TryCalls(ctx, [&] {
        if (fz_colorspace_is_indexed(ctx, space)) space = space->u.indexed.base;
        n = space ? fz_colorspace_n(ctx, space) : 0;
    });
    return n == channels;
}

size_t TrySize(fz_context* ctx, fz_image* image)
{
    size_t size = 0;
    TryCalls(ctx, [&] { size = fz_image_size(ctx, image); });
    return size;
}

}  // namespace

ColourManagedPictures::ColourManagedPictures(fz_context* context) : ctx(context) {}

ColourManagedPictures::~ColourManagedPictures() { Release(); }

void ColourManagedPictures::Release() { held.clear(); }

std::shared_ptr<const ColourConversion> ColourManagedPictures::ConversionOf(pdf_obj* profile, int& newProfiles)
{
    int number = 0;
    TryCalls(ctx, [&] { number = pdf_to_num(ctx, profile); });
    if (number > 0) {
        const auto found = byObject.find(number);
        if (found != byObject.end()) return found->second;
    }
    if (newProfiles >= kMostNewProfiles) return nullptr;
    ++newProfiles;
    const std::vector<uint8_t> bytes = ProfileBytes(ctx, profile);
    std::shared_ptr<const ColourConversion> conversion = bytes.empty() ? nullptr : Conversions().For(bytes);
    // Bounded like the shared cache; a page reads at most kMostNewProfiles anew.
    if (byObject.size() >= 1024) byObject.clear();
    if (number > 0) byObject.emplace(number, conversion);
    return conversion;
}

int ColourManagedPictures::Prepare(fz_page* page)
{
    // Let go once this page's are held: a picture of both pages stays in the
    // store, wrapped, rather than be loaded and wrapped anew.
    std::vector<ImagePtr> previous = std::move(held);
    held.clear();
    pdf_page* pdfPage = nullptr;
    TryCalls(ctx, [&] { pdfPage = pdf_page_from_fz_page(ctx, page); });
    if (!pdfPage || !pdfPage->obj || !pdfPage->doc) return 0;
    try {
        int newProfiles = 0;
        size_t heldBytes = 0;
        for (const Candidate& candidate : PicturesWithProfiles(ctx, pdfPage)) {
            std::shared_ptr<const ColourConversion> conversion = ConversionOf(candidate.profile, newProfiles);
            if (!conversion) continue;
            fz_image* loaded = TryLoadImage(ctx, pdfPage->doc, candidate.image);
            if (!loaded) continue;
            ImagePtr image(loaded, ImageDrop{ctx});
            if (!DecodesInto(ctx, loaded, conversion->channels)) continue;
            const size_t size = TrySize(ctx, loaded);
            if (heldBytes + size > kMostHeldBytes) break;
            if (loaded->get_pixmap != ConvertingGetPixmap) {
                // Wrapped as it is loaded for the page, before the page
                // decodes it: what the store keeps decoded of it is converted.
                if (!Wrappings().Add(loaded, Wrapped{loaded->get_pixmap, loaded->drop_image, conversion})) continue;
                loaded->get_pixmap = ConvertingGetPixmap;
                loaded->drop_image = DropWrapped;
            }
            heldBytes += size;
            held.push_back(std::move(image));
        }
    } catch (const std::bad_alloc&) {
        // What is wrapped stays so; nothing more is.
    }
    return static_cast<int>(held.size());
}

bool IsColourConverted(const fz_image* image) { return image && image->get_pixmap == ConvertingGetPixmap; }
