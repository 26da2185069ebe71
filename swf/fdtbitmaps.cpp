#include "swf/fdtbitmaps.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <zlib.h>

#include "base/fassert.h"

namespace {
// An empty encoding-table section ahead of the image data: an end-of-image
// marker followed by a start-of-image marker.
void WriteEmptyTableMarkers(FSWFStream& body)
{
    body.WriteByte(0xFF);
    body.WriteByte(0xD9);
    body.WriteByte(0xFF);
    body.WriteByte(0xD8);
}

void WriteEndOfImage(FSWFStream& body)
{
    body.WriteByte(0xFF);
    body.WriteByte(0xD9);
}
}  // namespace

FDTDefineBits::FDTDefineBits(int32_t size, const uint8_t* data)
    : characterID(DrawCharacterID()), size(size), data(data) {}

void FDTDefineBits::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.AppendData(data, size);
    stream.AppendLongTag(FTagCode::DefineBits, body.Size(), &body);
}

FDTDefineBitsJPEG2::FDTDefineBitsJPEG2(const uint8_t* data, int32_t size)
    : characterID(DrawCharacterID()), size(size), data(data) {}

FDTDefineBitsJPEG2::FDTDefineBitsJPEG2(FSWFFileRegion region)
    : characterID(DrawCharacterID()), size(region.size), data(nullptr), fromFile(true), region(std::move(region)) {}

void FDTDefineBitsJPEG2::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    WriteEmptyTableMarkers(body);
    if (fromFile)
        body.AppendFileRegion(region);
    else
        body.AppendData(data, size);
    WriteEndOfImage(body);
    stream.AppendLongTag(FTagCode::DefineBitsJPEG2, body.Size(), &body);
}

FDTDefineBitsJPEG3::FDTDefineBitsJPEG3(const uint8_t* jpegData, int32_t jpegSize,
                                       const uint8_t* alphaData, int32_t alphaSize)
    : characterID(DrawCharacterID()),
      alphaSize(alphaSize),
      jpegSize(jpegSize),
      jpegData(jpegData),
      alphaData(alphaData) {}

void FDTDefineBitsJPEG3::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    // The alpha data starts after the JPEG and the six marker bytes around it.
    body.WriteDWord(static_cast<uint32_t>(jpegSize) + 6);
    WriteEmptyTableMarkers(body);
    body.AppendData(jpegData, jpegSize);
    WriteEndOfImage(body);
    body.AppendData(alphaData, alphaSize);
    stream.AppendLongTag(FTagCode::DefineBitsJPEG3, body.Size(), &body);
}

FDTJPEGTables::FDTJPEGTables(int32_t size, const uint8_t* data) : size(size), data(data) {}

void FDTJPEGTables::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.AppendData(data, size);
    stream.AppendTag(FTagCode::JPEGTables, body.Size(), &body);
}

FDTDefineBitsLossless::FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height,
                                             uint32_t colorTableSize, bool alpha)
    : characterID(DrawCharacterID()),
      format(format),
      width(width),
      height(height),
      colorTableSize(colorTableSize),
      alpha(alpha)
{
    // 2^format bits per pixel: a larger format would shift past any integer.
    F_ASSERT(format <= 5, "format <= 5");
}

FDTDefineBitsLossless::FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height,
                                             uint32_t colorTableSize, const uint8_t* colorTable,
                                             const uint8_t* pixelData, bool alpha)
    : FDTDefineBitsLossless(format, width, height, colorTableSize, alpha)
{
    const uint64_t tableBytes = uint64_t{colorTableSize} * (alpha ? 4 : 3);
    const uint64_t pixelBytes = (uint64_t{width} * height * (uint64_t{1} << format) + 7) / 8;
    F_ASSERT(tableBytes == 0 || colorTable, "colorTable");
    F_ASSERT(pixelBytes == 0 || pixelData, "pixelData");

    std::vector<uint8_t> raw(static_cast<size_t>(tableBytes + pixelBytes));
    if (tableBytes > 0) std::memcpy(raw.data(), colorTable, static_cast<size_t>(tableBytes));
    if (pixelBytes > 0)
        std::memcpy(raw.data() + tableBytes, pixelData, static_cast<size_t>(pixelBytes));

    // The traditional bound, or zlib's own where that is larger (tiny inputs).
    const uLong n = static_cast<uLong>(raw.size());
    uLongf compressedSize = std::max<uLong>(n + n / 100 + 12, compressBound(n));
    compressed.resize(compressedSize);
    const int ret = compress2(compressed.data(), &compressedSize, raw.data(), n, 9);
    F_ASSERT(ret == Z_OK, "ret == Z_OK");
    compressed.resize(compressedSize);
    compressed.shrink_to_fit();
}

FDTDefineBitsLossless::FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height,
                                             uint32_t colorTableSize, bool alpha,
                                             std::vector<uint8_t>&& compressedData)
    : FDTDefineBitsLossless(format, width, height, colorTableSize, alpha)
{
    compressed = std::move(compressedData);
    // Written as a deferred block, which may not be empty.
    F_ASSERT(!compressed.empty(), "!compressedData.empty()");
}

FDTDefineBitsLossless::FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height,
                                             uint32_t colorTableSize, bool alpha,
                                             std::vector<FSWFFileRegion> compressedPieces)
    : FDTDefineBitsLossless(format, width, height, colorTableSize, alpha)
{
    pieces = std::move(compressedPieces);
    // Each piece is written as a deferred block, which may not be empty.
    F_ASSERT(!pieces.empty(), "!compressedPieces.empty()");
    for (const FSWFFileRegion& piece : pieces) F_ASSERT(piece.size > 0, "piece.size > 0");
}

void FDTDefineBitsLossless::Write(FSWFStream& stream)
{
    FSWFStream body;
    body.WriteWord(characterID);
    body.WriteByte(format);
    body.WriteWord(width);
    body.WriteWord(height);
    if (format <= 3) body.WriteByte((colorTableSize - 1) & 0xFF);
    if (pieces.empty()) body.AppendData(compressed.data(), static_cast<int32_t>(compressed.size()));
    for (const FSWFFileRegion& piece : pieces) body.AppendFileRegion(piece);
    const FTagCode code = alpha ? FTagCode::DefineBitsLossless2 : FTagCode::DefineBitsLossless;
    stream.AppendLongTag(code, body.Size(), &body);
}
