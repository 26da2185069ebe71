#include "hf/hftext.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "hf/hffont.h"
#include "hf/hfmovie.h"
#include "base/fassert.h"
#include "swf/fdttext.h"

namespace {

// The field's layout block: left aligned, no margins or indent, and 2 pixels
// between lines.
constexpr int16_t kEditTextLeading = 40;

// Static text is drawn 1024 twips high, the em square of a DefineFont.
constexpr int32_t kTextHeight = 1024;

// The glyph code of a text byte: its unsigned value, so that bytes above 0x7F
// find the glyphs of codes 128 to 255.
int32_t CharacterCode(char byte)
{
    return static_cast<unsigned char>(byte);
}

int32_t TextWidth(const std::string& text, const HFFont& font)
{
    int64_t width = 0;
    for (char byte : text) {
        const int32_t index = font.GlyphIndex(CharacterCode(byte));
        if (index >= 0) width += font.GlyphAdvance(index);
    }
    return static_cast<int32_t>(std::clamp<int64_t>(width, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

FColor RGBA(const HFColor& color)
{
    return FColor(color.red, color.green, color.blue, color.alpha);
}

}  // namespace

// ---------------------------------------------------------------------------

HFText::HFText(std::string text, HFFont& font)
    : HFShape(0, 0, TextWidth(text, font), kTextHeight), text(std::move(text)), font(&font)
{
}

HFText::~HFText() = default;

void HFText::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    // The font goes first, so that the text never names a font not yet defined.
    font->AddToFrame(frame, movie);
    if (!defined) {
        auto tag = std::make_unique<FDTDefineText2>(bounds, FMatrix(), static_cast<uint32_t>(font->GlyphCount()));
        SetID(tag->ID());
        tag->AddTextRecord(std::make_unique<FTextStyleRecord>(
            /*hasFont*/ true, /*hasColor*/ true, /*hasXOffset*/ false, /*hasYOffset*/ false,
            static_cast<uint16_t>(font->ID()), static_cast<uint16_t>(kTextHeight), RGBA(FillColor()), 0, 0));
        auto glyphs = std::make_unique<FTextGlyphRecord>();
        for (char byte : text) {
            const int32_t index = font->GlyphIndex(CharacterCode(byte));
            if (index < 0) continue;
            glyphs->AddGlyph(static_cast<uint16_t>(index), static_cast<int16_t>(font->GlyphAdvance(index)));
        }
        tag->AddTextRecord(std::move(glyphs));
        frame.Tags().push_back(std::move(tag));
        defined = true;
    }
    Place(frame, movie);
}

// ---------------------------------------------------------------------------

HFEditText::HFEditText(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, std::string text)
    : HFShape(xmin, ymin, xmax, ymax),
      textColor(std::make_unique<FColor>(0, 0, 0, 255)),
      text(std::make_unique<FString>(std::move(text)))
{
}

HFEditText::~HFEditText() = default;

void HFEditText::SetTextColor(const FColor& color)
{
    textColor = std::make_unique<FColor>(color);
}

void HFEditText::SetText(std::string text)
{
    this->text = std::make_unique<FString>(std::move(text));
}

std::string HFEditText::VariableName() const
{
    // Four 32-bit values with signs, a 16-bit depth and the prefix stay well
    // inside the buffer.
    char name[96];
    std::snprintf(name, sizeof name, "TextField_%ld_%ld_%ld_%ld_%d", static_cast<long>(bounds.XMin()),
                  static_cast<long>(bounds.YMin()), static_cast<long>(bounds.XMax()),
                  static_cast<long>(bounds.YMax()), static_cast<int>(Depth()));
    return name;
}

void HFEditText::AddToFrame(HFFrame& frame, HFMovie& movie)
{
    F_ASSERT(textColor && text,
             "textColor && text (an edit text's colour and text went to its first tag; "
             "set both again before adding it again)");

    auto tag = std::make_unique<FDTDefineEditText>(
        bounds, /*hasFont*/ false, /*hasMaxLength*/ false, /*hasTextColor*/ true,
        /*readOnly*/ !editable, /*password*/ false, /*multiline*/ false, wordWrap,
        /*hasText*/ true, /*useOutlines*/ false, /*border*/ true, /*noSelect*/ false,
        /*hasLayout*/ true, /*fontID*/ 0, fontHeight, *textColor, /*maxLength*/ 0,
        FEditTextAlign::Left, /*leftMargin*/ 0, /*rightMargin*/ 0, /*indent*/ 0, kEditTextLeading,
        FString(VariableName()), std::move(*text));
    // The tag holds the colour and the text now.
    textColor.reset();
    text.reset();

    SetID(tag->ID());
    frame.Tags().push_back(std::move(tag));
    defined = true;
    Place(frame, movie);
}
