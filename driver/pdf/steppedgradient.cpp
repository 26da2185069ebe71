#include "driver/pdf/steppedgradient.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "driver/pdf/gradientfit.h"
#include "driver/pdf/recordfields.h"
#include "hf/hfshape.h"

namespace {

// Fewer steps than this are drawn as they are: no fill's worth saving.
constexpr size_t kFewestSteps = 8;
// The points a polygon has at least to be taken for an ellipse (a square
// gradient's steps are rectangles, cheap as they are).
constexpr size_t kFewestPoints = 16;
// The largest change of a channel from one step to the next, in levels.
constexpr int kLargestColorStep = 16;

}  // namespace

std::optional<StepEllipse> EllipseOfCorners(const std::vector<OutlinePoint>& corners, double tolerance)
{
    if (corners.size() < kFewestPoints) return std::nullopt;
    Bounds bounds;
    for (OutlinePoint p : corners) bounds.Add(p);
    StepEllipse e{(bounds.xmin + bounds.xmax) / 2, (bounds.ymin + bounds.ymax) / 2, (bounds.xmax - bounds.xmin) / 2,
                  (bounds.ymax - bounds.ymin) / 2};
    if (!(e.rx > 4 * tolerance && e.ry > 4 * tolerance)) return std::nullopt;
    // Every corner that far from the centre, measured along its own ray.
    for (OutlinePoint p : corners) {
        const double u = (p.x - e.cx) / e.rx, v = (p.y - e.cy) / e.ry;
        if (std::fabs(std::hypot(u, v) - 1) * std::min(e.rx, e.ry) > 2 * tolerance) return std::nullopt;
    }
    return e;
}

namespace {

// A contour of straight edges as its corners (the start once); none when it
// has a curve or too few corners for an area.
std::vector<OutlinePoint> Corners(const OutlineContour& contour)
{
    std::vector<OutlinePoint> corners{contour.start};
    for (const OutlineSegment& segment : contour.segments) {
        if (segment.kind != OutlineSegment::Kind::Line) return {};
        corners.push_back(segment.to);
    }
    if (corners.size() > 1 && corners.back().x == corners.front().x && corners.back().y == corners.front().y)
        corners.pop_back();
    return corners.size() >= 3 ? corners : std::vector<OutlinePoint>{};
}

Bounds BoundsOfPoints(const std::vector<OutlinePoint>& points)
{
    Bounds bounds;
    for (OutlinePoint p : points) bounds.Add(p);
    return bounds;
}

bool Within(const Bounds& inner, const Bounds& outer)
{
    const double slack = 1;
    return inner.xmin >= outer.xmin - slack && inner.ymin >= outer.ymin - slack && inner.xmax <= outer.xmax + slack &&
           inner.ymax <= outer.ymax + slack;
}

}  // namespace

std::optional<SteppedGradient::Step> SteppedGradient::StepOf(const Outline& outline, bool evenOdd, FColor color)
{
    // Contours of no edges (a path closed and moved to again) draw nothing.
    std::vector<const OutlineContour*> drawn;
    for (const OutlineContour& contour : outline)
        if (!contour.segments.empty()) drawn.push_back(&contour);
    if (drawn.empty() || drawn.size() > 2 || (drawn.size() == 2 && !evenOdd)) return std::nullopt;
    Step step;
    step.evenOdd = evenOdd;
    step.color = color;
    step.outer = Corners(*drawn[0]);
    if (step.outer.empty()) return std::nullopt;
    step.bounds = BoundsOfPoints(step.outer);
    if (drawn.size() == 2) {
        step.inner = Corners(*drawn[1]);
        if (step.inner.empty() || !Within(BoundsOfPoints(step.inner), step.bounds)) return std::nullopt;
    }
    return step;
}

bool SteppedGradient::Continues(const Step& step) const
{
    if (steps.empty()) return false;
    const Step& last = steps.back();
    const Bounds room = last.inner.empty() ? last.bounds : BoundsOfPoints(last.inner);
    const auto near = [](int32_t a, int32_t b) { return std::abs(a - b) <= kLargestColorStep; };
    const FColor& c = last.color;
    const FColor& color = step.color;
    return Within(step.bounds, room) && color.Alpha() == c.Alpha() && near(color.Red(), c.Red()) &&
           near(color.Green(), c.Green()) && near(color.Blue(), c.Blue());
}

namespace {

double DistanceToSegment(OutlinePoint p, OutlinePoint a, OutlinePoint b)
{
    const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
    const double t = length > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length, 0.0, 1.0) : 0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// The most edges the outermost step may have for the others' points to be
// looked for on it (each point against each edge).
constexpr size_t kMostOuterEdges = 64;

// The radius, scaled to the centre's ellipse, of a step that is that
// ellipse cut to the outer polygon: its farthest points lie on the ellipse,
// close enough together to be within `tolerance` of its arcs, and every
// other point on the outer polygon. Negative when it is not such a step.
double StepRadius(const std::vector<OutlinePoint>& points, const StepEllipse& centre,
                  const std::vector<OutlinePoint>& outer, double tolerance)
{
    const double aspect = centre.ry / centre.rx;
    const auto distance = [&](OutlinePoint p) { return std::hypot(p.x - centre.cx, (p.y - centre.cy) / aspect); };
    double radius = 0;
    for (OutlinePoint p : points) radius = std::max(radius, distance(p));
    if (!(radius > 4 * tolerance)) return -1;
    // Suites write the ellipses' points a little off them, a few
    // thousandths of the radius or a quarter of a pixel (at the tolerance
    // of a twip): a fill's edge no viewer would show elsewhere.
    const double slack = std::max(5 * tolerance, radius * 2e-3) * std::max(1.0, 1 / aspect);
    const auto onArc = [&](OutlinePoint p) { return distance(p) >= radius - slack; };
    const auto onOuter = [&](OutlinePoint p) {
        for (size_t i = 0; i + 1 < outer.size(); ++i)
            if (DistanceToSegment(p, outer[i], outer[i + 1]) <= 2 * tolerance) return true;
        return !outer.empty() && DistanceToSegment(p, outer.back(), outer.front()) <= 2 * tolerance;
    };
    for (size_t i = 0; i < points.size(); ++i) {
        const OutlinePoint p = points[i], q = points[(i + 1) % points.size()];
        if (!onArc(p)) {
            if (!onOuter(p)) return -1;
            continue;
        }
        // An edge along the arc strays from it no more than its corners may.
        const double length = std::hypot(q.x - p.x, (q.y - p.y) / aspect);
        if (onArc(q) && length * length / (8 * radius) > slack) return -1;
    }
    return radius;
}

}  // namespace

std::optional<SteppedGradient::Fill> SteppedGradient::AsGradient(double tolerance, double colorTolerance) const
{
    if (steps.size() < kFewestSteps) return std::nullopt;
    // The innermost step is a whole ellipse: the centre and the shape of them all.
    const std::optional<StepEllipse> centre = EllipseOfCorners(steps.back().outer, tolerance);
    if (!centre) return std::nullopt;
    // Too many edges to look for the steps' points on: whole ellipses only.
    const std::vector<OutlinePoint> outer =
        steps.front().outer.size() <= kMostOuterEdges ? steps.front().outer : std::vector<OutlinePoint>{};
    std::vector<double> radii;  // of each step's outer polygon, then of the last one's hole
    for (const Step& step : steps) {
        const double radius = StepRadius(step.outer, *centre, outer, tolerance);
        if (radius < 0 || (!radii.empty() && !(radius < radii.back()))) return std::nullopt;
        radii.push_back(radius);
    }
    // A ring's hole is the next step's polygon; the last one's stays empty.
    double hole = 0;
    if (!steps.back().inner.empty()) {
        hole = StepRadius(steps.back().inner, *centre, {}, tolerance);
        if (hole < 0 || !(hole < radii.back())) return std::nullopt;
    }
    // Each step's colour at the middle of the band it shows (between its
    // ellipse and the next one in), in between the colours interpolated:
    // the smooth gradient the steps approximate.
    const double full = radii.front();
    std::vector<double> at;
    std::vector<RampColor> colors;
    for (size_t i = 0; i < steps.size(); ++i) {
        const double inner = i + 1 < steps.size() ? radii[i + 1] : hole;
        at.push_back((radii[i] + inner) / 2 / full);
        const FColor& c = steps[i].color;
        colors.push_back({double(c.Red()), double(c.Green()), double(c.Blue()), double(c.Alpha())});
    }
    std::vector<RampColor> samples;
    for (int s = 0; s < 256; ++s) {
        const double r = s / 255.0;
        // `at` falls from the outermost band to the innermost.
        if (r >= at.front()) {
            samples.push_back(colors.front());
            continue;
        }
        if (r <= at.back()) {
            samples.push_back(colors.back());
            continue;
        }
        size_t k = 0;
        while (k + 1 < at.size() && at[k + 1] > r) ++k;
        const double t = (at[k] - r) / (at[k] - at[k + 1]);
        RampColor mixed{};
        for (size_t ch = 0; ch < 4; ++ch) mixed[ch] = colors[k][ch] + t * (colors[k + 1][ch] - colors[k][ch]);
        samples.push_back(mixed);
    }
    const GradientFit fit = FitGradient(samples, 8, colorTolerance);
    if (fit.maxError > 2 * colorTolerance) return std::nullopt;
    const double aspect = centre->ry / centre->rx;
    const Affine square{full / 16384, 0, 0, full * aspect / 16384, centre->cx, centre->cy};
    if (!FitsMatrixFields(square)) return std::nullopt;
    auto ramp = std::make_unique<FGradient>();
    for (const GradientStop& stop : fit.stops) {
        const auto level = [](double v) { return static_cast<int32_t>(std::lround(std::clamp(v, 0.0, 255.0))); };
        ramp->Add(std::make_unique<FGradRecord>(
            stop.ratio, FColor(level(stop.color[0]), level(stop.color[1]), level(stop.color[2]), level(stop.color[3]))));
    }
    Fill fill;
    const auto contourOf = [](const std::vector<OutlinePoint>& corners) {
        OutlineContour contour;
        contour.closed = true;
        contour.start = corners.front();
        for (size_t i = 1; i < corners.size(); ++i) contour.segments.push_back({OutlineSegment::Kind::Line, {}, {}, corners[i]});
        contour.segments.push_back({OutlineSegment::Kind::Line, {}, {}, corners.front()});
        return contour;
    };
    fill.region.push_back(contourOf(steps.front().outer));
    if (!steps.back().inner.empty()) fill.region.push_back(contourOf(steps.back().inner));
    fill.evenOdd = true;
    fill.style = std::make_unique<FFillStyleGradient>(false, ToFMatrix(square), std::move(ramp));
    return fill;
}

std::vector<SteppedGradient::Step> SteppedGradient::Take()
{
    std::vector<Step> taken = std::move(steps);
    steps.clear();
    corners = 0;
    return taken;
}
