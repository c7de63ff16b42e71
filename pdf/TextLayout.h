#pragma once
// Glyph placement of text-showing operators: where each code of a text element lands and
// how far the text matrix advances.

#include <functional>

#include "pdf/Element.h"

namespace qvx::PDF {

struct PlacedGlyph {
    Font::CharCode code;
    Matrix trm;        // text rendering matrix at the glyph origin (glyph space to device)
    double advance;    // displacement in unscaled text space (Tz, Tc and Tw applied)
    double end_x, end_y;  // device position where the next glyph starts
};

// Lays out the strings of a text element from its text matrix. Calls fn per glyph (may be
// empty) and returns the text matrix after the element.
Matrix LayoutText(const Element& e, const std::function<void(const PlacedGlyph&)>& fn);

}  // namespace qvx::PDF
