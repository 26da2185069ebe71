#include "driver/pdf/textbuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "driver/pdf/recordfields.h"

namespace {

constexpr double kEmUnits = 1024;
constexpr long kMaxOffset = 30000;  // within int16, with room for the glyphs' extent

bool SameColor(const FColor& a, const FColor& b)
{
    return a.Red() == b.Red() && a.Green() == b.Green() && a.Blue() == b.Blue() && a.Alpha() == b.Alpha();
}

}  // namespace

StaticTextBuilder::StaticTextBuilder(const Affine& matrix) : matrix(matrix), inverse(matrix.Inverse()) {}

bool StaticTextBuilder::SameMatrix(const Affine& other) const
{
    return Fixed16(other.a) == Fixed16(matrix.a) && Fixed16(other.b) == Fixed16(matrix.b) &&
           Fixed16(other.c) == Fixed16(matrix.c) && Fixed16(other.d) == Fixed16(matrix.d);
}

size_t StaticTextBuilder::GlyphCount() const
{
    size_t count = 0;
    for (const Line& line : lines) count += line.glyphs.size();
    return count;
}

bool StaticTextBuilder::Add(const Glyph& glyph)
{
    if (!started) {
        originX = std::lround(glyph.origin.x);
        originY = std::lround(glyph.origin.y);
        started = true;
    }
    const OutlinePoint p = inverse.Apply({glyph.origin.x - static_cast<double>(originX),
                                          glyph.origin.y - static_cast<double>(originY)});
    if (std::fabs(p.x) > kMaxOffset || std::fabs(p.y) > kMaxOffset) return false;
    const long x = std::lround(p.x), y = std::lround(p.y);
    const bool continues = !lines.empty() && lines.back().fontID == glyph.fontID &&
                           lines.back().height == glyph.height && SameColor(lines.back().color, glyph.color) &&
                           lines.back().y == y && lines.back().glyphs.size() < 255 &&
                           std::labs(x - lines.back().lastX) <= 32767;
    if (continues) {
        lines.back().glyphs.back().second = static_cast<int16_t>(x - lines.back().lastX);
        lines.back().lastX = x;
    } else {
        lines.push_back({glyph.fontID, glyph.height, glyph.color, x, y, x, {}});
    }
    lines.back().glyphs.push_back({glyph.index, 0});
    fontGlyphs = std::max(fontGlyphs, glyph.fontGlyphs);
    if (!glyph.emBounds.empty) {
        const double k = glyph.height / kEmUnits;
        bounds.Add(OutlinePoint{static_cast<double>(x) + glyph.emBounds.xmin * k, static_cast<double>(y) + glyph.emBounds.ymin * k});
        bounds.Add(OutlinePoint{static_cast<double>(x) + glyph.emBounds.xmax * k, static_cast<double>(y) + glyph.emBounds.ymax * k});
    }
    return true;
}

std::unique_ptr<FDTDefineText2> StaticTextBuilder::Build(Bounds& placed) const
{
    Affine m = matrix;
    m.e = static_cast<double>(originX);
    m.f = static_cast<double>(originY);
    const Bounds local = bounds.empty ? Bounds{0, 0, 0, 0, false} : bounds;
    const FRect rect(static_cast<int32_t>(std::floor(local.xmin)), static_cast<int32_t>(std::floor(local.ymin)),
                     static_cast<int32_t>(std::ceil(local.xmax)), static_cast<int32_t>(std::ceil(local.ymax)));
    const bool rotates = Fixed16(m.b) != 0 || Fixed16(m.c) != 0;
    const FMatrix textMatrix(true, Fixed16(m.a), Fixed16(m.d), rotates, Fixed16(m.b), Fixed16(m.c),
                             static_cast<int32_t>(originX), static_cast<int32_t>(originY));
    auto tag = std::make_unique<FDTDefineText2>(rect, textMatrix, fontGlyphs);
    const Line* previous = nullptr;
    for (const Line& line : lines) {
        // Font and height together (the record holds both or neither), the
        // colour where it changes, the pen always.
        const bool font = !previous || previous->fontID != line.fontID || previous->height != line.height;
        const bool color = !previous || !SameColor(previous->color, line.color);
        tag->AddTextRecord(std::make_unique<FTextStyleRecord>(font, color, true, true, line.fontID, line.height,
                                                              line.color, static_cast<int16_t>(line.x),
                                                              static_cast<int16_t>(line.y)));
        auto record = std::make_unique<FTextGlyphRecord>();
        for (const auto& [index, advance] : line.glyphs) record->AddGlyph(index, advance);
        tag->AddTextRecord(std::move(record));
        previous = &line;
    }
    placed = {};
    for (OutlinePoint corner : {OutlinePoint{local.xmin, local.ymin}, OutlinePoint{local.xmax, local.ymin},
                                OutlinePoint{local.xmin, local.ymax}, OutlinePoint{local.xmax, local.ymax}})
        placed.Add(m.Apply(corner));
    return tag;
}
