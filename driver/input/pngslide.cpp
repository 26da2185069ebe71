#include "driver/input/pngslide.h"

#include <libdeflate.h>
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/fassert.h"
#include "driver/core/decodebudget.h"
#include "driver/core/error.h"
#include "driver/core/inputfile.h"
#include "driver/core/spillfile.h"
#include "driver/core/threadcache.h"

namespace {

constexpr const char* kWhat = "slide image";
constexpr uint32_t kMaxSide = 65535;  // a bitmap's sides are 16-bit
// A header may claim any size: 1 GiB of 32-bit pixels is far beyond any
// screen (and an interlaced picture is decoded whole).
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

ConverterError Undecodable(const std::string& name, int error)
{
    return ConverterError(std::string("the ") + kWhat + " " + Quoted(name) + " is not a PNG image that can be decoded: " +
                              spng_strerror(error),
                          kExitFailure);
}

struct ContextFree {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Decoder = std::unique_ptr<spng_ctx, ContextFree>;

Decoder NewDecoder()
{
    // The decoder's own check of the image data's checksum is off: it stops
    // at the last row, before the stream's end, so the check would never be
    // made. InflateImageData makes it instead.
    Decoder decoder(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!decoder) throw std::bad_alloc();
    // No ancillary chunk is used: a file may not make the decoder hold large ones.
    spng_set_chunk_limits(decoder.get(), size_t{1} << 24, size_t{1} << 26);
    return decoder;
}

PNGInfo ReadSize(spng_ctx* decoder, const std::string& name)
{
    spng_ihdr header{};
    if (const int error = spng_get_ihdr(decoder, &header)) throw Undecodable(name, error);
    if (header.width > kMaxSide || header.height > kMaxSide) {
        throw ConverterError(std::string("the ") + kWhat + " " + Quoted(name) + " is " + std::to_string(header.width) +
                                 " x " + std::to_string(header.height) + " pixels: a bitmap is at most " +
                                 std::to_string(kMaxSide) + " on a side",
                             kExitFailure);
    }
    if (uint64_t{header.width} * header.height > kMaxPixels) {
        throw ConverterError(std::string("the ") + kWhat + " " + Quoted(name) + " is " + std::to_string(header.width) +
                                 " x " + std::to_string(header.height) + " pixels: more than " +
                                 std::to_string(kMaxPixels) + " pixels are not decoded",
                             kExitFailure);
    }
    return {static_cast<int32_t>(header.width), static_cast<int32_t>(header.height)};
}

ConverterError Damaged(const std::string& name, const std::string& problem)
{
    return ConverterError(std::string("the ") + kWhat + " " + Quoted(name) + " is damaged: " + problem, kExitFailure);
}

uint32_t LoadBigEndian32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Checks the image data of a whole PNG file in memory, whose header the
// decoder has read: every image-data chunk's checksum, and the compressed
// stream they hold, inflated to its end and its own checksum. The row-at-a-time
// decoder stops at the last row, before the last chunk's checksum and the
// stream's, so a damaged byte there would come out as a wrong pixel. The
// inflated bytes go to `sink` as they come (none: only the checks are made).
void InflateImageData(const std::vector<uint8_t>& file, const std::string& name,
                      const std::function<void(const uint8_t*, size_t)>& sink = nullptr)
{
    constexpr size_t kSignature = 8, kFrame = 12;  // length, type, checksum
    z_stream stream{};
    const int ret = inflateInit(&stream);
    if (ret == Z_MEM_ERROR) throw std::bad_alloc();
    F_ASSERT(ret == Z_OK, "ret == Z_OK");
    const std::unique_ptr<z_stream, int (*)(z_stream*)> ender(&stream, inflateEnd);
    // The rows go nowhere: only the checksum is wanted. A large piece, as
    // zlib copies the last 32 KiB of every piece to its window.
    std::vector<uint8_t> scratch(size_t{256} << 10);
    bool inData = false, ended = false, cutShort = true;
    for (size_t at = kSignature; at + kFrame <= file.size();) {
        const uint32_t length = LoadBigEndian32(&file[at]);
        const bool imageData = std::memcmp(&file[at + 4], "IDAT", 4) == 0;
        if (inData && !imageData) {  // the image data is one run of chunks
            cutShort = false;
            break;
        }
        if (length > file.size() - at - kFrame) break;
        if (imageData) {
            inData = true;
            const uint8_t* data = &file[at + 8];
            if (crc32(0, &file[at + 4], length + 4) != LoadBigEndian32(data + length))
                throw Damaged(name, "an image data chunk fails its checksum");
            stream.next_in = const_cast<Bytef*>(data);
            stream.avail_in = length;
            while (!ended && stream.avail_in > 0) {
                stream.next_out = scratch.data();
                stream.avail_out = static_cast<uInt>(scratch.size());
                const int status = inflate(&stream, Z_NO_FLUSH);
                if (sink && (status == Z_OK || status == Z_STREAM_END)) sink(scratch.data(), scratch.size() - stream.avail_out);
                if (status == Z_STREAM_END) {
                    ended = true;
                } else if (status == Z_MEM_ERROR) {
                    throw std::bad_alloc();
                } else if (status == Z_DATA_ERROR && stream.msg && std::strcmp(stream.msg, "incorrect data check") == 0) {
                    throw Damaged(name, "its image data fails its checksum");
                } else if (status == Z_NEED_DICT) {
                    throw Damaged(name, "its image data asks for a preset dictionary, which PNG does not allow");
                } else if (status != Z_OK && status != Z_BUF_ERROR) {
                    throw Damaged(name, std::string("its image data cannot be decompressed (") +
                                            (stream.msg ? stream.msg : "zlib error " + std::to_string(status)) + ")");
                }
            }
        }
        at += kFrame + length;
    }
    // A file cut inside its image data is refused as the decoder refuses one
    // cut before it; a whole picture needs nothing after it.
    if (!ended && cutShort) throw Undecodable(name, SPNG_IO_EOF);
    if (!ended) throw Damaged(name, "its image data ends before the picture does");
}

// The image data's compressed stream, its chunks' payloads joined, when every
// chunk is whole and passes its checksum; empty otherwise (the careful path,
// InflateImageData, then says what is wrong).
std::vector<uint8_t> JoinedImageData(const std::vector<uint8_t>& file)
{
    constexpr size_t kSignature = 8, kFrame = 12;
    std::vector<uint8_t> joined;
    bool inData = false;
    for (size_t at = kSignature; at + kFrame <= file.size();) {
        const uint32_t length = LoadBigEndian32(&file[at]);
        const bool imageData = std::memcmp(&file[at + 4], "IDAT", 4) == 0;
        if (inData && !imageData) return joined;
        if (length > file.size() - at - kFrame) return {};
        if (imageData) {
            inData = true;
            const uint8_t* data = &file[at + 8];
            if (crc32(0, &file[at + 4], length + 4) != LoadBigEndian32(data + length)) return {};
            joined.insert(joined.end(), data, data + length);
        }
        at += kFrame + length;
    }
    return {};  // the file ends in its image data
}

// Inflates the whole stream at once (libdeflate: several times zlib's speed,
// the stream's checksum checked) into `filtered`, which it must fill exactly.
bool InflateWhole(const std::vector<uint8_t>& stream, uint8_t* filtered, size_t size)
{
    struct Free {
        void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
    };
    CORVANEX_THREAD_CACHE std::unique_ptr<libdeflate_decompressor, Free> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor) throw std::bad_alloc();
    size_t made = 0;
    return libdeflate_zlib_decompress(decompressor.get(), stream.data(), stream.size(), filtered, size, &made) ==
               LIBDEFLATE_SUCCESS &&
           made == size;
}

// Undoes a row's filter in place; `above` is the row above unfiltered (null
// for the first). False for an unknown filter.
bool UnfilterRow(uint8_t filter, uint8_t* x, const uint8_t* above, size_t rowBytes, size_t bpp)
{
    if (filter > 4) return false;
    // Above the first row lie zeros: Up changes nothing, Average halves the
    // left byte, Paeth always picks the left one (as Sub does).
    if (!above && filter == 4) filter = 1;
    switch (filter) {
    case 1:
        for (size_t i = bpp; i < rowBytes; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - bpp]);
        break;
    case 2:
        if (above)
            for (size_t i = 0; i < rowBytes; ++i) x[i] = static_cast<uint8_t>(x[i] + above[i]);
        break;
    case 3:
        for (size_t i = 0; i < rowBytes; ++i) {
            const unsigned left = i >= bpp ? x[i - bpp] : 0;
            x[i] = static_cast<uint8_t>(x[i] + ((left + (above ? above[i] : 0u)) >> 1));
        }
        break;
    case 4:
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? x[i - bpp] : 0, up = above[i], c = i >= bpp ? above[i - bpp] : 0;
            const int p = a + up - c, pa = std::abs(p - a), pb = std::abs(p - up), pc = std::abs(p - c);
            x[i] = static_cast<uint8_t>(x[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? up : c));
        }
        break;
    default:
        break;
    }
    return true;
}

// The rows of an 8-bit picture of `channels` bytes a pixel, taken from the
// inflated image data as it comes (a filter byte, then the row) and handed on
// unfiltered, each followed by one byte more that can be read (LoadPixel).
// Only this row and the one above are held.
class RowUnfilter {
public:
    RowUnfilter(const std::string& name, size_t width, size_t height, int channels,
                std::function<void(const uint8_t*)> row)
        : name(name),
          bpp(static_cast<size_t>(channels)),
          rowBytes(width * bpp),
          rowsLeft(height),
          current(rowBytes + 2),
          above(rowBytes + 2),
          onRow(std::move(row))
    {
    }

    void Add(const uint8_t* data, size_t size)
    {
        while (size > 0 && rowsLeft > 0) {
            const size_t part = std::min(size, rowBytes + 1 - filled);
            std::memcpy(current.data() + filled, data, part);
            filled += part;
            data += part;
            size -= part;
            if (filled == rowBytes + 1) {
                Unfilter();
                onRow(current.data() + 1);
                std::swap(current, above);
                filled = 0;
                --rowsLeft;
            }
        }
    }

    bool Done() const { return rowsLeft == 0; }

private:
    void Unfilter()
    {
        if (!UnfilterRow(current[0], current.data() + 1, first ? nullptr : above.data() + 1, rowBytes, bpp))
            throw Undecodable(name, SPNG_EFILTER);
        first = false;
    }

    const std::string& name;
    const size_t bpp;
    const size_t rowBytes;
    size_t rowsLeft;
    std::vector<uint8_t> current;  // the filter byte, the row, a byte more
    std::vector<uint8_t> above;
    size_t filled = 0;
    bool first = true;
    std::function<void(const uint8_t*)> onRow;
};

}  // namespace

PNGInfo ReadPNGHeader(const std::string& name)
{
    const int descriptor = OpenInputFile(name, kWhat);
    std::FILE* opened = fdopen(descriptor, "rb");
    if (!opened) close(descriptor);
    if (!opened) {
        const int error = errno;
        throw ConverterError(std::string("cannot open the ") + kWhat + " " + Quoted(name) + ": " + ErrorText(error),
                             kExitFailure);
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(opened, std::fclose);
    Decoder decoder = NewDecoder();
    spng_set_png_file(decoder.get(), file.get());
    PNGInfo info = ReadSize(decoder.get(), name);
    spng_ihdr header{};
    if (const int error = spng_get_ihdr(decoder.get(), &header)) throw Undecodable(name, error);
    if (header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA || header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA) {
        info.mayBeTransparent = true;
    } else {
        // Reads the chunks up to the image data, where a tRNS chunk must lie.
        spng_trns transparency{};
        const int error = spng_get_trns(decoder.get(), &transparency);
        if (error != 0 && error != SPNG_ECHUNKAVAIL) throw Undecodable(name, error);
        info.mayBeTransparent = error == 0;
    }
#ifdef _WIN32
    // This stat's size is 32-bit.
    if (_fseeki64(file.get(), 0, SEEK_END) == 0) info.fileSize = static_cast<uint64_t>(std::max<int64_t>(_ftelli64(file.get()), 0));
#else
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0) info.fileSize = static_cast<uint64_t>(status.st_size);
#endif
    return info;
}

LosslessSlide EncodePNGSlide(const std::string& name, int zlibLevel, SpillFile* spill, DecodeBudget* given)
{
    try {
        const std::vector<uint8_t> file = LoadWholeFile(name, kWhat);
        Decoder decoder = NewDecoder();
        spng_set_png_buffer(decoder.get(), file.data(), file.size());
        const PNGInfo size = ReadSize(decoder.get(), name);
        spng_ihdr header{};
        if (const int error = spng_get_ihdr(decoder.get(), &header)) throw Undecodable(name, error);
        // Without transparency the decoder gives RGB, a quarter fewer bytes to
        // write and read again; transparency chunks are applied. No gamma: the
        // colours are the file's.
        bool transparent = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                           header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
        {
            // Also has the decoder read and check every chunk before the image data.
            spng_trns transparency{};
            const int error = spng_get_trns(decoder.get(), &transparency);
            if (error != 0 && error != SPNG_ECHUNKAVAIL) throw Undecodable(name, error);
            transparent = transparent || error == 0;
        }
        const int format = transparent ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
        const int channels = transparent ? 4 : 3;
        size_t bytes = 0;
        if (const int error = spng_decoded_image_size(decoder.get(), format, &bytes)) throw Undecodable(name, error);
        const size_t rowBytes = bytes / static_cast<size_t>(size.height);
        const bool interlaced = header.interlace_method != SPNG_INTERLACE_NONE;

        // Everything this slide holds at once, taken from the shared budget
        // before any of it is made: interlaced rows come in seven passes over
        // the picture, so such a picture is decoded whole first.
        DecodeBudget& budget = given ? *given : SharedDecodeBudget();
        const ColourNumbers place = ColourNumbersFor(size.width, size.height, budget.Capacity());
        // 8-bit RGB and RGBA files are decoded here; their image data is
        // inflated at once where it fits beside the encoding in half the budget.
        const bool direct = !interlaced && header.bit_depth == 8 &&
                            (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                             (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR && !transparent));
        const size_t filteredBytes = (rowBytes + 1) * static_cast<size_t>(size.height) + 1;
        const uint64_t encoding = LosslessEncodingBytes(size.width, size.height, place);
        const bool inflatedWhole = direct && encoding + filteredBytes <= budget.Capacity() / 2;
        const DecodeBudget::Share share =
            budget.Take(encoding + (interlaced ? bytes + 1 : 0) + (inflatedWhole ? filteredBytes : 0));
        std::unique_ptr<uint8_t[]> filtered;
        if (inflatedWhole) {
            filtered = std::make_unique_for_overwrite<uint8_t[]>(filteredBytes);
            filtered[filteredBytes - 1] = 0;  // read past the last RGB row (LoadPixel)
        }
        LosslessRowEncoder encoder(size.width, size.height, zlibLevel, place, spill,
                                   "the compressed slide image " + Quoted(name));
        if (interlaced) {
            InflateImageData(file, name);
            auto pixels = std::make_unique_for_overwrite<uint8_t[]>(bytes + 1);
            pixels[bytes] = 0;
            if (const int error = spng_decode_image(decoder.get(), pixels.get(), bytes, format, SPNG_DECODE_TRNS))
                throw Undecodable(name, error);
            for (size_t y = 0; y < static_cast<size_t>(size.height); ++y) encoder.AddRow(pixels.get() + y * rowBytes, channels);
        } else if (direct && inflatedWhole && InflateWhole(JoinedImageData(file), filtered.get(), filteredBytes - 1)) {
            // Unfiltered in place, each row below the one above, and encoded while it is in the cache.
            const size_t stride = rowBytes + 1;
            for (size_t y = 0; y < static_cast<size_t>(size.height); ++y) {
                uint8_t* row = filtered.get() + y * stride;
                if (!UnfilterRow(row[0], row + 1, y == 0 ? nullptr : row + 1 - stride, rowBytes, static_cast<size_t>(channels)))
                    throw Undecodable(name, SPNG_EFILTER);
                encoder.AddRow(row + 1, channels);
            }
        } else if (direct) {
            // The commonest files, 8-bit RGB and RGBA, too large to be
            // inflated whole (or damaged): inflated once, the checks made on
            // the way, each row unfiltered and encoded while it is in the cache.
            filtered.reset();
            RowUnfilter rows(name, static_cast<size_t>(size.width), static_cast<size_t>(size.height), channels,
                             [&](const uint8_t* row) { encoder.AddRow(row, channels); });
            InflateImageData(file, name, [&](const uint8_t* data, size_t count) { rows.Add(data, count); });
            if (!rows.Done()) throw Damaged(name, "its image data ends before the picture does");
        } else {
            // A row at a time, each encoded while it is in the cache.
            InflateImageData(file, name);
            if (const int error = spng_decode_image(decoder.get(), nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE))
                throw Undecodable(name, error);
            std::vector<uint8_t> row(rowBytes + 1);
            for (int32_t y = 0; y < size.height; ++y) {
                const int error = spng_decode_row(decoder.get(), row.data(), rowBytes);
                if (error != 0 && !(error == SPNG_EOI && y == size.height - 1)) throw Undecodable(name, error);
                encoder.AddRow(row.data(), channels);
            }
        }
        return encoder.Finish();
    } catch (const std::bad_alloc&) {
        throw ConverterError(std::string("not enough memory to decode the ") + kWhat + " " + Quoted(name), kExitFailure);
    }
}
