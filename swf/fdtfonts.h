#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/fdt.h"
#include "swf/fdtshapes.h"
#include "swf/fprimitives.h"

// The font define tags and the kerning record. A glyph is an FShape drawn with
// fill style 1 and no line style; static text refers to a glyph by its index
// in the font's glyph list. Glyph shapes and kerning records handed to a font
// are owned by it.

// The character encodings of DefineFont2 and DefineFontInfo. Any other value
// sets none of the three encoding bits.
struct FFontEncoding {
    static constexpr uint16_t ShiftJIS = 1;
    static constexpr uint16_t Unicode = 2;
    static constexpr uint16_t ANSI = 3;
};

// One kerning pair: the advance between `code1` and `code2` changes by
// `adjustment` twips. The codes go out as single bytes unless wide codes are
// set; a font decides that width for all its records when it is written.
class FKerningRecord {
public:
    FKerningRecord(uint16_t code1, uint16_t code2, int16_t adjustment)
        : code1(code1), code2(code2), adjustment(adjustment) {}

    // Any non-zero value sets the flag.
    void SetWideCodes(uint16_t flag) { wideCodes = flag != 0; }
    bool WideCodes() const { return wideCodes; }
    uint16_t Code1() const { return code1; }
    uint16_t Code2() const { return code2; }

    void Write(FSWFStream& stream) const;

private:
    bool wideCodes = false;
    uint16_t code1;
    uint16_t code2;
    int16_t adjustment;
};

// DefineFont (10): glyph outlines only; codes and metrics live elsewhere
// (DefineFontInfo). Offsets are 16-bit, so the glyph shapes of one font must
// stay below 64 KiB; a larger font stops on "offset <= 0xFFFF". Readers find
// the glyph count from the first offset, so a font is written with at least
// one glyph; an empty one stops on "!glyphList.empty() (a DefineFont needs at
// least one glyph)".
class FDTDefineFont : public FDT {
public:
    FDTDefineFont();

    // Stamps fill bits 1 and line bits 0 on the shape and appends it.
    void AddShapeGlyph(std::unique_ptr<FShape> shape);
    size_t GlyphCount() const { return glyphList.size(); }

    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    std::vector<std::unique_ptr<FShape>> glyphList;
};

// DefineFont2 (48): outlines with their character codes and, since both
// constructors set has-layout, ascent, descent, leading, per-glyph advances
// and bounds, and the kerning pairs.
//
// The body follows the published layout: the glyph offsets are followed by
// the code-table offset, so the first glyph of a font of n glyphs lies at 2n + 2.
// A font without glyphs writes neither offsets nor code-table offset. Offsets
// and the code-table offset widen to 32 bits (wide-offsets flag) only when the
// glyph shapes need it, and codes to 16 bits (wide-codes flag, kerning codes
// too) only when a glyph or kerning code is above 255.
class FDTDefineFont2 : public FDT {
public:
    // Ascent, descent and leading 0. `fontName` is at most 255 bytes.
    FDTDefineFont2(std::string fontName, uint16_t encoding, bool italic, bool bold);
    FDTDefineFont2(std::string fontName, uint16_t encoding, bool italic, bool bold, int16_t ascent,
                   int16_t descent, int16_t leading);

    // Stamps fill bits 1 and line bits 0 on the shape and appends the glyph;
    // `advance` and `bounds` in twips.
    void AddGlyph(std::unique_ptr<FShape> shape, uint16_t code, int16_t advance, FRect bounds);
    // Kept only with has-layout, which both constructors set.
    void AddKerningRecord(std::unique_ptr<FKerningRecord> record);

    // The width a glyph index of this font needs (0 for fewer than two glyphs).
    uint32_t GlyphBits() const;
    size_t GlyphCount() const { return glyphList.size(); }

    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

private:
    struct Glyph {
        std::unique_ptr<FShape> shape;
        uint16_t code;
        int16_t advance;
        FRect bounds;
    };

    bool WideCodes() const;

    uint16_t characterID;
    bool hasLayout = true;
    uint16_t encoding;
    bool italic;
    bool bold;
    FString fontName;
    int16_t ascent = 0;
    int16_t descent = 0;
    int16_t leading = 0;
    std::vector<Glyph> glyphList;
    std::vector<std::unique_ptr<FKerningRecord>> kerningList;
};

// DefineFontInfo (13): name, style and the character code of every glyph of
// the DefineFont `fontID`, in glyph order. It draws a character ID like every
// define tag but writes the font's ID instead. Codes go out as bytes, or all as
// 16-bit words (wide-codes flag) when one of them is above 255.
class FDTDefineFontInfo : public FDT {
public:
    // `fontName` is at most 255 bytes.
    FDTDefineFontInfo(std::string fontName, uint16_t fontID, uint16_t encoding, bool italic,
                      bool bold);

    void AddCode(uint16_t code) { codeList.push_back(code); }

    uint16_t ID() const override { return characterID; }
    uint16_t FontID() const { return fontID; }
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    uint16_t fontID;
    FString fontName;
    uint16_t encoding;
    bool italic;
    bool bold;
    std::vector<uint16_t> codeList;
};
