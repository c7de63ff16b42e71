// Images drawn into the unit square of their user space.

#include <cmath>

#include "render/ColourConvert.h"
#include "render/ContentDrawer.h"
#include "render/ImageDecode.h"

namespace qvx::Render {

using PDF::Matrix;

void ContentDrawer::DrawImage(const PDF::Element& e)
{
    const PDF::GState& gs = *e.gstate;
    const PDF::ImageInfo& info = e.image;
    if (info.width <= 0 || info.height <= 0) {
        m_ctx.complete = false;
        return;
    }
    // Image space: the unit square, first row at the top.
    Matrix image{1.0 / info.width, 0, 0, -1.0 / info.height, 0, 1};
    if (!SetMatrix(image.Then(gs.ctm))) return;
    ImageSource src{&info, e.inline_data, &m_reader.GetResources(), &m_ctx.cache, &m_ctx.colours};
    cairo_surface_t* surface = DecodeImage(src, m_ctx.image_pixels);
    if (!surface) {
        m_ctx.complete = false;
        return;
    }
    cairo_pattern_t* p = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    // Scaled up without Interpolate, samples stay sharp squares; scaled down they are averaged.
    Matrix m = image.Then(gs.ctm).Then(m_base);
    double scale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    cairo_pattern_set_filter(p, scale > 1.5 && !info.interpolate ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_new_path(mp_cr);
    cairo_rectangle(mp_cr, 0, 0, static_cast<double>(info.width), static_cast<double>(info.height));
    BeginPaint(gs);
    if (info.image_mask) {
        // A stencil: the fill colour (or pattern) through the mask's samples.
        if (SetSource(gs, true)) {
            cairo_save(mp_cr);
            cairo_clip(mp_cr);
            cairo_mask(mp_cr, p);
            cairo_restore(mp_cr);
        }
    } else {
        cairo_set_source(mp_cr, p);
        double alpha = std::isfinite(gs.fill_alpha) ? std::clamp(gs.fill_alpha, 0.0, 1.0) : 1;
        cairo_save(mp_cr);
        cairo_clip(mp_cr);
        cairo_paint_with_alpha(mp_cr, alpha);
        cairo_restore(mp_cr);
    }
    EndPaint(gs);
    cairo_new_path(mp_cr);
    cairo_pattern_destroy(p);
    cairo_surface_destroy(surface);
}

}  // namespace qvx::Render
