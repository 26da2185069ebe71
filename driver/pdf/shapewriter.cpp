#include "driver/pdf/shapewriter.h"

#include <cmath>

namespace {

int32_t Round(double v) { return static_cast<int32_t>(std::lround(v)); }

}  // namespace

ShapeRecords ShapeRecordsFor(const std::vector<QuadContour>& contours, uint32_t fillStyle,
                             uint32_t lineStyle)
{
    ShapeRecords shape;
    bool first = true;
    for (const QuadContour& contour : contours) {
        // Edges first, so that a contour that rounds to nothing leaves no move.
        std::vector<std::unique_ptr<FShapeRecord>> edges;
        const int32_t startX = Round(contour.start.x), startY = Round(contour.start.y);
        int32_t x = startX, y = startY;
        Bounds bounds;
        bounds.Add(OutlinePoint{static_cast<double>(x), static_cast<double>(y)});
        for (const QuadSegment& s : contour.segments) {
            const int32_t tx = Round(s.to.x), ty = Round(s.to.y);
            if (s.curved) {
                const int32_t cx = Round(s.control.x), cy = Round(s.control.y);
                const bool controlOnEnd = (cx == x && cy == y) || (cx == tx && cy == ty);
                if (!controlOnEnd) {
                    edges.push_back(std::make_unique<FCurvedEdgeRecord>(cx - x, cy - y, tx - cx, ty - cy));
                    bounds.Add(OutlinePoint{static_cast<double>(cx), static_cast<double>(cy)});
                    bounds.Add(OutlinePoint{static_cast<double>(tx), static_cast<double>(ty)});
                    x = tx;
                    y = ty;
                    continue;
                }
            }
            if (tx == x && ty == y) continue;
            edges.push_back(std::make_unique<FStraightEdgeRecord>(tx - x, ty - y));
            bounds.Add(OutlinePoint{static_cast<double>(tx), static_cast<double>(ty)});
            x = tx;
            y = ty;
        }
        if (edges.empty()) continue;
        shape.records.push_back(std::make_unique<FStyleChangeRecord>(
            false, first && lineStyle != 0, first && fillStyle != 0, false, true, startX, startY, 0,
            fillStyle, lineStyle));
        first = false;
        for (auto& edge : edges) {
            shape.edges += edge->EdgeRecordCount();
            shape.records.push_back(std::move(edge));
        }
        shape.bounds.Add(bounds);
    }
    return shape;
}

FRect ToRect(const Bounds& b, double margin)
{
    if (b.empty) return FRect(0, 0, 0, 0);
    return FRect(static_cast<int32_t>(std::floor(b.xmin - margin)), static_cast<int32_t>(std::floor(b.ymin - margin)),
                 static_cast<int32_t>(std::ceil(b.xmax + margin)), static_cast<int32_t>(std::ceil(b.ymax + margin)));
}

std::unique_ptr<FDTDefineShape3> FilledShape(const std::vector<QuadContour>& contours,
                                             std::unique_ptr<FFillStyle> fill, uint32_t* edges)
{
    ShapeRecords records = ShapeRecordsFor(contours, 1, 0);
    if (edges) *edges = records.edges;
    if (records.edges == 0) return nullptr;
    auto tag = std::make_unique<FDTDefineShape3>(ToRect(records.bounds));
    tag->AddFillStyle(std::move(fill));
    tag->FinishStyleArrays();
    for (auto& record : records.records) tag->AddShapeRecord(std::move(record));
    tag->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    return tag;
}

std::unique_ptr<FDTDefineShape3> LineShape(const std::vector<QuadContour>& contours, uint16_t width,
                                           FColor color, uint32_t* edges)
{
    ShapeRecords records = ShapeRecordsFor(contours, 0, 1);
    if (edges) *edges = records.edges;
    if (records.edges == 0) return nullptr;
    auto tag = std::make_unique<FDTDefineShape3>(ToRect(records.bounds, width / 2.0));
    tag->AddLineStyle(width, color);
    tag->FinishStyleArrays();
    for (auto& record : records.records) tag->AddShapeRecord(std::move(record));
    tag->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    return tag;
}

std::unique_ptr<FShape> GlyphShape(const std::vector<QuadContour>& contours)
{
    ShapeRecords records = ShapeRecordsFor(contours, 1, 0);
    auto shape = std::make_unique<FShape>();
    for (auto& record : records.records) shape->AddShapeRecord(std::move(record));
    shape->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    return shape;
}
