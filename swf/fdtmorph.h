#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>

#include "swf/fdt.h"
#include "swf/fdtshapes.h"
#include "swf/fprimitives.h"

// DefineMorphShape (46): a character that blends a start shape into an end
// shape of the same structure. Every fill and line style carries a start and
// an end value. The style arrays, gradients, shape records and FShape are the
// shape tags' own; this file adds the morph forms of the styles.
//
// Morph styles always carry RGBA colours: the record classes set `hasAlpha` on
// every colour they are given, since a reader of the tag expects four bytes.

// Root of the morph fill styles; only its concrete forms can be added.
class FMorphFillStyle : public FFillStyleBase {};

// A colour that blends from `startColor` to `endColor`.
class FMorphFillStyleSolid : public FMorphFillStyle {
public:
    FMorphFillStyleSolid(FColor startColor, FColor endColor);
    void Write(FSWFStream& stream) const override;

private:
    FColor startColor;
    FColor endColor;
};

// A linear or radial gradient whose matrix blends from start to end. The
// gradient's records must be FMorphGradRecords.
class FMorphFillStyleGradient : public FMorphFillStyle {
public:
    FMorphFillStyleGradient(bool linear, FMatrix startMatrix, FMatrix endMatrix,
                            std::unique_ptr<FGradient> gradient);
    void Write(FSWFStream& stream) const override;

private:
    bool linear;
    FMatrix startMatrix;
    FMatrix endMatrix;
    std::unique_ptr<FGradient> gradient;
};

// A tiled or clipped bitmap whose matrix blends from start to end.
class FMorphFillStyleBitmap : public FMorphFillStyle {
public:
    FMorphFillStyleBitmap(bool tiled, uint16_t bitmapID, FMatrix startMatrix, FMatrix endMatrix)
        : tiled(tiled), bitmapID(bitmapID), startMatrix(startMatrix), endMatrix(endMatrix) {}
    void Write(FSWFStream& stream) const override;

private:
    bool tiled;
    uint16_t bitmapID;
    FMatrix startMatrix;
    FMatrix endMatrix;
};

// One colour stop of a morph gradient, with its start and end position and colour.
class FMorphGradRecord : public FGradRecordBase {
public:
    FMorphGradRecord(uint8_t startRatio, FColor startColor, uint8_t endRatio, FColor endColor);
    void Write(FSWFStream& stream) const override;

private:
    uint8_t startRatio;
    uint8_t endRatio;
    FColor startColor;
    FColor endColor;
};

// A line whose width (twips) and colour blend from start to end.
class FMorphLineStyle : public FLineStyleBase {
public:
    FMorphLineStyle(uint16_t startWidth, uint16_t endWidth, FColor startColor, FColor endColor);
    void Write(FSWFStream& stream) const override;

private:
    FColor startColor;
    FColor endColor;
    uint16_t startWidth;
    uint16_t endWidth;
};

// The morph shape tag. It first collects styles, then, after
// FinishStyleArrays (once), the start and the end edge records: each list a
// style-change record, the edges and an FEndShapeRecord, with the same number
// of edges in both. The end edges are written without style-index bits, so a
// style-change record among them selects nothing.
class FDTDefineMorphShape : public FDT {
public:
    // Bounds in twips; takes a fresh character ID.
    FDTDefineMorphShape(FRect startBounds, FRect endBounds);

    // Each returns the new style's 1-based index.
    uint32_t AddFillStyle(std::unique_ptr<FMorphFillStyle> fillStyle);
    uint32_t AddLineStyle(uint16_t startWidth, FColor startColor, uint16_t endWidth,
                          FColor endColor);
    void FinishStyleArrays();
    void AddStartShapeRecord(std::unique_ptr<FShapeRecord> record);
    void AddEndShapeRecord(std::unique_ptr<FShapeRecord> record);

    bool StyleArraysFinished() const { return styleArraysFinished; }
    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    FRect startBounds;
    FRect endBounds;
    FShape startEdges;
    FShape endEdges;
    FFillStyleArray fillStyles;
    FLineStyleArray lineStyles;
    uint32_t fillBits = 0;
    uint32_t lineBits = 0;
    bool styleArraysFinished = false;
};
