#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "swf/fdt.h"
#include "swf/fprimitives.h"

// The bitmaps of a movie's vector pages, one character for each distinct
// picture however often it is drawn (known by a hash of its content). A JPEG
// image in RGB or grey, with no decode array, colour key or mask, goes into
// the movie as the file's own bytes; every other image is decoded and stored
// lossless, with its soft mask as alpha where it has one.
class PDFImageTable {
public:
    struct Bitmap {
        uint16_t id = 0;
        int32_t width = 0;  // pixels
        int32_t height = 0;
    };

    PDFImageTable() = default;
    PDFImageTable(const PDFImageTable&) = delete;
    PDFImageTable& operator=(const PDFImageTable&) = delete;

    // The image's bitmap, with `softMask`'s grey values as alpha when given.
    // A bitmap seen for the first time appends its define tag to `newTags`.
    // None when MuPDF cannot decode the image.
    std::optional<Bitmap> Image(fz_context* ctx, fz_image* image, fz_image* softMask,
                                std::vector<std::unique_ptr<FDT>>& newTags);

    // A stencil mask drawn in `color`: the colour everywhere, the mask as alpha.
    std::optional<Bitmap> Stencil(fz_context* ctx, fz_image* mask, FColor color,
                                  std::vector<std::unique_ptr<FDT>>& newTags);

    size_t BitmapCount() const { return bitmaps.size(); }
    size_t PassedThroughJPEGs() const { return jpegs; }

private:
    std::optional<Bitmap> Known(const std::string& key) const;
    Bitmap Remember(const std::string& key, const FDT& tag, int32_t width, int32_t height);

    std::map<std::string, Bitmap> bitmaps;  // by content key
    size_t jpegs = 0;
};
