#pragma once

// A PDF deck's pages as vector pages for the show: recorded in order on the
// calling thread (recording draws character IDs and fills movie-wide tables),
// each checked against the limits that send a page to the raster path.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/pdf/fontsubstitution.h"
#include "driver/pdf/rasterpages.h"
#include "hf/hfobject.h"
#include "driver/compose/pagesprite.h"
#include "swf/fswfstream.h"

// When a page is drawn as a picture instead: past any of these, or when it
// draws what SWF cannot hold.
struct VectorPageLimits {
    // Edge records of its shapes.
    uint32_t maxEdges = 100'000;
    // Recording time, in seconds.
    double maxSeconds = 2.0;
    // Its vector bytes, the pictures on it apart, against those of its
    // picture at the pixel size it is shown at, a JPEG at the pictures'
    // quality (false: not compared).
    bool compareWithPicture = true;
    // Pictures covering what SWF cannot draw (areas apart from one another).
    uint32_t maxPatches = 32;
};

// How the pictures on vector pages are stored.
struct VectorImageSettings {
    // JPEG quality where a picture is stored as a JPEG (the smaller of
    // lossless and JPEG); pages drawn whole as pictures use it too.
    int32_t jpegQuality = 90;
    // At most this many pixels an inch of the page, across and down, of the
    // place a picture is drawn in (0: no cap).
    int32_t maxDPI = 0;
};

// Where a page lies in the slide area, in twips (FitSlide's rectangle).
struct PageArea {
    int32_t xmin, ymin, xmax, ymax;
};

struct VectorSlide {
    // The page's sprite, to be placed at the slide's depth; null when the
    // page is to be drawn as a picture (`whyRaster` says why).
    std::unique_ptr<HFObject> sprite;
    std::string whyRaster;
    // With a sprite: what SWF cannot hold is covered by the page's picture
    // of it, inside the sprite.
    bool partly = false;
    // The character budget is spent: the pages after it have nothing left
    // to be drawn with. (A page that would go past it gives back what it
    // took, and only it is drawn as a picture.)
    bool budgetSpent = false;
    // Without a sprite: it would have drawn more characters than the movie
    // has left (it gave back those it drew).
    bool outOfCharacters = false;
    // What MuPDF said of damage it drew the page despite (empty: none).
    std::string damage;
    // Fonts its text is drawn in that the PDF does not give (not embedded,
    // or embedded but unreadable): also when the page is drawn as a picture.
    std::vector<FontSubstitution> substitutedFonts;
};

// A link of a page as a button over its rectangle, in twips.
struct PageLink {
    PageArea area;
    std::string uri;   // empty for a page of the deck; else ASCII, at most kMaxLinkAddressBytes
    int32_t page = -1;  // from 0
};

// A link of a page that the show leaves out, and why.
struct LeftOutLink {
    enum class Why {
        Unsafe,   // to what the show opens no link to: `what` names it ("javascript:", "a Launch action")
        NoPage,   // to a page the PDF does not have: `what` names it ("to page 12", "to 'intro'")
        TooLong,  // to a URI longer than kMaxLinkAddressBytes: `what` gives its length ("a URI of 9000 bytes")
    };
    Why why = Why::Unsafe;
    std::string what;
};

struct PageLinks {
    std::vector<PageLink> kept;
    std::vector<LeftOutLink> leftOut;  // of the links on the page, in the page's order
};

class VectorSlides {
public:
    VectorSlides(const PDFDeck& deck, VectorPageLimits limits, VectorImageSettings images = {});
    ~VectorSlides();
    VectorSlides(const VectorSlides&) = delete;
    VectorSlides& operator=(const VectorSlides&) = delete;

    // The page (from 0) recorded into `at`, shown at `shown` pixels (the
    // size of its pictures where vectors fall short), drawing at most
    // `characters` character IDs, those its sprite draws when it is placed
    // (kPageSpriteCharacters) counted in. Bitmaps go into the movie with
    // the page's sprite only: a page drawn as a picture defines none.
    VectorSlide Record(int32_t page, PageArea at, PixelSize shown, uint32_t characters);

    // The page as a picture, as the raster form renders it.
    EncodedPage Render(int32_t page, PixelSize size, const PageEncoding& encoding);

    // The page's links over `at`: to pages of the deck, and to http, https
    // and mailto URIs (relative ones resolved against the PDF's base).
    // Links off the page or too thin to click are neither kept nor left out.
    PageLinks Links(int32_t page, PageArea at);

    // What MuPDF said decoding the pictures of `page` (recorded as vectors)
    // that were decoded on another core; empty when nothing. Waits for them.
    std::string PictureDamage(int32_t page);

    // The fonts of every page recorded: once all are, before any of them is shown.
    std::vector<std::unique_ptr<FTag>> TakeFonts();

private:
    struct State;
    std::unique_ptr<State> state;
};
