#include "swf/fdtshapes.h"

#include <algorithm>
#include <cstdlib>

#include "base/fassert.h"

namespace {
// A style array's count: one byte below 255, else the escape 0xFF and 16 bits.
void WriteStyleCount(FSWFStream& stream, uint32_t count)
{
    if (count < 255) {
        stream.WriteByte(count);
    } else {
        stream.WriteByte(0xFF);
        stream.WriteWord(count);
    }
}

// The 16-bit extended count is the most a style array can hold.
constexpr size_t kMaxStyles = 0xFFFF;

// An edge record stores its bit count less 2 in 4 bits: deltas of at most 17
// signed bits.
constexpr int64_t kMaxEdgeDelta = 65535;

// The bit count of an edge record: the signed width of its largest delta, at least 2.
uint32_t EdgeBits(int32_t magnitude)
{
    return std::max<uint32_t>(2, BitsNeeded(static_cast<uint32_t>(magnitude), 1));
}

void WriteStraightEdge(FSWFStream& stream, int32_t dx, int32_t dy)
{
    stream.WriteBits(1, 1);  // edge
    stream.WriteBits(1, 1);  // straight
    if (dx != 0 && dy != 0) {
        const uint32_t numBits = EdgeBits(MaxAbs4(dx, dy, 0, 0));
        stream.WriteBits(numBits - 2, 4);
        stream.WriteBits(1, 1);  // general line
        stream.WriteBits(static_cast<uint32_t>(dx), numBits);
        stream.WriteBits(static_cast<uint32_t>(dy), numBits);
        return;
    }
    // A zero-length edge is written as a vertical one.
    const bool vertLine = dx == 0;
    const int32_t delta = vertLine ? dy : dx;
    const uint32_t numBits = EdgeBits(MaxAbs4(delta, 0, 0, 0));
    stream.WriteBits(numBits - 2, 4);
    stream.WriteBits(0, 1);  // not general
    stream.WriteBits(vertLine ? 1 : 0, 1);
    stream.WriteBits(static_cast<uint32_t>(delta), numBits);
}

void WriteCurvedEdge(FSWFStream& stream, int32_t controlDeltaX, int32_t controlDeltaY,
                     int32_t anchorDeltaX, int32_t anchorDeltaY)
{
    const uint32_t numBits =
        EdgeBits(MaxAbs4(controlDeltaX, controlDeltaY, anchorDeltaX, anchorDeltaY));
    stream.WriteBits(1, 1);  // edge
    stream.WriteBits(0, 1);  // curved
    stream.WriteBits(numBits - 2, 4);
    stream.WriteBits(static_cast<uint32_t>(controlDeltaX), numBits);
    stream.WriteBits(static_cast<uint32_t>(controlDeltaY), numBits);
    stream.WriteBits(static_cast<uint32_t>(anchorDeltaX), numBits);
    stream.WriteBits(static_cast<uint32_t>(anchorDeltaY), numBits);
}

// Hands every piece of the curve to `piece`, halving it at its midpoint until
// every piece fits a record. Points are taken relative to the pen and rounded
// once, so the pieces meet each other and end exactly on the anchor.
template <typename Piece>
void ForEachCurvePiece(int64_t cx, int64_t cy, int64_t ax, int64_t ay, const Piece& piece)
{
    if (std::max({std::llabs(cx), std::llabs(cy), std::llabs(ax), std::llabs(ay)}) <= kMaxEdgeDelta) {
        piece(static_cast<int32_t>(cx), static_cast<int32_t>(cy), static_cast<int32_t>(ax),
              static_cast<int32_t>(ay));
        return;
    }
    const int64_t endX = cx + ax, endY = cy + ay;
    const int64_t leftControlX = cx / 2, leftControlY = cy / 2;
    const int64_t middleX = (2 * cx + endX) / 4, middleY = (2 * cy + endY) / 4;
    const int64_t rightControlX = (cx + endX) / 2, rightControlY = (cy + endY) / 2;
    ForEachCurvePiece(leftControlX, leftControlY, middleX - leftControlX, middleY - leftControlY,
                      piece);
    ForEachCurvePiece(rightControlX - middleX, rightControlY - middleY, endX - rightControlX,
                      endY - rightControlY, piece);
}
}  // namespace

// ---------------------------------------------------------------------------
// Fill and line styles

void FFillStyleSolid::Write(FSWFStream& stream) const
{
    stream.WriteByte(0x00);
    color.Write(stream);
}

void FGradRecord::Write(FSWFStream& stream) const
{
    stream.WriteByte(ratio);
    color.Write(stream);
}

void FGradient::Add(std::unique_ptr<FGradRecordBase> record)
{
    F_ASSERT(record, "record");
    F_ASSERT(records.size() < 255, "gradient records <= 255");
    records.push_back(std::move(record));
}

void FGradient::Write(FSWFStream& stream) const
{
    stream.WriteByte(static_cast<uint32_t>(records.size()));
    for (const std::unique_ptr<FGradRecordBase>& record : records) record->Write(stream);
}

FFillStyleGradient::FFillStyleGradient(bool linear, FMatrix matrix,
                                       std::unique_ptr<FGradient> gradient)
    : linear(linear), matrix(matrix), gradient(std::move(gradient))
{
    F_ASSERT(this->gradient, "gradient");
}

void FFillStyleGradient::Write(FSWFStream& stream) const
{
    stream.WriteByte(linear ? 0x10 : 0x12);
    matrix.Write(stream);
    gradient->Write(stream);
}

void FFillStyleBitmap::Write(FSWFStream& stream) const
{
    stream.WriteByte(tiled ? 0x40 : 0x41);
    stream.WriteWord(bitmapID);
    matrix.Write(stream);
}

void FLineStyle::Write(FSWFStream& stream) const
{
    stream.WriteWord(width);
    color.Write(stream);
}

uint32_t FFillStyleArray::Add(std::unique_ptr<FFillStyleBase> fillStyle)
{
    F_ASSERT(fillStyle, "fillStyle");
    F_ASSERT(styles.size() < kMaxStyles, "styles < 65535");
    styles.push_back(std::move(fillStyle));
    return Count();
}

void FFillStyleArray::Write(FSWFStream& stream) const
{
    WriteStyleCount(stream, Count());
    for (const std::unique_ptr<FFillStyleBase>& style : styles) style->Write(stream);
}

uint32_t FLineStyleArray::Add(std::unique_ptr<FLineStyleBase> lineStyle)
{
    F_ASSERT(lineStyle, "lineStyle");
    F_ASSERT(styles.size() < kMaxStyles, "styles < 65535");
    styles.push_back(std::move(lineStyle));
    return Count();
}

void FLineStyleArray::Write(FSWFStream& stream) const
{
    WriteStyleCount(stream, Count());
    for (const std::unique_ptr<FLineStyleBase>& style : styles) style->Write(stream);
}

// ---------------------------------------------------------------------------
// Shape records

FStyleChangeRecord::FStyleChangeRecord(bool stateNewStyles, bool stateLineStyle,
                                       bool stateFillStyle1, bool stateFillStyle0,
                                       bool stateMoveTo, int32_t moveDeltaX, int32_t moveDeltaY,
                                       uint32_t fillStyle0, uint32_t fillStyle1,
                                       uint32_t lineStyle,
                                       std::unique_ptr<FFillStyleArray> fillStyles,
                                       std::unique_ptr<FLineStyleArray> lineStyles)
    : stateNewStyles(stateNewStyles),
      stateLineStyle(stateLineStyle),
      stateFillStyle0(stateFillStyle0),
      stateFillStyle1(stateFillStyle1),
      stateMoveTo(stateMoveTo),
      moveBits(BitsNeeded(static_cast<uint32_t>(MaxAbs4(moveDeltaX, moveDeltaY, 0, 0)), 1)),
      moveDeltaX(moveDeltaX),
      moveDeltaY(moveDeltaY),
      fillStyle0(fillStyle0),
      fillStyle1(fillStyle1),
      lineStyle(lineStyle),
      fillStyles(std::move(fillStyles)),
      lineStyles(std::move(lineStyles)) {}

void FStyleChangeRecord::Write(FSWFStream& stream) const
{
    stream.WriteBits(0, 1);  // not an edge
    stream.WriteBits(stateNewStyles ? 1 : 0, 1);
    stream.WriteBits(stateLineStyle ? 1 : 0, 1);
    stream.WriteBits(stateFillStyle1 ? 1 : 0, 1);
    stream.WriteBits(stateFillStyle0 ? 1 : 0, 1);
    stream.WriteBits(stateMoveTo ? 1 : 0, 1);
    if (stateMoveTo) {
        stream.WriteBits(moveBits, 5);
        stream.WriteBits(static_cast<uint32_t>(moveDeltaX), moveBits);
        stream.WriteBits(static_cast<uint32_t>(moveDeltaY), moveBits);
    }
    // A shape without fill (or line) styles writes its indices in 0 bits: nothing.
    if (stateFillStyle0 && fillBits > 0) stream.WriteBits(fillStyle0, fillBits);
    if (stateFillStyle1 && fillBits > 0) stream.WriteBits(fillStyle1, fillBits);
    if (stateLineStyle && lineBits > 0) stream.WriteBits(lineStyle, lineBits);
    if (stateNewStyles) {
        // The arrays are byte fields; their new index bit counts follow them.
        stream.FlushBits();
        if (fillStyles) fillStyles->Write(stream); else FFillStyleArray().Write(stream);
        if (lineStyles) lineStyles->Write(stream); else FLineStyleArray().Write(stream);
        uint32_t newFillBits = 0, newLineBits = 0;
        UpdateStyleBits(newFillBits, newLineBits);
        stream.WriteBits(newFillBits, 4);
        stream.WriteBits(newLineBits, 4);
    }
}

void FStyleChangeRecord::UpdateStyleBits(uint32_t& nextFillBits, uint32_t& nextLineBits) const
{
    if (!stateNewStyles) return;
    nextFillBits = BitsNeeded(fillStyles ? fillStyles->Count() : 0, 0);
    nextLineBits = BitsNeeded(lineStyles ? lineStyles->Count() : 0, 0);
}

FStraightEdgeRecord::FStraightEdgeRecord(int32_t dx, int32_t dy) : dx(dx), dy(dy)
{
    const int64_t longest = std::max(std::llabs(int64_t{dx}), std::llabs(int64_t{dy}));
    recordCount = static_cast<uint32_t>(std::max<int64_t>(1, (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta));
}

void FStraightEdgeRecord::Write(FSWFStream& stream) const
{
    // Piece i ends at (i + 1) / n of the edge, rounded toward the start: the
    // pieces stay on the line, none exceeds the limit, and they sum exactly.
    const int64_t n = recordCount;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t pieceX = int64_t{dx} * (i + 1) / n - int64_t{dx} * i / n;
        const int64_t pieceY = int64_t{dy} * (i + 1) / n - int64_t{dy} * i / n;
        WriteStraightEdge(stream, static_cast<int32_t>(pieceX), static_cast<int32_t>(pieceY));
    }
}

void FCurvedEdgeRecord::Write(FSWFStream& stream) const
{
    ForEachCurvePiece(controlDeltaX, controlDeltaY, anchorDeltaX, anchorDeltaY,
                      [&stream](int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
                          WriteCurvedEdge(stream, cx, cy, ax, ay);
                      });
}

uint32_t FCurvedEdgeRecord::EdgeRecordCount() const
{
    uint32_t count = 0;
    ForEachCurvePiece(controlDeltaX, controlDeltaY, anchorDeltaX, anchorDeltaY,
                      [&count](int32_t, int32_t, int32_t, int32_t) { ++count; });
    return count;
}

void FEndShapeRecord::Write(FSWFStream& stream) const
{
    stream.WriteBits(0, 6);
    stream.FlushBits();
}

// ---------------------------------------------------------------------------
// Record containers

void FShape::AddShapeRecord(std::unique_ptr<FShapeRecord> record)
{
    F_ASSERT(record, "record");
    records.push_back(std::move(record));
}

uint32_t FShape::EdgeRecordCount() const
{
    uint32_t count = 0;
    for (const std::unique_ptr<FShapeRecord>& record : records) count += record->EdgeRecordCount();
    return count;
}

bool FShape::EndsWithEndRecord() const
{
    return !records.empty() && dynamic_cast<const FEndShapeRecord*>(records.back().get()) != nullptr;
}

void FShape::Write(FSWFStream& stream)
{
    stream.WriteBits(fillBits, 4);
    stream.WriteBits(lineBits, 4);
    uint32_t recordFillBits = fillBits;
    uint32_t recordLineBits = lineBits;
    for (const std::unique_ptr<FShapeRecord>& record : records) {
        record->SetFillBits(recordFillBits);
        record->SetLineBits(recordLineBits);
        record->Write(stream);
        record->UpdateStyleBits(recordFillBits, recordLineBits);
    }
}

FShapeWithStyle::FShapeWithStyle(std::unique_ptr<FFillStyleArray> fillStyles,
                                 std::unique_ptr<FLineStyleArray> lineStyles)
    : fillStyles(std::move(fillStyles)), lineStyles(std::move(lineStyles))
{
    F_ASSERT(this->fillStyles && this->lineStyles, "fillStyles && lineStyles");
    fillBits = BitsNeeded(this->fillStyles->Count(), 0);
    lineBits = BitsNeeded(this->lineStyles->Count(), 0);
    recordFillBits = fillBits;
    recordLineBits = lineBits;
}

void FShapeWithStyle::AddShapeRecord(std::unique_ptr<FShapeRecord> record)
{
    F_ASSERT(record, "record");
    record->SetFillBits(recordFillBits);
    record->SetLineBits(recordLineBits);
    record->UpdateStyleBits(recordFillBits, recordLineBits);
    records.push_back(std::move(record));
}

void FShapeWithStyle::Write(FSWFStream& stream) const
{
    fillStyles->Write(stream);
    lineStyles->Write(stream);
    stream.WriteBits(fillBits, 4);
    stream.WriteBits(lineBits, 4);
    for (const std::unique_ptr<FShapeRecord>& record : records) record->Write(stream);
    stream.FlushBits();
}

// ---------------------------------------------------------------------------
// Define-shape tags

FDTDefineShapeBase::FDTDefineShapeBase(FRect bounds, FTagCode tagCode, bool colorsWithAlpha)
    : characterID(DrawCharacterID()),
      bounds(bounds),
      fillStyles(std::make_unique<FFillStyleArray>()),
      lineStyles(std::make_unique<FLineStyleArray>()),
      tagCode(tagCode),
      colorsWithAlpha(colorsWithAlpha) {}

uint32_t FDTDefineShapeBase::AddFillStyle(std::unique_ptr<FFillStyle> fillStyle)
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    return fillStyles->Add(std::move(fillStyle));
}

uint32_t FDTDefineShapeBase::AddSolidFillStyle(FColor color)
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    color.SetHasAlpha(colorsWithAlpha);
    return fillStyles->Add(std::make_unique<FFillStyleSolid>(color));
}

uint32_t FDTDefineShapeBase::AddLineStyle(uint16_t width, FColor color)
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    color.SetHasAlpha(colorsWithAlpha);
    return lineStyles->Add(std::make_unique<FLineStyle>(width, color));
}

void FDTDefineShapeBase::FinishStyleArrays()
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    styleArraysFinished = true;
    shapeWithStyle = std::make_unique<FShapeWithStyle>(std::move(fillStyles), std::move(lineStyles));
}

void FDTDefineShapeBase::AddShapeRecord(std::unique_ptr<FShapeRecord> record)
{
    F_ASSERT(styleArraysFinished, "styleArraysFinished");
    shapeWithStyle->AddShapeRecord(std::move(record));
}

void FDTDefineShapeBase::Write(FSWFStream& stream)
{
    F_ASSERT(styleArraysFinished, "styleArraysFinished");
    FSWFStream body;
    body.WriteWord(characterID);
    bounds.Write(body);
    shapeWithStyle->Write(body);
    stream.AppendTag(tagCode, body.Size(), &body);
}
