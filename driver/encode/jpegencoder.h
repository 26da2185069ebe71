#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Pixels to a whole baseline JPEG file in memory, with libjpeg-turbo.

enum class PixelLayout {
    RGB,   // bytes red, green, blue
    RGBA,  // bytes red, green, blue, alpha (alpha ignored)
    BGRX,  // bytes blue, green, red, unused: a little-endian 0xXXRRGGBB word
    XRGB,  // bytes unused, red, green, blue: the same word big-endian
};

enum class ChromaSampling {
    Full,  // 4:4:4: colour at every pixel, so coloured text keeps its edges
    Half,  // 4:2:0: colour at every second pixel in both directions
};

struct JPEGSettings {
    int32_t quality = 90;  // 1 to 100
    ChromaSampling sampling = ChromaSampling::Full;
    bool optimizeCoding = false;  // Huffman tables fitted to the image: smaller, slower
};

// Rows `stride` bytes apart. Throws std::runtime_error with libjpeg's message
// when it fails (only for want of memory with valid arguments).
std::vector<uint8_t> EncodeJPEG(const uint8_t* pixels, int32_t width, int32_t height, size_t stride,
                                PixelLayout layout, const JPEGSettings& settings);

// The same file made from rows handed over top down, in as many calls as the
// caller likes, so that the whole picture need never be held: for the same
// pixels and settings its bytes are EncodeJPEG's. Throws std::runtime_error
// as EncodeJPEG does.
class JPEGRowEncoder {
public:
    JPEGRowEncoder(int32_t width, int32_t height, PixelLayout layout, const JPEGSettings& settings);
    ~JPEGRowEncoder();
    JPEGRowEncoder(const JPEGRowEncoder&) = delete;
    JPEGRowEncoder& operator=(const JPEGRowEncoder&) = delete;

    // The next `rows` rows, `stride` bytes apart.
    void AddRows(const uint8_t* pixels, int32_t rows, size_t stride);
    // Once every row is in: the whole file.
    std::vector<uint8_t> Finish();

private:
    struct State;
    // Destroys libjpeg's object after it jumped back with an error, and throws.
    [[noreturn]] static void Failed(State& state);
    std::unique_ptr<State> state;
};
