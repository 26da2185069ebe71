#pragma once

#include <memory>
#include <string>

#include "driver/pdf/colourprofiles.h"
#include "driver/pdf/curvefit.h"
#include "driver/pdf/substitutefonts.h"
#include "driver/pdf/vectorpage.h"

// A PDF opened with MuPDF for recording its pages as vector pages: the
// context and document owned together, for one thread.
class VectorDocument {
public:
    // Throws std::runtime_error with MuPDF's message when the file cannot be opened.
    explicit VectorDocument(const std::string& fileName);
    ~VectorDocument();
    VectorDocument(const VectorDocument&) = delete;
    VectorDocument& operator=(const VectorDocument&) = delete;

    int PageCount() const { return pageCount; }
    // The page's bounds in points, after its rotation: (x0, y0) - (x1, y1).
    Bounds PageBounds(int page) const;

    // The page (from 0) recorded with its points mapped to twips by
    // `pageToTwips`, its new bitmaps committed to the resources.
    VectorPage Record(int page, const Affine& pageToTwips, VectorResources& resources,
                      const VectorOptions& options = {}) const;

    // The scale and offset that fit the page into an area `width` x `height`
    // twips, centred, keeping its aspect.
    Affine FitTransform(int page, double width, double height) const;

private:
    SubstituteFonts fonts;  // outlives the context
    fz_context* ctx = nullptr;
    fz_document* document = nullptr;
    std::unique_ptr<ColourManagedPictures> colours;  // the page recorded last's pictures in ICC-based spaces
    int pageCount = 0;
};
