#pragma once

// Pictures in ICC-based colour spaces shown in sRGB. MuPDF as Debian builds
// it has no colour management: it decodes a picture in [/ICCBased ...] as if
// it were in the profile's alternate (device) space, so a photo tagged with a
// wide-gamut or printing profile comes out wrong. Before a page runs, the
// pictures its resources name in such a space are loaded and MuPDF's decoder
// of each is wrapped so that what it decodes is converted with lcms2: RGB and
// CMYK to sRGB, grey to grey in sRGB's tone curve. Whatever then draws the
// picture (a vector page's bitmap, a page or patch drawn whole as a picture)
// sees converted pixels. While a reference is held here, MuPDF's store hands
// the page's interpreter the very image that was wrapped.
//
// A profile lcms2 refuses, one longer than kMostProfileBytes, or one that
// converts every colour to itself (sRGB) leaves the picture as MuPDF draws it.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

struct ColourConversion;

class ColourManagedPictures {
public:
    // A profile is a few kilobytes, a large printing one a megabyte or two.
    static constexpr size_t kMostProfileBytes = size_t{4} << 20;
    // Bounds for one page: pictures wrapped, new profiles read and built,
    // compressed bytes of pictures held, objects visited in its resources.
    static constexpr int kMostPictures = 256;
    static constexpr int kMostNewProfiles = 8;
    static constexpr size_t kMostHeldBytes = size_t{64} << 20;

    // `ctx` is the document's, one thread's, and outlives this.
    explicit ColourManagedPictures(fz_context* ctx);
    ~ColourManagedPictures();
    ColourManagedPictures(const ColourManagedPictures&) = delete;
    ColourManagedPictures& operator=(const ColourManagedPictures&) = delete;

    // Wraps the decoders of the page's pictures in ICC-based spaces and holds
    // them until the next page is prepared; returns how many are held. What
    // MuPDF says reading them is the caller's to keep or drop. Never throws.
    int Prepare(fz_page* page);
    // Lets the held pictures go.
    void Release();

private:
    struct ImageDrop {
        fz_context* ctx = nullptr;
        void operator()(fz_image* image) const noexcept { fz_drop_image(ctx, image); }
    };
    using ImagePtr = std::unique_ptr<fz_image, ImageDrop>;

    // The conversion of the profile in stream `profile`; null when none is
    // made (refused, too long, sRGB already, or this page's share of new
    // profiles spent).
    std::shared_ptr<const ColourConversion> ConversionOf(pdf_obj* profile, int& newProfiles);

    fz_context* ctx;
    std::vector<ImagePtr> held;
    // By the profile stream's object number: a document names one profile
    // from many pictures and pages.
    std::map<int, std::shared_ptr<const ColourConversion>> byObject;
};

// Whether what MuPDF decodes of `image` is converted here: its compressed
// bytes are not the picture as shown, and cannot go into the movie as they are.
bool IsColourConverted(const fz_image* image);
