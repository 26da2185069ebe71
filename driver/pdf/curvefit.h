#pragma once

#include <cstdint>
#include <vector>

// Outlines as PDF pages draw them (lines, quadratic and cubic Béziers) and
// what SWF shapes can hold: lines and quadratic curves on whole twips. Cubics
// are split into quadratics within a distance tolerance; where an outline has
// to be straight (polygon clipping, stroking), curves are flattened.

struct OutlinePoint {
    double x = 0;
    double y = 0;
};

struct OutlineSegment {
    enum class Kind { Line, Quad, Cubic };
    Kind kind = Kind::Line;
    OutlinePoint c1;  // the control point of a quad, the first of a cubic
    OutlinePoint c2;  // the second control point of a cubic
    OutlinePoint to;
};

struct OutlineContour {
    OutlinePoint start;
    std::vector<OutlineSegment> segments;
    bool closed = false;

    OutlinePoint End() const { return segments.empty() ? start : segments.back().to; }
};

using Outline = std::vector<OutlineContour>;

// Lines and quadratics only (a straight segment has `curved` false and no control).
struct QuadSegment {
    bool curved = false;
    OutlinePoint control;
    OutlinePoint to;
};

struct QuadContour {
    OutlinePoint start;
    std::vector<QuadSegment> segments;
};

// A cubic as quadratics each within `tolerance` of it (the same units as the
// points), appended to `out`; the pieces split the cubic at even steps of its
// parameter, as few as the estimate of the error allows.
void CubicToQuads(OutlinePoint p0, OutlinePoint c1, OutlinePoint c2, OutlinePoint p3,
                  double tolerance, std::vector<QuadSegment>& out);

// Every cubic of the outline as quadratics within `tolerance`; each contour
// that is `closeAll` or closed ends where it started.
std::vector<QuadContour> ToQuadContours(const Outline& outline, double tolerance, bool closeAll);

// A contour as a polyline within `tolerance` of it (start included; a closed
// contour ends on its start).
std::vector<OutlinePoint> Flatten(const OutlineContour& contour, double tolerance);

// The outline with every point mapped by the affine matrix (a b c d e f):
// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    OutlinePoint Apply(OutlinePoint p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This transform, then `after`.
    Affine Then(const Affine& after) const;
    double Expansion() const;  // the square root of |det|: the mean scale
    bool Invertible() const;
    Affine Inverse() const;
};

Outline Transformed(const Outline& outline, const Affine& transform);

// The bounds of every point (control points too: they bound the curves).
struct Bounds {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    bool empty = true;

    void Add(OutlinePoint p);
    void Add(const Bounds& other);
    bool Intersects(const Bounds& other) const;
    Bounds Intersected(const Bounds& other) const;
};

Bounds BoundsOf(const Outline& outline);
