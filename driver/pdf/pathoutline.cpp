#include "driver/pdf/pathoutline.h"

namespace {

struct Walk {
    Affine transform;
    Outline outline;
    OutlinePoint pen;      // untransformed, for the shorthand curves
    OutlinePoint start;

    OutlineContour& Current()
    {
        if (outline.empty()) Begin(pen);
        return outline.back();
    }
    void Begin(OutlinePoint p)
    {
        OutlineContour contour;
        contour.start = transform.Apply(p);
        outline.push_back(std::move(contour));
        start = p;
        pen = p;
    }
    void Add(OutlineSegment::Kind kind, OutlinePoint c1, OutlinePoint c2, OutlinePoint to)
    {
        if (!outline.empty() && outline.back().closed) Begin(pen);
        Current().segments.push_back({kind, transform.Apply(c1), transform.Apply(c2), transform.Apply(to)});
        pen = to;
    }
};

Walk& Of(void* arg) { return *static_cast<Walk*>(arg); }

void MoveTo(fz_context*, void* arg, float x, float y) { Of(arg).Begin({x, y}); }

void LineTo(fz_context*, void* arg, float x, float y)
{
    Of(arg).Add(OutlineSegment::Kind::Line, {}, {}, {x, y});
}

void CurveTo(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3)
{
    Of(arg).Add(OutlineSegment::Kind::Cubic, {x1, y1}, {x2, y2}, {x3, y3});
}

void ClosePath(fz_context*, void* arg)
{
    Walk& walk = Of(arg);
    if (walk.outline.empty()) return;
    walk.outline.back().closed = true;
    walk.pen = walk.start;
}

void QuadTo(fz_context*, void* arg, float x1, float y1, float x2, float y2)
{
    Of(arg).Add(OutlineSegment::Kind::Quad, {x1, y1}, {}, {x2, y2});
}

void CurveToV(fz_context*, void* arg, float x2, float y2, float x3, float y3)
{
    Walk& walk = Of(arg);
    walk.Add(OutlineSegment::Kind::Cubic, walk.pen, {x2, y2}, {x3, y3});
}

void CurveToY(fz_context*, void* arg, float x1, float y1, float x3, float y3)
{
    Of(arg).Add(OutlineSegment::Kind::Cubic, {x1, y1}, {x3, y3}, {x3, y3});
}

void RectTo(fz_context*, void* arg, float x1, float y1, float x2, float y2)
{
    Walk& walk = Of(arg);
    walk.Begin({x1, y1});
    walk.Add(OutlineSegment::Kind::Line, {}, {}, {x2, y1});
    walk.Add(OutlineSegment::Kind::Line, {}, {}, {x2, y2});
    walk.Add(OutlineSegment::Kind::Line, {}, {}, {x1, y2});
    walk.outline.back().closed = true;
    walk.pen = walk.start;
}

}  // namespace

Affine ToAffine(fz_matrix m) { return {m.a, m.b, m.c, m.d, m.e, m.f}; }

Outline OutlineFromPath(fz_context* ctx, const fz_path* path, const Affine& transform)
{
    static const fz_path_walker walker = {MoveTo, LineTo, CurveTo, ClosePath, QuadTo, CurveToV, CurveToY, RectTo};
    Walk walk;
    walk.transform = transform;
    fz_walk_path(ctx, path, &walker, &walk);
    return std::move(walk.outline);
}
