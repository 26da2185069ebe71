#include "driver/pdf/pagefontcheck.h"

#include <string>
#include <utility>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "driver/pdf/substitutefonts.h"

namespace {

// Forms within forms deeper than this are left unchecked (their text is drawn all the same).
constexpr int kMaxDepth = 16;
// As many fonts and resource dictionaries as a page is checked for.
constexpr size_t kMaxFonts = 1000;

// What MuPDF says when it gives up on an embedded font and loads another.
constexpr const char* kFellBack = "ignored error when loading embedded font";

// What MuPDF says through the context while one font loads, kept here: the
// context's own callbacks are put back when it is done.
class LoadMessages {
public:
    explicit LoadMessages(fz_context* context) : ctx(context)
    {
        fz_flush_warnings(ctx);  // a repeat waiting to be counted is the page's
        warn = fz_warning_callback(ctx, &warnUser);
        error = fz_error_callback(ctx, &errorUser);
        fz_set_warning_callback(ctx, KeepWarning, this);
        fz_set_error_callback(ctx, KeepError, this);
    }
    ~LoadMessages() { Restore(); }
    LoadMessages(const LoadMessages&) = delete;
    LoadMessages& operator=(const LoadMessages&) = delete;

    // Says what was said to the callbacks it was meant for.
    void PassOn()
    {
        Restore();
        for (const Said& said : messages) {
            if (said.error && error) error(errorUser, said.text.c_str());
            if (!said.error && warn) warn(warnUser, said.text.c_str());
        }
        messages.clear();
    }

    // Why the embedded font failed: the error MuPDF raised last before it
    // gave up on the font (empty when it gave up on none).
    std::string Failure() const
    {
        std::string failure;
        for (const Said& said : messages) {
            if (!said.error && said.text.rfind(kFellBack, 0) == 0) return failure;
            if (said.error) failure = said.text;
        }
        return {};
    }

private:
    struct Said {
        bool error;
        std::string text;
    };

    static void Keep(void* user, const char* message, bool error) noexcept
    {
        try {
            static_cast<LoadMessages*>(user)->messages.push_back(Said{error, message});
        } catch (...) {
            // No memory for it: the font is reported without its reason.
        }
    }
    static void KeepWarning(void* user, const char* message) { Keep(user, message, false); }
    static void KeepError(void* user, const char* message) { Keep(user, message, true); }

    void Restore()
    {
        if (restored) return;
        fz_flush_warnings(ctx);
        fz_set_warning_callback(ctx, warn, warnUser);
        fz_set_error_callback(ctx, error, errorUser);
        restored = true;
    }

    fz_context* ctx;
    fz_warning_cb* warn = nullptr;
    void* warnUser = nullptr;
    fz_error_cb* error = nullptr;
    void* errorUser = nullptr;
    bool restored = false;
    std::vector<Said> messages;
};

// MuPDF leaves a failed fz_try by longjmp: plain C values only here.
pdf_font_desc* TryLoadFont(fz_context* ctx, pdf_document* doc, pdf_obj* resources, pdf_obj* font)
{
    pdf_font_desc* desc = nullptr;
    fz_var(desc);
    fz_try(ctx) desc = pdf_load_font(ctx, doc, resources, font);
    fz_catch(ctx) desc = nullptr;
    return desc;
}

// Whether the font's descriptor holds a font program, as MuPDF looks for one.
bool EmbedsProgram(fz_context* ctx, pdf_obj* font)
{
    pdf_obj* descriptor = pdf_dict_get(ctx, font, PDF_NAME(FontDescriptor));
    if (pdf_name_eq(ctx, pdf_dict_get(ctx, font, PDF_NAME(Subtype)), PDF_NAME(Type0)))
        descriptor =
            pdf_dict_get(ctx, pdf_array_get(ctx, pdf_dict_get(ctx, font, PDF_NAME(DescendantFonts)), 0),
                         PDF_NAME(FontDescriptor));
    for (pdf_obj* key : {PDF_NAME(FontFile), PDF_NAME(FontFile2), PDF_NAME(FontFile3)})
        if (pdf_is_indirect(ctx, pdf_dict_get(ctx, descriptor, key))) return true;
    return false;
}

// The font's own name (its PostScript name), not the one MuPDF gave it
// after the font it stands for. The face is this font's alone, and only
// read: MuPDF's FreeType lock is not needed.
std::string RealName(fz_context* ctx, fz_font* font)
{
    if (void* face = fz_font_ft_face(ctx, font))
        if (const char* postscript = FT_Get_Postscript_Name(static_cast<FT_Face>(face))) return postscript;
    return fz_font_name(ctx, font);
}

}  // namespace

PageFontCheck::PageFontCheck(fz_context* context, fz_page* page, DrawnBy drawnBy) : ctx(context), drawer(drawnBy)
{
    pdf_page* pdfPage = pdf_page_from_fz_page(ctx, page);
    if (!pdfPage) return;
    LoadFonts(pdfPage->doc, pdf_page_resources(ctx, pdfPage), 0);
    // Annotations draw their appearance streams, each with resources of its own.
    pdf_obj* annots = pdf_dict_get(ctx, pdfPage->obj, PDF_NAME(Annots));
    for (int i = 0, n = pdf_array_len(ctx, annots); i < n; ++i) {
        pdf_obj* appearance = pdf_dict_get(ctx, pdf_array_get(ctx, annots, i), PDF_NAME(AP));
        pdf_obj* normal = pdf_dict_get(ctx, appearance, PDF_NAME(N));
        if (pdf_is_stream(ctx, normal)) {
            LoadFonts(pdfPage->doc, pdf_dict_get(ctx, normal, PDF_NAME(Resources)), 1);
            continue;
        }
        for (int j = 0, states = pdf_dict_len(ctx, normal); j < states; ++j)
            LoadFonts(pdfPage->doc, pdf_dict_get(ctx, pdf_dict_get_val(ctx, normal, j), PDF_NAME(Resources)), 1);
    }
}

PageFontCheck::~PageFontCheck() = default;

void PageFontCheck::LoadFonts(pdf_document* doc, pdf_obj* resources, int depth)
{
    resources = pdf_resolve_indirect(ctx, resources);
    if (depth > kMaxDepth || !pdf_is_dict(ctx, resources) || !visited.insert(resources).second) return;
    pdf_obj* fonts = pdf_dict_get(ctx, resources, PDF_NAME(Font));
    for (int i = 0, n = pdf_dict_len(ctx, fonts); i < n; ++i) {
        pdf_obj* font = pdf_dict_get_val(ctx, fonts, i);
        // A Type 3 font's glyphs are drawn as content, in fonts of their own.
        if (pdf_name_eq(ctx, pdf_dict_get(ctx, font, PDF_NAME(Subtype)), PDF_NAME(Type3)))
            LoadFonts(doc, pdf_dict_get(ctx, font, PDF_NAME(Resources)), depth + 1);
        else
            Load(doc, resources, font);
    }
    // Forms, tiling patterns and soft masks draw with resources of their own.
    const auto inner = [&](pdf_obj* holder) {
        LoadFonts(doc, pdf_dict_get(ctx, holder, PDF_NAME(Resources)), depth + 1);
    };
    pdf_obj* xobjects = pdf_dict_get(ctx, resources, PDF_NAME(XObject));
    for (int i = 0, n = pdf_dict_len(ctx, xobjects); i < n; ++i) inner(pdf_dict_get_val(ctx, xobjects, i));
    pdf_obj* patterns = pdf_dict_get(ctx, resources, PDF_NAME(Pattern));
    for (int i = 0, n = pdf_dict_len(ctx, patterns); i < n; ++i) inner(pdf_dict_get_val(ctx, patterns, i));
    pdf_obj* states = pdf_dict_get(ctx, resources, PDF_NAME(ExtGState));
    for (int i = 0, n = pdf_dict_len(ctx, states); i < n; ++i)
        inner(pdf_dict_get(ctx, pdf_dict_get(ctx, pdf_dict_get_val(ctx, states, i), PDF_NAME(SMask)), PDF_NAME(G)));
}

void PageFontCheck::Load(pdf_document* doc, pdf_obj* resources, pdf_obj* reference)
{
    pdf_obj* font = pdf_resolve_indirect(ctx, reference);
    if (!pdf_is_dict(ctx, font) || visited.size() > kMaxFonts || !visited.insert(font).second) return;
    LoadMessages messages(ctx);
    // By the reference, as the page's run asks for it: MuPDF keeps loaded
    // fonts by their object number, a direct object not at all.
    std::unique_ptr<pdf_font_desc, FontDrop> desc(TryLoadFont(ctx, doc, resources, reference), FontDrop{ctx});
    if (!desc || !desc->font || desc->is_embedded) {
        messages.PassOn();
        return;
    }
    Loaded loaded{std::move(desc), {}};
    FontSubstitution& substitution = loaded.substitution;
    const char* name = pdf_dict_get_name(ctx, font, PDF_NAME(BaseFont));
    substitution.font = name && *name ? name : fz_font_name(ctx, loaded.desc->font);
    substitution.substitute = RealName(ctx, loaded.desc->font);
    substitution.embedded = EmbedsProgram(ctx, font);
    substitution.asPicture = !MayEmbedGlyphs(ctx, loaded.desc->font);
    if (drawer == DrawnBy::Recorder && IsBuiltinSymbol(ctx, loaded.desc->font))
        if (std::string face = SubstituteFonts::SymbolFaceName(ctx); !face.empty()) {
            // The recorder draws its glyphs from this face.
            substitution.substitute = std::move(face);
            substitution.asPicture = false;
        }
    if (substitution.embedded) {
        // What MuPDF said of it is told with the font, not as damage to the page.
        substitution.failure = messages.Failure();
    } else {
        messages.PassOn();
    }
    substitutes.push_back(std::move(loaded));
}

std::vector<FontSubstitution> PageFontCheck::Substitutions(const std::set<const fz_font*>& drawn) const
{
    std::vector<FontSubstitution> found;
    for (const Loaded& loaded : substitutes)
        if (drawn.count(loaded.desc->font)) found.push_back(loaded.substitution);
    return found;
}
