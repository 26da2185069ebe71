#include "driver/pdf/bitmapchoice.h"

#include <algorithm>
#include <stdexcept>

#include <zlib.h>

#include "driver/encode/jpegencoder.h"
#include "driver/pdf/ownedjpeg.h"
#include "driver/encode/losslessbitmap.h"
#include "swf/fdtbitmaps.h"

namespace {

// No file of our encoder is smaller: the markers, the quantisation tables
// and the four standard Huffman tables alone take about 600 bytes.
constexpr size_t kSmallestJPEGFile = 600;

std::unique_ptr<FDT> LosslessTag(LosslessSlide&& slide)
{
    const auto width = static_cast<uint16_t>(slide.width), height = static_cast<uint16_t>(slide.height);
    if (slide.alpha)
        return std::make_unique<FDTDefineBitsLossless2>(slide.format, width, height, slide.colorTableEntries,
                                                        std::move(slide.zlibData));
    return std::make_unique<FDTDefineBitsLossless>(slide.format, width, height, slide.colorTableEntries, false,
                                                   std::move(slide.zlibData));
}

std::vector<uint8_t> Deflated(const std::vector<uint8_t>& bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), kLosslessSlideLevel) != Z_OK)
        throw std::runtime_error("zlib cannot compress an alpha plane");
    out.resize(size);
    return out;
}

}  // namespace

BitmapEncoding BitmapEncodingBytes(int32_t width, int32_t height, uint64_t budgetBytes)
{
    BitmapEncoding encoding;
    encoding.place = ColourNumbersFor(width, height, budgetBytes);
    // The JPEG tried beside the lossless one (at most about the pixels'
    // bytes), and for one with alpha the premultiplied copy and the plane.
    const uint64_t pixels = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
    encoding.bytes = LosslessEncodingBytes(width, height, encoding.place) + pixels * 4 + pixels * 5;
    return encoding;
}

std::unique_ptr<FDT> SmallerBitmapTag(const std::vector<uint8_t>& rgba, int32_t width, int32_t height,
                                      int32_t jpegQuality, ColourNumbers place)
{
    LosslessSlide lossless = EncodeLosslessRGBAWithin(rgba.data(), width, height, kLosslessSlideLevel, place);
    if (lossless.format == 3 || lossless.zlibData.size() <= kSmallestJPEGFile) return LosslessTag(std::move(lossless));

    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    JPEGSettings settings;
    settings.quality = jpegQuality;
    if (!lossless.alpha) {
        std::vector<uint8_t> jpeg =
            EncodeJPEG(rgba.data(), width, height, static_cast<size_t>(width) * 4, PixelLayout::RGBA, settings);
        if (jpeg.size() >= lossless.zlibData.size()) return LosslessTag(std::move(lossless));
        return std::make_unique<OwnedJPEGBitmap>(std::move(jpeg));
    }
    // The player takes the JPEG's colours as premultiplied by the alpha plane.
    std::vector<uint8_t> premultiplied(rgba);
    std::vector<uint8_t> alpha(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = premultiplied.data() + i * 4;
        alpha[i] = p[3];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * p[3] + 127) / 255);
    }
    std::vector<uint8_t> jpeg =
        EncodeJPEG(premultiplied.data(), width, height, static_cast<size_t>(width) * 4, PixelLayout::RGBA, settings);
    if (jpeg.size() >= lossless.zlibData.size()) return LosslessTag(std::move(lossless));
    std::vector<uint8_t> zlibAlpha = Deflated(alpha);
    if (jpeg.size() + zlibAlpha.size() >= lossless.zlibData.size()) return LosslessTag(std::move(lossless));
    return std::make_unique<OwnedJPEGAlphaBitmap>(std::move(jpeg), std::move(zlibAlpha));
}
