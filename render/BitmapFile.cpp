#include "render/BitmapFile.h"

#include "render/CairoApi.h"
#include <cstdio>
#include <memory>

#include "common/Exception.h"

namespace qvx::Render {

void WritePPM(const Bitmap& bitmap, const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    QVX_CHECK(f != nullptr, "Cannot write " + path);
    std::fprintf(f.get(), "P6\n%d %d\n255\n", bitmap.width, bitmap.height);
    if (bitmap.channels == 3) {
        QVX_CHECK(std::fwrite(bitmap.data.data(), 1, bitmap.data.size(), f.get()) == bitmap.data.size(), "Cannot write " + path);
        return;
    }
    // RGBA: composited over white, as the page would show.
    std::vector<std::uint8_t> row(static_cast<std::size_t>(bitmap.width) * 3);
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            const std::uint8_t* p = bitmap.Pixel(x, y);
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<std::uint8_t>((p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255);
        }
        QVX_CHECK(std::fwrite(row.data(), 1, row.size(), f.get()) == row.size(), "Cannot write " + path);
    }
}

void WritePNG(const Bitmap& bitmap, const std::string& path)
{
    cairo_format_t format = bitmap.channels == 4 ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    cairo_surface_t* s = cairo_image_surface_create(format, bitmap.width, bitmap.height);
    QVX_CHECK(cairo_surface_status(s) == CAIRO_STATUS_SUCCESS, "Cannot make a surface for " + path);
    std::uint8_t* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < bitmap.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < bitmap.width; ++x) {
            const std::uint8_t* p = bitmap.Pixel(x, y);
            std::uint32_t a = bitmap.channels == 4 ? p[3] : 255;
            auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
            row[x] = a << 24 | pm(p[0]) << 16 | pm(p[1]) << 8 | pm(p[2]);
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_status_t st = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    QVX_CHECK(st == CAIRO_STATUS_SUCCESS, "Cannot write " + path);
}

}  // namespace qvx::Render
