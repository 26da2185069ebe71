#include "driver/pdf/outlineclip.h"

#include <cmath>
#include <vector>

namespace {

bool Inside(OutlinePoint p, const Bounds& box)
{
    return p.x >= box.xmin && p.x <= box.xmax && p.y >= box.ymin && p.y <= box.ymax;
}

bool Finite(OutlinePoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// One edge of the box as a half plane: Sutherland and Hodgman's clip of a
// polygon to a convex region, one side at a time.
struct Side {
    int axis;      // 0: x, 1: y
    double limit;
    bool below;    // keeps values at most `limit`

    bool Keeps(OutlinePoint p) const
    {
        const double v = axis == 0 ? p.x : p.y;
        return below ? v <= limit : v >= limit;
    }
    OutlinePoint Crossing(OutlinePoint a, OutlinePoint b) const
    {
        const double va = axis == 0 ? a.x : a.y, vb = axis == 0 ? b.x : b.y;
        const double t = (limit - va) / (vb - va);
        OutlinePoint p{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
        (axis == 0 ? p.x : p.y) = limit;  // exactly on the side, whatever the rounding
        return p;
    }
};

std::vector<OutlinePoint> ClipPolygon(std::vector<OutlinePoint> polygon, const Side& side)
{
    std::vector<OutlinePoint> kept;
    if (polygon.empty()) return kept;
    kept.reserve(polygon.size() + 2);
    OutlinePoint previous = polygon.back();
    for (const OutlinePoint& p : polygon) {
        if (side.Keeps(p)) {
            if (!side.Keeps(previous)) kept.push_back(side.Crossing(previous, p));
            kept.push_back(p);
        } else if (side.Keeps(previous)) {
            kept.push_back(side.Crossing(previous, p));
        }
        previous = p;
    }
    return kept;
}

OutlineContour Polyline(const std::vector<OutlinePoint>& points, bool closed)
{
    OutlineContour contour;
    contour.closed = closed;
    contour.start = points.front();
    for (size_t i = 1; i < points.size(); ++i) contour.segments.push_back({OutlineSegment::Kind::Line, {}, {}, points[i]});
    return contour;
}

bool AllFinite(const std::vector<OutlinePoint>& points)
{
    for (const OutlinePoint& p : points)
        if (!Finite(p)) return false;
    return true;
}

// The segment from a to b cut to the box (Liang and Barsky): false when none of it is inside.
bool ClipSegment(OutlinePoint& a, OutlinePoint& b, const Bounds& box)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.xmin, box.xmax - a.x, a.y - box.ymin, box.ymax - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const OutlinePoint from{a.x + dx * t0, a.y + dy * t0}, to{a.x + dx * t1, a.y + dy * t1};
    a = from;
    b = to;
    return true;
}

}  // namespace

bool InsideBox(const Outline& outline, const Bounds& box)
{
    for (const OutlineContour& contour : outline) {
        if (!Inside(contour.start, box)) return false;
        for (const OutlineSegment& s : contour.segments) {
            if (!Inside(s.to, box)) return false;
            if (s.kind != OutlineSegment::Kind::Line && !Inside(s.c1, box)) return false;
            if (s.kind == OutlineSegment::Kind::Cubic && !Inside(s.c2, box)) return false;
        }
    }
    return true;
}

Outline ClippedFill(const Outline& outline, const Bounds& box, double tolerance)
{
    if (box.empty) return {};
    const Side sides[4] = {{0, box.xmin, false}, {0, box.xmax, true}, {1, box.ymin, false}, {1, box.ymax, true}};
    Outline clipped;
    for (const OutlineContour& contour : outline) {
        if (InsideBox({contour}, box)) {
            clipped.push_back(contour);
            clipped.back().closed = true;
            continue;
        }
        OutlineContour closed = contour;
        closed.closed = true;
        std::vector<OutlinePoint> polygon = Flatten(closed, tolerance);
        if (!AllFinite(polygon)) continue;
        if (polygon.size() > 1) polygon.pop_back();  // Flatten ends a closed contour on its start
        for (const Side& side : sides) polygon = ClipPolygon(std::move(polygon), side);
        if (polygon.size() >= 3) clipped.push_back(Polyline(polygon, true));
    }
    return clipped;
}

Outline ClippedLines(const Outline& outline, const Bounds& box, double tolerance)
{
    if (box.empty) return {};
    Outline clipped;
    for (const OutlineContour& contour : outline) {
        if (InsideBox({contour}, box)) {
            clipped.push_back(contour);
            continue;
        }
        const std::vector<OutlinePoint> points = Flatten(contour, tolerance);
        if (!AllFinite(points)) continue;
        std::vector<OutlinePoint> stretch;
        for (size_t i = 1; i < points.size(); ++i) {
            OutlinePoint a = points[i - 1], b = points[i];
            if (!ClipSegment(a, b, box)) continue;
            const bool continues = !stretch.empty() && stretch.back().x == a.x && stretch.back().y == a.y;
            if (!continues) {
                if (stretch.size() >= 2) clipped.push_back(Polyline(stretch, false));
                stretch = {a};
            }
            stretch.push_back(b);
        }
        if (stretch.size() >= 2) clipped.push_back(Polyline(stretch, false));
    }
    return clipped;
}
