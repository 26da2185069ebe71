#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "swf/fdt.h"
#include "swf/fprimitives.h"

// The bitmaps of a movie's vector pages, one character for each distinct
// picture however often it is drawn (known by a hash of its content as
// stored). A JPEG image in RGB or grey, with no decode array, colour key or
// mask, goes into the movie as the file's own bytes unless it is larger than
// its cap; every other image is decoded (with its soft mask as alpha where it
// has one) and stored as the smaller of lossless and JPEG (bitmapchoice.h).
//
// The bitmaps a page draws first stay the page's until CommitPage: a page
// drawn as a picture after all (DiscardPage) leaves none behind, and a later
// page that draws the same picture defines it again. Such a picture, shown on
// more than one page, is stored once for them all: it is not weighed against
// the later page alone (PendingIDsDrawnBefore).
class PDFImageTable {
public:
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
    };

    PDFImageTable() = default;
    PDFImageTable(const PDFImageTable&) = delete;
    PDFImageTable& operator=(const PDFImageTable&) = delete;
    PDFImageTable(PDFImageTable&&) = default;
    PDFImageTable& operator=(PDFImageTable&&) = default;

    // The image's bitmap, with `softMask`'s grey values as alpha when given.
    // A bitmap seen for the first time appends its define tag to `newTags`.
    // None when MuPDF cannot decode the image.
    std::optional<Bitmap> Image(fz_context* ctx, fz_image* image, fz_image* softMask, const Storage& storage,
                                std::vector<std::unique_ptr<FDT>>& newTags);

    // A stencil mask drawn in `color`: the colour everywhere, the mask as alpha.
    std::optional<Bitmap> Stencil(fz_context* ctx, fz_image* mask, FColor color, const Storage& storage,
                                  std::vector<std::unique_ptr<FDT>>& newTags);

    // The bitmaps of the page recorded last are the movie's for good.
    void CommitPage();
    // They are forgotten: their define tags are not written.
    void DiscardPage();
    // The IDs of the page's new bitmaps that a page discarded before drew.
    std::vector<uint16_t> PendingIDsDrawnBefore() const;

    size_t BitmapCount() const { return bitmaps.size() + pending.size(); }
    size_t PassedThroughJPEGs() const { return jpegs + pendingJPEGs; }

private:
    std::optional<Bitmap> Known(const std::string& key) const;
    Bitmap Remember(const std::string& key, std::unique_ptr<FDT> tag, int32_t width, int32_t height,
                    std::vector<std::unique_ptr<FDT>>& newTags);
    // The straight RGBA pixels stored for the decoded picture.
    std::optional<Bitmap> Stored(char kind, const std::vector<uint8_t>& rgba, int32_t width, int32_t height,
                                 const Storage& storage, std::vector<std::unique_ptr<FDT>>& newTags);

    std::map<std::string, Bitmap> bitmaps;  // by content key, committed
    std::map<std::string, Bitmap> pending;  // first drawn by the page being recorded
    std::set<std::string> discarded;        // drawn by pages drawn as pictures
    size_t jpegs = 0, pendingJPEGs = 0;
};
