#include "driver/pdf/bitmapchoice.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <unordered_set>

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

// Whether the opaque picture has more than 256 colours (then its lossless
// form is 32-bit): a photograph says so within its first rows.
bool MoreThan256Colours(const std::vector<uint8_t>& rgba)
{
    std::unordered_set<uint32_t> colours;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        colours.insert(uint32_t{rgba[i]} << 16 | uint32_t{rgba[i + 1]} << 8 | rgba[i + 2]);
        if (colours.size() > 256) return true;
    }
    return false;
}

// An estimate of the 32-bit lossless stream from a sample: every eighth band
// of 16 rows deflated at zlib's fastest level, scaled to all of them. The
// encoder's level finds more matches in the same rows, but never half as
// many bytes again: a JPEG of less than half this is smaller for certain.
uint64_t SampledLosslessBytes(const std::vector<uint8_t>& rgba, int32_t width, int32_t height)
{
    constexpr int32_t kBand = 16, kEvery = 8;
    const size_t row = static_cast<size_t>(width) * 4;
    z_stream stream{};
    if (deflateInit(&stream, 1) != Z_OK) return UINT64_MAX;
    std::vector<uint8_t> out(64 * 1024);
    uint64_t bytes = 0;
    int32_t sampled = 0;
    const auto drain = [&](int flush) {
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            bytes += out.size() - stream.avail_out;
        } while (stream.avail_out == 0);
    };
    for (int32_t top = 0; top < height; top += kBand * kEvery) {
        const int32_t rows = std::min(kBand, height - top);
        stream.next_in = const_cast<Bytef*>(rgba.data() + static_cast<size_t>(top) * row);
        stream.avail_in = static_cast<uInt>(static_cast<size_t>(rows) * row);
        drain(Z_NO_FLUSH);
        sampled += rows;
    }
    drain(Z_FINISH);
    deflateEnd(&stream);
    return sampled > 0 ? bytes * static_cast<uint64_t>(height) / static_cast<uint64_t>(sampled) : 0;
}

}  // namespace

BitmapEncoding BitmapEncodingBytes(int32_t width, int32_t height, uint64_t budgetBytes)
{
    BitmapEncoding encoding;
    encoding.place = ColourNumbersFor(width, height, budgetBytes);
    const uint64_t pixels = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
    // Compressed whole, a picture of more colours holds its 32-bit form and
    // its stream at once: where those do not fit half the budget, streamed.
    if (encoding.place == ColourNumbers::kWhole && pixels * 8 > budgetBytes / 2) encoding.place = ColourNumbers::kMemory;
    const uint64_t lossless = LosslessEncodingBytes(width, height, encoding.place);
    // The JPEG tried beside the lossless one (at most about the pixels'
    // bytes), and for one with alpha the premultiplied copy and the plane.
    encoding.bytes = (encoding.place == ColourNumbers::kWhole ? std::max(lossless, pixels * 8) : lossless) +
                     pixels * 4 + pixels * 5;
    return encoding;
}

BitmapContent SmallerBitmap(const std::vector<uint8_t>& rgba, int32_t width, int32_t height, int32_t jpegQuality,
                            ColourNumbers place)
{
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    JPEGSettings settings;
    settings.quality = jpegQuality;
    bool opaque = true;
    for (size_t i = 3; i < rgba.size() && opaque; i += 4) opaque = rgba[i] == 255;
    if (opaque && MoreThan256Colours(rgba)) {
        // A photograph: its JPEG is made first, and the slow lossless
        // encoding only where a sample of it does not lose for certain.
        std::vector<uint8_t> jpeg =
            EncodeJPEG(rgba.data(), width, height, static_cast<size_t>(width) * 4, PixelLayout::RGBA, settings);
        if (jpeg.size() * 2 < SampledLosslessBytes(rgba, width, height))
            return JPEGContent{std::move(jpeg)};
        LosslessSlide lossless = EncodeLosslessPicture(rgba.data(), width, height, place);
        if (jpeg.size() >= lossless.zlibData.size()) return lossless;
        return JPEGContent{std::move(jpeg)};
    }

    // The JPEG of a picture with alpha: its colours premultiplied (the player
    // takes them so) and the alpha plane deflated beside it.
    struct JPEGWithAlpha {
        std::vector<uint8_t> jpeg, zlibAlpha;
        size_t Size() const { return jpeg.size() + zlibAlpha.size(); }
    };
    const auto withAlpha = [&] {
        std::vector<uint8_t> premultiplied(rgba);
        std::vector<uint8_t> alpha(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            uint8_t* p = premultiplied.data() + i * 4;
            alpha[i] = p[3];
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * p[3] + 127) / 255);
        }
        return JPEGWithAlpha{
            EncodeJPEG(premultiplied.data(), width, height, static_cast<size_t>(width) * 4, PixelLayout::RGBA, settings),
            Deflated(alpha)};
    };
    std::optional<JPEGWithAlpha> translucentPhoto;
    if (!opaque && MoreThan256Colours(rgba)) {
        // A translucent photograph likewise: the slow lossless encoding
        // (32-bit pixels, a long search) only where it may win.
        translucentPhoto = withAlpha();
        if (translucentPhoto->Size() * 2 < SampledLosslessBytes(rgba, width, height))
            return JPEGAlphaContent{std::move(translucentPhoto->jpeg), std::move(translucentPhoto->zlibAlpha)};
    }

    LosslessSlide lossless = EncodeLosslessPicture(rgba.data(), width, height, place);
    if (lossless.format == 3 || lossless.zlibData.size() <= kSmallestJPEGFile) return lossless;

    if (!lossless.alpha) {
        std::vector<uint8_t> jpeg =
            EncodeJPEG(rgba.data(), width, height, static_cast<size_t>(width) * 4, PixelLayout::RGBA, settings);
        if (jpeg.size() >= lossless.zlibData.size()) return lossless;
        return JPEGContent{std::move(jpeg)};
    }
    JPEGWithAlpha candidate = translucentPhoto ? std::move(*translucentPhoto) : withAlpha();
    if (candidate.Size() >= lossless.zlibData.size()) return lossless;
    return JPEGAlphaContent{std::move(candidate.jpeg), std::move(candidate.zlibAlpha)};
}

std::unique_ptr<FDT> BitmapTag(BitmapContent&& content)
{
    if (auto* jpeg = std::get_if<JPEGContent>(&content)) return std::make_unique<OwnedJPEGBitmap>(std::move(jpeg->jpeg));
    if (auto* alpha = std::get_if<JPEGAlphaContent>(&content))
        return std::make_unique<OwnedJPEGAlphaBitmap>(std::move(alpha->jpeg), std::move(alpha->zlibAlpha));
    return LosslessTag(std::move(std::get<LosslessSlide>(content)));
}

std::unique_ptr<FDT> SmallerBitmapTag(const std::vector<uint8_t>& rgba, int32_t width, int32_t height,
                                      int32_t jpegQuality, ColourNumbers place)
{
    return BitmapTag(SmallerBitmap(rgba, width, height, jpegQuality, place));
}
