#include "swf/fdttext.h"

#include <algorithm>

#include "base/fassert.h"

namespace {
// The width of a signed field that holds `value`.
uint32_t SignedBits(int32_t value)
{
    // A negative value of n bits has n - 1 magnitude bits in its complement.
    return value >= 0 ? BitsNeeded(static_cast<uint32_t>(value), 1)
                      : BitsNeeded(static_cast<uint32_t>(~value), 1);
}

// A style record's type bit and its four flags, all clear: a record that
// changes nothing.
constexpr uint32_t kEmptyStyleRecord = 0x80;
}  // namespace

// ---------------------------------------------------------------------------

FTextStyleRecord::FTextStyleRecord(bool hasFont, bool hasColor, bool hasXOffset, bool hasYOffset,
                                   uint16_t fontID, uint16_t height, FColor color,
                                   int16_t xOffset, int16_t yOffset)
    : hasFont(hasFont),
      hasColor(hasColor),
      hasXOffset(hasXOffset),
      hasYOffset(hasYOffset),
      fontID(fontID),
      height(height),
      color(color),
      xOffset(xOffset),
      yOffset(yOffset) {}

void FTextStyleRecord::Write(FSWFStream& stream, uint32_t /*codeBits*/, uint32_t /*advanceBits*/,
                             bool colorsWithAlpha) const
{
    stream.WriteBits(1, 1);  // style record
    stream.WriteBits(0, 3);  // reserved
    stream.WriteBits(hasFont ? 1 : 0, 1);
    stream.WriteBits(hasColor ? 1 : 0, 1);
    stream.WriteBits(hasYOffset ? 1 : 0, 1);
    stream.WriteBits(hasXOffset ? 1 : 0, 1);
    if (hasFont) stream.WriteWord(fontID);
    if (hasColor) {
        FColor written = color;
        written.SetHasAlpha(colorsWithAlpha);
        written.Write(stream);
    }
    if (hasXOffset) stream.WriteWord(static_cast<uint16_t>(xOffset));
    if (hasYOffset) stream.WriteWord(static_cast<uint16_t>(yOffset));
    if (hasFont) stream.WriteWord(height);
}

// ---------------------------------------------------------------------------

uint32_t FTextGlyphRecord::MinAdvanceBits() const
{
    uint32_t bits = 0;
    for (const Entry& entry : glyphs) bits = std::max(bits, SignedBits(entry.advance));
    return bits;
}

uint32_t FTextGlyphRecord::MinCodeBits() const
{
    uint32_t bits = 0;
    for (const Entry& entry : glyphs) bits = std::max(bits, BitsNeeded(entry.index, 1));
    return bits;
}

void FTextGlyphRecord::Write(FSWFStream& stream, uint32_t codeBits, uint32_t advanceBits,
                             bool /*colorsWithAlpha*/) const
{
    F_ASSERT(MinAdvanceBits() <= advanceBits, "MinAdvanceBits() <= advanceBits");
    F_ASSERT(MinCodeBits() <= codeBits, "MinCodeBits() <= codeBits");

    size_t first = 0;
    do {
        const size_t count = std::min(kMaxEntriesPerRecord, glyphs.size() - first);
        if (first > 0) stream.WriteByte(kEmptyStyleRecord);
        stream.WriteBits(0, 1);  // glyph record
        stream.WriteBits(static_cast<uint32_t>(count), 7);
        for (size_t i = first; i < first + count; ++i) {
            stream.WriteBits(glyphs[i].index, codeBits);
            stream.WriteBits(static_cast<uint32_t>(int32_t{glyphs[i].advance}), advanceBits);
        }
        stream.FlushBits();
        first += count;
    } while (first < glyphs.size());
}

// ---------------------------------------------------------------------------

FDTDefineTextBase::FDTDefineTextBase(FRect bounds, FMatrix matrix, uint32_t fontGlyphCount,
                                     FTagCode tagCode, bool colorsWithAlpha)
    : characterID(DrawCharacterID()),
      bounds(bounds),
      matrix(matrix),
      fontGlyphCount(fontGlyphCount),
      tagCode(tagCode),
      colorsWithAlpha(colorsWithAlpha) {}

void FDTDefineTextBase::AddTextRecord(std::unique_ptr<FTextRecord> record)
{
    F_ASSERT(record, "record");
    records.push_back(std::move(record));
}

void FDTDefineTextBase::Write(FSWFStream& stream)
{
    uint32_t codeBits = 0;
    uint32_t advanceBits = 0;
    for (const std::unique_ptr<FTextRecord>& record : records) {
        codeBits = std::max(codeBits, record->MinCodeBits());
        advanceBits = std::max(advanceBits, record->MinAdvanceBits());
    }

    FSWFStream body;
    body.WriteWord(characterID);
    bounds.Write(body);
    matrix.Write(body);
    body.WriteByte(codeBits);
    body.WriteByte(advanceBits);
    for (const std::unique_ptr<FTextRecord>& record : records)
        record->Write(body, codeBits, advanceBits, colorsWithAlpha);
    body.FlushBits();
    body.WriteByte(0);  // end of records
    stream.AppendTag(tagCode, body.Size(), &body);
}

// ---------------------------------------------------------------------------

FDTDefineEditText::FDTDefineEditText(FRect bounds, bool hasFont, bool hasMaxLength,
                                     bool hasTextColor, bool readOnly, bool password,
                                     bool multiline, bool wordWrap, bool hasText,
                                     bool useOutlines, bool border, bool noSelect, bool hasLayout,
                                     uint16_t fontID, uint16_t fontHeight, FColor textColor,
                                     uint16_t maxLength, uint8_t align, uint16_t leftMargin,
                                     uint16_t rightMargin, uint16_t indent, int16_t leading,
                                     FString variableName, FString initialText)
    : characterID(DrawCharacterID()),
      bounds(bounds),
      hasFont(hasFont),
      hasMaxLength(hasMaxLength),
      hasTextColor(hasTextColor),
      readOnly(readOnly),
      password(password),
      multiline(multiline),
      wordWrap(wordWrap),
      hasText(hasText),
      useOutlines(useOutlines),
      border(border),
      noSelect(noSelect),
      hasLayout(hasLayout),
      fontID(fontID),
      fontHeight(fontHeight),
      textColor(textColor),
      maxLength(maxLength),
      align(align),
      leftMargin(leftMargin),
      rightMargin(rightMargin),
      indent(indent),
      leading(leading),
      variableName(std::move(variableName)),
      initialText(std::move(initialText))
{
    this->textColor.SetHasAlpha(true);  // the field's colour is always RGBA
}

void FDTDefineEditText::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    bounds.Write(body);

    body.WriteBits(hasText ? 1 : 0, 1);
    body.WriteBits(wordWrap ? 1 : 0, 1);
    body.WriteBits(multiline ? 1 : 0, 1);
    body.WriteBits(password ? 1 : 0, 1);
    body.WriteBits(readOnly ? 1 : 0, 1);
    body.WriteBits(hasTextColor ? 1 : 0, 1);
    body.WriteBits(hasMaxLength ? 1 : 0, 1);
    body.WriteBits(hasFont ? 1 : 0, 1);

    body.WriteBits(0, 2);  // reserved
    body.WriteBits(hasLayout ? 1 : 0, 1);
    body.WriteBits(noSelect ? 1 : 0, 1);
    body.WriteBits(border ? 1 : 0, 1);
    body.WriteBits(0, 2);  // reserved
    body.WriteBits(useOutlines ? 1 : 0, 1);

    if (hasFont) {
        body.WriteWord(fontID);
        body.WriteWord(fontHeight);
    }
    if (hasTextColor) textColor.Write(body);
    if (hasMaxLength) body.WriteWord(maxLength);
    if (hasLayout) {
        body.WriteByte(align);
        body.WriteWord(leftMargin);
        body.WriteWord(rightMargin);
        body.WriteWord(indent);
        body.WriteWord(static_cast<uint16_t>(leading));
    }
    variableName.Write(body, true);
    if (hasText) initialText.Write(body, true);
    stream.AppendTag(FTagCode::DefineEditText, body.Size(), &body);
}
