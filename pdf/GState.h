#pragma once
// The graphics state the content reader keeps, and the attributes an element can report
// as changed since the element before it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/ColorSpace.h"
#include "pdf/Font.h"
#include "pdf/Geometry.h"

namespace qvx::PDF {

struct ColorState {
    std::shared_ptr<const ColorSpace> space;  // DeviceGray initially
    std::vector<double> components;           // {0} initially
    SDF::Obj* pattern = nullptr;              // the pattern of a Pattern colour (resolved)

    bool operator==(const ColorState& o) const
    {
        return space == o.space && components == o.components && pattern == o.pattern;
    }
};

struct GState {
    // Bits of GetChanged().
    enum Attr : std::uint64_t {
        e_transform = 1ull << 0, e_line_width = 1ull << 1, e_line_cap = 1ull << 2, e_line_join = 1ull << 3,
        e_miter_limit = 1ull << 4, e_dash = 1ull << 5, e_rendering_intent = 1ull << 6, e_stroke_adjust = 1ull << 7,
        e_blend_mode = 1ull << 8, e_soft_mask = 1ull << 9, e_stroke_alpha = 1ull << 10, e_fill_alpha = 1ull << 11,
        e_alpha_is_shape = 1ull << 12, e_stroke_overprint = 1ull << 13, e_fill_overprint = 1ull << 14,
        e_overprint_mode = 1ull << 15, e_black_generation = 1ull << 16, e_undercolor_removal = 1ull << 17,
        e_transfer = 1ull << 18, e_halftone = 1ull << 19, e_flatness = 1ull << 20, e_smoothness = 1ull << 21,
        e_stroke_color_space = 1ull << 22, e_stroke_color = 1ull << 23, e_fill_color_space = 1ull << 24,
        e_fill_color = 1ull << 25, e_font = 1ull << 26, e_char_spacing = 1ull << 27, e_word_spacing = 1ull << 28,
        e_horiz_scale = 1ull << 29, e_leading = 1ull << 30, e_text_rise = 1ull << 31,
        e_text_render_mode = 1ull << 32, e_text_knockout = 1ull << 33, e_ext_gstate = 1ull << 34,
        e_all = (1ull << 35) - 1,
    };

    Matrix ctm;
    double line_width = 1;
    int line_cap = 0, line_join = 0;
    double miter_limit = 10;
    std::vector<double> dash;                 // on/off lengths, empty: solid
    double dash_phase = 0;
    std::string rendering_intent = "RelativeColorimetric";
    bool stroke_adjust = false;
    std::string blend_mode = "Normal";
    SDF::Obj* soft_mask = nullptr;            // the SMask dictionary, null for None
    double stroke_alpha = 1, fill_alpha = 1;  // NaN when the entry was not a number
    bool alpha_is_shape = false;
    bool stroke_overprint = false, fill_overprint = false;
    int overprint_mode = 0;
    SDF::Obj* black_generation = nullptr;
    SDF::Obj* undercolor_removal = nullptr;
    SDF::Obj* transfer = nullptr;             // TR/TR2 as given (a function or a name)
    SDF::Obj* halftone = nullptr;
    double flatness = 1, smoothness = 0;

    ColorState stroke, fill;

    std::shared_ptr<const Font> font;
    SDF::Obj* font_dict = nullptr;            // the font resource (resolved)
    double font_size = 0;
    double char_spacing = 0, word_spacing = 0, horiz_scale = 100, leading = 0, text_rise = 0;
    int text_render_mode = 0;
    bool text_knockout = true;

    SDF::Obj* ext_gstate = nullptr;           // the last ExtGState applied (resolved)

    GState();
    // Sets the dash from an array and a phase as `d` and the D entry give them; a pattern
    // that cannot be drawn (negative or all zero lengths) is solid.
    void SetDash(const SDF::Obj* array, double phase);
    // The attributes whose values differ between a and b.
    static std::uint64_t Diff(const GState& a, const GState& b);
};

}  // namespace qvx::PDF
