#pragma once

// PDFs drawn with cairo, for the vector page tests: cairo writes paths,
// gradients and clips as PDF operators, embeds subsets of the system's fonts
// and keeps JPEG data given to an image as the image's own bytes.

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cairotest {

using PageDrawing = std::function<void(cairo_t*)>;

// One page of `width` x `height` points for each drawing, in order.
inline void WritePDF(const std::string& path, double width, double height, const std::vector<PageDrawing>& pages)
{
    cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), width, height);
    cairo_t* cr = cairo_create(surface);
    for (const PageDrawing& page : pages) {
        cairo_save(cr);
        page(cr);
        cairo_restore(cr);
        cairo_show_page(cr);
    }
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t written = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (drawn != CAIRO_STATUS_SUCCESS || written != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cairo could not write " + path);
}

// A picture of `width` x `height` pixels: a colour ramp, and with `alpha` a
// transparency that grows to the right. The caller destroys it.
inline cairo_surface_t* Picture(int width, int height, bool alpha, uint8_t seed = 0)
{
    cairo_surface_t* image = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t a = alpha ? static_cast<uint32_t>(255 * x / std::max(width - 1, 1)) : 255;
            const uint32_t r = static_cast<uint32_t>((x * 255 / width + seed) & 0xFF) * a / 255;
            const uint32_t g = static_cast<uint32_t>(y * 255 / height) * a / 255;
            const uint32_t b = static_cast<uint32_t>(128) * a / 255;
            row[x] = a << 24 | r << 16 | g << 8 | b;  // premultiplied, as cairo keeps it
        }
    }
    cairo_surface_mark_dirty(image);
    return image;
}

// A photograph's like: the colour ramp of Picture with grain of up to
// `grain` levels either way, so that it has many colours and no two rows
// alike; with `alpha`, the same transparency. The caller destroys it.
inline cairo_surface_t* Photo(int width, int height, bool alpha, int grain = 12, uint32_t seed = 1)
{
    cairo_surface_t* image = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    uint32_t state = seed;
    const auto noisy = [&](int level) {
        state = state * 1664525u + 1013904223u;
        const int offset = static_cast<int>((state >> 24) % static_cast<uint32_t>(2 * grain + 1)) - grain;
        return static_cast<uint32_t>(std::clamp(level + offset, 0, 255));
    };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t a = alpha ? static_cast<uint32_t>(255 * x / std::max(width - 1, 1)) : 255;
            const uint32_t r = noisy(x * 255 / width) * a / 255;
            const uint32_t g = noisy(y * 255 / height) * a / 255;
            const uint32_t b = noisy(128) * a / 255;
            row[x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    cairo_surface_mark_dirty(image);
    return image;
}

// `image` painted with its top left corner at (x, y) points, `width` x
// `height` points large.
inline void PaintImage(cairo_t* cr, cairo_surface_t* image, double x, double y, double width, double height)
{
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, width / cairo_image_surface_get_width(image), height / cairo_image_surface_get_height(image));
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace cairotest
