#include "swf/fdtmorph.h"

#include "base/fassert.h"

namespace {

FColor WithAlpha(FColor color)
{
    color.SetHasAlpha(true);
    return color;
}
}  // namespace

// ---------------------------------------------------------------------------
// Morph styles

FMorphFillStyleSolid::FMorphFillStyleSolid(FColor startColor, FColor endColor)
    : startColor(WithAlpha(startColor)), endColor(WithAlpha(endColor)) {}

void FMorphFillStyleSolid::Write(FSWFStream& stream) const
{
    stream.WriteByte(0x00);
    startColor.Write(stream);
    endColor.Write(stream);
}

FMorphFillStyleGradient::FMorphFillStyleGradient(bool linear, FMatrix startMatrix,
                                                 FMatrix endMatrix,
                                                 std::unique_ptr<FGradient> gradient)
    : linear(linear), startMatrix(startMatrix), endMatrix(endMatrix), gradient(std::move(gradient))
{
    F_ASSERT(this->gradient, "gradient");
}

void FMorphFillStyleGradient::Write(FSWFStream& stream) const
{
    stream.WriteByte(linear ? 0x10 : 0x12);
    startMatrix.Write(stream);
    endMatrix.Write(stream);
    gradient->Write(stream);
}

void FMorphFillStyleBitmap::Write(FSWFStream& stream) const
{
    stream.WriteByte(tiled ? 0x40 : 0x41);
    stream.WriteWord(bitmapID);
    startMatrix.Write(stream);
    endMatrix.Write(stream);
}

FMorphGradRecord::FMorphGradRecord(uint8_t startRatio, FColor startColor, uint8_t endRatio,
                                   FColor endColor)
    : startRatio(startRatio),
      endRatio(endRatio),
      startColor(WithAlpha(startColor)),
      endColor(WithAlpha(endColor)) {}

void FMorphGradRecord::Write(FSWFStream& stream) const
{
    stream.WriteByte(startRatio);
    startColor.Write(stream);
    stream.WriteByte(endRatio);
    endColor.Write(stream);
}

FMorphLineStyle::FMorphLineStyle(uint16_t startWidth, uint16_t endWidth, FColor startColor,
                                 FColor endColor)
    : startColor(WithAlpha(startColor)),
      endColor(WithAlpha(endColor)),
      startWidth(startWidth),
      endWidth(endWidth) {}

void FMorphLineStyle::Write(FSWFStream& stream) const
{
    stream.WriteWord(startWidth);
    stream.WriteWord(endWidth);
    startColor.Write(stream);
    endColor.Write(stream);
}

// ---------------------------------------------------------------------------
// The tag

FDTDefineMorphShape::FDTDefineMorphShape(FRect startBounds, FRect endBounds)
    : characterID(DrawCharacterID()), startBounds(startBounds), endBounds(endBounds) {}

uint32_t FDTDefineMorphShape::AddFillStyle(std::unique_ptr<FMorphFillStyle> fillStyle)
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    return fillStyles.Add(std::move(fillStyle));
}

uint32_t FDTDefineMorphShape::AddLineStyle(uint16_t startWidth, FColor startColor,
                                           uint16_t endWidth, FColor endColor)
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    // FMorphLineStyle makes both colours RGBA.
    return lineStyles.Add(std::make_unique<FMorphLineStyle>(startWidth, endWidth, startColor, endColor));
}

void FDTDefineMorphShape::FinishStyleArrays()
{
    F_ASSERT(!styleArraysFinished, "!styleArraysFinished");
    styleArraysFinished = true;
    fillBits = BitsNeeded(fillStyles.Count(), 0);
    lineBits = BitsNeeded(lineStyles.Count(), 0);
    // The end edges share the start edges' styles and keep 0 and 0.
    startEdges.SetFillBits(fillBits);
    startEdges.SetLineBits(lineBits);
}

void FDTDefineMorphShape::AddStartShapeRecord(std::unique_ptr<FShapeRecord> record)
{
    F_ASSERT(styleArraysFinished, "styleArraysFinished");
    startEdges.AddShapeRecord(std::move(record));
}

void FDTDefineMorphShape::AddEndShapeRecord(std::unique_ptr<FShapeRecord> record)
{
    F_ASSERT(styleArraysFinished, "styleArraysFinished");
    F_ASSERT(record, "record");
    record->SetFillBits(0);
    record->SetLineBits(0);
    endEdges.AddShapeRecord(std::move(record));
}

void FDTDefineMorphShape::Write(FSWFStream& stream)
{
    F_ASSERT(styleArraysFinished, "styleArraysFinished");
    // Without its end record the start edge list stops mid-byte, its size
    // (the offset) would be short and its last bits lost; the end edges'
    // last bits likewise.
    F_ASSERT(startEdges.EndsWithEndRecord(), "start edges end with an FEndShapeRecord");
    F_ASSERT(endEdges.EndsWithEndRecord(), "end edges end with an FEndShapeRecord");
    // A reader pairs the start and end edges one by one.
    F_ASSERT(startEdges.EdgeRecordCount() == endEdges.EdgeRecordCount(),
             "start and end edges hold the same number of edge records");

    FSWFStream body;
    body.WriteWord(characterID);
    startBounds.Write(body);
    endBounds.Write(body);

    // The offset field is the byte count of what lies between it and the end edges.
    FSWFStream stylesAndStartEdges;
    fillStyles.Write(stylesAndStartEdges);
    lineStyles.Write(stylesAndStartEdges);
    startEdges.Write(stylesAndStartEdges);
    body.WriteDWord(stylesAndStartEdges.Size());
    body.Append(stylesAndStartEdges);

    endEdges.Write(body);
    stream.AppendTag(FTagCode::DefineMorphShape, body.Size(), &body);
}
