#include "driver/encode/jpegencoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include <jpeglib.h>

#include "base/fassert.h"
#include "driver/encode/jpegerror.h"

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

struct JPEGRowEncoder::State {
    jpeg_compress_struct info{};
    JPEGErrorJump errors{};
    VectorDestination destination{};
    std::vector<uint8_t> bytes;
    bool created = false;
    bool finished = false;
};

void JPEGRowEncoder::Failed(State& state)
{
    jpeg_destroy_compress(&state.info);
    state.created = false;
    throw std::runtime_error(std::string("JPEG encoding failed: ") + state.errors.message);
}

JPEGRowEncoder::JPEGRowEncoder(int32_t width, int32_t height, PixelLayout layout, const JPEGSettings& settings)
    : state(std::make_unique<State>())
{
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        throw std::runtime_error("cannot encode a " + std::to_string(width) + " x " + std::to_string(height) +
                                 " image as JPEG");
    State& s = *state;
    s.info.err = s.errors.Install();
    // Nothing with a destructor may be created between a setjmp and the last
    // libjpeg call after it: a jump back would skip it.
    if (setjmp(s.errors.back)) Failed(s);
    jpeg_create_compress(&s.info);
    s.created = true;
    s.destination.bytes = &s.bytes;
    s.destination.manager.init_destination = InitDestination;
    s.destination.manager.empty_output_buffer = EmptyOutputBuffer;
    s.destination.manager.term_destination = TermDestination;
    s.info.dest = &s.destination.manager;

    s.info.image_width = static_cast<JDIMENSION>(width);
    s.info.image_height = static_cast<JDIMENSION>(height);
    s.info.input_components = layout == PixelLayout::RGB ? 3 : 4;
    s.info.in_color_space = layout == PixelLayout::RGB    ? JCS_EXT_RGB
                           : layout == PixelLayout::RGBA ? JCS_EXT_RGBA
                           : layout == PixelLayout::BGRX ? JCS_EXT_BGRX
                                                         : JCS_EXT_XRGB;
    jpeg_set_defaults(&s.info);
    jpeg_set_quality(&s.info, settings.quality < 1 ? 1 : settings.quality > 100 ? 100 : settings.quality, TRUE);
    if (settings.sampling == ChromaSampling::Full) {
        s.info.comp_info[0].h_samp_factor = 1;
        s.info.comp_info[0].v_samp_factor = 1;
    }
    s.info.optimize_coding = settings.optimizeCoding ? TRUE : FALSE;
    // The fast integer transform costs a fifth less time and under 0.1 dB at
    // ordinary qualities; near 100 its rounding shows, so the exact one there.
    s.info.dct_method = settings.quality < 98 ? JDCT_IFAST : JDCT_ISLOW;
    jpeg_start_compress(&s.info, TRUE);
}

JPEGRowEncoder::~JPEGRowEncoder()
{
    if (state->created) jpeg_destroy_compress(&state->info);
}

void JPEGRowEncoder::AddRows(const uint8_t* pixels, int32_t rows, size_t stride)
{
    State& s = *state;
    F_ASSERT(s.created && !s.finished, "s.created && !s.finished");
    F_ASSERT(rows >= 0 && s.info.next_scanline + static_cast<JDIMENSION>(rows) <= s.info.image_height,
             "rows fit in the picture");
    if (setjmp(s.errors.back)) Failed(s);
    JSAMPROW pointers[16];
    for (JDIMENSION done = 0; done < static_cast<JDIMENSION>(rows);) {
        const JDIMENSION count = std::min<JDIMENSION>(16, static_cast<JDIMENSION>(rows) - done);
        for (JDIMENSION i = 0; i < count; ++i) pointers[i] = const_cast<JSAMPROW>(pixels + stride * (done + i));
        done += jpeg_write_scanlines(&s.info, pointers, count);
    }
}

std::vector<uint8_t> JPEGRowEncoder::Finish()
{
    State& s = *state;
    F_ASSERT(s.created && !s.finished && s.info.next_scanline == s.info.image_height, "every row given, once");
    if (setjmp(s.errors.back)) Failed(s);
    jpeg_finish_compress(&s.info);
    jpeg_destroy_compress(&s.info);
    s.created = false;
    s.finished = true;
    return std::move(s.bytes);
}

std::vector<uint8_t> EncodeJPEG(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                PixelLayout layout, const JPEGSettings& settings)
{
    JPEGRowEncoder encoder(width, height, layout, settings);
    encoder.AddRows(pixels, height, stride);
    return encoder.Finish();
}
