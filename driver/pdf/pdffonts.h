#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/pdf/curvefit.h"
#include "swf/fdtfonts.h"

// The fonts of a movie's vector pages: one DefineFont2 for each font name,
// holding only the glyphs drawn, each once. A glyph is known by its outline,
// so subsets of one font embedded apart (a glyph numbered differently in each)
// share their glyphs. Glyph shapes are in an em square of 1024 units, y down.
class PDFFontTable {
public:
    static constexpr double kEmUnits = 1024;

    struct GlyphRef {
        uint16_t fontID = 0;
        uint16_t index = 0;       // in the font's glyph list
        uint32_t fontGlyphs = 0;  // the font's glyph count so far
        Bounds bounds;            // of the outline, in em units (empty for a blank glyph)
    };

    PDFFontTable() = default;
    PDFFontTable(const PDFFontTable&) = delete;
    PDFFontTable& operator=(const PDFFontTable&) = delete;

    // Whether MuPDF can give the glyph's outline (not for Type 3 fonts,
    // whose glyphs are drawn as the page draws them).
    static bool HasOutlines(fz_context* ctx, fz_font* font);

    // The glyph, added to its font when first seen. `ucs` is its character
    // code where known (-1 otherwise).
    GlyphRef Glyph(fz_context* ctx, fz_font* font, int gid, int ucs);

    // Forgets which MuPDF font objects it has seen: call between pages, as
    // those objects may be freed and their addresses used again. The glyphs
    // stay known by their fonts' programs.
    void ForgetPageFonts()
    {
        seen.clear();
        programs.clear();
    }

    // The fonts a page made first are the movie's for good.
    void CommitPage() { committedFonts = fonts.size(); }
    // They are forgotten, and their tags with their character IDs, for a
    // page drawn as a picture after all; glyphs the page added to fonts made
    // before stay in them.
    void DiscardPage();

    // Fonts in the order they were first used; they must be written before
    // any text drawn from them. The table is empty after.
    std::vector<std::unique_ptr<FDTDefineFont2>> TakeFonts();

    size_t FontCount() const { return fonts.size(); }
    size_t GlyphCount() const;

private:
    struct Font {
        std::unique_ptr<FDTDefineFont2> tag;
        std::string name;
        uint16_t id = 0;
        std::unordered_map<std::string, uint16_t> glyphsByOutline;
        std::vector<Bounds> glyphBounds;
    };

    struct DrawnGlyph {
        GlyphRef ref;
        size_t font = 0;  // in `fonts`
    };

    Font& FontNamed(fz_context* ctx, fz_font* font);
    // The glyph's key across pages (empty for a font without a program).
    std::string ProgramGlyphKey(fz_context* ctx, fz_font* font, int gid);

    std::vector<Font> fonts;
    size_t committedFonts = 0;  // those before are no page's to discard
    std::map<std::string, size_t> fontsByName;
    // (MuPDF font, glyph) -> reference, for the page being recorded.
    std::map<std::pair<const fz_font*, int>, GlyphRef> seen;
    // MuPDF font -> the digest of its program, for the page being recorded.
    std::map<const fz_font*, std::string> programs;
    // ProgramGlyphKey -> the glyph, for every page.
    std::unordered_map<std::string, DrawnGlyph> drawnBefore;
};

// A font's name without the six-letter subset tag ("ABCDEF+Name" -> "Name").
std::string BaseFontName(const std::string& name);
