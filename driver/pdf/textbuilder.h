#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "driver/pdf/curvefit.h"
#include "swf/fdttext.h"

// Static text built glyph by glyph: every glyph placed at its own position
// in twips (rounded on its own, so that nothing accumulates along a line),
// runs of one font, size and colour on one baseline gathered into records,
// and as many runs as share the text's matrix kept in one DefineText2.
class StaticTextBuilder {
public:
    // `matrix`: the text's rotation, skew and scale (no translation), the
    // same for every glyph it takes; text space is in twips before it.
    explicit StaticTextBuilder(const Affine& matrix);

    struct Glyph {
        uint16_t fontID = 0;
        uint16_t index = 0;
        uint32_t fontGlyphs = 0;  // the font's glyph count
        Bounds emBounds;          // the outline in the 1024-unit em square
        uint16_t height = 0;      // the em in twips
        FColor color{0, 0, 0, 255};
        OutlinePoint origin;      // twips, in the sprite's space
    };

    // Whether `matrix` is this text's (to within what 16.16 fixed point keeps).
    bool SameMatrix(const Affine& matrix) const;
    // Adds the glyph; false (and nothing added) when it lies too far from
    // the text's first glyph for the 16-bit offsets: the caller starts
    // another text.
    bool Add(const Glyph& glyph);
    bool Empty() const { return lines.empty(); }
    size_t GlyphCount() const;

    // The DefineText2 and its bounds in the sprite's twips.
    std::unique_ptr<FDTDefineText2> Build(Bounds& placed) const;

private:
    struct Line {
        uint16_t fontID = 0;
        uint16_t height = 0;
        FColor color{0, 0, 0, 255};
        long x = 0, y = 0, lastX = 0;
        std::vector<std::pair<uint16_t, int16_t>> glyphs;
    };

    Affine matrix;
    Affine inverse;
    bool started = false;
    long originX = 0, originY = 0;
    uint32_t fontGlyphs = 0;
    std::vector<Line> lines;
    Bounds bounds;  // text space
};
