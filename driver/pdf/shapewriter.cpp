#include "driver/pdf/shapewriter.h"

#include <cmath>

#include "driver/pdf/recordfields.h"

namespace {

// Kept to the recorded coordinates whatever reaches here, so that the
// difference of two is a field's value, never an overflow.
int32_t Round(double v) { return ClampedTwips(v); }

}  // namespace

ShapeRecords ShapeRecordsFor(const std::vector<QuadContour>& contours, uint32_t fillStyle,
                             uint32_t lineStyle, std::unique_ptr<FFillStyleArray> newFills,
                             std::unique_ptr<FLineStyleArray> newLines)
{
    const bool newStyles = newFills || newLines;
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
        if (first && newStyles) {
            // The arrays in a record of their own: the indices of the record
            // that brings them are written in the widths of the arrays before.
            shape.records.push_back(std::make_unique<FStyleChangeRecord>(
                true, false, false, false, false, 0, 0, 0, 0, 0, std::move(newFills), std::move(newLines)));
            shape.records.push_back(std::make_unique<FStyleChangeRecord>(false, true, true, true, true, startX,
                                                                         startY, 0, fillStyle, lineStyle));
        } else {
            shape.records.push_back(std::make_unique<FStyleChangeRecord>(
                false, first && lineStyle != 0, first && fillStyle != 0, false, true, startX, startY, 0,
                fillStyle, lineStyle));
        }
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

bool ShapeBatch::Add(ShapeRecords&& shape, double margin)
{
    if (shape.edges == 0) return false;
    for (auto& record : shape.records) records.push_back(std::move(record));
    edges += shape.edges;
    ++outlines;
    Bounds b = shape.bounds;
    b.Add(OutlinePoint{b.xmin - margin, b.ymin - margin});
    b.Add(OutlinePoint{b.xmax + margin, b.ymax + margin});
    bounds.Add(b);
    return true;
}

bool ShapeBatch::AddFill(const std::vector<QuadContour>& contours, std::unique_ptr<FFillStyle> fill)
{
    if (outlines == 0) {
        ShapeRecords shape = ShapeRecordsFor(contours, 1, 0);
        if (shape.edges == 0) return false;
        firstFill = std::move(fill);
        firstIsLine = false;
        return Add(std::move(shape), 0);
    }
    auto fills = std::make_unique<FFillStyleArray>();
    fills->Add(std::move(fill));
    return Add(ShapeRecordsFor(contours, 1, 0, std::move(fills), std::make_unique<FLineStyleArray>()), 0);
}

bool ShapeBatch::AddLine(const std::vector<QuadContour>& contours, uint16_t width, FColor color)
{
    if (outlines == 0) {
        ShapeRecords shape = ShapeRecordsFor(contours, 0, 1);
        if (shape.edges == 0) return false;
        firstIsLine = true;
        firstLineWidth = width;
        firstLineColor = color;
        return Add(std::move(shape), width / 2.0);
    }
    auto lines = std::make_unique<FLineStyleArray>();
    lines->Add(std::make_unique<FLineStyle>(width, color));
    return Add(ShapeRecordsFor(contours, 0, 1, std::make_unique<FFillStyleArray>(), std::move(lines)), width / 2.0);
}

std::unique_ptr<FDTDefineShape3> ShapeBatch::Build()
{
    if (outlines == 0) return nullptr;
    auto tag = std::make_unique<FDTDefineShape3>(ToRect(bounds));
    if (firstIsLine)
        tag->AddLineStyle(firstLineWidth, firstLineColor);
    else
        tag->AddFillStyle(std::move(firstFill));
    tag->FinishStyleArrays();
    for (auto& record : records) tag->AddShapeRecord(std::move(record));
    tag->AddShapeRecord(std::make_unique<FEndShapeRecord>());
    *this = ShapeBatch();
    return tag;
}
