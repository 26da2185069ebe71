#include "hf/hfpolygon.h"

#include <algorithm>

#include "base/fassert.h"

HFPolygon::HFPolygon(int32_t x, int32_t y) : HFShape(x, y, x, y)
{
    pathElements.push_back({true, x, y, 0, 0});
}

HFPolygon::HFPolygon(const HFPoint* _pointArray, int32_t _numberOfPoints) : HFShape(0, 0, 0, 0)
{
    F_ASSERT(_numberOfPoints > 2, "_numberOfPoints > 2");
    F_ASSERT(_pointArray, "_pointArray");
    const auto count = static_cast<size_t>(_numberOfPoints);
    const HFPoint& first = _pointArray[0];
    const HFPoint& last = _pointArray[count - 1];
    const bool closed = first.x == last.x && first.y == last.y;
    if (closed) F_ASSERT(_numberOfPoints > 3, "_numberOfPoints > 3");

    pathElements.reserve(closed ? count : count + 1);
    pathElements.push_back({true, first.x, first.y, 0, 0});
    for (size_t i = 1; i < count; ++i)
        pathElements.push_back({true, _pointArray[i].x - _pointArray[i - 1].x,
                                _pointArray[i].y - _pointArray[i - 1].y, 0, 0});
    if (!closed) pathElements.push_back({true, first.x - last.x, first.y - last.y, 0, 0});
    UpdateBounds();
}

void HFPolygon::AddLine(int32_t dx, int32_t dy)
{
    pathElements.push_back({true, dx, dy, 0, 0});
    UpdateBounds();
}

void HFPolygon::AddCurve(int32_t controlDX, int32_t controlDY, int32_t anchorDX, int32_t anchorDY)
{
    pathElements.push_back({false, anchorDX, anchorDY, controlDX, controlDY});
    UpdateBounds();
}

void HFPolygon::UpdateBounds()
{
    int64_t x = pathElements[0].dx, y = pathElements[0].dy;
    int64_t minX = x, maxX = x, minY = y, maxY = y;
    for (size_t i = 1; i < pathElements.size(); ++i) {
        const PathElement& element = pathElements[i];
        x += int64_t{element.controlDX} + element.dx;
        y += int64_t{element.controlDY} + element.dy;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    bounds = FRect(static_cast<int32_t>(minX), static_cast<int32_t>(minY), static_cast<int32_t>(maxX),
                   static_cast<int32_t>(maxY));
}

std::vector<std::unique_ptr<FShapeRecord>> HFPolygon::EdgeRecords() const
{
    std::vector<std::unique_ptr<FShapeRecord>> edges;
    for (size_t i = 1; i < pathElements.size(); ++i) {
        const PathElement& e = pathElements[i];
        if (e.straight)
            edges.push_back(std::make_unique<FStraightEdgeRecord>(e.dx, e.dy));
        else
            edges.push_back(std::make_unique<FCurvedEdgeRecord>(e.controlDX, e.controlDY, e.dx, e.dy));
    }
    return edges;
}

std::unique_ptr<FShape> HFPolygon::Outline() const
{
    auto outline = std::make_unique<FShape>();
    outline->AddShapeRecord(std::make_unique<FStyleChangeRecord>(
        false, false, true, false, true, pathElements[0].dx, pathElements[0].dy, 0, 1, 0));
    for (std::unique_ptr<FShapeRecord>& edge : EdgeRecords()) outline->AddShapeRecord(std::move(edge));
    outline->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    return outline;
}

void HFPolygon::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    if (!defined) DefineShape(frame, pathElements[0].dx, pathElements[0].dy, EdgeRecords());
    if (!defineOnly) Place(frame, movie);
}
