#include "driver/jpegencoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

#include "driver/jpegerror.h"

namespace {

// Compressed bytes go straight into the vector, grown as libjpeg fills it.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<uint8_t>* bytes;
};

constexpr size_t kFirstChunk = 64 * 1024;

void InitDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    destination->bytes->resize(kFirstChunk);
    destination->manager.next_output_byte = destination->bytes->data();
    destination->manager.free_in_buffer = destination->bytes->size();
}

boolean EmptyOutputBuffer(j_compress_ptr info)
{
    // Called with the whole buffer full, whatever free_in_buffer says.
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    const size_t used = destination->bytes->size();
    destination->bytes->resize(used * 2);
    destination->manager.next_output_byte = destination->bytes->data() + used;
    destination->manager.free_in_buffer = destination->bytes->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    destination->bytes->resize(destination->bytes->size() - destination->manager.free_in_buffer);
}

}  // namespace

std::vector<uint8_t> EncodeJPEG(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                PixelLayout layout, const JPEGSettings& settings)
{
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        throw std::runtime_error("cannot encode a " + std::to_string(width) + " x " + std::to_string(height) +
                                 " image as JPEG");
    std::vector<uint8_t> bytes;
    jpeg_compress_struct info {};
    JPEGErrorJump errors {};
    VectorDestination destination {};
    info.err = errors.Install();
    // Nothing with a destructor may be created between here and the last
    // libjpeg call: a jump back would skip it.
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        throw std::runtime_error(std::string("JPEG encoding failed: ") + errors.message);
    }
    jpeg_create_compress(&info);
    destination.bytes = &bytes;
    destination.manager.init_destination = InitDestination;
    destination.manager.empty_output_buffer = EmptyOutputBuffer;
    destination.manager.term_destination = TermDestination;
    info.dest = &destination.manager;

    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = layout == PixelLayout::RGB ? 3 : 4;
    info.in_color_space = layout == PixelLayout::RGB    ? JCS_EXT_RGB
                         : layout == PixelLayout::RGBA ? JCS_EXT_RGBA
                         : layout == PixelLayout::BGRX ? JCS_EXT_BGRX
                                                       : JCS_EXT_XRGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, settings.quality < 1 ? 1 : settings.quality > 100 ? 100 : settings.quality, TRUE);
    if (settings.sampling == ChromaSampling::Full) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    info.optimize_coding = settings.optimizeCoding ? TRUE : FALSE;
    // The fast integer transform costs a fifth less time and under 0.1 dB at
    // ordinary qualities; near 100 its rounding shows, so the exact one there.
    info.dct_method = settings.quality < 98 ? JDCT_IFAST : JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    JSAMPROW rows[16];
    while (info.next_scanline < info.image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(16, info.image_height - info.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(pixels + stride * (info.next_scanline + i));
        jpeg_write_scanlines(&info, rows, count);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return bytes;
}
