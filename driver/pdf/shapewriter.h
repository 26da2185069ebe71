#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "driver/pdf/curvefit.h"
#include "swf/fdtshapes.h"

// Contours in twips as SWF shape records on whole twips. Every point is
// rounded on its own and each edge runs from the rounded point before it, so
// that rounding never accumulates along a contour. Edges that round to
// nothing are left out.

struct ShapeRecords {
    std::vector<std::unique_ptr<FShapeRecord>> records;  // no end record
    uint32_t edges = 0;
    Bounds bounds;  // of the rounded points
};

// `fillStyle` and `lineStyle` are the indices the first style-change record
// selects (0: none). With `newFills` or `newLines` a record bringing those
// style arrays (which replace the ones before) comes first, and the first
// contour selects all three styles afresh.
ShapeRecords ShapeRecordsFor(const std::vector<QuadContour>& contours, uint32_t fillStyle,
                             uint32_t lineStyle, std::unique_ptr<FFillStyleArray> newFills = nullptr,
                             std::unique_ptr<FLineStyleArray> newLines = nullptr);

// Outlines drawn one over the other, each in a style of its own, as one
// DefineShape3: the first in the shape's style arrays, every later one in
// arrays of its own that its first record brings, so that players draw them
// in order. Saves a tag and a placement an outline.
class ShapeBatch {
public:
    // False (and nothing added) when no edge of the outline is left.
    bool AddFill(const std::vector<QuadContour>& contours, std::unique_ptr<FFillStyle> fill);
    // A native line, `width` twips wide.
    bool AddLine(const std::vector<QuadContour>& contours, uint16_t width, FColor color);

    bool Empty() const { return outlines == 0; }
    uint32_t Edges() const { return edges; }
    Bounds ShapeBounds() const { return bounds; }
    // The shape; the batch is empty after.
    std::unique_ptr<FDTDefineShape3> Build();

private:
    bool Add(ShapeRecords&& records, double margin);

    std::unique_ptr<FFillStyle> firstFill;  // the first outline's style
    uint16_t firstLineWidth = 0;
    FColor firstLineColor{0, 0, 0, 255};
    bool firstIsLine = false;
    std::vector<std::unique_ptr<FShapeRecord>> records;
    uint32_t outlines = 0;
    uint32_t edges = 0;
    Bounds bounds;
};

// A DefineShape3 of one fill style and the contours; `edges` gets the edge
// count. Null (and no character ID drawn) when no edge is left.
std::unique_ptr<FDTDefineShape3> FilledShape(const std::vector<QuadContour>& contours,
                                             std::unique_ptr<FFillStyle> fill, uint32_t* edges);

// Twips as FRect (rounded outward).
FRect ToRect(const Bounds& bounds, double margin = 0);
