#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "hf/hfcolor.h"
#include "hf/hfobject.h"
#include "swf/fdt.h"
#include "swf/fdtshapes.h"
#include "swf/fprimitives.h"

// What fills a shape's inside.
enum HFFillKind : uint8_t {
    kHFFillNone = 0,
    kHFFillSolid = 1,
    kHFFillLinearGradient = 2,
    kHFFillRadialGradient = 3,
    kHFFillBitmap = 4,
};

// The high-level drawable: bounds, an outline, a fill and a placement
// transform. Coordinates and sizes are in twips; rotation and scale are 16.16
// fixed point. The first addition to a frame defines the shape (its fill's
// bitmap tag, then a DefineShape3); every setter that changes its look clears
// `defined`, so that the next addition defines it anew under a new ID.
class HFShape : public HFObject {
public:
    // The bounds run from (x1, y1) to (x2, y2), both ends included.
    HFShape(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

    void SetLineWidth(int32_t width);  // 0 or less: no outline
    void SetLineColor(const HFColor& color);
    // Stores the colour; the fill kind stays as it is (after ClearFill, none).
    void SetSolidFill(const HFColor& color);
    void ClearFill();

    // A fill with a whole JPEG file, borrowed until the movie has been written.
    // The bitmap tag is made, and takes its character ID, here; the ID is returned.
    uint16_t SetJPEGBitmapFill(int32_t width, int32_t height, const uint8_t* data, int32_t size);
    // The same with the JPEG file left on disk until the movie is written,
    // where the region is read (and must still be as it was named).
    uint16_t SetJPEGBitmapFill(int32_t width, int32_t height, FSWFFileRegion region);
    // A lossless bitmap fill; pixels and table are compressed here and not kept.
    uint16_t SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                   uint32_t colorTableSize, bool alpha, const uint8_t* pixelData,
                                   const uint8_t* colorTable);
    // The same with the table and pixels already compressed by the caller
    // (one zlib stream, rows as the format lays them out); the shape's bitmap
    // tag takes the bytes over.
    uint16_t SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                   uint32_t colorTableSize, bool alpha,
                                   std::vector<uint8_t>&& compressedData);
    // The same stream left in files, in regions read in order when the movie
    // is written (FDTDefineBitsLossless).
    uint16_t SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                   uint32_t colorTableSize, bool alpha,
                                   std::vector<FSWFFileRegion> compressedPieces);

    // Two-colour gradients centred on the bounds.
    void SetLinearGradientFill(const HFColor& color1, const HFColor& color2);
    void SetRadialGradientFill(const HFColor& color1, const HFColor& color2);
    void SetLinearGradientMatrix(int32_t cx, int32_t cy);
    void SetRadialGradientMatrix(int32_t cx, int32_t cy);
    void AddLinearGradientColor(uint8_t ratio, const HFColor& color);
    void AddRadialGradientColor(uint8_t ratio, const HFColor& color);

    // Placement transform: takes effect with the next placement.
    void SetTranslation(int32_t x, int32_t y);
    void SetRotation(int32_t degrees);  // 16.16
    void SetScale(int32_t sx, int32_t sy);  // 16.16

    bool HasMatrix() const override;
    std::unique_ptr<FMatrix> Matrix() const override;

    // Both count the end coordinate in.
    int32_t Width() const { return bounds.XMax() - bounds.XMin() + 1; }
    int32_t Height() const { return bounds.YMax() - bounds.YMin() + 1; }

    const FRect& Bounds() const { return bounds; }
    HFFillKind FillKind() const { return fillKind; }
    const HFColor& FillColor() const { return fillColor; }
    uint32_t FillIndex() const { return fillIndex; }
    uint32_t LineIndex() const { return lineIndex; }
    // Gradient records the shape holds for its next definition.
    size_t GradientCount() const { return fillGradient ? fillGradient->Count() : 0; }

protected:
    // Adds the fill and line styles to the tag (appending the fill's bitmap
    // tag to the frame) and finishes its style arrays.
    void DefineStyles(HFFrame& frame, FDTDefineShapeBase& tag);
    // Appends the bitmap tag, if any, and a DefineShape3 moving to the start
    // point and drawing `edges`; sets the ID and `defined`.
    void DefineShape(HFFrame& frame, int32_t startX, int32_t startY,
                     std::vector<std::unique_ptr<FShapeRecord>> edges);

    FRect bounds;

private:
    struct BitmapFill {
        bool lossless = false;
        int32_t width = 0;   // pixels
        int32_t height = 0;  // pixels
        int32_t size = 0;    // JPEG bytes
        std::unique_ptr<FDT> fdt;  // the bitmap tag until the shape is defined
    };

    std::unique_ptr<FFillStyle> MakeBitmapFillStyle(HFFrame& frame, FDTDefineShapeBase& tag);
    // Fills with a lossless bitmap tag of `width` x `height` pixels; its ID.
    uint16_t UseLosslessBitmap(int32_t width, int32_t height, std::unique_ptr<FDT> bitmap);
    std::unique_ptr<FFillStyle> MakeGradientFillStyle(bool linear);
    void EnsureGradient();

    int32_t lineWidth = 20;
    HFColor lineColor{0, 0, 0, 255};
    uint32_t lineIndex = 1;
    uint32_t fillIndex = 1;
    int32_t translationX = 0;
    int32_t translationY = 0;
    int32_t rotation = 0;
    int32_t scaleX = 0x10000;
    int32_t scaleY = 0x10000;
    HFFillKind fillKind = kHFFillSolid;
    HFColor fillColor{255, 255, 255, 255};
    BitmapFill bitmapFill;
    // Both go to the fill style when the shape is defined.
    std::unique_ptr<FMatrix> fillMatrix =
        std::make_unique<FMatrix>(false, 0, 0, false, 0, 0, 0, 0);
    std::unique_ptr<FGradient> fillGradient = std::make_unique<FGradient>();
};

// A rectangle whose outline runs one twip beyond the bounds' maxima.
class HFRectangle : public HFShape {
public:
    HFRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) : HFShape(x1, y1, x2, y2) {}
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;
};

// An ellipse inside the box (x1, y1)–(x2, y2), drawn with eight curves.
class HFOval : public HFShape {
public:
    HFOval(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
        : HFShape(x1, y1, x2, y2), x1(x1), y1(y1), x2(x2), y2(y2) {}
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
};

// A circle: an oval whose box is a square.
class HFCircle : public HFOval {
public:
    // Centre and radius.
    HFCircle(int32_t cx, int32_t cy, int32_t r) : HFOval(cx - r, cy - r, cx + r, cy + r) {}
    HFCircle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) : HFOval(x1, y1, x2, y2) {}
};
