#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "swf/fdt.h"

// The bitmap define tags. JPEG, alpha and table bytes are borrowed: the tags
// record them as deferred blocks of the stream, never copy or scan them, and
// never free them, so they must stay valid and unchanged until the movie file
// has been written. None of these blocks may be empty.
//
// Players expect the bitmap tags with the six-byte header whatever their
// length, so DefineBits, DefineBitsJPEG2, DefineBitsJPEG3 and both lossless
// tags always use the long form.

// DefineBits (6): JPEG image data whose tables lie in a JPEGTables tag.
class FDTDefineBits : public FDT {
public:
    FDTDefineBits(int32_t size, const uint8_t* data);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

private:
    uint16_t characterID;
    int32_t size;
    const uint8_t* data;  // borrowed
};

// DefineBitsJPEG2 (21): a complete JPEG file, as read from disk.
class FDTDefineBitsJPEG2 : public FDT {
public:
    FDTDefineBitsJPEG2(const uint8_t* data, int32_t size);
    // The JPEG file's bytes stay on disk: the region is read when the movie
    // is written (and must then still be as it was), so that a movie of many
    // images need not hold them in memory. The region is kept by the tag.
    explicit FDTDefineBitsJPEG2(FSWFFileRegion region);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

private:
    uint16_t characterID;
    int32_t size;
    const uint8_t* data;  // borrowed
    bool fromFile = false;  // the bytes are in `region` instead
    FSWFFileRegion region;
};

// DefineBitsJPEG3 (35): a JPEG with an alpha channel that the caller has
// already zlib-compressed.
class FDTDefineBitsJPEG3 : public FDT {
public:
    FDTDefineBitsJPEG3(const uint8_t* jpegData, int32_t jpegSize, const uint8_t* alphaData,
                       int32_t alphaSize);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

private:
    uint16_t characterID;
    int32_t alphaSize;
    int32_t jpegSize;
    const uint8_t* jpegData;   // borrowed
    const uint8_t* alphaData;  // borrowed
};

// JPEGTables (8): the encoding tables shared by the DefineBits tags. It
// defines no character, so it draws no ID and keeps the base's ID().
class FDTJPEGTables : public FDT {
public:
    FDTJPEGTables(int32_t size, const uint8_t* data);
    void Write(FSWFStream& stream) override;

private:
    int32_t size;
    const uint8_t* data;  // borrowed
};

// DefineBitsLossless (20), or DefineBitsLossless2 (36) when `alpha` is set.
// Format 3 is colour-mapped with 8-bit pixels, 4 is 16-bit and 5 is 32-bit
// pixels (table size 0). Pixels run back to back with no row padding, so the
// image is valid SWF only when its rows need none. The colour table (RGB, or
// RGBA with `alpha`) and the pixels are compressed here and not kept.
class FDTDefineBitsLossless : public FDT {
public:
    FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height, uint32_t colorTableSize,
                          const uint8_t* colorTable, const uint8_t* pixelData, bool alpha);
    // A colour table and pixels the caller has already compressed, as one
    // zlib stream laid out as the format defines it (rows of colour-mapped
    // pixels padded to 32 bits): the tag takes the bytes over, so that images
    // can be compressed apart from the movie, on other threads.
    FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height, uint32_t colorTableSize,
                          bool alpha, std::vector<uint8_t>&& compressedData);
    // The same stream left in files (a temporary file the caller writes it
    // to as it is made), in one or more regions read in order when the movie
    // is written, so that large images need not be held in memory. The tag
    // keeps the regions.
    FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height, uint32_t colorTableSize,
                          bool alpha, std::vector<FSWFFileRegion> compressedPieces);
    void Write(FSWFStream& stream) override;
    uint16_t ID() const override { return characterID; }

    // The zlib stream written as the tag's payload (empty when it is in files).
    const std::vector<uint8_t>& CompressedData() const { return compressed; }
    const std::vector<FSWFFileRegion>& CompressedPieces() const { return pieces; }

private:
    // What every form shares: the ID drawn and the header's fields, checked.
    FDTDefineBitsLossless(uint8_t format, uint16_t width, uint16_t height, uint32_t colorTableSize, bool alpha);

    uint16_t characterID;
    uint8_t format;
    uint16_t width;
    uint16_t height;
    uint32_t colorTableSize;  // entries
    bool alpha;
    std::vector<uint8_t> compressed;  // owned; written as a deferred block
    std::vector<FSWFFileRegion> pieces;  // or the stream in files
};

// DefineBitsLossless2 (36): the lossless bitmap with RGBA table entries and alpha.
class FDTDefineBitsLossless2 : public FDTDefineBitsLossless {
public:
    FDTDefineBitsLossless2(uint8_t format, uint16_t width, uint16_t height,
                           uint32_t colorTableSize, const uint8_t* colorTable,
                           const uint8_t* pixelData)
        : FDTDefineBitsLossless(format, width, height, colorTableSize, colorTable, pixelData, true) {}
    FDTDefineBitsLossless2(uint8_t format, uint16_t width, uint16_t height,
                           uint32_t colorTableSize, std::vector<uint8_t>&& compressedData)
        : FDTDefineBitsLossless(format, width, height, colorTableSize, true, std::move(compressedData)) {}
    FDTDefineBitsLossless2(uint8_t format, uint16_t width, uint16_t height,
                           uint32_t colorTableSize, std::vector<FSWFFileRegion> compressedPieces)
        : FDTDefineBitsLossless(format, width, height, colorTableSize, true, std::move(compressedPieces)) {}
};
