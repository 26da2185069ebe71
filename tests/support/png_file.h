#pragma once

// PNG pictures for the tests, written by the PNG library's own encoder: an
// independent source of the files the converter reads.

#include <gtest/gtest.h>
#include <spng.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace swftest {

struct Picture {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> rgba;  // straight alpha, rows back to back
    uint32_t At(int32_t x, int32_t y) const
    {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
};

// `colours` distinct colours over a width x height picture, with alpha
// `alpha(i)` for colour i.
template <class Alpha>
Picture Colours(int32_t width, int32_t height, int colours, Alpha alpha)
{
    Picture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    for (int32_t i = 0; i < width * height; ++i) {
        const int c = i % colours;
        uint8_t* p = &picture.rgba[static_cast<size_t>(i) * 4];
        p[0] = static_cast<uint8_t>(c * 7), p[1] = static_cast<uint8_t>(c / 37 * 50), p[2] = static_cast<uint8_t>(255 - c);
        p[3] = alpha(c);
    }
    return picture;
}
inline Picture Opaque(int32_t width, int32_t height, int colours)
{
    return Colours(width, height, colours, [](int) { return uint8_t{255}; });
}

// The picture as a PNG file's bytes, in the colour type given (grey and
// truecolour types drop the channels they lack), with a tRNS chunk when given
// one, interlaced when asked.
inline std::string PNGBytes(const Picture& picture, uint8_t colorType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA,
                            const spng_trns* transparency = nullptr, bool interlaced = false)
{
    std::vector<uint8_t> pixels;
    const int channels = colorType == SPNG_COLOR_TYPE_TRUECOLOR ? 3 : colorType == SPNG_COLOR_TYPE_GRAYSCALE ? 1 : 4;
    for (size_t i = 0; i < picture.rgba.size(); i += 4)
        pixels.insert(pixels.end(), picture.rgba.begin() + static_cast<long>(i),
                      picture.rgba.begin() + static_cast<long>(i) + channels);
    spng_ctx* encoder = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(encoder, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header{static_cast<uint32_t>(picture.width), static_cast<uint32_t>(picture.height), 8, colorType, 0, 0,
                       static_cast<uint8_t>(interlaced ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE)};
    spng_set_ihdr(encoder, &header);
    if (transparency) spng_set_trns(encoder, const_cast<spng_trns*>(transparency));
    EXPECT_EQ(spng_encode_image(encoder, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    size_t size = 0;
    int error = 0;
    void* png = spng_get_png_buffer(encoder, &size, &error);
    std::string bytes(static_cast<const char*>(png), size);
    std::free(png);
    spng_ctx_free(encoder);
    return bytes;
}

// The offset of the last image-data chunk (its length field) in a PNG file's bytes.
inline size_t LastImageDataChunk(const std::string& png)
{
    size_t last = std::string::npos;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = static_cast<uint32_t>(static_cast<uint8_t>(png[at]) << 24 | static_cast<uint8_t>(png[at + 1]) << 16 |
                                                      static_cast<uint8_t>(png[at + 2]) << 8 | static_cast<uint8_t>(png[at + 3]));
        if (png.compare(at + 4, 4, "IDAT") == 0) last = at;
        at += 12 + size_t{length};
    }
    EXPECT_NE(last, std::string::npos) << "no image data";
    return last;
}

// Sets the length and checksum of the chunk at `at` for `length` data bytes,
// as a writer that damaged them would have.
inline void RewriteChunk(std::string& png, size_t at, uint32_t length)
{
    for (int i = 0; i < 4; ++i) png[at + static_cast<size_t>(i)] = static_cast<char>(length >> (24 - 8 * i));
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4));
    for (int i = 0; i < 4; ++i) png[at + 8 + length + static_cast<size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
}

}  // namespace swftest
