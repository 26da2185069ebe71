#include "driver/pdf/pagetransitions.h"

#include <cmath>
#include <cstring>

#include "driver/pdf/mupdf.h"
#include "driver/pdf/rasterpages.h"

namespace {

// As read, in plain C values: the walk below runs inside an fz_try, which
// MuPDF leaves by longjmp, so nothing in it may need a destructor.
struct RawTiming {
    char style[16];  // the /S name, cut; empty when there is no /Trans dictionary
    int hasSeconds;
    double seconds;
    char dm;
    char m;
    int hasDirection;
    int directionNone;
    double direction;
    int hasDuration;
    double duration;
};

struct KidsLevel {
    pdf_obj* kids;
    int next;
};

constexpr int kDeepestTree = 64;

void CopyName(fz_context* ctx, pdf_obj* name, char* to, size_t size)
{
    const char* text = pdf_is_name(ctx, name) ? pdf_to_name(ctx, name) : "";
    std::strncpy(to, text, size - 1);
    to[size - 1] = '\0';
}

void ReadPage(fz_context* ctx, pdf_obj* page, RawTiming* out)
{
    pdf_obj* duration = pdf_dict_get(ctx, page, PDF_NAME(Dur));
    if (pdf_is_number(ctx, duration)) {
        out->hasDuration = 1;
        out->duration = pdf_to_real(ctx, duration);
    }
    pdf_obj* trans = pdf_dict_get(ctx, page, PDF_NAME(Trans));
    if (!pdf_is_dict(ctx, trans)) return;
    pdf_obj* style = pdf_dict_get(ctx, trans, PDF_NAME(S));
    // A dictionary without /S is a plain replacement.
    if (style) {
        CopyName(ctx, style, out->style, sizeof out->style);
    } else {
        std::strcpy(out->style, "R");
    }
    pdf_obj* seconds = pdf_dict_get(ctx, trans, PDF_NAME(D));
    if (pdf_is_number(ctx, seconds)) {
        out->hasSeconds = 1;
        out->seconds = pdf_to_real(ctx, seconds);
    }
    char name[4];
    CopyName(ctx, pdf_dict_get(ctx, trans, PDF_NAME(Dm)), name, sizeof name);
    out->dm = name[0];
    CopyName(ctx, pdf_dict_get(ctx, trans, PDF_NAME(M)), name, sizeof name);
    out->m = name[0];
    pdf_obj* direction = pdf_dict_get(ctx, trans, PDF_NAME(Di));
    if (pdf_is_number(ctx, direction)) {
        out->hasDirection = 1;
        out->direction = pdf_to_real(ctx, direction);
    } else if (pdf_name_eq(ctx, direction, PDF_NAME(None))) {
        out->directionNone = 1;
    }
}

// The leaves of the page tree in order, as MuPDF numbers them, each node
// visited once (a node met again is marked already: the document is this
// walk's own, so the marks need not be cleared).
int WalkPages(fz_context* ctx, pdf_document* doc, RawTiming* pages, int count, KidsLevel* levels, char* error,
              size_t errorSize)
{
    // Kept in memory across MuPDF's longjmp.
    volatile int found = 0;
    fz_try(ctx)
    {
        pdf_obj* root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
        int depth = 0;
        if (pdf_is_dict(ctx, root) && !pdf_mark_obj(ctx, root)) {
            pdf_obj* kids = pdf_dict_get(ctx, root, PDF_NAME(Kids));
            if (pdf_is_array(ctx, kids)) {
                levels[0] = KidsLevel{kids, 0};
                depth = 1;
            } else if (count > 0) {
                ReadPage(ctx, root, &pages[found]);
                found = found + 1;
            }
        }
        while (depth > 0 && found < count) {
            KidsLevel* level = &levels[depth - 1];
            if (level->next >= pdf_array_len(ctx, level->kids)) {
                --depth;
                continue;
            }
            pdf_obj* node = pdf_array_get(ctx, level->kids, level->next++);
            if (!pdf_is_dict(ctx, node) || pdf_mark_obj(ctx, node)) continue;
            pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
            const int leaf = pdf_name_eq(ctx, pdf_dict_get(ctx, node, PDF_NAME(Type)), PDF_NAME(Page)) ||
                             !pdf_is_array(ctx, kids);
            if (leaf) {
                ReadPage(ctx, node, &pages[found]);
                found = found + 1;
            } else if (depth < kDeepestTree) {
                levels[depth++] = KidsLevel{kids, 0};
            }
        }
    }
    fz_catch(ctx)
    {
        std::strncpy(error, fz_caught_message(ctx), errorSize - 1);
        error[errorSize - 1] = '\0';
        return -1;
    }
    return found;
}

TransitionStyle StyleNamed(const char* name)
{
    static const struct {
        const char* name;
        TransitionStyle style;
    } kStyles[] = {
        {"Split", TransitionStyle::Split},     {"Blinds", TransitionStyle::Blinds},   {"Box", TransitionStyle::Box},
        {"Wipe", TransitionStyle::Wipe},       {"Dissolve", TransitionStyle::Dissolve}, {"Glitter", TransitionStyle::Glitter},
        {"Fly", TransitionStyle::Fly},         {"Push", TransitionStyle::Push},       {"Cover", TransitionStyle::Cover},
        {"Uncover", TransitionStyle::Uncover}, {"Fade", TransitionStyle::Fade},
    };
    for (const auto& entry : kStyles)
        if (std::strcmp(entry.name, name) == 0) return entry.style;
    return TransitionStyle::Replace;
}

// The nearest of the directions a transition can move in; what lies between
// (or beyond a turn) is taken round to them, as a turn is.
int32_t Direction(double degrees)
{
    if (!std::isfinite(degrees)) return 0;
    const double turned = std::fmod(std::fmod(degrees, 360) + 360, 360);
    static const int32_t kDirections[] = {0, 90, 180, 270, 315, 360};
    int32_t nearest = 0;
    for (int32_t direction : kDirections)
        if (std::fabs(turned - direction) < std::fabs(turned - nearest)) nearest = direction;
    return nearest == 360 ? 0 : nearest;
}

PageTiming Bounded(const RawTiming& raw)
{
    PageTiming timing;
    if (raw.hasDuration && std::isfinite(raw.duration) && raw.duration >= 0)
        timing.seconds = BoundedSeconds(raw.duration, kLongestPageDuration, 0);
    PageTransition& transition = timing.transition;
    transition.style = StyleNamed(raw.style);
    if (raw.hasSeconds) transition.seconds = BoundedSeconds(raw.seconds, kLongestTransition, 1);
    transition.vertical = raw.dm == 'V';
    transition.outward = raw.m == 'O';
    if (raw.directionNone) {
        transition.direction = -1;
    } else if (raw.hasDirection) {
        transition.direction = Direction(raw.direction);
    }
    return timing;
}

}  // namespace

double BoundedSeconds(double seconds, double longest, double fallback)
{
    if (!std::isfinite(seconds) || seconds < 0) return fallback;
    return seconds > longest ? longest : seconds;
}

std::vector<PageTiming> ReadPageTimings(const PDFDeck& deck, std::string* failure)
{
    const int count = deck.PageCount();
    std::vector<PageTiming> timings(static_cast<size_t>(count));
    if (count == 0) return timings;
    std::vector<RawTiming> raw(static_cast<size_t>(count), RawTiming{});
    std::vector<KidsLevel> levels(kDeepestTree);
    char error[256] = "";
    int found = -1;
    PDFDocument document = deck.OpenAnother();
    document->WithObjects([&](fz_context* ctx, pdf_document* doc) {
        found = WalkPages(ctx, doc, raw.data(), count, levels.data(), error, sizeof error);
    });
    if (found < 0) {
        if (failure) *failure = mupdf::Printable(error);
        return timings;
    }
    for (size_t page = 0; page < static_cast<size_t>(found); ++page) timings[page] = Bounded(raw[page]);
    return timings;
}
