#include "driver/pdf/polygonops.h"

#include <algorithm>
#include <cmath>
#include <numeric>

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

ClipperLib::Paths Filled(const ClipperLib::Paths& paths, ClipperLib::PolyFillType rule)
{
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
    if (dashes.empty() || period <= 0 || polyline.size() < 2) {
        result.push_back(polyline);
        return result;
    }
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
    ClipperLib::ClipperOffset offset(std::max(style.miterLimit, 2.0), 16.0);
    const ClipperLib::JoinType join = style.join == StrokeStyle::Join::Round   ? ClipperLib::jtRound
                                      : style.join == StrokeStyle::Join::Miter ? ClipperLib::jtMiter
                                                                               : ClipperLib::jtSquare;
    const ClipperLib::EndType openEnd = style.cap == StrokeStyle::Cap::Round    ? ClipperLib::etOpenRound
                                        : style.cap == StrokeStyle::Cap::Square ? ClipperLib::etOpenSquare
                                                                                : ClipperLib::etOpenButt;
    for (const OutlineContour& contour : outline) {
        const std::vector<OutlinePoint> points = Flatten(contour, tolerance);
        if (style.dashes.empty()) {
            ClipperLib::Path path = scaler.ToInt(points);
            if (contour.closed && path.size() > 2)
                offset.AddPath(path, join, ClipperLib::etClosedLine);
            else
                offset.AddPath(path, join, openEnd);
            continue;
        }
        for (const std::vector<OutlinePoint>& dash : DashPolyline(points, style.dashes, style.dashPhase))
            offset.AddPath(scaler.ToInt(dash), join, openEnd);
    }
    ClipperLib::Paths result;
    offset.Execute(result, style.width / 2 * scaler.scale);
    return scaler.FromInt(result);
}

Outline IntersectOutlines(const Outline& a, const Outline& b, double tolerance)
{
    const Scaler scaler = ScalerFor(tolerance);
    ClipperLib::Clipper clipper;
    clipper.AddPaths(FlattenedPaths(a, tolerance, scaler), ClipperLib::ptSubject, true);
    clipper.AddPaths(FlattenedPaths(b, tolerance, scaler), ClipperLib::ptClip, true);
    ClipperLib::Paths result;
    clipper.Execute(ClipperLib::ctIntersection, result, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    return scaler.FromInt(result);
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
