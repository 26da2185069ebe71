#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>
#include <string>

#include "hf/hfshape.h"
#include "swf/fprimitives.h"

class HFFont;

// A line of static text drawn with a font's glyphs, defined as a DefineText2
// the first time it is added (its font, if not yet defined, just before it)
// and placed at every addition, whatever `defineOnly` says. Its colour is the
// shape's solid-fill colour, opaque white unless set; changing it defines the
// text anew at its next addition.
//
// Each byte of the text is a character code, 0 to 255; a byte without a glyph
// in the font is skipped. A text of more than 127 glyphs is written as several
// glyph records.
class HFText : public HFShape {
public:
    // The font is borrowed and must outlive the text's additions. The bounds
    // run from (0, 0) to (sum of the glyphs' advances, 1024).
    HFText(std::string text, HFFont& font);
    ~HFText() override;

    const std::string& Text() const { return text; }

    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::string text;
    HFFont* font;
};

// A text field the player renders from its own text, defined as a
// DefineEditText each time it is added to a frame and then placed. The fill
// and line settings inherited from HFShape play no part in its output; the
// placement transform does.
//
// The first tag takes the colour and the text over, so the object is added
// once, unless both are given again (SetTextColor, SetText) before the next
// addition; otherwise that addition stops on its assertion.
class HFEditText : public HFShape {
public:
    // The field's rectangle in twips; editable, no word wrap, opaque black
    // text, font height 240.
    HFEditText(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, std::string text);
    ~HFEditText() override;

    void SetEditable(bool flag) { editable = flag; }
    void SetWordWrap(bool flag) { wordWrap = flag; }
    // Twips. Kept, but not written: the field names no font.
    void SetFontHeight(uint16_t twips) { fontHeight = twips; }
    // Written with alpha.
    void SetTextColor(const FColor& color);
    void SetText(std::string text);

    bool Editable() const { return editable; }
    bool WordWrap() const { return wordWrap; }
    uint16_t FontHeight() const { return fontHeight; }

    // The name of the script variable bound to the field: its rectangle
    // (xmin, ymin, xmax, ymax) and its requested depth.
    std::string VariableName() const;

    // Appends a DefineEditText, takes its ID and places the field, whatever
    // `defineOnly` says.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    std::unique_ptr<FColor> textColor;  // until a tag takes it over
    std::unique_ptr<FString> text;      // likewise
    bool editable = true;
    uint16_t fontHeight = 240;
    bool wordWrap = false;
};
