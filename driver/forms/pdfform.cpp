#include "driver/forms/pdfform.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <deque>
#include <set>
#include <utility>

#include "driver/compose/linkaddress.h"
#include "driver/compose/linkbutton.h"
#include "driver/compose/pagesprite.h"
#include "driver/compose/showcomposer.h"
#include "driver/compose/slidelayout.h"
#include "driver/compose/stoptable.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/slidesize.h"
#include "driver/core/spillfile.h"
#include "driver/forms/pdftimeline.h"
#include "driver/input/configfiles.h"
#include "driver/input/numberedfiles.h"
#include "driver/pdf/pagetransitions.h"
#include "driver/pdf/vectorslides.h"

namespace {

// Vector pages drawn before the first of them goes into the movie: the
// other cores decode and encode their pictures meanwhile, and the page drawn
// next does not wait for those of the page before (a third of the office
// templates' wall time with one page ahead; three hold more memory).
constexpr size_t kPagesDrawnAhead = 2;

// The slide area, wide enough for the buttons under it.
SlideSize SlideArea(const PDFShowRequest& request, const PDFDeck& deck)
{
    const auto narrow = [](SlideSize area) { return area.width < kMinButtonAreaWidth; };
    const std::string tooNarrow = " narrower than the " + std::to_string(kMinButtonAreaWidth) +
                                  " pixels the buttons below it need";
    const auto pixels = [](SlideSize area) {
        return std::to_string(area.width) + " x " + std::to_string(area.height) + " pixels";
    };
    if (request.size) {
        if (narrow(*request.size))
            throw ConverterError("a slide area of " + pixels(*request.size) + " is" + tooNarrow + ": give a wider --size",
                                 kExitUsage);
        return *request.size;
    }
    if (!request.configFile.empty()) {
        const SlideSize area = ReadConfig(request.configFile);
        if (narrow(area))
            throw ConverterError("the slide area of " + pixels(area) + " in '" + request.configFile + "' is" +
                                     tooNarrow + ": give a wider --size",
                                 kExitFailure);
        return area;
    }
    const SlideSize area = PageSizeAt(deck.SizeOf(0), request.dpi);
    const std::string firstPage =
        "the first page of the PDF '" + request.pdfFile + "' at " + std::to_string(request.dpi) + " dpi is " + pixels(area);
    if (area.width > kMaxSlideSide || area.height > kMaxSlideSide) {
        throw ConverterError(firstPage + ", more than " + std::to_string(kMaxSlideSide) +
                                 " a side: give a lower --dpi or a --size",
                             kExitUsage);
    }
    if (narrow(area)) throw ConverterError(firstPage + "," + tooNarrow + ": give a higher --dpi or a --size", kExitUsage);
    return area;
}

// Refused before anything is rendered: the first page larger than a page may be.
void CheckPagePixels(const PDFShowRequest& request, const std::vector<PixelSize>& sizes)
{
    for (size_t page = 0; page < sizes.size(); ++page) {
        const PixelSize size = sizes[page];
        if (int64_t{size.width} * size.height <= kMaxPagePixels) continue;
        throw ConverterError("page " + std::to_string(page + 1) + " of the PDF '" + request.pdfFile +
                                 "' would be rendered at " + std::to_string(size.width) + " x " +
                                 std::to_string(size.height) + " pixels, more than the " +
                                 std::to_string(kMaxPagePixels) + " a page may have: give a lower --dpi or a smaller --size",
                             kExitUsage);
    }
}

// Per page count n, the links and the narrated pages among the first n
// pages, and the show's transitions and timers.
struct CountsBefore {
    std::vector<int32_t> links{0};
    std::vector<int32_t> sounds{0};
    const PDFTimeline* timeline = nullptr;
};

// The characters the first `pages` pages need with these stop points
// (or, for an automatic table, that table for so many pages) and their links.
uint64_t IDsOfFirstPages(int32_t pages, const std::optional<std::vector<int32_t>>& stopTable,
                         const CountsBefore& before)
{
    return CharacterIDsNeeded(pages, stopTable ? *stopTable : StopOnEveryPage(pages), 0,
                              before.sounds[static_cast<size_t>(pages)], ButtonFaces::kShared) +
           uint64_t{kLinkButtonCharacters} * static_cast<uint64_t>(before.links[static_cast<size_t>(pages)]) +
           (before.timeline ? TimelineCharacters(*before.timeline, pages) : 0);
}

// Refused before anything is rendered, with the largest count that fits
// when the first n pages need `idsOfFirst(n)` characters; `counted` says
// what they are counted with besides the stop points.
void CheckPagesFit(const PDFShowRequest& request, int32_t pages, const std::function<uint64_t(int32_t)>& idsOfFirst,
                   const std::string& counted)
{
    if (pages <= kMaxSlideCount && idsOfFirst(pages) <= kMaxCharacterIDs) return;
    int32_t low = 0;  // fits
    int32_t high = std::min(pages, kMaxSlideCount) + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (idsOfFirst(middle) <= kMaxCharacterIDs ? low : high) = middle;
    }
    throw ConverterError("the PDF '" + request.pdfFile + "' has " + std::to_string(pages) + " pages; at most " +
                             std::to_string(low) + " fit in one movie with these stop points" + counted,
                         kExitFailure);
}

// As soon as the PDF is open, before a page is read: what its count needs
// with the stop points alone. Links and narration need more (CheckPagesFit,
// once the pages are read), so fewer may fit than this says.
void CheckPageCountFits(const PDFShowRequest& request, int32_t pages,
                        const std::optional<std::vector<int32_t>>& stopTable)
{
    CheckPagesFit(request, pages, [&](int32_t first) {
        return CharacterIDsNeeded(first, stopTable ? *stopTable : StopOnEveryPage(first), 0, 0, ButtonFaces::kShared);
    }, "");
}

// A line for each kind of link a page leaves out, naming what they went to.
void WarnOfLeftOutLinks(const std::function<void(const std::string&)>& warn, const std::string& page,
                        const std::vector<LeftOutLink>& leftOut)
{
    static const std::pair<LeftOutLink::Why, std::string> kReasons[] = {
        {LeftOutLink::Why::Unsafe, "only http, https and mailto links and links to the PDF's pages are kept"},
        {LeftOutLink::Why::NoPage, "the PDF has no such page"},
        {LeftOutLink::Why::TooLong, "a link's URI may have at most " + std::to_string(kMaxLinkAddressBytes) + " bytes"},
    };
    constexpr size_t kNamedAtMost = 4;
    for (const auto& [why, reason] : kReasons) {
        size_t count = 0;
        std::vector<std::string> named;
        for (const LeftOutLink& link : leftOut) {
            if (link.why != why) continue;
            ++count;
            if (std::find(named.begin(), named.end(), link.what) == named.end()) named.push_back(link.what);
        }
        if (count == 0) continue;
        std::string list;
        for (size_t n = 0; n < std::min(named.size(), kNamedAtMost); ++n) list += (n > 0 ? ", " : "") + named[n];
        if (named.size() > kNamedAtMost) list += ", ...";
        warn(page + ": " + (count == 1 ? std::string("1 link is") : std::to_string(count) + " links are") +
             " left out (" + list + "): " + reason);
    }
}

PageArea AreaOf(const SlidePlacement& at)
{
    return PageArea{at.xmin, at.ymin, at.xmax, at.ymax};
}

// Where a page lies in the slide area, in twips: a vector page fills the
// area itself, to its edges, its aspect kept and centred; a picture of it on
// whole stage pixels (PlacePicture).
PageArea PlacePage(PageSize points, SlideSize area, bool raster)
{
    if (raster) return AreaOf(PlacePicture(points, area).at);
    const double width = area.width * double{FTwipsPerPixel}, height = area.height * double{FTwipsPerPixel};
    const double scale = std::min(width / points.width, height / points.height);
    const auto xmin = static_cast<int32_t>(std::lround((width - points.width * scale) / 2));
    const auto ymin = static_cast<int32_t>(std::lround((height - points.height * scale) / 2));
    return PageArea{xmin, ymin, static_cast<int32_t>(std::lround(width)) - xmin,
                    static_cast<int32_t>(std::lround(height)) - ymin};
}

// A page's links as buttons over it: a URI opens in a new window, a page of
// the deck is its own frame (`ownFrames`, empty: the page's index).
std::vector<std::unique_ptr<HFObject>> LinkButtons(const std::vector<PageLink>& links,
                                                   const std::vector<int32_t>& ownFrames)
{
    std::vector<std::unique_ptr<HFObject>> buttons;
    for (const PageLink& link : links) {
        const LinkButton::Area area{link.area.xmin, link.area.ymin, link.area.xmax, link.area.ymax};
        if (link.uri.empty()) {
            buttons.push_back(LinkButton::ToFrame(
                area, ownFrames.empty() ? link.page : ownFrames.at(static_cast<size_t>(link.page))));
        } else {
            buttons.push_back(LinkButton::ToURI(area, link.uri));
        }
    }
    return buttons;
}

// A page drawn as a picture in the vector form when vectors fall short: at
// its shown size, or as near as a page's pixels allow.
PixelSize RasterSize(PixelSize shown)
{
    const double pixels = static_cast<double>(shown.width) * shown.height;
    if (pixels <= static_cast<double>(kMaxPagePixels)) return shown;
    const double scale = std::sqrt(static_cast<double>(kMaxPagePixels) / pixels);
    return PixelSize{std::max(static_cast<int32_t>(shown.width * scale), 1),
                     std::max(static_cast<int32_t>(shown.height * scale), 1)};
}

std::string PageOf(const PDFShowRequest& request, int32_t page)
{
    return "page " + std::to_string(page + 1) + " of the PDF '" + request.pdfFile + "'";
}

}  // namespace

std::string PDFStopFileName(const std::string& pdfFile)
{
    return std::filesystem::path(pdfFile).replace_extension(".stp").string();
}

SlideSize PageSizeAt(PageSize points, int32_t dpi)
{
    const auto pixels = [dpi](double length) {
        return static_cast<int32_t>(std::clamp(std::lround(length * dpi / 72), 1L, 1'000'000'000L));
    };
    return SlideSize{pixels(points.width), pixels(points.height)};
}

PagePicture PlacePicture(PageSize points, SlideSize area)
{
    const double scale = std::min(area.width / points.width, area.height / points.height);
    const auto pixels = [scale](double length, int32_t side) {
        return static_cast<int32_t>(std::clamp(std::lround(length * scale), 1L, long{side}));
    };
    const int32_t width = pixels(points.width, area.width), height = pixels(points.height, area.height);
    const int32_t left = (area.width - width) / 2, top = (area.height - height) / 2;
    PagePicture picture;
    picture.pixels = PixelSize{width, height};
    picture.at = SlidePlacement{left * FTwipsPerPixel, top * FTwipsPerPixel, (left + width) * FTwipsPerPixel,
                                (top + height) * FTwipsPerPixel, width == area.width && height == area.height};
    return picture;
}

SlideShowResult GeneratePDFMovie(const PDFShowRequest& request)
{
    // The engine opens the PDF by name and would wait on a FIFO for ever.
    CheckInputFile(request.pdfFile, "PDF");
    std::optional<std::vector<int32_t>> stopTable;
    std::string stopsFile = request.stopsFile;
    if (std::error_code error; stopsFile.empty() && std::filesystem::exists(PDFStopFileName(request.pdfFile), error))
        stopsFile = PDFStopFileName(request.pdfFile);
    // A PDF of more pages than a movie holds is refused before its pages are read.
    const PDFDeck deck(
        request.pdfFile,
        [&](int32_t count) {
            if (!stopsFile.empty()) stopTable = ReadStopPoints(stopsFile);
            CheckPageCountFits(request, count, stopTable);
        },
        request.parts);
    const int32_t pages = deck.PageCount();
    const auto warn = [&](const std::string& message) {
        if (request.warn) request.warn(message);
    };
    if (!deck.Repair().empty()) {
        warn("the PDF '" + request.pdfFile + "' is damaged and was repaired (" + deck.Repair() +
             "): pages may be missing or incomplete");
    }

    // Found (not yet decoded) before any page is rendered.
    std::vector<std::string> narrationFiles;
    if (!request.narrationPrefix.empty()) narrationFiles = FindNarrationFiles(request.narrationPrefix, pages, "page");

    // Read before any page is drawn: the frames transitions take decide
    // every page's own frame, which links and backward buttons go to.
    std::vector<PageTiming> timings;
    if (request.transitions || request.timings) {
        std::string failure;
        timings = ReadPageTimings(deck, &failure);
        if (!failure.empty())
            warn("the PDF '" + request.pdfFile + "': its pages' transitions and durations cannot be read (" +
                 failure + "): the show has none");
    }
    std::vector<std::vector<size_t>> namedStops;
    if (stopTable) namedStops = StopPositionsPerFrame(pages, *stopTable);
    const PDFTimeline timeline =
        PlanTimeline(timings, pages, request.transitions, request.timings, stopTable ? &namedStops : nullptr);
    if (timeline.transitionsLeftOut)
        warn("the PDF '" + request.pdfFile + "': its transitions are left out: with them the movie would have more than " +
             std::to_string(kMaxSlideCount + 2) + " frames");

    const SlideSize area = SlideArea(request, deck);
    std::vector<PixelSize> sizes;
    sizes.reserve(static_cast<size_t>(pages));
    for (int32_t page = 0; page < pages; ++page) sizes.push_back(PlacePicture(deck.SizeOf(page), area).pixels);
    // Vector pages need no pixels; those drawn as pictures after all are
    // drawn with as many as a page may have.
    if (request.raster) CheckPagePixels(request, sizes);

    // Every page replaces the one before: no page needs a matte, and links
    // come off the stage with their page.
    VectorSlides vectors(deck, VectorPageLimits{}, VectorImageSettings{request.encoding.jpeg.quality, request.maxImageDPI});
    std::vector<std::vector<PageLink>> links;
    std::vector<std::vector<LeftOutLink>> leftOut;
    CountsBefore before;
    before.timeline = &timeline;
    for (int32_t page = 0; page < pages; ++page) {
        PageLinks found = vectors.Links(page, PlacePage(deck.SizeOf(page), area, request.raster));
        links.push_back(std::move(found.kept));
        leftOut.push_back(std::move(found.leftOut));
        before.links.push_back(before.links.back() + static_cast<int32_t>(links.back().size()));
        const bool narrated = !narrationFiles.empty() && !narrationFiles[static_cast<size_t>(page)].empty();
        before.sounds.push_back(before.sounds.back() + (narrated ? 1 : 0));
    }
    CheckPagesFit(request, pages, [&](int32_t first) { return IDsOfFirstPages(first, stopTable, before); },
                  before.sounds.back() > 0 ? ", links and narration" : " and links");

    MadeShowRequest made;
    made.outputFile = request.outputFile;
    made.forwardFile = request.forwardFile;
    made.backwardFile = request.backwardFile;
    made.stopTable = stopTable ? std::move(*stopTable) : StopOnEveryPage(pages);
    made.stopsFile = stopsFile;
    // A deck's closing page is read before the notice covers it.
    made.stopLast = true;
    made.area = area;
    made.slideCount = pages;
    made.keys = request.keys;
    made.narrationFiles = std::move(narrationFiles);
    made.narration = request.narration;
    made.describeSlide = [&request](int32_t n) { return PageOf(request, n - 1); };
    made.replaceSlides = true;
    made.ownFrames = timeline.ownFrames;
    made.frameRate = timeline.frameRate;
    // What the show draws besides vector content, all pages as pictures:
    // vector pages draw theirs from what is left.
    const uint64_t showIDs = CharacterIDsNeeded(pages, made.stopTable, 0, before.sounds.back(), ButtonFaces::kShared) +
                             uint64_t{kLinkButtonCharacters} * static_cast<uint64_t>(before.links.back()) +
                             TimelineCharacters(timeline, pages);
    MadeShowComposer composer(std::move(made));
    // Once a page: its pictures may say so again when they are decoded.
    std::set<int32_t> damageTold;
    const auto warnOfDamage = [&](int32_t page, const std::string& damage) {
        if (damage.empty() || !damageTold.insert(page).second) return;
        warn(PageOf(request, page) + " is damaged (" + damage + "): it may be blank or incomplete");
    };
    // Once a font for the whole deck: a font is commonly shared by every page.
    std::set<std::pair<std::string, bool>> fontsTold;
    const auto warnOfFonts = [&](int32_t page, const std::vector<FontSubstitution>& fonts) {
        for (const FontSubstitution& font : fonts) {
            if (!fontsTold.insert({font.font, font.embedded}).second) continue;
            // Said where it makes a difference: in the raster form every page is a picture.
            const std::string picture =
                font.asPicture && !request.raster ? " as a picture (its licence does not allow embedding it)" : "";
            if (!font.embedded) {
                warn("the PDF '" + request.pdfFile + "' does not embed the font '" + font.font +
                     "': it is drawn with '" + font.substitute + "'" + picture);
            } else {
                warn(PageOf(request, page) + ": the embedded font '" + font.font + "' cannot be loaded" +
                     (font.failure.empty() ? "" : " (" + font.failure + ")") + ": its text is drawn with '" +
                     font.substitute + "'" + picture);
            }
        }
    };
    const auto tellCarried = [&]() {
        const std::string carried = CarriedSummary(timeline, before.links.back());
        if (request.tell && !carried.empty()) request.tell("carried from the PDF: " + carried);
    };
    // Progress counts the pages' pictures as pictures are made, and the movie
    // composed so far as vector pages are drawn.
    int32_t composed = 0;
    uint64_t pictureBytes = 0;
    const auto add = [&](MadeSlide&& slide) {
        slide.transition = timeline.transitions[static_cast<size_t>(composed)];
        slide.seconds = timeline.seconds[static_cast<size_t>(composed)];
        composer.Add(std::move(slide));
        ++composed;
        if (request.onPageComposed)
            request.onPageComposed(composed, pages, request.raster ? pictureBytes : composer.MovieLength());
    };

    if (request.raster) {
        const bool lossless = request.encoding.format == PageEncoding::Format::Lossless;
        // Lossless pages can compress to many mebibytes: their bytes wait on
        // disk as they are made, not in memory until the movie takes them.
        std::unique_ptr<SpillFile> spill;
        if (lossless) spill = std::make_unique<SpillFile>("rendered pages");
        RenderPDFPages(deck, sizes, request.encoding, [&](int32_t number, EncodedPage&& page) {
            warnOfDamage(number, page.damage);
            warnOfFonts(number, page.substitutedFonts);
            WarnOfLeftOutLinks(warn, PageOf(request, number), leftOut[static_cast<size_t>(number)]);
            MadeSlide slide;
            slide.size = SlideSize{page.width, page.height};
            if (lossless) {
                pictureBytes += page.lossless.zlibData.size();
                for (const FSWFFileRegion& piece : page.lossless.spilled) pictureBytes += static_cast<uint64_t>(piece.size);
                slide.image = std::move(page.lossless);
            } else {
                pictureBytes += page.jpeg.size();
                slide.image = std::move(page.jpeg);
            }
            slide.placement = PlacePicture(deck.SizeOf(number), area).at;
            slide.over = LinkButtons(links[static_cast<size_t>(number)], timeline.ownFrames);
            add(std::move(slide));
        }, 0, nullptr, spill.get());
        tellCarried();
        return composer.Write();
    }

    // Recorded in page order on this thread: recording draws character IDs.
    uint64_t vectorIDsLeft = kMaxCharacterIDs > showIDs ? kMaxCharacterIDs - showIDs : 0;
    bool budgetSpent = false;
    bool toldOutOfCharacters = false;
    int32_t vectorPages = 0, partlyRaster = 0;
    // A page goes into the movie once the pages after it are drawn: its
    // pictures are decoded and encoded on the other cores meanwhile.
    std::deque<std::pair<int32_t, MadeSlide>> drawn;
    const auto addOldest = [&] {
        auto& [number, slide] = drawn.front();
        warnOfDamage(number, vectors.PictureDamage(number));
        add(std::move(slide));
        drawn.pop_front();
    };
    for (int32_t page = 0; page < pages; ++page) {
        const size_t index = static_cast<size_t>(page);
        const PageArea at = PlacePage(deck.SizeOf(page), area, false);
        VectorSlide recorded;
        if (!budgetSpent) {
            const uint16_t idsBefore = FLastCharacterID();
            recorded = vectors.Record(page, at, RasterSize(sizes[index]),
                                      static_cast<uint32_t>(std::min<uint64_t>(vectorIDsLeft, 0xFFFF)));
            // What the sprite draws when placed, counted now.
            const uint64_t placedIDs = recorded.sprite ? kPageSpriteCharacters : 0;
            vectorIDsLeft -= std::min<uint64_t>(vectorIDsLeft, FLastCharacterID() - idsBefore + placedIDs);
            warnOfDamage(page, recorded.damage);
            warnOfFonts(page, recorded.substitutedFonts);
            if (recorded.budgetSpent) {
                budgetSpent = true;
                warn(PageOf(request, page) +
                     " and the pages after it are drawn as pictures: as vectors the movie would need more than " +
                     std::to_string(kMaxCharacterIDs) + " characters");
            } else if (!recorded.sprite && recorded.outOfCharacters) {
                // Once: when characters run short, many pages may.
                if (!toldOutOfCharacters)
                    warn(PageOf(request, page) + " is drawn as a picture: " + recorded.whyRaster +
                         " (and so is any later page that would)");
                toldOutOfCharacters = true;
            } else if (!recorded.sprite) {
                // Every page drawn as a picture says why, a limit it ran over,
                // what SWF cannot draw, or that its picture is the smaller.
                warn(PageOf(request, page) + " is drawn as a picture: " + recorded.whyRaster);
            }
        }
        MadeSlide slide;
        if (recorded.sprite) {
            slide.size = SlideSize{sizes[index].width, sizes[index].height};
            slide.drawing = std::move(recorded.sprite);
            ++(recorded.partly ? partlyRaster : vectorPages);
        } else {
            PageEncoding encoding;
            encoding.jpeg.quality = request.encoding.jpeg.quality;
            EncodedPage picture = vectors.Render(page, RasterSize(sizes[index]), encoding);
            if (budgetSpent) {
                warnOfDamage(page, picture.damage);
                warnOfFonts(page, picture.substitutedFonts);
            }
            slide.size = SlideSize{picture.width, picture.height};
            slide.image = std::move(picture.jpeg);
            slide.placement = PlacePicture(deck.SizeOf(page), area).at;
        }
        WarnOfLeftOutLinks(warn, PageOf(request, page), leftOut[index]);
        for (std::unique_ptr<HFObject>& button : LinkButtons(links[index], timeline.ownFrames))
            slide.over.push_back(std::move(button));
        drawn.emplace_back(page, std::move(slide));
        if (drawn.size() > kPagesDrawnAhead) addOldest();
    }
    while (!drawn.empty()) addOldest();
    composer.AddLeadingDefinitions(vectors.TakeFonts());
    if (request.tell) {
        request.tell("pages: " + std::to_string(vectorPages) + " vector, " + std::to_string(partlyRaster) +
                     " partly raster, " + std::to_string(pages - vectorPages - partlyRaster) + " raster");
    }
    tellCarried();
    return composer.Write();
}
