#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

// The fonts MuPDF draws a font the PDF does not embed with. Its own built-in
// substitutes (URW's) may only be put into PostScript or PDF documents, so
// their glyphs must not go into a movie: fonts metric-compatible with the
// standard ones whose licence allows embedding (TeX Gyre for the standard
// fonts themselves, Liberation for the rest) are handed to
// MuPDF in their place, read from their files once and shared by every
// context cloned from the one they are installed in.
class SubstituteFonts {
public:
    // The folders searched: those of Debian's fonts-texgyre and
    // fonts-texgyre-math, then those of fonts-liberation2 and of the older
    // fonts-liberation. The environment variable
    // CORVANEX_SUBSTITUTE_FONT_DIRS (folders separated by ':') replaces them,
    // for the tests: set but empty, none is searched.
    static std::vector<std::string> DefaultFolders();

    explicit SubstituteFonts(std::vector<std::string> folders = DefaultFolders());
    SubstituteFonts(const SubstituteFonts&) = delete;
    SubstituteFonts& operator=(const SubstituteFonts&) = delete;

    // Has MuPDF ask this object for the fonts of `ctx` and of the contexts
    // cloned from it later; it must outlive them all (and every font they
    // loaded). Takes the context's user pointer.
    void Install(fz_context* ctx);

    // The substitute's file name without its ending (e.g.
    // "LiberationSerif-Bold") for a font of that name, bold or italic as
    // asked or as its name says; empty for a symbol font, left to MuPDF.
    static std::string FileFor(const std::string& fontName, bool bold, bool italic);

    // For Courier, Helvetica and Times, the file of their own design that is
    // tried first (e.g. "texgyrecursor-bold"); empty for any other font.
    static std::string StandardDesignFor(const std::string& fontName, bool bold, bool italic);

    // The face Symbol's text is drawn with (TeX Gyre Termes Math), for the
    // object installed in `ctx`: a new font the caller drops, null when it
    // is not installed. MuPDF itself draws Symbol with its own font, which
    // finds Symbol's glyphs by their names whatever the PDF's encoding; the
    // recorder draws the glyphs of the same characters from this face.
    static fz_font* NewSymbolFace(fz_context* ctx) noexcept;
    // Its name, "TeXGyreTermesMath-Regular"; empty when it is not installed.
    static std::string SymbolFaceName(fz_context* ctx) noexcept;

private:
    struct File {
        std::vector<unsigned char> data;  // empty: not found
        std::string postscriptName;
    };

    static fz_font* Load(fz_context* ctx, const char* name, int bold, int italic, int needsExactMetrics);
    // The file the font is drawn with, read on first use; null when there is none.
    const File* Find(const char* name, bool bold, bool italic) noexcept;
    // The file of that name and ending, read on first use; null when there is none.
    const File* FindFile(const std::string& stem, const char* extension);

    std::vector<std::string> folders;
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<File>> files;  // by name, kept for the fonts made from them
};

// Whether the font's glyphs may be embedded in a movie: not for MuPDF's
// built-in fonts (URW's), whose licence allows that only in PostScript and
// PDF documents. Fonts a PDF embeds are always its own.
bool MayEmbedGlyphs(fz_context* ctx, const fz_font* font);

// Whether the font is MuPDF's own Symbol, whose glyphs are named as Symbol's.
bool IsBuiltinSymbol(fz_context* ctx, const fz_font* font);
