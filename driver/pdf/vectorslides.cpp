#include "driver/pdf/vectorslides.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "driver/compose/linkaddress.h"
#include "driver/compose/pagesprite.h"
#include "driver/core/backgroundjobs.h"
#include "driver/pdf/mupdf.h"
#include "driver/pdf/vectorpage.h"

namespace {

// Twips from the page's points, the shown page's corner at the area's.
fz_matrix PageToTwips(const mupdf::Bounds& page, PageArea at)
{
    const double sx = (at.xmax - at.xmin) / page.Width(), sy = (at.ymax - at.ymin) / page.Height();
    return fz_concat(fz_concat(fz_translate(static_cast<float>(-page.x0), static_cast<float>(-page.y0)),
                               fz_scale(static_cast<float>(sx), static_cast<float>(sy))),
                     fz_translate(static_cast<float>(at.xmin), static_cast<float>(at.ymin)));
}

// A character limit for the recording of one page, lifted after it.
class CharacterLimit {
public:
    explicit CharacterLimit(uint32_t last) { FSetCharacterIDLimit(static_cast<uint16_t>(last)); }
    ~CharacterLimit() { FSetCharacterIDLimit(0); }
    CharacterLimit(const CharacterLimit&) = delete;
    CharacterLimit& operator=(const CharacterLimit&) = delete;
};

using mupdf::Printable;

const char* const kCharactersUsedUp = "the movie's characters are used up";
const char* const kMoreCharactersThanLeft = "as vectors it would need more characters than the movie has left";
// What the recorder lists when it stops for want of characters.
const char* const kTranslatorOutOfCharacters = "more characters than the movie holds";

// No JPEG of our encoder (standard tables, 4:4:4) is smaller than this for
// so many pixels: each 8 x 8 block codes at least a DC difference and an end
// of block in each of its three components, 14 bits.
uint64_t SmallestJPEG(int64_t pixels)
{
    return static_cast<uint64_t>(pixels) * 14 / 512;
}

}  // namespace

struct VectorSlides::State {
    State(const PDFDeck& deck, VectorPageLimits limits, VectorImageSettings images)
        : deck(deck), limits(limits), images(images), document(deck.OpenAnother())
    {
    }

    const PDFDeck& deck;
    VectorPageLimits limits;
    VectorImageSettings images;
    PDFDocument document;
    std::unique_ptr<VectorResources> resources = std::make_unique<VectorResources>();
    // The other cores encode the pages' pictures while this thread draws on.
    BackgroundJobs encoders{static_cast<unsigned>(std::max(RenderThreads() - 1, 0))};
    // Fonts of resources given up after a page failed half-way.
    std::vector<std::unique_ptr<FTag>> retiredFonts{};

    // A page drawn as a picture after all gives back what it took: the
    // bitmaps and fonts it made first, and with them every character ID it
    // drew since `before` (its shapes and texts are gone with its recording).
    void DiscardPage(uint16_t before)
    {
        resources->images.DiscardPage();
        resources->fonts.DiscardPage();
        FGiveBackCharacterIDs(before);
    }

    // A page that failed half-way: later pages start from new font tables,
    // as a font it added glyphs to may be left half-way too. Those of the
    // pages before are in the movie, and stay known.
    void RetireResources(uint16_t before)
    {
        DiscardPage(before);
        for (auto& font : resources->fonts.TakeFonts()) retiredFonts.push_back(std::move(font));
        auto fresh = std::make_unique<VectorResources>();
        fresh->images = std::move(resources->images);
        resources = std::move(fresh);
    }

    // Whether the page's vectors take more bytes than its picture at the
    // size it is shown at would: a picture has its pixels, whatever the
    // page's size in points.
    bool LargerThanPicture(int32_t page, uint64_t bytes, PixelSize shown)
    {
        if (!limits.compareWithPicture) return false;
        const int64_t pixels = int64_t{shown.width} * shown.height;
        if (pixels <= 0 || pixels > kMaxPagePixels || bytes < SmallestJPEG(pixels)) return false;
        PageEncoding encoding;
        encoding.jpeg.quality = images.jpegQuality;
        // The picture at half the size is the smaller (a quarter of the
        // blocks, and what detail it keeps blurred), and a quarter of the
        // work: vectors smaller than even that need no picture at the whole size.
        const PixelSize half{std::max(shown.width / 2, 1), std::max(shown.height / 2, 1)};
        if (bytes <= deck.RenderEncoded(*document, page, half, encoding).jpeg.size()) return false;
        EncodedPage picture = deck.RenderEncoded(*document, page, shown, encoding);
        const bool larger = bytes > picture.jpeg.size();
        if (larger) weighed = Weighed{page, shown, encoding, std::move(picture)};
        return larger;
    }

    // The picture a page lost to, kept for when it is drawn as one.
    struct Weighed {
        int32_t page = -1;
        PixelSize size;
        PageEncoding encoding;
        EncodedPage picture;

        bool Of(int32_t number, PixelSize at, const PageEncoding& as) const
        {
            return page == number && size.width == at.width && size.height == at.height &&
                   encoding.format == as.format && encoding.jpeg.quality == as.jpeg.quality &&
                   encoding.jpeg.sampling == as.jpeg.sampling &&
                   encoding.jpeg.optimizeCoding == as.jpeg.optimizeCoding && encoding.bandRows == as.bandRows;
        }
    };
    std::optional<Weighed> weighed;
    // The pictures of pages recorded that workers decode, until told of.
    std::map<int32_t, std::vector<LatePicture>> latePictures;
};

VectorSlides::VectorSlides(const PDFDeck& deck, VectorPageLimits limits, VectorImageSettings images)
    : state(std::make_unique<State>(deck, limits, images))
{
}

VectorSlides::~VectorSlides() = default;

VectorSlide VectorSlides::Record(int32_t page, PageArea at, PixelSize shown, uint32_t characters)
{
    VectorSlide slide;
    // The page's own sprite and its clip are drawn when it is placed.
    if (characters <= kPageSpriteCharacters) {
        slide.whyRaster = kCharactersUsedUp;
        slide.budgetSpent = true;
        return slide;
    }
    mupdf::Document& document = *state->document;
    const uint16_t before = FLastCharacterID();
    const uint32_t last = std::min<uint32_t>(uint32_t{before} + characters - kPageSpriteCharacters, 0xFFFF);
    VectorOptions options;
    // What SWF cannot hold is covered by the page's picture of it, at the
    // show's pixel size.
    options.patchFallbacks = true;
    options.patchPixelsPerTwip = static_cast<double>(shown.width) / std::max(at.xmax - at.xmin, 1);
    options.maxCharacterID = static_cast<uint16_t>(last);
    options.jpegQuality = state->images.jpegQuality;
    options.budget.seconds = state->limits.maxSeconds;
    options.budget.edges = state->limits.maxEdges;
    options.budget.patches = state->limits.maxPatches;
    options.parts = document.Parts();
    options.encoders = &state->encoders;
    options.contexts = document.Contexts();
    VectorPage recorded;
    const auto start = std::chrono::steady_clock::now();
    try {
        document.ClearMessages();
        const mupdf::Bounds bounds = document.PageBounds(page);
        const fz_matrix transform = PageToTwips(bounds, at);
        if (state->images.maxDPI > 0) {
            // Pixels an inch of the page, an inch being 72 points.
            const double twipsPerPoint = std::sqrt(std::fabs(transform.a * transform.d - transform.b * transform.c));
            options.maxImagePixelsPerTwip = state->images.maxDPI / 72.0 / twipsPerPoint;
        }
        // The recording stops short of `last` by itself; this holds it to it
        // whatever it draws.
        const CharacterLimit limit(last);
        document.WithPage(page, [&](fz_context* context, fz_page* loaded) {
            recorded = RecordVectorPage(context, loaded, transform, *state->resources, options);
        });
    } catch (const FCharacterIDLimitReached&) {
        state->RetireResources(before);
        slide.whyRaster = kMoreCharactersThanLeft;
        slide.outOfCharacters = true;
        return slide;
    } catch (const std::exception& failure) {
        const bool outOfCharacters = FLastCharacterID() + kPageSpriteCharacters >= last;
        state->RetireResources(before);
        slide.whyRaster = outOfCharacters
                              ? kMoreCharactersThanLeft
                              : std::string("it cannot be drawn as vectors (") + Printable(failure.what()) + ")";
        slide.outOfCharacters = outOfCharacters;
        return slide;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (document.Said().Count() > 0)
        slide.damage = Printable(document.Said().First());
    else if (!recorded.summary.damage.empty())
        slide.damage = Printable(recorded.summary.damage);
    slide.substitutedFonts = std::move(recorded.substitutedFonts);
    for (FontSubstitution& font : slide.substitutedFonts) {
        font.font = Printable(font.font);
        font.substitute = Printable(font.substitute);
        font.failure = Printable(font.failure);
    }

    const VectorPageSummary& summary = recorded.summary;
    if (!summary.overBudget.empty()) {
        slide.whyRaster = Printable(summary.overBudget);
    } else if (summary.NeedsFallback()) {
        slide.whyRaster = summary.fallbacks.front().reason;
        // The recording stopped for want of characters.
        for (const VectorFallback& fallback : summary.fallbacks)
            if (fallback.reason == kTranslatorOutOfCharacters) {
                slide.whyRaster = kMoreCharactersThanLeft;
                slide.outOfCharacters = true;
            }
    } else if (summary.edges > state->limits.maxEdges) {
        slide.whyRaster = std::to_string(summary.edges) + " edges, more than " + std::to_string(state->limits.maxEdges);
    } else if (seconds > state->limits.maxSeconds) {
        slide.whyRaster = "it took longer than " + std::to_string(static_cast<int>(state->limits.maxSeconds)) + " s";
    } else if (state->LargerThanPicture(page, summary.bytes, shown)) {
        slide.whyRaster = "its vectors would take more bytes than its picture";
    }
    if (!slide.whyRaster.empty()) {
        // Its bitmaps and fonts go with its definitions: a later page defines its own.
        recorded = VectorPage();
        state->DiscardPage(before);
        return slide;
    }
    std::vector<LatePicture> late = state->resources->images.CommitPage();
    if (!late.empty()) state->latePictures.emplace(page, std::move(late));
    state->resources->fonts.CommitPage();
    slide.partly = summary.patches > 0;
    std::vector<std::unique_ptr<FTag>> definitions;
    definitions.reserve(recorded.definitions.size());
    for (auto& tag : recorded.definitions) definitions.push_back(std::move(tag));
    slide.sprite = std::make_unique<PageSprite>(std::move(definitions), std::move(recorded.sprite),
                                                PageSprite::Area{at.xmin, at.ymin, at.xmax, at.ymax});
    return slide;
}

EncodedPage VectorSlides::Render(int32_t page, PixelSize size, const PageEncoding& encoding)
{
    // The page's picture made when its vectors were weighed against it.
    std::optional<State::Weighed> weighed = std::move(state->weighed);
    state->weighed.reset();
    if (weighed && weighed->Of(page, size, encoding)) return std::move(weighed->picture);
    return state->deck.RenderEncoded(*state->document, page, size, encoding);
}

PageLinks VectorSlides::Links(int32_t page, PageArea at)
{
    mupdf::Document& document = *state->document;
    std::vector<mupdf::Link> links;
    mupdf::Bounds bounds;
    std::string base;
    try {
        bounds = document.PageBounds(page);
        links = document.Links(page);
        base = document.BaseURI();
    } catch (const mupdf::Failure&) {
        return {};  // the page itself is checked when it is drawn
    }
    const double sx = (at.xmax - at.xmin) / bounds.Width(), sy = (at.ymax - at.ymin) / bounds.Height();
    const auto x = [&](double points) {
        return static_cast<int32_t>(std::clamp(std::lround(at.xmin + points * sx), long{at.xmin}, long{at.xmax}));
    };
    const auto y = [&](double points) {
        return static_cast<int32_t>(std::clamp(std::lround(at.ymin + points * sy), long{at.ymin}, long{at.ymax}));
    };
    PageLinks found;
    const auto leaveOut = [&](LeftOutLink::Why why, std::string what) {
        found.leftOut.push_back(LeftOutLink{why, std::move(what)});
    };
    for (const mupdf::Link& link : links) {
        PageLink entry{{x(link.area.x0), y(link.area.y0), x(link.area.x1), y(link.area.y1)}, {}, -1};
        // Off the page, or too thin to click.
        if (entry.area.xmax - entry.area.xmin < 20 || entry.area.ymax - entry.area.ymin < 20) continue;
        switch (link.target) {
        case mupdf::Link::Target::Page:
            entry.page = link.page;
            break;
        case mupdf::Link::Target::NoPage:
            leaveOut(LeftOutLink::Why::NoPage, !link.text.empty() ? "to '" + Printable(link.text) + "'"
                                               : link.page >= 0 ? "to page " + std::to_string(int64_t{link.page} + 1)
                                                                : "to an object that is no page");
            continue;
        case mupdf::Link::Target::Action:
            leaveOut(LeftOutLink::Why::Unsafe, link.text == "GoToR" ? "a page of another file"
                                                                    : "a " + Printable(link.text) + " action");
            continue;
        case mupdf::Link::Target::URI: {
            const LinkAddress address = CheckLinkAddress(link.text, base);
            if (address.verdict == LinkAddress::Verdict::Scheme) {
                leaveOut(LeftOutLink::Why::Unsafe, Printable(address.text));
                continue;
            }
            if (address.verdict == LinkAddress::Verdict::Relative) {
                leaveOut(LeftOutLink::Why::Unsafe, "a relative URI without a base");
                continue;
            }
            if (address.verdict == LinkAddress::Verdict::TooLong) {
                leaveOut(LeftOutLink::Why::TooLong, "a URI of " + std::to_string(address.bytes) + " bytes");
                continue;
            }
            entry.uri = address.text;
            break;
        }
        }
        found.kept.push_back(std::move(entry));
    }
    return found;
}

std::string VectorSlides::PictureDamage(int32_t page)
{
    const auto found = state->latePictures.find(page);
    if (found == state->latePictures.end()) return {};
    std::string said;
    for (const LatePicture& picture : found->second) {
        const std::string& one = picture.Said();  // each one done before the page is told of
        if (said.empty()) said = one;
    }
    state->latePictures.erase(found);
    return Printable(said);
}

std::vector<std::unique_ptr<FTag>> VectorSlides::TakeFonts()
{
    std::vector<std::unique_ptr<FTag>> fonts = std::move(state->retiredFonts);
    state->retiredFonts.clear();
    for (auto& font : state->resources->fonts.TakeFonts()) fonts.push_back(std::move(font));
    return fonts;
}
