#pragma once
// Shadings (sh operator and shading patterns) and patterns, as the colour checks inspect
// them; a tiling pattern is also a content stream the element reader can enter.

#include "pdf/Function.h"
#include "pdf/Geometry.h"

namespace qvx::PDF {

struct Shading {
    SDF::Obj* obj = nullptr;          // dictionary or stream
    int type = 0;                     // ShadingType 1..7, 0 when invalid
    SDF::Obj* color_space = nullptr;  // ColorSpace as given
    Function function;                // Function (first of an array)
    SDF::Obj* background = nullptr;
    bool has_bbox = false;
    Rect bbox;

    static Shading Read(SDF::Obj* obj);
};

struct Pattern {
    SDF::Obj* obj = nullptr;
    int type = 0;                // 1 tiling, 2 shading, 0 invalid
    Matrix matrix;
    // Tiling patterns.
    int paint_type = 0, tiling_type = 0;
    Rect bbox;
    double x_step = 0, y_step = 0;
    SDF::Obj* resources = nullptr;
    // Shading patterns.
    Shading shading;
    SDF::Obj* ext_gstate = nullptr;

    static Pattern Read(SDF::Obj* obj);
};

}  // namespace qvx::PDF
