#include "driver/pdf/pdffonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "driver/pdf/curvefit.h"
#include "driver/pdf/pathoutline.h"
#include "driver/pdf/polygonops.h"
#include "driver/pdf/shapewriter.h"

namespace {

// Glyph outlines are fitted within half a unit of the em square.
constexpr double kGlyphTolerance = 0.5;

std::string OutlineKey(const std::vector<QuadContour>& contours)
{
    std::string key;
    auto put = [&](double v) {
        const int32_t i = static_cast<int32_t>(std::lround(v));
        key.append(reinterpret_cast<const char*>(&i), sizeof i);
    };
    for (const QuadContour& contour : contours) {
        key.push_back('M');
        put(contour.start.x);
        put(contour.start.y);
        for (const QuadSegment& s : contour.segments) {
            key.push_back(s.curved ? 'Q' : 'L');
            if (s.curved) {
                put(s.control.x);
                put(s.control.y);
            }
            put(s.to.x);
            put(s.to.y);
        }
    }
    return key;
}

// MuPDF leaves a failed fz_try by longjmp: a local set inside it is kept in
// memory (fz_var) so that the value read afterwards is not a stale register.
// Here: null where the font has no outline for the glyph or cannot be read.
fz_path* TryOutlineGlyph(fz_context* ctx, fz_font* font, int gid)
{
    fz_path* path = nullptr;
    fz_var(path);
    fz_try(ctx) path = fz_outline_glyph(ctx, font, gid, fz_identity);
    fz_catch(ctx) path = nullptr;
    return path;
}

// The MD5 of the font's program; false for a font without one (Type 3).
bool TryFontDigest(fz_context* ctx, fz_font* font, unsigned char digest[16])
{
    bool ok = true;
    fz_try(ctx) fz_font_digest(ctx, font, digest);
    fz_catch(ctx) ok = false;
    return ok;
}

}  // namespace

std::string BaseFontName(const std::string& name)
{
    if (name.size() > 7 && name[6] == '+') {
        bool tag = true;
        for (size_t i = 0; i < 6; ++i) tag = tag && name[i] >= 'A' && name[i] <= 'Z';
        if (tag) return name.substr(7);
    }
    return name;
}

bool PDFFontTable::HasOutlines(fz_context* ctx, fz_font* font) { return fz_font_t3_procs(ctx, font) == nullptr; }

PDFFontTable::Font& PDFFontTable::FontNamed(fz_context* ctx, fz_font* font)
{
    std::string name = BaseFontName(fz_font_name(ctx, font));
    if (name.size() > 255) name.resize(255);
    const auto found = fontsByName.find(name);
    // A font holds at most 65535 glyphs: a full one is followed by another of its name.
    if (found != fontsByName.end() && fonts[found->second].tag->GlyphCount() < 0xFFFF) return fonts[found->second];
    Font entry;
    const double ascender = fz_font_ascender(ctx, font), descender = fz_font_descender(ctx, font);
    entry.tag = std::make_unique<FDTDefineFont2>(
        name, FFontEncoding::Unicode, fz_font_is_italic(ctx, font) != 0, fz_font_is_bold(ctx, font) != 0,
        static_cast<int16_t>(std::lround(ascender * kEmUnits)),
        static_cast<int16_t>(std::lround(-descender * kEmUnits)), 0);
    entry.id = entry.tag->ID();
    entry.name = name;
    fontsByName[name] = fonts.size();
    fonts.push_back(std::move(entry));
    return fonts.back();
}

// What gives a glyph its outline and advance: the font's program and the
// glyph, and where MuPDF draws a substitute, the width the PDF gives it and
// the style it makes up; with the font's name, which its movie font is known by.
std::string PDFFontTable::ProgramGlyphKey(fz_context* ctx, fz_font* font, int gid)
{
    auto program = programs.find(font);
    if (program == programs.end()) {
        unsigned char digest[16];
        program = programs.emplace(font, TryFontDigest(ctx, font, digest)
                                             ? std::string(reinterpret_cast<const char*>(digest), sizeof digest)
                                             : std::string())
                      .first;
    }
    if (program->second.empty()) return {};
    const fz_font_flags_t& flags = *fz_font_flags(font);
    const int width = font->width_table && gid >= 0 && gid < font->width_count ? font->width_table[gid] : -1;
    std::string key = program->second + fz_font_name(ctx, font);
    key.push_back('\0');
    for (const int value : {gid, width, static_cast<int>(flags.ft_substitute), static_cast<int>(flags.ft_stretch),
                            static_cast<int>(flags.fake_bold),
                            static_cast<int>(flags.fake_italic)})
        key.append(reinterpret_cast<const char*>(&value), sizeof value);
    return key;
}

PDFFontTable::GlyphRef PDFFontTable::Glyph(fz_context* ctx, fz_font* font, int gid, int ucs)
{
    const auto key = std::make_pair(static_cast<const fz_font*>(font), gid);
    if (const auto known = seen.find(key); known != seen.end()) return known->second;
    // Drawn on a page before: its outline is not made again.
    const std::string programKey = ProgramGlyphKey(ctx, font, gid);
    if (const auto drawn = drawnBefore.find(programKey); !programKey.empty() && drawn != drawnBefore.end()) {
        GlyphRef ref = drawn->second.ref;
        ref.fontGlyphs = static_cast<uint32_t>(fonts[drawn->second.font].tag->GlyphCount());
        seen.emplace(key, ref);
        return ref;
    }

    // In the em square, y down as SWF glyphs are drawn.
    Outline outline;
    if (fz_path* path = TryOutlineGlyph(ctx, font, gid)) {
        outline = OutlineFromPath(ctx, path, Affine{kEmUnits, 0, 0, -kEmUnits, 0, 0});
        fz_drop_path(ctx, path);
    }
    if (NonZeroDiffersFromEvenOdd(outline, kGlyphTolerance)) outline = NonZeroUnion(outline, kGlyphTolerance);
    const std::vector<QuadContour> contours = ToQuadContours(outline, kGlyphTolerance, true);
    const std::string outlineKey = OutlineKey(contours);

    Font& entry = FontNamed(ctx, font);
    GlyphRef ref;
    ref.fontID = entry.id;
    if (const auto same = entry.glyphsByOutline.find(outlineKey); same != entry.glyphsByOutline.end()) {
        ref.index = same->second;
        ref.bounds = entry.glyphBounds[ref.index];
    } else {
        ref.index = static_cast<uint16_t>(entry.tag->GlyphCount());
        ShapeRecords records = ShapeRecordsFor(contours, 1, 0);
        auto shape = std::make_unique<FShape>();
        for (auto& record : records.records) shape->AddShapeRecord(std::move(record));
        shape->AddShapeRecord(std::make_unique<FEndShapeRecord>());
        const double advance = fz_advance_glyph(ctx, font, gid, 0) * kEmUnits;
        const uint16_t code = ucs > 0 && ucs <= 0xFFFF ? static_cast<uint16_t>(ucs) : 0;
        entry.tag->AddGlyph(std::move(shape), code,
                            static_cast<int16_t>(std::clamp(std::lround(advance), -32768L, 32767L)),
                            ToRect(records.bounds));
        entry.glyphsByOutline.emplace(outlineKey, ref.index);
        entry.glyphBounds.push_back(records.bounds);
        ref.bounds = records.bounds;
    }
    ref.fontGlyphs = static_cast<uint32_t>(entry.tag->GlyphCount());
    seen.emplace(key, ref);
    if (!programKey.empty())
        drawnBefore.emplace(programKey, DrawnGlyph{ref, static_cast<size_t>(&entry - fonts.data())});
    return ref;
}

void PDFFontTable::DiscardPage()
{
    if (fonts.size() == committedFonts) return;
    fonts.resize(committedFonts);
    seen.clear();
    programs.clear();
    std::erase_if(drawnBefore, [&](const auto& glyph) { return glyph.second.font >= committedFonts; });
    // A name goes back to the last font of it that stays.
    fontsByName.clear();
    for (size_t i = 0; i < fonts.size(); ++i) fontsByName[fonts[i].name] = i;
}

std::vector<std::unique_ptr<FDTDefineFont2>> PDFFontTable::TakeFonts()
{
    std::vector<std::unique_ptr<FDTDefineFont2>> tags;
    for (Font& font : fonts) tags.push_back(std::move(font.tag));
    fonts.clear();
    committedFonts = 0;
    fontsByName.clear();
    seen.clear();
    programs.clear();
    drawnBefore.clear();
    return tags;
}

size_t PDFFontTable::GlyphCount() const
{
    size_t count = 0;
    for (const Font& font : fonts) count += font.tag->GlyphCount();
    return count;
}
