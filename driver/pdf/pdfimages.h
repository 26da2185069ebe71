#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/core/backgroundjobs.h"
#include "driver/core/decodebudget.h"
#include "driver/encode/losslessbitmap.h"
#include "driver/pdf/bitmapchoice.h"
#include "driver/pdf/runlimit.h"
#include "swf/fdt.h"
#include "swf/fprimitives.h"

// The bitmaps of a movie's vector pages, one character for each distinct
// picture however often it is drawn (known by a hash of its compressed bytes
// and of how they are decoded, or where those cannot tell it, of its pixels). A JPEG image in RGB or grey, with no decode array, colour key or
// mask, goes into the movie as the file's own bytes unless it is larger than
// its cap; every other image is decoded (with its soft mask as alpha where it
// has one) and stored as the smaller of lossless and JPEG (bitmapchoice.h).
//
// The bitmaps a page draws first stay the page's until CommitPage: a page
// drawn as a picture after all (DiscardPage) leaves none behind, and a later
// page that draws the same picture defines it again (PendingIDs).
//
// A picture known by its compressed bytes is decoded, scaled and encoded on
// a worker while the page goes on being drawn, in a MuPDF context of its own.
namespace mupdf {
class Root;
}

// A picture decoded on a worker after its page was drawn: what MuPDF said
// decoding it (a damaged stream, say) is known once it is done.
class LatePicture {
public:
    LatePicture(std::shared_ptr<BackgroundJob<BitmapContent>> job, std::shared_ptr<const std::string> said)
        : job(std::move(job)), said(std::move(said))
    {
    }
    // Waits for the picture (made here when no worker has started it) and
    // gives MuPDF's first message; empty when it said nothing. Rethrows what
    // the job threw.
    const std::string& Said() const
    {
        job->Get();
        return *said;
    }

private:
    std::shared_ptr<BackgroundJob<BitmapContent>> job;
    std::shared_ptr<const std::string> said;
};

class PDFImageTable {
public:
    // A picture is stored with at most twice the pixels a side that it covers
    // on the stage: sharp when the movie is shown at twice its size (a
    // high-density screen, or zoomed in).
    static constexpr int32_t kShownSizeFactor = 2;
    // A JPEG up to twice that cap a side goes in as it is: re-encoding costs
    // quality and time, and saves little until the JPEG has over 4 times the
    // cap's pixels for the player to decode and the movie to carry.
    static constexpr int32_t kJPEGPassFactor = 2;

    struct Bitmap {
        uint16_t id = 0;
        int32_t width = 0;  // pixels
        int32_t height = 0;
    };

    // How a drawing's pictures are stored.
    struct Storage {
        int32_t jpegQuality = 90;
        // At most this many pixels across and down (0: no cap): a larger
        // picture is scaled down to fit, keeping its aspect.
        int32_t maxWidth = 0;
        int32_t maxHeight = 0;
        // A JPEG within this many pixels across and down keeps its own bytes
        // (0: no cap); a larger one is decoded to the cap above.
        int32_t maxJPEGWidth = 0;
        int32_t maxJPEGHeight = 0;
        // Where pictures are encoded while the page goes on (borrowed; null:
        // at once).
        BackgroundJobs* encoders = nullptr;
        // What the contexts that decode pictures there are cloned from (null:
        // pictures are decoded here, before they are encoded there).
        std::shared_ptr<const mupdf::Root> contexts;
    };

    // How a picture is stored whose unit square is placed with sides
    // `acrossTwips` and `downTwips` long: at most kShownSizeFactor times the
    // pixels it covers at the stage's `stagePixelsPerTwip`, and at most
    // `maxPixelsPerTwip` (0: no such cap, the --max-image-dpi cap), within
    // kMaxPagePixels. A JPEG keeps its own bytes up to kJPEGPassFactor times
    // the stage cap a side (within the other cap).
    static Storage StorageFor(double acrossTwips, double downTwips, double stagePixelsPerTwip, double maxPixelsPerTwip,
                              int32_t jpegQuality);

    PDFImageTable() = default;
    PDFImageTable(const PDFImageTable&) = delete;
    PDFImageTable& operator=(const PDFImageTable&) = delete;
    PDFImageTable(PDFImageTable&&) = default;
    PDFImageTable& operator=(PDFImageTable&&) = default;

    // The image's bitmap, with `softMask`'s grey values as alpha when given.
    // A bitmap seen for the first time appends its define tag to `newTags`.
    // None when MuPDF cannot decode the image; one decoded on a worker that
    // turns out not to decode is drawn clear, and its LatePicture says so.
    std::optional<Bitmap> Image(fz_context* ctx, fz_image* image, fz_image* softMask, const Storage& storage,
                                std::vector<std::unique_ptr<FDT>>& newTags);

    // A stencil mask drawn in `color`: the colour everywhere, the mask as alpha.
    std::optional<Bitmap> Stencil(fz_context* ctx, fz_image* mask, FColor color, const Storage& storage,
                                  std::vector<std::unique_ptr<FDT>>& newTags);

    // The bitmaps of the page recorded last are the movie's for good; gives
    // those of them still to be decoded.
    std::vector<LatePicture> CommitPage();
    // They are forgotten: their define tags are not written.
    void DiscardPage();
    // The IDs of the page's new bitmaps.
    std::vector<uint16_t> PendingIDs() const;

    size_t BitmapCount() const { return bitmaps.size() + pending.size(); }
    size_t PassedThroughJPEGs() const { return jpegs + pendingJPEGs; }

private:
    std::optional<Bitmap> Known(const std::string& key) const;
    Bitmap Remember(const std::string& key, std::unique_ptr<FDT> tag, int32_t width, int32_t height,
                    std::vector<std::unique_ptr<FDT>>& newTags);
    // The straight RGBA pixels stored for the decoded picture, encoded on
    // `storage.encoders` when there are any. `share` is the budget's for it
    // (BitmapEncodingBytes, `place`), held until it is encoded.
    std::optional<Bitmap> Stored(char kind, std::vector<uint8_t>&& rgba, int32_t width, int32_t height,
                                 const Storage& storage, ColourNumbers place, DecodeBudget::Share&& share,
                                 std::vector<std::unique_ptr<FDT>>& newTags);
    // The picture of `image` (or, for a stencil, `mask` drawn in `stencil`'s
    // colour) decoded, drawn at `width` x `height` where `scaled`, and
    // encoded on a worker, under `key`. The mask is drawn with the picture
    // where `scaled`, else decoded at `maskWidth` x `maskHeight` and sampled.
    Bitmap Deferred(const std::string& key, fz_image* image, fz_image* mask, std::optional<FColor> stencil,
                    bool scaled, int32_t width, int32_t height, int32_t maskWidth, int32_t maskHeight,
                    const Storage& storage, ColourNumbers place, DecodeBudget::Share&& share,
                    std::vector<std::unique_ptr<FDT>>& newTags);

    std::map<std::string, Bitmap> bitmaps;  // by content key, committed
    std::map<std::string, Bitmap> pending;  // first drawn by the page being recorded
    size_t jpegs = 0, pendingJPEGs = 0;
    std::vector<LatePicture> pendingLate;  // the page's pictures decoded on workers
};

// Wraps `target` (owned from here, also when this fails), which draws on
// `area` (device pixels), in a device that passes it everything but the
// pictures MuPDF could not decode for their place there within the whole
// decode budget (PDFImageTable does not decode them either): those are left
// out with a MuPDF warning, an image-mask clip clipping everything. MuPDF's
// draw device subsamples the others to the pixels they cover, and decodes
// only the part it draws. Lines thinner than a pixel are drawn a pixel
// wide, and a knockout group of opaque objects as an ordinary group (held
// back until its end to tell). With `limit`, every call is counted against
// it. Throws as MuPDF does.
fz_device* NewDecodableImagesDevice(fz_context* ctx, fz_device* target, fz_irect area,
                                    RunCallLimit* limit = nullptr);

// MuPDF decodes a JPEG 2000 picture whole as it reads the page, outside the
// decode budget, at about 5 bytes a sample (OpenJPEG's and its own: 320 MB
// for 8000 x 8000 grey). One with more samples than this (5792 x 5792 grey,
// 3344 x 3344 RGB; an A4 page scanned at 300 dpi in colour has fewer) is
// left out of the page before the page is run, or out of the picture it
// masks, with a MuPDF warning naming its size; the page draws as if it were
// not there.
constexpr uint64_t kMaxJPXSamples = uint64_t{1} << 25;

// Leaves such pictures out of what the page draws (its resources, forms,
// patterns, Type 3 glyphs, soft masks and annotations' appearances), in the
// document as held in memory. Returns how many. Never throws.
int LeaveOutUndecodablePictures(fz_context* ctx, fz_page* page);
