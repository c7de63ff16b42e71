#include "render/ImageOnWhite.h"

#include <cstring>

#include "pdf/Image.h"
#include "render/CairoApi.h"
#include "render/ColourConvert.h"
#include "render/ImageDecode.h"

namespace qvx::Render {

std::optional<Bitmap> DrawImageOnWhite(SDF::Obj* image, PDF::ResourceCache& cache, ColourConvert& colours)
{
    PDF::ImageInfo info = PDF::ImageInfo::Read(image, false);
    if (info.image_mask) return std::nullopt;
    ImageSource src{&info, {}, nullptr, &cache, &colours};
    std::uint64_t pixels = 0;
    cairo_surface_t* surface = DecodeImage(src, pixels);
    if (!surface) return std::nullopt;
    std::optional<Bitmap> out;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(surface);
        const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        if (data && w > 0 && h > 0) {
            out.emplace();
            out->width = w;
            out->height = h;
            out->channels = 3;
            out->data.resize(static_cast<std::size_t>(w) * h * 3);
            std::uint8_t* dst = out->data.data();
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    // Premultiplied ARGB in native order: over white each channel gains what
                    // alpha leaves uncovered.
                    std::uint32_t p;
                    std::memcpy(&p, data + static_cast<std::size_t>(y) * stride + x * 4u, 4);
                    const unsigned a = p >> 24;
                    for (int c = 0; c < 3; ++c) *dst++ = static_cast<std::uint8_t>(((p >> (16 - 8 * c)) & 0xff) + 255 - a);
                }
            }
        }
    }
    cairo_surface_destroy(surface);
    return out;
}

}  // namespace qvx::Render
