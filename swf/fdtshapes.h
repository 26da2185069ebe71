#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/fdt.h"
#include "swf/fprimitives.h"

// Shape serialisation: fill and line styles, gradients, style arrays, the four
// shape records, the two record containers and the three define-shape tags.
// Colours, matrices and rectangles are held by value; every other record handed
// to a constructor or an Add… operation is owned through std::unique_ptr.
// Style indices are 1-based within their own array; 0 means no style.

// ---------------------------------------------------------------------------
// Fill styles

// Root of every fill style, of shapes and of morph shapes alike.
class FFillStyleBase {
public:
    FFillStyleBase() = default;
    FFillStyleBase(const FFillStyleBase&) = delete;
    FFillStyleBase& operator=(const FFillStyleBase&) = delete;
    virtual ~FFillStyleBase() = default;
    virtual void Write(FSWFStream& stream) const = 0;
};

// A fill style of a (non-morph) shape.
class FFillStyle : public FFillStyleBase {};

// A fill of one colour.
class FFillStyleSolid : public FFillStyle {
public:
    explicit FFillStyleSolid(FColor color) : color(color) {}
    void Write(FSWFStream& stream) const override;

private:
    FColor color;
};

// Root of the gradient records, of shapes and of morph shapes alike.
class FGradRecordBase {
public:
    FGradRecordBase() = default;
    FGradRecordBase(const FGradRecordBase&) = delete;
    FGradRecordBase& operator=(const FGradRecordBase&) = delete;
    virtual ~FGradRecordBase() = default;
    virtual void Write(FSWFStream& stream) const = 0;
};

// One colour stop: `ratio` 0 is the start of the ramp, 255 its end.
class FGradRecord : public FGradRecordBase {
public:
    FGradRecord(uint8_t ratio, FColor color) : ratio(ratio), color(color) {}
    void Write(FSWFStream& stream) const override;

private:
    uint8_t ratio;
    FColor color;
};

// The colour stops of a gradient fill, in order of addition. The count is
// written in one byte, so a gradient holds at most 255 records.
class FGradient {
public:
    void Add(std::unique_ptr<FGradRecordBase> record);
    size_t Count() const { return records.size(); }
    void Write(FSWFStream& stream) const;

private:
    std::vector<std::unique_ptr<FGradRecordBase>> records;
};

// Linear or radial gradient; the matrix maps the gradient square of 32768
// units onto the shape.
class FFillStyleGradient : public FFillStyle {
public:
    FFillStyleGradient(bool linear, FMatrix matrix, std::unique_ptr<FGradient> gradient);
    void Write(FSWFStream& stream) const override;

private:
    bool linear;
    FMatrix matrix;
    std::unique_ptr<FGradient> gradient;
};

// Tiled or clipped bitmap; the matrix maps image pixels onto twips.
class FFillStyleBitmap : public FFillStyle {
public:
    FFillStyleBitmap(bool tiled, uint16_t bitmapID, FMatrix matrix)
        : tiled(tiled), bitmapID(bitmapID), matrix(matrix) {}
    void Write(FSWFStream& stream) const override;

private:
    bool tiled;
    uint16_t bitmapID;
    FMatrix matrix;
};

// ---------------------------------------------------------------------------
// Line styles

// Root of the line styles, of shapes and of morph shapes alike.
class FLineStyleBase {
public:
    FLineStyleBase() = default;
    FLineStyleBase(const FLineStyleBase&) = delete;
    FLineStyleBase& operator=(const FLineStyleBase&) = delete;
    virtual ~FLineStyleBase() = default;
    virtual void Write(FSWFStream& stream) const = 0;
};

// An outline of a width and a colour.
class FLineStyle : public FLineStyleBase {
public:
    FLineStyle(uint16_t width, FColor color) : width(width), color(color) {}  // width in twips
    void Write(FSWFStream& stream) const override;

private:
    uint16_t width;
    FColor color;
};

// ---------------------------------------------------------------------------
// Style arrays: a one-byte count below 255, else 0xFF and a 16-bit count.

// The fill styles of a shape, which its records refer to by index from 1.
class FFillStyleArray {
public:
    FFillStyleArray() = default;
    FFillStyleArray(const FFillStyleArray&) = delete;
    FFillStyleArray& operator=(const FFillStyleArray&) = delete;
    virtual ~FFillStyleArray() = default;

    // Appends the style and returns its index (the count after appending).
    uint32_t Add(std::unique_ptr<FFillStyleBase> fillStyle);
    uint32_t Count() const { return static_cast<uint32_t>(styles.size()); }
    virtual void Write(FSWFStream& stream) const;

private:
    std::vector<std::unique_ptr<FFillStyleBase>> styles;
};

// The line styles of a shape, which its records refer to by index from 1.
class FLineStyleArray {
public:
    // Appends the style and returns its index (the count after appending).
    uint32_t Add(std::unique_ptr<FLineStyleBase> lineStyle);
    uint32_t Count() const { return static_cast<uint32_t>(styles.size()); }
    void Write(FSWFStream& stream) const;

private:
    std::vector<std::unique_ptr<FLineStyleBase>> styles;
};

// ---------------------------------------------------------------------------
// Shape records

// Root of the shape records: style changes, edges and the end record.
class FShapeRecord {
public:
    FShapeRecord() = default;
    FShapeRecord(const FShapeRecord&) = delete;
    FShapeRecord& operator=(const FShapeRecord&) = delete;
    virtual ~FShapeRecord() = default;
    virtual void Write(FSWFStream& stream) const = 0;
    // The bit counts of style indices; only the style-change record uses them.
    virtual void SetFillBits(uint32_t n) = 0;
    virtual void SetLineBits(uint32_t n) = 0;
    // Index bit counts in force for the records after this one: a record that
    // brings new style arrays replaces them; every other record keeps them.
    virtual void UpdateStyleBits(uint32_t& /*fillBits*/, uint32_t& /*lineBits*/) const {}
    // How many edge records Write produces: 0 for the style-change and end
    // records, at least 1 for an edge (more when it has to be split).
    virtual uint32_t EdgeRecordCount() const { return 0; }
};

// Moves the pen and/or selects styles. The flags come in their wire order.
// With `stateNewStyles` the record carries new style arrays (null means an
// empty one); it then aligns the stream, writes both arrays and the index bit
// counts they need, and the records after it use those counts. New styles are
// for DefineShape2 and DefineShape3 only.
class FStyleChangeRecord : public FShapeRecord {
public:
    FStyleChangeRecord(bool stateNewStyles, bool stateLineStyle, bool stateFillStyle1,
                       bool stateFillStyle0, bool stateMoveTo, int32_t moveDeltaX,
                       int32_t moveDeltaY, uint32_t fillStyle0, uint32_t fillStyle1,
                       uint32_t lineStyle, std::unique_ptr<FFillStyleArray> fillStyles = nullptr,
                       std::unique_ptr<FLineStyleArray> lineStyles = nullptr);

    void Write(FSWFStream& stream) const override;
    void SetFillBits(uint32_t n) override { fillBits = n; }
    void SetLineBits(uint32_t n) override { lineBits = n; }
    void UpdateStyleBits(uint32_t& nextFillBits, uint32_t& nextLineBits) const override;

private:
    bool stateNewStyles;
    bool stateLineStyle;
    bool stateFillStyle0;
    bool stateFillStyle1;
    bool stateMoveTo;
    uint32_t moveBits;
    uint32_t fillBits = 0;
    uint32_t lineBits = 0;
    int32_t moveDeltaX;
    int32_t moveDeltaY;
    uint32_t fillStyle0;
    uint32_t fillStyle1;
    uint32_t lineStyle;
    std::unique_ptr<FFillStyleArray> fillStyles;
    std::unique_ptr<FLineStyleArray> lineStyles;
};

// A straight edge from the pen by (dx, dy): general when both deltas are
// non-zero, else vertical (this includes the zero-length edge) or horizontal.
//
// One edge record holds deltas of at most 17 signed bits (65535 twips). A
// longer edge is written as several consecutive records along the same line,
// each within that limit, whose deltas sum to (dx, dy) exactly; an edge that
// fits is written as the single record it always was.
class FStraightEdgeRecord : public FShapeRecord {
public:
    FStraightEdgeRecord(int32_t dx, int32_t dy);

    void Write(FSWFStream& stream) const override;
    void SetFillBits(uint32_t) override {}
    void SetLineBits(uint32_t) override {}

    // How many edge records Write produces (1 unless the edge had to be split).
    uint32_t RecordCount() const { return recordCount; }
    uint32_t EdgeRecordCount() const override { return recordCount; }

private:
    int32_t dx;
    int32_t dy;
    uint32_t recordCount;
};

// A quadratic curve: control point relative to the pen, anchor relative to
// the control point. A curve whose deltas exceed what one record holds (as for
// straight edges) is halved, again and again, into curves that fit and that
// follow it and end exactly on its anchor.
class FCurvedEdgeRecord : public FShapeRecord {
public:
    FCurvedEdgeRecord(int32_t controlDeltaX, int32_t controlDeltaY, int32_t anchorDeltaX,
                      int32_t anchorDeltaY)
        : controlDeltaX(controlDeltaX),
          controlDeltaY(controlDeltaY),
          anchorDeltaX(anchorDeltaX),
          anchorDeltaY(anchorDeltaY) {}

    void Write(FSWFStream& stream) const override;
    void SetFillBits(uint32_t) override {}
    void SetLineBits(uint32_t) override {}
    // 1 unless the curve had to be halved.
    uint32_t EdgeRecordCount() const override;

private:
    int32_t controlDeltaX;
    int32_t controlDeltaY;
    int32_t anchorDeltaX;
    int32_t anchorDeltaY;
};

// Ends the record list and aligns the stream.
class FEndShapeRecord : public FShapeRecord {
public:
    void Write(FSWFStream& stream) const override;
    void SetFillBits(uint32_t) override {}
    void SetLineBits(uint32_t) override {}
};

// ---------------------------------------------------------------------------
// Record containers

// Shape records without style arrays: glyph outlines and morph edges. The
// owner sets the index bit counts; Write stamps them on every record.
class FShape {
public:
    FShape() = default;
    FShape(FShape&&) = default;
    FShape& operator=(FShape&&) = default;
    virtual ~FShape() = default;

    void SetFillBits(uint32_t n) { fillBits = n; }
    void SetLineBits(uint32_t n) { lineBits = n; }
    void AddShapeRecord(std::unique_ptr<FShapeRecord> record);
    size_t RecordCount() const { return records.size(); }
    // The edge records Write produces, split edges counted piece by piece.
    uint32_t EdgeRecordCount() const;
    // Whether the last record is an FEndShapeRecord, which a complete shape needs.
    bool EndsWithEndRecord() const;

    // The two bit counts, then every record. A complete shape ends with an
    // FEndShapeRecord, which aligns the stream.
    virtual void Write(FSWFStream& stream);

private:
    uint32_t fillBits = 0;
    uint32_t lineBits = 0;
    std::vector<std::unique_ptr<FShapeRecord>> records;
};

// The style arrays of a shape and its records. The index bit counts follow
// from the arrays' counts.
class FShapeWithStyle {
public:
    FShapeWithStyle(std::unique_ptr<FFillStyleArray> fillStyles,
                    std::unique_ptr<FLineStyleArray> lineStyles);

    uint32_t FillBits() const { return fillBits; }
    uint32_t LineBits() const { return lineBits; }

    // Stamps the record with the index bit counts in force and appends it.
    void AddShapeRecord(std::unique_ptr<FShapeRecord> record);
    void Write(FSWFStream& stream) const;

private:
    std::unique_ptr<FFillStyleArray> fillStyles;
    std::unique_ptr<FLineStyleArray> lineStyles;
    uint32_t fillBits;
    uint32_t lineBits;
    uint32_t recordFillBits;  // in force for the next record added
    uint32_t recordLineBits;
    std::vector<std::unique_ptr<FShapeRecord>> records;
};

// ---------------------------------------------------------------------------
// Define-shape tags

// What DefineShape, DefineShape2 and DefineShape3 share. A tag first collects
// styles, then, after FinishStyleArrays (once), shape records; it is written
// once it has them.
class FDTDefineShapeBase : public FDT {
public:
    // A fill style made by the caller, added unchanged. Returns its index.
    uint32_t AddFillStyle(std::unique_ptr<FFillStyle> fillStyle);
    // A solid fill; the colour is written RGBA or RGB as the tag kind needs.
    uint32_t AddSolidFillStyle(FColor color);
    // A line `width` twips wide; the colour as for AddSolidFillStyle.
    uint32_t AddLineStyle(uint16_t width, FColor color);
    void FinishStyleArrays();
    // Stamps the record with the shape's index bit counts and appends it.
    void AddShapeRecord(std::unique_ptr<FShapeRecord> record);

    bool StyleArraysFinished() const { return styleArraysFinished; }
    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

protected:
    // `bounds` in twips; takes a fresh character ID.
    FDTDefineShapeBase(FRect bounds, FTagCode tagCode, bool colorsWithAlpha);

private:
    uint16_t characterID;
    FRect bounds;
    std::unique_ptr<FShapeWithStyle> shapeWithStyle;  // null until the arrays are finished
    std::unique_ptr<FFillStyleArray> fillStyles;      // null once the arrays are finished
    std::unique_ptr<FLineStyleArray> lineStyles;
    bool styleArraysFinished = false;
    FTagCode tagCode;
    bool colorsWithAlpha;
};

// DefineShape (2): RGB colours.
class FDTDefineShape : public FDTDefineShapeBase {
public:
    explicit FDTDefineShape(FRect bounds) : FDTDefineShapeBase(bounds, FTagCode::DefineShape, false) {}
};

// DefineShape2 (22): RGB colours; allows new styles inside the records.
class FDTDefineShape2 : public FDTDefineShapeBase {
public:
    explicit FDTDefineShape2(FRect bounds) : FDTDefineShapeBase(bounds, FTagCode::DefineShape2, false) {}
};

// DefineShape3 (32): RGBA colours.
class FDTDefineShape3 : public FDTDefineShapeBase {
public:
    explicit FDTDefineShape3(FRect bounds) : FDTDefineShapeBase(bounds, FTagCode::DefineShape3, true) {}
};
