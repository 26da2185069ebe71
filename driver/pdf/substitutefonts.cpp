#include "driver/pdf/substitutefonts.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

#include "driver/pdf/pdffonts.h"

namespace {

// The 14 standard fonts, which MuPDF draws with built-in URW fonts of its own.
constexpr const char* kStandardFonts[] = {
    "Courier",     "Courier-Bold",     "Courier-Oblique",     "Courier-BoldOblique",
    "Helvetica",   "Helvetica-Bold",   "Helvetica-Oblique",   "Helvetica-BoldOblique",
    "Times-Roman", "Times-Bold",       "Times-Italic",        "Times-BoldItalic",
    "Symbol",      "ZapfDingbats"};

// Symbol's Greek letters and signs are of Times' design: TeX Gyre Termes
// Math has them all (GUST Font License), in one style for every style of Symbol.
const char* const kSymbolFace = "texgyretermes-math";

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream input(path, std::ios::binary);
    if (!input) return {};
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

// The PostScript name of a substitute's file: "LiberationSans" for
// LiberationSans-Regular (the regular style's is the family's),
// "TeXGyreCursor-Bold" for texgyrecursor-bold.
std::string PostScriptName(const std::string& stem)
{
    if (stem.rfind("texgyre", 0) == 0) {
        const size_t dash = stem.find('-');
        std::string family = stem.substr(7, dash - 7), style = stem.substr(dash + 1);
        family[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(family[0])));
        if (style == "math") return "TeXGyre" + family + "Math-Regular";
        style = style == "bolditalic" ? "BoldItalic" : style == "bold" ? "Bold" : style == "italic" ? "Italic" : "Regular";
        return "TeXGyre" + family + "-" + style;
    }
    const std::string regular = "-Regular";
    return stem.size() > regular.size() && stem.ends_with(regular) ? stem.substr(0, stem.size() - regular.size()) : stem;
}

}  // namespace

std::vector<std::string> SubstituteFonts::DefaultFolders()
{
    const char* set = std::getenv("CORVANEX_SUBSTITUTE_FONT_DIRS");
    if (!set)
        return {"/usr/share/texmf/fonts/opentype/public/tex-gyre", "/usr/share/texmf/fonts/opentype/public/tex-gyre-math",
                "/usr/share/fonts/truetype/liberation2", "/usr/share/fonts/truetype/liberation"};
    std::vector<std::string> folders;
    std::string rest = set;
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        if (colon != 0) folders.push_back(rest.substr(0, colon));
        rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    }
    return folders;
}

SubstituteFonts::SubstituteFonts(std::vector<std::string> searched) : folders(std::move(searched)) {}

void SubstituteFonts::Install(fz_context* ctx)
{
    // The font context is shared with the contexts cloned from this one, and
    // so is the user pointer, copied when they are cloned.
    fz_set_user_context(ctx, this);
    fz_install_load_system_font_funcs(ctx, Load, nullptr, nullptr);
}

// Liberation Sans, Serif and Mono have the widths of Helvetica (Arial), Times
// (Times New Roman) and Courier (Courier New). For any other font the family
// is guessed from its name: Mono for Courier, Mono or Consol(as) in it, Sans
// when it says so, Serif for Times, Serif, Roman, Georgia, Garamond or
// Cambria, and Sans for the rest. Bold and Italic (or Oblique) in the name add
// to what the caller asks for. Symbol fonts have no counterpart: MuPDF keeps
// them (Symbol's text is drawn with the glyphs of NewSymbolFace, the others'
// as a picture).
std::string SubstituteFonts::FileFor(const std::string& fontName, bool bold, bool italic)
{
    const std::string name = Lower(BaseFontName(fontName));
    const auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    if (has("symbol") || has("dingbat")) return {};
    const char* family = "Sans";
    if (has("courier") || has("mono") || has("consol"))
        family = "Mono";
    else if (has("sans"))
        family = "Sans";
    else if (has("times") || has("serif") || has("roman") || has("georgia") || has("garamond") || has("cambria"))
        family = "Serif";
    bold = bold || has("bold");
    italic = italic || has("italic") || has("oblique");
    const char* style = bold && italic ? "BoldItalic" : bold ? "Bold" : italic ? "Italic" : "Regular";
    return std::string("Liberation") + family + "-" + style;
}

// Courier, Helvetica and Times themselves (not the fonts of their widths
// that other names stand for) are drawn in their own designs: TeX Gyre
// Cursor, Heros and Termes, made from the URW fonts a viewer draws them with
// and free to embed (the GUST Font License). Liberation Mono, the nearest
// font otherwise, is of another design and far heavier than Courier.
std::string SubstituteFonts::StandardDesignFor(const std::string& fontName, bool bold, bool italic)
{
    const std::string name = Lower(BaseFontName(fontName));
    const char* family = name.rfind("courier", 0) == 0 && name.find("new") == std::string::npos ? "cursor"
                         : name.rfind("helvetica", 0) == 0                                     ? "heros"
                         : name.rfind("times-", 0) == 0                                        ? "termes"
                                                                                                : nullptr;
    const auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    if (!family || has("narrow") || has("condensed")) return {};  // of other widths
    bold = bold || has("bold");
    italic = italic || has("italic") || has("oblique");
    const char* style = bold && italic ? "bolditalic" : bold ? "bold" : italic ? "italic" : "regular";
    return std::string("texgyre") + family + "-" + style;
}

const SubstituteFonts::File* SubstituteFonts::Find(const char* name, bool bold, bool italic) noexcept
{
    try {
        // The standard font's own design where it is installed, else the font of its widths.
        for (const auto& [stem, extension] : {std::pair{StandardDesignFor(name, bold, italic), ".otf"},
                                              std::pair{FileFor(name, bold, italic), ".ttf"}})
            if (!stem.empty())
                if (const File* file = FindFile(stem, extension)) return file;
        return nullptr;
    } catch (...) {
        return nullptr;  // no memory: MuPDF draws with its own font
    }
}

fz_font* SubstituteFonts::NewSymbolFace(fz_context* ctx) noexcept
{
    auto* self = static_cast<SubstituteFonts*>(fz_user_context(ctx));
    const File* file = nullptr;
    try {
        if (self) file = self->FindFile(kSymbolFace, ".otf");
    } catch (...) {
        return nullptr;  // no memory: Symbol's text is a picture
    }
    if (!file) return nullptr;
    fz_font* font = nullptr;
    fz_var(font);
    fz_try(ctx) font = fz_new_font_from_memory(ctx, file->postscriptName.c_str(), file->data.data(),
                                               static_cast<int>(file->data.size()), 0, 1);
    fz_catch(ctx) font = nullptr;
    return font;
}

std::string SubstituteFonts::SymbolFaceName(fz_context* ctx) noexcept
{
    auto* self = static_cast<SubstituteFonts*>(fz_user_context(ctx));
    try {
        const File* file = self ? self->FindFile(kSymbolFace, ".otf") : nullptr;
        return file ? file->postscriptName : std::string();
    } catch (...) {
        return {};
    }
}

const SubstituteFonts::File* SubstituteFonts::FindFile(const std::string& stem, const char* extension)
{
    std::lock_guard lock(mutex);
    std::unique_ptr<File>& file = files[stem];
    if (!file) {
        file = std::make_unique<File>();
        for (const std::string& folder : folders) {
            file->data = ReadFile(folder + "/" + stem + extension);
            if (!file->data.empty()) break;
        }
        file->postscriptName = PostScriptName(stem);
    }
    return file->data.empty() ? nullptr : file.get();
}

// Called by MuPDF, which catches what it throws. Nothing here has a
// destructor to skip: fz_new_font_from_memory may leave by longjmp. A font
// that gives no widths of its own (MuPDF then asks for exact metrics) is
// served alike: for the standard fonts Liberation's are theirs.
fz_font* SubstituteFonts::Load(fz_context* ctx, const char* name, int bold, int italic, int)
{
    auto* self = static_cast<SubstituteFonts*>(fz_user_context(ctx));
    if (!self || !name) return nullptr;
    const File* file = self->Find(name, bold != 0, italic != 0);
    if (!file) return nullptr;
    // The data is not copied: it stays as long as this object.
    return fz_new_font_from_memory(ctx, file->postscriptName.c_str(), file->data.data(),
                                   static_cast<int>(file->data.size()), 0, 1);
}

bool MayEmbedGlyphs(fz_context* ctx, const fz_font* font)
{
    if (!font || !font->buffer) return true;
    for (const char* name : kStandardFonts) {
        int length = 0;
        const unsigned char* data = fz_lookup_base14_font(ctx, name, &length);
        if (data && font->buffer->data == data) return false;
    }
    return true;
}

bool IsBuiltinSymbol(fz_context* ctx, const fz_font* font)
{
    if (!font || !font->buffer) return false;
    int length = 0;
    const unsigned char* data = fz_lookup_base14_font(ctx, "Symbol", &length);
    return data && font->buffer->data == data;
}
