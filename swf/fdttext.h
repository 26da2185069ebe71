#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "swf/fdt.h"
#include "swf/fprimitives.h"

// The text define tags: static text drawn from a font's glyphs (DefineText,
// DefineText2) and the player-rendered text field (DefineEditText). Records
// handed to a text tag are owned by it.

// ---------------------------------------------------------------------------
// Text records

// One record of a static text: a style change or a run of glyphs.
class FTextRecord {
public:
    FTextRecord() = default;
    FTextRecord(const FTextRecord&) = delete;
    FTextRecord& operator=(const FTextRecord&) = delete;

    // The narrowest advance and glyph-index fields the record fits in.
    virtual uint32_t MinAdvanceBits() const = 0;
    virtual uint32_t MinCodeBits() const = 0;
    virtual ~FTextRecord() = default;
    // `codeBits` and `advanceBits` are the enclosing tag's field widths;
    // `colorsWithAlpha` is set inside DefineText2.
    virtual void Write(FSWFStream& stream, uint32_t codeBits, uint32_t advanceBits,
                       bool colorsWithAlpha) const = 0;
};

// Changes font, colour or pen position for the glyph records after it.
// Offsets and height in twips; the height is written only with the font.
class FTextStyleRecord : public FTextRecord {
public:
    FTextStyleRecord(bool hasFont, bool hasColor, bool hasXOffset, bool hasYOffset,
                     uint16_t fontID, uint16_t height, FColor color, int16_t xOffset,
                     int16_t yOffset);

    uint32_t MinAdvanceBits() const override { return 0; }
    uint32_t MinCodeBits() const override { return 0; }
    void Write(FSWFStream& stream, uint32_t codeBits, uint32_t advanceBits,
               bool colorsWithAlpha) const override;

private:
    bool hasFont;
    bool hasColor;
    bool hasXOffset;
    bool hasYOffset;
    uint16_t fontID;
    uint16_t height;
    FColor color;
    int16_t xOffset;
    int16_t yOffset;
};

// A run of glyphs: for each, its index in the font's glyph list and the
// advance to the next glyph in twips.
//
// One glyph record carries at most 127 entries (a 7-bit count). A longer run
// is written as several glyph records of at most 127 entries, each after an
// empty style record, so that every run starts a record the way players read
// them; a run of up to 127 is the single record it always was. Every glyph
// record ends on a byte boundary, which is where the next record starts.
class FTextGlyphRecord : public FTextRecord {
public:
    static constexpr size_t kMaxEntriesPerRecord = 127;

    FTextGlyphRecord() = default;

    void AddGlyph(uint16_t index, int16_t advance) { glyphs.push_back({index, advance}); }
    size_t GlyphCount() const { return glyphs.size(); }

    // Indices are written unsigned but measured as signed fields, one bit
    // wider than they need; 0 for an empty record.
    uint32_t MinAdvanceBits() const override;
    uint32_t MinCodeBits() const override;
    // Stops on "MinAdvanceBits() <= advanceBits" or "MinCodeBits() <= codeBits"
    // when the tag's widths are too narrow.
    void Write(FSWFStream& stream, uint32_t codeBits, uint32_t advanceBits,
               bool colorsWithAlpha) const override;

private:
    struct Entry {
        uint16_t index;
        int16_t advance;
    };
    std::vector<Entry> glyphs;
};

// ---------------------------------------------------------------------------
// Static text tags

// What DefineText and DefineText2 share: bounds, text matrix and records; the
// glyph-index and advance widths are the widest any record needs.
class FDTDefineTextBase : public FDT {
public:
    void AddTextRecord(std::unique_ptr<FTextRecord> record);
    size_t RecordCount() const { return records.size(); }
    // The glyph count of the font the text is drawn from; kept, not written.
    uint32_t FontGlyphCount() const { return fontGlyphCount; }

    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

protected:
    FDTDefineTextBase(FRect bounds, FMatrix matrix, uint32_t fontGlyphCount, FTagCode tagCode,
                      bool colorsWithAlpha);

private:
    uint16_t characterID;
    FRect bounds;
    FMatrix matrix;
    uint32_t fontGlyphCount;
    FTagCode tagCode;
    bool colorsWithAlpha;
    std::vector<std::unique_ptr<FTextRecord>> records;
};

// DefineText (11): style colours without alpha.
class FDTDefineText : public FDTDefineTextBase {
public:
    FDTDefineText(FRect bounds, FMatrix matrix, uint32_t fontGlyphCount)
        : FDTDefineTextBase(bounds, matrix, fontGlyphCount, FTagCode::DefineText, false) {}
};

// DefineText2 (33): style colours with alpha.
class FDTDefineText2 : public FDTDefineTextBase {
public:
    FDTDefineText2(FRect bounds, FMatrix matrix, uint32_t fontGlyphCount)
        : FDTDefineTextBase(bounds, matrix, fontGlyphCount, FTagCode::DefineText2, true) {}
};

// ---------------------------------------------------------------------------
// Edit text

// Alignment codes of DefineEditText's layout block.
struct FEditTextAlign {
    static constexpr uint8_t Left = 0;
    static constexpr uint8_t Right = 1;
    static constexpr uint8_t Center = 2;
    static constexpr uint8_t Justify = 3;
};

// DefineEditText (37): a text field the player renders from its own text.
// Font ID and height, colour, max length and the layout block are written
// only when their flag is set, the initial text only with has-text; the
// variable name always, terminated (an empty name is a single zero byte).
// Sizes, margins, indent and leading in twips.
class FDTDefineEditText : public FDT {
public:
    FDTDefineEditText(FRect bounds, bool hasFont, bool hasMaxLength, bool hasTextColor,
                      bool readOnly, bool password, bool multiline, bool wordWrap, bool hasText,
                      bool useOutlines, bool border, bool noSelect, bool hasLayout,
                      uint16_t fontID, uint16_t fontHeight, FColor textColor, uint16_t maxLength,
                      uint8_t align, uint16_t leftMargin, uint16_t rightMargin, uint16_t indent,
                      int16_t leading, FString variableName, FString initialText);

    uint16_t ID() const override { return characterID; }
    void Write(FSWFStream& stream) override;

private:
    uint16_t characterID;
    FRect bounds;
    bool hasFont;
    bool hasMaxLength;
    bool hasTextColor;
    bool readOnly;
    bool password;
    bool multiline;
    bool wordWrap;
    bool hasText;
    bool useOutlines;
    bool border;
    bool noSelect;
    bool hasLayout;
    uint16_t fontID;
    uint16_t fontHeight;
    FColor textColor;
    uint16_t maxLength;
    uint8_t align;
    uint16_t leftMargin;
    uint16_t rightMargin;
    uint16_t indent;
    int16_t leading;
    FString variableName;
    FString initialText;
};
