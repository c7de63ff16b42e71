// Images drawn into the unit square of their user space.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "render/ImageCache.h"
#include "render/ImageDecode.h"

namespace qvx::Render {

using PDF::Matrix;

namespace {

// The image averaged down to dw x dh samples, each the mean of the block of samples it
// covers (rows and columns split as evenly as whole samples allow), as pdftoppm shrinks
// images: a smoothing filter would blur what the box keeps. Null when cairo has no memory.
cairo_surface_t* BoxScaled(cairo_surface_t* src, int dw, int dh)
{
    const cairo_format_t format = cairo_image_surface_get_format(src);
    const int bytes = format == CAIRO_FORMAT_A8 ? 1 : 4;
    if (format != CAIRO_FORMAT_A8 && format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return nullptr;
    cairo_surface_t* out = cairo_image_surface_create(format, dw, dh);
    if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(out);
        return nullptr;
    }
    cairo_surface_flush(src);
    const int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
    const int sstride = cairo_image_surface_get_stride(src), dstride = cairo_image_surface_get_stride(out);
    const unsigned char* in = cairo_image_surface_get_data(src);
    unsigned char* to = cairo_image_surface_get_data(out);
    std::vector<int> cols(static_cast<std::size_t>(dw) + 1);
    for (int i = 0; i <= dw; ++i) cols[i] = static_cast<int>(static_cast<long long>(i) * sw / dw);
    std::vector<std::uint64_t> sum(static_cast<std::size_t>(dw) * bytes);
    for (int j = 0; j < dh; ++j) {
        const int r0 = static_cast<int>(static_cast<long long>(j) * sh / dh), r1 = static_cast<int>(static_cast<long long>(j + 1) * sh / dh);
        std::fill(sum.begin(), sum.end(), 0);
        for (int r = r0; r < r1; ++r) {
            const unsigned char* row = in + static_cast<std::ptrdiff_t>(r) * sstride;
            for (int i = 0; i < dw; ++i)
                for (int x = cols[i]; x < cols[i + 1]; ++x)
                    for (int c = 0; c < bytes; ++c) sum[static_cast<std::size_t>(i) * bytes + c] += row[x * bytes + c];
        }
        unsigned char* drow = to + static_cast<std::ptrdiff_t>(j) * dstride;
        for (int i = 0; i < dw; ++i) {
            const std::uint64_t n = static_cast<std::uint64_t>(r1 - r0) * static_cast<std::uint64_t>(cols[i + 1] - cols[i]);
            for (int c = 0; c < bytes; ++c)
                drow[i * bytes + c] = static_cast<unsigned char>((sum[static_cast<std::size_t>(i) * bytes + c] + n / 2) / n);
        }
    }
    cairo_surface_mark_dirty(out);
    return out;
}

}  // namespace

void ContentDrawer::DrawImage(const PDF::Element& e)
{
    const PDF::GState& gs = *e.gstate;
    const PDF::ImageInfo& info = e.image;
    if (info.width <= 0 || info.height <= 0) {
        m_ctx.complete = false;
        return;
    }
    if (!SetMatrix(gs.ctm)) return;
    ImageSource src{&info, e.inline_data, &m_reader.GetResources(), &m_ctx.cache, &m_ctx.colours};
    // Images of an XObject are shared through the cache when there is one; inline ones are not.
    std::string key = m_ctx.images && !info.is_inline ? m_ctx.images->Key(info.dict, m_reader.GetResources()) : "";
    cairo_surface_t* surface = key.empty() ? nullptr : m_ctx.images->Find(key);
    if (!surface) {
        // Decoded again after a first drawing the cache did not keep, the image counts once
        // against the work cap.
        std::uint64_t pixels = 0;
        surface = DecodeImage(src, pixels);
        if (key.empty() || !m_ctx.images->PutOnce(key)) m_ctx.image_pixels += pixels;
        if (surface && !key.empty()) m_ctx.images->Put(key, surface);
    }
    if (!surface) {
        m_ctx.complete = false;
        return;
    }
    // Image space: the unit square, first row at the top, in samples of the surface (which
    // a finer mask makes larger than the image).
    const long width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
    Matrix image{1.0 / width, 0, 0, -1.0 / height, 0, 1};
    if (!SetMatrix(image.Then(gs.ctm))) {
        cairo_surface_destroy(surface);
        return;
    }
    cairo_pattern_t* p = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    // Scaled up without Interpolate, samples stay sharp squares; scaled down they are averaged.
    Matrix m = image.Then(gs.ctm).Then(m_base);
    double scale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    bool nearest = scale > 1.5 && !info.interpolate;
    if (std::fabs(m.b) < 1e-9 && std::fabs(m.c) < 1e-9) {
        // Upright images cover whole pixels as pdftoppm lays them out: from the pixel their
        // first edge falls in to the one their last edge falls in, both included; the
        // bitmaps of Type 3 glyphs from the pixel edges nearest to theirs.
        bool glyph = m_glyphs > 0;
        auto span = [glyph](double a, double b, double& lo, double& hi) {
            if (a > b) std::swap(a, b);
            if (glyph) lo = std::ceil(a + 0.5) - 1, hi = std::max(lo + 1, std::ceil(b + 0.5) - 1);
            else lo = std::floor(a), hi = std::floor(b) + 1;
        };
        double x0, x1, y0, y1;
        span(m.e, m.e + m.a * width, x0, x1);
        span(m.f, m.f + m.d * height, y0, y1);
        cairo_matrix_t cm;
        cairo_matrix_init(&cm, (x1 - x0) / width * (m.a < 0 ? -1 : 1), 0, 0, (y1 - y0) / height * (m.d < 0 ? -1 : 1),
                          m.a < 0 ? x1 : x0, m.d < 0 ? y1 : y0);
        cairo_set_matrix(mp_cr, &cm);
        // Compared as reals: a drawing far larger than any int is no smaller image.
        const double sw = x1 - x0, sh = y1 - y0;
        if (!nearest && !glyph && sw <= width && sh <= height && (sw < width || sh < height)) {
            const int dw = static_cast<int>(sw), dh = static_cast<int>(sh);
            if (cairo_surface_t* small = BoxScaled(surface, dw, dh)) {
                // One sample a pixel: the pattern maps image space onto the smaller image.
                cairo_pattern_destroy(p);
                p = cairo_pattern_create_for_surface(small);
                cairo_surface_destroy(small);
                cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
                cairo_matrix_t shrink;
                cairo_matrix_init_scale(&shrink, static_cast<double>(dw) / width, static_cast<double>(dh) / height);
                cairo_pattern_set_matrix(p, &shrink);
                nearest = true;
            }
        } else if (nearest) {
            // Enlarged samples split the pixels as pdftoppm does, the odd pixel going to the
            // later sample: each pixel takes the sample under its far edge, not its centre.
            double dx = m.a > 0 ? (0.5 - 1e-3) * width / (x1 - x0) : 0;
            double dy = m.d > 0 ? (0.5 - 1e-3) * height / (y1 - y0) : 0;
            cairo_matrix_t shift;
            cairo_matrix_init_translate(&shift, dx, dy);
            cairo_pattern_set_matrix(p, &shift);
        }
    }
    cairo_pattern_set_filter(p, nearest ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_new_path(mp_cr);
    cairo_rectangle(mp_cr, 0, 0, static_cast<double>(width), static_cast<double>(height));
    BeginPaint(gs);
    if (info.image_mask) {
        // A stencil: the fill colour (or pattern) through the mask's samples.
        if (SetSource(gs, true)) {
            cairo_save(mp_cr);
            cairo_clip(mp_cr);
            Knockout(e_clip_area, p);
            cairo_mask(mp_cr, p);
            cairo_restore(mp_cr);
        }
    } else {
        cairo_set_source(mp_cr, p);
        double alpha = std::isfinite(gs.fill_alpha) ? std::clamp(gs.fill_alpha, 0.0, 1.0) : 1;
        cairo_save(mp_cr);
        cairo_clip(mp_cr);
        Knockout(e_clip_area);
        cairo_paint_with_alpha(mp_cr, alpha);
        cairo_restore(mp_cr);
    }
    EndPaint(gs);
    cairo_new_path(mp_cr);
    cairo_pattern_destroy(p);
    cairo_surface_destroy(surface);
}

}  // namespace qvx::Render
