#pragma once

// Reads back what the shape, bitmap and button objects put into a frame: each
// tag is written on its own and parsed field by field, independently of the
// writing code.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "support/swf_reader.h"
#include "swf/fswfstream.h"

namespace shapetest {


// The whole tag as written, header included.
inline std::vector<uint8_t> TagBytes(FTag& tag)
{
    FSWFStream stream;
    tag.Write(stream);
    stream.FlushBits();
    std::vector<uint8_t> bytes(stream.Size());
    stream.WriteToMemory(bytes.data());
    return bytes;
}

inline swftest::Tag ReadTag(FTag& tag)
{
    const std::vector<uint8_t> bytes = TagBytes(tag);
    swftest::Tag read;
    const uint32_t header = swftest::Little(bytes, 0, 2);
    read.code = static_cast<FTagCode>(header >> 6);
    uint32_t length = header & 63;
    size_t at = 2;
    if (length == 63) {
        read.longHeader = true;
        length = swftest::Little(bytes, 2, 4);
        at = 6;
    }
    if (at + length != bytes.size()) throw std::runtime_error("tag length does not match its bytes");
    read.body.assign(bytes.begin() + static_cast<long>(at), bytes.end());
    return read;
}

struct Matrix {
    bool hasScale = false;
    int32_t scaleX = 0, scaleY = 0;
    bool hasRotate = false;
    int32_t rotateSkew0 = 0, rotateSkew1 = 0;
    int32_t translateX = 0, translateY = 0;
};

inline Matrix ReadMatrix(swftest::BitReader& bits)
{
    Matrix m;
    bits.Align();
    m.hasScale = bits.Unsigned(1);
    if (m.hasScale) {
        const uint32_t n = bits.Unsigned(5);
        m.scaleX = bits.Signed(n);
        m.scaleY = bits.Signed(n);
    }
    m.hasRotate = bits.Unsigned(1);
    if (m.hasRotate) {
        const uint32_t n = bits.Unsigned(5);
        m.rotateSkew0 = bits.Signed(n);
        m.rotateSkew1 = bits.Signed(n);
    }
    const uint32_t n = bits.Unsigned(5);
    m.translateX = bits.Signed(n);
    m.translateY = bits.Signed(n);
    bits.Align();
    return m;
}

struct RGBA {
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const RGBA&) const = default;
};

struct FillStyle {
    uint32_t type = 0;  // 0x00 solid, 0x10 linear, 0x12 radial, 0x40/0x41 bitmap
    RGBA color;
    Matrix matrix;
    std::vector<uint32_t> ratios;
    std::vector<RGBA> stops;
    uint32_t bitmapID = 0;
};

struct LineStyle {
    uint32_t width = 0;
    RGBA color;
};

struct Record {
    enum Kind { kStyleChange, kStraight, kCurved, kEnd } kind = kEnd;
    bool newStyles = false, lineStyleFlag = false, fill1Flag = false, fill0Flag = false, moveTo = false;
    std::vector<FillStyle> newFills;  // with newStyles: the arrays the record brings
    std::vector<LineStyle> newLines;
    int32_t moveX = 0, moveY = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    int32_t dx = 0, dy = 0;                // straight edge, or the curve's anchor
    int32_t controlDX = 0, controlDY = 0;  // curve
};

struct Shape {
    uint32_t id = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    uint32_t fillBits = 0, lineBits = 0;
    std::vector<Record> records;

    std::vector<Record> Edges() const
    {
        std::vector<Record> edges;
        for (const Record& r : records)
            if (r.kind == Record::kStraight || r.kind == Record::kCurved) edges.push_back(r);
        return edges;
    }
};

inline RGBA ReadRGBA(swftest::BitReader& bits)
{
    RGBA c;
    c.red = bits.Unsigned(8);
    c.green = bits.Unsigned(8);
    c.blue = bits.Unsigned(8);
    c.alpha = bits.Unsigned(8);
    return c;
}

inline uint32_t ReadCount(swftest::BitReader& bits)
{
    uint32_t count = bits.Unsigned(8);
    if (count == 0xFF) count = bits.Unsigned(8) | (bits.Unsigned(8) << 8);
    return count;
}

// The fill and line style arrays of a DefineShape3 (RGBA colours).
inline void ReadStyleArrays(swftest::BitReader& bits, std::vector<FillStyle>& fills, std::vector<LineStyle>& lines)
{
    for (uint32_t n = ReadCount(bits); n > 0; --n) {
        FillStyle fill;
        fill.type = bits.Unsigned(8);
        if (fill.type == 0x00) {
            fill.color = ReadRGBA(bits);
        } else if (fill.type == 0x10 || fill.type == 0x12) {
            fill.matrix = ReadMatrix(bits);
            for (uint32_t g = bits.Unsigned(8); g > 0; --g) {
                fill.ratios.push_back(bits.Unsigned(8));
                fill.stops.push_back(ReadRGBA(bits));
            }
        } else if (fill.type == 0x40 || fill.type == 0x41) {
            fill.bitmapID = bits.Unsigned(8) | (bits.Unsigned(8) << 8);
            fill.matrix = ReadMatrix(bits);
        } else {
            throw std::runtime_error("unknown fill style type");
        }
        fills.push_back(fill);
    }
    for (uint32_t n = ReadCount(bits); n > 0; --n) {
        LineStyle line;
        line.width = bits.Unsigned(8) | (bits.Unsigned(8) << 8);
        line.color = ReadRGBA(bits);
        lines.push_back(line);
    }
}

// A DefineShape3 body (RGBA colours).
inline Shape ReadShape3(const std::vector<uint8_t>& body)
{
    Shape shape;
    shape.id = swftest::Little(body, 0, 2);
    swftest::BitReader bits(body, 2);
    const uint32_t rectBits = bits.Unsigned(5);
    shape.xmin = bits.Signed(rectBits);
    shape.xmax = bits.Signed(rectBits);
    shape.ymin = bits.Signed(rectBits);
    shape.ymax = bits.Signed(rectBits);
    bits.Align();
    ReadStyleArrays(bits, shape.fills, shape.lines);

    shape.fillBits = bits.Unsigned(4);
    shape.lineBits = bits.Unsigned(4);
    uint32_t fillBits = shape.fillBits, lineBits = shape.lineBits;
    for (;;) {
        Record r;
        if (bits.Unsigned(1) == 0) {
            r.newStyles = bits.Unsigned(1);
            r.lineStyleFlag = bits.Unsigned(1);
            r.fill1Flag = bits.Unsigned(1);
            r.fill0Flag = bits.Unsigned(1);
            r.moveTo = bits.Unsigned(1);
            if (!r.newStyles && !r.lineStyleFlag && !r.fill1Flag && !r.fill0Flag && !r.moveTo) {
                shape.records.push_back(r);  // the end record
                break;
            }
            r.kind = Record::kStyleChange;
            if (r.moveTo) {
                const uint32_t n = bits.Unsigned(5);
                r.moveX = bits.Signed(n);
                r.moveY = bits.Signed(n);
            }
            // Indices in the widths in force before any arrays the record brings.
            if (r.fill0Flag) r.fill0 = bits.Unsigned(fillBits);
            if (r.fill1Flag) r.fill1 = bits.Unsigned(fillBits);
            if (r.lineStyleFlag) r.line = bits.Unsigned(lineBits);
            if (r.newStyles) {
                bits.Align();
                ReadStyleArrays(bits, r.newFills, r.newLines);
                fillBits = bits.Unsigned(4);
                lineBits = bits.Unsigned(4);
            }
        } else if (bits.Unsigned(1) == 1) {
            r.kind = Record::kStraight;
            const uint32_t n = bits.Unsigned(4) + 2;
            if (bits.Unsigned(1)) {
                r.dx = bits.Signed(n);
                r.dy = bits.Signed(n);
            } else if (bits.Unsigned(1)) {
                r.dy = bits.Signed(n);
            } else {
                r.dx = bits.Signed(n);
            }
        } else {
            r.kind = Record::kCurved;
            const uint32_t n = bits.Unsigned(4) + 2;
            r.controlDX = bits.Signed(n);
            r.controlDY = bits.Signed(n);
            r.dx = bits.Signed(n);
            r.dy = bits.Signed(n);
        }
        shape.records.push_back(r);
    }
    if (bits.ByteOffset() != body.size()) throw std::runtime_error("bytes after the shape records");
    return shape;
}

// The matrix of a PlaceObject2 body, whose flags byte says it has one.
inline Matrix PlacementMatrix(const std::vector<uint8_t>& body)
{
    if ((body.at(0) & 0x04) == 0) throw std::runtime_error("placement without a matrix");
    const size_t at = (body[0] & 0x02) ? 5 : 3;  // flags, depth, character ID
    swftest::BitReader bits(body, at);
    return ReadMatrix(bits);
}

}  // namespace shapetest
