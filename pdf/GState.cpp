#include "pdf/GState.h"

#include <algorithm>
#include <cmath>

#include "pdf/ObjUtil.h"

namespace qvx::PDF {

namespace {

// NaN (a non-number alpha) equals itself here.
bool Same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

GState::GState()
{
    stroke.space = fill.space = ColorSpace::Device(ColorSpace::e_device_gray);
    stroke.components = fill.components = {0};
}

void GState::SetDash(const SDF::Obj* array, double phase)
{
    dash.clear();
    dash_phase = std::isfinite(phase) ? phase : 0;
    double total = 0;
    // Longer patterns are hostile input, not drawings.
    for (std::size_t i = 0; array && i < std::min<std::size_t>(array->Size(), 64); ++i) {
        double v = NumberAt(array, i, -1);
        if (!std::isfinite(v) || v < 0) {
            dash.clear();
            return;
        }
        dash.push_back(v);
        total += v;
    }
    if (total <= 0) dash.clear();
}

std::uint64_t GState::Diff(const GState& a, const GState& b)
{
    std::uint64_t d = 0;
    auto set = [&](bool differ, Attr bit) {
        if (differ) d |= bit;
    };
    set(!(a.ctm == b.ctm), e_transform);
    set(!Same(a.line_width, b.line_width), e_line_width);
    set(a.line_cap != b.line_cap, e_line_cap);
    set(a.line_join != b.line_join, e_line_join);
    set(!Same(a.miter_limit, b.miter_limit), e_miter_limit);
    set(a.dash != b.dash || !Same(a.dash_phase, b.dash_phase), e_dash);
    set(a.rendering_intent != b.rendering_intent, e_rendering_intent);
    set(a.stroke_adjust != b.stroke_adjust, e_stroke_adjust);
    set(a.blend_mode != b.blend_mode, e_blend_mode);
    set(a.soft_mask != b.soft_mask, e_soft_mask);
    set(!Same(a.stroke_alpha, b.stroke_alpha), e_stroke_alpha);
    set(!Same(a.fill_alpha, b.fill_alpha), e_fill_alpha);
    set(a.alpha_is_shape != b.alpha_is_shape, e_alpha_is_shape);
    set(a.stroke_overprint != b.stroke_overprint, e_stroke_overprint);
    set(a.fill_overprint != b.fill_overprint, e_fill_overprint);
    set(a.overprint_mode != b.overprint_mode, e_overprint_mode);
    set(a.black_generation != b.black_generation, e_black_generation);
    set(a.undercolor_removal != b.undercolor_removal, e_undercolor_removal);
    set(a.transfer != b.transfer, e_transfer);
    set(a.halftone != b.halftone, e_halftone);
    set(!Same(a.flatness, b.flatness), e_flatness);
    set(!Same(a.smoothness, b.smoothness), e_smoothness);
    set(a.stroke.space != b.stroke.space, e_stroke_color_space);
    set(a.stroke.components != b.stroke.components || a.stroke.pattern != b.stroke.pattern, e_stroke_color);
    set(a.fill.space != b.fill.space, e_fill_color_space);
    set(a.fill.components != b.fill.components || a.fill.pattern != b.fill.pattern, e_fill_color);
    set(a.font != b.font || !Same(a.font_size, b.font_size), e_font);
    set(!Same(a.char_spacing, b.char_spacing), e_char_spacing);
    set(!Same(a.word_spacing, b.word_spacing), e_word_spacing);
    set(!Same(a.horiz_scale, b.horiz_scale), e_horiz_scale);
    set(!Same(a.leading, b.leading), e_leading);
    set(!Same(a.text_rise, b.text_rise), e_text_rise);
    set(a.text_render_mode != b.text_render_mode, e_text_render_mode);
    set(a.text_knockout != b.text_knockout, e_text_knockout);
    set(a.ext_gstate != b.ext_gstate, e_ext_gstate);
    return d;
}

}  // namespace qvx::PDF
