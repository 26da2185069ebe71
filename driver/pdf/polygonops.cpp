#include "driver/pdf/polygonops.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <string>

#include <clipper.hpp>

namespace {

struct Scaler {
    double scale;

    ClipperLib::IntPoint ToInt(OutlinePoint p) const
    {
        return {static_cast<ClipperLib::cInt>(std::llround(p.x * scale)),
                static_cast<ClipperLib::cInt>(std::llround(p.y * scale))};
    }
    ClipperLib::Path ToInt(const std::vector<OutlinePoint>& points) const
    {
        ClipperLib::Path path;
        path.reserve(points.size());
        for (OutlinePoint p : points) path.push_back(ToInt(p));
        return path;
    }
    Outline FromInt(const ClipperLib::Paths& paths) const
    {
        Outline outline;
        for (const ClipperLib::Path& path : paths) {
            if (path.size() < 3) continue;
            OutlineContour contour;
            contour.closed = true;
            contour.start = {static_cast<double>(path[0].X) / scale, static_cast<double>(path[0].Y) / scale};
            for (size_t i = 1; i < path.size(); ++i)
                contour.segments.push_back({OutlineSegment::Kind::Line, {}, {},
                                            {static_cast<double>(path[i].X) / scale,
                                             static_cast<double>(path[i].Y) / scale}});
            outline.push_back(std::move(contour));
        }
        return outline;
    }
};

Scaler ScalerFor(double tolerance) { return {16 / std::max(tolerance, 1e-6)}; }

ClipperLib::Paths FlattenedPaths(const Outline& outline, double tolerance, const Scaler& scaler)
{
    ClipperLib::Paths paths;
    for (const OutlineContour& contour : outline) {
        OutlineContour closed = contour;
        closed.closed = true;
        ClipperLib::Path path = scaler.ToInt(Flatten(closed, tolerance));
        if (path.size() >= 3) paths.push_back(std::move(path));
    }
    return paths;
}

// What the clipper is given at most: points in all, and pairs of edges
// whose boxes meet (those it may have to cross), found by a sweep that
// itself looks at no more than so many pairs.
constexpr size_t kMostClipperPoints = 1'000'000;
constexpr uint64_t kMostMeetingEdges = 150'000;
constexpr uint64_t kMostPairsLookedAt = 20'000'000;

// Throws PolygonsTooComplex for polygons the clipper would take too long over.
void CheckComplexity(const ClipperLib::Paths& paths)
{
    size_t points = 0;
    for (const ClipperLib::Path& path : paths) points += path.size();
    if (points > kMostClipperPoints)
        throw PolygonsTooComplex("an outline of more than " + std::to_string(kMostClipperPoints) + " points");
    // Below this many the worst the clipper does (every edge crossing every
    // other) is a fraction of a second, and the page's clock bounds how many.
    if (points < 512) return;
    struct Box {
        ClipperLib::cInt x0, x1, y0, y1;
    };
    std::vector<Box> boxes;
    boxes.reserve(points);
    for (const ClipperLib::Path& path : paths)
        for (size_t i = 0; i < path.size(); ++i) {
            const ClipperLib::IntPoint a = path[i], b = path[(i + 1) % path.size()];
            boxes.push_back({std::min(a.X, b.X), std::max(a.X, b.X), std::min(a.Y, b.Y), std::max(a.Y, b.Y)});
        }
    // Horizontal edges along one line are walked by the clipper one
    // against another: a line cut into thousands of dashes makes as many.
    std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
        return a.y0 != b.y0 ? a.y0 < b.y0 : (a.y0 == a.y1) > (b.y0 == b.y1);  // a line's horizontals together
    });
    uint64_t alongOneLine = 0;
    for (size_t i = 0, run = 0; i < boxes.size(); ++i) {
        const bool horizontal = boxes[i].y0 == boxes[i].y1;
        run = horizontal && i > 0 && boxes[i - 1].y0 == boxes[i - 1].y1 && boxes[i - 1].y0 == boxes[i].y0 ? run + 1 : 0;
        if (horizontal) alongOneLine += run;
        if (alongOneLine > kMostMeetingEdges * 100)
            throw PolygonsTooComplex("an outline whose edges cross too often to be drawn as vectors");
    }
    std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.x0 < b.x0; });
    uint64_t meeting = 0, looked = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size() && boxes[j].x0 <= boxes[i].x1; ++j) {
            if (boxes[j].y0 <= boxes[i].y1 && boxes[i].y0 <= boxes[j].y1) ++meeting;
            if (meeting > kMostMeetingEdges || ++looked > kMostPairsLookedAt)
                throw PolygonsTooComplex("an outline whose edges cross too often to be drawn as vectors");
        }
}

ClipperLib::Paths Filled(const ClipperLib::Paths& paths, ClipperLib::PolyFillType rule)
{
    CheckComplexity(paths);
    ClipperLib::Clipper clipper;
    clipper.AddPaths(paths, ClipperLib::ptSubject, true);
    ClipperLib::Paths result;
    clipper.Execute(ClipperLib::ctUnion, result, rule, rule);
    return result;
}

double TotalArea(const ClipperLib::Paths& paths)
{
    double area = 0;
    for (const ClipperLib::Path& path : paths) area += ClipperLib::Area(path);
    return std::fabs(area);
}

bool Same(OutlinePoint a, OutlinePoint b) { return a.x == b.x && a.y == b.y; }

// The polyline without points repeated one after another (no length between).
std::vector<OutlinePoint> Distinct(const std::vector<OutlinePoint>& points)
{
    std::vector<OutlinePoint> kept;
    kept.reserve(points.size());
    for (OutlinePoint p : points)
        if (kept.empty() || !Same(kept.back(), p)) kept.push_back(p);
    return kept;
}

OutlinePoint Along(OutlinePoint p, OutlinePoint direction, double length)
{
    return {p.x + direction.x * length, p.y + direction.y * length};
}

OutlinePoint UnitFrom(OutlinePoint a, OutlinePoint b)
{
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    return {(b.x - a.x) / length, (b.y - a.y) / length};
}

OutlinePoint Normal(OutlinePoint direction) { return {-direction.y, direction.x}; }

// A stroke as polygons whose union is its area: one rectangle a segment, a
// wedge a join, a shape a cap; each turned the same way, so that a non-zero
// union of them takes overlaps once.
struct StrokePieces {
    const StrokeStyle& style;
    double half;  // the line's half width
    double tolerance;
    const Scaler& scaler;
    ClipperLib::Paths polygons;

    void Add(const std::vector<OutlinePoint>& polygon)
    {
        ClipperLib::Path path = scaler.ToInt(polygon);
        if (!ClipperLib::Orientation(path)) ClipperLib::ReversePath(path);
        polygons.push_back(std::move(path));
    }

    void Segment(OutlinePoint a, OutlinePoint b)
    {
        const OutlinePoint n = Normal(UnitFrom(a, b));
        Add({Along(a, n, half), Along(b, n, half), Along(b, n, -half), Along(a, n, -half)});
    }

    // The corner at `p`, from direction d1 to d2, on its outer side (the
    // inner side is inside the segments' rectangles).
    void Join(OutlinePoint p, OutlinePoint d1, OutlinePoint d2)
    {
        const double cross = d1.x * d2.y - d1.y * d2.x, dot = d1.x * d2.x + d1.y * d2.y;
        if (cross == 0 && dot > 0) return;  // straight on
        const double side = cross > 0 ? -half : half;
        const OutlinePoint n1 = Normal(d1), n2 = Normal(d2);
        const OutlinePoint a = Along(p, n1, side), b = Along(p, n2, side);
        // The miter's length over the line's width is 1 / sin(half the angle
        // between the segments), the cosine of half the turn.
        const double cosHalfTurn = std::sqrt(std::max((1 + dot) / 2, 0.0));
        if (style.join == StrokeStyle::Join::Miter && cosHalfTurn > 0 && 1 / cosHalfTurn <= style.miterLimit) {
            const OutlinePoint bisector = UnitFrom({0, 0}, {n1.x + n2.x, n1.y + n2.y});
            Add({p, a, Along(p, bisector, side / cosHalfTurn), b});
            return;
        }
        Add({p, a, b});  // a bevel, and a miter past its limit
    }

    // Segments and joins of a polyline of distinct points; a closed one
    // joins its last point to its first.
    void Body(const std::vector<OutlinePoint>& points, bool closed)
    {
        const size_t n = points.size();
        const size_t segments = closed ? n : n - 1;
        for (size_t i = 0; i < segments; ++i) Segment(points[i], points[(i + 1) % n]);
        for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
            const OutlinePoint before = points[(i + n - 1) % n], at = points[i], after = points[(i + 1) % n];
            Join(at, UnitFrom(before, at), UnitFrom(at, after));
        }
    }

    // A cap at `end`, reaching out along the unit `out`.
    void Cap(OutlinePoint end, OutlinePoint out, StrokeStyle::Cap cap)
    {
        const OutlinePoint n = Normal(out);
        if (cap == StrokeStyle::Cap::Square) {
            const OutlinePoint far = Along(end, out, half);
            Add({Along(end, n, half), Along(far, n, half), Along(far, n, -half), Along(end, n, -half)});
        } else if (cap == StrokeStyle::Cap::Round) {
            // Enough sides that none strays more than the tolerance from the circle.
            const double step = half > tolerance ? 2 * std::acos(1 - tolerance / half) : 1.0;
            const int sides = std::clamp(static_cast<int>(std::ceil(2 * std::numbers::pi / step)), 8, 1024);
            std::vector<OutlinePoint> circle;
            for (int i = 0; i < sides; ++i) {
                const double angle = 2 * std::numbers::pi * i / sides;
                circle.push_back({end.x + half * std::cos(angle), end.y + half * std::sin(angle)});
            }
            Add(circle);
        }
    }

    // The caps of an open polyline of distinct points. A single point (a
    // piece of no length) takes both caps, facing along x.
    void Ends(const std::vector<OutlinePoint>& points, StrokeStyle::Cap start, StrokeStyle::Cap end)
    {
        if (points.empty()) return;
        if (points.size() == 1) {
            Cap(points[0], {-1, 0}, start);
            Cap(points[0], {1, 0}, end);
            return;
        }
        Cap(points.front(), UnitFrom(points[1], points[0]), start);
        Cap(points.back(), UnitFrom(points[points.size() - 2], points.back()), end);
    }
};

}  // namespace

bool NonZeroDiffersFromEvenOdd(const Outline& outline, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    const ClipperLib::Paths paths = FlattenedPaths(outline, tolerance, scaler);
    if (paths.empty()) return false;
    const double nonZero = TotalArea(Filled(paths, ClipperLib::pftNonZero));
    const double evenOdd = TotalArea(Filled(paths, ClipperLib::pftEvenOdd));
    // Less than a square of the tolerance's side over the whole outline: the
    // same fill.
    return nonZero - evenOdd > 16.0 * 16.0;
}

Outline NonZeroUnion(const Outline& outline, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    return scaler.FromInt(Filled(FlattenedPaths(outline, tolerance, scaler), ClipperLib::pftNonZero));
}

std::vector<std::vector<OutlinePoint>> DashPolyline(const std::vector<OutlinePoint>& polyline,
                                                    const std::vector<double>& dashes, double phase)
{
    std::vector<std::vector<OutlinePoint>> result;
    const double period = std::accumulate(dashes.begin(), dashes.end(), 0.0);
    if (dashes.empty() || !(period > 0) || !std::isfinite(period) || polyline.size() < 2) {
        result.push_back(polyline);
        return result;
    }
    // Counted before they are cut: a pattern a thousandth of a point long
    // makes millions of them.
    double length = 0;
    for (size_t i = 1; i < polyline.size(); ++i)
        length += std::hypot(polyline[i].x - polyline[i - 1].x, polyline[i].y - polyline[i - 1].y);
    if (!(length / period * static_cast<double>((dashes.size() + 1) / 2) <= kMostDashes))
        throw PolygonsTooComplex("a line of more than " + std::to_string(static_cast<long>(kMostDashes)) + " dashes");
    // Where in the pattern the polyline starts.
    size_t index = 0;
    double left = std::fmod(phase, period);
    if (left < 0) left += period;
    while (left >= dashes[index]) {
        left -= dashes[index];
        index = (index + 1) % dashes.size();
    }
    double remaining = dashes[index] - left;  // of the current dash or gap
    bool on = index % 2 == 0;
    std::vector<OutlinePoint> current;
    if (on) current.push_back(polyline[0]);
    for (size_t i = 1; i < polyline.size(); ++i) {
        OutlinePoint a = polyline[i - 1];
        const OutlinePoint b = polyline[i];
        double length = std::hypot(b.x - a.x, b.y - a.y);
        while (length > remaining) {
            const double t = remaining / length;
            const OutlinePoint cut = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
            if (on) {
                current.push_back(cut);
                result.push_back(std::move(current));
                current.clear();
            } else {
                current.push_back(cut);
            }
            on = !on;
            length -= remaining;
            a = cut;
            index = (index + 1) % dashes.size();
            remaining = dashes[index];
            if (remaining <= 0 && dashes.size() == 1) break;  // a pattern of nothing but zeros
        }
        remaining -= length;
        if (on) current.push_back(b);
    }
    if (on && current.size() >= 2) result.push_back(std::move(current));
    // A dash of zero length still draws its caps: keep single points doubled.
    for (auto& dash : result)
        if (dash.size() == 1) dash.push_back(dash[0]);
    return result;
}

Outline StrokeToOutline(const Outline& outline, const StrokeStyle& style, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    StrokePieces pieces{style, style.width / 2, tolerance, scaler, {}};
    // Round joins come from the clipper's offset, which rounds only the
    // outer side of each corner; miters and bevels are built here, as the
    // clipper squares off what PDF bevels.
    const bool round = style.join == StrokeStyle::Join::Round;
    ClipperLib::ClipperOffset offset(2.0, 16.0);
    ClipperLib::Paths offsetLines;  // what the offset is given, weighed as the pieces are
    const auto body = [&](const std::vector<OutlinePoint>& points, bool closed) {
        if (round) {
            offsetLines.push_back(scaler.ToInt(points));
            offset.AddPath(offsetLines.back(), ClipperLib::jtRound,
                           closed ? ClipperLib::etClosedLine : ClipperLib::etOpenButt);
        } else {
            pieces.Body(points, closed);
        }
    };
    for (const OutlineContour& contour : outline) {
        const std::vector<OutlinePoint> flat = Flatten(contour, tolerance);
        if (style.dashes.empty()) {
            std::vector<OutlinePoint> points = Distinct(flat);
            if (contour.closed && points.size() > 2) {
                if (Same(points.front(), points.back())) points.pop_back();
                body(points, true);
                continue;
            }
            if (points.size() >= 2) body(points, false);
            pieces.Ends(points, style.startCap, style.endCap);
            continue;
        }
        const std::vector<std::vector<OutlinePoint>> dashes = DashPolyline(flat, style.dashes, style.dashPhase);
        for (size_t i = 0; i < dashes.size(); ++i) {
            const std::vector<OutlinePoint> points = Distinct(dashes[i]);
            if (points.size() >= 2) body(points, false);
            // A dash that begins or ends where the contour does takes the
            // contour's cap there.
            const bool first = i == 0 && Same(dashes[i].front(), flat.front());
            const bool last = i + 1 == dashes.size() && Same(dashes[i].back(), flat.back());
            pieces.Ends(points, first ? style.startCap : style.dashCap, last ? style.endCap : style.dashCap);
        }
    }
    CheckComplexity(pieces.polygons);
    CheckComplexity(offsetLines);
    ClipperLib::Paths rounded;
    if (round) offset.Execute(rounded, pieces.half * scaler.scale);
    ClipperLib::Clipper clipper;
    clipper.AddPaths(rounded, ClipperLib::ptSubject, true);
    clipper.AddPaths(pieces.polygons, ClipperLib::ptSubject, true);
    ClipperLib::Paths result;
    clipper.Execute(ClipperLib::ctUnion, result, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    return scaler.FromInt(result);
}

namespace {

ClipperLib::PolyFillType RuleOf(const RuledOutline& outline)
{
    return outline.evenOdd ? ClipperLib::pftEvenOdd : ClipperLib::pftNonZero;
}

// The clipper's `operation` on two outlines, each filled by its rule.
ClipperLib::Paths Combined(const Outline& a, ClipperLib::PolyFillType ruleA, const Outline& b,
                           ClipperLib::PolyFillType ruleB, ClipperLib::ClipType operation, double tolerance,
                           const Scaler& scaler)
{
    ClipperLib::Paths subject = FlattenedPaths(a, tolerance, scaler);
    ClipperLib::Paths clip = FlattenedPaths(b, tolerance, scaler);
    ClipperLib::Paths both = subject;
    both.insert(both.end(), clip.begin(), clip.end());
    CheckComplexity(both);
    ClipperLib::Clipper clipper;
    clipper.AddPaths(subject, ClipperLib::ptSubject, true);
    clipper.AddPaths(clip, ClipperLib::ptClip, true);
    ClipperLib::Paths result;
    clipper.Execute(operation, result, ruleA, ruleB);
    return result;
}

}  // namespace

Outline IntersectOutlines(const Outline& a, const Outline& b, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    return scaler.FromInt(Combined(a, ClipperLib::pftNonZero, b, ClipperLib::pftNonZero, ClipperLib::ctIntersection,
                                   tolerance, scaler));
}

Outline SubtractOutlines(const RuledOutline& a, const RuledOutline& b, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    return scaler.FromInt(
        Combined(a.outline, RuleOf(a), b.outline, RuleOf(b), ClipperLib::ctDifference, tolerance, scaler));
}

Outline UniteOutlines(const std::vector<RuledOutline>& outlines, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    // Each outline's own fill first, so that outlines of either rule add up.
    ClipperLib::Paths all;
    for (const RuledOutline& outline : outlines) {
        const ClipperLib::Paths own = Filled(FlattenedPaths(outline.outline, tolerance, scaler), RuleOf(outline));
        all.insert(all.end(), own.begin(), own.end());
    }
    return scaler.FromInt(Filled(all, ClipperLib::pftNonZero));
}

Outline RectangleOutline(const Bounds& b)
{
    OutlineContour contour;
    contour.closed = true;
    contour.start = {b.xmin, b.ymin};
    for (OutlinePoint p : {OutlinePoint{b.xmax, b.ymin}, OutlinePoint{b.xmax, b.ymax}, OutlinePoint{b.xmin, b.ymax}})
        contour.segments.push_back({OutlineSegment::Kind::Line, {}, {}, p});
    return {contour};
}
