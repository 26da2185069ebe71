#include "driver/pdf/curvefit.h"

#include <algorithm>
#include <cmath>

namespace {

OutlinePoint Lerp(OutlinePoint a, OutlinePoint b, double t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

double Length(double x, double y) { return std::sqrt(x * x + y * y); }

// The piece of a cubic between parameters t0 and t1, by de Casteljau.
void CubicPiece(const OutlinePoint p[4], double t0, double t1, OutlinePoint out[4])
{
    auto at = [&](double t, OutlinePoint q[4]) {
        OutlinePoint ab = Lerp(p[0], p[1], t), bc = Lerp(p[1], p[2], t), cd = Lerp(p[2], p[3], t);
        OutlinePoint abc = Lerp(ab, bc, t), bcd = Lerp(bc, cd, t);
        OutlinePoint m = Lerp(abc, bcd, t);
        // q: the right half [t, 1]
        q[0] = m;
        q[1] = bcd;
        q[2] = cd;
        q[3] = p[3];
    };
    OutlinePoint right[4];
    at(t0, right);
    // Split the right half again at the parameter t1 takes within it.
    const double u = t0 >= 1 ? 1 : (t1 - t0) / (1 - t0);
    OutlinePoint ab = Lerp(right[0], right[1], u), bc = Lerp(right[1], right[2], u),
                 cd = Lerp(right[2], right[3], u);
    OutlinePoint abc = Lerp(ab, bc, u), bcd = Lerp(bc, cd, u);
    out[0] = right[0];
    out[1] = ab;
    out[2] = abc;
    out[3] = Lerp(abc, bcd, u);
}

// Steps that keep the chords of a curve whose second difference is `dd`
// within `tolerance`.
int FlattenSteps(double dd, double tolerance)
{
    const double n = std::ceil(std::sqrt(dd / (8 * std::max(tolerance, 1e-9))));
    return std::clamp(static_cast<int>(n), 1, 1000);
}

}  // namespace

void CubicToQuads(OutlinePoint p0, OutlinePoint c1, OutlinePoint c2, OutlinePoint p3,
                  double tolerance, std::vector<QuadSegment>& out)
{
    // The distance of the single best quadratic from the cubic is at most
    // sqrt(3)/36 |p3 - 3 c2 + 3 c1 - p0|, and shrinks with the cube of the
    // piece's share of the parameter.
    const double dx = p3.x - 3 * c2.x + 3 * c1.x - p0.x, dy = p3.y - 3 * c2.y + 3 * c1.y - p0.y;
    const double error = std::sqrt(3.0) / 36 * Length(dx, dy);
    int pieces = 1;
    if (error > tolerance)
        pieces = std::clamp(static_cast<int>(std::ceil(std::cbrt(error / std::max(tolerance, 1e-9)))), 1, 1000);
    const OutlinePoint p[4] = {p0, c1, c2, p3};
    for (int i = 0; i < pieces; ++i) {
        OutlinePoint q[4];
        CubicPiece(p, static_cast<double>(i) / pieces, static_cast<double>(i + 1) / pieces, q);
        if (i == pieces - 1) q[3] = p3;
        const OutlinePoint control = {(3 * (q[1].x + q[2].x) - q[0].x - q[3].x) / 4,
                                      (3 * (q[1].y + q[2].y) - q[0].y - q[3].y) / 4};
        out.push_back({true, control, q[3]});
    }
}

std::vector<QuadContour> ToQuadContours(const Outline& outline, double tolerance, bool closeAll)
{
    std::vector<QuadContour> contours;
    contours.reserve(outline.size());
    for (const OutlineContour& contour : outline) {
        QuadContour quads;
        quads.start = contour.start;
        OutlinePoint pen = contour.start;
        for (const OutlineSegment& segment : contour.segments) {
            switch (segment.kind) {
            case OutlineSegment::Kind::Line: quads.segments.push_back({false, {}, segment.to}); break;
            case OutlineSegment::Kind::Quad: quads.segments.push_back({true, segment.c1, segment.to}); break;
            case OutlineSegment::Kind::Cubic:
                CubicToQuads(pen, segment.c1, segment.c2, segment.to, tolerance, quads.segments);
                break;
            }
            pen = segment.to;
        }
        if ((closeAll || contour.closed) && (pen.x != contour.start.x || pen.y != contour.start.y))
            quads.segments.push_back({false, {}, contour.start});
        contours.push_back(std::move(quads));
    }
    return contours;
}

std::vector<OutlinePoint> Flatten(const OutlineContour& contour, double tolerance)
{
    std::vector<OutlinePoint> points{contour.start};
    OutlinePoint pen = contour.start;
    for (const OutlineSegment& s : contour.segments) {
        if (s.kind == OutlineSegment::Kind::Line) {
            points.push_back(s.to);
        } else if (s.kind == OutlineSegment::Kind::Quad) {
            const double dd = Length(pen.x - 2 * s.c1.x + s.to.x, pen.y - 2 * s.c1.y + s.to.y);
            const int n = FlattenSteps(dd * 2, tolerance);
            for (int i = 1; i <= n; ++i) {
                const double t = static_cast<double>(i) / n;
                points.push_back(Lerp(Lerp(pen, s.c1, t), Lerp(s.c1, s.to, t), t));
            }
        } else {
            const double dd = std::max(Length(pen.x - 2 * s.c1.x + s.c2.x, pen.y - 2 * s.c1.y + s.c2.y),
                                       Length(s.c1.x - 2 * s.c2.x + s.to.x, s.c1.y - 2 * s.c2.y + s.to.y));
            const int n = FlattenSteps(dd * 6, tolerance);
            const OutlinePoint p[4] = {pen, s.c1, s.c2, s.to};
            for (int i = 1; i <= n; ++i) {
                OutlinePoint q[4];
                CubicPiece(p, 0, static_cast<double>(i) / n, q);
                points.push_back(i == n ? s.to : q[3]);
            }
        }
        pen = s.to;
    }
    if (contour.closed && (pen.x != contour.start.x || pen.y != contour.start.y)) points.push_back(contour.start);
    return points;
}

Affine Affine::Then(const Affine& m) const
{
    return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c,
            c * m.b + d * m.d, e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
}

double Affine::Expansion() const { return std::sqrt(std::fabs(a * d - b * c)); }

bool Affine::Invertible() const { return std::fabs(a * d - b * c) > 1e-12; }

Affine Affine::Inverse() const
{
    const double det = a * d - b * c;
    const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {ia, ib, ic, id, -(e * ia + f * ic), -(e * ib + f * id)};
}

Outline Transformed(const Outline& outline, const Affine& m)
{
    Outline result = outline;
    for (OutlineContour& contour : result) {
        contour.start = m.Apply(contour.start);
        for (OutlineSegment& s : contour.segments) {
            s.c1 = m.Apply(s.c1);
            s.c2 = m.Apply(s.c2);
            s.to = m.Apply(s.to);
        }
    }
    return result;
}

void Bounds::Add(OutlinePoint p)
{
    if (empty) {
        xmin = xmax = p.x;
        ymin = ymax = p.y;
        empty = false;
        return;
    }
    xmin = std::min(xmin, p.x);
    xmax = std::max(xmax, p.x);
    ymin = std::min(ymin, p.y);
    ymax = std::max(ymax, p.y);
}

void Bounds::Add(const Bounds& other)
{
    if (other.empty) return;
    Add(OutlinePoint{other.xmin, other.ymin});
    Add(OutlinePoint{other.xmax, other.ymax});
}

bool Bounds::Intersects(const Bounds& o) const
{
    return !empty && !o.empty && xmin < o.xmax && o.xmin < xmax && ymin < o.ymax && o.ymin < ymax;
}

Bounds Bounds::Intersected(const Bounds& o) const
{
    if (!Intersects(o)) return {};
    return {std::max(xmin, o.xmin), std::max(ymin, o.ymin), std::min(xmax, o.xmax), std::min(ymax, o.ymax), false};
}

Bounds BoundsOf(const Outline& outline)
{
    Bounds bounds;
    for (const OutlineContour& contour : outline) {
        bounds.Add(contour.start);
        for (const OutlineSegment& s : contour.segments) {
            if (s.kind != OutlineSegment::Kind::Line) bounds.Add(s.c1);
            if (s.kind == OutlineSegment::Kind::Cubic) bounds.Add(s.c2);
            bounds.Add(s.to);
        }
    }
    return bounds;
}
