#pragma once
// An extended graphics state dictionary, read into the values the content reader applies
// and the checks inspect. Absent entries stay unset.

#include <optional>
#include <string>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

struct ExtGState {
    SDF::Obj* dict = nullptr;
    std::optional<double> line_width, miter_limit, flatness, smoothness;
    std::optional<int> line_cap, line_join, overprint_mode;
    std::optional<bool> stroke_overprint, fill_overprint, stroke_adjust, alpha_is_shape, text_knockout;
    std::optional<double> stroke_alpha, fill_alpha;  // CA, ca (non-numbers read as NaN)
    std::optional<std::string> rendering_intent;     // RI
    std::optional<std::string> blend_mode;           // BM: the name, or the first name of an array
    SDF::Obj* dash = nullptr;                        // D
    SDF::Obj* font = nullptr;                        // Font [font size]
    SDF::Obj* soft_mask = nullptr;                   // SMask (a dictionary, or the name None)
    SDF::Obj* transfer = nullptr;                    // TR2 when present, else TR
    SDF::Obj* halftone = nullptr;                    // HT
    SDF::Obj* black_generation = nullptr;            // BG2 else BG
    SDF::Obj* undercolor_removal = nullptr;          // UCR2 else UCR
    bool has_htp = false, has_hto = false;           // HTP, HTO present

    // Reads dict (a non-dictionary gives an empty state).
    static ExtGState Read(SDF::Obj* dict);
};

// The standard blend-mode names (Compatible included).
bool IsStandardBlendMode(std::string_view name);
// The four standard rendering intents.
bool IsStandardRenderingIntent(std::string_view name);

}  // namespace qvx::PDF
