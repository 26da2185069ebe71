#include "driver/encode/losslessbitmap.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "base/fassert.h"
#include "driver/core/decodebudget.h"
#include "driver/core/error.h"
#include "driver/core/spillfile.h"
#include "driver/core/threadcache.h"

namespace {

// Colours premultiplied by alpha, as the player composites lossless bitmaps
// with alpha; opaque colours are unchanged. Bytes R, G, B, A from the low end.
uint32_t Premultiplied(uint32_t rgba)
{
    const uint32_t a = rgba >> 24;
    if (a == 255) return rgba;
    // c x a / 255, rounded, exactly for every 8-bit c and a.
    const auto scale = [a](uint32_t c) {
        const uint32_t t = c * a + 128;
        return (t + (t >> 8)) >> 8;
    };
    return scale(rgba & 0xFF) | scale((rgba >> 8) & 0xFF) << 8 | scale((rgba >> 16) & 0xFF) << 16 | a << 24;
}

uint32_t LoadRGBA(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Up to 256 colours numbered in order of first appearance, kept in a small
// open-addressing table: a slide has millions of pixels and few colours.
class Palette {
public:
    Palette() { slotIndex.fill(-1); }

    // The colour's number, or -1 when it would be the 257th.
    int Find(uint32_t colour)
    {
        size_t slot = (colour * 0x9E3779B1u) >> (32 - kSlotBits);
        for (;;) {
            const int index = slotIndex[slot];
            if (index < 0) {
                if (count == 256) return -1;
                slotKey[slot] = colour;
                slotIndex[slot] = static_cast<int16_t>(count);
                colours[count] = colour;
                return count++;
            }
            if (slotKey[slot] == colour) return index;
            slot = (slot + 1) & (kSlots - 1);
        }
    }
    int Count() const { return count; }
    uint32_t Colour(int index) const { return colours[static_cast<size_t>(index)]; }

private:
    static constexpr int kSlotBits = 10;  // a quarter full at most: short probes
    static constexpr size_t kSlots = size_t{1} << kSlotBits;
    std::array<uint32_t, kSlots> slotKey{};
    std::array<int16_t, kSlots> slotIndex{};
    std::array<uint32_t, 256> colours{};
    int count = 0;
};

// zlib's own search parameters for each level (good, lazy, nice, chain)
// except that a match may always run on to the longest deflate allows. The
// raw rows have no PNG filters: at a run's end the match that goes on is the
// row above, and at zlib's own lengths the search stops before it is found
// (32-bit slides come out a fifth larger, for a tenth less time).
struct SearchTuning {
    int good, lazy, chain;
};
constexpr std::array<SearchTuning, 10> kSearchTuning{{{0, 0, 0}, {4, 4, 4}, {4, 5, 8}, {4, 6, 32}, {4, 4, 16},
                                                     {8, 16, 32}, {8, 16, 128}, {8, 32, 256}, {32, 128, 1024},
                                                     {32, 258, 4096}}};
constexpr int kLongestMatch = 258;

// 32-bit rows at kTrueColourSlideLevel: a chain four times level 8's finds
// the row above in a full-HD slide's anti-aliased text, while a match of two
// pixels already stops the lazy search for a longer one and shortens the
// chain. Slides over a gradient come out 0.7% smaller than at level 8's own
// search in a tenth less time (a lazy search up to 258 saves 0.2% more for a
// quarter more time; one stopping at 4 loses as much where one-pixel matches
// abound); photographs come out the same.
constexpr SearchTuning kTrueColourTuning{8, 8, 4096};

// Where a slide's compressed bytes go as they are made: memory, or the spill
// file in pieces.
class CompressedBytes {
public:
    CompressedBytes(SpillFile* spill, std::string label) : spill(spill), label(std::move(label)) {}

    void Put(const uint8_t* data, size_t size)
    {
        if (!spill) {
            memory.insert(memory.end(), data, data + size);
            return;
        }
        for (size_t done = 0; done < size;) {
            const size_t part = std::min(size - done, SpillFile::kLargestPiece);
            pieces.push_back(spill->Append(data + done, part, label));
            done += part;
        }
    }

    bool Empty() const { return memory.empty() && pieces.empty(); }
    // Another, empty, for the same place.
    CompressedBytes Emptied() const { return CompressedBytes(spill, label); }

    // Hands every byte put so far, in order, to `use`.
    void ReadBack(const std::function<void(const uint8_t*, size_t)>& use) const
    {
        if (!memory.empty()) use(memory.data(), memory.size());
        if (pieces.empty()) return;
        std::vector<uint8_t> buffer(size_t{256} << 10);
        for (const FSWFFileRegion& piece : pieces) {
            std::string error;
            const auto put = [&](const uint8_t* bytes, size_t count) {
                use(bytes, count);
                return true;
            };
            if (!FReadFileRegion(piece, buffer.data(), buffer.size(), put, &error))
                throw ConverterError("cannot read back " + label + ": " + error, kExitFailure);
        }
    }

    void Into(LosslessSlide& slide)
    {
        memory.shrink_to_fit();
        slide.zlibData = std::move(memory);
        slide.spilled = std::move(pieces);
    }

private:
    SpillFile* spill;  // borrowed; null: kept in memory
    std::string label;
    std::vector<uint8_t> memory;
    std::vector<FSWFFileRegion> pieces;
};

// One zlib stream fed in pieces; its output goes on in pieces of a mebibyte.
class Deflater {
public:
    Deflater(int level, CompressedBytes& out)
        : Deflater(level, level >= 1 && level <= 9 ? &kSearchTuning[static_cast<size_t>(level)] : nullptr, out)
    {
    }
    // With the search of `tuning` instead of the level's own (none: zlib's).
    Deflater(int level, const SearchTuning* tuning, CompressedBytes& out) : out(out)
    {
        const int ret = deflateInit(&stream, level);
        if (ret == Z_MEM_ERROR) throw std::bad_alloc();
        F_ASSERT(ret == Z_OK, "ret == Z_OK");
        if (tuning) deflateTune(&stream, tuning->good, tuning->lazy, kLongestMatch, tuning->chain);
    }
    ~Deflater() { deflateEnd(&stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void Add(const uint8_t* data, size_t size) { Run(data, size, Z_NO_FLUSH); }
    bool Empty() const { return stream.total_in == 0; }

    void Finish()
    {
        Run(nullptr, 0, Z_FINISH);
        Put();
    }

private:
    static constexpr size_t kPiece = size_t{1} << 20;

    void Put()
    {
        if (filled > 0) out.Put(piece.data(), filled);
        filled = 0;
    }

    void Run(const uint8_t* data, size_t size, int flush)
    {
        do {
            // avail_in is 32-bit: larger pieces go in parts.
            const size_t part = std::min<size_t>(size, size_t{1} << 30);
            stream.next_in = const_cast<Bytef*>(data);
            stream.avail_in = static_cast<uInt>(part);
            data += part;
            size -= part;
            const int mode = size == 0 ? flush : Z_NO_FLUSH;
            int ret = Z_OK;
            do {
                if (filled == kPiece) Put();
                // Slides shrink well: the piece grows to its full size only when needed.
                if (filled == piece.size()) piece.resize(std::min(kPiece, std::max<size_t>(piece.size() * 2, 64 << 10)));
                stream.next_out = piece.data() + filled;
                stream.avail_out = static_cast<uInt>(piece.size() - filled);
                ret = deflate(&stream, mode);
                F_ASSERT(ret != Z_STREAM_ERROR, "ret != Z_STREAM_ERROR");
                filled = piece.size() - stream.avail_out;
            } while (mode == Z_FINISH ? ret != Z_STREAM_END : stream.avail_in > 0 || stream.avail_out == 0);
        } while (size > 0);
    }

    z_stream stream{};
    CompressedBytes& out;
    std::vector<uint8_t> piece;
    size_t filled = 0;
};

struct FreeCompressor {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using CompressorPointer = std::unique_ptr<libdeflate_compressor, FreeCompressor>;

// A libdeflate compressor for each level, kept by each thread from slide to
// slide (made for the call where threads keep nothing: `own` holds it then).
libdeflate_compressor* WholeCompressor(int level, CompressorPointer& own)
{
    CORVANEX_THREAD_CACHE std::array<CompressorPointer, 13> compressors;
    auto& compressor = compressors.at(static_cast<size_t>(level));
    if (!compressor) compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) throw std::bad_alloc();
#ifdef _WIN32
    own = std::move(compressor);
    return own.get();
#else
    (void)own;
    return compressor.get();
#endif
}

// Compresses the bytes at once, as one zlib stream.
void CompressWhole(const uint8_t* data, size_t size, int level, CompressedBytes& out)
{
    CompressorPointer own;
    libdeflate_compressor* compressor = WholeCompressor(level, own);
    const size_t room = libdeflate_zlib_compress_bound(compressor, size);
    // Only the pages written become memory.
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(room);
    const size_t made = libdeflate_zlib_compress(compressor, data, size, buffer.get(), room);
    F_ASSERT(made > 0, "made > 0");  // the bound always holds the stream
    out.Put(buffer.get(), made);
}

// RGB or straight RGBA pixels, 8 bits a channel, as RGBA from the low end.
// An RGB pixel is read with one 4-byte load, so an RGB row must be followed
// by one byte more that can be read.
template <int Channels>
uint32_t LoadPixel(const uint8_t* p)
{
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t pixel;
        std::memcpy(&pixel, p, 4);
        return Channels == 4 ? pixel : pixel | 0xFF000000u;
    } else {
        if constexpr (Channels == 4) return LoadRGBA(p);
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | 0xFF000000u;
    }
}

// Room before the colour numbers for the colour table, so that a slide
// compressed whole is one buffer.
constexpr size_t kTableRoom = 256 * 4;

// The colour numbers of a picture too large to hold them in memory, rows
// written as they come to a temporary file of their own (gone with this) and
// read back in order.
class SpilledRows {
public:
    explicit SpilledRows(size_t stride) : stride(stride), row(stride) {}

    uint8_t* Row() { return row.data(); }
    // The row filled through Row() is taken.
    void Commit()
    {
        pending.insert(pending.end(), row.begin(), row.end());
        if (pending.size() >= kChunk) Flush();
    }

    // Hands every row taken, in order, to `use` (as many bytes at a time as
    // come, in order).
    void ForEach(const std::function<void(const uint8_t*, size_t)>& use) const
    {
        std::vector<uint8_t> buffer(kChunk);
        for (const FSWFFileRegion& region : regions) {
            std::string error;
            const auto put = [&](const uint8_t* bytes, size_t count) {
                use(bytes, count);
                return true;
            };
            if (!FReadFileRegion(region, buffer.data(), buffer.size(), put, &error))
                throw ConverterError("cannot read back " + region.path + ": " + error, kExitFailure);
        }
        if (!pending.empty()) use(pending.data(), pending.size());
    }

    // The same a row at a time.
    void ForEachRow(const std::function<void(const uint8_t*)>& use) const
    {
        std::vector<uint8_t> gathered;
        ForEach([&](const uint8_t* bytes, size_t count) {
            while (count > 0) {
                if (gathered.empty() && count >= stride) {
                    use(bytes);
                    bytes += stride;
                    count -= stride;
                    continue;
                }
                const size_t part = std::min(count, stride - gathered.size());
                gathered.insert(gathered.end(), bytes, bytes + part);
                bytes += part;
                count -= part;
                if (gathered.size() == stride) {
                    use(gathered.data());
                    gathered.clear();
                }
            }
        });
    }

private:
    static constexpr size_t kChunk = size_t{1} << 20;

    void Flush()
    {
        if (!file) file = std::make_unique<SpillFile>("colour numbers of a large slide");
        regions.push_back(file->Append(pending.data(), pending.size(), "the colour numbers of a large slide"));
        pending.clear();
    }

    const size_t stride;
    std::vector<uint8_t> row;
    std::vector<uint8_t> pending;
    std::unique_ptr<SpillFile> file;
    std::vector<FSWFFileRegion> regions;
};

// Encodes a picture handed over a row at a time, top down, while the row is
// still in the cache: each row is mapped to colour numbers until the 257th
// colour turns up; from there on rows go to zlib as 32-bit ARGB as they come,
// the rows before rebuilt from their numbers (which stand for premultiplied
// colours, exactly what the 32-bit form holds). The whole picture is never
// held, only its colour numbers, a quarter of it; a colour-mapped slide is
// compressed from them at once when `whole` (libdeflate), else streamed.
class LosslessEncoder {
public:
    // `wholeARGB`: a picture the caller holds whole anyway is compressed
    // whole in its 32-bit form too, by libdeflate.
    LosslessEncoder(int32_t width, int32_t height, int zlibLevel, ColourNumbers place, CompressedBytes& out,
                    bool wholeARGB = false)
        : w(static_cast<size_t>(width)),
          h(static_cast<size_t>(height)),
          stride((w + 3) & ~size_t{3}),
          level(zlibLevel),
          argbLevel(std::max(zlibLevel, kTrueColourSlideLevel)),
          whole(place == ColourNumbers::kWhole),
          wholeARGB(wholeARGB && place == ColourNumbers::kWhole),
          out(out)
    {
        F_ASSERT(width > 0 && height > 0 && width <= 65535 && height <= 65535,
                 "width > 0 && height > 0 && width <= 65535 && height <= 65535");
        if (place == ColourNumbers::kSpilled) {
            spilledRows = std::make_unique<SpilledRows>(stride);
        } else {
            indexBuffer = std::make_unique_for_overwrite<uint8_t[]>(kTableRoom + stride * h);
            indices = indexBuffer.get() + kTableRoom;
        }
    }

    // A row of `channels` (3 or 4) bytes a pixel; see LoadPixel.
    void AddRow(const uint8_t* row, int channels)
    {
        F_ASSERT(rows < h, "rows < h");
        if (channels == 4) {
            AddRowOf<4>(row);
        } else {
            F_ASSERT(channels == 3, "channels == 3");
            AddRowOf<3>(row);
        }
        ++rows;
    }

    LosslessSlide Finish()
    {
        F_ASSERT(rows == h, "rows == h");
        LosslessSlide slide;
        slide.width = static_cast<int32_t>(w);
        slide.height = static_cast<int32_t>(h);
        slide.alpha = translucent;
        if (argbStarted) {
            slide.format = 5;
            if (wholeARGB) {
                CompressWhole(band.data(), bandFilled * w * 4, kARGBWholeLevel, out);
                return slide;
            }
            FlushBand();
            argb->Finish();
            return slide;
        }
        slide.format = 3;
        slide.colorTableEntries = static_cast<uint32_t>(palette.Count());
        const size_t entryBytes = translucent ? 4 : 3;
        const size_t tableBytes = static_cast<size_t>(palette.Count()) * entryBytes;
        std::array<uint8_t, kTableRoom> tableRoom;
        uint8_t* table = indices ? indices - tableBytes : tableRoom.data();
        for (int i = 0; i < palette.Count(); ++i) {
            const uint32_t colour = palette.Colour(i);
            for (size_t b = 0; b < entryBytes; ++b)
                table[static_cast<size_t>(i) * entryBytes + b] = static_cast<uint8_t>(colour >> (8 * b));
        }
        if (spilledRows) {
            Deflater deflater(level, out);
            deflater.Add(table, tableBytes);
            spilledRows->ForEach([&](const uint8_t* bytes, size_t count) { deflater.Add(bytes, count); });
            deflater.Finish();
        } else if (whole) {
            CompressWhole(table, tableBytes + stride * h, kMappedWholeLevel, out);
        } else {
            Deflater deflater(level, out);
            deflater.Add(table, tableBytes + stride * h);
            deflater.Finish();
        }
        return slide;
    }

private:
    template <int Channels>
    void AddRowOf(const uint8_t* row)
    {
        if (!argbStarted) {
            if (MapRow<Channels>(row)) return;
            StartARGB();
        }
        uint8_t* out = NextRow();
        bool withAlpha = translucent;  // a local: the stores below may alias the member
        for (size_t x = 0; x < w; ++x, row += Channels, out += 4) {
            uint32_t pixel = LoadPixel<Channels>(row);
            if constexpr (Channels == 4) {
                pixel = Premultiplied(pixel);
                if ((pixel >> 24) != 255 && !withAlpha) {
                    BecomeTranslucent();
                    withAlpha = true;
                }
            }
            StoreARGB(out, pixel, withAlpha);
        }
    }

    // Runs of one colour (most of a slide) cost one comparison a pixel. False
    // when the row holds a 257th colour: the row is then taken again whole.
    template <int Channels>
    bool MapRow(const uint8_t* row)
    {
        uint8_t* out = spilledRows ? spilledRows->Row() : indices + rows * stride;
        if (rows == 0) last = ~LoadPixel<Channels>(row);  // the first pixel is a new colour
        for (size_t x = 0; x < w;) {
            const uint32_t pixel = LoadPixel<Channels>(row + x * Channels);
            if (pixel != last) {
                const int index = palette.Find(Premultiplied(pixel));
                if (index < 0) return false;
                last = pixel;
                lastIndex = static_cast<uint8_t>(index);
                if constexpr (Channels == 4) translucent |= (pixel >> 24) != 255;
            }
            size_t end = x + 1;
            while (end < w && LoadPixel<Channels>(row + end * Channels) == pixel) ++end;
            std::memset(out + x, lastIndex, end - x);
            x = end;
        }
        std::fill(out + w, out + stride, uint8_t{0});
        if (spilledRows) spilledRows->Commit();
        return true;
    }

    void StartARGB()
    {
        argbStarted = true;
        bandRows = wholeARGB ? h : std::max<size_t>(1, (size_t{256} << 10) / (w * 4));
        band.resize(std::min(bandRows, h) * w * 4);
        if (!wholeARGB) argb = ARGBDeflater();
        std::array<uint32_t, 256> colours{};
        for (int i = 0; i < palette.Count(); ++i) colours[static_cast<size_t>(i)] = palette.Colour(i);
        const auto rebuild = [&](const uint8_t* in) {
            uint8_t* row = NextRow();
            for (size_t x = 0; x < w; ++x, row += 4) StoreARGB(row, colours[in[x]], translucent);
        };
        if (spilledRows) {
            spilledRows->ForEachRow(rebuild);
        } else {
            for (size_t y = 0; y < rows; ++y) rebuild(indices + y * stride);
        }
        indexBuffer.reset();
        indices = nullptr;
        spilledRows.reset();
    }

    std::unique_ptr<Deflater> ARGBDeflater()
    {
        if (argbLevel == kTrueColourSlideLevel) return std::make_unique<Deflater>(argbLevel, &kTrueColourTuning, out);
        return std::make_unique<Deflater>(argbLevel, out);
    }

    // The next row's place in the band; a full band goes to zlib first.
    uint8_t* NextRow()
    {
        if (bandFilled == bandRows) FlushBand();
        return band.data() + bandFilled++ * w * 4;
    }

    void FlushBand()
    {
        argb->Add(band.data(), bandFilled * w * 4);
        bandFilled = 0;
    }

    // The first byte is the alpha of a translucent slide; an opaque one's
    // bitmap tag has no alpha, and the byte is reserved, 0.
    static void StoreARGB(uint8_t* out, uint32_t pixel, bool withAlpha)
    {
        out[0] = withAlpha ? static_cast<uint8_t>(pixel >> 24) : 0;
        out[1] = static_cast<uint8_t>(pixel);
        out[2] = static_cast<uint8_t>(pixel >> 8);
        out[3] = static_cast<uint8_t>(pixel >> 16);
    }

    // The first translucent pixel of a 32-bit slide: the pixels before it were
    // all opaque, written with the reserved 0, and now take their alpha, 255
    // (the current row's later pixels are still to come). Rows zlib has taken
    // already are inflated again, once, and compressed anew.
    void BecomeTranslucent()
    {
        translucent = true;
        for (size_t i = 0; i < bandFilled * w * 4; i += 4) band[i] = 255;
        if (!argb || argb->Empty()) return;
        argb->Finish();
        argb.reset();
        CompressedBytes written = std::move(out);
        out = written.Emptied();
        argb = ARGBDeflater();
        z_stream stream{};
        const int ret = inflateInit(&stream);
        if (ret == Z_MEM_ERROR) throw std::bad_alloc();
        F_ASSERT(ret == Z_OK, "ret == Z_OK");
        const std::unique_ptr<z_stream, int (*)(z_stream*)> ender(&stream, inflateEnd);
        std::vector<uint8_t> piece(size_t{256} << 10);
        bool ended = false;
        written.ReadBack([&](const uint8_t* data, size_t size) {
            while (size > 0 && !ended) {
                // avail_in is 32-bit: the stream goes in by parts.
                const size_t part = std::min<size_t>(size, size_t{1} << 30);
                stream.next_in = const_cast<Bytef*>(data);
                stream.avail_in = static_cast<uInt>(part);
                do {
                    stream.next_out = piece.data();
                    stream.avail_out = static_cast<uInt>(piece.size());
                    const uint64_t start = stream.total_out;
                    const int status = inflate(&stream, Z_NO_FLUSH);
                    if (status == Z_MEM_ERROR) throw std::bad_alloc();
                    F_ASSERT(status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR,
                             "status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR");
                    const size_t made = piece.size() - stream.avail_out;
                    for (size_t i = (4 - start % 4) % 4; i < made; i += 4) piece[i] = 255;
                    argb->Add(piece.data(), made);
                    ended = status == Z_STREAM_END;
                } while (!ended && (stream.avail_in > 0 || stream.avail_out == 0));
                const size_t used = part - stream.avail_in;
                data += used;
                size -= used;
            }
        });
    }

    const size_t w, h;
    const size_t stride;  // colour-mapped rows are padded to 32 bits
    const int level;
    const int argbLevel;  // once 32-bit
    const bool whole;     // colour-mapped, compressed at once at the end (libdeflate)
    const bool wholeARGB;  // 32-bit, likewise: the band holds every row
    CompressedBytes& out;
    size_t rows = 0;      // rows taken so far
    bool translucent = false;

    Palette palette;
    std::unique_ptr<uint8_t[]> indexBuffer;  // the table's room, then the colour numbers
    uint8_t* indices = nullptr;              // while colour-mapped, in memory
    std::unique_ptr<SpilledRows> spilledRows;  // or in a file
    uint32_t last = 0;                       // the last pixel mapped, and its number
    uint8_t lastIndex = 0;

    bool argbStarted = false;
    std::unique_ptr<Deflater> argb;     // once 32-bit, streamed
    std::vector<uint8_t> band;          // rows converted, not yet given to zlib
    size_t bandRows = 0;
    size_t bandFilled = 0;
};

}  // namespace

uint64_t LosslessEncodingBytes(int32_t width, int32_t height, ColourNumbers place)
{
    const uint64_t indices = kTableRoom + ((uint64_t(std::max(width, 0)) + 3) & ~uint64_t{3}) * uint64_t(std::max(height, 0));
    // Compressed whole, the stream is at most about the size of what it holds.
    return place == ColourNumbers::kWhole ? 2 * indices + kTableRoom : place == ColourNumbers::kMemory ? indices : 0;
}

ColourNumbers ColourNumbersFor(int32_t width, int32_t height, uint64_t budgetBytes)
{
    // Half the budget, so that two such slides are always encoded side by side.
    if (LosslessEncodingBytes(width, height, ColourNumbers::kWhole) <= budgetBytes / 2) return ColourNumbers::kWhole;
    if (LosslessEncodingBytes(width, height, ColourNumbers::kMemory) <= budgetBytes / 2) return ColourNumbers::kMemory;
    return ColourNumbers::kSpilled;
}

bool CompressedWhole(int32_t width, int32_t height, uint64_t budgetBytes)
{
    return ColourNumbersFor(width, height, budgetBytes) == ColourNumbers::kWhole;
}

LosslessSlide EncodeLosslessRGBA(const uint8_t* rgba, int32_t width, int32_t height, int zlibLevel,
                                 DecodeBudget* given)
{
    F_ASSERT(rgba, "rgba");
    DecodeBudget& budget = given ? *given : SharedDecodeBudget();
    const ColourNumbers place = ColourNumbersFor(width, height, budget.Capacity());
    const DecodeBudget::Share share = budget.Take(LosslessEncodingBytes(width, height, place));
    return EncodeLosslessRGBAWithin(rgba, width, height, zlibLevel, place);
}

LosslessSlide EncodeLosslessPicture(const uint8_t* rgba, int32_t width, int32_t height, ColourNumbers place)
{
    F_ASSERT(rgba, "rgba");
    CompressedBytes out(nullptr, {});
    LosslessEncoder encoder(width, height, kLosslessSlideLevel, place, out, true);
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) encoder.AddRow(rgba + y * static_cast<size_t>(width) * 4, 4);
    LosslessSlide slide = encoder.Finish();
    out.Into(slide);
    return slide;
}

LosslessSlide EncodeLosslessRGBAWithin(const uint8_t* rgba, int32_t width, int32_t height, int zlibLevel,
                                       ColourNumbers place)
{
    F_ASSERT(rgba, "rgba");
    LosslessRowEncoder encoder(width, height, zlibLevel, place);
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) encoder.AddRow(rgba + y * static_cast<size_t>(width) * 4, 4);
    return encoder.Finish();
}

struct LosslessRowEncoder::State {
    State(int32_t width, int32_t height, int zlibLevel, ColourNumbers place, SpillFile* spill, std::string label)
        : out(spill, std::move(label)), encoder(width, height, zlibLevel, place, out)
    {
    }
    CompressedBytes out;
    LosslessEncoder encoder;  // writes into `out`, made before it
};

LosslessRowEncoder::LosslessRowEncoder(int32_t width, int32_t height, int zlibLevel, ColourNumbers place,
                                       SpillFile* spill, std::string label)
    : state(std::make_unique<State>(width, height, zlibLevel, place, spill, std::move(label)))
{
}

LosslessRowEncoder::~LosslessRowEncoder() = default;

void LosslessRowEncoder::AddRow(const uint8_t* row, int channels)
{
    state->encoder.AddRow(row, channels);
}

LosslessSlide LosslessRowEncoder::Finish()
{
    LosslessSlide slide = state->encoder.Finish();
    state->out.Into(slide);
    return slide;
}

std::unique_ptr<HFBitmap> MakeLosslessBitmap(LosslessSlide&& slide, int32_t xmin, int32_t ymin, int32_t xmax,
                                             int32_t ymax)
{
    if (!slide.spilled.empty()) {
        return std::make_unique<HFBitmap>(xmin, ymin, xmax, ymax, slide.format, slide.width, slide.height,
                                          slide.colorTableEntries, slide.alpha, std::move(slide.spilled));
    }
    return std::make_unique<HFBitmap>(xmin, ymin, xmax, ymax, slide.format, slide.width, slide.height,
                                      slide.colorTableEntries, slide.alpha, std::move(slide.zlibData));
}
