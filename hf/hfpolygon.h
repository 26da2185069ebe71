#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "hf/hfshape.h"

// A point of a polygon's point list, in twips.
struct HFPoint {
    int32_t x;
    int32_t y;
};

// A closed path of straight and curved edges from a start point. The bounds
// follow the pen through every edge's end; curve control points are not
// counted in.
class HFPolygon : public HFShape {
public:
    // A path holding only its start point.
    HFPolygon(int32_t x, int32_t y);
    // A closed path through the points (borrowed for the call): at least 3, or
    // at least 4 when the last repeats the first; an open list is closed with
    // an edge back to the first point.
    HFPolygon(const HFPoint* _pointArray, int32_t _numberOfPoints);

    // Edges relative to the pen.
    void AddLine(int32_t dx, int32_t dy);
    void AddCurve(int32_t controlDX, int32_t controlDY, int32_t anchorDX, int32_t anchorDY);

    // The path as a glyph outline: fill style 1, no line; the font tag sets
    // the index bit counts.
    std::unique_ptr<FShape> Outline() const;

    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    // Element 0 holds the absolute start point in (dx, dy); every later one an
    // edge relative to the pen.
    struct PathElement {
        bool straight;
        int32_t dx;  // straight: the edge; curved: the anchor delta
        int32_t dy;
        int32_t controlDX;
        int32_t controlDY;
    };

    std::vector<std::unique_ptr<FShapeRecord>> EdgeRecords() const;
    void UpdateBounds();

    std::vector<PathElement> pathElements;
};
