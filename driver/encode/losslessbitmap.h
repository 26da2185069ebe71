#pragma once

// Pictures as lossless bitmaps: colour-mapped where they have at most 256
// colours, else 32-bit, compressed in zlib's format apart from the movie (on
// all cores for a deck's slides, see orderedpool.h); the movie then holds only
// the compressed bytes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hf/hfbitmap.h"
#include "swf/ffileregion.h"

class DecodeBudget;
class SpillFile;

// An image encoded as the payload of a lossless bitmap tag.
struct LosslessSlide {
    uint8_t format = 5;     // 3: 8-bit colour-mapped, 5: 32-bit
    bool alpha = false;     // DefineBitsLossless2: some pixel is not opaque
    int32_t width = 0;      // pixels
    int32_t height = 0;
    // Colour-table entries for format 3 (1 to 256), 0 for format 5: the count
    // the bitmap tag takes, which writes it less one.
    uint32_t colorTableEntries = 0;
    // The colour table (RGB, or RGBA with alpha) and the pixels (rows padded
    // to 32 bits for format 3; ARGB for format 5), as one zlib stream. Colours
    // are premultiplied by their alpha, as the player composites them.
    std::vector<uint8_t> zlibData;
    // Or, for a slide encoded into a spill file, the same stream there, in
    // pieces in order (zlibData is then empty).
    std::vector<FSWFFileRegion> spilled;
};

// The zlib level slides are compressed at when they are streamed (32-bit
// slides, at kTrueColourSlideLevel at least, and colour-mapped ones too large
// to be compressed whole, below). Without the PNG filters the
// raw rows need zlib's lazy matching to find the row above: the fast levels
// give colour-mapped slides 1.5 to 2.5 times their size at this one, and level
// 9 takes four times as long for a fifth less.
constexpr int kLosslessSlideLevel = 6;

// 32-bit slides are streamed at this level at least. Their rows, unfiltered,
// are found again in the row above only by the longer searches: slides over
// a gradient come out 4% smaller than at level 6 for a third more time,
// smaller than libdeflate makes them at level 9 from the whole picture, in
// about its time. Level 9 saves 1% more for a fifth more time, libdeflate's
// near-optimal levels 6% in twenty times as long; photographs take 5% longer.
// At this level the search is tuned for such rows (pngslide.cpp), which
// makes them 0.7% smaller again in the same time.
constexpr int kTrueColourSlideLevel = 8;

// A colour-mapped slide whose colour numbers and compressed bytes fit in half
// the shared decoding budget (decodebudget.h) is compressed whole, by
// libdeflate, in zlib's format, at this level: 2% smaller than zlib's level 6
// above in three quarters of its time (level 6 is faster still but 4% larger,
// level 8 twice as slow for 1% less). 32-bit slides stream through zlib
// (above): libdeflate would need the whole picture in memory and be no
// smaller for its time. (The order of a colour table changes no
// match and no code length, so sorting it gains nothing.)
constexpr int kMappedWholeLevel = 7;

// A picture held whole in memory by its caller (a PDF page's) that has more
// than 256 colours is compressed whole by libdeflate at this level: its
// translucent pictures took a third of a real deck's conversion through
// zlib's long search, at about 3.5 MB a second.
constexpr int kARGBWholeLevel = 6;

// Where a slide's colour numbers (a quarter of its 32-bit pixels, held while
// it may still be colour-mapped) are kept: in memory, compressed whole at the
// end; in memory, streamed through zlib; or, for a slide whose numbers do not
// fit in half the budget, written row by row to a temporary file of their
// own and read back, so that no slide holds memory in proportion to its size.
enum class ColourNumbers { kWhole, kMemory, kSpilled };
ColourNumbers ColourNumbersFor(int32_t width, int32_t height, uint64_t budgetBytes);
// Whether such a slide, if colour-mapped, is compressed whole.
bool CompressedWhole(int32_t width, int32_t height, uint64_t budgetBytes);
// The bytes a slide of this size holds while it is encoded, besides the
// decoder's: its colour numbers where kept in memory, and for one compressed
// whole room for as many compressed bytes.
uint64_t LosslessEncodingBytes(int32_t width, int32_t height, ColourNumbers place);

// Straight (not premultiplied) RGBA8 pixels, rows back to back. Format 3 when
// the picture has at most 256 distinct colours, else 5. Thread-safe. The
// encoding's memory is drawn from `budget` (null: the shared one).
LosslessSlide EncodeLosslessRGBA(const uint8_t* rgba, int32_t width, int32_t height,
                                 int zlibLevel = kLosslessSlideLevel, DecodeBudget* budget = nullptr);
// The same for a caller already holding LosslessEncodingBytes(width, height,
// place) of the budget beside its own (a worker takes one share at a time).
// The same for a picture whose straight RGBA the caller holds whole anyway:
// compressed whole in either form where `place` is kWhole (kARGBWholeLevel).
LosslessSlide EncodeLosslessPicture(const uint8_t* rgba, int32_t width, int32_t height, ColourNumbers place);
LosslessSlide EncodeLosslessRGBAWithin(const uint8_t* rgba, int32_t width, int32_t height, int zlibLevel,
                                       ColourNumbers place);

// The same encoding for a picture handed over a row at a time, top down, so
// that the caller need hold only a few rows: RGBA rows (straight alpha), or
// RGB rows each followed by one byte more that can be read. The caller holds
// LosslessEncodingBytes(width, height, place) of the budget for it. With
// `spill`, the compressed bytes go there as they are made, as EncodePNGSlide's
// do (`label` names them in messages).
class LosslessRowEncoder {
public:
    LosslessRowEncoder(int32_t width, int32_t height, int zlibLevel, ColourNumbers place, SpillFile* spill = nullptr,
                       std::string label = {});
    ~LosslessRowEncoder();
    LosslessRowEncoder(const LosslessRowEncoder&) = delete;
    LosslessRowEncoder& operator=(const LosslessRowEncoder&) = delete;

    void AddRow(const uint8_t* row, int channels);
    // Once every row is in.
    LosslessSlide Finish();

private:
    struct State;
    std::unique_ptr<State> state;
};

// The slide as a bitmap filling (xmin, ymin)–(xmax, ymax) twips, its bitmap
// tag taking the compressed bytes (or their pieces of the spill file) over.
std::unique_ptr<HFBitmap> MakeLosslessBitmap(LosslessSlide&& slide, int32_t xmin, int32_t ymin,
                                             int32_t xmax, int32_t ymax);
