#include "swf/fdtfonts.h"

#include <algorithm>

#include "base/fassert.h"

namespace {
// Glyph outlines are filled with the font's one fill style and never stroked.
constexpr uint32_t kGlyphFillBits = 1;
constexpr uint32_t kGlyphLineBits = 0;

void StampGlyphStyleBits(FShape& shape)
{
    shape.SetFillBits(kGlyphFillBits);
    shape.SetLineBits(kGlyphLineBits);
}

// The name's length goes into one byte.
FString FontName(std::string name)
{
    FString fontName(std::move(name));
    F_ASSERT(fontName.Length() <= 255, "fontName.Length() <= 255");
    return fontName;
}

void WriteFontName(FSWFStream& body, const FString& fontName)
{
    body.WriteByte(static_cast<uint32_t>(fontName.Length()));
    fontName.Write(body, false);
}

void WriteCode(FSWFStream& body, uint16_t code, bool wideCodes)
{
    if (wideCodes) {
        body.WriteWord(code);
    } else {
        body.WriteByte(code);
    }
}

// Serialises the glyph shapes one after another into `glyphStream`; `starts`
// receives the position of each glyph there.
void WriteGlyphShapes(const std::vector<FShape*>& shapes, FSWFStream& glyphStream,
                      std::vector<uint32_t>& starts)
{
    for (FShape* shape : shapes) {
        starts.push_back(glyphStream.Size());
        shape->Write(glyphStream);
        // A complete shape ends aligned; an unfinished one must not shift the
        // offsets of the glyphs after it.
        glyphStream.FlushBits();
    }
}
}  // namespace

// ---------------------------------------------------------------------------

void FKerningRecord::Write(FSWFStream& stream) const
{
    WriteCode(stream, code1, wideCodes);
    WriteCode(stream, code2, wideCodes);
    stream.WriteWord(static_cast<uint16_t>(adjustment));
}

// ---------------------------------------------------------------------------

FDTDefineFont::FDTDefineFont() : characterID(DrawCharacterID()) {}

void FDTDefineFont::AddShapeGlyph(std::unique_ptr<FShape> shape)
{
    F_ASSERT(shape, "shape");
    StampGlyphStyleBits(*shape);
    glyphList.push_back(std::move(shape));
}

void FDTDefineFont::Write(FSWFStream& stream)
{
    // Readers take the glyph count from the first offset: without one the tag
    // has no count at all.
    F_ASSERT(!glyphList.empty(), "!glyphList.empty() (a DefineFont needs at least one glyph)");
    std::vector<FShape*> shapes;
    for (const std::unique_ptr<FShape>& glyph : glyphList) shapes.push_back(glyph.get());
    FSWFStream glyphStream;
    std::vector<uint32_t> starts;
    WriteGlyphShapes(shapes, glyphStream, starts);

    FSWFStream body;
    body.WriteWord(characterID);
    // Offsets count from the start of the offset table, which the shapes follow.
    const uint64_t tableSize = 2 * uint64_t{glyphList.size()};
    for (uint32_t start : starts) {
        const uint64_t offset = tableSize + start;
        F_ASSERT(offset <= 0xFFFF, "offset <= 0xFFFF");
        body.WriteWord(static_cast<uint32_t>(offset));
    }
    body.Append(glyphStream);
    stream.AppendTag(FTagCode::DefineFont, body.Size(), &body);
}

// ---------------------------------------------------------------------------

FDTDefineFont2::FDTDefineFont2(std::string fontName, uint16_t encoding, bool italic, bool bold)
    : FDTDefineFont2(std::move(fontName), encoding, italic, bold, 0, 0, 0) {}

FDTDefineFont2::FDTDefineFont2(std::string fontName, uint16_t encoding, bool italic, bool bold,
                               int16_t ascent, int16_t descent, int16_t leading)
    : characterID(DrawCharacterID()),
      encoding(encoding),
      italic(italic),
      bold(bold),
      fontName(FontName(std::move(fontName))),
      ascent(ascent),
      descent(descent),
      leading(leading) {}

void FDTDefineFont2::AddGlyph(std::unique_ptr<FShape> shape, uint16_t code, int16_t advance,
                              FRect bounds)
{
    F_ASSERT(shape, "shape");
    // The glyph count is a 16-bit field.
    F_ASSERT(glyphList.size() < 0xFFFF, "glyphList.size() < 0xFFFF");
    StampGlyphStyleBits(*shape);
    glyphList.push_back(Glyph{std::move(shape), code, advance, bounds});
}

void FDTDefineFont2::AddKerningRecord(std::unique_ptr<FKerningRecord> record)
{
    F_ASSERT(record, "record");
    if (!hasLayout) return;
    // The kerning count is a 16-bit field.
    F_ASSERT(kerningList.size() < 0xFFFF, "kerningList.size() < 0xFFFF");
    kerningList.push_back(std::move(record));
}

uint32_t FDTDefineFont2::GlyphBits() const
{
    if (glyphList.empty()) return 0;
    return BitsNeeded(static_cast<uint32_t>(glyphList.size() - 1), 0);
}

bool FDTDefineFont2::WideCodes() const
{
    const bool wideGlyph = std::any_of(glyphList.begin(), glyphList.end(),
                                       [](const Glyph& glyph) { return glyph.code > 0xFF; });
    const bool wideKerning = std::any_of(
        kerningList.begin(), kerningList.end(), [](const std::unique_ptr<FKerningRecord>& record) {
            return record->Code1() > 0xFF || record->Code2() > 0xFF;
        });
    return wideGlyph || wideKerning;
}

void FDTDefineFont2::Write(FSWFStream& stream)
{
    std::vector<FShape*> shapes;
    for (const Glyph& glyph : glyphList) shapes.push_back(glyph.shape.get());
    FSWFStream glyphStream;
    std::vector<uint32_t> starts;
    WriteGlyphShapes(shapes, glyphStream, starts);

    // The offset table holds one offset per glyph and the code-table offset.
    // 16-bit entries unless the last of them, the code table's, needs more.
    const uint64_t count = glyphList.size();
    const bool hasOffsetTable = count > 0;
    const uint64_t narrowTableSize = hasOffsetTable ? 2 * (count + 1) : 0;
    const bool wideOffsets = narrowTableSize + glyphStream.Size() > 0xFFFF;
    const uint64_t tableSize = wideOffsets ? 4 * (count + 1) : narrowTableSize;
    const uint64_t codeTableOffset = tableSize + glyphStream.Size();
    F_ASSERT(codeTableOffset <= 0xFFFFFFFFu, "codeTableOffset <= 0xFFFFFFFF");
    const bool wideCodes = WideCodes();

    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteBits(hasLayout ? 1 : 0, 1);
    body.WriteBits(encoding == FFontEncoding::ShiftJIS ? 1 : 0, 1);
    body.WriteBits(encoding == FFontEncoding::Unicode ? 1 : 0, 1);
    body.WriteBits(encoding == FFontEncoding::ANSI ? 1 : 0, 1);
    body.WriteBits(wideOffsets ? 1 : 0, 1);
    body.WriteBits(wideCodes ? 1 : 0, 1);
    body.WriteBits(italic ? 1 : 0, 1);
    body.WriteBits(bold ? 1 : 0, 1);
    body.WriteByte(0);  // reserved
    WriteFontName(body, fontName);
    body.WriteWord(static_cast<uint32_t>(count));

    auto writeOffset = [&](uint64_t offset) {
        if (wideOffsets) {
            body.WriteDWord(static_cast<uint32_t>(offset));
        } else {
            body.WriteWord(static_cast<uint32_t>(offset));
        }
    };
    if (hasOffsetTable) {
        for (uint32_t start : starts) writeOffset(tableSize + start);
        writeOffset(codeTableOffset);
    }
    body.Append(glyphStream);
    for (const Glyph& glyph : glyphList) WriteCode(body, glyph.code, wideCodes);

    if (hasLayout) {
        body.WriteWord(static_cast<uint16_t>(ascent));
        body.WriteWord(static_cast<uint16_t>(descent));
        body.WriteWord(static_cast<uint16_t>(leading));
        for (const Glyph& glyph : glyphList) body.WriteWord(static_cast<uint16_t>(glyph.advance));
        for (const Glyph& glyph : glyphList) glyph.bounds.Write(body);
        body.WriteWord(static_cast<uint32_t>(kerningList.size()));
        for (const std::unique_ptr<FKerningRecord>& record : kerningList) {
            // Kerning codes take the width of the font's code table.
            record->SetWideCodes(wideCodes ? 1 : 0);
            record->Write(body);
        }
    }
    stream.AppendTag(FTagCode::DefineFont2, body.Size(), &body);
}

// ---------------------------------------------------------------------------

FDTDefineFontInfo::FDTDefineFontInfo(std::string fontName, uint16_t fontID, uint16_t encoding,
                                     bool italic, bool bold)
    : characterID(DrawCharacterID()),
      fontID(fontID),
      fontName(FontName(std::move(fontName))),
      encoding(encoding),
      italic(italic),
      bold(bold) {}

void FDTDefineFontInfo::Write(FSWFStream& stream)
{
    const bool wideCodes =
        std::any_of(codeList.begin(), codeList.end(), [](uint16_t code) { return code > 0xFF; });

    FSWFStream body;
    body.WriteWord(fontID);
    WriteFontName(body, fontName);
    body.WriteBits(0, 2);  // reserved
    body.WriteBits(encoding == FFontEncoding::Unicode ? 1 : 0, 1);
    body.WriteBits(encoding == FFontEncoding::ShiftJIS ? 1 : 0, 1);
    body.WriteBits(encoding == FFontEncoding::ANSI ? 1 : 0, 1);
    body.WriteBits(italic ? 1 : 0, 1);
    body.WriteBits(bold ? 1 : 0, 1);
    body.WriteBits(wideCodes ? 1 : 0, 1);
    for (uint16_t code : codeList) WriteCode(body, code, wideCodes);
    stream.AppendTag(FTagCode::DefineFontInfo, body.Size(), &body);
}
