#include "hf/hfshape.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "hf/hfmovie.h"
#include "base/fassert.h"
#include "swf/fdtbitmaps.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
// The gradient square spans 32768 units on each side.
constexpr double kGradientSquare = 32768.0;

FColor RGBA(const HFColor& color)
{
    return FColor(color.red, color.green, color.blue, color.alpha);
}

// (size x 65536) / pixels as a 16.16 scale. Computed in 64 bits: slides of
// 32768 twips or more would overflow 32. A matrix's bit count is a 5-bit
// field, so a scale holds at most 31 signed bits: one beyond them (a tiny
// image on a huge shape) saturates there.
int32_t BitmapScale(int32_t size, int32_t pixels)
{
    constexpr int64_t kLargestScale = (int64_t{1} << 30) - 1;
    const int64_t scale = static_cast<int64_t>(size) * 65536 / pixels;
    return static_cast<int32_t>(std::clamp<int64_t>(scale, -kLargestScale, kLargestScale));
}

}  // namespace

HFShape::HFShape(int32_t x1, int32_t y1, int32_t x2, int32_t y2) : bounds(x1, y1, x2, y2) {}

void HFShape::SetLineWidth(int32_t width)
{
    lineWidth = width;
    defined = false;
}

void HFShape::SetLineColor(const HFColor& color)
{
    lineColor = color;
    defined = false;
}

void HFShape::SetSolidFill(const HFColor& color)
{
    fillColor = color;
    defined = false;
}

void HFShape::ClearFill()
{
    fillKind = kHFFillNone;
    defined = false;
}

uint16_t HFShape::SetJPEGBitmapFill(int32_t width, int32_t height, const uint8_t* data, int32_t size)
{
    fillKind = kHFFillBitmap;
    bitmapFill.lossless = false;
    bitmapFill.width = width;
    bitmapFill.height = height;
    bitmapFill.size = size;
    // A tag replaced before any definition is released here, unused.
    bitmapFill.fdt = std::make_unique<FDTDefineBitsJPEG2>(data, size);
    defined = false;
    return bitmapFill.fdt->ID();
}

uint16_t HFShape::SetJPEGBitmapFill(int32_t width, int32_t height, FSWFFileRegion region)
{
    fillKind = kHFFillBitmap;
    bitmapFill.lossless = false;
    bitmapFill.width = width;
    bitmapFill.height = height;
    bitmapFill.size = region.size;
    bitmapFill.fdt = std::make_unique<FDTDefineBitsJPEG2>(std::move(region));
    defined = false;
    return bitmapFill.fdt->ID();
}

uint16_t HFShape::SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                        uint32_t colorTableSize, bool alpha,
                                        const uint8_t* pixelData, const uint8_t* colorTable)
{
    return UseLosslessBitmap(width, height,
                             std::make_unique<FDTDefineBitsLossless>(format, static_cast<uint16_t>(width),
                                                                     static_cast<uint16_t>(height), colorTableSize,
                                                                     colorTable, pixelData, alpha));
}

uint16_t HFShape::SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                        uint32_t colorTableSize, bool alpha,
                                        std::vector<uint8_t>&& compressedData)
{
    return UseLosslessBitmap(width, height,
                             std::make_unique<FDTDefineBitsLossless>(format, static_cast<uint16_t>(width),
                                                                     static_cast<uint16_t>(height), colorTableSize,
                                                                     alpha, std::move(compressedData)));
}

uint16_t HFShape::SetLosslessBitmapFill(uint8_t format, int32_t width, int32_t height,
                                        uint32_t colorTableSize, bool alpha,
                                        std::vector<FSWFFileRegion> compressedPieces)
{
    return UseLosslessBitmap(width, height,
                             std::make_unique<FDTDefineBitsLossless>(format, static_cast<uint16_t>(width),
                                                                     static_cast<uint16_t>(height), colorTableSize,
                                                                     alpha, std::move(compressedPieces)));
}

uint16_t HFShape::UseLosslessBitmap(int32_t width, int32_t height, std::unique_ptr<FDT> bitmap)
{
    fillKind = kHFFillBitmap;
    bitmapFill.lossless = true;
    bitmapFill.width = width;
    bitmapFill.height = height;
    bitmapFill.size = 0;
    bitmapFill.fdt = std::move(bitmap);
    defined = false;
    return bitmapFill.fdt->ID();
}

void HFShape::SetLinearGradientFill(const HFColor& color1, const HFColor& color2)
{
    SetLinearGradientMatrix((bounds.XMin() + bounds.XMax()) / 2, (bounds.YMin() + bounds.YMax()) / 2);
    AddLinearGradientColor(0, color1);
    AddLinearGradientColor(255, color2);
}

void HFShape::SetRadialGradientFill(const HFColor& color1, const HFColor& color2)
{
    SetRadialGradientMatrix((bounds.XMin() + bounds.XMax()) / 2, (bounds.YMin() + bounds.YMax()) / 2);
    AddRadialGradientColor(0, color1);
    AddRadialGradientColor(255, color2);
}

void HFShape::SetLinearGradientMatrix(int32_t cx, int32_t cy)
{
    fillKind = kHFFillLinearGradient;
    // The width and height as raw 16.16 scales: over the 32768-unit square the
    // ramp spans half the shape about the centre.
    fillMatrix = std::make_unique<FMatrix>(true, Width(), Height(), false, 0, 0, cx, cy);
    defined = false;
}

void HFShape::SetRadialGradientMatrix(int32_t cx, int32_t cy)
{
    fillKind = kHFFillRadialGradient;
    // The outermost ring passes through the corners of the bounds.
    const double w = Width(), h = Height();
    const double diagonal = std::sqrt(w * w + h * h);
    const auto scale = static_cast<int32_t>(diagonal * 65536 / kGradientSquare);
    fillMatrix = std::make_unique<FMatrix>(true, scale, scale, false, 0, 0, cx, cy);
    defined = false;
}

void HFShape::EnsureGradient()
{
    if (!fillGradient) fillGradient = std::make_unique<FGradient>();
}

void HFShape::AddLinearGradientColor(uint8_t ratio, const HFColor& color)
{
    fillKind = kHFFillLinearGradient;
    EnsureGradient();
    fillGradient->Add(std::make_unique<FGradRecord>(ratio, RGBA(color)));
    defined = false;
}

void HFShape::AddRadialGradientColor(uint8_t ratio, const HFColor& color)
{
    fillKind = kHFFillRadialGradient;
    EnsureGradient();
    F_ASSERT(fillGradient, "fillGradient");
    fillGradient->Add(std::make_unique<FGradRecord>(ratio, RGBA(color)));
    defined = false;
}

void HFShape::SetTranslation(int32_t x, int32_t y)
{
    translationX = x;
    translationY = y;
}

void HFShape::SetRotation(int32_t degrees)
{
    rotation = degrees;
}

void HFShape::SetScale(int32_t sx, int32_t sy)
{
    scaleX = sx;
    scaleY = sy;
}

bool HFShape::HasMatrix() const
{
    return translationX != 0 || translationY != 0 || rotation != 0 || scaleX != 0x10000 ||
           scaleY != 0x10000;
}

std::unique_ptr<FMatrix> HFShape::Matrix() const
{
    // Single precision where players' own arithmetic used it, so that the
    // truncated values come out the same.
    const float sx = static_cast<float>(scaleX) / 65536.0f;
    const float sy = static_cast<float>(scaleY) / 65536.0f;
    const float degrees = static_cast<float>(rotation) / 65536.0f;
    const double theta = degrees * kRadiansPerDegree;
    const double cosine = std::cos(theta);
    const double sine = std::sin(theta);

    // Rotation about the centre of the bounds: the shift that brings the
    // rotated centre back onto itself.
    const auto cx = static_cast<int32_t>((bounds.XMin() + static_cast<double>(bounds.XMax())) / 2.0);
    const auto cy = static_cast<int32_t>((bounds.YMin() + static_cast<double>(bounds.YMax())) / 2.0);
    const auto x = static_cast<float>(cosine * cx - sine * cy - cx);
    const auto y = static_cast<float>(sine * cx + cosine * cy - cy);

    const auto a = static_cast<float>(cosine * sx);
    const auto b = static_cast<float>(sine * sx);
    const auto c = static_cast<float>(-sine * sy);
    const auto d = static_cast<float>(cosine * sy);
    return std::make_unique<FMatrix>(true, static_cast<int32_t>(a * 65536.0f),
                                     static_cast<int32_t>(d * 65536.0f), true,
                                     static_cast<int32_t>(b * 65536.0f),
                                     static_cast<int32_t>(c * 65536.0f),
                                     translationX - static_cast<int32_t>(x * sx),
                                     translationY - static_cast<int32_t>(y * sy));
}

std::unique_ptr<FFillStyle> HFShape::MakeBitmapFillStyle(HFFrame& frame, FDTDefineShapeBase& tag)
{
    F_ASSERT(bitmapFill.fdt, "bitmapFill.fdt");
    F_ASSERT(bitmapFill.width > 0 && bitmapFill.height > 0,
             "bitmapFill.width > 0 && bitmapFill.height > 0");
    const uint16_t bitmapID = bitmapFill.fdt->ID();
    frame.Tags().push_back(std::move(bitmapFill.fdt));
    // Fill style 1 names no bitmap (ID 0xFFFF) at scale 10; the real fill is 2.
    tag.AddFillStyle(std::make_unique<FFillStyleBitmap>(
        false, 0xFFFF, FMatrix(true, 0xA0000, 0xA0000, false, 0, 0, 0, 0)));
    return std::make_unique<FFillStyleBitmap>(
        false, bitmapID,
        FMatrix(true, BitmapScale(Width(), bitmapFill.width), BitmapScale(Height(), bitmapFill.height),
                false, 0, 0, bounds.XMin(), bounds.YMin()));
}

std::unique_ptr<FFillStyle> HFShape::MakeGradientFillStyle(bool linear)
{
    // Matrix and gradient went to the fill style of an earlier definition; a
    // new definition needs a new gradient.
    F_ASSERT(fillMatrix && fillGradient, "fillMatrix && fillGradient");
    auto style = std::make_unique<FFillStyleGradient>(linear, *fillMatrix, std::move(fillGradient));
    fillMatrix.reset();
    return style;
}

void HFShape::DefineStyles(HFFrame& frame, FDTDefineShapeBase& tag)
{
    std::unique_ptr<FFillStyle> fillStyle;
    switch (fillKind) {
    case kHFFillBitmap:
        fillStyle = MakeBitmapFillStyle(frame, tag);
        break;
    case kHFFillSolid:
        fillStyle = std::make_unique<FFillStyleSolid>(RGBA(fillColor));
        break;
    case kHFFillLinearGradient:
        fillStyle = MakeGradientFillStyle(true);
        break;
    case kHFFillRadialGradient:
        fillStyle = MakeGradientFillStyle(false);
        break;
    default:
        break;
    }
    if (fillStyle) fillIndex = tag.AddFillStyle(std::move(fillStyle));
    // Without a line style the index keeps its value and is written in 0 bits.
    if (lineWidth > 0)
        lineIndex = tag.AddLineStyle(static_cast<uint16_t>(std::min<int32_t>(lineWidth, 0xFFFF)),
                                     RGBA(lineColor));
    tag.FinishStyleArrays();
}

void HFShape::DefineShape(HFFrame& frame, int32_t startX, int32_t startY,
                          std::vector<std::unique_ptr<FShapeRecord>> edges)
{
    auto tag = std::make_unique<FDTDefineShape3>(bounds);
    SetID(tag->ID());
    DefineStyles(frame, *tag);
    tag->AddShapeRecord(std::make_unique<FStyleChangeRecord>(false, true, true, false, true, startX,
                                                             startY, 0, fillIndex, lineIndex));
    for (std::unique_ptr<FShapeRecord>& edge : edges) tag->AddShapeRecord(std::move(edge));
    tag->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    frame.Tags().push_back(std::move(tag));
    defined = true;
}

void HFRectangle::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        // One twip beyond the bounds: the edges count the end coordinate in.
        const int32_t w = Width(), h = Height();
        std::vector<std::unique_ptr<FShapeRecord>> edges;
        edges.push_back(std::make_unique<FStraightEdgeRecord>(w, 0));
        edges.push_back(std::make_unique<FStraightEdgeRecord>(0, h));
        edges.push_back(std::make_unique<FStraightEdgeRecord>(-w, 0));
        edges.push_back(std::make_unique<FStraightEdgeRecord>(0, -h));
        DefineShape(frame, bounds.XMin(), bounds.YMin(), std::move(edges));
    }
    if (!defineOnly) Place(frame, movie);
}

void HFOval::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) {
        // Eight quadratic curves approximating the ellipse, each value
        // truncated toward zero; truncation is symmetric about zero, so the
        // path closes exactly on its start.
        constexpr double A = 0.1465, B = 0.207;
        const double w = x2 - x1, h = y2 - y1;
        const auto t = [](double value) { return static_cast<int32_t>(value); };
        const int32_t curves[8][4] = {
            {t(-A * w), t(A * h), t(-B * w), 0},  {t(-B * w), 0, t(-A * w), t(-A * h)},
            {t(-A * w), t(-A * h), 0, t(-B * h)}, {0, t(-B * h), t(A * w), t(-A * h)},
            {t(A * w), t(-A * h), t(B * w), 0},   {t(B * w), 0, t(A * w), t(A * h)},
            {t(A * w), t(A * h), 0, t(B * h)},    {0, t(B * h), t(-A * w), t(A * h)},
        };
        std::vector<std::unique_ptr<FShapeRecord>> edges;
        for (const auto& c : curves)
            edges.push_back(std::make_unique<FCurvedEdgeRecord>(c[0], c[1], c[2], c[3]));
        DefineShape(frame, t(x1 + 0.8535 * w), t(y1 + 0.8535 * h), std::move(edges));
    }
    if (!defineOnly) Place(frame, movie);
}
