#pragma once

#include <stdexcept>
#include <vector>

#include "driver/pdf/curvefit.h"

// What SWF shapes cannot say directly, made into plain polygons: the
// non-zero fill of overlapping contours (players fill by edges, which is
// even-odd), and strokes with butt or square caps, miter or bevel joins,
// caps that differ between ends, and dashes (a native line is round at all). Curves are flattened within the
// tolerance given, in the outline's own units; the polygon clipper works on
// integers 1/16 of that tolerance apart.

// Thrown instead of handing the polygon clipper what would take it far
// longer than a page may (its time grows with the edges that cross one
// another: a star of 4000 points takes minutes), or of cutting a line into
// more dashes than a page may have. The message says what it was.
class PolygonsTooComplex : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether the non-zero fill of the outline covers more than its even-odd
// fill: contours that overlap, or one that crosses itself.
bool NonZeroDiffersFromEvenOdd(const Outline& outline, double tolerance);

// The non-zero fill of the outline as contours that do not overlap, so that
// an even-odd fill of them covers the same area.
Outline NonZeroUnion(const Outline& outline, double tolerance);

struct StrokeStyle {
    enum class Cap { Butt, Round, Square };
    enum class Join { Miter, Round, Bevel };
    double width = 1;
    Cap startCap = Cap::Butt;  // where a contour starts
    Cap endCap = Cap::Butt;    // where it ends
    Cap dashCap = Cap::Butt;   // where dashes start and end within it
    Join join = Join::Miter;
    double miterLimit = 10;  // the miter's length over the line's width, as PDF gives it
    std::vector<double> dashes;  // on, off, on, ... lengths; empty: solid
    double dashPhase = 0;
};

// The area the stroke covers, as non-overlapping contours. A bevel join, and
// a miter join beyond the miter limit, cuts the corner straight from one
// side's edge to the other's.
Outline StrokeToOutline(const Outline& outline, const StrokeStyle& style, double tolerance);

// The most dashes one line is cut into.
constexpr double kMostDashes = 100'000;

// A polyline cut into its dashes: the pattern starts `phase` into it and
// repeats; the off lengths are left out. Throws PolygonsTooComplex for more
// than kMostDashes dashes.
std::vector<std::vector<OutlinePoint>> DashPolyline(const std::vector<OutlinePoint>& polyline,
                                                    const std::vector<double>& dashes, double phase);

// The area both outlines fill (each non-zero), as non-overlapping contours.
Outline IntersectOutlines(const Outline& a, const Outline& b, double tolerance);

// An outline with the rule it is filled by.
struct RuledOutline {
    Outline outline;
    bool evenOdd = false;
};

// The area the first fills and the second does not, as non-overlapping
// contours.
Outline SubtractOutlines(const RuledOutline& a, const RuledOutline& b, double tolerance);

// The area either fills, as non-overlapping contours.
Outline UniteOutlines(const std::vector<RuledOutline>& outlines, double tolerance);

// A rectangle as a closed contour.
Outline RectangleOutline(const Bounds& bounds);
