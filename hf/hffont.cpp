#include "hf/hffont.h"

#include <utility>

#include "hf/hfmovie.h"
#include "hf/hfpolygon.h"
#include "base/fassert.h"

HFFont::HFFont(std::string name) : name(std::move(name)), fontTag(std::make_unique<FDTDefineFont>())
{
    SetID(fontTag->ID());
}

HFFont::~HFFont() = default;

void HFFont::AddGlyph(const HFPolygon& polygon, int32_t code, int32_t advance)
{
    F_ASSERT(!defined, "!defined (a font's glyphs are added before it is first added to a frame)");
    F_ASSERT(advance >= -32768 && advance <= 32767, "advance >= -32768 && advance <= 32767");
    glyphList.push_back({polygon.Outline(), code, advance});
}

int32_t HFFont::GlyphIndex(int32_t code) const
{
    for (size_t i = 0; i < glyphList.size(); ++i) {
        if (glyphList[i].code != code) continue;
        // The position goes out as a signed 32-bit value.
        const auto position = static_cast<int32_t>(i);
        F_ASSERT(static_cast<size_t>(position) < glyphList.size(), "code < glyphList.size()");
        F_ASSERT(position >= 0, "code >= 0");
        return position;
    }
    return -1;
}

int32_t HFFont::GlyphAdvance(int32_t glyphCode) const
{
    F_ASSERT(glyphCode >= 0, "glyphCode >= 0");
    F_ASSERT(static_cast<size_t>(glyphCode) < glyphList.size(), "glyphCode < glyphList.size()");
    return glyphList[static_cast<size_t>(glyphCode)].advance;
}

void HFFont::AddToFrame(HFFrame& frame, HFMovie& /*movie*/)
{
    if (defined) return;
    // Checked here rather than when the movie is written, so that the report
    // points at the addition.
    F_ASSERT(!glyphList.empty(), "!glyphList.empty() (a font needs a glyph before it is added to a frame)");
    for (Glyph& glyph : glyphList) fontTag->AddShapeGlyph(std::move(glyph.outline));
    frame.Tags().push_back(std::move(fontTag));
    defined = true;
}
