#pragma once

#include "base/fversion.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfobject.h"
#include "swf/fdtfonts.h"
#include "swf/fdtshapes.h"

class HFPolygon;

// A font: glyph outlines with their character codes and advances, defined as
// one DefineFont the first time it is added to a frame. A font is never placed
// on the stage. Its character ID is fixed when it is built, so texts can name
// it before it is defined.
//
// All glyphs are added before the first addition to a frame, which needs at
// least one: a glyph added later would never reach the movie, and a text
// would point past the font's end.
class HFFont : public HFObject {
public:
    // The name is kept, not written: DefineFont carries outlines only.
    explicit HFFont(std::string name);
    ~HFFont() override;

    // The polygon's outline as the next glyph; `advance` in twips, at most
    // 32767 in either direction (a text's glyph record holds 16 bits).
    void AddGlyph(const HFPolygon& polygon, int32_t code, int32_t advance);
    // The position of the first glyph with this code, or -1.
    int32_t GlyphIndex(int32_t code) const;
    // The advance of the glyph at that position.
    int32_t GlyphAdvance(int32_t glyphCode) const;
    size_t GlyphCount() const { return glyphList.size(); }
    const std::string& Name() const { return name; }

    // First time only: the DefineFont, taking every outline over.
    void AddToFrame(HFFrame& frame, HFMovie& movie) override;

private:
    struct Glyph {
        std::unique_ptr<FShape> outline;  // until the font tag takes it over
        int32_t code;
        int32_t advance;
    };

    std::vector<Glyph> glyphList;
    std::string name;
    std::unique_ptr<FDTDefineFont> fontTag;  // until a frame takes it over
};
